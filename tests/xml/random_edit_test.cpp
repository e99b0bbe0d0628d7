// Thousands of edits in a fixed pseudo-random order, each followed by the
// check that the maintained element table equals a fresh parse of the text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>

#include "xml/xmldoc.h"
#include "xml_check.h"

namespace {

class Dice {
 public:
  explicit Dice(uint32_t seed) : engine_(seed) {}
  // 0 .. n-1; the engine's raw output keeps the sequence the same everywhere.
  uint32_t operator()(uint32_t n) { return static_cast<uint32_t>(engine_() % n); }
  bool Chance(uint32_t percent) { return (*this)(100) < percent; }

 private:
  std::mt19937 engine_;
};

const char16_t *const kNames[] = {u"a", u"b", u"Tag", u"Field", u"x1", u"long-name.v"};
const char16_t *const kAttributes[] = {u"k", u"k2", u"ID", u"MemType"};

std::u16string RandomText(Dice &dice) {
  static const std::u16string pieces[] = {u"a", u"Z", u"0", u" ", u"<", u">", u"&", u"'", u"\"", u"]]>",
                                          u"\r\n", u"\xE9", u"&amp;", u"<![CDATA[", u"\t"};
  std::u16string out;
  for (uint32_t n = dice(7); n > 0; --n) out += pieces[dice(sizeof pieces / sizeof pieces[0])];
  return out;
}

struct Counts {
  int edits = 0;
  int refused = 0;
  int elements = 0;
  int deepest = 0;
};

void RunOneDocument(Dice &dice, int edits, Counts &counts) {
  XMLDoc doc;
  // Start from an empty text or from a parsed one, with some prolog.
  if (dice.Chance(30)) {
    ASSERT_TRUE(doc.SetDoc(u"<?xml version=\"1.0\"?>\r\n<!-- c -->\r\n<r a='1'>\r\n<p/>\r\n</r>\r\n"));
  } else if (dice.Chance(30)) {
    ASSERT_TRUE(doc.SetDoc(u"<r></r>"));
  } else {
    doc.SetDoc(u"");
  }

  for (int done = 0; done < edits;) {
    const uint32_t op = dice(100);
    const std::u16string before = doc.GetDoc();
    bool edited = false, ok = false;
    const int32_t target = doc.GetChildPosition() ? doc.GetChildPosition() : doc.GetMainPosition();

    if (op < 20) {
      const char16_t *name = kNames[dice(6)];
      std::u16string data = dice.Chance(50) ? RandomText(dice) : std::u16string();
      ok = doc.AddElement(name, data.c_str());
      edited = true;
      if (ok) {
        EXPECT_EQ(doc.GetTagName(), name);
        EXPECT_EQ(doc.GetChildPosition(), 0);
      }
    } else if (op < 45) {
      const char16_t *name = kNames[dice(6)];
      std::u16string data = dice.Chance(50) ? RandomText(dice) : std::u16string();
      ok = doc.AddChildElement(name, data.c_str());
      edited = true;
      if (ok) {
        EXPECT_EQ(doc.GetChildTagName(), name);
        EXPECT_EQ(Narrow(doc.GetChildData()), Narrow(data));
      }
    } else if (op < 60) {
      const char16_t *name = kAttributes[dice(4)];
      edited = true;
      if (dice.Chance(50)) {
        std::u16string value = RandomText(dice);
        ok = doc.SetAttributeAt(target, name, value.c_str());
        if (ok) {
          EXPECT_EQ(Narrow(doc.AttributeAt(target, name)), Narrow(value));
        }
      } else {
        int32_t value = static_cast<int32_t>(dice(200000)) - 100000;
        ok = doc.SetAttributeAt(target, name, value);
        if (ok) {
          EXPECT_EQ(Narrow(doc.AttributeAt(target, name)), std::to_string(value));
        }
      }
    } else if (op < 75) {
      std::u16string text = RandomText(dice);
      const bool cdata = dice.Chance(40);
      ok = doc.SetDataAt(target, text.c_str(), cdata);
      edited = true;
      if (ok) {
        EXPECT_EQ(Narrow(doc.DataAt(target)), Narrow(text));
      }
    } else if (op < 82) {
      doc.FindChildElement(dice.Chance(70) ? nullptr : kNames[dice(6)]);
    } else if (op < 87) {
      doc.FindElement(dice.Chance(70) ? nullptr : kNames[dice(6)]);
    } else if (op < 91) {
      doc.StepIntoElement();
    } else if (op < 95) {
      doc.StepOutOfElement();
    } else if (op < 97) {
      doc.Rewind();
    } else if (op < 99) {
      doc.SavePosition(kNames[dice(6)]);
    } else {
      doc.RestorePosition(kNames[dice(6)]);
    }

    // The position always reads parent -> main -> child.
    if (doc.GetChildPosition()) {
      ASSERT_EQ(doc.Record(doc.GetChildPosition()).parent, doc.GetMainPosition());
    }
    if (doc.GetMainPosition()) {
      ASSERT_EQ(doc.Record(doc.GetMainPosition()).parent, doc.GetParentPosition());
    }
    if (!edited) continue;
    ++done;
    ++counts.edits;
    if (!ok) {
      ++counts.refused;
      ASSERT_EQ(doc.GetDoc(), before) << "a refused edit changed the text (operation " << op << ")";
      continue;
    }
    ASSERT_TRUE(SameTableAsReparse(doc)) << "after operation " << op << ", edit " << done;
  }
  int depth = 0;
  for (int32_t i = 1; i < doc.GetNextFreeIndex(); ++i) depth = std::max(depth, ElementLevel(doc.Record(i)));
  counts.elements += doc.GetNextFreeIndex() - 1;
  counts.deepest = std::max(counts.deepest, depth);
}

TEST(XmlRandomEdits, TableMatchesAReparseAfterEveryEdit) {
  Dice dice(20240611u);
  Counts counts;
  for (int round = 0; round < 12; ++round) {
    RunOneDocument(dice, 300, counts);
    if (::testing::Test::HasFatalFailure()) return;
  }
  EXPECT_EQ(counts.edits, 3600);
  // Both successful and refused edits were exercised in quantity.
  EXPECT_GT(counts.edits - counts.refused, 2000);
  EXPECT_GT(counts.refused, 50);
  // The trees grew both wide and deep.
  EXPECT_GT(counts.elements, 800);
  EXPECT_GE(counts.deepest, 4);
}

}  // namespace
