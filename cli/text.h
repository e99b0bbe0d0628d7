// text.h -- the tool's text: UTF-8 on the command line, in files and in the
// output; UTF-16 at the library's interface.
#ifndef VOLNEDA_CLI_TEXT_H
#define VOLNEDA_CLI_TEXT_H

#include <cstdint>
#include <filesystem>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

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
// The text with blanks before it to make `width` bytes.
std::string RightAligned(const std::string &s, size_t width);
// A text that starts with a UTF-8 byte order mark loses it.
void DropByteOrderMark(std::string &text);
// A count given as text: 1 to 9 decimal digits, nothing else.
bool ParseCount(const std::string &text, long &out);

// ---- the library's 8-bit code page ------------------------------------------

// The code page's name: "Windows-1252" (POSIX), "code page N" (Windows).
std::string CodePageName();
// The characters of a UTF-8 text that the code page cannot hold (the library
// stores '?' for each), each once, in the order they first appear.  With
// `xml`, character references (&#322; &#x142;) count as their characters.
std::vector<char32_t> UnholdableCharacters(std::string_view text, bool xml = false);
// 8-bit text of the code page (a driver's) as UTF-8.
std::string FromCodePage(std::string_view text);
// The text as the library keeps it: '?' for each such character.
std::string AsStored(std::string_view text);
// "'Ł' (U+0141), 'ź' (U+017A)".
std::string DescribeCharacters(const std::vector<char32_t> &chars);

// ---- input files ------------------------------------------------------------

// The largest input the tool reads: a file, standard input for a request,
// one line of a session.
constexpr uintmax_t kMaxInputBytes = uintmax_t{16} << 20;
constexpr const char *kMaxInputText = "16 MiB";
// Why the file cannot be input: "it is a named pipe, not a regular file",
// "it is larger than 16 MiB"; empty when it is a regular file within the
// limit, and when it cannot be looked at (opening it then tells).
std::string InputFileProblem(const std::string &path);
// A UTF-8 path as the file system takes it.
std::filesystem::path Utf8Path(const std::string &path);
// The whole file (UTF-8 path); false with the reason when it cannot be had.
bool ReadInputFile(const std::string &path, std::string &content, std::string &problem);
// The rest of a stream; false when it holds more than kMaxInputBytes.
bool ReadBounded(std::istream &in, std::string &content);
// One line (without its LF and a CR before it); false at the end of the
// input, and with `tooLong` set when the line passes kMaxInputBytes.
bool ReadLine(std::istream &in, std::string &line, bool &tooLong);

}  // namespace cli

#endif
