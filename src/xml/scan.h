// scan.h -- the engine's inner loops: finding the next character of
// interest in a run of ordinary ones.  A document is mostly runs (attribute
// values, data, whitespace) between a few markup characters, so the parser
// and the readers skip them eight characters at a time where the machine
// has 128-bit vectors, and one at a time elsewhere; both give the same
// answer.
//
// A NUL ends the text wherever it stands: the engine treats an embedded NUL
// as the end, as it treats the terminator.
#ifndef VOLNEDA_XML_SCAN_H
#define VOLNEDA_XML_SCAN_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) && defined(__GNUC__)
#include <emmintrin.h>
#define VOLNEDA_SCAN_VECTORS 1
#endif

// AddressSanitizer and ThreadSanitizer would take the aligned whole-vector
// reads of TextLength, which may pass the terminator within its 16 bytes,
// for overflows (memcheck accepts them: they never cross a page).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VOLNEDA_SCAN_NO_OVERREAD 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VOLNEDA_SCAN_NO_OVERREAD 1
#endif
#endif

namespace xmlscan {

inline bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }

// The first of a, b or NUL in [p, end); end when there is none.
inline const char16_t *FindStop(const char16_t *p, const char16_t *end, char16_t a, char16_t b) {
#if defined(VOLNEDA_SCAN_VECTORS)
  const __m128i va = _mm_set1_epi16(static_cast<short>(a));
  const __m128i vb = _mm_set1_epi16(static_cast<short>(b));
  const __m128i zero = _mm_setzero_si128();
  auto hits = [&](const char16_t *at) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
    return _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(x, va), _mm_cmpeq_epi16(x, vb)), _mm_cmpeq_epi16(x, zero));
  };
  // Sixteen characters a round while there are as many.
  for (; end - p >= 16; p += 16) {
    const __m128i low = hits(p), high = hits(p + 8);
    if (_mm_movemask_epi8(_mm_or_si128(low, high)) == 0) continue;
    const unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(low)) |
                          static_cast<unsigned>(_mm_movemask_epi8(high)) << 16;
    return p + (__builtin_ctz(bits) >> 1);
  }
  for (; end - p >= 8; p += 8)
    if (const int bits = _mm_movemask_epi8(hits(p))) return p + (__builtin_ctz(static_cast<unsigned>(bits)) >> 1);
#endif
  while (p < end && *p != a && *p != b && *p != 0) ++p;
  return p;
}

// The first a in [p, end), NULs included in the run (end when there is
// none), for a span inside a text that may be read up to limit: the last
// vector may reach past end (but not past limit), and what it finds there
// is masked off.  Short spans, the usual case, then take one vector read
// and no character loop.
inline const char16_t *FindCharWithin(const char16_t *p, const char16_t *end, const char16_t *limit, char16_t a) {
#if defined(VOLNEDA_SCAN_VECTORS)
  const __m128i va = _mm_set1_epi16(static_cast<short>(a));
  while (p < end && limit - p >= 8) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(x, va)));
    if (end - p < 8) bits &= (1u << (2 * (end - p))) - 1;
    if (bits) return p + (__builtin_ctz(bits) >> 1);
    if (end - p <= 8) return end;
    p += 8;
  }
#else
  (void)limit;
#endif
  while (p < end && *p != a) ++p;
  return p;
}

// True for the characters that end an unquoted token: blanks, '<', '>',
// '=', '\\', '/', '?', '!' -- and NUL, the end of the text.
inline bool EndsToken(char16_t c) {
  constexpr uint64_t kStops = (1ull << 0) | (1ull << '\t') | (1ull << '\n') | (1ull << '\r') | (1ull << ' ') |
                              (1ull << '!') | (1ull << '/') | (1ull << '<') | (1ull << '=') | (1ull << '>') |
                              (1ull << '?');
  return c < 64 ? ((kStops >> c) & 1) != 0 : c == u'\\';
}

// True for the characters a plain name holds: a name the attribute search
// reads as one token equal to itself and to no other name -- none that
// ends a token, no quote, no '['.
inline bool InPlainName(char16_t c) {
  constexpr uint64_t kOut = (1ull << 0) | (1ull << '\t') | (1ull << '\n') | (1ull << '\r') | (1ull << ' ') |
                            (1ull << '!') | (1ull << '"') | (1ull << '\'') | (1ull << '/') | (1ull << '<') |
                            (1ull << '=') | (1ull << '>') | (1ull << '?');
  return c < 64 ? ((kOut >> c) & 1) == 0 : c != u'\\' && c != u'[';
}

// True for the characters escaped in data ('<', '&', '>') and, with
// forAttribute, in attribute values (both quotes too).
inline bool Escaped(char16_t c, bool forAttribute) {
  constexpr uint64_t kData = (1ull << '<') | (1ull << '&') | (1ull << '>');
  constexpr uint64_t kAttribute = kData | (1ull << '\'') | (1ull << '"');
  return c < 64 && (((forAttribute ? kAttribute : kData) >> c) & 1) != 0;
}

// The first character in [p, end) that is not blank (space, tab, LF, CR);
// end when there is none.
inline const char16_t *SkipSpace(const char16_t *p, const char16_t *end) {
  while (p < end && IsSpace(*p)) ++p;
  return p;
}

// True for the characters that end a tag name as the parser reads it:
// space, tab, LF, CR, '/', '>' -- and NUL, the end of the text.
inline bool EndsName(char16_t c) {
  constexpr uint64_t kStops = (1ull << 0) | (1ull << '\t') | (1ull << '\n') | (1ull << '\r') | (1ull << ' ') |
                              (1ull << '/') | (1ull << '>');
  return c < 64 && ((kStops >> c) & 1) != 0;
}

// Length of a NUL-terminated text.
inline size_t TextLength(const char16_t *s) {
  const char16_t *p = s;
#if defined(VOLNEDA_SCAN_VECTORS) && !defined(VOLNEDA_SCAN_NO_OVERREAD)
  // Aligned 16-byte reads never cross into another page, so reading a few
  // characters past the terminator is harmless.
  if ((reinterpret_cast<uintptr_t>(p) & 1) == 0) {
    for (; (reinterpret_cast<uintptr_t>(p) & 15) != 0; ++p)
      if (*p == 0) return static_cast<size_t>(p - s);
    const __m128i zero = _mm_setzero_si128();
    for (;; p += 8) {
      const __m128i x = _mm_load_si128(reinterpret_cast<const __m128i *>(p));
      if (const int bits = _mm_movemask_epi8(_mm_cmpeq_epi16(x, zero)))
        return static_cast<size_t>(p - s) + (__builtin_ctz(static_cast<unsigned>(bits)) >> 1);
    }
  }
#endif
  while (*p) ++p;
  return static_cast<size_t>(p - s);
}

// count characters of src, then NULs up to size characters in all (count
// <= size): the reader's copy-out, which writes a short value and then
// pads a buffer of a few dozen characters.  Vector moves that may overlap
// one another replace a library copy and a library fill (two calls, each
// choosing its method by the size): a 64-character buffer takes about ten
// stores.  Every character is written once with its final value, or again
// with the same value.
inline void CopyPadded(char16_t *dst, const char16_t *src, size_t count, size_t size) {
#if defined(VOLNEDA_SCAN_VECTORS)
  // The loops' pointers pass through an empty asm so that the compiler
  // does not turn them back into the library calls.
  if (count >= 8) {
    for (size_t i = 0; i + 8 < count; i += 8) {
      _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + i), _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i)));
      __asm__("" : "+r"(i));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + count - 8),
                     _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + count - 8)));
  } else if (count >= 4) {
    uint64_t a, b;
    std::memcpy(&a, src, 8);
    std::memcpy(&b, src + count - 4, 8);
    std::memcpy(dst, &a, 8);
    std::memcpy(dst + count - 4, &b, 8);
  } else if (count >= 2) {
    uint32_t a, b;
    std::memcpy(&a, src, 4);
    std::memcpy(&b, src + count - 2, 4);
    std::memcpy(dst, &a, 4);
    std::memcpy(dst + count - 2, &b, 4);
  } else if (count == 1) {
    dst[0] = src[0];
  }
  char16_t *pad = dst + count;
  const size_t rest = size - count;
  const __m128i zero = _mm_setzero_si128();
  if (rest >= 8) {
    // Four stores a round, then at most four more, the last ending at the
    // end of the buffer.
    char16_t *p = pad, *const end = pad + rest;
    for (; end - p > 32; p += 32) {
      _mm_storeu_si128(reinterpret_cast<__m128i *>(p), zero);
      _mm_storeu_si128(reinterpret_cast<__m128i *>(p + 8), zero);
      _mm_storeu_si128(reinterpret_cast<__m128i *>(p + 16), zero);
      _mm_storeu_si128(reinterpret_cast<__m128i *>(p + 24), zero);
      __asm__("" : "+r"(p));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i *>(end - 8), zero);
    if (end - p > 8) _mm_storeu_si128(reinterpret_cast<__m128i *>(p), zero);
    if (end - p > 16) _mm_storeu_si128(reinterpret_cast<__m128i *>(p + 8), zero);
    if (end - p > 24) _mm_storeu_si128(reinterpret_cast<__m128i *>(p + 16), zero);
  } else if (rest >= 4) {
    const uint64_t z = 0;
    std::memcpy(pad, &z, 8);
    std::memcpy(pad + rest - 4, &z, 8);
  } else if (rest >= 2) {
    const uint32_t z = 0;
    std::memcpy(pad, &z, 4);
    std::memcpy(pad + rest - 2, &z, 4);
  } else if (rest == 1) {
    pad[0] = 0;
  }
#else
  if (count) std::memcpy(dst, src, count * sizeof(char16_t));
  std::memset(dst + count, 0, (size - count) * sizeof(char16_t));
#endif
}

}  // namespace xmlscan

#endif
