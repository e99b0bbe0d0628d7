// widestring.h -- the wide string helpers.  Text inside the library is
// std::u16string (UTF-16 with an explicit length); these are the few
// operations the rest of the code needs beyond what the standard gives.
#ifndef VOLNEDA_WIDESTRING_H
#define VOLNEDA_WIDESTRING_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "volneda.h"

namespace wstr {

constexpr size_t npos = std::u16string::npos;

// Length of a terminated text; 0 for null.
size_t Length(const char16_t *text);

// Construct from a terminated text (null gives the empty string) or from a
// pointer and a count.
std::u16string Make(const char16_t *text);
std::u16string Make(const char16_t *text, size_t count);
// From the exported interface's character type.
std::u16string FromApi(const VOLNEDA_WCHAR *text);
inline const VOLNEDA_WCHAR *ToApi(const char16_t *text) {
  return reinterpret_cast<const VOLNEDA_WCHAR *>(text);
}
inline char16_t *FromApiBuffer(VOLNEDA_WCHAR *buffer) { return reinterpret_cast<char16_t *>(buffer); }

// ASCII literal to UTF-16 (for fixed texts built at run time).
std::u16string Ascii(std::string_view text);

// Find sub in s from offset; npos when absent or when from is past the end.
size_t Find(std::u16string_view s, std::u16string_view sub, size_t from = 0);
// Middle part: count units from start, clamped to the string.
std::u16string Mid(std::u16string_view s, size_t start, size_t count = npos);
// Exact comparison.
inline bool Equal(std::u16string_view a, std::u16string_view b) { return a == b; }

// printf-style formatting for the placeholders the system uses: %d (int32),
// %s (const char16_t*, null prints nothing), %c (char16_t as int), %x/%X,
// %% and width/zero-pad flags such as %02d and %04d.  Unknown directives
// are copied as they stand.
std::u16string Format(const char16_t *format, ...);

// Copies s into a buffer of capacity units, cut to capacity - 1 units (not
// splitting a surrogate pair) and terminated; nothing is written when
// capacity is 0 or less.  Returns the units written without the terminator.
size_t CopyOut(std::u16string_view s, char16_t *buffer, int64_t capacity);
#if defined(_WIN32)
inline size_t CopyOut(std::u16string_view s, VOLNEDA_WCHAR *buffer, int64_t capacity) {
  return CopyOut(s, FromApiBuffer(buffer), capacity);
}
#endif

// Decimal text of a signed integer.
std::u16string FromInt(long long value);

// The "%d" text of a 32-bit value in a buffer of its own, without an
// allocation (documents are built from thousands of these); text is
// terminated right after view.
struct Decimal {
  explicit Decimal(int32_t value) {
    char16_t *p = text + kSize;
    *--p = 0;
    int64_t v = value < 0 ? -static_cast<int64_t>(value) : value;
    do {
      *--p = static_cast<char16_t>(u'0' + v % 10);
      v /= 10;
    } while (v);
    if (value < 0) *--p = u'-';
    view = std::u16string_view(p, static_cast<size_t>(text + kSize - 1 - p));
  }
  static constexpr int kSize = 12;  // "-2147483648" and the terminator
  char16_t text[kSize];
  std::u16string_view view;
};

}  // namespace wstr

#endif
