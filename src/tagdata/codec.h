// codec.h -- tag field values between raw bytes and text.
//
// Tag memory reaches the library as bytes in the driver's slot buffers and
// leaves it as text in XML documents (and the other way for writes).  Every
// conversion between the two lives here: the type letters and keywords, the
// text of a tag identifier, template matching with 'x' wildcards, where one
// tag's value lies in a slot, and the formatting and encoding of a value.
//
// Type letters: 'h' hexadecimal (two digits per byte), 'i' signed integer of
// 1, 2 or 4 bytes, least significant byte first, 's' 8-bit text in the
// system code page.  Any other letter is carried but never converted.
#ifndef VOLNEDA_TAGDATA_CODEC_H
#define VOLNEDA_TAGDATA_CODEC_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "api/context.h"
#include "platform/decimal.h"
#include "tagdrv.h"

// Two uppercase hexadecimal digits and a terminator.  Returned by value, so
// that no buffer is shared between threads or contexts.
struct HexDigits {
  char text[3];
};
HexDigits HexByteText(uint8_t byte);

// The 16-digit text of a tag identifier (byte 0 first, high nibble first)
// into out, which holds at least 17 characters.
void TagIdText(const TagRecord &tag, char16_t *out);
std::u16string TagIdText(const TagRecord &tag);

// Pairs of digits into bytes: (characters div 2) bytes, at most outSize of
// them; an odd last character is ignored and characters that are not digits
// convert by the same formula (c - 48 up to '9', c - 55 above), without an
// error.  Returns the number of bytes stored.
size_t HexToBytes(std::u16string_view text, uint8_t *out, size_t outSize);

// True when every character, upper-cased, lies from '0' to 'F' -- which
// admits ':' ';' '<' '=' '>' '?' '@' too -- and for the empty text.
bool IsHexText(std::u16string_view text);
bool IsHexText(std::string_view text);

// Keyword of a write request's MemType to a type letter; anything else,
// the empty text included, is 's'.
char ParseDataType(std::u16string_view keyword);

// Name of a type letter in result documents: "Hex", "Int", "String"; empty
// for any other letter.
const char *TypeName(char type);

// Index of the template whose mask matches the SWTT identifier, trying the
// identifier as it is and then with its last 1, 2, ... 12 positions replaced
// by 'x' (case ignored): the fewest wildcards win, then file order.
// -1 when none matches, -2 when no template table is loaded.
int32_t SwttFind(const ReaderContext *context, const char *swttId);

// The defined flag of field n (0..15) of the tag's template; start, length
// and type are set only when it is 1.
int32_t SwttFieldInfo(const ReaderContext *context, int32_t field, const char *swttId, int32_t *start,
                      int32_t *length, char *type);

// Address of one tag's value in a slot's data buffer: the buffer start plus
// the area of every tag before it (kind 1: lengths 1, 2, 4 as they are, 3 as
// 4, others 0; any other kind: length + 1, and 0 for a negative length, as
// the driver counts it).  Null for a null context, a slot out of range or a
// missing buffer.  The address may lie past the buffer's end: SlotValueRoom
// tells how many bytes from it are inside.
uint8_t *SlotValuePtr(const ReaderContext *context, int32_t slot, int32_t tag);
size_t SlotValueRoom(const ReaderContext *context, int32_t slot, int32_t tag);

// SlotValuePtr and SlotValueRoom for one tag after another: each slot keeps
// the last tag asked for and where its value lies, so that tags asked for
// in increasing order take constant time each instead of a walk from tag
// 0 (a document of n tags stays linear in n).  For one request: the
// descriptors must not change while it is used.
class SlotValues {
 public:
  explicit SlotValues(const ReaderContext *context) : context_(context) {}
  // The address SlotValuePtr gives; *room gets what SlotValueRoom gives.
  const uint8_t *At(int32_t slot, int32_t tag, size_t *room);

 private:
  const ReaderContext *context_;
  int32_t tag_[TAGDRV_MAX_SLOTS] = {};  // the tags up to this one are added up in offset_
  size_t offset_[TAGDRV_MAX_SLOTS] = {};
};

// A formatted value never shows more than this many characters (what a
// result document carries for one value); a longer hexadecimal value is
// cut to whole bytes below it.
constexpr size_t kMaxValueText = 513;

// Formats len bytes at value by the type letter into text (8-bit) and sets
// typeName.  room is how many bytes at value may be read: bytes beyond it
// count as zero.  'h' gives two digits per byte (empty for len <= 0);
// 'i' lengths 1, 2, 4 give the signed decimal number, any other length the
// text "[len] = unknown int len"; 's' the bytes up to the first zero (empty
// for len <= 0).  Any other letter writes neither text nor typeName and
// returns false.
bool FormatValue(char type, int32_t len, const uint8_t *value, size_t room, std::string &text,
                 std::string &typeName);

// Formats field n of template i for the value at value: false when n is
// outside 0..15 or the field is not defined (nothing written); otherwise
// name and mask are copied and the value formatted as FormatValue does.
bool FormatSwttValue(const ReaderContext *context, std::string &text, std::string &name, std::string &mask,
                     std::string &typeName, const uint8_t *value, size_t room, int32_t templateIndex,
                     int32_t field);

// The working buffer of an encode: nothing longer is ever stored.
constexpr int32_t kEncodeBufferSize = 128;

// Places exactly len bytes at value (at most room, and at most the 128-byte
// working buffer: longer encodes are cut there):
//   's'  the text in the system code page, cut to len, padded with blanks;
//   'i'  the decimal number (leading blanks, a sign, digits), lengths 1, 2
//        and 4 only, least significant byte first; other lengths store
//        nothing;
//   'h'  pairs of digits, padded with zero bytes.
// Any other letter, and a length of 0 or less, stores nothing.
void EncodeValue(std::u16string_view text, char type, int32_t len, uint8_t *value, size_t room);

#endif
