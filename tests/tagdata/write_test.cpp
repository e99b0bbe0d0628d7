// Writes end to end against the simulated reader: what lands in tag memory
// (read back through a read command), the result code and every message.
#include <regex>

#include "api/context.h"
#include "sim_reader.h"

namespace {

using Messages = std::vector<Status>;

const char *kTemplates =
    "[0123xxxxxxxx]\nID=Pallet\nf_00=PartNo,18,8,s\nf_01=Serial,0,8,h\nf_02=Count,26,2,i\n"
    "[0456xxxxxxxx]\nID=Carton\nf_00=Serial,0,8,h\n";
const char *kPallet =
    "[tag pallet]\nid = 0123456789ABCDEF\nswtt = 0123456789AB\ntype = T1\nantenna = 1\n"
    "mem.0 = 0123456789ABCDEF\ntext.18 = AB-12\nmem.26 = 01 02\n";
const char *kCarton =
    "[tag carton]\nid = 0456000000000007\nswtt = 045600000007\ntype = T2\nantenna = 10\n"
    "mem.0 = 0456000000000007\n";

const Status kPassed{0, 1, 0, u"XML document passed test"};
const Status kIdentifying{0, 7, 0, u"Identifying"};
const Status kWriteOk{0, 9, 0, u"Write OK"};
const Status kNotFound{1, 9, -3350, u""};

std::u16string Request(const std::u16string &tags) { return u"<WriteTags>" + tags + u"</WriteTags>"; }
std::u16string PalletTag(const std::u16string &children) {
  return u"<Tag ID=\"0123456789ABCDEF\">" + children + u"</Tag>";
}

class Writes : public SimReader {
 protected:
  void Start(const std::string &tags = std::string(kPallet) + kCarton, bool templates = true) {
    if (templates) Templates(kTemplates);
    Field(tags);
    ASSERT_EQ(Open(), 0);
    Drain();
  }
  int32_t Write(const std::u16string &doc) { return VOLNEDA_Write(handle, W(doc)); }
  // Bytes start .. start+length-1 of a tag as hexadecimal digits.
  std::string Memory(const char *tagId, int start, int length) {
    const std::string command =
        "read mem(m," + std::to_string(start) + "," + std::to_string(length) + ",h) where tagid=" + tagId;
    std::u16string wide(command.begin(), command.end());
    int32_t len = 0, count = 0;
    if (VOLNEDA_Command(handle, W(wide), &len, &count) != 0 || count != 1) return "(no tag)";
    Drain();
    std::smatch m;
    const std::string doc = ToContext(handle)->docText;
    return std::regex_search(doc, m, std::regex(">([0-9A-F]*)</Field>")) ? m[1].str() : "(no field)";
  }
};

TEST_F(Writes, ValuesLandInTagMemory) {
  Start();
  struct Case {
    std::u16string children;
    int start, length;
    std::string bytes;
  } cases[] = {
      // Template field 0 of the pallet: a string padded with blanks to 8 bytes.
      {u"<SWTTField EntryNr=\"0\">XY</SWTTField>", 18, 8, "5859202020202020"},
      {u"<SWTTField EntryNr=\"2\" Locked=\"TRUE\">772</SWTTField>", 26, 2, "0403"},
      {u"<SWTTField EntryNr=\"1\">FEDCBA9876543210</SWTTField>", 0, 8, "FEDCBA9876543210"},
      // Raw ranges: the length follows from the text when MemLen is absent.
      {u"<MEMField MemStart=\"40\" MemType=\"STRING\">ABC</MEMField><MEMField MemStart=\"43\">Z</MEMField>", 40,
       5, "4142435A00"},
      {u"<MEMField MemStart=\"50\" MemType=\"hex\">ABC</MEMField>", 50, 2, "AB00"},
      {u"<MEMField MemStart=\"60\" MemType=\"I\">1000</MEMField>", 60, 5, "E803000000"},
      {u"<MEMField MemStart=\"70\" MemLen=\"2\" MemType=\"Integer\">258</MEMField>", 70, 3, "020100"},
      {u"<MEMField MemStart=\"80\" MemLen=\"4\" MemType=\"H\">A1B2C3D4</MEMField>", 80, 4, "A1B2C3D4"},
      {u"<MEMField MemStart=\"90\" MemLen=\"2\">HELLO</MEMField>", 90, 3, "484500"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.children.begin(), c.children.end()));
    EXPECT_EQ(Write(Request(PalletTag(c.children))), 0);
    EXPECT_EQ(Drain(), (Messages{kPassed, kIdentifying, kWriteOk}));
    EXPECT_EQ(Memory("0123456789ABCDEF", c.start, c.length), c.bytes);
  }
  // The carton was never selected.
  EXPECT_EQ(Memory("0456000000000007", 0, 8), "0456000000000007");
}

TEST_F(Writes, SwttElementRewritesTheIdentifier) {
  Start();
  // No filter: both tags, in one driver call.
  const int32_t before = TagdrvWriteCount();
  EXPECT_EQ(Write(Request(u"<Tag><SWTT>0123456789ac</SWTT></Tag>")), 0);
  EXPECT_EQ(TagdrvWriteCount(), before + 1);
  EXPECT_EQ(Drain(), (Messages{kPassed, kIdentifying, kWriteOk}));
  EXPECT_EQ(Memory("0123456789ABCDEF", 11, 8), "000123456789AC41");
  int32_t len = 0, count = 0;
  ASSERT_EQ(VOLNEDA_Command(handle, W(u"identify where swtt=0123456789AC"), &len, &count), 0);
  EXPECT_EQ(count, 2);
  // The write leaves the last result document alone.
  const std::string doc = ToContext(handle)->docText;
  EXPECT_NE(doc.find("<IdentifyTags"), std::string::npos);
  EXPECT_EQ(Write(Request(u"<Tag/>")), 0);
  EXPECT_EQ(std::string(ToContext(handle)->docText), doc);
}

TEST_F(Writes, OutcomesOfSeveralTags) {
  Start();
  const std::u16string missing = u"<Tag ID=\"FFFFFFFFFFFFFFFF\"><MEMField MemStart=\"40\">A</MEMField></Tag>";
  const std::u16string ok = PalletTag(u"<MEMField MemStart=\"40\">B</MEMField>");
  struct Case {
    std::u16string doc;
    int32_t rc;
    Messages messages;
    int32_t driverCalls;
  } cases[] = {
      {Request(ok + missing), -3351, {kPassed, kIdentifying, kWriteOk, kIdentifying, kNotFound}, 1},
      {Request(missing + ok), -3351, {kPassed, kIdentifying, kNotFound, kIdentifying, kWriteOk}, 1},
      {Request(u"<Tag SWTT=\"0456\"><MEMField MemStart=\"40\">C</MEMField></Tag>"), 0,
       {kPassed, kIdentifying, kWriteOk}, 1},
      // Nothing to write: no driver call and no message.
      {Request(PalletTag(u"<DTField>x</DTField>")), 0, {kPassed, kIdentifying}, 0},
      // The carton's template has no field 1.
      {Request(u"<Tag SWTT=\"0456\"><SWTTField EntryNr=\"1\">x</SWTTField></Tag>"), 0, {kPassed, kIdentifying}, 0},
      {Request(u""), 0, {kPassed}, 0},
      {u"<WriteTags><Note/></WriteTags>", 0, {kPassed}, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.doc.begin(), c.doc.end()));
    const int32_t before = TagdrvWriteCount();
    EXPECT_EQ(Write(c.doc), c.rc);
    EXPECT_EQ(Drain(), c.messages);
    EXPECT_EQ(TagdrvWriteCount() - before, c.driverCalls);
  }
  EXPECT_EQ(Memory("0123456789ABCDEF", 40, 1), "42");
  EXPECT_EQ(Memory("0456000000000007", 40, 1), "43");
}

TEST_F(Writes, DriverFailures) {
  Start();
  const std::u16string both =
      Request(u"<Tag><MEMField MemStart=\"40\">A</MEMField><MEMField MemStart=\"50\">B</MEMField></Tag>");
  const std::u16string missing = u"<Tag ID=\"FFFFFFFFFFFFFFFF\"><MEMField MemStart=\"40\">A</MEMField></Tag>";

  TagdrvSetFault(TAGDRV_FAULT_WRITE_RETURN, 7);
  EXPECT_EQ(Write(both), -3352);
  EXPECT_EQ(Drain(), (Messages{kPassed, kIdentifying, {2, 9, 7, u"Write Parameter error"}}));
  // A failed write outweighs a Tag that found nothing.
  EXPECT_EQ(Write(Request(missing + u"<Tag SWTT=\"0123\"><MEMField MemStart=\"40\">A</MEMField></Tag>")), -3352);
  EXPECT_EQ(Drain(), (Messages{kPassed, kIdentifying, kNotFound, kIdentifying, {2, 9, 7, u"Write Parameter error"}}));
  TagdrvClearFaults();
  EXPECT_EQ(Memory("0123456789ABCDEF", 40, 1), "00");

  // The second field of the carton fails: the driver's text, the tag, the field.
  ASSERT_EQ(TagdrvSetFieldFault("0456000000000007", 50, -5), 1);
  VOLNEDA_WCHAR text[113] = {};
  VOLNEDA_GetErrorString(handle, -30, text);
  EXPECT_EQ(Write(both), -3352);
  EXPECT_EQ(Drain(), (Messages{kPassed,
                               kIdentifying,
                               {2, 9, -30, U(text)},
                               {2, 10, -30, u"0456000000000007"},
                               {2, 9, -5, u"Field failed to write"}}));
  EXPECT_FALSE(U(text).empty());
  // The pallet was written whole, the carton up to the failed field.
  EXPECT_EQ(Memory("0123456789ABCDEF", 50, 1), "42");
  EXPECT_EQ(Memory("0456000000000007", 40, 1), "41");
  EXPECT_EQ(Memory("0456000000000007", 50, 1), "00");
}

TEST_F(Writes, SwttFieldWithoutTemplates) {
  Start(kPallet, false);
  EXPECT_EQ(Write(Request(PalletTag(u"<SWTTField EntryNr=\"0\">x</SWTTField><MEMField MemStart=\"40\">A</MEMField>"))),
            0);
  EXPECT_EQ(Drain(), (Messages{kPassed, kIdentifying, {1, 8, -3301, u""}, kWriteOk}));
  EXPECT_EQ(Memory("0123456789ABCDEF", 18, 1), "41");  // 'A' of AB-12 untouched
  EXPECT_EQ(Memory("0123456789ABCDEF", 40, 1), "41");
}

TEST_F(Writes, RequestsThatNeverReachTheDriver) {
  const int32_t before = TagdrvWriteCount();
  // Closed reader: nothing is parsed, whatever the document.
  for (const char16_t *doc : {u"<WriteTags/>", u"<<garbage", u"@no-such-file.xml"}) {
    EXPECT_EQ(VOLNEDA_Write(handle, W(doc)), -3300);
    EXPECT_EQ(Drain(), (Messages{{2, 9, -3300, u"Write"}}));
  }
  EXPECT_EQ(VOLNEDA_Write(nullptr, W(u"<WriteTags/>")), -3307);
  Start();
  EXPECT_EQ(Write(u"@no-such-file.xml"), -3000);
  EXPECT_EQ(Write(u"<<garbage"), -3002);
  EXPECT_EQ(Write(Request(PalletTag(u"<Field/>"))), -3006);
  EXPECT_EQ(Drain(), (Messages{{2, 1, -3002, u"XML doc error"}, {2, 1, -3006, u"XML doc error"}}));
  EXPECT_EQ(TagdrvWriteCount(), before);
}

TEST_F(Writes, RequestFromAFile) {
  Start();
  const std::string file = Name("_request.xml");
  // UTF-8 with a byte-order mark and bare LF line ends.
  WriteTextFile(file,
                "\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<WriteTags>\n<Tag ID=\"0123456789ABCDEF\">\n"
                "<MEMField MemStart=\"40\" MemType=\"S\">\xC3\xA9</MEMField>\n</Tag>\n</WriteTags>\n");
  const std::u16string name(file.begin(), file.end());
  EXPECT_EQ(Write(u"@" + name), 0);
  EXPECT_EQ(Drain(), (Messages{kPassed, kIdentifying, kWriteOk}));
  // U+00E9 is one byte in the system code page.
  EXPECT_EQ(Memory("0123456789ABCDEF", 40, 2), "E900");
  std::remove(file.c_str());
}

TEST_F(Writes, RequestBuiltWithTheXmlWriterFunctions) {
  Start();
  XMLREADER_HANDLE x = nullptr;
  XMLreader_OpenDoc(&x, W(u""));
  ASSERT_NE(x, nullptr);
  ASSERT_EQ(XMLreader_WriteXMLHeader(x), 1);
  ASSERT_EQ(XMLreader_WriteXMLAddTag(x, W(u"0123456789ABCDEF")), 1);
  ASSERT_EQ(XMLreader_WriteXMLAddSWTTFieldInfo(x, 0, W(u"NEW")), 1);
  ASSERT_EQ(XMLreader_WriteXMLAddMEMFieldInfo(x, 26, 2, 'i', W(u"4660")), 1);
  std::vector<VOLNEDA_WCHAR> doc(static_cast<size_t>(GetCurrentDocLen(x)) + 1);
  GetCurrentDoc(x, doc.data(), static_cast<int32_t>(doc.size()));
  XMLreader_CloseDoc(x);
  EXPECT_EQ(VOLNEDA_Write(handle, doc.data()), 0);
  EXPECT_EQ(Drain(), (Messages{kPassed, kIdentifying, kWriteOk}));
  EXPECT_EQ(Memory("0123456789ABCDEF", 18, 4), "4E455720");
  EXPECT_EQ(Memory("0123456789ABCDEF", 26, 2), "3412");
}

}  // namespace
