// UTF-8 conversions, path splitting and the fixed-field cuts; the system
// code page itself lives in the per-platform files.
#include "platform/platform.h"

#include <algorithm>
#include <cstdint>

#if defined(__SSE2__) && defined(__GNUC__)
#include <emmintrin.h>
#define VOLNEDA_CODEPAGE_VECTORS 1
#endif
// AddressSanitizer and ThreadSanitizer would take an aligned whole-vector
// read that passes the terminator for an overflow.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VOLNEDA_CODEPAGE_NO_OVERREAD 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VOLNEDA_CODEPAGE_NO_OVERREAD 1
#endif
#endif

namespace plat {

// Windows converts valid UTF-8 itself (win32/) and comes here only for
// invalid text, so that its replacement characters are the same on every
// system: one U+FFFD for each maximal bad subsequence.
#if defined(_WIN32)
std::u16string Utf8ToWideReplacing(std::string_view text) {
#else
std::u16string Utf8ToWide(std::string_view text) {
#endif
  std::u16string out;
  out.reserve(text.size());
  const auto *s = reinterpret_cast<const unsigned char *>(text.data());
  size_t n = text.size(), i = 0;
  while (i < n) {
    unsigned c = s[i];
    uint32_t cp;
    size_t len;
    if (c < 0x80) {
      cp = c;
      len = 1;
    } else if (c >= 0xC2 && c <= 0xDF) {
      cp = c & 0x1F;
      len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      cp = c & 0x0F;
      len = 3;
    } else if (c >= 0xF0 && c <= 0xF4) {
      cp = c & 0x07;
      len = 4;
    } else {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    bool ok = i + len <= n;
    for (size_t k = 1; ok && k < len; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) ok = false;
      else cp = (cp << 6) | (s[i + k] & 0x3F);
    }
    // Reject overlong forms, surrogates and values past U+10FFFF.
    if (ok && ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
               (cp >= 0xD800 && cp <= 0xDFFF)))
      ok = false;
    if (!ok) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

#if !defined(_WIN32)
std::string WideToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;  // a lone surrogate has no UTF-8 form
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}
#endif

namespace {

// ASCII is itself in every system code page (single-byte, double-byte and
// UTF-8 alike): a run of it converts unit for byte.  These copy the ASCII
// run at the start of [from, from + count) and return its length.
size_t CopyAsciiNarrowing(const char16_t *from, size_t count, char *to) {
  size_t i = 0;
#if defined(VOLNEDA_CODEPAGE_VECTORS)
  const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
  const __m128i zero = _mm_setzero_si128();
  for (; count - i >= 8; i += 8) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + i));
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(x, high), zero)) != 0xFFFF) break;
    _mm_storel_epi64(reinterpret_cast<__m128i *>(to + i), _mm_packus_epi16(x, x));
  }
#endif
  for (; i < count && from[i] < 0x80; ++i) to[i] = static_cast<char>(from[i]);
  return i;
}

size_t CopyAsciiWidening(const char *from, size_t count, char16_t *to) {
  size_t i = 0;
#if defined(VOLNEDA_CODEPAGE_VECTORS)
  for (; count - i >= 16; i += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + i));
    if (_mm_movemask_epi8(x) != 0) break;
    const __m128i zero = _mm_setzero_si128();
    _mm_storeu_si128(reinterpret_cast<__m128i *>(to + i), _mm_unpacklo_epi8(x, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(to + i + 8), _mm_unpackhi_epi8(x, zero));
  }
#endif
  for (; i < count && static_cast<unsigned char>(from[i]) < 0x80; ++i) to[i] = static_cast<char16_t>(from[i]);
  return i;
}

}  // namespace

size_t WideToAnsiField(std::u16string_view text, char *field, size_t size) {
  if (!field || size == 0) return 0;
  size_t used = 0;
  // Character by character, so that a multi-byte character of a Windows
  // double-byte code page is never split at the end of the field; runs of
  // ASCII at once.
  for (size_t i = 0; i < text.size();) {
    const size_t room = size - 1 - used;
    const size_t run = CopyAsciiNarrowing(text.data() + i, std::min(text.size() - i, room), field + used);
    used += run;
    i += run;
    if (i == text.size() || used == size - 1) break;
    size_t units = 1;
    if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF)
      units = 2;
    std::string bytes = WideToAnsi(text.substr(i, units));
    if (used + bytes.size() > size - 1) break;
    bytes.copy(field + used, bytes.size());
    used += bytes.size();
    i += units;
  }
  field[used] = 0;
  return used;
}

size_t AnsiToWideField(std::string_view text, char16_t *field, size_t size) {
  if (!field || size == 0) return 0;
  // Before its first byte above 0x7F a text is ASCII characters only (a
  // byte below 0x80 trails a lead byte only after one).
  const size_t ascii = CopyAsciiWidening(text.data(), std::min(text.size(), size - 1), field);
  if (ascii == text.size() || ascii == size - 1) {
    field[ascii] = 0;
    return ascii;
  }
  std::u16string wide = AnsiToWide(text.substr(ascii));
  return ascii + WideToWideField(wide, field + ascii, size - ascii);
}

size_t AnsiToWideField(const char *text, char16_t *field, size_t size) {
  if (!field || size == 0) return 0;
  if (!text) text = "";
  const size_t room = size - 1;
  size_t i = 0;
#if defined(VOLNEDA_CODEPAGE_VECTORS) && !defined(VOLNEDA_CODEPAGE_NO_OVERREAD)
  // Sixteen bytes at a time while they are all ASCII and none ends the
  // text; aligned reads never cross into another page, so one that goes a
  // little past the terminator is harmless.
  while (i < room && (reinterpret_cast<uintptr_t>(text + i) & 15) != 0 && static_cast<signed char>(text[i]) > 0) {
    field[i] = static_cast<char16_t>(text[i]);
    ++i;
  }
  if ((reinterpret_cast<uintptr_t>(text + i) & 15) == 0) {
    const __m128i zero = _mm_setzero_si128();
    for (; room - i >= 16; i += 16) {
      const __m128i x = _mm_load_si128(reinterpret_cast<const __m128i *>(text + i));
      if ((_mm_movemask_epi8(x) | _mm_movemask_epi8(_mm_cmpeq_epi8(x, zero))) != 0) break;
      _mm_storeu_si128(reinterpret_cast<__m128i *>(field + i), _mm_unpacklo_epi8(x, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i *>(field + i + 8), _mm_unpackhi_epi8(x, zero));
    }
  }
#endif
  while (i < room && static_cast<signed char>(text[i]) > 0) {
    field[i] = static_cast<char16_t>(text[i]);
    ++i;
  }
  if (i == room || text[i] == 0) {
    field[i] = 0;
    return i;
  }
  // A byte above 0x7F: the rest as a whole text, since it may begin a
  // character of more than one byte.
  return i + AnsiToWideField(std::string_view(text + i), field + i, size - i);
}

size_t WideToWideField(std::u16string_view text, char16_t *field, size_t size) {
  if (!field || size == 0) return 0;
  size_t n = text.size();
  if (n > size - 1) {
    n = size - 1;
    if (n > 0 && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
  }
  text.copy(field, n);
  field[n] = 0;
  return n;
}

size_t AnsiToAnsiField(std::string_view text, char *field, size_t size) {
  if (!field || size == 0) return 0;
  // Cut at a character boundary of the system code page by going through
  // UTF-16 (a no-op cut for single-byte pages).
  if (text.size() <= size - 1) {
    text.copy(field, text.size());
    field[text.size()] = 0;
    return text.size();
  }
  return WideToAnsiField(AnsiToWide(text), field, size);
}

#if defined(_WIN32)
// Windows splits with _splitpath (win32/) and comes here only for paths too
// long for it.
PathParts SplitPathPortable(std::string_view path) {
#else
PathParts SplitPath(std::string_view path) {
#endif
  PathParts split;
#if defined(_WIN32)
  if (path.size() >= 2 && path[1] == ':') {
    split.drive = std::string(path.substr(0, 2));
    path.remove_prefix(2);
  }
#endif
  size_t lastSep = std::string_view::npos;
  for (size_t i = 0; i < path.size(); ++i)
    if (path[i] == '\\' || path[i] == '/') lastSep = i;
  std::string_view name = path;
  if (lastSep != std::string_view::npos) {
    split.dir = std::string(path.substr(0, lastSep + 1));
    name = path.substr(lastSep + 1);
  }
  size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) {
    split.fname = std::string(name);
  } else {
    split.fname = std::string(name.substr(0, dot));
    split.ext = std::string(name.substr(dot));
  }
  return split;
}

}  // namespace plat
