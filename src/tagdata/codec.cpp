// Conversions of tag field values between bytes and text.
#include "tagdata/codec.h"

#include <cstdio>
#include <cstring>

#include "config/swtt.h"
#include "platform/platform.h"

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

uint8_t ByteAt(const uint8_t *value, size_t room, int32_t i) {
  return value && static_cast<size_t>(i) < room ? value[i] : 0;
}

// The area one tag takes in a slot, as the driver lays the values out.
size_t AreaSize(const SlotDescriptor &d) {
  if (d.kind == 1) {
    if (d.length == 1 || d.length == 2 || d.length == 4) return static_cast<size_t>(d.length);
    return d.length == 3 ? 4 : 0;
  }
  return d.length >= 0 ? static_cast<size_t>(d.length) + 1 : 0;
}

// The control block of a context whose slot holds a value for the tag:
// its buffer, and descriptors for every tag before it; null when any is
// missing.
const RfidControl *SlotControl(const ReaderContext *context, int32_t slot, int32_t tag) {
  if (!context || !context->control || slot < 0 || slot >= TAGDRV_MAX_SLOTS || tag < 0) return nullptr;
  const RfidControl *c = context->control;
  if (!c->slotData || !c->slotData[slot]) return nullptr;
  if (tag > 0 && (!c->slotDesc || !c->slotDesc[slot])) return nullptr;
  return c;
}

// Adds the areas of tags t up to (not including) tag to the offset at,
// which is where tag t's value lies; t ends where the walk stopped.
size_t AddAreas(const RfidControl *c, int32_t slot, int32_t tag, int32_t &t, size_t at) {
  // Descriptors exist for the tag table's records only.
  int32_t count = tag;
  if (c->tagCapacity < static_cast<uint32_t>(count)) count = static_cast<int32_t>(c->tagCapacity);
  // Areas are never negative, so once past the buffer the value stays past
  // it, wherever exactly: the walk ends there (which keeps a document of n
  // tags linear in n).
  for (; t < count && at <= TAGDRV_SLOT_DATA_SIZE; ++t) at += AreaSize(c->slotDesc[slot][t]);
  return at;
}

// Offset of a tag's value in a slot buffer; false when the slot or its
// records are missing.
bool SlotOffset(const ReaderContext *context, int32_t slot, int32_t tag, uint8_t **buffer, size_t *offset) {
  const RfidControl *c = SlotControl(context, slot, tag);
  if (!c) return false;
  int32_t t = 0;
  *buffer = c->slotData[slot];
  *offset = AddAreas(c, slot, tag, t, 0);
  return true;
}

}  // namespace

HexDigits HexByteText(uint8_t byte) {
  HexDigits d;
  d.text[0] = kDigits[byte >> 4];
  d.text[1] = kDigits[byte & 15];
  d.text[2] = 0;
  return d;
}

void TagIdText(const TagRecord &tag, char16_t *out) {
  for (int i = 0; i < 8; ++i) {
    HexDigits d = HexByteText(tag.id[i]);
    out[2 * i] = static_cast<char16_t>(d.text[0]);
    out[2 * i + 1] = static_cast<char16_t>(d.text[1]);
  }
  out[16] = 0;
}

std::u16string TagIdText(const TagRecord &tag) {
  char16_t out[17];
  TagIdText(tag, out);
  return std::u16string(out, 16);
}

size_t HexToBytes(std::u16string_view text, uint8_t *out, size_t outSize) {
  if (!out) return 0;
  std::string narrow = plat::WideToAnsi(text);
  size_t count = narrow.size() / 2;
  if (count > outSize) count = outSize;
  for (size_t k = 0; k < count; ++k) {
    auto value = [](char ch) {
      int c = static_cast<unsigned char>(Upper(ch));
      return c <= '9' ? c - 48 : c - 55;
    };
    out[k] = static_cast<uint8_t>(value(narrow[2 * k]) * 16 + value(narrow[2 * k + 1]));
  }
  return count;
}

bool IsHexText(std::u16string_view text) {
  for (char16_t c : text) {
    c = Upper(c);
    if (c < u'0' || c > u'F') return false;
  }
  return true;
}

bool IsHexText(std::string_view text) {
  for (char c : text) {
    c = Upper(c);
    if (c < '0' || c > 'F') return false;
  }
  return true;
}

char ParseDataType(std::u16string_view keyword) {
  std::u16string up(keyword);
  for (char16_t &c : up) c = Upper(c);
  static const struct {
    const char16_t *word;
    char type;
  } kKeywords[] = {
      {u"STRING", 's'}, {u"S", 's'},     {u"STR", 's'},         {u"INT", 'i'}, {u"I", 'i'},
      {u"INTEGER", 'i'}, {u"HEX", 'h'}, {u"H", 'h'}, {u"HEXADECIMAL", 'h'},
  };
  for (const auto &k : kKeywords)
    if (up == k.word) return k.type;
  return 's';
}

const char *TypeName(char type) {
  switch (type) {
    case 'h': return "Hex";
    case 'i': return "Int";
    case 's': return "String";
    default: return "";
  }
}

int32_t SwttFind(const ReaderContext *context, const char *swttId) {
  if (!context || !context->templates) return -2;
  char work[16] = {};
  if (swttId) {
    size_t n = strnlen(swttId, sizeof work);
    std::memcpy(work, swttId, n);
  }
  // Attempt a (0 to 12) compares the identifier with its last a positions
  // replaced by 'x', every template in table order.  A template matches at
  // attempt a when the identifier's first 12 - a characters equal its
  // mask's (case ignored) and the mask's last a characters are x: so each
  // template has a first attempt that it matches at, found in one pass,
  // and the template with the earliest one wins, the first in the table
  // among equals -- the template the attempts would find.
  int32_t best = -1, bestAttempt = 13;
  for (int32_t i = 0; i < context->templateCount && bestAttempt > 0; ++i) {
    const char *mask = context->templates[i].mask;
    int same = 0;
    while (same < 12 && Upper(work[same]) == Upper(mask[same])) ++same;
    int wild = 0;
    while (wild < 12 && Upper(mask[11 - wild]) == 'X') ++wild;
    const int attempt = 12 - same;
    if (attempt <= wild && attempt < bestAttempt) {
      best = i;
      bestAttempt = attempt;
    }
  }
  return best;
}

int32_t SwttFieldInfo(const ReaderContext *context, int32_t field, const char *swttId, int32_t *start,
                      int32_t *length, char *type) {
  int32_t i = SwttFind(context, swttId);
  if (i < 0 || field < 0 || field >= kSwttFieldCount) return 0;
  const SwttField &f = context->templates[i].fields[field];
  if (f.defined != 1) return 0;
  if (start) *start = f.dataStart;
  if (length) *length = f.dataLen;
  if (type) *type = f.dataType;
  return 1;
}

uint8_t *SlotValuePtr(const ReaderContext *context, int32_t slot, int32_t tag) {
  uint8_t *buffer = nullptr;
  size_t offset = 0;
  if (!SlotOffset(context, slot, tag, &buffer, &offset)) return nullptr;
  // Past the buffer the address is only ever compared, never used.
  return offset <= TAGDRV_SLOT_DATA_SIZE ? buffer + offset : buffer + TAGDRV_SLOT_DATA_SIZE;
}

size_t SlotValueRoom(const ReaderContext *context, int32_t slot, int32_t tag) {
  uint8_t *buffer = nullptr;
  size_t offset = 0;
  if (!SlotOffset(context, slot, tag, &buffer, &offset)) return 0;
  return offset < TAGDRV_SLOT_DATA_SIZE ? TAGDRV_SLOT_DATA_SIZE - offset : 0;
}

const uint8_t *SlotValues::At(int32_t slot, int32_t tag, size_t *room) {
  *room = 0;
  const RfidControl *c = SlotControl(context_, slot, tag);
  if (!c) return nullptr;
  if (tag < tag_[slot]) {
    tag_[slot] = 0;
    offset_[slot] = 0;
  }
  int32_t t = tag_[slot];
  const size_t at = AddAreas(c, slot, tag, t, offset_[slot]);
  if (t > tag_[slot]) {
    tag_[slot] = t;
    offset_[slot] = at;
  }
  *room = at < TAGDRV_SLOT_DATA_SIZE ? TAGDRV_SLOT_DATA_SIZE - at : 0;
  return c->slotData[slot] + (at <= TAGDRV_SLOT_DATA_SIZE ? at : TAGDRV_SLOT_DATA_SIZE);
}

bool FormatValue(char type, int32_t len, const uint8_t *value, size_t room, std::string &text,
                 std::string &typeName) {
  char number[48];
  switch (type) {
    case 'h': {
      typeName = "Hex";
      text.clear();
      // Whole bytes only, within what a document carries for one value.
      int32_t shown = len;
      if (shown > static_cast<int32_t>(kMaxValueText / 2)) shown = static_cast<int32_t>(kMaxValueText / 2);
      for (int32_t k = 0; k < shown; ++k) text += HexByteText(ByteAt(value, room, k)).text;
      return true;
    }
    case 'i': {
      typeName = "Int";
      int32_t n;
      if (len == 1) {
        n = static_cast<int8_t>(ByteAt(value, room, 0));
      } else if (len == 2) {
        n = static_cast<int16_t>(ByteAt(value, room, 0) | ByteAt(value, room, 1) << 8);
      } else if (len == 4) {
        uint32_t u = static_cast<uint32_t>(ByteAt(value, room, 0)) | static_cast<uint32_t>(ByteAt(value, room, 1)) << 8 |
                     static_cast<uint32_t>(ByteAt(value, room, 2)) << 16 |
                     static_cast<uint32_t>(ByteAt(value, room, 3)) << 24;
        n = static_cast<int32_t>(u);
      } else {
        std::snprintf(number, sizeof number, "[%d] = unknown int len", len);
        text = number;
        return true;
      }
      std::snprintf(number, sizeof number, "%d", n);
      text = number;
      return true;
    }
    case 's': {
      typeName = "String";
      text.clear();
      // The bytes up to the first zero: the text ends there.
      for (int32_t k = 0; k < len && text.size() < kMaxValueText; ++k) {
        uint8_t b = ByteAt(value, room, k);
        if (b == 0) break;
        text.push_back(static_cast<char>(b));
      }
      return true;
    }
    default:
      // Neither formatted nor named: the caller shows an empty value.
      return false;
  }
}

bool FormatSwttValue(const ReaderContext *context, std::string &text, std::string &name, std::string &mask,
                     std::string &typeName, const uint8_t *value, size_t room, int32_t templateIndex,
                     int32_t field) {
  if (!context || !context->templates || templateIndex < 0 || templateIndex >= context->templateCount) return false;
  if (field < 0 || field >= kSwttFieldCount) return false;
  const SwttTemplate &t = context->templates[templateIndex];
  const SwttField &f = t.fields[field];
  if (f.defined != 1) return false;
  name.assign(f.name, strnlen(f.name, sizeof f.name));
  mask.assign(t.mask, strnlen(t.mask, sizeof t.mask));
  FormatValue(f.dataType, f.dataLen, value, room, text, typeName);
  return true;
}

void EncodeValue(std::u16string_view text, char type, int32_t len, uint8_t *value, size_t room) {
  if (!value || len <= 0) return;
  size_t n = static_cast<size_t>(len);
  if (n > static_cast<size_t>(kEncodeBufferSize)) n = kEncodeBufferSize;
  if (n > room) n = room;
  uint8_t work[kEncodeBufferSize];
  switch (type) {
    case 's': {
      std::string narrow = plat::WideToAnsi(text);
      size_t have = narrow.size() < n ? narrow.size() : n;
      std::memcpy(work, narrow.data(), have);
      std::memset(work + have, ' ', n - have);
      std::memcpy(value, work, n);
      return;
    }
    case 'i': {
      if (len != 1 && len != 2 && len != 4) return;
      const uint32_t number = static_cast<uint32_t>(DecimalValue(text));
      for (size_t k = 0; k < static_cast<size_t>(len) && k < n; ++k) value[k] = static_cast<uint8_t>(number >> (8 * k));
      return;
    }
    case 'h': {
      size_t have = HexToBytes(text, work, n);
      std::memset(work + have, 0, n - have);
      std::memcpy(value, work, n);
      return;
    }
    default:
      return;
  }
}
