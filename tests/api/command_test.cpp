// Commands end to end, through the exported functions against the simulated
// reader: the whole result document (Date and Time aside), the result code,
// the tag count and every status message.
#include <cstring>
#include <regex>

#include "api/context.h"
#include "sim_reader.h"

namespace {

using Messages = std::vector<Status>;

// Pallet tag and carton tag.  The carton template defines fields 0 and 4
// only, with a gap between.
const char *kTemplates =
    "[0123xxxxxxxx]\nID=Pallet\nf_00=PartNo,18,8,s\nf_01=Serial,0,8,h\nf_02=Count,26,2,i\n"
    "[0456xxxxxxxx]\nID=Carton\nf_00=Serial,0,8,h\nf_04=Weight,40,4,i\n";
const char *kPallet =
    "[tag pallet]\nid = 0123456789ABCDEF\nswtt = 0123456789AB\ntype = T1\nantenna = 1\n"
    "mem.0 = 0123456789ABCDEF\ntext.18 = AB-12\nmem.26 = 01 02\n";
const char *kCarton =
    "[tag carton]\nid = 0456000000000007\nswtt = 045600000007\ntype = T2\nantenna = 10\n"
    "mem.0 = 0456000000000007\nmem.40 = E8 03 00 00\n";
// A tag with a lower-case SWTT identifier, as some drivers report them.
const char *kLower =
    "[tag lower]\nid = 04AB000000000001\nswtt = 04ab00000001\ntype = T3\nantenna = 2\n";

std::string Root(const char *name, int count, const char *version = "2.0") {
  return std::string("<") + name + " Reader=\"R1\" TagCount=\"" + std::to_string(count) +
         "\" Date=\"D\" Time=\"T\" ApiVersion=\"" + version + "\">\r\n";
}
std::string RootEmpty(const char *name, int count) {
  std::string r = Root(name, count);
  return r.substr(0, r.size() - 3) + "/>\r\n";
}

const std::string kPalletTag = "<Tag ID=\"0123456789ABCDEF\" SWTT=\"0123456789AB\" HWTAGTYPE=\"T1\" Antenna=\"01\"";
const std::string kCartonTag = "<Tag ID=\"0456000000000007\" SWTT=\"045600000007\" HWTAGTYPE=\"T2\" Antenna=\"0A\"";

class Commands : public SimReader {
 protected:
  void Start(const std::string &tags, const std::string &readerExtra = "", bool templates = true) {
    if (templates) Templates(kTemplates);
    Field(tags, readerExtra);
    ASSERT_EQ(Open(), 0);
    Drain();
  }
  int32_t Run(const char16_t *command) {
    length = -1;
    count = -1;
    return VOLNEDA_Command(handle, W(command), &length, &count);
  }
  // The stored document with its date and time replaced by D and T.
  std::string Doc() {
    const char *text = ToContext(handle)->docText;
    if (!text) return "(none)";
    std::string doc(text);
    doc = std::regex_replace(doc, std::regex("Date=\"[0-9]{8}\""), "Date=\"D\"");
    return std::regex_replace(doc, std::regex("Time=\"[0-9]{2}:[0-9]{2}:[0-9]{2}\""), "Time=\"T\"");
  }
  int32_t length = -1, count = -1;
};

const Status kIdentifying{0, 7, 0, u"Identifying"};
const Status kReadOk{0, 8, 0, u"Read OK"};

TEST_F(Commands, IdentifyWithoutTags) {
  Start("");
  EXPECT_EQ(Run(u"identify"), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(Doc(), RootEmpty("IdentifyTags", 0));
  EXPECT_EQ(length, static_cast<int32_t>(std::strlen(ToContext(handle)->docText)));
  EXPECT_EQ(Drain(), (Messages{kIdentifying}));
}

TEST_F(Commands, IdentifyAllAndByFilters) {
  Start(std::string(kPallet) + kCarton + kLower);
  struct Case {
    const char16_t *command;
    int tags;
    std::string body;
  } cases[] = {
      {u"identify", 3,
       kPalletTag + "/>\r\n" + kCartonTag + "/>\r\n" +
           "<Tag ID=\"04AB000000000001\" SWTT=\"04ab00000001\" HWTAGTYPE=\"T3\" Antenna=\"02\"/>\r\n"},
      {u"identify where tagid=0456000000000007", 1, kCartonTag + "/>\r\n"},
      // The identifier wins over the mask.
      {u"identify where swtt=0123 and tagid=0456000000000007", 1, kCartonTag + "/>\r\n"},
      // A mask is a prefix, case ignored on either side.
      {u"identify where swtt=04", 2,
       kCartonTag + "/>\r\n" + "<Tag ID=\"04AB000000000001\" SWTT=\"04ab00000001\" HWTAGTYPE=\"T3\" Antenna=\"02\"/>\r\n"},
      {u"identify where swtt=04AB", 1,
       "<Tag ID=\"04AB000000000001\" SWTT=\"04ab00000001\" HWTAGTYPE=\"T3\" Antenna=\"02\"/>\r\n"},
      {u"identify where tagid=FFFFFFFFFFFFFFFF", 0, ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.command, c.command + std::char_traits<char16_t>::length(c.command)));
    EXPECT_EQ(Run(c.command), 0);
    EXPECT_EQ(count, c.tags);
    if (c.tags == 0) EXPECT_EQ(Doc(), RootEmpty("IdentifyTags", 0));
    else EXPECT_EQ(Doc(), Root("IdentifyTags", c.tags) + c.body + "</IdentifyTags>\r\n");
    EXPECT_EQ(Drain(), (Messages{kIdentifying}));
  }
}

TEST_F(Commands, VersionOneDriver) {
  Start(std::string(kPallet) + kLower, "version = 1.3\n");
  EXPECT_EQ(Run(u"identify"), 0);
  // Interface 1: no tag type or antenna, and the SWTT identifier upper-cased.
  EXPECT_EQ(Doc(), Root("IdentifyTags", 2, "1.3") + "<Tag ID=\"0123456789ABCDEF\" SWTT=\"0123456789AB\"/>\r\n" +
                       "<Tag ID=\"04AB000000000001\" SWTT=\"04AB00000001\"/>\r\n</IdentifyTags>\r\n");
  EXPECT_EQ(Run(u"read where tagid=04AB000000000001"), 0);
  EXPECT_EQ(Doc(), Root("ReadTags", 1, "1.3") +
                       "<Tag ID=\"04AB000000000001\" SWTT=\"04AB00000001\" NrFields=\"0\"/>\r\n</ReadTags>\r\n");
}

TEST_F(Commands, ReadTheDocumentedExample) {
  Templates("[0123xxxxxxxx]\nID=Pallet\nf_00=PartNo,18,8,s\n");
  WriteTextFile(fieldPath, "[reader RDR1]\nversion = 2.1\nattr.RFID_SWTT_FILE_NAME = " + swttPath + "\n" + kPallet);
  ASSERT_EQ(Open(u"RDR1"), 0);
  Drain();
  EXPECT_EQ(Run(u"read field(0,3) mem(Counter,26,2,i)"), 0);
  EXPECT_EQ(count, 1);
  const std::string want =
      "<ReadTags Reader=\"RDR1\" TagCount=\"1\" Date=\"D\" Time=\"T\" ApiVersion=\"2.1\">\r\n"
      "<Tag ID=\"0123456789ABCDEF\" SWTT=\"0123456789AB\" HWTAGTYPE=\"T1\" Antenna=\"01\" NrFields=\"3\">\r\n"
      "<Field Type=\"SWTT\" EntryNr=\"0\" SWTTmask=\"0123xxxxxxxx\" Name=\"PartNo\" DataType=\"String\" "
      "DataStart=\"18\" DataLen=\"8\" FieldStatus=\"0\">AB-12</Field>\r\n"
      "<Field EntryNr=\"3\" Warning=\"FieldDoesNotExist\"/>\r\n"
      "<Field Type=\"MEM\" Name=\"counter\" DataType=\"Int\" DataStart=\"26\" DataLen=\"2\">513</Field>\r\n"
      "</Tag>\r\n</ReadTags>\r\n";
  EXPECT_EQ(Doc(), want);
  // Date and Time are 8 characters each in the stored text.
  EXPECT_EQ(length, static_cast<int32_t>(want.size() + 14));
  EXPECT_EQ(Drain(), (Messages{kIdentifying, kReadOk, {1, 8, -3302, u"Field 3"}}));
  // The stored text is the document and two zero bytes behind it.
  const char *text = ToContext(handle)->docText;
  EXPECT_EQ(text[length], 0);
  EXPECT_EQ(text[length + 1], 0);
  VOLNEDA_WCHAR copy[1024] = {};
  EXPECT_EQ(VOLNEDA_GetXMLData(handle, copy, 1024), 0);
  EXPECT_EQ(U(copy).size(), static_cast<size_t>(length));
}

TEST_F(Commands, ReadFieldSelections) {
  Start(std::string(kPallet) + kCarton);
  const std::string partNo =
      "<Field Type=\"SWTT\" EntryNr=\"0\" SWTTmask=\"0123xxxxxxxx\" Name=\"PartNo\" DataType=\"String\" "
      "DataStart=\"18\" DataLen=\"8\" FieldStatus=\"0\">AB-12</Field>\r\n";
  const std::string serial =
      "<Field Type=\"SWTT\" EntryNr=\"1\" SWTTmask=\"0123xxxxxxxx\" Name=\"Serial\" DataType=\"Hex\" "
      "DataStart=\"0\" DataLen=\"8\" FieldStatus=\"0\">0123456789ABCDEF</Field>\r\n";
  const std::string countField =
      "<Field Type=\"SWTT\" EntryNr=\"2\" SWTTmask=\"0123xxxxxxxx\" Name=\"Count\" DataType=\"Int\" "
      "DataStart=\"26\" DataLen=\"2\" FieldStatus=\"0\">513</Field>\r\n";
  const std::string cartonSerial =
      "<Field Type=\"SWTT\" EntryNr=\"0\" SWTTmask=\"0456xxxxxxxx\" Name=\"Serial\" DataType=\"Hex\" "
      "DataStart=\"0\" DataLen=\"8\" FieldStatus=\"0\">0456000000000007</Field>\r\n";
  const std::string weight =
      "<Field Type=\"SWTT\" EntryNr=\"4\" SWTTmask=\"0456xxxxxxxx\" Name=\"Weight\" DataType=\"Int\" "
      "DataStart=\"40\" DataLen=\"4\" FieldStatus=\"0\">1000</Field>\r\n";
  struct Case {
    const char16_t *command;
    std::string doc;
    Messages messages;
  } cases[] = {
      // All fields: 0, 1, 2 of the pallet; 0 and 4 of the carton despite the gap.
      {u"read",
       Root("ReadTags", 2) + kPalletTag + " NrFields=\"3\">\r\n" + partNo + serial + countField + "</Tag>\r\n" +
           kCartonTag + " NrFields=\"2\">\r\n" + cartonSerial + weight + "</Tag>\r\n</ReadTags>\r\n",
       {kIdentifying, kReadOk}},
      // A listed field the template lacks: a warning element that counts.
      {u"read field(1,7) where swtt=0123",
       Root("ReadTags", 1) + kPalletTag + " NrFields=\"2\">\r\n" + serial +
           "<Field EntryNr=\"7\" Warning=\"FieldDoesNotExist\"/>\r\n</Tag>\r\n</ReadTags>\r\n",
       {kIdentifying, kReadOk, {1, 8, -3302, u"Field 7"}}},
      // Two MEM fields: field 4 comes from slot 2.  SWTT fields come first.
      {u"read mem(a,40,2,h) field(4) mem(b,0,3,s) where tagid=0456000000000007",
       Root("ReadTags", 1) + kCartonTag + " NrFields=\"3\">\r\n" + weight +
           "<Field Type=\"MEM\" Name=\"a\" DataType=\"Hex\" DataStart=\"40\" DataLen=\"2\">E803</Field>\r\n"
           "<Field Type=\"MEM\" Name=\"b\" DataType=\"String\" DataStart=\"0\" DataLen=\"3\">\x04V</Field>\r\n"
           "</Tag>\r\n</ReadTags>\r\n",
       {kIdentifying, kReadOk}},
      // Where only: no fields at all.
      {u"read where swtt=0123",
       Root("ReadTags", 1) + kPalletTag + " NrFields=\"0\"/>\r\n</ReadTags>\r\n", {kIdentifying, kReadOk}},
      // Nothing selected: no read, a document without tags.
      {u"read where tagid=FFFFFFFFFFFFFFFF", RootEmpty("ReadTags", 0), {kIdentifying}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.command, c.command + std::char_traits<char16_t>::length(c.command)));
    EXPECT_EQ(Run(c.command), 0);
    EXPECT_EQ(Doc(), c.doc);
    EXPECT_EQ(Drain(), c.messages);
  }
}

TEST_F(Commands, TemplateFieldsWithoutTemplate) {
  Start(kPallet, "", false);
  EXPECT_EQ(Run(u"read field(0) mem(id,0,2,h)"), 0);
  EXPECT_EQ(Doc(), Root("ReadTags", 1) + kPalletTag + " NrFields=\"1\">\r\n" +
                       "<Field Type=\"MEM\" Name=\"id\" DataType=\"Hex\" DataStart=\"0\" DataLen=\"2\">0123</Field>\r\n"
                       "</Tag>\r\n</ReadTags>\r\n");
  // Once from the read, once per reported tag from the document.
  EXPECT_EQ(Drain(), (Messages{kIdentifying, {1, 8, -3301, u""}, kReadOk, {1, 8, -3301, u""}}));
}

TEST_F(Commands, FailedTagsAndFields) {
  Start(std::string(kPallet) + kCarton);
  TagdrvSetTagStatus("0123456789ABCDEF", -5);
  TagdrvSetFieldFault("0456000000000007", 41, -20);
  EXPECT_EQ(Run(u"read field(0,4)"), 0);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(Doc(), Root("ReadTags", 1) + kCartonTag + " NrFields=\"2\">\r\n" +
                       "<Field Type=\"SWTT\" EntryNr=\"0\" SWTTmask=\"0456xxxxxxxx\" Name=\"Serial\" DataType=\"Hex\" "
                       "DataStart=\"0\" DataLen=\"8\" FieldStatus=\"0\">0456000000000007</Field>\r\n"
                       "<Field Type=\"SWTT\" EntryNr=\"4\" SWTTmask=\"0456xxxxxxxx\" Name=\"Weight\" DataType=\"Int\" "
                       "DataStart=\"40\" DataLen=\"4\" FieldStatus=\"-20\">0</Field>\r\n</Tag>\r\n</ReadTags>\r\n");
  EXPECT_EQ(Run(u"identify"), 0);
  EXPECT_EQ(count, 1);
}

TEST_F(Commands, FailedRequestsKeepThePreviousDocument) {
  Start(kPallet);
  ASSERT_EQ(Run(u"identify"), 0);
  const std::string before = Doc();
  VOLNEDA_WCHAR text[112] = {};
  VOLNEDA_GetErrorString(handle, -77, text);
  const std::u16string readError = U(text);
  Drain();

  struct Case {
    const char16_t *command;
    int fault;
    bool keeps;
  } cases[] = {
      {u"read", TAGDRV_FAULT_READ, true},
      {u"read where swtt=01", TAGDRV_FAULT_READ, true},
      {u"read field(0) where swtt=01", TAGDRV_FAULT_READ, true},
      {u"identify", TAGDRV_FAULT_IDENTIFY, true},
      {u"read field(0)", TAGDRV_FAULT_IDENTIFY, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.command, c.command + std::char_traits<char16_t>::length(c.command)));
    TagdrvSetFault(c.fault, -77);
    EXPECT_EQ(Run(c.command), c.fault == TAGDRV_FAULT_READ ? 1 : -77);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(length, -1);
    EXPECT_EQ(Doc(), before);
    if (c.fault == TAGDRV_FAULT_READ) EXPECT_EQ(Drain(), (Messages{kIdentifying, {2, 8, -77, readError}}));
    else EXPECT_EQ(Drain(), (Messages{kIdentifying, {2, 7, -77, u""}}));
    TagdrvClearFaults();
  }
  // A read of listed fields shows what it got even when the read failed.
  TagdrvSetFault(TAGDRV_FAULT_READ, -77);
  EXPECT_EQ(Run(u"read field(0)"), 1);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(Doc(), Root("ReadTags", 1) + kPalletTag + " NrFields=\"1\">\r\n" +
                       "<Field Type=\"SWTT\" EntryNr=\"0\" SWTTmask=\"0123xxxxxxxx\" Name=\"PartNo\" DataType=\"String\" "
                       "DataStart=\"18\" DataLen=\"8\" FieldStatus=\"0\"/>\r\n</Tag>\r\n</ReadTags>\r\n");
}

TEST_F(Commands, RefusedCommands) {
  struct Case {
    const char16_t *command;
    int32_t rc;
  } cases[] = {{u"write", -3201}, {u"read where", -3202}, {u"read where tagid=01", -3205}, {nullptr, -3201}};
  Start(kPallet);
  ASSERT_EQ(Run(u"identify"), 0);
  const std::string before = Doc();
  Drain();
  for (const Case &c : cases) {
    length = count = -1;
    EXPECT_EQ(VOLNEDA_Command(handle, c.command ? W(c.command) : nullptr, &length, &count), c.rc);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(length, -1);
    EXPECT_EQ(Doc(), before);
    EXPECT_EQ(Drain(), (Messages{{2, 2, c.rc, u""}}));
  }
  // Null out-parameters are allowed.
  EXPECT_EQ(VOLNEDA_Command(handle, W(u"identify"), nullptr, nullptr), 0);
}

TEST_F(Commands, NoContextOrNoReader) {
  int32_t length = 5, count = 5;
  EXPECT_EQ(VOLNEDA_Command(nullptr, W(u"identify"), &length, &count), -3307);
  EXPECT_EQ(VOLNEDA_Command(handle, W(u"identify"), &length, &count), -3300);
  EXPECT_EQ(length, 5);
  EXPECT_EQ(Drain(), (Messages{{2, 8, -3300, u""}}));
}

}  // namespace
