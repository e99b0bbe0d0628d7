// Writes: the check of a WriteTags request (the first failing check decides
// its code), then writes end to end against the simulated reader: what lands
// in tag memory (read back by a read command), the result and every message.
#include <filesystem>
#include <regex>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "sim_reader.h"
#include "tagdata/write_request.h"
#include "xml/xmldoc.h"

namespace {

std::u16string Tag(const std::u16string &attributes, const std::u16string &children) {
  return u"<WriteTags><Tag" + attributes + u">" + children + u"</Tag></WriteTags>";
}

TEST_F(SimReader, WriteRequestChecks) {
  struct Case { std::u16string doc; int32_t rc; } cases[] = {
      {u"<WriteTags><Note/><Tag ID=\"0123456789abcdef\" SWTT=\"0123\"/></WriteTags>", 0},  // other children ignored
      {Tag(u" ID=\"0123456789ABCDE\"", u""), -3004}, {Tag(u" ID=\"0123456789ABCDEG\"", u""), -3012},
      {Tag(u" SWTT=\"0123456789ABC\"", u""), -3005}, {Tag(u" SWTT=\"01x3\"", u""), -3011},
      {Tag(u"", u"<SWTT>0123456789AB</SWTT><DTField>anything</DTField>"), 0},
      {Tag(u"", u"<SWTT>0123456789A</SWTT>"), -3005}, {Tag(u"", u"<SWTT>0123456789Ax</SWTT>"), -3011},
      {Tag(u"", u"<SWTT/>"), -3007}, {Tag(u"", u"<SWTTField EntryNr=\"15\" Locked=\"true\">v</SWTTField>"), 0},
      {Tag(u"", u"<SWTTField EntryNr=\"16\">v</SWTTField>"), -3009},
      {Tag(u"", u"<SWTTField EntryNr=\"-1\">v</SWTTField>"), -3009},
      {Tag(u"", u"<SWTTField EntryNr=\"abc\" Locked=\"\"><![CDATA[<v>]]></SWTTField>"), 0},  // reads as 0
      {Tag(u"", u"<SWTTField EntryNr=\"4294967296\">v</SWTTField>"), -3009},  // saturates, never wraps
      {Tag(u"", u"<SWTTField EntryNr=\"\">v</SWTTField>"), -3008},
      {Tag(u"", u"<SWTTField EntryNr=\"2\" Locked=\"yes\">v</SWTTField>"), -3010},
      {Tag(u"", u"<SWTTField EntryNr=\"2\"/>"), -3013},
      {Tag(u"", u"<MEMField MemStart=\"26\" Locked=\"FALSE\"/>"), 0},  // an empty value is allowed
      {Tag(u"", u"<MEMField MemLen=\"2\">513</MEMField>"), -3014},
      {Tag(u"", u"<MEMField MemStart=\"1\" Locked=\"0\">x</MEMField>"), -3010},
      {Tag(u"", u"<swtt>0123456789AB</swtt>"), -3006},  // names are case-sensitive
      // The first failing check decides.
      {Tag(u" ID=\"01\" SWTT=\"0123456789ABCDEF\"", u"<Field/>"), -3004},
      {Tag(u"", u"<SWTTField EntryNr=\"99\" Locked=\"no\"/>"), -3009},
      {u"<WriteTags><Tag><Field/></Tag><Tag ID=\"1\"/></WriteTags>", -3006}, {u"<writetags/>", -3003},
      {u"<WriteTags><Tag></WriteTags>", -3002}, {u"", -3002},
  };
  for (const Case &c : cases) {
    XMLDoc doc;
    EXPECT_EQ(TakeInWriteDoc(Context(), c.doc, doc), c.rc) << Narrow(c.doc);
    EXPECT_EQ(Drain(), (Messages{c.rc ? Status{2, 1, c.rc, u"XML doc error"} : Status{0, 1, 0, u"XML document passed test"}}));
  }
  // From a file: UTF-8, a byte-order mark dropped, LF read as CR LF, the
  // text ending at a zero byte; the file's load failures post nothing.
  const std::string path = Name("_request.xml");
  const std::string good = std::string("\xEF\xBB\xBF<WriteTags>\n<Tag Note='\xC3\xA9'/></WriteTags>") + '\0' + "<";
  for (auto [bytes, rc] : {std::pair{good, 0}, {std::string("\n<WriteTags><Tag"), -3002}}) {
    ASSERT_TRUE(WriteTextFile(path, bytes));
    XMLDoc doc;
    EXPECT_EQ(TakeInWriteDoc(Context(), u"@" + Wide(path), doc), rc);
    EXPECT_EQ(Narrow(doc.GetDoc()), rc ? "\\r\\n<WriteTags><Tag" : "<WriteTags>\\r\\n<Tag Note='?'/></WriteTags>");
    EXPECT_EQ(Drain().size(), rc ? 0u : 1u);
  }
  std::remove(path.c_str());
  // A missing file, a directory and a named pipe (which must not block)
  // are files that cannot be opened.
  std::filesystem::create_directory(Name("_dir"));
  std::vector<std::string> unreadable = {"no_such_request.xml", Name("_dir")};
#ifndef _WIN32
  ASSERT_EQ(mkfifo(Name("_fifo").c_str(), 0600), 0);
  unreadable.push_back(Name("_fifo"));
#endif
  for (const std::string &name : unreadable) {
    XMLDoc doc;
    EXPECT_EQ(TakeInWriteDoc(Context(), u"@" + Wide(name), doc), -3000) << name;
    EXPECT_TRUE(Drain().empty());
    std::filesystem::remove(name);
  }
}

const Status kPassed{0, 1, 0, u"XML document passed test"};
const Status kIdentifying{0, 7, 0, u"Identifying"};
const Status kWriteOk{0, 9, 0, u"Write OK"};
const Status kNotFound{1, 9, -3350, u""};
const Status kParameterError{2, 9, 7, u"Write Parameter error"};

std::u16string Request(const std::u16string &tags) { return u"<WriteTags>" + tags + u"</WriteTags>"; }
std::u16string Pallet(const std::u16string &children) { return u"<Tag ID=\"0123456789ABCDEF\">" + children + u"</Tag>"; }

class Writes : public TwoTags {
 protected:
  int32_t Write(const std::u16string &doc) { return VOLNEDA_Write(handle, W(doc)); }
  // Bytes start .. start+length-1 of a tag as hexadecimal digits.
  std::string Memory(const char *tagId, int start, int length) {
    const std::string command = "read mem(m," + std::to_string(start) + "," + std::to_string(length) +
                                ",h) where tagid=" + tagId;
    int32_t len = 0, count = 0;
    if (VOLNEDA_Command(handle, W(Wide(command)), &len, &count) != 0 || count != 1) return "(no tag)";
    Drain();
    std::smatch m;
    const std::string doc = Context()->docText;
    return std::regex_search(doc, m, std::regex(">([0-9A-F]*)</Field>")) ? m[1].str() : "(no field)";
  }
};

TEST_F(Writes, ValuesLandInTagMemory) {
  Start();
  const std::string file = Name("_request.xml");
  // UTF-8 with a byte-order mark and bare LF line ends; U+00E9 is one byte
  // in the system code page.
  WriteTextFile(file, "\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<WriteTags>\n<Tag ID=\"0123456789ABCDEF\">\n"
                      "<MEMField MemStart=\"100\" MemType=\"S\">\xC3\xA9</MEMField>\n</Tag>\n</WriteTags>\n");
  struct Case { std::u16string request; int start, length; std::string bytes; } cases[] = {
      // Template field 0 of the pallet: a string padded with blanks to 8 bytes.
      {Request(Pallet(u"<SWTTField EntryNr=\"0\">XY</SWTTField>")), 18, 8, "5859202020202020"},
      {Request(Pallet(u"<SWTTField EntryNr=\"2\" Locked=\"TRUE\">772</SWTTField>")), 26, 2, "0403"},
      // Raw ranges: the length follows from the text when MemLen is absent.
      {Request(Pallet(u"<MEMField MemStart=\"40\" MemType=\"STRING\">ABC</MEMField><MEMField MemStart=\"43\">Z</MEMField>")),
       40, 5, "4142435A00"},
      {Request(Pallet(u"<MEMField MemStart=\"60\" MemType=\"I\">1000</MEMField>")), 60, 5, "E803000000"},
      {Request(Pallet(u"<MEMField MemStart=\"70\" MemLen=\"2\" MemType=\"Integer\">258</MEMField>")), 70, 3, "020100"},
      {Request(Pallet(u"<MEMField MemStart=\"90\" MemLen=\"2\">HELLO</MEMField>")), 90, 3, "484500"},
      {u"@" + Wide(file), 100, 2, "E900"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(Narrow(c.request));
    EXPECT_EQ(Write(c.request), 0);
    EXPECT_EQ(Drain(), (Messages{kPassed, kIdentifying, kWriteOk}));
    EXPECT_EQ(Memory("0123456789ABCDEF", c.start, c.length), c.bytes);
  }
  EXPECT_EQ(Memory("0456000000000007", 0, 8), "0456000000000007");  // never selected
  std::remove(file.c_str());
}

TEST_F(Writes, SwttElementRewritesIdentifiers) {
  Start();
  const int32_t before = TagdrvWriteCount();
  EXPECT_EQ(Write(Request(u"<Tag><SWTT>0123456789ac</SWTT></Tag>")), 0);  // both tags, one driver call
  EXPECT_EQ(TagdrvWriteCount(), before + 1);
  EXPECT_EQ(Drain(), (Messages{kPassed, kIdentifying, kWriteOk}));
  EXPECT_EQ(Memory("0123456789ABCDEF", 11, 8), "000123456789AC41");
  int32_t len = 0, count = 0;
  ASSERT_EQ(VOLNEDA_Command(handle, W(u"identify where swtt=0123456789AC"), &len, &count), 0);
  EXPECT_EQ(count, 2);
  const std::string doc = Context()->docText;  // a write leaves the last result document alone
  EXPECT_EQ(Write(Request(u"<Tag/>")), 0);
  EXPECT_EQ(std::string(Context()->docText), doc);
}

TEST_F(Writes, OutcomesOfSeveralTagsAndOfTheDriver) {
  Start();
  const std::u16string missing = u"<Tag ID=\"FFFFFFFFFFFFFFFF\"><MEMField MemStart=\"40\">A</MEMField></Tag>";
  const std::u16string ok = Pallet(u"<MEMField MemStart=\"40\">B</MEMField>");
  const std::u16string carton = u"<Tag SWTT=\"0456\"><MEMField MemStart=\"40\">C</MEMField></Tag>";
  struct Case { std::u16string doc; int fault; int32_t rc; Messages messages; int32_t driverCalls; } cases[] = {
      {Request(ok + missing), 0, -3351, {kPassed, kIdentifying, kWriteOk, kIdentifying, kNotFound}, 1},
      {Request(missing + carton), 0, -3351, {kPassed, kIdentifying, kNotFound, kIdentifying, kWriteOk}, 1},
      // Nothing to write: no driver call and no message.
      {Request(Pallet(u"<DTField>x</DTField>")), 0, 0, {kPassed, kIdentifying}, 0},
      // The carton's template has no field 1.
      {Request(u"<Tag SWTT=\"0456\"><SWTTField EntryNr=\"1\">x</SWTTField></Tag>"), 0, 0, {kPassed, kIdentifying}, 0},
      {Request(u""), 0, 0, {kPassed}, 0},
      // A failed write outweighs a Tag that found nothing, and writes nothing.
      {Request(missing + u"<Tag SWTT=\"0123\"><MEMField MemStart=\"50\">A</MEMField></Tag>"), 7, -3352,
       {kPassed, kIdentifying, kNotFound, kIdentifying, kParameterError}, 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(Narrow(c.doc));
    TagdrvSetFault(TAGDRV_FAULT_WRITE_RETURN, c.fault);
    const int32_t before = TagdrvWriteCount();
    EXPECT_EQ(Write(c.doc), c.rc);
    EXPECT_EQ(Drain(), c.messages);
    EXPECT_EQ(TagdrvWriteCount() - before, c.driverCalls);
  }
  TagdrvClearFaults();
  EXPECT_EQ(Memory("0123456789ABCDEF", 40, 1) + Memory("0456000000000007", 40, 1), "4243");
  EXPECT_EQ(Memory("0123456789ABCDEF", 50, 1), "00");

  // The second field of the carton fails: the driver's text, the tag, the field.
  ASSERT_EQ(TagdrvSetFieldFault("0456000000000007", 50, -5), 1);
  VOLNEDA_WCHAR text[113] = {};
  VOLNEDA_GetErrorString(handle, -30, text);
  EXPECT_EQ(Write(Request(u"<Tag><MEMField MemStart=\"40\">A</MEMField><MEMField MemStart=\"50\">B</MEMField></Tag>")),
            -3352);
  EXPECT_EQ(Drain(), (Messages{kPassed, kIdentifying, {2, 9, -30, U(text)}, {2, 10, -30, u"0456000000000007"},
                               {2, 9, -5, u"Field failed to write"}}));
  // The pallet was written whole, the carton up to the failed field.
  EXPECT_EQ(Memory("0123456789ABCDEF", 50, 1) + Memory("0456000000000007", 40, 1), "4241");
  EXPECT_EQ(Memory("0456000000000007", 50, 1), "00");
}

// Requests that never reach the driver, and a template field without
// templates: a warning, and the rest of the request is written.
TEST_F(Writes, RefusedRequestsAndFieldsWithoutTemplates) {
  const int32_t before = TagdrvWriteCount();
  EXPECT_EQ(VOLNEDA_Write(handle, W(u"<<garbage")), -3300);  // closed: nothing is parsed
  EXPECT_EQ(Drain(), (Messages{{2, 9, -3300, u"Write"}}));
  EXPECT_EQ(VOLNEDA_Write(nullptr, W(u"<WriteTags/>")), -3307);
  Start(kPallet, "", false);
  EXPECT_EQ(Write(u"@no-such-file.xml"), -3000);
  EXPECT_EQ(Write(u"<<garbage"), -3002);
  EXPECT_EQ(Write(Request(Pallet(u"<Field/>"))), -3006);
  EXPECT_EQ(Drain(), (Messages{{2, 1, -3002, u"XML doc error"}, {2, 1, -3006, u"XML doc error"}}));
  EXPECT_EQ(TagdrvWriteCount(), before);
  EXPECT_EQ(Write(Request(Pallet(u"<SWTTField EntryNr=\"0\">x</SWTTField><MEMField MemStart=\"40\">A</MEMField>"))), 0);
  EXPECT_EQ(Drain(), (Messages{kPassed, kIdentifying, {1, 8, -3301, u""}, kWriteOk}));
  EXPECT_EQ(Memory("0123456789ABCDEF", 18, 1) + Memory("0123456789ABCDEF", 40, 1), "4141");  // AB-12 untouched
}

}  // namespace
