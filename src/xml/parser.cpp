// parser.cpp -- the scanner and the parser that builds the element table.
#include <cstring>

#include "platform/widestring.h"
#include "xml/scan.h"
#include "xml/xmldoc.h"

namespace {

const char16_t *UnterminatedKind(bool doctype, int32_t type) {
  if (doctype || type == kNodeDoctype) return u"Doctype";
  switch (type) {
    case kNodeStartTag: return u"Element tag";
    case kNodeEndTag: return u"Element end tag";
    case kNodeCData: return u"CDATA Section";
    case kNodeProcessing: return u"Processing instruction";
    case kNodeComment: return u"Comment";
    default: return u"tag";
  }
}

}  // namespace

TokenSpan XMLDoc::TokenAt(int32_t next) const {
  TokenSpan token;
  token.next = next;
  token.text = &doc_;
  return token;
}

std::u16string_view XMLDoc::TokenView(const TokenSpan &token) const {
  if (token.last < token.first || token.first < 0) return {};
  size_t first = static_cast<size_t>(token.first);
  if (first >= doc_.size()) return {};
  return std::u16string_view(doc_).substr(first, static_cast<size_t>(token.last - token.first + 1));
}

namespace {

// The name match rule: the token's n characters begin the name, which then
// ends or goes on with ' ', '=', '/' or '['.  Names are short: a loop beats
// a call.
inline bool NameBegins(const char16_t *token, size_t n, std::u16string_view name) {
  if (n > name.size()) return false;
  for (size_t k = 0; k < n; ++k)
    if (token[k] != name[k]) return false;
  if (n == name.size()) return true;
  const char16_t c = name[n];
  return c == u' ' || c == u'=' || c == u'/' || c == u'[';
}

}  // namespace

bool XMLDoc::TokenMatches(const TokenSpan &token, std::u16string_view name) const {
  int32_t count = token.last >= token.first ? token.last - token.first + 1 : 0;
  if (count > 0 && (token.first < 0 || static_cast<size_t>(token.first) + static_cast<size_t>(count) > doc_.size()))
    return false;
  return NameBegins(doc_.data() + (count > 0 ? token.first : 0), static_cast<size_t>(count), name);
}

namespace {

// NextToken's scan, inline for the attribute search's loop.
#if defined(__GNUC__)
[[gnu::always_inline]]
#endif
inline bool ScanToken(const std::u16string &doc, TokenSpan &token) {
  token.quoted = false;
  token.text = &doc;
  // Offsets outside the text read as its end, as CharAt reads them.
  const int32_t size = static_cast<int32_t>(doc.size());
  const char16_t *const text = doc.c_str();
  const char16_t *const end = text + size;
  const char16_t *p = token.next >= 0 && token.next <= size ? text + token.next : end;
  while (xmlscan::IsSpace(*p)) ++p;
  if (*p == 0) {
    token.first = token.next = p == end && (token.next < 0 || token.next > size) ? token.next
                                                                                   : static_cast<int32_t>(p - text);
    token.last = token.first - 1;
    return false;
  }
  const char16_t c = *p;
  if (c == u'"' || c == u'\'') {
    token.quoted = true;
    const char16_t *q = xmlscan::FindStop(p + 1, end, c, c);
    token.first = static_cast<int32_t>(p + 1 - text);
    token.last = static_cast<int32_t>(q - text) - 1;
    token.next = static_cast<int32_t>(q - text) + (*q == c ? 1 : 0);
    return true;
  }
  const char16_t *q = p;
  while (!xmlscan::EndsToken(*q)) ++q;
  if (q == p) ++q;  // a stop character is a token of its own
  token.first = static_cast<int32_t>(p - text);
  token.next = static_cast<int32_t>(q - text);
  token.last = token.next - 1;
  return true;
}

}  // namespace

bool XMLDoc::NextToken(TokenSpan &token) const { return ScanToken(doc_, token); }

// The tokens are scanned here from a pointer, and the token is filled only
// when the search ends, with what NextToken would have left in it.
bool XMLDoc::FindAttributeToken(TokenSpan &token, const char16_t *name) const {
  const char16_t *const text = doc_.c_str();
  const char16_t *const end = text + doc_.size();
  // The tag name, passed over as NextToken reads it.
  if (!ScanToken(doc_, token)) return false;
  const char16_t *p = text + token.next;
  const std::u16string_view wanted = name ? std::u16string_view(name) : std::u16string_view();
  auto leave = [&](const char16_t *first, const char16_t *next, const char16_t *last, bool quoted, bool found) {
    token.first = static_cast<int32_t>(first - text);
    token.last = static_cast<int32_t>(last - text);
    token.next = static_cast<int32_t>(next - text);
    token.quoted = quoted;
    return found;
  };
  int32_t count = 0, nameAt = 0;
  for (;;) {
    while (xmlscan::IsSpace(*p)) ++p;
    const char16_t c = *p;
    if (c == 0) return leave(p, p, p - 1, false, false);
    ++count;
    if (c == u'"' || c == u'\'') {
      const char16_t *q = xmlscan::FindStop(p + 1, end, c, c);
      const char16_t *next = q + (*q == c ? 1 : 0);
      if (nameAt != 0 && count == nameAt + 2) return leave(p + 1, next, q - 1, true, true);
      p = next;
      continue;
    }
    const char16_t *q = p;
    while (!xmlscan::EndsToken(*q)) ++q;
    if (q == p) ++q;  // a stop character is a token of its own
    if (c == u'>' || c == u'/' || c == u'?') return leave(p, q, q - 1, false, false);
    if (!(q == p + 1 && c == u'=') && nameAt == 0) {
      if (wanted.empty()) return leave(p, q, q - 1, false, true);
      if (NameBegins(p, static_cast<size_t>(q - p), wanted)) nameAt = count;
    }
    p = q;
  }
}

int32_t XMLDoc::ParseNode(TokenSpan &token, NodeRecord &node) {
  node.start = token.next;
  node.flags = 0;
  node.name.clear();
  node.nameAt = -1;
  if (CharAt(node.start) == 0) {
    node.length = 0;
    node.type = kNodeEndOfDoc;
    return kNodeEndOfDoc;
  }
  if (ScanCommonNode(token, node)) return node.type;
  return ScanOtherNode(token, node);
}

// Every node but the common ones, one character at a time, from its '<'.
int32_t XMLDoc::ScanOtherNode(TokenSpan &token, NodeRecord &node) {
  int32_t type = -1;
  int32_t nameStart = 0;
  const char16_t *marker = nullptr;
  int32_t markerLen = 0;
  bool open = false, bang = false, dash = false, bracket = false, doctype = false;
  int32_t last = node.start;
  auto setMarker = [&](const char16_t *m) {
    marker = m;
    markerLen = static_cast<int32_t>(std::char_traits<char16_t>::length(m));
  };
  auto fail = [&](const char16_t *what) {
    node.name = wstr::Format(u"Incorrect %s at offset %d", what, last);
    type = kNodeError;
  };

  for (int32_t pos = node.start;; ++pos) {
    char16_t c = CharAt(pos);
    bool complete = false;
    if (nameStart && (xmlscan::IsSpace(c) || c == u'/' || c == u'>')) {
      if (type == kNodeEndTag) {
        token.first = nameStart;
        token.last = pos - 1;
      } else {
        node.name.assign(doc_, static_cast<size_t>(nameStart), static_cast<size_t>(pos - nameStart));
      }
      nameStart = 0;
    }
    if (marker) {
      if (c == u'>') {
        last = pos;
        bool met = false;
        if (markerLen == 1) {
          met = true;
          if (type == kNodeStartTag && CharAt(pos - 1) == u'/') node.flags |= kElementEmpty;
        } else if (pos > markerLen &&
                   std::memcmp(doc_.data() + pos - (markerLen - 1), marker,
                               sizeof(char16_t) * static_cast<size_t>(markerLen - 1)) == 0) {
          met = true;
        }
        if (met) {
          marker = nullptr;
          if (!doctype) complete = true;
        }
      }
    } else if (open) {
      open = false;
      if ((c >= u'A' && c <= u'Z') || c > 0x60) {
        type = kNodeStartTag;
        nameStart = pos;
        setMarker(u">");
      } else if (c == u'/') {
        type = kNodeEndTag;
        nameStart = pos + 1;
        setMarker(u">");
      } else if (c == u'!') {
        bang = true;
      } else if (c == u'?') {
        type = kNodeProcessing;
        nameStart = pos + 1;
        setMarker(u"?>");
      } else {
        fail(u"tag name character");
        complete = true;
      }
    } else if (bang) {
      bang = false;
      if (c == u'-') {
        dash = true;
      } else if (c == u'[' && !doctype) {
        bracket = true;
      } else if (c == u'D' && !doctype) {
        doctype = true;
      } else if (c == u'E' || c == u'A' || c == u'N') {
        type = kNodeError;
        setMarker(u">");
        // Declarations belong inside a document type declaration; one found
        // outside fails the parse with this message once its '>' is met.
        if (!doctype) node.name = wstr::Format(u"Incorrect %s at offset %d", u"markup declaration", node.start);
      } else {
        fail(u"! tag");
        complete = true;
      }
    } else if (dash) {
      dash = false;
      if (c == u'-') {
        type = kNodeComment;
        setMarker(u"-->");
      } else {
        fail(u"comment tag");
        complete = true;
      }
    } else if (bracket) {
      bracket = false;
      if (c == u'C') {
        type = kNodeCData;
        setMarker(u"]]>");
      } else {
        fail(u"tag");
        complete = true;
      }
    } else if (doctype) {
      if (c == u'<') {
        open = true;
      } else if (c == u'>') {
        type = kNodeDoctype;
        last = pos;
        complete = true;
      }
    } else {
      open = true;  // the node's '<'
    }
    if (!complete && CharAt(pos + 1) == 0) {
      last = pos;
      node.name = wstr::Format(u"%s at offset %d unterminated", UnterminatedKind(doctype, type), node.start);
      type = kNodeError;
      complete = true;
    }
    if (complete) break;
  }
  token.next = last + 1;
  node.length = token.next - node.start;
  node.type = type;
  return type;
}

// The nodes a document is mostly made of -- start tags and end tags --
// scanned by skipping runs of ordinary characters.  The outcome (type, span,
// name, flags, the end tag's name in the token, and the unterminated errors)
// is exactly that of the character-by-character walk of ScanOtherNode, which
// takes every other node.  False when the node is not one of these.  Text and
// whitespace never come here: ParseElements passes them over before a node.
bool XMLDoc::ScanCommonNode(TokenSpan &token, NodeRecord &node) {
  const char16_t *const text = doc_.c_str();
  const char16_t *const end = text + doc_.size();  // *end is the terminating NUL
  const char16_t *const s = text + node.start;
  int32_t type, last;  // the caller stands on a '<'
  const char16_t c = s[1];
  const bool endTag = c == u'/';
  if (!endTag && !((c >= u'A' && c <= u'Z') || c > 0x60)) return false;
  // The name runs to a blank, '/' or '>'; the tag to the first '>',
  // whatever stands between (quotes mean nothing to this scan).
  const char16_t *const name = s + (endTag ? 2 : 1);
  const char16_t *q = name;
  while (!xmlscan::EndsName(*q)) ++q;
  type = endTag ? kNodeEndTag : kNodeStartTag;
  if (*q == 0) {
    last = static_cast<int32_t>(q - text) - 1;
    node.name = wstr::Format(u"%s at offset %d unterminated", UnterminatedKind(false, type), node.start);
    type = kNodeError;
  } else {
    if (endTag) {
      token.first = static_cast<int32_t>(name - text);
      token.last = static_cast<int32_t>(q - text) - 1;
    } else {
      node.nameAt = static_cast<int32_t>(name - text);
      node.nameLength = static_cast<int32_t>(q - name);
    }
    const char16_t *r = *q == u'>' ? q : xmlscan::FindStop(q, end, u'>', u'>');
    if (*r == u'>') {
      last = static_cast<int32_t>(r - text);
      if (!endTag && r[-1] == u'/') node.flags |= kElementEmpty;
    } else {
      last = static_cast<int32_t>(r - text) - 1;
      node.name = wstr::Format(u"%s at offset %d unterminated", UnterminatedKind(false, type), node.start);
      type = kNodeError;
    }
  }
  token.next = last + 1;
  node.length = token.next - node.start;
  node.type = type;
  return true;
}

int32_t XMLDoc::ParseElements(int32_t parentIndex, TokenSpan &token) {
  int32_t current = parentIndex;
  int32_t level = ElementLevel(Rec(parentIndex));
  int32_t depth = 0;
  int32_t first = 0;
  std::vector<NodeRecord> stack(6);
  size_t top = 0;
  auto fail = [&](std::u16string message) {
    error_ = std::move(message);
    return -1;
  };

  const char16_t *const text = doc_.c_str();
  const char16_t *const end = text + doc_.size();
  for (;;) {
    // Text and whitespace leave no record and cannot fail: the run of them
    // up to the next '<' (or the end) is passed over at once.
    if (text[token.next] != u'<' && text[token.next] != 0)
      token.next = static_cast<int32_t>(xmlscan::FindStop(text + token.next, end, u'<', u'<') - text);
    int32_t type = ParseNode(token, stack[top]);
    if (type == kNodeStartTag) {
      if (nextFree_ == capacity_) ReserveElements(0);
      int32_t n = nextFree_++;
      const NodeRecord &node = stack[top];
      if (first == 0) first = n;
      else if (depth == 0)
        return fail(wstr::Format(u"Element '%s' at offset %d is sibling to root", std::u16string(NameOf(node)).c_str(),
                                 node.start));
      ElementRecord &r = Rec(n);
      r.parent = current;
      r.nextSibling = 0;
      r.firstChild = 0;
      r.start = node.start;
      r.length = 0;
      SetTagLengths(r, node.length, 0);
      ElementRecord &p = Rec(current);
      uint32_t flags = 0;
      if (p.firstChild) {
        ElementRecord &f = Rec(p.firstChild);
        int32_t lastChild = f.prevSibling;
        Rec(lastChild).nextSibling = n;
        r.prevSibling = lastChild;
        f.prevSibling = n;
      } else {
        p.firstChild = n;
        r.prevSibling = n;
        flags = kElementFirstChild;
      }
      r.levelFlags = flags | (static_cast<uint32_t>(level) & kElementLevelMask);
      if (node.flags & kElementEmpty) {
        r.levelFlags |= kElementEmpty;
        SetTagLengths(r, node.length, 2);
        r.length = node.length;
      } else {
        ++depth;
        ++level;
        ++top;
        current = n;
        if (top == stack.size()) stack.resize(2 * stack.size() + 6);
      }
    } else if (type == kNodeEndTag) {
      const NodeRecord &node = stack[top];
      if (top == 0)
        return fail(wstr::Format(u"No start tag for end tag '%s' at offset %d", TokenText(token).c_str(), node.start));
      ElementRecord &p = Rec(current);
      p.length = node.start - p.start + node.length;
      SetTagLengths(p, StartTagLength(p), node.length);
      --top;
      if (TokenMatches(token, NameOf(stack[top]))) {
        current = p.parent;
        --depth;
        --level;
        continue;
      }
      return fail(wstr::Format(u"End tag '%s' at offset %d does not match start tag '%s' at offset %d",
                               TokenText(token).c_str(), EndTagOffset(p), std::u16string(NameOf(stack[top])).c_str(),
                               p.start));
    } else if (type == kNodeError) {
      return fail(stack[top].name);
    } else if (type == kNodeEndOfDoc) {
      if (depth >= 1)
        return fail(wstr::Format(u"Element '%s' at offset %d not ended", std::u16string(NameOf(stack[top - 1])).c_str(),
                                 stack[top - 1].start));
      if (first) return first;
      error_ = u"Root element not found";
      return 0;
    }
  }
}
