// The value codec: formatting and encoding per type and length, template
// matching with wildcards, and where each tag's value lies in a slot.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <vector>

#include "config/swtt.h"
#include "tagdata/codec.h"
#include "test_util.h"

namespace {

std::string Hex(const uint8_t *p, size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += HexByteText(p[i]).text;
  return s;
}

// A context with templates (masks in file order; a table of none is still a
// table) and one slot of 8 tags.
struct Fixture {
  explicit Fixture(std::vector<const char *> masks) : templates(masks.size() + 1) {
    for (size_t i = 0; i < masks.size(); ++i) std::strncpy(templates[i].mask, masks[i], 12);
    context.templates = templates.data();
    context.templateCount = static_cast<int32_t>(masks.size());
    slotData[0] = buffer.data();
    slotDesc[0] = desc.data();
    control.slotData = slotData;
    control.slotDesc = slotDesc;
    control.tagCapacity = 8;
    context.control = &control;
  }
  ReaderContext context{};
  std::vector<SwttTemplate> templates;
  RfidControl control{};
  std::vector<uint8_t> buffer = std::vector<uint8_t>(TAGDRV_SLOT_DATA_SIZE);
  std::vector<SlotDescriptor> desc = std::vector<SlotDescriptor>(8);
  uint8_t *slotData[TAGDRV_MAX_SLOTS] = {};
  SlotDescriptor *slotDesc[TAGDRV_MAX_SLOTS] = {};
};

TEST(Codec, TemplateMatching) {
  struct Case { std::vector<const char *> masks; const char *id; int32_t want; } cases[] = {
      {{"0123xxxxxxxx", "0123456789xx"}, "0123456789AB", 1},  // two wildcards beat eight
      {{"ABCDEF012345"}, "abcdef012345", 0},                  // case ignored
      {{"0123XXXXXXXX"}, "012399999999", 0},                  // 'X' works as 'x'
      {{"0123xxxxxxxx", "0123xxxxxxxx"}, "012345678901", 0},  // file order among equals
      {{"ABCD"}, "AB", -1},                                   // the padding never becomes a wildcard
      {{"ABxxxxxxxxxx"}, "AB", 0},                            // but the wildcards replace it
      {{}, "0123456789AB", -1},
  };
  for (const Case &c : cases) {
    Fixture f(c.masks);
    EXPECT_EQ(SwttFind(&f.context, c.id), c.want) << c.id;
  }
  ReaderContext absent{};
  EXPECT_EQ(SwttFind(&absent, "0123456789AB"), -2);
  Fixture f({"0123xxxxxxxx"});
  f.templates[0].fields[0].defined = f.templates[0].fields[15].defined = 1;
  for (int32_t field : {-1, 0, 15, 16})  // defined fields 0 and 15 only count inside 0..15
    EXPECT_EQ(SwttFieldInfo(&f.context, field, "0123AAAAAAAA", nullptr, nullptr, nullptr), field == 0 || field == 15);
}

TEST(Codec, FormattingPerTypeAndLength) {
  struct Case { char type; int32_t len; std::vector<uint8_t> bytes; const char *text; } cases[] = {
      {'i', 2, {0xFF, 0x7F}, "32767/Int"}, {'i', 2, {0xFF, 0xFF}, "-1/Int"}, {'i', 1, {0x80}, "-128/Int"},
      {'i', 4, {0x01, 0x02, 0x00, 0x80}, "-2147483135/Int"},
      {'i', 4, {0x34, 0x12}, "4660/Int"},  // bytes past the room read as zero
      {'i', 3, {1, 2, 3}, "[3] = unknown int len/Int"}, {'h', 3, {0x00, 0x0A, 0xFF}, "000AFF/Hex"},
      {'h', -4, {1}, "/Hex"}, {'s', 8, {'A', 'B', 0, 0, 0, 0, 0, 0}, "AB/String"},
      {'s', 400, {'4', 0x12}, "4\x12/String"}, {'s', -1, {'A'}, "/String"},
  };
  for (const Case &c : cases) {
    std::string text = "old", typeName = "old";
    EXPECT_TRUE(FormatValue(c.type, c.len, c.bytes.data(), c.bytes.size(), text, typeName));
    EXPECT_EQ(text + "/" + typeName, c.text);
  }
  std::string text = "old", typeName = "old";
  EXPECT_FALSE(FormatValue('x', 2, nullptr, 0, text, typeName));
  EXPECT_EQ(text + typeName, "oldold");
  // A long value is cut to whole bytes within what a document carries.
  std::vector<uint8_t> big(600, 0xAB);
  FormatValue('h', 600, big.data(), big.size(), text, typeName);
  EXPECT_EQ(text.size(), 512u);
  FormatValue('s', 600, big.data(), big.size(), text, typeName);
  EXPECT_EQ(text.size(), kMaxValueText);
  // A template field of another type letter exists but is not formatted;
  // one that is not defined gives nothing.
  Fixture f({"0123xxxxxxxx"});
  f.templates[0].fields[1] = SwttField{"Odd", 0, 2, 'q', 1};
  std::string name, mask;
  text = typeName = "";
  EXPECT_TRUE(FormatSwttValue(&f.context, text, name, mask, typeName, big.data(), 8, 0, 1));
  EXPECT_EQ(text + "/" + name + "/" + mask + "/" + typeName, "/Odd/0123xxxxxxxx/");
  for (auto [templateIndex, field] : {std::pair{0, 2}, {0, 16}, {1, 1}})
    EXPECT_FALSE(FormatSwttValue(&f.context, text, name, mask, typeName, big.data(), 8, templateIndex, field));
}

TEST(Codec, EncodingPerTypeAndLength) {
  struct Case {
    const char16_t *text;
    char type;
    int32_t len;
    size_t room;
    const char *bytes;  // hex of the first 6 bytes after the encode (0x55 untouched)
  } cases[] = {
      {u"12", 's', 4, 6, "313220205555"}, {u"123456", 's', 4, 6, "313233345555"}, {u"1A2", 'h', 3, 6, "1A0000555555"},
      {u"AABBCC", 'h', 6, 2, "AABB55555555"},  // never past the room
      {u"-2", 'i', 2, 6, "FEFF55555555"}, {u"300", 'i', 1, 6, "2C5555555555"},
      {u"  +70000x", 'i', 4, 6, "701101005555"},
      {u"4294967296", 'i', 4, 6, "FFFFFF7F5555"},  // saturates, never wraps
      {u"-99999999999", 'i', 4, 6, "000000805555"}, {u"-1", 'i', 4, 1, "FF5555555555"},
      {u"7", 'i', 3, 6, "555555555555"},  // no integer of 3 bytes: nothing stored
      {u"7", 'q', 2, 6, "555555555555"}, {u"7", 's', -3, 6, "555555555555"},
  };
  for (const Case &c : cases) {
    uint8_t value[6];
    std::memset(value, 0x55, sizeof value);
    EncodeValue(c.text, c.type, c.len, value, c.room);
    EXPECT_EQ(Hex(value, 6), c.bytes) << Narrow(c.text);
  }
  std::vector<uint8_t> area(300, 0x55);  // cut to the 128-byte working buffer
  EncodeValue(u"x", 's', 200, area.data(), area.size());
  EXPECT_EQ(Hex(&area[127], 2), "2055");
}

TEST(Codec, SlotValueArithmetic) {
  struct Case {
    std::vector<SlotDescriptor> before;  // descriptors of tags 0 .. n-1
    size_t offset;                       // of tag n
  } cases[] = {
      {{{0, 0, 4, 0}, {0, 0, 6, 0}}, 12}, {{{0, 0, 1, 1}, {0, 0, 2, 1}, {0, 0, 3, 1}, {0, 0, 4, 1}}, 11},
      {{{0, 0, 5, 1}, {0, 0, 0, 1}}, 0}, {{{0, 0, 0, 0}, {0, 0, 0, 2}}, 2},
      {{{0, 0, -5, 0}, {0, 0, 2, 0}}, 3},                          // a negative length takes no room
      {{{0, 0, 300, 0}, {0, 0, 300, 0}}, TAGDRV_SLOT_DATA_SIZE},  // past the buffer: its end, no room
  };
  for (const Case &c : cases) {
    Fixture f({});
    for (size_t t = 0; t < c.before.size(); ++t) f.desc[t] = c.before[t];
    int32_t tag = static_cast<int32_t>(c.before.size());
    EXPECT_EQ(SlotValuePtr(&f.context, 0, tag), f.buffer.data() + c.offset) << c.offset;
    EXPECT_EQ(SlotValueRoom(&f.context, 0, tag), TAGDRV_SLOT_DATA_SIZE - c.offset);
  }
  Fixture f({});
  for (auto [context, slot] : {std::pair{static_cast<ReaderContext *>(nullptr), 0}, {&f.context, 1}, {&f.context, 100}})
    EXPECT_EQ(SlotValuePtr(context, slot, 0), nullptr) << slot;  // no context, no buffer, no slot
}

}  // namespace
