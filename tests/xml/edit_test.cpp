// Editing: the exact text every edit produces, and the element table kept in
// step with it.
#include <gtest/gtest.h>

#include <string>

#include "xml/xmldoc.h"
#include "xml_check.h"

namespace {

// Index of the first element in the table with that tag name.
int32_t IndexOf(const XMLDoc &doc, const std::u16string &name) {
  for (int32_t i = 1; i < doc.GetNextFreeIndex(); ++i)
    if (doc.TagNameAt(i) == name) return i;
  return 0;
}

TEST(XmlBuild, DocumentGrowsInTheLineShape) {
  XMLDoc doc;
  ASSERT_TRUE(doc.AddElement(u"a"));
  EXPECT_EQ(doc.GetDoc(), u"<a/>\r\n");
  EXPECT_EQ(doc.GetMainPosition(), 1);
  EXPECT_EQ(doc.GetParentPosition(), 0);
  EXPECT_EQ(doc.Record(0).length, 6);
  EXPECT_TRUE(SameTableAsReparse(doc));

  ASSERT_TRUE(doc.AddChildElement(u"b", u"x<y"));
  EXPECT_EQ(doc.GetDoc(), u"<a>\r\n<b>x&lt;y</b>\r\n</a>\r\n");
  const int32_t b = doc.GetChildPosition();
  EXPECT_EQ(doc.Record(b).start, 5);
  EXPECT_EQ(StartTagLength(doc.Record(b)), 3);
  EXPECT_EQ(EndTagLength(doc.Record(b)), 4);
  EXPECT_EQ(doc.Record(b).length, 13);
  EXPECT_EQ(doc.GetMainPosition(), 1);
  EXPECT_EQ(StartTagLength(doc.Record(1)), 3);
  EXPECT_EQ(EndTagLength(doc.Record(1)), 4);
  EXPECT_FALSE(IsEmptyElement(doc.Record(1)));
  EXPECT_EQ(doc.GetChildData(), u"x<y");
  EXPECT_TRUE(SameTableAsReparse(doc));

  ASSERT_TRUE(doc.AddChildElement(u"c"));
  EXPECT_EQ(doc.GetDoc(), u"<a>\r\n<b>x&lt;y</b>\r\n<c/>\r\n</a>\r\n");
  const int32_t c = doc.GetChildPosition();
  EXPECT_EQ(doc.Record(c).start, 20);
  EXPECT_EQ(doc.Record(b).nextSibling, c);
  EXPECT_EQ(doc.Record(b).prevSibling, c);  // the first child refers to the last
  EXPECT_TRUE(SameTableAsReparse(doc));

  ASSERT_TRUE(doc.SetAttributeAt(c, u"k", u"v'"));
  EXPECT_EQ(doc.GetDoc(), u"<a>\r\n<b>x&lt;y</b>\r\n<c k=\"v&apos;\"/>\r\n</a>\r\n");
  EXPECT_EQ(doc.GetChildAttribute(u"k"), u"v'");
  EXPECT_TRUE(SameTableAsReparse(doc));

  ASSERT_TRUE(doc.SetDataAt(c, u"1", false));
  EXPECT_EQ(doc.GetDoc(), u"<a>\r\n<b>x&lt;y</b>\r\n<c k=\"v&apos;\">1</c>\r\n</a>\r\n");
  EXPECT_EQ(doc.GetChildData(), u"1");
  EXPECT_FALSE(IsEmptyElement(doc.Record(c)));
  EXPECT_TRUE(SameTableAsReparse(doc));
}

struct InsertCase {
  const char16_t *text;
  const char16_t *childOf;  // element that becomes main
  const char16_t *after;    // child to insert after, null for none
  const char16_t *data;
  const char16_t *expected;
};

class AddChildShapeTest : public ::testing::TestWithParam<InsertCase> {};

TEST_P(AddChildShapeTest, GivesTheLineShape) {
  const InsertCase &c = GetParam();
  XMLDoc doc(c.text);
  ASSERT_TRUE(doc.IsWellFormed());
  ASSERT_TRUE(doc.FindElement());
  if (std::u16string(c.childOf) != doc.GetTagName()) {
    ASSERT_TRUE(doc.FindChildElement(c.childOf));
    ASSERT_TRUE(doc.StepIntoElement());  // childOf becomes main
  }
  if (c.after) {
    ASSERT_TRUE(doc.FindChildElement(c.after));
  }
  ASSERT_TRUE(doc.AddChildElement(u"c", c.data));
  EXPECT_EQ(Narrow(doc.GetDoc()), Narrow(c.expected));
  EXPECT_EQ(doc.GetChildTagName(), u"c");
  EXPECT_EQ(doc.Record(doc.GetChildPosition()).parent, doc.GetMainPosition());
  EXPECT_TRUE(SameTableAsReparse(doc));
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, AddChildShapeTest,
    ::testing::Values(
        InsertCase{u"<p></p>", u"p", nullptr, nullptr, u"<p>\r\n<c/>\r\n</p>"},
        InsertCase{u"<p/>", u"p", nullptr, nullptr, u"<p>\r\n<c/>\r\n</p>"},
        InsertCase{u"<p a=\"1\" />", u"p", nullptr, u"d", u"<p a=\"1\" >\r\n<c>d</c>\r\n</p>"},
        InsertCase{u"<p>\r\n<a/>\r\n</p>", u"p", nullptr, nullptr, u"<p>\r\n<a/>\r\n<c/>\r\n</p>"},
        InsertCase{u"<p>\r\n<a/>\r\n<b/>\r\n</p>", u"p", u"a", nullptr, u"<p>\r\n<a/>\r\n<c/>\r\n<b/>\r\n</p>"},
        InsertCase{u"<p><a/><b/></p>", u"p", u"a", u"&", u"<p><a/><c>&amp;</c>\r\n<b/></p>"},
        InsertCase{u"<p>text</p>", u"p", nullptr, nullptr, u"<p>text<c/>\r\n</p>"},
        InsertCase{u"<p>  </p>", u"p", nullptr, nullptr, u"<p>  <c/>\r\n</p>"},
        InsertCase{u"<r><q/><p/></r>", u"p", nullptr, nullptr, u"<r><q/><p>\r\n<c/>\r\n</p></r>"},
        InsertCase{u"<r><p></p><q a='x'><z/></q></r>", u"p", nullptr, u"1",
                   u"<r><p>\r\n<c>1</c>\r\n</p><q a='x'><z/></q></r>"}),
    [](const ::testing::TestParamInfo<InsertCase> &info) { return "Case" + std::to_string(info.index); });

TEST(XmlBuild, AddElementAfterMainAndAtTheDocumentLevel) {
  XMLDoc doc(u"<r><a/>\r\n<b/></r>");
  ASSERT_TRUE(doc.FindChildElement(u"a"));
  ASSERT_TRUE(doc.StepIntoElement());  // a becomes main
  ASSERT_TRUE(doc.AddElement(u"n", u"v"));
  EXPECT_EQ(Narrow(doc.GetDoc()), Narrow(u"<r><a/>\r\n<n>v</n>\r\n<b/></r>"));
  EXPECT_EQ(doc.GetTagName(), u"n");
  EXPECT_EQ(doc.GetParentPosition(), 1);
  EXPECT_EQ(doc.GetChildPosition(), 0);
  EXPECT_TRUE(SameTableAsReparse(doc));

  // A second root is refused and changes nothing.
  XMLDoc root(u"<r/>");
  std::u16string before = root.GetDoc();
  EXPECT_FALSE(root.AddElement(u"s"));
  ASSERT_TRUE(root.FindElement());
  EXPECT_FALSE(root.AddElement(u"s"));
  EXPECT_EQ(root.GetDoc(), before);
  EXPECT_EQ(root.GetNextFreeIndex(), 2);

  // Text before the first element stays where it is.
  XMLDoc prolog;
  EXPECT_FALSE(prolog.SetDoc(u"  "));
  ASSERT_TRUE(prolog.AddElement(u"top"));
  EXPECT_EQ(prolog.GetDoc(), u"  <top/>\r\n");
  EXPECT_EQ(prolog.Record(prolog.GetMainPosition()).start, 2);
  EXPECT_TRUE(SameTableAsReparse(prolog));

  // Preconditions that fail leave everything as it was.
  XMLDoc empty;
  EXPECT_FALSE(empty.AddChildElement(u"c"));
  EXPECT_TRUE(empty.GetDoc().empty());
}

struct AttributeCase {
  const char16_t *text;
  const char16_t *name;
  const char16_t *value;
  const char16_t *expected;
};

class SetAttributeTest : public ::testing::TestWithParam<AttributeCase> {};

TEST_P(SetAttributeTest, WritesTheValue) {
  const AttributeCase &c = GetParam();
  XMLDoc doc(c.text);
  ASSERT_TRUE(doc.FindChildElement(u"x"));
  ASSERT_TRUE(doc.SetAttributeAt(doc.GetChildPosition(), c.name, c.value));
  EXPECT_EQ(Narrow(doc.GetDoc()), Narrow(c.expected));
  EXPECT_EQ(Narrow(doc.GetChildAttribute(c.name)), Narrow(c.value ? c.value : u""));
  EXPECT_TRUE(SameTableAsReparse(doc));
}

INSTANTIATE_TEST_SUITE_P(
    Values, SetAttributeTest,
    ::testing::Values(
        AttributeCase{u"<r><x/></r>", u"k", u"v", u"<r><x k=\"v\"/></r>"},
        AttributeCase{u"<r><x>t</x><y/></r>", u"k", u"v", u"<r><x k=\"v\">t</x><y/></r>"},
        AttributeCase{u"<r><x k=\"old\"/></r>", u"k", u"new", u"<r><x k=\"new\"/></r>"},
        AttributeCase{u"<r><x k='old' j='2'/></r>", u"k", u"n", u"<r><x k='n' j='2'/></r>"},
        AttributeCase{u"<r><x k=''></x></r>", u"k", u"a\"b'c", u"<r><x k='a&quot;b&apos;c'></x></r>"},
        AttributeCase{u"<r><x a=\"1\"/></r>", u"b", u"<&>", u"<r><x a=\"1\" b=\"&lt;&amp;&gt;\"/></r>"},
        AttributeCase{u"<r><x kk=\"1\"/></r>", u"k", u"2", u"<r><x kk=\"1\" k=\"2\"/></r>"},
        AttributeCase{u"<r><x k=\"1\"/></r>", u"k", nullptr, u"<r><x k=\"\"/></r>"},
        AttributeCase{u"<r><x><z a=\"1\"/></x><w/></r>", u"k", u"vvv", u"<r><x k=\"vvv\"><z a=\"1\"/></x><w/></r>"}),
    [](const ::testing::TestParamInfo<AttributeCase> &info) { return "Case" + std::to_string(info.index); });

TEST(XmlEdit, IntegerAttributesAndRefusals) {
  XMLDoc doc(u"<r><x/></r>");
  ASSERT_TRUE(doc.FindChildElement());
  const int32_t x = doc.GetChildPosition();
  ASSERT_TRUE(doc.SetAttributeAt(x, u"n", -42));
  ASSERT_TRUE(doc.SetAttributeAt(x, u"m", 2147483647));
  EXPECT_EQ(doc.GetDoc(), u"<r><x n=\"-42\" m=\"2147483647\"/></r>");
  ASSERT_TRUE(doc.SetAttributeAt(x, u"n", 7));
  EXPECT_EQ(doc.GetDoc(), u"<r><x n=\"7\" m=\"2147483647\"/></r>");
  EXPECT_TRUE(SameTableAsReparse(doc));

  std::u16string before = doc.GetDoc();
  EXPECT_FALSE(doc.SetAttributeAt(0, u"n", 1));
  doc.Rewind();  // no main position
  EXPECT_FALSE(doc.SetAttributeAt(x, u"n", 1));
  EXPECT_FALSE(doc.SetDataAt(0, u"d"));
  EXPECT_EQ(doc.GetDoc(), before);
}

struct DataCase {
  const char16_t *text;
  const char16_t *data;
  bool asCData;
  const char16_t *expected;
  const char16_t *readBack;
};

class SetDataTest : public ::testing::TestWithParam<DataCase> {};

TEST_P(SetDataTest, ReplacesTheContent) {
  const DataCase &c = GetParam();
  XMLDoc doc(c.text);
  ASSERT_TRUE(doc.FindChildElement(u"x"));
  ASSERT_TRUE(doc.SetDataAt(doc.GetChildPosition(), c.data, c.asCData));
  EXPECT_EQ(Narrow(doc.GetDoc()), Narrow(c.expected));
  EXPECT_EQ(Narrow(doc.GetChildData()), Narrow(c.readBack));
  EXPECT_TRUE(SameTableAsReparse(doc));
}

INSTANTIATE_TEST_SUITE_P(
    Data, SetDataTest,
    ::testing::Values(
        DataCase{u"<r><x/><y/></r>", u"a<b", false, u"<r><x>a&lt;b</x><y/></r>", u"a<b"},
        DataCase{u"<r><x k=\"1\"/></r>", u"a<b", true, u"<r><x k=\"1\"><![CDATA[a<b]]></x></r>", u"a<b"},
        DataCase{u"<r><x/></r>", u"a]]>b", true, u"<r><x>a]]&gt;b</x></r>", u"a]]>b"},
        DataCase{u"<r><x/></r>", u"", false, u"<r><x></x></r>", u""},
        DataCase{u"<r><x/></r>", nullptr, true, u"<r><x><![CDATA[]]></x></r>", u""},
        DataCase{u"<r><x>old &amp; long</x><y/></r>", u"n", false, u"<r><x>n</x><y/></r>", u"n"},
        DataCase{u"<r><x></x></r>", u"'\"", false, u"<r><x>'\"</x></r>", u"'\""},
        DataCase{u"<r><x><![CDATA[old]]></x></r>", u"&", false, u"<r><x>&amp;</x></r>", u"&"}),
    [](const ::testing::TestParamInfo<DataCase> &info) { return "Case" + std::to_string(info.index); });

TEST(XmlEdit, DataIsRefusedOnAnElementWithChildren) {
  XMLDoc doc(u"<r><x><z/></x></r>");
  ASSERT_TRUE(doc.FindChildElement(u"x"));
  EXPECT_FALSE(doc.SetDataAt(doc.GetChildPosition(), u"d"));
  EXPECT_EQ(doc.GetDoc(), u"<r><x><z/></x></r>");
}

struct ReadDataCase {
  const char16_t *text;
  const char16_t *data;
};

TEST(XmlRead, ChildData) {
  const ReadDataCase cases[] = {
      {u"<r><x> <![CDATA[a<b]]> </x></r>", u"a<b"},
      {u"<r><x><![CDATA[]]></x></r>", u""},
      {u"<r><x>a&amp;b&#65;&#x42;</x></r>", u"a&bAB"},
      {u"<r><x>&foo;</x></r>", u"&foo;"},
      {u"<r><x>&#0;</x></r>", u"&#0;"},
      {u"<r><x/></r>", u""},
      {u"<r><x><y>t</y></x></r>", u""},
      {u"<r><x>pre<![CDATA[in]]>post</x></r>", u"pre<![CDATA[in]]>post"},
      {u"<r><x> <![CDATA[in]]>post</x></r>", u"in"},
      {u"<r><x>&lt;&gt;&apos;&quot;</x></r>", u"<>'\""},
  };
  for (const ReadDataCase &c : cases) {
    XMLDoc doc(c.text);
    ASSERT_TRUE(doc.FindChildElement(u"x")) << Narrow(c.text);
    EXPECT_EQ(Narrow(doc.GetChildData()), Narrow(c.data)) << Narrow(c.text);
  }
  XMLDoc none(u"<r/>");
  EXPECT_TRUE(none.GetChildData().empty());
}

TEST(XmlText, Unescape) {
  struct Case {
    const char16_t *text;
    int32_t offset, length;  // length -1: to the end
    const char16_t *expected;
  } cases[] = {
      {u"&lt;&amp;&gt;&apos;&quot;", 0, -1, u"<&>'\""},
      {u"&#65;&#x42;&#x0x43;&# 68;", 0, -1, u"ABCD"},
      {u"&#X42;", 0, -1, u"&#X42;"},          // only a lowercase x means base 16
      {u"&#65abc;z", 0, -1, u"Az"},           // digits stop, the reference still ends at ';'
      {u"&#1234567;", 0, -1, u"\xD687"},      // the low 16 bits
      {u"&#-65;", 0, -1, u"\xFFBF"},
      {u"&#12345678;", 0, -1, u"&#12345678;"},  // ';' too far away
      {u"&#x;&#;", 0, -1, u"&#x;&#;"},
      {u"&amp", 0, -1, u"&amp"},
      {u"&ampx;&AMP;", 0, -1, u"&ampx;&AMP;"},
      {u"a&lt;b", 0, 4, u"a&lt"},             // an entity must end inside the span
      {u"a&#66;b", 0, 3, u"aB"},              // a reference may run past it
      {u"xx&gt;", 2, 4, u">"},
      {u"", 0, 0, u""},
  };
  for (const Case &c : cases) {
    XMLDoc doc;
    doc.SetDoc(c.text);  // not a document; the text is kept all the same
    int32_t length = c.length < 0 ? static_cast<int32_t>(doc.GetDoc().size()) : c.length;
    std::u16string out = doc.UnescapeText(c.offset, length);
    EXPECT_EQ(out, std::u16string(c.expected)) << Narrow(c.text);
    EXPECT_LE(out.size(), static_cast<size_t>(length));
  }
}

TEST(XmlText, Escape) {
  struct Case {
    const char16_t *text;
    bool forAttribute;
    const char16_t *expected;
  } cases[] = {
      {u"a<b&c>d", false, u"a&lt;b&amp;c&gt;d"},
      {u"'\"", false, u"'\""},
      {u"'\"", true, u"&apos;&quot;"},
      {u"<&>", true, u"&lt;&amp;&gt;"},
      {u"", true, u""},
      {u"\xE9\x20AC", false, u"\xE9\x20AC"},
  };
  for (const Case &c : cases) EXPECT_EQ(XMLDoc::EscapeText(c.text, c.forAttribute), c.expected) << Narrow(c.text);
  EXPECT_EQ(XMLDoc::EscapeText(static_cast<const char16_t *>(nullptr), true), u"");

  // A long text of nothing but escaped characters comes out whole.
  std::u16string many(1000, u'&');
  std::u16string out = XMLDoc::EscapeText(many, false);
  EXPECT_EQ(out.size(), 5000u);
  XMLDoc doc(u"<r>" + out + u"</r>");
  EXPECT_EQ(doc.UnescapeText(3, static_cast<int32_t>(out.size())), many);
}

TEST(XmlEdit, EditsShiftEverythingAfterThem) {
  XMLDoc doc(u"<r><a><a1/><a2>t</a2></a><b><b1/></b></r>");
  const int32_t a1 = IndexOf(doc, u"a1"), a2 = IndexOf(doc, u"a2"), b1 = IndexOf(doc, u"b1");
  ASSERT_TRUE(doc.FindChildElement(u"a"));
  ASSERT_TRUE(doc.SetAttributeAt(doc.GetChildPosition(), u"k", u"12345"));
  EXPECT_EQ(doc.Record(a1).start, 6 + 10);
  EXPECT_TRUE(SameTableAsReparse(doc));
  ASSERT_TRUE(doc.SetDataAt(a2, u"longer text"));
  ASSERT_TRUE(doc.SetDataAt(a1, u"x"));
  EXPECT_TRUE(SameTableAsReparse(doc));
  EXPECT_EQ(doc.TagNameAt(b1), u"b1");
  EXPECT_EQ(doc.GetDoc()[static_cast<size_t>(doc.Record(b1).start)], u'<');
  EXPECT_EQ(doc.Record(0).length, static_cast<int32_t>(doc.GetDoc().size()));
}

}  // namespace
