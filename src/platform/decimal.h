// decimal.h -- decimal text as the 32-bit C library's atoi reads it: leading
// white space, an optional sign, then digits up to the first other
// character; 0 without digits.  A number beyond the 32-bit range gives the
// nearest end of it, 2147483647 or -2147483648, as strtol does where a long
// has 32 bits (it never wraps).
//
// Header only and free of the rest of the library: every number the
// library reads from text (write requests, command lists, template items)
// and the simulated driver's tag field file go through this one function.
#ifndef VOLNEDA_PLATFORM_DECIMAL_H
#define VOLNEDA_PLATFORM_DECIMAL_H

#include <cstdint>
#include <string_view>

template <typename Char>
int32_t DecimalValue(std::basic_string_view<Char> text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == Char(' ') || (text[i] >= Char('\t') && text[i] <= Char('\r')))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == Char('-') || text[i] == Char('+'))) negative = text[i++] == Char('-');
  // Held just past the largest magnitude, so that it cannot overflow.
  int64_t number = 0;
  for (; i < text.size() && text[i] >= Char('0') && text[i] <= Char('9'); ++i) {
    number = number * 10 + (text[i] - Char('0'));
    if (number > 0x80000000LL) number = 0x80000000LL;
  }
  if (negative) number = -number;
  if (number > INT32_MAX) return INT32_MAX;
  return static_cast<int32_t>(number);
}

inline int32_t DecimalValue(std::u16string_view text) { return DecimalValue<char16_t>(text); }
inline int32_t DecimalValue(std::string_view text) { return DecimalValue<char>(text); }
inline int32_t DecimalValue(const char *text) { return text ? DecimalValue<char>(text) : 0; }

#endif
