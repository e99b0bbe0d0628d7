#include "text.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace cli {

std::u16string Utf8To16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    char32_t c;
    size_t n;
    if (b < 0x80) c = b, n = 1;
    else if ((b & 0xE0) == 0xC0) c = b & 0x1F, n = 2;
    else if ((b & 0xF0) == 0xE0) c = b & 0x0F, n = 3;
    else if ((b & 0xF8) == 0xF0) c = b & 0x07, n = 4;
    else c = 0xFFFD, n = 0;
    bool good = n > 0 && i + n <= s.size();
    for (size_t k = 1; good && k < n; ++k) {
      unsigned char t = static_cast<unsigned char>(s[i + k]);
      good = (t & 0xC0) == 0x80;
      c = (c << 6) | (t & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (good && (c < kLeast[n] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)) good = false;
    if (!good) {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
    i += n;
  }
  return out;
}

std::string Utf16To8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

std::string FromApi(const VOLNEDA_WCHAR *buffer, size_t capacity) {
  size_t n = 0;
  while (n < capacity && buffer[n]) ++n;
  return Utf16To8(std::u16string_view(reinterpret_cast<const char16_t *>(buffer), n));
}

std::string Trim(std::string_view s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string_view::npos) return std::string();
  size_t e = s.find_last_not_of(" \t\r\n");
  return std::string(s.substr(b, e - b + 1));
}

std::string Lower(std::string s) {
  for (char &c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

bool StartsWithWord(std::string_view text, std::string_view lowerWord) {
  return text.size() >= lowerWord.size() && Lower(std::string(text.substr(0, lowerWord.size()))) == lowerWord;
}

std::string RightAligned(const std::string &s, size_t width) {
  return s.size() < width ? std::string(width - s.size(), ' ') + s : s;
}

void DropByteOrderMark(std::string &text) {
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
}

bool ParseCount(const std::string &text, long &out) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  out = std::strtol(text.c_str(), nullptr, 10);
  return true;
}

namespace {

#if !defined(_WIN32)
// The characters of 0x80 to 0x9F in Windows-1252, the five bytes it leaves
// undefined as the C1 controls of the same value (as the library maps them).
constexpr char16_t kHigh1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
#endif

bool CodePageHolds(char32_t c) {
  if (c < 0x80) return true;
#if defined(_WIN32)
  if (GetACP() == CP_UTF8) return true;
  if (c > 0xFFFF) return false;
  wchar_t w = static_cast<wchar_t>(c);
  char out[8];
  BOOL usedDefault = FALSE;
  int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, &w, 1, out, sizeof out, nullptr, &usedDefault);
  return n > 0 && !usedDefault;
#else
  if (c >= 0xA0 && c <= 0xFF) return true;
  for (char16_t h : kHigh1252)
    if (h == c) return true;
  return false;
#endif
}

// The code points of UTF-8 text (U+FFFD for malformed bytes).
std::u32string CodePoints(std::string_view s) {
  std::u16string w = Utf8To16(s);
  std::u32string out;
  for (size_t i = 0; i < w.size(); ++i) {
    char32_t c = w[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < w.size()) c = 0x10000 + ((c - 0xD800) << 10) + (w[++i] - 0xDC00);
    out.push_back(c);
  }
  return out;
}

const char *FileKind(const std::filesystem::file_status &st) {
  switch (st.type()) {
    case std::filesystem::file_type::directory: return "a directory";
    case std::filesystem::file_type::fifo: return "a named pipe";
    case std::filesystem::file_type::character:
    case std::filesystem::file_type::block: return "a device";
    case std::filesystem::file_type::socket: return "a socket";
    default: return "not a file";
  }
}

}  // namespace

std::string CodePageName() {
#if defined(_WIN32)
  return "code page " + std::to_string(GetACP());
#else
  return "Windows-1252";
#endif
}

std::string FromCodePage(std::string_view text) {
#if defined(_WIN32)
  if (text.empty()) return std::string();
  std::wstring w(text.size(), L'\0');
  int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), w.data(), static_cast<int>(w.size()));
  return Utf16To8(std::u16string(w.begin(), w.begin() + (n > 0 ? n : 0)));
#else
  std::u16string w;
  for (unsigned char b : text) w.push_back(b >= 0x80 && b < 0xA0 ? kHigh1252[b - 0x80] : static_cast<char16_t>(b));
  return Utf16To8(w);
#endif
}

std::vector<char32_t> UnholdableCharacters(std::string_view text, bool xml) {
  std::u32string points = CodePoints(text);
  std::vector<char32_t> out;
  auto note = [&](char32_t c) {
    if (!CodePageHolds(c) && std::find(out.begin(), out.end(), c) == out.end()) out.push_back(c);
  };
  for (size_t i = 0; i < points.size(); ++i) {
    note(points[i]);
    // &#NNN; and &#xHHH; stand for their characters.
    if (!xml || points[i] != '&' || i + 2 >= points.size() || points[i + 1] != '#') continue;
    bool hex = points[i + 2] == 'x' || points[i + 2] == 'X';
    size_t j = i + (hex ? 3 : 2);
    char32_t v = 0;
    bool digits = false;
    for (; j < points.size() && v <= 0x10FFFF; ++j) {
      char32_t d = points[j];
      int n = d >= '0' && d <= '9' ? int(d - '0') : hex && d >= 'a' && d <= 'f' ? int(d - 'a' + 10)
              : hex && d >= 'A' && d <= 'F' ? int(d - 'A' + 10) : -1;
      if (n < 0) break;
      v = v * (hex ? 16 : 10) + static_cast<char32_t>(n);
      digits = true;
    }
    if (digits && j < points.size() && points[j] == ';' && v <= 0x10FFFF) note(v);
  }
  return out;
}

std::string AsStored(std::string_view text) {
  std::u32string points = CodePoints(text);
  std::u16string out;
  for (char32_t c : points) {
    if (!CodePageHolds(c)) out.push_back(u'?');
    else out.push_back(static_cast<char16_t>(c));  // held characters lie in the BMP
  }
  return Utf16To8(out);
}

std::string DescribeCharacters(const std::vector<char32_t> &chars) {
  std::string out;
  for (char32_t c : chars) {
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
    std::u16string one;
    if (c >= 0x10000) {
      one.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      one.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      one.push_back(static_cast<char16_t>(c));
    }
    // Controls and the like are named by their number alone.
    bool printable = c >= 0xA0 && c != 0xFFFD;
    out += (out.empty() ? "" : ", ") + (printable ? "'" + Utf16To8(one) + "' (" + code + ")" : std::string(code));
  }
  return out;
}

std::filesystem::path Utf8Path(const std::string &path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

std::string InputFileProblem(const std::string &path) try {
  std::error_code ec;
  std::filesystem::file_status st = std::filesystem::status(Utf8Path(path), ec);
  if (ec || !std::filesystem::exists(st)) return std::string();
  if (!std::filesystem::is_regular_file(st)) return std::string("it is ") + FileKind(st) + ", not a regular file";
  uintmax_t size = std::filesystem::file_size(Utf8Path(path), ec);
  if (!ec && size > kMaxInputBytes) return std::string("it is larger than ") + kMaxInputText;
  return std::string();
} catch (const std::exception &) {
  return std::string();  // a name the system cannot take: opening it tells
}

bool ReadInputFile(const std::string &path, std::string &content, std::string &problem) {
  content.clear();
  problem = InputFileProblem(path);
  if (!problem.empty()) return false;
  std::ifstream in;
  try {
    in.open(Utf8Path(path), std::ios::binary);
  } catch (const std::exception &) {
  }
  if (!in.is_open()) {
    problem = "it cannot be opened";
    return false;
  }
  if (!ReadBounded(in, content)) {
    problem = std::string("it is larger than ") + kMaxInputText;
    return false;
  }
  return true;
}

bool ReadBounded(std::istream &in, std::string &content) {
  content.clear();
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    size_t n = static_cast<size_t>(in.gcount());
    if (content.size() + n > kMaxInputBytes) {
      content.clear();
      return false;
    }
    content.append(buffer, n);
  }
  return true;
}

bool ReadLine(std::istream &in, std::string &line, bool &tooLong) {
  line.clear();
  tooLong = false;
  std::streambuf *buffer = in.rdbuf();
  for (;;) {
    int c = buffer->sbumpc();
    if (c == std::char_traits<char>::eof()) {
      in.setstate(std::ios::eofbit);
      if (line.empty()) return false;
      break;
    }
    if (c == '\n') break;
    if (line.size() >= kMaxInputBytes) {
      tooLong = true;
      line.clear();
      return false;
    }
    line.push_back(static_cast<char>(c));
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

}  // namespace cli
