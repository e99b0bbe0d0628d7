// Commands: what each command string parses to, then commands end to end
// against the simulated reader: the whole result document (Date and Time
// aside), the result code, the tag count and every status message.
#include <algorithm>
#include <cstring>
#include <regex>

#include "api/command.h"
#include "sim_reader.h"

namespace {

struct Mem {
  std::string name;
  int32_t start, length;
  char type;
  bool operator==(const Mem &) const = default;
};

// A command, the code it gets, and the request: kind, SWTT fields, MEM fields, the two filters.
struct Case { const char16_t *command; int32_t rc, kind, swttCount; std::vector<int32_t> fields; std::vector<Mem> mems;
              const char *swtt, *tagid; };

const Case kCases[] = {
    {u"identify", 0, 5, 0, {}, {}, "", ""}, {u"identify where", 0, 5, 0, {}, {}, "", ""},
    {u"identify all tags where swtt=0A1B", 0, 6, 0, {}, {}, "0A1B", ""},  // text before where ignored
    {u"Identify Where TagID=0123456789abcdef", 0, 6, 0, {}, {}, "", "0123456789ABCDEF"},
    {u"identify   ", 0, 5, 0, {}, {}, "", ""},  // trailing blanks removed
    {u"read", 0, 1, -1, {}, {}, "", ""}, {u"read *", 0, 1, -1, {}, {}, "", ""},
    {u"read*where swtt=01", 0, 2, -1, {}, {}, "01", ""},
    {u"read * field(1) where swtt=01", 0, 1, -1, {}, {}, "", ""},  // rest after * ignored
    {u"read where swtt=AB and tagid=0123456789ABCDEF", 0, 2, 0, {}, {}, "AB", "0123456789ABCDEF"},
    {u"read where swtt", 0, 2, 0, {}, {}, "", ""},  // keyword without value
    {u"read field(0,1) where swtt=0123", 0, 4, 2, {0, 1}, {}, "0123", ""},
    {u"readfield(1)", 0, 3, 1, {1}, {}, "", ""},  // only "read" is matched
    {u"read field(3) field(1)", 0, 3, 2, {3, 1}, {}, "", ""},
    {u"read field(1,2", 0, 3, 0, {}, {}, "", ""},  // never closed: dropped
    {u"read field( 7,x,-2)", 0, 3, 3, {7, 0, -2}, {}, "", ""},  // atoi items
    {u"read mem(Serial, 0, 8, h)", 0, 3, 0, {}, {{"serial", 0, 8, ' '}}, "", ""},  // type keeps its blank
    {u"READ MEM(Ab,1,2,H)", 0, 3, 0, {}, {{"ab", 1, 2, 'h'}}, "", ""},  // the name is folded too
    {u"read field(4294967297,-4294967297) mem(a,2147483648,-2147483649,s)", 0, 3, 2, {INT32_MAX, INT32_MIN},
     {{"a", INT32_MAX, INT32_MIN, 's'}}, "", ""},  // numbers saturate
    {u"read mem(a,4)", 0, 3, 0, {}, {{"a", 4, 0, 0}}, "", ""}, {u"read mem()", 0, 3, 0, {}, {{"", 0, 0, 0}}, "", ""},
    {u"read field(1) mem(serial,0,8,h) where tagid=0123456789ABCDEF", 0, 4, 1, {1}, {{"serial", 0, 8, 'h'}}, "",
     "0123456789ABCDEF"},
    {u"read mem(a,1,2,i) junk field(5) mem(b,3,4,s)", 0, 3, 1, {5}, {{"a", 1, 2, 'i'}, {"b", 3, 4, 's'}}, "", ""},
    {u"read field mem(1,2)", 0, 3, 2, {1, 2}, {}, "", ""},  // the list belongs to "field"
    {u"read field((1)", 0, 3, 1, {1}, {}, "", ""},        // "(" empties the list
    {u"read where swtt=01 swtt=02", 0, 2, 0, {}, {}, "02", ""},  // the later wins
    {u"read where \"swtt\"=\"0a\"&tagid,0123456789ABCDEF", 0, 2, 0, {}, {}, "0A", "0123456789ABCDEF"},
    {u"read where swtt=", 0, 2, 0, {}, {}, "", ""},
    {u"write", -3201, 0, 0, {}, {}, "", ""}, {u" read", -3201, 0, 0, {}, {}, "", ""},
    {u"read where", -3202, 1, 0, {}, {}, "", ""}, {u"read * where  ", -3202, 1, -1, {}, {}, "", ""},
    {u"identify tags", -3202, 0, 0, {}, {}, "", ""}, {u"read where colour=red", -3202, 2, 0, {}, {}, "", ""},
    {u"read mem(a,1,2,h,x)", -3202, 3, 0, {}, {}, "", ""},
    {u"read field(100,200,300,400,500,600,700,800,900)", -3204, 3, 0, {}, {}, "", ""},
    {u"read where tagid=0123", -3205, 2, 0, {}, {}, "", ""},
    {u"read where swtt=0123456789ABC", -3206, 2, 0, {}, {}, "", ""},
    {u"read where tagid=0123456789ABCDEG", -3207, 2, 0, {}, {}, "", ""},
    {u"read where swtt tagid=0123456789ABCDEF", -3208, 2, 0, {}, {}, "", ""},  // "tagid" is the mask
    // Limits: refused, never cut.
    {u"read field(0,1,2,3,4,5,6,7) field(8,9,10,11,12,13,14,15) field(1)", -3202, 3, 16, {}, {}, "", ""},
    {u"read mem(abcdefghijklmnopqrstuvwxyzabcdef)", -3202, 3, 0, {}, {}, "", ""},
};

TEST(CommandParse, EachCommandParsesToItsRequest) {
  for (const Case &c : kCases) {
    SCOPED_TRACE(Narrow(c.command));
    CommandRequest r;
    EXPECT_EQ(ParseCommand(std::u16string(c.command), &r), c.rc);
    EXPECT_EQ(r.kind, c.kind);
    if (c.rc != 0) continue;
    EXPECT_EQ(r.swttCount, c.swttCount);
    EXPECT_EQ(std::vector<int32_t>(r.swttFields, r.swttFields + std::max(r.swttCount, 0)), c.fields);
    std::vector<Mem> mems;
    for (uint32_t i = 0; i < r.memCount; ++i)
      mems.push_back({r.memFields[i].name, r.memFields[i].start, r.memFields[i].length, r.memFields[i].type});
    EXPECT_EQ(mems, c.mems);
    EXPECT_STREQ(r.swttFilter, c.swtt);
    EXPECT_STREQ(r.tagIdFilter, c.tagid);
  }
}

// A tag with a lower-case SWTT identifier, as some drivers report them.
const char *kLower = "[tag lower]\nid = 04AB000000000001\nswtt = 04ab00000001\ntype = T3\nantenna = 2\n";

std::string Root(const char *name, int count, const char *end = ">\r\n", const char *version = "2.0") {
  return std::string("<") + name + " Reader=\"R1\" TagCount=\"" + std::to_string(count) +
         "\" Date=\"D\" Time=\"T\" ApiVersion=\"" + version + "\"" + end;
}
std::string FieldElement(const char *entry, const char *mask, const char *name, const char *type, const char *range,
                  const char *status, const char *value) {
  return std::string("<Field Type=\"SWTT\" EntryNr=\"") + entry + "\" SWTTmask=\"" + mask + "\" Name=\"" + name +
         "\" DataType=\"" + type + "\" " + range + " FieldStatus=\"" + status + "\">" + value + "</Field>\r\n";
}

const std::string kPalletTag = "<Tag ID=\"0123456789ABCDEF\" SWTT=\"0123456789AB\" HWTAGTYPE=\"T1\" Antenna=\"01\"";
const std::string kCartonTag = "<Tag ID=\"0456000000000007\" SWTT=\"045600000007\" HWTAGTYPE=\"T2\" Antenna=\"0A\"";
const std::string kLowerTag = "<Tag ID=\"04AB000000000001\" SWTT=\"04ab00000001\" HWTAGTYPE=\"T3\" Antenna=\"02\"/>\r\n";
const std::string kPartNo =
    FieldElement("0", "0123xxxxxxxx", "PartNo", "String", "DataStart=\"18\" DataLen=\"8\"", "0", "AB-12");
const std::string kCartonSerial =
    FieldElement("0", "0456xxxxxxxx", "Serial", "Hex", "DataStart=\"0\" DataLen=\"8\"", "0", "0456000000000007");
const Status kIdentifying{0, 7, 0, u"Identifying"};
const Status kReadOk{0, 8, 0, u"Read OK"};

class Commands : public TwoTags {
 protected:
  int32_t Run(const char16_t *command) {
    length = count = -1;
    return VOLNEDA_Command(handle, command ? W(command) : nullptr, &length, &count);
  }
  // The stored document with its date and time replaced by D and T.
  std::string Doc() {
    static const std::regex kDateTime("Date=\"[0-9]{8}\" Time=\"[0-9]{2}:[0-9]{2}:[0-9]{2}\"");
    return std::regex_replace(Context()->docText ? Context()->docText : "(none)", kDateTime, "Date=\"D\" Time=\"T\"");
  }
  int32_t length = -1, count = -1;
};

TEST_F(Commands, IdentifyAllAndByFilters) {
  Start(std::string(kPallet) + kCarton + kLower);
  struct Case { const char16_t *command; int tags; std::string body; } cases[] = {
      {u"identify", 3, kPalletTag + "/>\r\n" + kCartonTag + "/>\r\n" + kLowerTag},
      // The identifier wins over the mask.
      {u"identify where swtt=0123 and tagid=0456000000000007", 1, kCartonTag + "/>\r\n"},
      // A mask is a prefix, case ignored on either side.
      {u"identify where swtt=04", 2, kCartonTag + "/>\r\n" + kLowerTag},
      {u"identify where tagid=FFFFFFFFFFFFFFFF", 0, ""},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(Run(c.command), 0);
    EXPECT_EQ(count, c.tags);
    EXPECT_EQ(Doc(), c.tags ? Root("IdentifyTags", c.tags) + c.body + "</IdentifyTags>\r\n"
                            : Root("IdentifyTags", 0, "/>\r\n")) << Narrow(c.command);
    EXPECT_EQ(length, static_cast<int32_t>(std::strlen(Context()->docText)));
    EXPECT_EQ(Drain(), (Messages{kIdentifying}));
  }
}

TEST_F(Commands, VersionOneDriverShape) {
  Start(std::string(kPallet) + kLower, "version = 1.3\n");
  EXPECT_EQ(Run(u"identify"), 0);
  // Interface 1: no tag type or antenna, and the SWTT identifier upper-cased.
  EXPECT_EQ(Doc(), Root("IdentifyTags", 2, ">\r\n", "1.3") + "<Tag ID=\"0123456789ABCDEF\" SWTT=\"0123456789AB\"/>\r\n" +
                       "<Tag ID=\"04AB000000000001\" SWTT=\"04AB00000001\"/>\r\n</IdentifyTags>\r\n");
}

TEST_F(Commands, ReadsListedMissingAndMemFields) {
  Templates("[0123xxxxxxxx]\nID=Pallet\nf_00=PartNo,18,8,s\n");
  WriteTextFile(fieldPath, "[reader RDR1]\nversion = 2.1\nattr.RFID_SWTT_FILE_NAME = " + swttPath + "\n" + kPallet);
  ASSERT_EQ(Open(u"RDR1"), 0);
  Drain();
  EXPECT_EQ(Run(u"read field(0,3) mem(Counter,26,2,i)"), 0);
  EXPECT_EQ(count, 1);
  const std::string want =
      "<ReadTags Reader=\"RDR1\" TagCount=\"1\" Date=\"D\" Time=\"T\" ApiVersion=\"2.1\">\r\n" + kPalletTag +
      " NrFields=\"3\">\r\n" + kPartNo + "<Field EntryNr=\"3\" Warning=\"FieldDoesNotExist\"/>\r\n"
      "<Field Type=\"MEM\" Name=\"counter\" DataType=\"Int\" DataStart=\"26\" DataLen=\"2\">513</Field>\r\n"
      "</Tag>\r\n</ReadTags>\r\n";
  EXPECT_EQ(Doc(), want);
  EXPECT_EQ(length, static_cast<int32_t>(want.size() + 14));  // Date and Time are 8 characters each
  EXPECT_EQ(Drain(), (Messages{kIdentifying, kReadOk, {1, 8, -3302, u"Field 3"}}));
}

TEST_F(Commands, ReadFieldSelections) {
  Start();
  const std::string weight = FieldElement("4", "0456xxxxxxxx", "Weight", "Int", "DataStart=\"40\" DataLen=\"4\"", "0", "1000");
  struct Case { const char16_t *command; std::string doc; Messages messages; } cases[] = {
      // All fields: 0, 1, 2 of the pallet; 0 and 4 of the carton despite the gap.
      {u"read",
       Root("ReadTags", 2) + kPalletTag + " NrFields=\"3\">\r\n" + kPartNo +
           FieldElement("1", "0123xxxxxxxx", "Serial", "Hex", "DataStart=\"0\" DataLen=\"8\"", "0", "0123456789ABCDEF") +
           FieldElement("2", "0123xxxxxxxx", "Count", "Int", "DataStart=\"26\" DataLen=\"2\"", "0", "513") + "</Tag>\r\n" +
           kCartonTag + " NrFields=\"2\">\r\n" + kCartonSerial + weight + "</Tag>\r\n</ReadTags>\r\n",
       {kIdentifying, kReadOk}},
      // Two MEM fields: field 4 comes from slot 2.  SWTT fields come first.
      {u"read mem(a,40,2,h) field(4) mem(b,0,3,s) where tagid=0456000000000007",
       Root("ReadTags", 1) + kCartonTag + " NrFields=\"3\">\r\n" + weight +
           "<Field Type=\"MEM\" Name=\"a\" DataType=\"Hex\" DataStart=\"40\" DataLen=\"2\">E803</Field>\r\n"
           "<Field Type=\"MEM\" Name=\"b\" DataType=\"String\" DataStart=\"0\" DataLen=\"3\">\x04V</Field>\r\n"
           "</Tag>\r\n</ReadTags>\r\n",
       {kIdentifying, kReadOk}},
      {u"read where swtt=0123", Root("ReadTags", 1) + kPalletTag + " NrFields=\"0\"/>\r\n</ReadTags>\r\n",
       {kIdentifying, kReadOk}},
      // Nothing selected: no read, a document without tags.
      {u"read where tagid=FFFFFFFFFFFFFFFF", Root("ReadTags", 0, "/>\r\n"), {kIdentifying}},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(Run(c.command), 0);
    EXPECT_EQ(Doc(), c.doc) << Narrow(c.command);
    EXPECT_EQ(Drain(), c.messages);
  }
}

TEST_F(Commands, NoReaderAndNoTemplates) {
  EXPECT_EQ(VOLNEDA_Command(nullptr, W(u"identify"), &length, &count), -3307);
  EXPECT_EQ(Run(u"identify"), -3300);
  EXPECT_EQ(Drain(), (Messages{{2, 8, -3300, u""}}));
  Start(kPallet, "", false);
  EXPECT_EQ(Run(u"read field(0) mem(id,0,2,h)"), 0);
  EXPECT_EQ(Doc(), Root("ReadTags", 1) + kPalletTag + " NrFields=\"1\">\r\n" +
                       "<Field Type=\"MEM\" Name=\"id\" DataType=\"Hex\" DataStart=\"0\" DataLen=\"2\">0123</Field>\r\n"
                       "</Tag>\r\n</ReadTags>\r\n");
  // Once from the read, once per reported tag from the document.
  EXPECT_EQ(Drain(), (Messages{kIdentifying, {1, 8, -3301, u""}, kReadOk, {1, 8, -3301, u""}}));
}

TEST_F(Commands, FailedTagsFieldsAndRequests) {
  Start();
  TagdrvSetTagStatus("0123456789ABCDEF", -5);
  TagdrvSetFieldFault("0456000000000007", 41, -20);
  EXPECT_EQ(Run(u"read field(0,4)"), 0);
  EXPECT_EQ(count, 1);  // the failed tag is left out, the failed field shows its status
  EXPECT_EQ(Doc(), Root("ReadTags", 1) + kCartonTag + " NrFields=\"2\">\r\n" + kCartonSerial +
                       FieldElement("4", "0456xxxxxxxx", "Weight", "Int", "DataStart=\"40\" DataLen=\"4\"", "-20", "0") +
                       "</Tag>\r\n</ReadTags>\r\n");
  // Failed requests keep the previous document.
  const std::string before = Doc();
  VOLNEDA_WCHAR text[112] = {};
  VOLNEDA_GetErrorString(handle, -77, text);
  Drain();
  struct Case { const char16_t *command; int fault; int32_t rc; Messages messages; } cases[] = {
      {u"read where swtt=01", TAGDRV_FAULT_READ, 1, {kIdentifying, {2, 8, -77, U(text)}}},
      {u"read field(0)", TAGDRV_FAULT_IDENTIFY, -77, {kIdentifying, {2, 7, -77, u""}}},
      {u"write", 0, -3201, {{2, 2, -3201, u""}}}, {u"read where tagid=01", 0, -3205, {{2, 2, -3205, u""}}},
      {nullptr, 0, -3201, {{2, 2, -3201, u""}}},
  };
  for (const Case &c : cases) {
    TagdrvClearFaults();
    TagdrvSetFault(c.fault, -77);  // 0: none
    EXPECT_EQ(Run(c.command), c.rc);
    EXPECT_EQ(std::to_string(count) + "," + std::to_string(length) + ":" + Doc(), "0,-1:" + before) << c.rc;
    EXPECT_EQ(Drain(), c.messages);
  }
  // A read of listed fields shows what it got when the read failed: zeros.
  TagdrvSetFault(TAGDRV_FAULT_READ, -77);
  EXPECT_EQ(Run(u"read field(0)"), 1);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(Doc(), Root("ReadTags", 2) + kPalletTag + " NrFields=\"1\">\r\n" +
                       kPartNo.substr(0, kPartNo.find(">AB-12")) + "/>\r\n</Tag>\r\n" + kCartonTag +
                       " NrFields=\"1\">\r\n" + std::regex_replace(kCartonSerial, std::regex("0456000000000007"),
                                                                      "0000000000000000") + "</Tag>\r\n</ReadTags>\r\n");
  TagdrvClearFaults();
  EXPECT_EQ(VOLNEDA_Command(handle, W(u"identify"), nullptr, nullptr), 0);  // out-parameters may be null
}

}  // namespace
