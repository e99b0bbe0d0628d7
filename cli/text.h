// text.h -- the tool's text: UTF-8 on the command line, in files and in the
// output; UTF-16 at the library's interface.
#ifndef VOLNEDA_CLI_TEXT_H
#define VOLNEDA_CLI_TEXT_H

#include <string>
#include <string_view>

#include "volneda.h"

namespace cli {

// Malformed UTF-8 becomes U+FFFD, one per bad byte; what the library cannot
// hold in its 8-bit code page it reports itself.
std::u16string Utf8To16(std::string_view s);
// Unpaired surrogates become U+FFFD.
std::string Utf16To8(std::u16string_view s);

// The library's view of a UTF-16 string (VOLNEDA_WCHAR is wchar_t on
// Windows, char16_t elsewhere; both are 16 bits wide).
inline const VOLNEDA_WCHAR *Api(const std::u16string &s) {
  static_assert(sizeof(VOLNEDA_WCHAR) == sizeof(char16_t));
  return reinterpret_cast<const VOLNEDA_WCHAR *>(s.c_str());
}
// A terminated UTF-16 buffer of at most `capacity` units from the library.
std::string FromApi(const VOLNEDA_WCHAR *buffer, size_t capacity);

// Trims blanks (space, tab, CR, LF) at both ends.
std::string Trim(std::string_view s);
// ASCII letters in lower case; other bytes (UTF-8 too) as they are.
std::string Lower(std::string s);
// Whether the text starts with `lowerWord` in any case ("WHERE id=...").
bool StartsWithWord(std::string_view text, std::string_view lowerWord);
// A text that starts with a UTF-8 byte order mark loses it.
void DropByteOrderMark(std::string &text);
// A count given as text: 1 to 9 decimal digits, nothing else.
bool ParseCount(const std::string &text, long &out);

}  // namespace cli

#endif
