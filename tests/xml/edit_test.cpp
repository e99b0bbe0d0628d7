// Editing: the exact text every edit produces, the element table kept in
// step with it, and the text rules of escaping and decoding.
#include <gtest/gtest.h>

#include "xml/xmldoc.h"
#include "xml_check.h"

namespace {

enum Op { kAddChild, kAddElement, kSetAttribute, kSetInt, kSetData, kSetCData };

struct EditCase {
  Op op;
  const char16_t *text, *main, *after;  // main: made main first; after: the child to insert after
  const char16_t *name, *value;         // new element or attribute; data or value
  const char16_t *expected;             // null: refused, the text unchanged
};

const EditCase kEdits[] = {
    // New children: the line shape, whatever the parent looked like.
    {kAddChild, u"<p></p>", u"p", nullptr, u"c", nullptr, u"<p>\r\n<c/>\r\n</p>"},
    {kAddChild, u"<p/>", u"p", nullptr, u"c", nullptr, u"<p>\r\n<c/>\r\n</p>"},
    {kAddChild, u"<p a=\"1\" />", u"p", nullptr, u"c", u"d", u"<p a=\"1\" >\r\n<c>d</c>\r\n</p>"},
    {kAddChild, u"<p>\r\n<a/>\r\n</p>", u"p", nullptr, u"c", nullptr, u"<p>\r\n<a/>\r\n<c/>\r\n</p>"},
    {kAddChild, u"<p>\r\n<a/>\r\n<b/>\r\n</p>", u"p", u"a", u"c", nullptr, u"<p>\r\n<a/>\r\n<c/>\r\n<b/>\r\n</p>"},
    {kAddChild, u"<p><a/><b/></p>", u"p", u"a", u"c", u"&", u"<p><a/><c>&amp;</c>\r\n<b/></p>"},
    {kAddChild, u"<p>text</p>", u"p", nullptr, u"c", nullptr, u"<p>text<c/>\r\n</p>"},
    {kAddChild, u"<r><q/><p/></r>", u"p", nullptr, u"c", nullptr, u"<r><q/><p>\r\n<c/>\r\n</p></r>"},
    {kAddChild, u"", nullptr, nullptr, u"c", nullptr, nullptr},  // no main position
    // New elements after main, and a root while there is none.
    {kAddElement, u"<r><a/>\r\n<b/></r>", u"a", nullptr, u"n", u"v", u"<r><a/>\r\n<n>v</n>\r\n<b/></r>"},
    {kAddElement, u"  ", nullptr, nullptr, u"top", nullptr, u"  <top/>\r\n"},
    {kAddElement, u"<r/>", u"r", nullptr, u"s", nullptr, nullptr},  // a second root
    // Attributes: added, replaced in their own quotes, escaped.
    {kSetAttribute, u"<r><x>t</x><y/></r>", u"x", nullptr, u"k", u"v", u"<r><x k=\"v\">t</x><y/></r>"},
    {kSetAttribute, u"<r><x k='old' j='2'/></r>", u"x", nullptr, u"k", u"n", u"<r><x k='n' j='2'/></r>"},
    {kSetAttribute, u"<r><x k=''></x></r>", u"x", nullptr, u"k", u"a\"b'c", u"<r><x k='a&quot;b&apos;c'></x></r>"},
    {kSetAttribute, u"<r><x a=\"1\"/></r>", u"x", nullptr, u"b", u"<&>", u"<r><x a=\"1\" b=\"&lt;&amp;&gt;\"/></r>"},
    {kSetAttribute, u"<r><x kk=\"1\"/></r>", u"x", nullptr, u"k", u"2", u"<r><x kk=\"1\" k=\"2\"/></r>"},
    {kSetInt, u"<r><x n=\"1\" m=\"2\"/></r>", u"x", nullptr, u"n", u"-42", u"<r><x n=\"-42\" m=\"2\"/></r>"},
    {kSetAttribute, u"<r/>", nullptr, nullptr, u"k", u"v", nullptr},  // no main position
    {kSetAttribute, u"<r><x/></r>", u"x", nullptr, u"", u"v", nullptr},  // no name
    // Data: escaped text or a CDATA section, never inside an element with children.
    {kSetData, u"<r><x/><y/></r>", u"x", nullptr, nullptr, u"a<b", u"<r><x>a&lt;b</x><y/></r>"},
    {kSetCData, u"<r><x k=\"1\"/></r>", u"x", nullptr, nullptr, u"a<b", u"<r><x k=\"1\"><![CDATA[a<b]]></x></r>"},
    {kSetCData, u"<r><x/></r>", u"x", nullptr, nullptr, u"a]]>b", u"<r><x>a]]&gt;b</x></r>"},
    {kSetData, u"<r><x/></r>", u"x", nullptr, nullptr, u"", u"<r><x></x></r>"},
    {kSetData, u"<r><x><![CDATA[old]]></x></r>", u"x", nullptr, nullptr, u"&", u"<r><x>&amp;</x></r>"},
    {kSetData, u"<r><x><z/></x></r>", u"x", nullptr, nullptr, u"d", nullptr},
};

TEST(XmlEdit, EachEditGivesItsExactText) {
  for (const EditCase &c : kEdits) {
    SCOPED_TRACE(Narrow(c.text) + " -> " + Narrow(c.expected ? c.expected : u"(refused)"));
    XMLDoc doc(c.text);
    if (c.main && doc.FindElement() && doc.GetTagName() != c.main) {
      ASSERT_TRUE(doc.FindChildElement(c.main));
      ASSERT_TRUE(doc.StepIntoElement());
    }
    ASSERT_TRUE(!c.after || doc.FindChildElement(c.after));
    const int32_t at = doc.GetMainPosition();
    bool done = false;
    switch (c.op) {
      case kAddChild: done = doc.AddChildElement(c.name, c.value); break;
      case kAddElement: done = doc.AddElement(c.name, c.value); break;
      case kSetAttribute: done = doc.SetAttributeAt(at, c.name, c.value); break;
      case kSetInt: done = doc.SetAttributeAt(at, c.name, std::stoi(Narrow(c.value))); break;
      case kSetData: done = doc.SetDataAt(at, c.value, false); break;
      case kSetCData: done = doc.SetDataAt(at, c.value, true); break;
    }
    ASSERT_EQ(done, c.expected != nullptr);
    EXPECT_EQ(Narrow(doc.GetDoc()), Narrow(c.expected ? c.expected : c.text));
    if (done) { EXPECT_TRUE(SameTableAsReparse(doc)); }
  }
}

TEST(XmlText, DataDecodingAndEscaping) {
  struct Read { const char16_t *text, *data; } reads[] = {
      {u"<x> <![CDATA[a<b]]> </x>", u"a<b"}, {u"<x> <![CDATA[in]]>post</x>", u"in"},
      {u"<x>pre<![CDATA[in]]>post</x>", u"pre<![CDATA[in]]>post"}, {u"<x><y>t</y></x>", u""},
      {u"<x>&lt;&gt;&apos;&quot;&amp;&#65;&#x42;&#x0x43;&# 68;</x>", u"<>'\"&ABCD"},
      {u"<x>&#65abc;z&#1234567;&#-65;</x>", u"Az\xD687\xFFBF"},  // digits stop; the low 16 bits
      {u"<x>&foo;&#0;&#12345678;&#x;&#X42;&amp&ampx;&AMP;</x>", u"&foo;&#0;&#12345678;&#x;&#X42;&amp&ampx;&AMP;"},
  };
  for (const Read &r : reads) {
    XMLDoc doc(u"<r>" + std::u16string(r.text) + u"</r>");
    ASSERT_TRUE(doc.FindChildElement(u"x")) << Narrow(r.text);
    EXPECT_EQ(Narrow(doc.GetChildData()), Narrow(r.data)) << Narrow(r.text);
  }
  // A span ends entities but not character references.
  XMLDoc span;
  span.SetDoc(u"a&lt;b&#66;b");
  EXPECT_EQ(span.UnescapeText(0, 4) + u"|" + span.UnescapeText(6, 1), u"a&lt|B");
  // Quotes are escaped in attribute values only.
  EXPECT_EQ(XMLDoc::EscapeText(u"a<b&c>d'\"\xE9", false), u"a&lt;b&amp;c&gt;d'\"\xE9");
  EXPECT_EQ(XMLDoc::EscapeText(u"'\"<&>", true), u"&apos;&quot;&lt;&amp;&gt;");
  EXPECT_EQ(XMLDoc::EscapeText(static_cast<const char16_t *>(nullptr), true), u"");
}

}  // namespace
