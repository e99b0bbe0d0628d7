// Parsing: the element table and every failure message.
#include <gtest/gtest.h>

#include <string>

#include "xml/xmldoc.h"
#include "xml_check.h"

namespace {

struct ParseFailure {
  const char16_t *text;
  const char16_t *message;
};

class ParseFailureTest : public ::testing::TestWithParam<ParseFailure> {};

TEST_P(ParseFailureTest, ReportsTheMessageAndLeavesAnEmptyTable) {
  XMLDoc doc;
  EXPECT_FALSE(doc.SetDoc(GetParam().text));
  EXPECT_EQ(Narrow(doc.GetError()), Narrow(GetParam().message));
  EXPECT_FALSE(doc.IsWellFormed());
  EXPECT_EQ(doc.GetNextFreeIndex(), 1);
  EXPECT_EQ(doc.GetDoc(), GetParam().text);  // the text is kept as given
  EXPECT_FALSE(doc.FindElement());
}

INSTANTIATE_TEST_SUITE_P(
    Messages, ParseFailureTest,
    ::testing::Values(
        ParseFailure{u"<a></b>", u"End tag 'b' at offset 3 does not match start tag 'a' at offset 0"},
        ParseFailure{u"<abc></ab>", u"End tag 'ab' at offset 5 does not match start tag 'abc' at offset 0"},
        ParseFailure{u"<r><ab></abc></r>", u"End tag 'abc' at offset 7 does not match start tag 'ab' at offset 3"},
        ParseFailure{u"</a>", u"No start tag for end tag 'a' at offset 0"},
        ParseFailure{u"<a/></a>", u"No start tag for end tag 'a' at offset 4"},
        ParseFailure{u"<a><b>", u"Element 'b' at offset 3 not ended"},
        ParseFailure{u"<a x=\"1>2\"/>", u"Element 'a' at offset 0 not ended"},
        ParseFailure{u"<a/><b/>", u"Element 'b' at offset 4 is sibling to root"},
        ParseFailure{u"<a></a>\r\n<b></b>", u"Element 'b' at offset 9 is sibling to root"},
        ParseFailure{u"<1/>", u"Incorrect tag name character at offset 0"},
        ParseFailure{u"<a><_b/></a>", u"Incorrect tag name character at offset 3"},
        ParseFailure{u"<a>< b/></a>", u"Incorrect tag name character at offset 3"},
        ParseFailure{u"<!x>", u"Incorrect ! tag at offset 0"},
        ParseFailure{u"<!DOCTYPE r [<!ENTITY e \"x\"><!D>]><r/>", u"Incorrect ! tag at offset 27"},
        ParseFailure{u"<!DOCTYPE r [<![x]]>]><r/>", u"Incorrect ! tag at offset 0"},
        ParseFailure{u"<!-x-->", u"Incorrect comment tag at offset 0"},
        ParseFailure{u"<a><![x[]]></a>", u"Incorrect tag at offset 3"},
        ParseFailure{u"<!ELEMENT a ANY><a/>", u"Incorrect markup declaration at offset 0"},
        ParseFailure{u"<a", u"Element tag at offset 0 unterminated"},
        ParseFailure{u"<a></a", u"Element end tag at offset 3 unterminated"},
        ParseFailure{u"<!-- x", u"Comment at offset 0 unterminated"},
        ParseFailure{u"<a><![CDATA[x]]</a>", u"CDATA Section at offset 3 unterminated"},
        ParseFailure{u"<?xml version=\"1.0\"", u"Processing instruction at offset 0 unterminated"},
        ParseFailure{u"<!DOCTYPE r [<!ELEMENT r ANY>]", u"Doctype at offset 0 unterminated"},
        ParseFailure{u"<a><", u"tag at offset 3 unterminated"},
        ParseFailure{u"<!", u"tag at offset 0 unterminated"},
        ParseFailure{u"  \r\n\t", u"Root element not found"},
        ParseFailure{u"just text", u"Root element not found"},
        ParseFailure{u"<?xml version=\"1.0\"?><!-- only a comment -->", u"Root element not found"}),
    [](const ::testing::TestParamInfo<ParseFailure> &info) { return "Case" + std::to_string(info.index); });

TEST(XmlParse, EmptyTextFailsWithoutMessage) {
  XMLDoc doc;
  EXPECT_FALSE(doc.SetDoc(u""));
  EXPECT_TRUE(doc.GetError().empty());
  EXPECT_FALSE(doc.SetDoc(nullptr));
  EXPECT_TRUE(doc.GetError().empty());
  EXPECT_FALSE(doc.IsWellFormed());
  EXPECT_EQ(doc.Record(0).length, 0);
  EXPECT_EQ(doc.Record(0).firstChild, 0);
}

TEST(XmlParse, RecordsOfNestedElements) {
  XMLDoc doc(u"<a><b/></a>");
  ASSERT_TRUE(doc.IsWellFormed());
  EXPECT_TRUE(doc.GetError().empty());
  EXPECT_EQ(doc.GetNextFreeIndex(), 3);

  const ElementRecord &top = doc.Record(0);
  EXPECT_EQ(top.firstChild, 1);
  EXPECT_EQ(top.length, 11);
  EXPECT_EQ(top.start, 0);
  EXPECT_EQ(top.levelFlags, 0u);

  const ElementRecord &a = doc.Record(1);
  EXPECT_EQ(a.start, 0);
  EXPECT_EQ(a.length, 11);
  EXPECT_EQ(StartTagLength(a), 3);
  EXPECT_EQ(EndTagLength(a), 4);
  EXPECT_EQ(ElementLevel(a), 0);
  EXPECT_EQ(a.levelFlags, kElementFirstChild);
  EXPECT_EQ(a.parent, 0);
  EXPECT_EQ(a.firstChild, 2);
  EXPECT_EQ(a.nextSibling, 0);
  EXPECT_EQ(a.prevSibling, 1);

  const ElementRecord &b = doc.Record(2);
  EXPECT_EQ(b.start, 3);
  EXPECT_EQ(b.length, 4);
  EXPECT_EQ(StartTagLength(b), 4);
  EXPECT_EQ(EndTagLength(b), 2);
  EXPECT_EQ(ElementLevel(b), 1);
  EXPECT_EQ(b.levelFlags, kElementFirstChild | kElementEmpty | 1u);
  EXPECT_EQ(b.parent, 1);
  EXPECT_EQ(b.firstChild, 0);
  EXPECT_EQ(b.nextSibling, 0);
  EXPECT_EQ(b.prevSibling, 2);
}

TEST(XmlParse, SiblingLinksRingThroughTheFirstChild) {
  XMLDoc doc(u"<r><x/><y></y><z/></r>");
  ASSERT_TRUE(doc.IsWellFormed());
  const ElementRecord &x = doc.Record(2), &y = doc.Record(3), &z = doc.Record(4);
  EXPECT_EQ(x.prevSibling, 4);  // the first child refers to the last
  EXPECT_EQ(x.nextSibling, 3);
  EXPECT_EQ(y.prevSibling, 2);
  EXPECT_EQ(y.nextSibling, 4);
  EXPECT_EQ(z.prevSibling, 3);
  EXPECT_EQ(z.nextSibling, 0);
  EXPECT_EQ(x.levelFlags & kElementFirstChild, kElementFirstChild);
  EXPECT_EQ(y.levelFlags & kElementFirstChild, 0u);
  EXPECT_EQ(ContentLength(y), 0);
  EXPECT_EQ(EndTagOffset(y), 10);
}

TEST(XmlParse, MarkupOutsideElementsLeavesNoRecords) {
  const char16_t *texts[] = {
      u"<?xml version=\"1.0\"?>\r\n<!-- before -->\r\n<!DOCTYPE r [<!ELEMENT r ANY>]>\r\n<r/>\r\n<!-- after -->\r\n",
      u"<!DOCTYPE r [<!ENTITY e \"x\"><!-- c --><?pi x?><!ATTLIST r a CDATA #IMPLIED><!NOTATION n SYSTEM \"n\">]><r/>",
      u"<r>text > more <![CDATA[<no><element/>]]><!-- <x/> --><?pi <y/> ?></r>",
  };
  for (const char16_t *text : texts) {
    XMLDoc doc(text);
    EXPECT_TRUE(doc.IsWellFormed()) << Narrow(text) << ": " << Narrow(doc.GetError());
    EXPECT_EQ(doc.GetNextFreeIndex(), 2) << Narrow(text);
    EXPECT_TRUE(doc.FindElement());
    EXPECT_EQ(doc.GetTagName(), u"r");
  }
}

TEST(XmlParse, EndTagNameMatchRule) {
  EXPECT_TRUE(XMLDoc(u"<ab></ab>").IsWellFormed());
  EXPECT_FALSE(XMLDoc(u"<abc></ab>").IsWellFormed());
  // The start tag's name was scanned up to the '>', so it is "a=b".
  EXPECT_TRUE(XMLDoc(u"<a=b></a>").IsWellFormed());
  EXPECT_TRUE(XMLDoc(u"<a\r\nx='1'\t></a >").IsWellFormed());
}

TEST(XmlParse, ReparseReplacesEverything) {
  XMLDoc doc(u"<r><a/><b/></r>");
  ASSERT_TRUE(doc.FindChildElement(u"b"));
  ASSERT_TRUE(doc.SavePosition(u""));
  EXPECT_TRUE(doc.SetDoc(u"<q/>"));
  EXPECT_EQ(doc.GetMainPosition(), 0);
  EXPECT_EQ(doc.GetChildPosition(), 0);
  EXPECT_FALSE(doc.RestorePosition(u""));
  EXPECT_EQ(doc.GetNextFreeIndex(), 2);
  EXPECT_FALSE(doc.SetDoc(u"<q>"));
  EXPECT_EQ(doc.GetNextFreeIndex(), 1);
  EXPECT_EQ(doc.Record(0).firstChild, 0);
}

TEST(XmlTable, GrowsByAtMostOneSegmentPerCall) {
  XMLDoc doc;
  EXPECT_EQ(doc.GetElementCapacity(), 8);
  EXPECT_TRUE(doc.ReserveElements(4));
  EXPECT_EQ(doc.GetElementCapacity(), 8);
  EXPECT_TRUE(doc.ReserveElements(0));  // by half of the next free index
  EXPECT_EQ(doc.GetElementCapacity(), 8);
  EXPECT_TRUE(doc.ReserveElements(100));
  EXPECT_EQ(doc.GetElementCapacity(), 100);
  EXPECT_TRUE(doc.ReserveElements(70000));  // into the second segment
  EXPECT_EQ(doc.GetElementCapacity(), 70000);
  EXPECT_TRUE(doc.ReserveElements(1000000));  // one more segment, full
  EXPECT_EQ(doc.GetElementCapacity(), 3 * kElementSegmentSize);
  EXPECT_TRUE(doc.ReserveElements(1000000));
  EXPECT_EQ(doc.GetElementCapacity(), 4 * kElementSegmentSize);
}

TEST(XmlTable, FirstReservationPastTwoSegmentsGivesExactlyTwo) {
  // The first reservation is length / 64 + 8 records: here far more than
  // two segments, of which one call grants two.
  std::u16string text = u"<a/>";
  text.append(64 * 3 * kElementSegmentSize, u' ');
  XMLDoc doc(text);
  EXPECT_TRUE(doc.IsWellFormed());
  EXPECT_EQ(doc.GetElementCapacity(), 131072);

  // Between one and two segments the request is granted as asked.
  std::u16string shorter = u"<a/>";
  shorter.append(64 * kElementSegmentSize, u' ');
  XMLDoc second(shorter);
  EXPECT_EQ(second.GetElementCapacity(), (static_cast<int32_t>(shorter.size()) / 64) + 8);
}

TEST(XmlTable, RecordsSurviveSegmentGrowthDuringAParse) {
  // 150,000 children outgrow the first reservation several times, crossing
  // two segment boundaries and replacing partial segments by full ones.
  const int count = 150000;
  std::u16string text = u"<r>";
  for (int i = 0; i < count; ++i) text += u"<e/>";
  text += u"</r>";
  XMLDoc doc(text);
  ASSERT_TRUE(doc.IsWellFormed()) << Narrow(doc.GetError());
  EXPECT_EQ(doc.GetNextFreeIndex(), count + 2);
  EXPECT_GE(doc.GetElementCapacity(), count + 2);
  int seen = 0;
  int32_t prev = 0;
  for (int32_t i = doc.Record(1).firstChild; i; i = doc.Record(i).nextSibling) {
    ASSERT_EQ(doc.Record(i).start, 3 + 4 * seen);
    ASSERT_EQ(doc.Record(i).parent, 1);
    if (prev) {
      ASSERT_EQ(doc.Record(i).prevSibling, prev);
    }
    prev = i;
    ++seen;
  }
  EXPECT_EQ(seen, count);
  EXPECT_EQ(doc.Record(doc.Record(1).firstChild).prevSibling, prev);
  EXPECT_TRUE(SameTableAsReparse(doc));
}

TEST(XmlScanner, TokensAndAttributeSearch) {
  XMLDoc doc(u"<t a = 'x y' b=\"2\" c=v d=\"\" a=\"second\"/>");
  ASSERT_TRUE(doc.IsWellFormed());
  struct Case {
    const char16_t *name;
    bool found;
    const char16_t *value;
  } cases[] = {{u"a", true, u"x y"}, {u"b", true, u"2"}, {u"c", false, u""},
               {u"d", true, u""},    {u"e", false, u""}, {u"b=", true, u"2"}};
  for (const Case &c : cases) {
    TokenSpan token = doc.TokenAt(1);
    EXPECT_EQ(doc.FindAttributeToken(token, c.name), c.found) << Narrow(c.name);
    if (c.found) {
      EXPECT_TRUE(token.quoted);
      EXPECT_EQ(doc.TokenText(token), c.value) << Narrow(c.name);
    }
  }
  TokenSpan token = doc.TokenAt(1);
  ASSERT_TRUE(doc.FindAttributeToken(token, nullptr));  // the first attribute name
  EXPECT_EQ(doc.TokenText(token), u"a");

  TokenSpan walk = doc.TokenAt(0);
  std::u16string seen;
  while (doc.NextToken(walk)) seen += doc.TokenText(walk) + u"|";
  EXPECT_EQ(seen, u"<|t|a|=|x y|b|=|2|c|=|v|d|=||a|=|second|/|>|");
  EXPECT_EQ(walk.last, walk.first - 1);
}

}  // namespace
