// The check of a WriteTags request: one table of documents, each with the
// code it gets and the message it posts; the first failing check decides.
#include "api/context.h"
#include "sim_reader.h"
#include "tagdata/write_request.h"

namespace {

using Messages = std::vector<Status>;

std::string Narrow(const std::u16string &s) { return std::string(s.begin(), s.end()); }

std::u16string Tag(const std::u16string &attributes, const std::u16string &children) {
  return u"<WriteTags><Tag" + attributes + u">" + children + u"</Tag></WriteTags>";
}

TEST_F(SimReader, WriteRequestChecks) {
  struct Case {
    std::u16string doc;
    int32_t rc;
  } cases[] = {
      {u"<WriteTags/>", 0},
      {u"<WriteTags><Note/><Tag/></WriteTags>", 0},  // children other than Tag are ignored
      {Tag(u" ID=\"0123456789abcdef\"", u""), 0},
      {Tag(u" ID=\"\" SWTT=\"\"", u""), 0},
      {Tag(u" ID=\"0123456789ABCDE\"", u""), -3004},
      {Tag(u" ID=\"0123456789ABCDEG\"", u""), -3012},
      {Tag(u" ID=\"0123456789:;<=>?\"", u""), 0},  // ':' to '@' pass as digits
      {Tag(u" SWTT=\"0123\"", u""), 0},
      {Tag(u" SWTT=\"0123456789ABC\"", u""), -3005},
      {Tag(u" SWTT=\"01x3\"", u""), -3011},
      {Tag(u"", u"<SWTT>0123456789AB</SWTT>"), 0},
      {Tag(u"", u"<SWTT>0123456789A</SWTT>"), -3005},
      {Tag(u"", u"<SWTT>0123456789Ax</SWTT>"), -3011},
      {Tag(u"", u"<SWTT/>"), -3007},
      {Tag(u"", u"<SWTTField EntryNr=\"15\">v</SWTTField>"), 0},
      {Tag(u"", u"<SWTTField EntryNr=\"16\">v</SWTTField>"), -3009},
      {Tag(u"", u"<SWTTField EntryNr=\"-1\">v</SWTTField>"), -3009},
      {Tag(u"", u"<SWTTField EntryNr=\"abc\">v</SWTTField>"), 0},  // reads as 0
      {Tag(u"", u"<SWTTField EntryNr=\"4294967296\">v</SWTTField>"), -3009},  // saturates, never wraps
      {Tag(u"", u"<SWTTField EntryNr=\"-4294967295\">v</SWTTField>"), -3009},
      {Tag(u"", u"<SWTTField>v</SWTTField>"), -3008},
      {Tag(u"", u"<SWTTField EntryNr=\"\">v</SWTTField>"), -3008},
      {Tag(u"", u"<SWTTField EntryNr=\"2\" Locked=\"true\">v</SWTTField>"), 0},
      {Tag(u"", u"<SWTTField EntryNr=\"2\" Locked=\"\">v</SWTTField>"), 0},
      {Tag(u"", u"<SWTTField EntryNr=\"2\" Locked=\"yes\">v</SWTTField>"), -3010},
      {Tag(u"", u"<SWTTField EntryNr=\"2\"/>"), -3013},
      {Tag(u"", u"<SWTTField EntryNr=\"2\"><![CDATA[<v>]]></SWTTField>"), 0},
      {Tag(u"", u"<MEMField MemStart=\"26\">513</MEMField>"), 0},
      {Tag(u"", u"<MEMField MemStart=\"26\"/>"), 0},  // an empty value is allowed
      {Tag(u"", u"<MEMField MemLen=\"2\">513</MEMField>"), -3014},
      {Tag(u"", u"<MEMField MemStart=\"1\" Locked=\"FALSE\">x</MEMField>"), 0},
      {Tag(u"", u"<MEMField MemStart=\"1\" Locked=\"0\">x</MEMField>"), -3010},
      {Tag(u"", u"<DTField>anything</DTField>"), 0},
      {Tag(u"", u"<Field/>"), -3006},
      {Tag(u"", u"<swtt>0123456789AB</swtt>"), -3006},  // names are case-sensitive
      // The first failing check decides.
      {Tag(u" ID=\"01\" SWTT=\"0123456789ABCDEF\"", u"<Field/>"), -3004},
      {Tag(u" SWTT=\"x\"", u"<Field/>"), -3011},
      {Tag(u"", u"<SWTTField EntryNr=\"99\" Locked=\"no\"/>"), -3009},
      {u"<WriteTags><Tag><Field/></Tag><Tag ID=\"1\"/></WriteTags>", -3006},
      {u"<WriteTags><Tag/><Tag ID=\"1\"><Field/></Tag></WriteTags>", -3004},
      // Not a request.
      {u"<ReadTags/>", -3003},
      {u"<writetags/>", -3003},
      {u"", -3002},
      {u"just text", -3002},
      {u"<WriteTags><Tag></WriteTags>", -3002},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(Narrow(c.doc));
    XMLDoc doc;
    EXPECT_EQ(TakeInWriteDoc(ToContext(handle), c.doc, doc), c.rc);
    if (c.rc == 0) EXPECT_EQ(Drain(), (std::vector<Status>{{0, 1, 0, u"XML document passed test"}}));
    else EXPECT_EQ(Drain(), (std::vector<Status>{{2, 1, c.rc, u"XML doc error"}}));
  }
}

TEST_F(SimReader, WriteRequestFiles) {
  const std::string path = Name("_request.xml");
  struct Case {
    std::string bytes;
    int32_t rc;
    std::u16string firstTagId;
  } cases[] = {
      {"<WriteTags>\n<Tag ID=\"0123456789ABCDEF\"/>\n</WriteTags>\n", 0, u"0123456789ABCDEF"},
      {"\xEF\xBB\xBF<WriteTags>\r\n<Tag ID=\"0123456789ABCDEF\"/>\r\n</WriteTags>", 0, u"0123456789ABCDEF"},
      {"\n<WriteTags><Tag ID=\"0123456789ABCDEF\"/></WriteTags>", 0, u"0123456789ABCDEF"},
      {"<WriteTags><Tag ID=\"01\"/></WriteTags>", -3004, u""},
      {"<WriteTags><Tag", -3002, u""},
      {std::string("<WriteTags/>\0<junk", 18), 0, u""},  // the text ends at a zero byte
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.bytes);
    ASSERT_TRUE(WriteTextFile(path, c.bytes));
    XMLDoc doc;
    std::u16string request = u"@" + std::u16string(path.begin(), path.end());
    EXPECT_EQ(TakeInWriteDoc(ToContext(handle), request, doc), c.rc);
    Messages messages = Drain();
    if (c.rc == -3002) {
      EXPECT_TRUE(messages.empty());  // the file form's load failures post nothing
      continue;
    }
    // Every LF has its CR, and the document starts where the file does.
    const std::u16string &text = doc.GetDoc();
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == u'\n') {
        EXPECT_TRUE(i > 0 && text[i - 1] == u'\r');
      }
    }
    EXPECT_NE(text[0], 0xFEFF);
    if (!c.firstTagId.empty()) {
      doc.Rewind();
      ASSERT_TRUE(doc.FindElement());
      ASSERT_TRUE(doc.FindChildElement(u"Tag"));
      EXPECT_EQ(doc.GetChildAttribute(u"ID"), c.firstTagId);
    }
  }
  std::remove(path.c_str());
  XMLDoc doc;
  EXPECT_EQ(TakeInWriteDoc(ToContext(handle), u"@no_such_request.xml", doc), -3000);
  EXPECT_TRUE(Drain().empty());
}

TEST(WriteRequest, ElementKinds) {
  EXPECT_EQ(ElementKind(u"SWTT"), 100);
  EXPECT_EQ(ElementKind(u"SWTTField"), 101);
  EXPECT_EQ(ElementKind(u"MEMField"), 102);
  EXPECT_EQ(ElementKind(u"DTField"), 103);
  EXPECT_EQ(ElementKind(u"MemField"), -1);
  EXPECT_EQ(ElementKind(u""), -1);
}

}  // namespace
