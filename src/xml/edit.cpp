// edit.cpp -- in-place edits that keep the element table in step with the
// text, so that a document built by many additions is never reparsed.
#include <algorithm>
#include <functional>

#include "platform/widestring.h"
#include "xml/scan.h"
#include "xml/xmldoc.h"

namespace {

constexpr std::u16string_view kLineEnd = u"\r\n";

// The entity of a character that xmlscan::Escaped says is escaped.
const char16_t *Entity(char16_t c) {
  switch (c) {
    case u'<': return u"&lt;";
    case u'&': return u"&amp;";
    case u'>': return u"&gt;";
    case u'\'': return u"&apos;";
    default: return u"&quot;";
  }
}

}  // namespace

std::u16string XMLDoc::EscapeText(const char16_t *text, bool forAttribute) {
  return EscapeText(text ? std::u16string_view(text) : std::u16string_view(), forAttribute);
}

std::u16string XMLDoc::EscapeText(std::u16string_view text, bool forAttribute) {
  std::u16string out;
  out.reserve(text.size() + text.size() / 10 + 7);
  AppendEscaped(out, text, forAttribute);
  return out;
}

void XMLDoc::AppendEscaped(std::u16string &out, std::u16string_view text, bool forAttribute) {
  // Runs without a character to escape go over whole.
  size_t from = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (!xmlscan::Escaped(c, forAttribute)) continue;
    out.append(text.data() + from, i - from);
    out += Entity(c);
    from = i + 1;
  }
  out.append(text.data() + from, text.size() - from);
}

namespace {

// A name that the attribute search reads as one token equal to itself and
// to no other name: no character that ends a token, no quote, no '['.
bool IsPlainName(std::u16string_view name) {
  if (name.empty()) return false;
  for (char16_t c : name)
    if (!xmlscan::InPlainName(c)) return false;
  return true;
}


}  // namespace

bool XMLDoc::FreshHasAttribute(std::u16string_view name) const {
  const int32_t start = Rec(fresh_.index).start;
  for (int32_t k = 0; k < fresh_.count; ++k)
    if (static_cast<size_t>(fresh_.nameLength[k]) == name.size() &&
        std::u16string_view(doc_).substr(static_cast<size_t>(start + fresh_.nameAt[k]), name.size()) == name)
      return true;
  return false;
}

char16_t *XMLDoc::OpenGap(int32_t offset, size_t count) {
  Edited();
  const size_t newLength = doc_.size() + count;
  if (newLength > doc_.capacity()) doc_.reserve(newLength + newLength / 2 + 128);
  doc_.insert(static_cast<size_t>(offset), count, u'\0');
  return doc_.data() + offset;
}

void XMLDoc::ReplaceText(int32_t offset, int32_t count, std::u16string_view text) {
  Edited();
  size_t newLength = doc_.size() - static_cast<size_t>(count) + text.size();
  // Grow geometrically so that repeated appends stay linear.
  if (newLength > doc_.capacity()) doc_.reserve(newLength + newLength / 2 + 128);
  doc_.replace(static_cast<size_t>(offset), static_cast<size_t>(count), text);
}

void XMLDoc::AdjustOffsets(int32_t index, int32_t delta) {
  Edited();
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
  // Every change of the text or the table drops the read cache.
  Edited();
  // Without a name the search would hand back the first attribute's name
  // rather than a value, so a nameless attribute is refused.
  if (index <= 0 || index >= nextFree_ || !mainPos_ || !name || !*name) return false;
  // One pass over each text: its length, whether the name is plain, and
  // whether the value has anything to escape.
  size_t nameLength = 0, valueLength = 0;
  bool plain = true, escape = false;
  for (; name[nameLength]; ++nameLength) plain &= xmlscan::InPlainName(name[nameLength]);
  if (!value) value = u"";
  for (; value[valueLength]; ++valueLength) escape |= xmlscan::Escaped(value[valueLength], true);
  const std::u16string_view wanted(name, nameLength), raw(value, valueLength);
  ElementRecord &r = Rec(index);
  int32_t startTagEnd = r.start + StartTagLength(r) - (IsEmptyElement(r) ? 2 : 1);
  int32_t delta;
  // The element just added has the start tag "<name" and then the
  // attributes given to it since, ' k="v"' each, all names plain: the
  // search would read exactly those names, so a name that is none of them
  // is known to be missing without reading the tag.
  const bool knownMissing =
      index == fresh_.index && fresh_.count < kFreshAttributes && plain && !FreshHasAttribute(wanted);
  TokenSpan token = TokenAt(r.start + 1);
  if (!knownMissing && FindAttributeToken(token, name) && token.quoted) {
    // A value whose quotes run past the start tag (a '>' inside quotes
    // ended the tag) cannot be replaced without breaking the element.
    if (token.next > startTagEnd) return false;
    if (index == fresh_.index) fresh_.index = 0;
    int32_t count = token.last >= token.first ? token.last - token.first + 1 : 0;
    scratch_.clear();
    AppendEscaped(scratch_, raw, true);
    ReplaceText(token.first, count, scratch_);
    delta = static_cast<int32_t>(scratch_.size()) - count;
  } else {
    if (knownMissing) {
      fresh_.nameAt[fresh_.count] = startTagEnd + 1 - r.start;
      fresh_.nameLength[fresh_.count++] = static_cast<int32_t>(nameLength);
    } else if (index == fresh_.index) {
      fresh_.index = 0;
    }
    // ' name="value"' where the start tag ends: written straight into the
    // room made for it, unless the value needs escaping or a text lies in
    // the document itself (which the move would disturb).
    const char16_t *const storage = doc_.data();
    auto inDocument = [&](const char16_t *text) {
      return std::less_equal<const char16_t *>()(storage, text) &&
             std::less<const char16_t *>()(text, storage + doc_.capacity() + 1);
    };
    if (!escape && !inDocument(name) && !inDocument(value)) {
      const size_t total = nameLength + valueLength + 4;
      char16_t *at = OpenGap(startTagEnd, total);
      *at++ = u' ';
      at = std::copy_n(name, nameLength, at);
      *at++ = u'=';
      *at++ = u'"';
      at = std::copy_n(value, valueLength, at);
      *at = u'"';
      delta = static_cast<int32_t>(total);
    } else {
      scratch_.clear();
      scratch_ += u' ';
      scratch_ += wanted;
      scratch_ += u"=\"";
      AppendEscaped(scratch_, raw, true);
      scratch_ += u'"';
      ReplaceText(startTagEnd, 0, scratch_);
      delta = static_cast<int32_t>(scratch_.size());
    }
  }
  SetTagLengths(r, StartTagLength(r) + delta, EndTagLength(r));
  r.length += delta;
  AdjustOffsets(index, delta);
  return true;
}

bool XMLDoc::SetAttributeAt(int32_t index, const char16_t *name, int32_t value) {
  const wstr::Decimal digits(value);
  return SetAttributeAt(index, name, digits.view.data());
}

bool XMLDoc::SetDataAt(int32_t index, const char16_t *text, bool asCData) {
  Edited();
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
  Edited();
  if (nextFree_ == capacity_) ReserveElements(0);
  return nextFree_++;
}

bool XMLDoc::AddElement(const char16_t *name, const char16_t *data) {
  Edited();
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

XMLDoc::ElementShape::ElementShape(std::u16string_view element, const std::u16string_view *attributes, size_t count)
    : element_(element) {
  // One insertion gives what the steps give when each SetAttributeAt would
  // find its name missing and add it where the start tag ends: see the
  // fresh element in SetAttributeAt.
  whole_ = IsPlainName(element_) && count <= static_cast<size_t>(kFreshAttributes);
  for (size_t i = 0; i < count; ++i) {
    const std::u16string_view name = attributes[i];
    if (!name.empty()) {
      whole_ = whole_ && IsPlainName(name);
      for (const std::u16string &before : names_) whole_ = whole_ && before != name;
    }
    names_.emplace_back(name);
  }
}

bool XMLDoc::AddChildElement(const ElementShape &shape, const char16_t *data, const std::u16string_view *values) {
  if (shape.Whole()) return mainPos_ && InsertElement(mainPos_, childPos_, shape.Element().c_str(), data, true, &shape, values);
  if (!AddChildElement(shape.Element().c_str(), data)) return false;
  // SetAttributeAt reads terminated texts.
  std::u16string value;
  for (size_t i = 0; i < shape.Names().size(); ++i) {
    if (shape.Names()[i].empty()) continue;  // refused, as SetAttributeAt refuses it
    value.assign(values[i].substr(0, values[i].find(u'\0')));
    SetAttributeAt(childPos_, shape.Names()[i].c_str(), value.c_str());
  }
  return true;
}

namespace {

// Writes through a pointer into room made for the text beforehand.
struct Writer {
  char16_t *p;
  void Put(char16_t c) { *p++ = c; }
  void Put(std::u16string_view text) {
    for (char16_t c : text) *p++ = c;
  }
  // Escaped as AppendEscaped escapes, up to a NUL: at most 6 characters
  // for one.
  void PutEscaped(std::u16string_view text, bool forAttribute) {
    for (char16_t c : text) {
      if (c == 0) break;
      if (!xmlscan::Escaped(c, forAttribute)) {
        *p++ = c;
        continue;
      }
      for (const char16_t *e = Entity(c); *e; ++e) *p++ = *e;
    }
  }
};

}  // namespace

bool XMLDoc::InsertElement(int32_t parent, int32_t after, const char16_t *name, const char16_t *data,
                           bool asChild, const ElementShape *shape, const std::u16string_view *values) {
  Edited();
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
    while (xmlscan::IsSpace(CharAt(p))) ++p;
    if (CharAt(p) == 0 || CharAt(p) == u'<') offset = p;
  }

  // The text that goes in: for an empty parent '>' CR LF first and its end
  // tag after; for a parent without content CR LF first; then the element
  // and its CR LF.  Written into room reckoned for the longest it can be
  // (every character of data and values escaped, 6 for 1).
  const std::u16string_view parentName = parentEmpty ? TagNameView(parent) : std::u16string_view();
  const std::u16string_view dataText = data ? std::u16string_view(data) : std::u16string_view();
  const size_t attributes = shape ? shape->Names().size() : 0;
  size_t room = 16 + 2 * tagName.size() + 6 * dataText.size() + parentName.size();
  for (size_t i = 0; i < attributes; ++i) room += 4 + shape->Names()[i].size() + 6 * values[i].size();
  if (room > insertCapacity_) {
    insertCapacity_ = room + room / 2;
    insertText_.reset(new char16_t[insertCapacity_]);
  }
  Writer w{insertText_.get()};
  if (parentEmpty) w.Put(u'>');
  if (parentEmpty || parentBare) w.Put(kLineEnd);
  int32_t startTag, endTag, length;
  uint32_t flags = 0;
  const char16_t *const element = w.p;
  w.Put(u'<');
  w.Put(tagName);
  // Attributes given with the element, each where SetAttributeAt would put
  // it, with where its name starts (from the element's start).
  int32_t nameAt[kFreshAttributes], nameLength[kFreshAttributes], named = 0;
  for (size_t i = 0; i < attributes; ++i) {
    const std::u16string &name = shape->Names()[i];
    if (name.empty()) continue;
    w.Put(u' ');
    nameAt[named] = static_cast<int32_t>(w.p - element);
    nameLength[named++] = static_cast<int32_t>(name.size());
    w.Put(name);
    w.Put(u'=');
    w.Put(u'"');
    w.PutEscaped(values[i], true);
    w.Put(u'"');
  }
  const int32_t attributeLength = static_cast<int32_t>(w.p - element) - 1 - n;
  if (!dataText.empty()) {
    w.Put(u'>');
    const char16_t *const before = w.p;
    w.PutEscaped(dataText, false);
    const int32_t escaped = static_cast<int32_t>(w.p - before);
    w.Put(u'<');
    w.Put(u'/');
    w.Put(tagName);
    w.Put(u'>');
    startTag = n + 2 + attributeLength;
    endTag = n + 3;
    length = 2 * n + 5 + escaped + attributeLength;
  } else {
    w.Put(u'/');
    w.Put(u'>');
    startTag = length = n + 3 + attributeLength;
    endTag = 2;
    flags = kElementEmpty;
  }
  w.Put(kLineEnd);
  if (parentEmpty) {
    w.Put(u'<');
    w.Put(u'/');
    w.Put(parentName);
  }
  const std::u16string_view inserted(insertText_.get(), static_cast<size_t>(w.p - insertText_.get()));

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
    const int32_t parentNameLength = static_cast<int32_t>(parentName.size());
    ReplaceText(p.start + StartTagLength(p) - 2, 1, inserted);
    delta = static_cast<int32_t>(inserted.size()) - 1;
    SetTagLengths(p, StartTagLength(p) - 1, EndTagLength(p) + parentNameLength + 1);
    p.levelFlags &= ~kElementEmpty;
  } else if (parentBare) {
    ReplaceText(ContentStart(p), 0, inserted);
    delta = static_cast<int32_t>(inserted.size());
  } else {
    ReplaceText(offset, 0, inserted);
    delta = static_cast<int32_t>(inserted.size());
  }
  AdjustOffsets(index, delta);
  // A start tag the attribute search reads as its name and the attributes
  // given here.
  fresh_.index = IsPlainName(tagName) ? index : 0;
  fresh_.count = named;
  std::copy_n(nameAt, named, fresh_.nameAt);
  std::copy_n(nameLength, named, fresh_.nameLength);

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
