// Parsing (the element table, its growth, every failure message), moving
// the position, reading at it, and positions saved by name.
#include <gtest/gtest.h>

#include <vector>

#include "test_util.h"
#include "xml/xmldoc.h"

namespace {

TEST(XmlParse, FailuresReportTheirMessageAndLeaveAnEmptyTable) {
  struct Case { const char16_t *text, *message; } cases[] = {
      {u"<abc></ab>", u"End tag 'ab' at offset 5 does not match start tag 'abc' at offset 0"},
      {u"<a/></a>", u"No start tag for end tag 'a' at offset 4"},
      {u"<a x=\"1>2\"/>", u"Element 'a' at offset 0 not ended"},
      {u"<a></a>\r\n<b></b>", u"Element 'b' at offset 9 is sibling to root"},
      {u"<a><_b/></a>", u"Incorrect tag name character at offset 3"},
      {u"<1/>", u"Incorrect tag name character at offset 0"},
      {u"<a><b><c><d><e><f><g><h>", u"Element 'h' at offset 21 not ended"},
      {u"<!DOCTYPE r [<!ENTITY e \"x\"><!D>]><r/>", u"Incorrect ! tag at offset 27"},
      {u"<!DOCTYPE r [<![x]]>]><r/>", u"Incorrect ! tag at offset 0"}, {u"<!x>", u"Incorrect ! tag at offset 0"},
      {u"<!-x-->", u"Incorrect comment tag at offset 0"}, {u"<a><![x[]]></a>", u"Incorrect tag at offset 3"},
      {u"<!ELEMENT a ANY><a/>", u"Incorrect markup declaration at offset 0"},
      {u"<a", u"Element tag at offset 0 unterminated"}, {u"<a></a", u"Element end tag at offset 3 unterminated"},
      {u"<!-- x", u"Comment at offset 0 unterminated"},
      {u"<a><![CDATA[x]]</a>", u"CDATA Section at offset 3 unterminated"},
      {u"<?xml version=\"1.0\"", u"Processing instruction at offset 0 unterminated"},
      {u"<!DOCTYPE r [<!ELEMENT r ANY>]", u"Doctype at offset 0 unterminated"},
      {u"<a><", u"tag at offset 3 unterminated"},
      {u"<?xml version=\"1.0\"?><!-- only a comment -->", u"Root element not found"},
      {u"", u""},  // an empty text fails without a message
  };
  for (const Case &c : cases) {
    XMLDoc doc(u"<old/>");
    EXPECT_FALSE(doc.SetDoc(c.text));
    EXPECT_EQ(Narrow(doc.GetError()), Narrow(c.message));
    EXPECT_EQ(doc.GetNextFreeIndex() + doc.Record(0).firstChild, 1) << Narrow(c.text);  // an empty table
  }
}

TEST(XmlParse, MarkupOutsideElementsAndTheEndTagRule) {
  const char16_t *documents[] = {
      u"<?xml version=\"1.0\"?>\r\n<!-- c -->\r\n<!DOCTYPE r [<!ELEMENT r ANY>]>\r\n<r/>\r\n<!-- after -->",
      u"<!DOCTYPE r [<!ENTITY e \"x\"><!-- c --><?pi x?><!ATTLIST r a CDATA #IMPLIED>]><r/>",
      u"<r>text > more <![CDATA[<no><element/>]]><!-- <x/> --><?pi <y/> ?></r>",
      u"<r=b></r>",  // ends like "r=b": the start tag's name ran up to the '>'
      u"<r\r\nx='1'\t></r >",
  };
  for (const char16_t *text : documents) {
    XMLDoc doc(text);
    EXPECT_EQ(doc.GetNextFreeIndex(), 2) << Narrow(text) << ": " << Narrow(doc.GetError());
    EXPECT_TRUE(doc.FindElement() && doc.GetTagName() == u"r") << Narrow(text);
  }
  XMLDoc doc(u"<t a = 'x y' b=\"2\" c=v/>");  // the scanner's tokens, quoted values whole
  std::u16string seen;
  for (TokenSpan walk = doc.TokenAt(0); doc.NextToken(walk);) seen += doc.TokenText(walk) + u"|";
  EXPECT_EQ(seen, u"<|t|a|=|x y|b|=|2|c|=|v|/|>|");
}

TEST(XmlTable, GrowsByAtMostOneSegmentPerCall) {
  XMLDoc doc;
  EXPECT_EQ(doc.GetElementCapacity(), 8);
  for (auto [reserve, capacity] : {std::pair{4, 8}, {0, 8}, {100, 100}, {70000, 70000},
                                   {1000000, 3 * kElementSegmentSize}, {1000000, 4 * kElementSegmentSize}})
    EXPECT_TRUE(doc.ReserveElements(reserve) && doc.GetElementCapacity() == capacity) << reserve;
  // A parse first reserves length / 64 + 8: past two segments, exactly two.
  XMLDoc wide(u"<a/>" + std::u16string(64 * 3 * kElementSegmentSize, u' '));
  EXPECT_EQ(wide.GetElementCapacity(), 2 * kElementSegmentSize);
  // 150,000 children outgrow the reservation, across two segment boundaries.
  std::u16string text = u"<r>";
  for (int i = 0; i < 150000; ++i) text += u"<e/>";
  XMLDoc many(text + u"</r>");
  EXPECT_EQ(many.GetNextFreeIndex(), 150002);
  int seen = 0;
  for (int32_t i = many.Record(1).firstChild; i; i = many.Record(i).nextSibling)
    ASSERT_EQ(many.Record(i).start, 3 + 4 * seen++);
  EXPECT_EQ(seen, 150000);
}

TEST(XmlNavigate, EachStepMovesThePositionAsItSays) {
  XMLDoc doc(u"<?xml version=\"1.0\"?>\r\n<ReadTags Reader=\"R1\">\r\n"
             u"<Tag ID=\"01\"><Field Nr=\"0\">a&amp;b</Field><Field Nr=\"1\"/></Tag>\r\n<TagX ID=\"99\"/>\r\n"
             u"<Tag ID='02'><Field Nr=\"0\">c</Field></Tag>\r\n</ReadTags>\r\n");
  enum Op { kFind, kFindChild, kInto, kOut, kRewind, kSave, kRestore, kAddChild, kParse };
  // Each step, its result and the position after it: parent/main/child by tag name.
  struct Step { Op op; const char16_t *name; bool result; const char *after; } steps[] = {
      {kRestore, u"", false, "//"},                 // nothing saved yet
      {kSave, u"start", true, "//"},                // only the parent (0) is stored
      {kFindChild, u"Tag", true, "/ReadTags/Tag"},  // takes the root first
      {kSave, u"child", true, "/ReadTags/Tag"},
      {kFindChild, u"Tag", true, "/ReadTags/Tag"},  // the second, not TagX
      {kInto, nullptr, true, "ReadTags/Tag/"}, {kSave, u"main", true, "ReadTags/Tag/"},
      {kFindChild, nullptr, true, "ReadTags/Tag/Field"},
      {kFindChild, u"", false, "ReadTags/Tag/Field"},  // left on the last
      {kFind, nullptr, false, "ReadTags/Tag/Field"},       // the last Tag has no sibling
      {kOut, nullptr, true, "/ReadTags/Tag"},
      {kFind, nullptr, false, "/ReadTags/Tag"},  // no second root
      {kRewind, nullptr, true, "//"},
      {kFind, u"Tag", false, "//"},  // not at the document level
      {kFind, u"ReadTags", true, "/ReadTags/"},
      {kInto, nullptr, true, "ReadTags//"},  // no child: main becomes 0
      {kFind, nullptr, true, "ReadTags/Tag/"}, {kFind, u"TagX", true, "ReadTags/TagX/"},
      {kFind, u"Tag", true, "ReadTags/Tag/"}, {kFindChild, u"Field", true, "ReadTags/Tag/Field"},
      {kInto, nullptr, true, "Tag/Field/"},
      {kInto, nullptr, true, "Field//"},  // a level without elements: main stays 0 ...
      {kSave, u"inside", true, "Field//"},
      {kFindChild, nullptr, true, "//ReadTags"},  // ... and the search runs from the root
      {kFindChild, nullptr, true, "/ReadTags/Tag"}, {kRestore, u"child", true, "/ReadTags/Tag"},
      {kRestore, u"inside", true, "Field//"},
      {kRestore, u"start", true, "//"},
      {kRestore, u"Child", false, "//"},  // names are compared exactly
      {kRestore, u"child", true, "/ReadTags/Tag"}, {kAddChild, u"New", true, "/ReadTags/New"},
      {kRestore, u"child", true, "/ReadTags/Tag"},  // indexes survive edits ...
      {kParse, nullptr, true, "//"},
      {kRestore, u"child", false, "//"},  // ... but not a parse
  };
  int n = 0;
  for (const Step &s : steps) {
    bool result = true;
    switch (s.op) {
      case kFind: result = doc.FindElement(s.name); break;
      case kFindChild: result = doc.FindChildElement(s.name); break;
      case kInto: result = doc.StepIntoElement(); break;
      case kOut: result = doc.StepOutOfElement(); break;
      case kRewind: doc.Rewind(); break;
      case kSave: result = doc.SavePosition(s.name); break;
      case kRestore: result = doc.RestorePosition(s.name); break;
      case kAddChild: result = doc.AddChildElement(s.name); break;
      case kParse: result = doc.SetDoc(doc.GetDoc()); break;
    }
    EXPECT_EQ(result, s.result) << "step " << n;
    EXPECT_EQ(Narrow(doc.TagNameAt(doc.GetParentPosition()) + u"/" + doc.TagNameAt(doc.GetMainPosition()) + u"/" +
                     doc.TagNameAt(doc.GetChildPosition())),
              s.after)
        << "step " << n++;
  }
  EXPECT_FALSE(doc.SavePosition(static_cast<const char16_t *>(nullptr)));
  // Names whose units add up alike share a bucket ("a", "a" U+0007, ...): it grows past 2 and 14 entries.
  for (size_t i = 0; i < 30; ++i) ASSERT_TRUE(doc.SavePosition(u"a" + std::u16string(i, 7)));
  EXPECT_TRUE(doc.RestorePosition(u"a" + std::u16string(29, 7)));
}

}  // namespace
