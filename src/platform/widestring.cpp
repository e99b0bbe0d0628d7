#include "platform/widestring.h"

#include <cstdarg>

namespace wstr {

size_t Length(const char16_t *text) {
  if (!text) return 0;
  size_t n = 0;
  while (text[n]) ++n;
  return n;
}

std::u16string Make(const char16_t *text) { return text ? std::u16string(text, Length(text)) : std::u16string(); }

std::u16string Make(const char16_t *text, size_t count) {
  return text ? std::u16string(text, count) : std::u16string();
}

std::u16string FromApi(const VOLNEDA_WCHAR *text) { return Make(reinterpret_cast<const char16_t *>(text)); }

std::u16string Ascii(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (unsigned char c : text) out.push_back(static_cast<char16_t>(c));
  return out;
}

size_t Find(std::u16string_view s, std::u16string_view sub, size_t from) {
  if (from > s.size()) return npos;
  return s.find(sub, from);
}

std::u16string Mid(std::u16string_view s, size_t start, size_t count) {
  if (start >= s.size()) return std::u16string();
  return std::u16string(s.substr(start, count));
}

std::u16string FromInt(long long value) {
  char buf[24];
  int n = snprintf(buf, sizeof buf, "%lld", value);
  return Ascii(std::string_view(buf, n > 0 ? static_cast<size_t>(n) : 0));
}

std::u16string Format(const char16_t *format, ...) {
  std::u16string out;
  if (!format) return out;
  va_list ap;
  va_start(ap, format);
  for (const char16_t *p = format; *p; ++p) {
    if (*p != u'%') {
      out.push_back(*p);
      continue;
    }
    const char16_t *start = p++;
    if (*p == u'%') {
      out.push_back(u'%');
      continue;
    }
    bool zero = false, left = false;
    for (;; ++p) {
      if (*p == u'0') zero = true;
      else if (*p == u'-') left = true;
      else break;
    }
    int width = 0;
    while (*p >= u'0' && *p <= u'9') width = width * 10 + (*p++ - u'0');
    std::u16string field;
    switch (*p) {
      case u'd':
      case u'i': {
        long long v = va_arg(ap, int);
        bool neg = v < 0;
        std::u16string digits = FromInt(neg ? -v : v);
        if (zero && !left) {
          size_t want = width > 0 ? static_cast<size_t>(width) - (neg ? 1 : 0) : 0;
          while (digits.size() < want) digits.insert(digits.begin(), u'0');
        }
        field = neg ? u"-" + digits : digits;
        break;
      }
      case u'u': field = FromInt(va_arg(ap, unsigned)); break;
      case u'x':
      case u'X': {
        char buf[16];
        snprintf(buf, sizeof buf, *p == u'x' ? "%x" : "%X", va_arg(ap, unsigned));
        field = Ascii(buf);
        if (zero && !left)
          while (field.size() < static_cast<size_t>(width)) field.insert(field.begin(), u'0');
        break;
      }
      case u'c': field.push_back(static_cast<char16_t>(va_arg(ap, int))); break;
      case u's': field = Make(va_arg(ap, const char16_t *)); break;
      default:
        // Not a directive we know: copy it through unchanged, as far as read.
        if (!*p) {
          out.append(start, p);
          va_end(ap);
          return out;
        }
        out.append(start, p + 1);
        continue;
    }
    if (field.size() < static_cast<size_t>(width)) {
      std::u16string pad(width - field.size(), u' ');
      field = left ? field + pad : pad + field;
    }
    out += field;
  }
  va_end(ap);
  return out;
}

size_t CopyOut(std::u16string_view s, char16_t *buffer, int64_t capacity) {
  if (!buffer || capacity <= 0) return 0;
  size_t n = s.size();
  if (static_cast<uint64_t>(n) > static_cast<uint64_t>(capacity - 1)) {
    n = static_cast<size_t>(capacity - 1);
    // Do not leave half a surrogate pair at the end.
    if (n > 0 && s[n - 1] >= 0xD800 && s[n - 1] <= 0xDBFF) --n;
  }
  s.copy(buffer, n);
  buffer[n] = 0;
  return n;
}

}  // namespace wstr
