// The exported document functions, called as an application calls them.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "test_util.h"

namespace {

// A document handle closed at the end of the scope.
struct Handle {
  explicit Handle(const char16_t *text = nullptr) { XMLreader_OpenDoc(&h, text ? W(text) : nullptr); }
  ~Handle() { XMLreader_CloseDoc(h); }
  operator XMLREADER_HANDLE() const { return h; }
  XMLREADER_HANDLE h;
};

// Exactly the units a copy-out wrote into a buffer larger than it was told.
template <typename CopyOut>
std::u16string Written(int32_t size, CopyOut copyOut) {
  std::vector<VOLNEDA_WCHAR> buf(static_cast<size_t>(std::max(size, 0)) + 8, 0x7777);
  copyOut(buf.data(), size);
  size_t n = 0;
  while (n < buf.size() && buf[n] != 0x7777) ++n;
  return std::u16string(buf.begin(), buf.begin() + static_cast<ptrdiff_t>(n));
}

std::u16string Text(XMLREADER_HANDLE h) {
  return Written(GetCurrentDocLen(h) + 1, [h](VOLNEDA_WCHAR *b, int32_t size) { GetCurrentDoc(h, b, size); });
}

const char16_t kReadTags[] =
    u"<ReadTags Reader=\"R1\" TagCount=\"2\">\r\n"
    u"<Tag ID=\"0011\" Empty=\"\"><Field Nr=\"0\">0123456789</Field></Tag>\r\n"
    u"<Tag ID=\"0022\"><Field Nr=\"0\"><![CDATA[x<y]]></Field><Field Nr=\"1\">a&amp;b</Field></Tag>\r\n"
    u"</ReadTags>\r\n";

TEST(XmlReader, BuildsTheWriteRequestByteForByte) {
  using namespace std::string_literals;
  Handle h;
  EXPECT_EQ(GetCurrentDocLen(h), 0);
  ASSERT_EQ(XMLreader_WriteXMLHeader(h), 1);
  EXPECT_EQ(Text(h), u"<WriteTags/>\r\n\0"s);
  ASSERT_EQ(XMLreader_WriteXMLAddTag(h, W(u"0011")), 1);
  ASSERT_EQ(XMLreader_WriteXMLAddSWTTFieldInfo(h, 3, W(u"abc")), 1);
  ASSERT_EQ(XMLreader_WriteXMLAddMEMFieldInfo(h, 0, 8, 'h', W(u"0102")), 1);
  ASSERT_EQ(XMLreader_WriteXMLAddTag(h, W(u"a&b\"c")), 1);
  ASSERT_EQ(XMLreader_WriteXMLAddSWTTFieldInfo(h, -1, W(u"")), 1);
  std::u16string fields;  // type codes without a name of their own are written as String
  for (auto [code, name] : {std::pair{int32_t{'i'}, u"Int"}, {'s', u"String"}, {0, u"String"}, {104 + 65536, u"String"}}) {
    ASSERT_EQ(XMLreader_WriteXMLAddMEMFieldInfo(h, 16, 4, code, W(u"1<2")), 1);
    fields += u"<MEMField MemStart=\"16\" MemLen=\"4\" MemType=\"" + std::u16string(name) + u"\">1&lt;2</MEMField>\r\n";
  }
  ASSERT_EQ(XMLreader_WriteXMLAddSWTTFieldInfo(h, 0, nullptr), 1);
  const std::u16string want = u"<WriteTags>\r\n<Tag ID=\"0011\">\r\n<SWTTField EntryNr=\"3\">abc</SWTTField>\r\n"
                              u"<MEMField MemStart=\"0\" MemLen=\"8\" MemType=\"Hex\">0102</MEMField>\r\n</Tag>\r\n"
                              u"<Tag ID=\"a&amp;b&quot;c\">\r\n<SWTTField EntryNr=\"-1\"></SWTTField>\r\n" +
                              fields + u"<SWTTField EntryNr=\"0\"></SWTTField>\r\n</Tag>\r\n</WriteTags>\r\n";
  EXPECT_EQ(Narrow(Text(h)), Narrow(want + u'\0'));
  Handle back(want.c_str());  // the text reads back as the request it is: a root of no result kind
  EXPECT_TRUE(XMLreader_GetElement(back) == 0 && XMLreader_FindTag(back, W(u"a&b\"c")));

  // A new header starts over; fields before any Tag add nothing but succeed.
  ASSERT_EQ(XMLreader_WriteXMLHeader(h), 1);
  EXPECT_TRUE(XMLreader_WriteXMLAddSWTTFieldInfo(h, 1, W(u"x")) && XMLreader_WriteXMLAddMEMFieldInfo(h, 0, 1, 'h', nullptr));
  EXPECT_EQ(GetCurrentDocLen(h), 14);
  Handle parsed(u"<WriteTags/>");
  EXPECT_FALSE(XMLreader_WriteXMLAddTag(parsed, W(u"1")) || XMLreader_WriteXMLAddSWTTFieldInfo(parsed, 1, W(u"x")));
  EXPECT_EQ(GetCurrentDocLen(parsed), 12);
}

TEST(XmlReader, WalksAResultDocument) {
  for (auto [text, kind] : {std::pair{u"<ReadTags/>", 2}, {u"<?xml version=\"1.0\"?><IdentifyTags/>", 1},
                            {u"<readtags/>", 0}, {u"<ReadTags", 0}}) {
    Handle h(text);
    EXPECT_EQ(XMLreader_GetElement(h), kind) << Narrow(text);
    EXPECT_EQ(XMLreader_GetElement(h), 0);  // the root has no sibling
  }
  Handle h(kReadTags);
  VOLNEDA_WCHAR buf[32];
  EXPECT_EQ(XMLreader_FindTag(h, W(u"001")), 0);  // whole IDs; the root is taken first
  XMLreader_Rewind(h);
  ASSERT_TRUE(XMLreader_FindTag(h, W(u"0022")) && XMLreader_StepIntoElement(h));
  std::u16string data;
  for (; XMLreader_FindChildElement(h, W(u"Field")); data += U(buf) + u"|") XMLreader_GetChildData(h, buf, 32);
  EXPECT_EQ(data, u"x<y|a&b|");
  EXPECT_TRUE(XMLreader_StepOutOfElement(h) && !XMLreader_StepOutOfElement(h) && !XMLreader_FindTag(h, W(u"0011")));
  // Into a Tag without children (main 0): the search runs from the root.
  Handle flat(u"<ReadTags><Tag ID=\"1\"/><Tag ID=\"2\"/></ReadTags>");
  ASSERT_TRUE(XMLreader_GetElement(flat) && XMLreader_FindChildElement(flat, W(u"Tag")));
  ASSERT_TRUE(XMLreader_StepIntoElement(flat) && XMLreader_StepIntoElement(flat));
  EXPECT_TRUE(XMLreader_FindChildElement(flat, W(u"Tag")) && XMLreader_GetChildAttribute(flat, W(u"ID"), buf, 32));
  EXPECT_EQ(U(buf), u"1");
  XMLreader_Rewind(flat);
  EXPECT_FALSE(XMLreader_StepIntoElement(flat) || XMLreader_FindChildElement(flat, W(u"Ta")));  // names compared whole
}

// Every Tag's ID and every SWTTField's data, read as applications walk a
// document.
std::u16string Walk(XMLREADER_HANDLE h) {
  std::u16string seen;
  VOLNEDA_WCHAR buf[64];
  XMLreader_Rewind(h);
  XMLreader_GetElement(h);
  while (XMLreader_FindChildElement(h, W(u"Tag"))) {
    seen += XMLreader_GetChildAttribute(h, W(u"ID"), buf, 64) ? U(buf) + u":" : u"-:";
    XMLreader_StepIntoElement(h);
    for (; XMLreader_FindChildElement(h, W(u"SWTTField")); seen += U(buf) + u",") XMLreader_GetChildData(h, buf, 64);
    XMLreader_StepOutOfElement(h);
  }
  return seen;
}

// Walks answer from what earlier walks learnt of the document; every edit
// must show in them as it shows in the same text parsed afresh.
TEST(XmlReader, WalksFollowEdits) {
  Handle h;
  ASSERT_EQ(XMLreader_WriteXMLHeader(h), 1);
  const char16_t *const ids[] = {u"0011", u"a&b", u"", u"0022"};
  const char16_t *const data[] = {u"abc", u"x<y", u"", u"0123456789ABCDEF0123"};
  for (int round = 0; round < 4; ++round) {
    ASSERT_EQ(XMLreader_WriteXMLAddTag(h, W(ids[round])), 1);
    for (int i = 0; i <= round; ++i) ASSERT_EQ(XMLreader_WriteXMLAddSWTTFieldInfo(h, i, W(data[(round + i) % 4])), 1);
    const std::u16string text = Text(h);
    Handle fresh(text.c_str());
    const std::u16string want = Walk(fresh);
    EXPECT_EQ(Narrow(Walk(h)), Narrow(want)) << round;
    EXPECT_EQ(Narrow(Walk(h)), Narrow(want)) << round;  // the second walk, from what the first learnt
  }
}

TEST(XmlReader, CopiesOutWithinTheBufferSize) {
  using namespace std::string_literals;
  Handle h(kReadTags);
  ASSERT_TRUE(XMLreader_FindTag(h, W(u"0011")) && XMLreader_StepIntoElement(h));
  ASSERT_EQ(XMLreader_FindChildElement(h, W(u"Field")), 1);  // data "0123456789"
  // Values: at most size - 1 units, NULs up to size - 1, the terminator.
  auto data = [&](VOLNEDA_WCHAR *b, int32_t size) { XMLreader_GetChildData(h, b, size); };
  for (auto [size, written] : {std::pair{5, u"0123\0"s}, {1, u"\0"s}, {0, u""s}, {13, u"0123456789\0\0\0"s}})
    EXPECT_EQ(Written(size, data), written) << size;
  // The document, as wcsncpy copies: text, then NULs up to size in all.
  Handle doc(u"<r>0123456789</r>");
  auto text = [&](VOLNEDA_WCHAR *b, int32_t size) { GetCurrentDoc(doc, b, size); };
  for (auto [size, written] : {std::pair{18, u"<r>0123456789</r>\0"s}, {20, u"<r>0123456789</r>\0\0\0"s},
                               {17, u"<r>0123456789</r>"s}, {4, u"<r>0"s}, {0, u""s}, {-1, u""s}})
    EXPECT_EQ(Written(size, text), written) << size;
  // Attributes alike; a missing or empty child attribute touches nothing.
  ASSERT_EQ(XMLreader_StepOutOfElement(h), 1);
  EXPECT_EQ(Written(3, [&](VOLNEDA_WCHAR *b, int32_t size) { XMLreader_GetChildAttribute(h, W(u"ID"), b, size); }),
            u"00\0"s);
  EXPECT_EQ(Written(4, [&](VOLNEDA_WCHAR *b, int32_t size) { XMLreader_GetAttribute(h, W(u"Missing"), b, size); }),
            u"\0\0\0\0"s);
  for (const char16_t *name : {u"Empty", u"Missing", u"I"})
    EXPECT_EQ(Written(8, [&](VOLNEDA_WCHAR *b, int32_t size) { XMLreader_GetChildAttribute(h, W(name), b, size); }),
              u"") << Narrow(name);
}

TEST(XmlReader, PushAndPopThePositionOfEachHandle) {
  Handle h(kReadTags), other(kReadTags);
  VOLNEDA_WCHAR buf[16];
  EXPECT_EQ(XMLreader_Pop(h), 0);  // nothing pushed
  ASSERT_TRUE(XMLreader_FindTag(h, W(u"0011")) && XMLreader_Push(h));
  ASSERT_TRUE(XMLreader_StepIntoElement(h) && XMLreader_Push(h));
  ASSERT_EQ(XMLreader_FindChildElement(h, W(u"Field")), 1);
  EXPECT_EQ(XMLreader_FindTag(other, W(u"0011")), 1);  // other's position is its own
  XMLreader_Rewind(h);
  ASSERT_EQ(XMLreader_Pop(h), 1);  // inside the first Tag, before its Field
  ASSERT_TRUE(XMLreader_FindChildElement(h, W(u"Field")) && XMLreader_GetChildAttribute(h, W(u"Nr"), buf, 16));
  ASSERT_EQ(XMLreader_Pop(h), 1);  // the root with the first Tag as its child
  ASSERT_EQ(XMLreader_GetChildAttribute(h, W(u"ID"), buf, 16), 1);
  EXPECT_EQ(U(buf), u"0011");
  EXPECT_EQ(XMLreader_Pop(h), 0);
  // A new document forgets pushes; those left over are freed with the handle.
  ASSERT_TRUE(XMLreader_Push(h) && XMLreader_WriteXMLHeader(h));
  EXPECT_EQ(XMLreader_Pop(h), 0);
  ASSERT_EQ(XMLreader_Push(h), 1);
  EXPECT_EQ(XMLreader_Pop(other), 0);
  XMLreader_CloseDoc(nullptr);  // nothing to do
}

}  // namespace
