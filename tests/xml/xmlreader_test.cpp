// The exported document functions, called as an application calls them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "test_util.h"
#include "volneda.h"
#include "xml_check.h"

namespace {

// A document handle closed at the end of the scope.
class Handle {
 public:
  explicit Handle(const char16_t *text = nullptr) { XMLreader_OpenDoc(&h_, text ? W(text) : nullptr); }
  ~Handle() { XMLreader_CloseDoc(h_); }
  Handle(const Handle &) = delete;
  Handle &operator=(const Handle &) = delete;
  XMLREADER_HANDLE get() const { return h_; }
  operator XMLREADER_HANDLE() const { return h_; }

 private:
  XMLREADER_HANDLE h_ = nullptr;
};

std::u16string Text(XMLREADER_HANDLE h) {
  int32_t length = GetCurrentDocLen(h);
  std::vector<VOLNEDA_WCHAR> buffer(static_cast<size_t>(length) + 1, 0x7777);
  GetCurrentDoc(h, buffer.data(), length + 1);
  EXPECT_EQ(buffer[static_cast<size_t>(length)], 0);
  return U(buffer.data());
}

const char16_t kReadTags[] =
    u"<ReadTags Reader=\"R1\" TagCount=\"2\">\r\n"
    u"<Tag ID=\"0011\" Empty=\"\"><Field Nr=\"0\">0123456789</Field></Tag>\r\n"
    u"<Tag ID=\"0022\"><Field Nr=\"0\"><![CDATA[x<y]]></Field><Field Nr=\"1\">a&amp;b</Field></Tag>\r\n"
    u"</ReadTags>\r\n";

TEST(XmlReader, BuildsTheWriteRequestByteForByte) {
  Handle h;
  ASSERT_NE(h.get(), nullptr);
  EXPECT_EQ(GetCurrentDocLen(h), 0);
  ASSERT_EQ(XMLreader_WriteXMLHeader(h), 1);
  EXPECT_EQ(GetCurrentDocLen(h), 14);
  EXPECT_EQ(Text(h), u"<WriteTags/>\r\n");

  ASSERT_EQ(XMLreader_WriteXMLAddTag(h, W(u"0011")), 1);
  EXPECT_EQ(Text(h), u"<WriteTags>\r\n<Tag ID=\"0011\"/>\r\n</WriteTags>\r\n");
  ASSERT_EQ(XMLreader_WriteXMLAddSWTTFieldInfo(h, 3, W(u"abc")), 1);
  ASSERT_EQ(XMLreader_WriteXMLAddMEMFieldInfo(h, 0, 8, 'h', W(u"0102")), 1);
  const std::u16string oneTag =
      u"<WriteTags>\r\n"
      u"<Tag ID=\"0011\">\r\n"
      u"<SWTTField EntryNr=\"3\">abc</SWTTField>\r\n"
      u"<MEMField MemStart=\"0\" MemLen=\"8\" MemType=\"Hex\">0102</MEMField>\r\n"
      u"</Tag>\r\n"
      u"</WriteTags>\r\n";
  EXPECT_EQ(Text(h), oneTag);

  ASSERT_EQ(XMLreader_WriteXMLAddTag(h, W(u"a&b\"c")), 1);
  ASSERT_EQ(XMLreader_WriteXMLAddSWTTFieldInfo(h, -1, W(u"")), 1);
  ASSERT_EQ(XMLreader_WriteXMLAddMEMFieldInfo(h, 16, 4, 'i', W(u"1<2")), 1);
  ASSERT_EQ(XMLreader_WriteXMLAddSWTTFieldInfo(h, 0, nullptr), 1);
  const std::u16string twoTags =
      u"<WriteTags>\r\n"
      u"<Tag ID=\"0011\">\r\n"
      u"<SWTTField EntryNr=\"3\">abc</SWTTField>\r\n"
      u"<MEMField MemStart=\"0\" MemLen=\"8\" MemType=\"Hex\">0102</MEMField>\r\n"
      u"</Tag>\r\n"
      u"<Tag ID=\"a&amp;b&quot;c\">\r\n"
      u"<SWTTField EntryNr=\"-1\"></SWTTField>\r\n"
      u"<MEMField MemStart=\"16\" MemLen=\"4\" MemType=\"Int\">1&lt;2</MEMField>\r\n"
      u"<SWTTField EntryNr=\"0\"></SWTTField>\r\n"
      u"</Tag>\r\n"
      u"</WriteTags>\r\n";
  EXPECT_EQ(Text(h), twoTags);
  EXPECT_EQ(GetCurrentDocLen(h), static_cast<int32_t>(twoTags.size()));

  // The text reads back as the request it is.
  Handle back(twoTags.c_str());
  EXPECT_EQ(XMLreader_GetElement(back), 0);  // neither result kind, but a root
  EXPECT_EQ(XMLreader_FindTag(back, W(u"a&b\"c")), 1);

  // A new header starts over.
  ASSERT_EQ(XMLreader_WriteXMLHeader(h), 1);
  EXPECT_EQ(Text(h), u"<WriteTags/>\r\n");
}

TEST(XmlReader, MemoryTypeNames) {
  struct Case {
    int32_t code;
    const char16_t *name;
  } cases[] = {{104, u"Hex"}, {105, u"Int"}, {115, u"String"}, {0, u"String"},
               {'H', u"String"}, {-104, u"String"}, {104 + 65536, u"String"}};
  for (const Case &c : cases) {
    Handle h;
    ASSERT_EQ(XMLreader_WriteXMLHeader(h), 1);
    ASSERT_EQ(XMLreader_WriteXMLAddTag(h, W(u"1")), 1);
    ASSERT_EQ(XMLreader_WriteXMLAddMEMFieldInfo(h, 1, 2, c.code, W(u"d")), 1);
    EXPECT_EQ(Text(h), u"<WriteTags>\r\n<Tag ID=\"1\">\r\n<MEMField MemStart=\"1\" MemLen=\"2\" MemType=\"" +
                           std::u16string(c.name) + u"\">d</MEMField>\r\n</Tag>\r\n</WriteTags>\r\n")
        << c.code;
  }
}

TEST(XmlReader, WritesOutOfOrder) {
  // Fields before any Tag add nothing, yet the last step still succeeds.
  Handle h;
  ASSERT_EQ(XMLreader_WriteXMLHeader(h), 1);
  EXPECT_EQ(XMLreader_WriteXMLAddSWTTFieldInfo(h, 1, W(u"x")), 1);
  EXPECT_EQ(XMLreader_WriteXMLAddMEMFieldInfo(h, 0, 1, 'h', W(u"00")), 1);
  EXPECT_EQ(Text(h), u"<WriteTags/>\r\n");
  ASSERT_EQ(XMLreader_WriteXMLAddTag(h, W(u"7")), 1);
  EXPECT_EQ(Text(h), u"<WriteTags>\r\n<Tag ID=\"7\"/>\r\n</WriteTags>\r\n");

  // Without a header there is no main position to add a Tag under.
  Handle bare;
  EXPECT_EQ(XMLreader_WriteXMLAddTag(bare, W(u"1")), 0);
  EXPECT_EQ(GetCurrentDocLen(bare), 0);
  Handle parsed(u"<WriteTags/>");
  EXPECT_EQ(XMLreader_WriteXMLAddTag(parsed, W(u"1")), 0);
  EXPECT_EQ(Text(parsed), u"<WriteTags/>");
  EXPECT_EQ(XMLreader_WriteXMLAddSWTTFieldInfo(parsed, 1, W(u"x")), 0);  // no parent to step out to
}

TEST(XmlReader, ResultKindOfTheRoot) {
  struct Case {
    const char16_t *text;
    int32_t kind;
  } cases[] = {
      {u"<ReadTags/>", 2},          {u"<?xml version=\"1.0\"?>\r\n<IdentifyTags TagCount=\"0\"/>", 1},
      {u"<readtags/>", 0},          {u"<ReadTagsX/>", 0},
      {u"<ReadTags", 0},            {u"", 0},
      {u"<WriteTags></WriteTags>", 0},
  };
  for (const Case &c : cases) {
    Handle h(c.text);
    EXPECT_EQ(XMLreader_GetElement(h), c.kind) << Narrow(c.text);
    EXPECT_EQ(XMLreader_GetElement(h), 0) << Narrow(c.text);  // the root has no sibling
  }
  Handle none;
  EXPECT_EQ(XMLreader_GetElement(none), 0);
}

TEST(XmlReader, WalksAResultDocument) {
  Handle h(kReadTags);
  ASSERT_EQ(XMLreader_GetElement(h), 2);
  VOLNEDA_WCHAR buf[32];
  XMLreader_GetAttribute(h, W(u"TagCount"), buf, 32);
  EXPECT_EQ(U(buf), u"2");

  EXPECT_EQ(XMLreader_FindTag(h, W(u"0022")), 1);
  ASSERT_EQ(XMLreader_GetChildAttribute(h, W(u"ID"), buf, 32), 1);
  EXPECT_EQ(U(buf), u"0022");
  EXPECT_EQ(XMLreader_FindTag(h, W(u"0011")), 0);  // only later Tags are searched
  XMLreader_Rewind(h);
  EXPECT_EQ(XMLreader_FindTag(h, W(u"0011")), 1);  // takes the root first
  EXPECT_EQ(XMLreader_FindTag(h, W(u"9999")), 0);
  XMLreader_Rewind(h);
  EXPECT_EQ(XMLreader_FindTag(h, W(u"001")), 0);  // IDs are compared whole

  XMLreader_Rewind(h);
  ASSERT_EQ(XMLreader_FindTag(h, W(u"0022")), 1);
  ASSERT_EQ(XMLreader_StepIntoElement(h), 1);
  ASSERT_EQ(XMLreader_FindChildElement(h, W(u"Field")), 1);
  XMLreader_GetChildData(h, buf, 32);
  EXPECT_EQ(U(buf), u"x<y");
  ASSERT_EQ(XMLreader_FindChildElement(h, W(u"Field")), 1);
  XMLreader_GetChildData(h, buf, 32);
  EXPECT_EQ(U(buf), u"a&b");
  EXPECT_EQ(XMLreader_FindChildElement(h, W(u"Field")), 0);
  ASSERT_EQ(XMLreader_StepOutOfElement(h), 1);
  ASSERT_EQ(XMLreader_GetChildAttribute(h, W(u"ID"), buf, 32), 1);
  EXPECT_EQ(U(buf), u"0022");
  EXPECT_EQ(XMLreader_StepOutOfElement(h), 0);

  // Child names are compared exactly, not by their leading part.
  XMLreader_Rewind(h);
  EXPECT_EQ(XMLreader_FindChildElement(h, W(u"tag")), 0);
  XMLreader_Rewind(h);
  EXPECT_EQ(XMLreader_FindChildElement(h, W(u"Ta")), 0);
  XMLreader_Rewind(h);
  EXPECT_EQ(XMLreader_FindChildElement(h, W(u"Tag")), 1);
  XMLreader_Rewind(h);
  EXPECT_EQ(XMLreader_StepIntoElement(h), 0);  // no main position
  EXPECT_EQ(XMLreader_StepOutOfElement(h), 0);

  // Stepped into a Tag without children (main 0): the search starts over
  // at the document's root and comes to its first Tag.
  Handle flat(u"<ReadTags><Tag ID=\"1\"/><Tag ID=\"2\"/></ReadTags>");
  ASSERT_EQ(XMLreader_GetElement(flat), 2);
  ASSERT_EQ(XMLreader_FindChildElement(flat, W(u"Tag")), 1);
  ASSERT_EQ(XMLreader_StepIntoElement(flat), 1);
  ASSERT_EQ(XMLreader_StepIntoElement(flat), 1);
  EXPECT_EQ(XMLreader_FindChildElement(flat, W(u"Tag")), 1);
  ASSERT_EQ(XMLreader_GetChildAttribute(flat, W(u"ID"), buf, 32), 1);
  EXPECT_EQ(U(buf), u"1");
}

TEST(XmlReader, CopiesOutWithinTheBufferSize) {
  Handle h(kReadTags);
  ASSERT_EQ(XMLreader_FindTag(h, W(u"0011")), 1);
  ASSERT_EQ(XMLreader_StepIntoElement(h), 1);
  ASSERT_EQ(XMLreader_FindChildElement(h, W(u"Field")), 1);  // data "0123456789"

  constexpr VOLNEDA_WCHAR kFill = 0x7777;
  struct Case {
    int32_t size;
    const char16_t *copied;
  } cases[] = {{5, u"0123"}, {1, u""}, {10, u"012345678"}, {11, u"0123456789"}, {16, u"0123456789"}};
  for (const Case &c : cases) {
    std::vector<VOLNEDA_WCHAR> buf(24, kFill);
    XMLreader_GetChildData(h, buf.data(), c.size);
    EXPECT_EQ(U(buf.data()), c.copied) << c.size;
    // NULs from the value's end up to size - 1, nothing written beyond.
    for (int32_t i = static_cast<int32_t>(std::char_traits<char16_t>::length(c.copied)); i < c.size; ++i)
      EXPECT_EQ(buf[static_cast<size_t>(i)], 0) << c.size << " at " << i;
    for (size_t i = static_cast<size_t>(c.size); i < buf.size(); ++i) EXPECT_EQ(buf[i], kFill) << c.size << " at " << i;
  }
  std::vector<VOLNEDA_WCHAR> untouched(4, kFill);
  XMLreader_GetChildData(h, untouched.data(), 0);
  EXPECT_EQ(untouched[0], kFill);

  // The same rule for attributes at main and child.
  ASSERT_EQ(XMLreader_StepOutOfElement(h), 1);
  VOLNEDA_WCHAR buf[8];
  std::fill(std::begin(buf), std::end(buf), kFill);
  ASSERT_EQ(XMLreader_GetChildAttribute(h, W(u"ID"), buf, 3), 1);
  EXPECT_EQ(U(buf), u"00");
  EXPECT_EQ(buf[3], kFill);
  XMLreader_GetAttribute(h, W(u"Reader"), buf, 8);
  EXPECT_EQ(U(buf), u"R1");
  XMLreader_GetAttribute(h, W(u"Missing"), buf, 8);
  EXPECT_EQ(U(buf), u"");

  // A missing or empty child attribute leaves the buffer as it was.
  for (const char16_t *name : {u"Empty", u"Missing", u"I"}) {
    std::fill(std::begin(buf), std::end(buf), kFill);
    EXPECT_EQ(XMLreader_GetChildAttribute(h, W(name), buf, 8), 0) << Narrow(name);
    EXPECT_EQ(buf[0], kFill) << Narrow(name);
  }
}

TEST(XmlReader, CopiesTheDocumentAsWcsncpyDoes) {
  using namespace std::string_literals;
  Handle h(u"<r>0123456789</r>");
  ASSERT_EQ(GetCurrentDocLen(h), 17);
  // Exactly the units written: the text, then NULs up to size in all.
  struct Case {
    int32_t size;
    std::u16string written;
  } cases[] = {{18, u"<r>0123456789</r>\0"s}, {20, u"<r>0123456789</r>\0\0\0"s},
               {17, u"<r>0123456789</r>"},  // the length itself: no terminator
               {4, u"<r>0"}, {1, u"<"}, {0, u""}, {-1, u""}};
  for (const Case &c : cases) {
    std::vector<VOLNEDA_WCHAR> buf(40, 0x7777);
    GetCurrentDoc(h, buf.data(), c.size);
    std::u16string got(buf.begin(), buf.begin() + static_cast<ptrdiff_t>(c.written.size()));
    EXPECT_EQ(got, c.written) << c.size;
    for (size_t i = c.written.size(); i < buf.size(); ++i) EXPECT_EQ(buf[i], 0x7777) << c.size << " at " << i;
  }
  // A text that does not parse is still the document's text.
  Handle broken(u"<a><b>");
  EXPECT_EQ(GetCurrentDocLen(broken), 6);
  EXPECT_EQ(Text(broken), u"<a><b>");
}

TEST(XmlReader, PushAndPopThePosition) {
  Handle h(kReadTags);
  EXPECT_EQ(XMLreader_Pop(h), 0);  // nothing pushed
  ASSERT_EQ(XMLreader_FindTag(h, W(u"0011")), 1);
  ASSERT_EQ(XMLreader_Push(h), 1);
  ASSERT_EQ(XMLreader_StepIntoElement(h), 1);
  ASSERT_EQ(XMLreader_Push(h), 1);
  ASSERT_EQ(XMLreader_FindChildElement(h, W(u"Field")), 1);
  XMLreader_Rewind(h);

  VOLNEDA_WCHAR buf[16];
  ASSERT_EQ(XMLreader_Pop(h), 1);  // inside the first Tag, before its Field
  ASSERT_EQ(XMLreader_FindChildElement(h, W(u"Field")), 1);
  ASSERT_EQ(XMLreader_GetChildAttribute(h, W(u"Nr"), buf, 16), 1);
  ASSERT_EQ(XMLreader_Pop(h), 1);  // the root with the first Tag as its child
  ASSERT_EQ(XMLreader_GetChildAttribute(h, W(u"ID"), buf, 16), 1);
  EXPECT_EQ(U(buf), u"0011");
  EXPECT_EQ(XMLreader_Pop(h), 0);

  // A new document forgets what was pushed; pushes left over are freed with
  // the handle.
  ASSERT_EQ(XMLreader_Push(h), 1);
  ASSERT_EQ(XMLreader_WriteXMLHeader(h), 1);
  EXPECT_EQ(XMLreader_Pop(h), 0);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(XMLreader_Push(h), 1);

  // Each handle has a stack of its own.
  Handle other(kReadTags);
  EXPECT_EQ(XMLreader_Pop(other), 0);
}

TEST(XmlReader, HandlesAreIndependent) {
  Handle a(kReadTags), b(kReadTags);
  ASSERT_NE(a.get(), b.get());
  ASSERT_EQ(XMLreader_FindTag(a, W(u"0022")), 1);
  EXPECT_EQ(XMLreader_FindTag(b, W(u"0011")), 1);  // b's position is its own
  ASSERT_EQ(XMLreader_WriteXMLHeader(b), 1);
  EXPECT_EQ(GetCurrentDocLen(b), 14);
  EXPECT_EQ(Text(a), kReadTags);

  XMLREADER_HANDLE closedNull = nullptr;
  XMLreader_CloseDoc(closedNull);  // nothing to do
}

}  // namespace
