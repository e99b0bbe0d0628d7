// Moving the position through a document, reading at it, and positions
// saved by name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "xml/xmldoc.h"
#include "xml_check.h"

namespace {

const char16_t kReadTags[] =
    u"<?xml version=\"1.0\"?>\r\n"
    u"<ReadTags Reader=\"R1\" TagCount=\"2\">\r\n"
    u"<Tag ID=\"01\"><Field Nr=\"0\">a&amp;b</Field><Field Nr=\"1\"/></Tag>\r\n"
    u"<TagX ID=\"99\"/>\r\n"
    u"<Tag ID='02' Note=\"x &lt; y\"><Field Nr=\"0\">c</Field></Tag>\r\n"
    u"</ReadTags>\r\n";

struct Pos {
  std::u16string parent, main, child;
  bool operator==(const Pos &) const = default;
};

Pos Where(const XMLDoc &doc) {
  return Pos{doc.TagNameAt(doc.GetParentPosition()), doc.TagNameAt(doc.GetMainPosition()),
             doc.TagNameAt(doc.GetChildPosition())};
}

std::ostream &operator<<(std::ostream &os, const Pos &p) {
  return os << Narrow(p.parent) << "/" << Narrow(p.main) << "/" << Narrow(p.child);
}

TEST(XmlNavigate, WalkingAResultDocument) {
  XMLDoc doc(kReadTags);
  ASSERT_TRUE(doc.IsWellFormed()) << Narrow(doc.GetError());
  EXPECT_EQ(Where(doc), (Pos{u"", u"", u""}));

  // Each step, the call's result and where the position stands afterwards.
  enum Op { kFind, kFindChild, kInto, kOut, kRewind };
  struct Step {
    Op op;
    const char16_t *name;
    bool result;
    Pos after;
  } steps[] = {
      {kFindChild, u"Tag", true, {u"", u"ReadTags", u"Tag"}},  // takes the root first
      {kFindChild, u"Tag", true, {u"", u"ReadTags", u"Tag"}},  // the second, not TagX
      {kFindChild, u"Tag", false, {u"", u"ReadTags", u"Tag"}},
      {kInto, nullptr, true, {u"ReadTags", u"Tag", u""}},
      {kFindChild, nullptr, true, {u"ReadTags", u"Tag", u"Field"}},
      {kFindChild, nullptr, false, {u"ReadTags", u"Tag", u"Field"}},
      {kFind, nullptr, false, {u"ReadTags", u"Tag", u"Field"}},  // the last Tag has no sibling
      {kOut, nullptr, true, {u"", u"ReadTags", u"Tag"}},
      {kOut, nullptr, false, {u"", u"ReadTags", u"Tag"}},
      {kFind, nullptr, false, {u"", u"ReadTags", u"Tag"}},  // no second root
      {kRewind, nullptr, true, {u"", u"", u""}},
      {kFind, u"Tag", false, {u"", u"", u""}},  // not at the document level
      {kFind, u"ReadTags", true, {u"", u"ReadTags", u""}},
      {kInto, nullptr, true, {u"ReadTags", u"", u""}},  // no child: main becomes 0
      {kInto, nullptr, false, {u"ReadTags", u"", u""}},
      {kFind, nullptr, true, {u"ReadTags", u"Tag", u""}},
      {kFind, u"TagX", true, {u"ReadTags", u"TagX", u""}},
      {kFindChild, nullptr, false, {u"ReadTags", u"TagX", u""}},
      {kFind, u"Tag", true, {u"ReadTags", u"Tag", u""}},
      {kFindChild, u"Field", true, {u"ReadTags", u"Tag", u"Field"}},
      {kOut, nullptr, true, {u"", u"ReadTags", u"Tag"}},
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
    }
    EXPECT_EQ(result, s.result) << "step " << n;
    EXPECT_EQ(Where(doc), s.after) << "step " << n;
    ++n;
  }
  EXPECT_EQ(doc.GetChildAttribute(u"ID"), u"02");
  EXPECT_EQ(doc.GetChildAttribute(u"Note"), u"x < y");
}

TEST(XmlNavigate, NamelessChildSearchVisitsEveryChildInOrder) {
  XMLDoc doc(u"<r><a/><b>t</b><!-- c --><c x='1'/>text<d/></r>");
  std::u16string seen;
  while (doc.FindChildElement(nullptr)) seen += doc.GetChildTagName();
  EXPECT_EQ(seen, u"abcd");
  EXPECT_EQ(doc.GetChildTagName(), u"d");  // left on the last
  EXPECT_FALSE(doc.FindChildElement(u"a"));  // searches only after the child
  EXPECT_EQ(doc.GetChildTagName(), u"d");
}

TEST(XmlNavigate, NamesMatchByTheirLeadingToken) {
  XMLDoc doc(u"<r><Tagged/><tag/><Tag a='1'/><Tag/></r>");
  struct Case {
    const char16_t *name;
    int visits;
  } cases[] = {{u"Tag", 2}, {u"tag", 1}, {u"Tagged", 1}, {u"Ta", 0}, {u"Tag a", 2}, {u"Tag=x", 2},
               {u"TagX", 0}, {u"", 4}};
  for (const Case &c : cases) {
    doc.Rewind();
    int visits = 0;
    while (doc.FindChildElement(c.name)) ++visits;
    EXPECT_EQ(visits, c.visits) << Narrow(c.name);
  }
}

TEST(XmlRead, TagNamesAndAttributes) {
  XMLDoc doc(kReadTags);
  EXPECT_TRUE(doc.GetTagName().empty());
  EXPECT_TRUE(doc.GetAttribute(u"Reader").empty());
  ASSERT_TRUE(doc.FindChildElement(u"Tag"));
  EXPECT_EQ(doc.GetTagName(), u"ReadTags");
  EXPECT_EQ(doc.GetChildTagName(), u"Tag");

  struct Case {
    bool child;
    const char16_t *name;
    const char16_t *value;
  } cases[] = {
      {false, u"Reader", u"R1"},  {false, u"TagCount", u"2"}, {false, u"ID", u""},
      {false, nullptr, u""},     {true, u"ID", u"01"},        {true, u"Reader", u""},
      {true, u"I", u""},
  };
  for (const Case &c : cases) {
    std::u16string got = c.child ? doc.GetChildAttribute(c.name) : doc.GetAttribute(c.name);
    EXPECT_EQ(got, c.value) << (c.child ? "child " : "main ") << (c.name ? Narrow(c.name) : "(null)");
  }
  ASSERT_TRUE(doc.StepIntoElement());
  ASSERT_TRUE(doc.FindChildElement());
  EXPECT_EQ(doc.GetChildData(), u"a&b");
  ASSERT_TRUE(doc.FindChildElement());
  EXPECT_EQ(doc.GetChildAttribute(u"Nr"), u"1");
  EXPECT_TRUE(doc.GetChildData().empty());
}

TEST(XmlPosition, SavedPositionsComeBackAsTheyWere) {
  XMLDoc doc(kReadTags);
  EXPECT_FALSE(doc.RestorePosition(u""));  // nothing saved yet
  EXPECT_FALSE(doc.SavePosition(static_cast<const char16_t *>(nullptr)));
  EXPECT_FALSE(doc.RestorePosition(static_cast<const char16_t *>(nullptr)));

  ASSERT_TRUE(doc.SavePosition(u"start"));  // only the parent (0) is stored
  ASSERT_TRUE(doc.FindChildElement(u"Tag"));
  ASSERT_TRUE(doc.SavePosition(u"child"));
  const Pos childPos = Where(doc);
  const int32_t firstTag = doc.GetChildPosition();
  ASSERT_TRUE(doc.StepIntoElement());
  ASSERT_TRUE(doc.SavePosition(u"main"));  // main is the Tag, no child
  ASSERT_TRUE(doc.SavePosition(u""));
  ASSERT_TRUE(doc.FindChildElement());
  ASSERT_TRUE(doc.StepIntoElement());
  ASSERT_TRUE(doc.StepIntoElement());  // parent = Field, main = 0
  ASSERT_TRUE(doc.SavePosition(u"inside"));

  struct Case {
    const char16_t *name;
    Pos expected;
  } cases[] = {
      {u"child", childPos},
      {u"main", {u"ReadTags", u"Tag", u""}},
      {u"", {u"ReadTags", u"Tag", u""}},
      {u"inside", {u"Field", u"", u""}},
      {u"start", {u"", u"", u""}},
  };
  for (const Case &c : cases) {
    doc.Rewind();
    ASSERT_TRUE(doc.FindChildElement(u"Tag"));
    ASSERT_TRUE(doc.FindChildElement(u"Tag"));  // somewhere else first
    ASSERT_TRUE(doc.RestorePosition(c.name)) << Narrow(c.name);
    EXPECT_EQ(Where(doc), c.expected) << Narrow(c.name);
  }
  ASSERT_TRUE(doc.RestorePosition(u"child"));
  EXPECT_EQ(doc.GetChildPosition(), firstTag);
  EXPECT_FALSE(doc.RestorePosition(u"Child"));  // names are compared exactly
  EXPECT_FALSE(doc.RestorePosition(u"chil"));
}

TEST(XmlPosition, NamesSharingABucketAreKeptApart) {
  // Names whose code units add up to the same value modulo 7 share a
  // bucket: "a", "h", "o", "v" (97, 104, 111, 118), and "a" followed by any
  // number of U+0007.  More than two names make the bucket grow, more than
  // fourteen make it grow again; "b" lies in another bucket.
  XMLDoc doc(u"<r><e0/><e1/><e2/><e3/><e4/><e5/><e6/><e7/></r>");
  const std::vector<std::u16string> names = {u"a", u"h", u"o", u"v", u"b"};
  std::vector<int32_t> stored;
  for (const std::u16string &name : names) {
    ASSERT_TRUE(doc.FindChildElement());
    ASSERT_TRUE(doc.SavePosition(name));
    stored.push_back(doc.GetChildPosition());
  }
  for (int i = 0; i < 30; ++i) {  // and many more in the same bucket
    std::u16string name(1, u'a');
    name += std::u16string(static_cast<size_t>(i) + 1, u'\x7');
    ASSERT_TRUE(doc.SavePosition(name));
  }
  // Overwriting one name leaves the others alone.
  doc.Rewind();
  ASSERT_TRUE(doc.FindChildElement(u"e7"));
  ASSERT_TRUE(doc.SavePosition(u"h"));
  stored[1] = doc.GetChildPosition();

  for (size_t i = 0; i < names.size(); ++i) {
    doc.Rewind();
    ASSERT_TRUE(doc.RestorePosition(names[i])) << i;
    EXPECT_EQ(doc.GetChildPosition(), stored[i]) << i;
  }
  ASSERT_TRUE(doc.RestorePosition(std::u16string(u"a") + std::u16string(30, u'\x7')));
  EXPECT_EQ(doc.GetChildTagName(), u"e4");
}

TEST(XmlPosition, SavedIndexesSurviveEditsButNotAParse) {
  XMLDoc doc(u"<r><a/><b/></r>");
  ASSERT_TRUE(doc.FindChildElement(u"b"));
  ASSERT_TRUE(doc.SavePosition(u"b"));
  doc.Rewind();
  ASSERT_TRUE(doc.FindChildElement(u"a"));
  ASSERT_TRUE(doc.AddChildElement(u"n", u"new"));
  ASSERT_TRUE(doc.SetAttributeAt(doc.GetChildPosition(), u"k", u"v"));
  ASSERT_TRUE(doc.RestorePosition(u"b"));
  EXPECT_EQ(doc.GetChildTagName(), u"b");
  EXPECT_TRUE(SameTableAsReparse(doc));

  ASSERT_TRUE(doc.SetDoc(doc.GetDoc()));
  EXPECT_FALSE(doc.RestorePosition(u"b"));
}

TEST(XmlPosition, PushedPositionsPopInReverse) {
  XMLDoc doc(kReadTags);
  EXPECT_FALSE(doc.PopPosition());
  doc.PushPosition();  // cleared position
  ASSERT_TRUE(doc.FindChildElement(u"Tag"));
  doc.PushPosition();
  const Pos atTag = Where(doc);
  ASSERT_TRUE(doc.StepIntoElement());
  ASSERT_TRUE(doc.FindChildElement());
  ASSERT_TRUE(doc.PopPosition());
  EXPECT_EQ(Where(doc), atTag);
  ASSERT_TRUE(doc.PopPosition());
  EXPECT_EQ(Where(doc), (Pos{u"", u"", u""}));
  EXPECT_FALSE(doc.PopPosition());

  doc.PushPosition();
  doc.PushPosition();
  ASSERT_TRUE(doc.SetDoc(kReadTags));  // a parse forgets them
  EXPECT_FALSE(doc.PopPosition());
  doc.PushPosition();  // and one left over is freed with the document
}

}  // namespace
