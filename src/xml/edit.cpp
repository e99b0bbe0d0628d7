// edit.cpp -- in-place edits that keep the element table in step with the
// text, so that a document built by many additions is never reparsed.
#include "platform/widestring.h"
#include "xml/xmldoc.h"

namespace {

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }

constexpr std::u16string_view kLineEnd = u"\r\n";

}  // namespace

std::u16string XMLDoc::EscapeText(const char16_t *text, bool forAttribute) {
  return EscapeText(text ? std::u16string_view(text) : std::u16string_view(), forAttribute);
}

std::u16string XMLDoc::EscapeText(std::u16string_view text, bool forAttribute) {
  std::u16string out;
  out.reserve(text.size() + text.size() / 10 + 7);
  for (char16_t c : text) {
    switch (c) {
      case u'<': out += u"&lt;"; break;
      case u'&': out += u"&amp;"; break;
      case u'>': out += u"&gt;"; break;
      case u'\'':
        if (forAttribute) out += u"&apos;";
        else out.push_back(c);
        break;
      case u'"':
        if (forAttribute) out += u"&quot;";
        else out.push_back(c);
        break;
      default: out.push_back(c);
    }
  }
  return out;
}

void XMLDoc::ReplaceText(int32_t offset, int32_t count, std::u16string_view text) {
  size_t newLength = doc_.size() - static_cast<size_t>(count) + text.size();
  // Grow geometrically so that repeated appends stay linear.
  if (newLength > doc_.capacity()) doc_.reserve(newLength + newLength / 2 + 128);
  doc_.replace(static_cast<size_t>(offset), static_cast<size_t>(count), text);
}

void XMLDoc::AdjustOffsets(int32_t index, int32_t delta) {
  if (delta == 0) return;
  // Moves the starts of everything below top (and top itself when asked).
  auto shiftTree = [&](int32_t top, bool withTop) {
    if (withTop) Rec(top).start += delta;
    int32_t i = Rec(top).firstChild;
    while (i) {
      Rec(i).start += delta;
      if (Rec(i).firstChild) {
        i = Rec(i).firstChild;
        continue;
      }
      while (i != top && Rec(i).nextSibling == 0) i = Rec(i).parent;
      if (i == top) break;
      i = Rec(i).nextSibling;
    }
  };
  shiftTree(index, false);
  for (int32_t x = index; x != 0;) {
    for (int32_t s = Rec(x).nextSibling; s != 0; s = Rec(s).nextSibling) shiftTree(s, true);
    int32_t p = Rec(x).parent;
    Rec(p).length += delta;
    x = p;
  }
}

bool XMLDoc::SetAttributeAt(int32_t index, const char16_t *name, const char16_t *value) {
  // Without a name the search would hand back the first attribute's name
  // rather than a value, so a nameless attribute is refused.
  if (index <= 0 || index >= nextFree_ || !mainPos_ || !name || !*name) return false;
  std::u16string escaped = EscapeText(value, true);
  ElementRecord &r = Rec(index);
  int32_t startTagEnd = r.start + StartTagLength(r) - (IsEmptyElement(r) ? 2 : 1);
  TokenSpan token = TokenAt(r.start + 1);
  int32_t delta;
  if (FindAttributeToken(token, name) && token.quoted) {
    // A value whose quotes run past the start tag (a '>' inside quotes
    // ended the tag) cannot be replaced without breaking the element.
    if (token.next > startTagEnd) return false;
    int32_t count = token.last >= token.first ? token.last - token.first + 1 : 0;
    ReplaceText(token.first, count, escaped);
    delta = static_cast<int32_t>(escaped.size()) - count;
  } else {
    std::u16string insert;
    insert.reserve(escaped.size() + std::char_traits<char16_t>::length(name) + 4);
    insert += u' ';
    insert += name;
    insert += u"=\"";
    insert += escaped;
    insert += u'"';
    ReplaceText(startTagEnd, 0, insert);
    delta = static_cast<int32_t>(insert.size());
  }
  SetTagLengths(r, StartTagLength(r) + delta, EndTagLength(r));
  r.length += delta;
  AdjustOffsets(index, delta);
  return true;
}

bool XMLDoc::SetAttributeAt(int32_t index, const char16_t *name, int32_t value) {
  return SetAttributeAt(index, name, wstr::Format(u"%d", value).c_str());
}

bool XMLDoc::SetDataAt(int32_t index, const char16_t *text, bool asCData) {
  if (index <= 0 || index >= nextFree_) return false;
  ElementRecord &r = Rec(index);
  if (r.firstChild) return false;
  std::u16string_view source = text ? std::u16string_view(text) : std::u16string_view();
  std::u16string data;
  if (asCData && source.find(u"]]>") == std::u16string_view::npos) {
    data = u"<![CDATA[";
    data += source;
    data += u"]]>";
  } else {
    data = EscapeText(source, false);
  }
  int32_t delta;
  if (IsEmptyElement(r)) {
    // "<x .../>": the '/' becomes ">data</x" and the old '>' closes it.
    std::u16string tag = TagNameAt(index);
    std::u16string replacement = u">" + data + u"</" + tag;
    ReplaceText(r.start + r.length - 2, 1, replacement);
    delta = static_cast<int32_t>(replacement.size()) - 1;
    SetTagLengths(r, StartTagLength(r) - 1, EndTagLength(r) + static_cast<int32_t>(tag.size()) + 1);
    r.levelFlags &= ~kElementEmpty;
  } else {
    int32_t count = ContentLength(r);
    ReplaceText(ContentStart(r), count, data);
    delta = static_cast<int32_t>(data.size()) - count;
  }
  r.length += delta;
  AdjustOffsets(index, delta);
  return true;
}

int32_t XMLDoc::TakeIndex() {
  if (nextFree_ == capacity_) ReserveElements(0);
  return nextFree_++;
}

bool XMLDoc::AddElement(const char16_t *name, const char16_t *data) {
  if (!name || !*name) return false;  // an element needs a name
  if (parentPos_ == 0) {
    if (Rec(0).firstChild) return false;  // one root only
    Rec(0).length = static_cast<int32_t>(doc_.size());
  }
  return InsertElement(parentPos_, mainPos_, name, data, false);
}

bool XMLDoc::AddChildElement(const char16_t *name, const char16_t *data) {
  if (!name || !*name || !mainPos_) return false;
  return InsertElement(mainPos_, childPos_, name, data, true);
}

bool XMLDoc::InsertElement(int32_t parent, int32_t after, const char16_t *name, const char16_t *data,
                           bool asChild) {
  std::u16string_view tagName(name);
  const int32_t n = static_cast<int32_t>(tagName.size());
  const bool parentEmpty = parent && IsEmptyElement(Rec(parent));
  const bool parentBare = parent && !parentEmpty && ContentLength(Rec(parent)) == 0;

  int32_t offset;
  if (after) {
    offset = Rec(after).start + Rec(after).length;
  } else if (parent) {
    const ElementRecord &p = Rec(parent);
    offset = parentEmpty ? p.start + StartTagLength(p) - 1 : EndTagOffset(p);
  } else {
    offset = static_cast<int32_t>(doc_.size());
  }
  if (!parentEmpty) {
    int32_t p = offset;
    while (IsSpace(CharAt(p))) ++p;
    if (CharAt(p) == 0 || CharAt(p) == u'<') offset = p;
  }

  std::u16string escaped = (data && *data) ? EscapeText(data, false) : std::u16string();
  std::u16string element;
  int32_t startTag, endTag, length;
  uint32_t flags = 0;
  element.reserve(2 * tagName.size() + escaped.size() + 8);
  element += u'<';
  element += tagName;
  if (!escaped.empty()) {
    element += u'>';
    element += escaped;
    element += u"</";
    element += tagName;
    element += u'>';
    startTag = n + 2;
    endTag = n + 3;
    length = 2 * n + 5 + static_cast<int32_t>(escaped.size());
  } else {
    element += u"/>";
    startTag = length = n + 3;
    endTag = 2;
    flags = kElementEmpty;
  }
  element += kLineEnd;

  int32_t index = TakeIndex();
  ElementRecord &r = Rec(index);
  r.start = (parentEmpty || parentBare) ? offset + 2 : offset;
  r.length = length;
  SetTagLengths(r, startTag, endTag);
  r.parent = parent;
  r.firstChild = 0;
  int32_t level = parent ? ElementLevel(Rec(parent)) + 1 : 0;
  ElementRecord &p = Rec(parent);
  int32_t partner = after ? after : (p.firstChild ? Rec(p.firstChild).prevSibling : 0);
  if (partner) {
    ElementRecord &a = Rec(partner);
    r.nextSibling = a.nextSibling;
    a.nextSibling = index;
    r.prevSibling = partner;
    // Keep the backward links whole: the follower (or, at the end, the
    // first child's link to the last child) now refers to the new element.
    if (r.nextSibling) Rec(r.nextSibling).prevSibling = index;
    else Rec(p.firstChild).prevSibling = index;
  } else {
    p.firstChild = index;
    r.nextSibling = 0;
    r.prevSibling = index;
    flags |= kElementFirstChild;
  }
  r.levelFlags = flags | (static_cast<uint32_t>(level) & kElementLevelMask);

  int32_t delta;
  if (parentEmpty) {
    std::u16string parentName = TagNameAt(parent);
    std::u16string replacement;
    replacement.reserve(element.size() + parentName.size() + 5);
    replacement += u'>';
    replacement += kLineEnd;
    replacement += element;
    replacement += u"</";
    replacement += parentName;
    ReplaceText(p.start + StartTagLength(p) - 2, 1, replacement);
    delta = static_cast<int32_t>(replacement.size()) - 1;
    SetTagLengths(p, StartTagLength(p) - 1, EndTagLength(p) + static_cast<int32_t>(parentName.size()) + 1);
    p.levelFlags &= ~kElementEmpty;
  } else if (parentBare) {
    std::u16string insert(kLineEnd);
    insert += element;
    ReplaceText(ContentStart(p), 0, insert);
    delta = static_cast<int32_t>(insert.size());
  } else {
    ReplaceText(offset, 0, element);
    delta = static_cast<int32_t>(element.size());
  }
  AdjustOffsets(index, delta);

  if (asChild) {
    mainPos_ = parent;
    childPos_ = index;
  } else {
    parentPos_ = parent;
    mainPos_ = index;
    childPos_ = 0;
  }
  return true;
}
