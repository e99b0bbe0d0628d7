// navigate.cpp -- moving the position and reading names, attributes, data.
#include <cstdlib>

#include "xml/scan.h"
#include "xml/xmldoc.h"

namespace {

int DigitValue(char16_t c, int base) {
  int v;
  if (c >= u'0' && c <= u'9') v = c - u'0';
  else if (c >= u'a' && c <= u'z') v = c - u'a' + 10;
  else if (c >= u'A' && c <= u'Z') v = c - u'A' + 10;
  else return -1;
  return v < base ? v : -1;
}

}  // namespace

int32_t XMLDoc::FindCandidate(int32_t from, const char16_t *name) const {
  if (!name || !*name) return from;
  std::u16string_view wanted(name);
  for (int32_t i = from; i != 0; i = Rec(i).nextSibling) {
    TokenSpan token = TokenAt(Rec(i).start + 1);
    if (NextToken(token) && TokenMatches(token, wanted)) return i;
  }
  return 0;
}

bool XMLDoc::FindElement(const char16_t *name) {
  int32_t from = mainPos_ ? Rec(mainPos_).nextSibling : Rec(parentPos_).firstChild;
  int32_t found = FindCandidate(from, name);
  if (!found) return false;
  mainPos_ = found;
  parentPos_ = Rec(found).parent;
  childPos_ = 0;
  return true;
}

bool XMLDoc::FindChildElement(const char16_t *name) {
  // Takes the first element of the level.  When the level has none, main
  // stays 0 and the search runs over the children of the document record:
  // the root is found, and the next call goes on from there.
  if (!mainPos_) FindElement(nullptr);
  int32_t from = childPos_ ? Rec(childPos_).nextSibling : Rec(mainPos_).firstChild;
  int32_t found = FindCandidate(from, name);
  if (!found) return false;
  childPos_ = found;
  mainPos_ = Rec(found).parent;
  parentPos_ = Rec(mainPos_).parent;
  return true;
}

bool XMLDoc::StepIntoElement() {
  if (!mainPos_) return false;
  parentPos_ = mainPos_;
  mainPos_ = childPos_;
  childPos_ = 0;
  return true;
}

bool XMLDoc::StepOutOfElement() {
  if (!parentPos_) return false;
  childPos_ = mainPos_;
  mainPos_ = parentPos_;
  parentPos_ = Rec(parentPos_).parent;
  return true;
}

std::u16string_view XMLDoc::TagNameView(int32_t index) const {
  if (index <= 0 || index >= nextFree_) return {};
  TokenSpan token = TokenAt(Rec(index).start + 1);
  if (!NextToken(token)) return {};
  return TokenView(token);
}

std::u16string XMLDoc::TagNameAt(int32_t index) const { return std::u16string(TagNameView(index)); }

bool XMLDoc::TagNameIs(int32_t index, std::u16string_view name) const {
  if (index <= 0 || index >= nextFree_) return name.empty();
  const size_t at = static_cast<size_t>(Rec(index).start) + 1;
  // A name of ordinary characters, compared in place: equal when the text
  // has them and then a character that ends a token (a mismatch stops at
  // the terminating NUL at the latest, since the name holds none).  A
  // first character that is blank or a quote, or a name with characters
  // that end tokens, goes the long way.
  if (at <= doc_.size() && !name.empty()) {
    const char16_t *p = doc_.c_str() + at;
    const char16_t first = *p;
    if (first > u' ' && first != u'"' && first != u'\'') {
      size_t k = 0;
      for (; k < name.size() && !xmlscan::EndsToken(name[k]); ++k)
        if (p[k] != name[k]) return false;
      if (k == name.size()) return xmlscan::EndsToken(p[k]);
    }
  }
  return TagNameView(index) == name;
}

bool XMLDoc::ChildNameIs(const char16_t *name) const {
  // Compared in place, as TagNameIs compares it, in one pass over the
  // caller's name: no length is taken first, since most children differ
  // from the name in their first character or match it whole.  The text
  // has the name's characters, none of them one that ends a token, and
  // then one that does.  Reading the text stops at its terminating NUL at
  // the latest: the name holds none before its own end.  A first character
  // that is blank or a quote, or a name character that ends tokens, goes
  // the long way.
  if (name && *name) {
    const char16_t *p = doc_.c_str() + (static_cast<size_t>(Rec(childPos_).start) + 1);
    if (*p > u' ' && *p != u'"' && *p != u'\'') {
      size_t k = 0;
      for (; name[k] && !xmlscan::EndsToken(name[k]); ++k)
        if (p[k] != name[k]) break;
      if (!name[k]) return xmlscan::EndsToken(p[k]);
      if (!xmlscan::EndsToken(name[k])) return false;  // differs at k
    }
  }
  return TagNameIs(childPos_, name ? std::u16string_view(name) : std::u16string_view());
}

bool XMLDoc::FirstPlainAttribute(int32_t index, std::u16string_view &name, int32_t &valueFrom,
                                 int32_t &valueLength) const {
  // The tag name, the name, '=', and the quoted value, as the token search
  // reads them.  A plain character never ends a token, so the name ends
  // where its run of plain characters does.
  const size_t size = doc_.size(), at = static_cast<size_t>(Rec(index).start) + 1;
  if (at >= size) return false;
  const char16_t *const text = doc_.c_str();
  const char16_t *p = text + at;
  if (xmlscan::IsSpace(*p) || *p == u'"' || *p == u'\'' || xmlscan::EndsToken(*p)) return false;
  while (!xmlscan::EndsToken(*p)) ++p;
  while (xmlscan::IsSpace(*p)) ++p;
  size_t k = 0;
  while (xmlscan::InPlainName(p[k])) ++k;
  if (k == 0 || !xmlscan::EndsToken(p[k])) return false;
  const char16_t *q = p + k;
  while (xmlscan::IsSpace(*q)) ++q;
  if (*q != u'=') return false;
  ++q;
  while (xmlscan::IsSpace(*q)) ++q;
  const char16_t quote = *q;
  if (quote != u'"' && quote != u'\'') return false;
  const char16_t *close = xmlscan::FindStop(q + 1, text + size, quote, quote);
  name = std::u16string_view(p, k);
  valueFrom = static_cast<int32_t>(q + 1 - text);
  valueLength = static_cast<int32_t>(close - (q + 1));
  return true;
}

std::u16string_view XMLDoc::AttributeView(int32_t index, const char16_t *name, std::u16string &scratch) const {
  if (index <= 0 || index >= nextFree_ || !mainPos_ || !name) return {};
  // The first attribute, when it has the plain name asked for, read in
  // place.  Anything else goes to the search.
  std::u16string_view first;
  int32_t from = 0, length = 0;
  if (FirstPlainAttribute(index, first, from, length) && first == name) return UnescapeView(from, length, scratch);
  TokenSpan token = TokenAt(Rec(index).start + 1);
  if (!FindAttributeToken(token, name)) return {};
  if (token.last < token.first) return {};
  return UnescapeView(token.first, token.last - token.first + 1, scratch);
}

std::u16string XMLDoc::AttributeAt(int32_t index, const char16_t *name) const {
  std::u16string scratch;
  return std::u16string(AttributeView(index, name, scratch));
}

std::u16string_view XMLDoc::OtherDataView(int32_t index, std::u16string &scratch) const {
  const ElementRecord &r = Rec(index);
  int32_t contentStart = ContentStart(r);
  int32_t endTag = EndTagOffset(r);
  int32_t pos = contentStart;
  if (pos >= 0 && endTag <= static_cast<int32_t>(doc_.size()))
    pos = static_cast<int32_t>(xmlscan::SkipSpace(doc_.data() + pos, doc_.data() + endTag) - doc_.data());
  else
    while (pos < endTag && xmlscan::IsSpace(CharAt(pos))) ++pos;
  static constexpr std::u16string_view kOpen = u"<![CDATA[";
  if (CharAt(pos) == u'<' && endTag - pos > 11 && doc_.compare(static_cast<size_t>(pos), kOpen.size(), kOpen) == 0) {
    size_t close = doc_.find(u"]]>", static_cast<size_t>(pos) + kOpen.size());
    if (close != std::u16string::npos && close + 3 <= static_cast<size_t>(endTag)) {
      size_t from = static_cast<size_t>(pos) + kOpen.size();
      return std::u16string_view(doc_).substr(from, close - from);
    }
  }
  return UnescapeView(contentStart, ContentLength(r), scratch);
}

std::u16string XMLDoc::DataAt(int32_t index) const {
  std::u16string scratch;
  return std::u16string(DataView(index, scratch));
}

std::u16string XMLDoc::UnescapeText(int32_t offset, int32_t length) const {
  std::u16string scratch;
  return std::u16string(UnescapeView(offset, length, scratch));
}

std::u16string_view XMLDoc::UnescapeView(int32_t offset, int32_t length, std::u16string &scratch) const {
  if (offset < 0 || length <= 0) return {};
  int32_t end = offset + length;
  if (static_cast<size_t>(end) > doc_.size()) end = static_cast<int32_t>(doc_.size());
  if (end <= offset) return {};
  const char16_t *const text = doc_.data();
  // Up to the first '&' the text is its own decoding.
  // The text may be read through its terminator.
  const char16_t *const limit = text + doc_.size() + 1;
  const char16_t *amp = xmlscan::FindCharWithin(text + offset, text + end, limit, u'&');
  if (amp == text + end) return std::u16string_view(text + offset, static_cast<size_t>(end - offset));
  std::u16string &out = scratch;
  out.assign(text + offset, amp);
  static constexpr std::u16string_view kNames[] = {u"lt;", u"amp;", u"gt;", u"apos;", u"quot;"};
  static constexpr char16_t kChars[] = {u'<', u'&', u'>', u'\'', u'"'};
  int32_t i = static_cast<int32_t>(amp - text);
  while (i < end) {
    char16_t c = doc_[static_cast<size_t>(i)];
    if (c != u'&') {
      const char16_t *next = xmlscan::FindCharWithin(text + i, text + end, limit, u'&');
      out.append(text + i, next);
      i = static_cast<int32_t>(next - text);
      continue;
    }
    if (CharAt(i + 1) == u'#') {
      // A character reference may run past the span; its ';' must come
      // within eight characters of the digits.
      int base = 10;
      int32_t digits = i + 2;
      if (CharAt(digits) == u'x') {
        base = 16;
        ++digits;
      }
      int32_t semi = -1;
      for (int32_t k = digits; k < digits + 8; ++k) {
        char16_t d = CharAt(k);
        if (d == 0) break;
        if (d == u';') {
          semi = k;
          break;
        }
      }
      if (semi >= 0) {
        // Converted like strtol: leading blanks, a sign, in base 16 an
        // optional 0x, then digits up to the first that is not one.
        int32_t p = digits;
        while (xmlscan::IsSpace(CharAt(p)) || CharAt(p) == u'\f' || CharAt(p) == u'\v') ++p;
        bool negative = false;
        if (CharAt(p) == u'+' || CharAt(p) == u'-') negative = CharAt(p++) == u'-';
        if (base == 16 && CharAt(p) == u'0' && (CharAt(p + 1) == u'x' || CharAt(p + 1) == u'X') &&
            DigitValue(CharAt(p + 2), 16) >= 0)
          p += 2;
        int64_t value = 0;
        for (int v; (v = DigitValue(CharAt(p), base)) >= 0; ++p) {
          value = value * base + v;
          if (value > 0x80000000LL) value = 0x80000000LL;
        }
        if (negative) value = -value;
        if (value > 0x7FFFFFFFLL) value = 0x7FFFFFFFLL;
        if (value != 0) {
          out.push_back(static_cast<char16_t>(static_cast<uint32_t>(value) & 0xFFFFu));
          i = semi + 1;
          continue;
        }
      }
    } else {
      bool taken = false;
      for (size_t k = 0; k < 5; ++k) {
        const auto &name = kNames[k];
        if (i + 1 + static_cast<int32_t>(name.size()) <= end &&
            doc_.compare(static_cast<size_t>(i) + 1, name.size(), name) == 0) {
          out.push_back(kChars[k]);
          i += 1 + static_cast<int32_t>(name.size());
          taken = true;
          break;
        }
      }
      if (taken) continue;
    }
    out.push_back(u'&');
    ++i;
  }
  return out;
}
