// The value codec: formatting and encoding per type and length, template
// matching with wildcards, and where each tag's value lies in a slot.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "config/swtt.h"
#include "tagdata/codec.h"

namespace {

std::string Hex(const uint8_t *p, size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += HexByteText(p[i]).text;
  return s;
}

// A context with templates (masks in file order) and one slot layout.
struct Fixture {
  ReaderContext context{};
  std::vector<SwttTemplate> templates;
  RfidControl control{};
  std::vector<uint8_t> buffer = std::vector<uint8_t>(TAGDRV_SLOT_DATA_SIZE);
  uint8_t *slotData[TAGDRV_MAX_SLOTS] = {};
  std::vector<SlotDescriptor> desc = std::vector<SlotDescriptor>(8);
  SlotDescriptor *slotDesc[TAGDRV_MAX_SLOTS] = {};

  explicit Fixture(std::vector<const char *> masks) {
    for (const char *m : masks) {
      SwttTemplate t{};
      std::strncpy(t.mask, m, 12);
      templates.push_back(t);
    }
    context.templates = templates.empty() ? nullptr : templates.data();
    context.templateCount = static_cast<int32_t>(templates.size());
    slotData[0] = buffer.data();
    slotDesc[0] = desc.data();
    control.slotData = slotData;
    control.slotDesc = slotDesc;
    control.tagCapacity = 8;
    context.control = &control;
  }
};

TEST(Codec, HexDigitsAndTagIdentifier) {
  EXPECT_STREQ(HexByteText(0).text, "00");
  EXPECT_STREQ(HexByteText(0x0A).text, "0A");
  EXPECT_STREQ(HexByteText(0xFF).text, "FF");
  TagRecord tag{{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}, nullptr};
  char16_t out[17];
  std::memset(out, 0x55, sizeof out);
  TagIdText(tag, out);
  EXPECT_EQ(std::u16string(out), u"0123456789ABCDEF");
}

TEST(Codec, HexTextAndBytes) {
  struct Case {
    const char16_t *text;
    bool isHex;
    std::string bytes;  // HexToBytes, as hex digits
  } cases[] = {
      {u"", true, ""},
      {u"12:4", true, "1234"},  // ':' is above '9': 58 - 55 gives 3
      {u"12G4", false, "1204"}, // 'G' gives 16: 16 * 16 + 4 kept to 8 bits
      {u"ff01", true, "FF01"},
      {u"1A2", true, "1A"},      // odd last digit ignored
      {u"@?", true, "98"},
      {u"0a", true, "0A"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text)));
    EXPECT_EQ(IsHexText(std::u16string_view(c.text)), c.isHex);
    uint8_t out[8] = {};
    size_t n = HexToBytes(c.text, out, sizeof out);
    EXPECT_EQ(Hex(out, n), c.bytes.empty() ? "" : c.bytes.substr(0, 2 * n));
    EXPECT_EQ(2 * n, c.bytes.size());
  }
  // Never more bytes than the output holds.
  uint8_t small[2] = {};
  EXPECT_EQ(HexToBytes(u"AABBCCDD", small, sizeof small), 2u);
}

TEST(Codec, TypeKeywords) {
  struct Case {
    const char16_t *word;
    char type;
  } cases[] = {{u"STRING", 's'}, {u"s", 's'},   {u"Str", 's'},         {u"int", 'i'}, {u"I", 'i'},
               {u"Integer", 'i'}, {u"hex", 'h'}, {u"H", 'h'},           {u"hexadecimal", 'h'},
               {u"", 's'},       {u"float", 's'}, {u" hex", 's'}};
  for (const Case &c : cases) EXPECT_EQ(ParseDataType(c.word), c.type) << c.type;
}

TEST(Codec, TemplateMatching) {
  struct Case {
    std::vector<const char *> masks;
    const char *id;
    int32_t want;
  } cases[] = {
      {{"0123xxxxxxxx", "0123456789xx"}, "0123456789AB", 1},  // two wildcards beat eight
      {{"0123456789xx", "0123xxxxxxxx"}, "0123456789AB", 0},
      {{"xxxxxxxxxxxx"}, "0123456789AB", 0},
      {{"ABCDEF012345"}, "abcdef012345", 0},                   // case ignored
      {{"0123XXXXXXXX"}, "012399999999", 0},                   // 'X' works as 'x'
      {{"0123xxxxxxxx", "0123xxxxxxxx"}, "012345678901", 0},   // file order among equals
      {{"ABCD"}, "AB", -1},         // the padding never becomes a wildcard
      {{"ABxxxxxxxxxx"}, "AB", 0},  // but the wildcards replace it
      {{"0456xxxxxxxx"}, "0123456789AB", -1},
      {{}, "0123456789AB", -1},
  };
  for (const Case &c : cases) {
    Fixture f(c.masks);
    SwttTemplate none{};
    if (c.masks.empty()) f.context.templates = &none;  // a table of 0 templates
    EXPECT_EQ(SwttFind(&f.context, c.id), c.want) << c.id;
  }
  Fixture absent({});
  EXPECT_EQ(SwttFind(&absent.context, "0123456789AB"), -2);
}

TEST(Codec, FieldInfo) {
  Fixture f({"0123xxxxxxxx"});
  f.templates[0].fields[3] = SwttField{"Count", 32, 2, 'i', 1};
  int32_t start = -7, length = -7;
  char type = '?';
  EXPECT_EQ(SwttFieldInfo(&f.context, 3, "0123AAAAAAAA", &start, &length, &type), 1);
  EXPECT_EQ(start, 32);
  EXPECT_EQ(length, 2);
  EXPECT_EQ(type, 'i');
  start = -7;
  EXPECT_EQ(SwttFieldInfo(&f.context, 2, "0123AAAAAAAA", &start, &length, &type), 0);
  EXPECT_EQ(SwttFieldInfo(&f.context, 16, "0123AAAAAAAA", &start, &length, &type), 0);
  EXPECT_EQ(SwttFieldInfo(&f.context, -1, "0123AAAAAAAA", &start, &length, &type), 0);
  EXPECT_EQ(SwttFieldInfo(&f.context, 3, "9999AAAAAAAA", &start, &length, &type), 0);
  EXPECT_EQ(start, -7);  // untouched when not defined
}

TEST(Codec, Formatting) {
  struct Case {
    char type;
    int32_t len;
    std::vector<uint8_t> bytes;
    const char *text;
    const char *typeName;
  } cases[] = {
      {'i', 2, {0xFF, 0x7F}, "32767", "Int"},
      {'i', 2, {0xFF, 0xFF}, "-1", "Int"},
      {'i', 1, {0x80}, "-128", "Int"},
      {'i', 4, {0x01, 0x02, 0x00, 0x80}, "-2147483135", "Int"},
      {'i', 4, {0xE8, 0x03, 0x00, 0x00}, "1000", "Int"},
      {'i', 3, {1, 2, 3}, "[3] = unknown int len", "Int"},
      {'i', -2, {}, "[-2] = unknown int len", "Int"},
      {'h', 3, {0x00, 0x0A, 0xFF}, "000AFF", "Hex"},
      {'h', 0, {1}, "", "Hex"},
      {'h', -4, {1}, "", "Hex"},
      {'s', 8, {'A', 'B', 0, 0, 0, 0, 0, 0}, "AB", "String"},
      {'s', 3, {'A', 'B', 'C', 'D'}, "ABC", "String"},
      {'s', -1, {'A'}, "", "String"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    std::string text = "old", typeName = "old";
    EXPECT_TRUE(FormatValue(c.type, c.len, c.bytes.data(), c.bytes.size(), text, typeName));
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(typeName, c.typeName);
  }
  std::string text = "old", typeName = "old";
  EXPECT_FALSE(FormatValue('x', 2, nullptr, 0, text, typeName));
  EXPECT_EQ(text, "old");
  EXPECT_EQ(typeName, "old");
}

TEST(Codec, FormattingStaysInsideTheValue) {
  // Bytes past the room read as zero; a long hexadecimal value is cut to
  // whole bytes within one document value.
  uint8_t two[2] = {0x34, 0x12};
  std::string text, typeName;
  FormatValue('i', 4, two, 2, text, typeName);
  EXPECT_EQ(text, "4660");
  FormatValue('s', 400, two, 2, text, typeName);
  EXPECT_EQ(text, "4\x12");
  std::vector<uint8_t> big(600, 0xAB);
  FormatValue('h', 600, big.data(), big.size(), text, typeName);
  EXPECT_EQ(text.size(), 512u);
  FormatValue('s', 600, big.data(), big.size(), text, typeName);
  EXPECT_EQ(text.size(), kMaxValueText);
}

TEST(Codec, FormatTemplateField) {
  Fixture f({"0123xxxxxxxx"});
  f.templates[0].fields[0] = SwttField{"PartNo", 18, 8, 's', 1};
  f.templates[0].fields[1] = SwttField{"Odd", 0, 2, 'q', 1};
  uint8_t value[8] = {'A', 'B', '-', '1', '2', 0, 0, 0};
  std::string text, name, mask, typeName;
  EXPECT_TRUE(FormatSwttValue(&f.context, text, name, mask, typeName, value, sizeof value, 0, 0));
  EXPECT_EQ(text, "AB-12");
  EXPECT_EQ(name, "PartNo");
  EXPECT_EQ(mask, "0123xxxxxxxx");
  EXPECT_EQ(typeName, "String");
  // Another type letter: the field exists, its value is not formatted.
  text = typeName = "";
  EXPECT_TRUE(FormatSwttValue(&f.context, text, name, mask, typeName, value, sizeof value, 0, 1));
  EXPECT_EQ(name, "Odd");
  EXPECT_EQ(text, "");
  name = "kept";
  EXPECT_FALSE(FormatSwttValue(&f.context, text, name, mask, typeName, value, sizeof value, 0, 2));
  EXPECT_FALSE(FormatSwttValue(&f.context, text, name, mask, typeName, value, sizeof value, 0, 16));
  EXPECT_FALSE(FormatSwttValue(&f.context, text, name, mask, typeName, value, sizeof value, 1, 0));
  EXPECT_EQ(name, "kept");
}

TEST(Codec, Encoding) {
  struct Case {
    const char16_t *text;
    char type;
    int32_t len;
    const char *bytes;  // hex of the first 6 bytes after the encode (0x55 untouched)
  } cases[] = {
      {u"12", 's', 4, "313220205555"},
      {u"123456", 's', 4, "313233345555"},
      {u"ABC", 's', 3, "414243555555"},
      {u"1A2", 'h', 3, "1A0000555555"},
      {u"ff01", 'h', 2, "FF0155555555"},
      {u"ABC", 'h', 1, "AB5555555555"},
      {u"-2", 'i', 2, "FEFF55555555"},
      {u"300", 'i', 1, "2C5555555555"},
      {u"  +70000x", 'i', 4, "701101005555"},
      {u"4294967296", 'i', 4, "FFFFFF7F5555"},  // saturates, never wraps
      {u"-99999999999", 'i', 4, "000000805555"},
      {u"abc", 'i', 2, "000055555555"},
      {u"7", 'i', 3, "555555555555"},  // no integer of 3 bytes: nothing stored
      {u"7", 'q', 2, "555555555555"},
      {u"7", 's', 0, "555555555555"},
      {u"7", 's', -3, "555555555555"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.bytes);
    uint8_t value[6];
    std::memset(value, 0x55, sizeof value);
    EncodeValue(c.text, c.type, c.len, value, sizeof value);
    EXPECT_EQ(Hex(value, 6), c.bytes);
  }
}

TEST(Codec, EncodingIsCutToTheWorkingBufferAndTheRoom) {
  std::vector<uint8_t> area(300, 0x55);
  EncodeValue(u"x", 's', 200, area.data(), area.size());
  EXPECT_EQ(area[127], ' ');
  EXPECT_EQ(area[128], 0x55);
  std::fill(area.begin(), area.end(), 0x55);
  EncodeValue(u"AABBCC", 'h', 6, area.data(), 2);
  EXPECT_EQ(Hex(area.data(), 3), "AABB55");
  std::fill(area.begin(), area.end(), 0x55);
  EncodeValue(u"-1", 'i', 4, area.data(), 1);
  EXPECT_EQ(Hex(area.data(), 2), "FF55");
}

TEST(Codec, SlotValueArithmetic) {
  struct Case {
    std::vector<SlotDescriptor> before;  // descriptors of tags 0 .. n-1
    size_t offset;                       // of tag n
  } cases[] = {
      {{}, 0},
      {{{0, 0, 4, 0}, {0, 0, 6, 0}}, 12},
      {{{0, 0, 1, 1}, {0, 0, 2, 1}, {0, 0, 3, 1}, {0, 0, 4, 1}}, 11},
      {{{0, 0, 5, 1}, {0, 0, 0, 1}}, 0},
      {{{0, 0, 0, 0}, {0, 0, 0, 2}}, 2},
      {{{0, 0, -5, 0}, {0, 0, 2, 0}}, 3},  // a negative length takes no room
  };
  for (const Case &c : cases) {
    Fixture f({});
    for (size_t t = 0; t < c.before.size(); ++t) f.desc[t] = c.before[t];
    int32_t tag = static_cast<int32_t>(c.before.size());
    EXPECT_EQ(SlotValuePtr(&f.context, 0, tag), f.buffer.data() + c.offset) << c.offset;
    EXPECT_EQ(SlotValueRoom(&f.context, 0, tag), TAGDRV_SLOT_DATA_SIZE - c.offset);
  }
  Fixture f({});
  EXPECT_EQ(SlotValuePtr(nullptr, 0, 0), nullptr);
  EXPECT_EQ(SlotValuePtr(&f.context, 1, 0), nullptr);  // no buffer for slot 1
  EXPECT_EQ(SlotValuePtr(&f.context, 100, 0), nullptr);
  // Areas past the buffer: the address stays at its end, with no room.
  for (int t = 0; t < 2; ++t) f.desc[t] = {0, 0, 300, 0};
  EXPECT_EQ(SlotValueRoom(&f.context, 0, 2), 0u);
  EXPECT_EQ(SlotValuePtr(&f.context, 0, 2), f.buffer.data() + TAGDRV_SLOT_DATA_SIZE);
}

}  // namespace
