// readcache.cpp -- the read cache of the exported reader's walks: each
// element's interned tag name, its data and its first attribute as spans of
// the text, worked out the first time a walk asks for them.
#include <algorithm>

#include "xml/scan.h"
#include "xml/xmldoc.h"

uint8_t XMLDoc::InternName(std::u16string_view name) {
  // A document has a handful of names: a linear search over them beats
  // hashing the name.
  for (size_t i = 0; i < readNames_.size(); ++i)
    if (readNames_[i] == name) return static_cast<uint8_t>(i + 1);
  if (readNames_.size() >= kMaxReadNames || name.find(u'\0') != std::u16string_view::npos) return 0;
  readNames_.emplace_back(name);
  return static_cast<uint8_t>(readNames_.size());
}

XMLDoc::ReadEntry &XMLDoc::FillReadEntry(int32_t index) {
  // Grown with the table, by half again so that a document built while it
  // is read grows it in few steps.
  const size_t need = static_cast<size_t>(nextFree_);
  if (readCache_.size() < need) {
    readCache_.resize(need + need / 2);
    readEntries_ = readCache_.data();
    readEntryCount_ = static_cast<uint32_t>(readCache_.size());
  }
  ReadEntry &e = readCache_[static_cast<size_t>(index)];
  e.generation = readGeneration_;
  e.known = 0;
  e.attribute = 0;
  e.dataLength = kDataUnknown;
  const ElementRecord &r = Rec(index);
  e.next = r.nextSibling;
  e.parent = r.parent;
  e.firstChild = r.firstChild;
  // The name FindChildNamed compares: TagNameIs(index, name) is
  // TagNameView(index) == name.
  e.name = InternName(TagNameView(index));
  return e;
}

std::u16string_view XMLDoc::FillChildData(ReadEntry &entry, std::u16string &scratch) {
  const std::u16string_view data = DataView(childPos_, scratch);
  // A view of the text holds until the next edit, which drops the entry;
  // decoded data lives in scratch and is decoded again each time, as is
  // data longer than the entry's 15 bits.
  const char16_t *const text = doc_.data();
  if (data.empty()) {
    entry.dataStart = 0;
    entry.dataLength = 0;
  } else if (data.data() >= text && data.data() + data.size() <= text + doc_.size() && data.size() <= 0x7FFF) {
    entry.dataStart = static_cast<int32_t>(data.data() - text);
    entry.dataLength = static_cast<int16_t>(data.size());
  } else {
    entry.dataLength = -1;
  }
  return data;
}

std::u16string_view XMLDoc::ChildAttributeView(const char16_t *name, std::u16string &scratch) {
  const int32_t index = childPos_;
  if (index <= 0 || index >= nextFree_ || !mainPos_ || !name) return {};
  ReadEntry &e = ReadEntryAt(index);
  if (!(e.known & kReadAttribute)) {
    // The first attribute as AttributeView reads it in place, which answers
    // exactly the name equal to this one: the entry keeps the name and the
    // value's span when the value needs no decoding.
    e.known |= kReadAttribute;
    e.attribute = 0;
    std::u16string_view first;
    int32_t from = 0, length = 0;
    if (FirstPlainAttribute(index, first, from, length)) {
      // UnescapeView's answer without decoding: the span itself (cut at
      // the text's end) when it holds no '&', nothing when it is empty.
      const int32_t size = static_cast<int32_t>(doc_.size());
      const char16_t *const text = doc_.c_str();
      const int32_t end = std::min(from + length, size);
      if (length <= 0 || end <= from) {
        e.attribute = InternName(first);
        e.attributeStart = e.attributeLength = 0;
      } else if (end - from <= 0x7FFF &&
                 xmlscan::FindCharWithin(text + from, text + end, text + size + 1, u'&') == text + end) {
        e.attribute = InternName(first);
        e.attributeStart = from;
        e.attributeLength = static_cast<int16_t>(end - from);
      }
    }
  }
  if (e.attribute && IsReadName(e.attribute, name))
    return std::u16string_view(doc_.data() + e.attributeStart, static_cast<size_t>(e.attributeLength));
  return AttributeView(index, name, scratch);
}

void XMLDoc::PrefetchAhead() const {
#if defined(__GNUC__)
  // A walk goes on to the elements after this one: ask for the text it will
  // read some elements ahead.  Both requests pay (measured at 100,000 tags:
  // either alone leaves the walk 1.7x to 2.6x slower than both): the data
  // and the first attribute of the entry sixteen indexes on (the table is
  // in document order), which the cache knows from an earlier walk, and
  // the text 4 KiB past this element, which serves the first walk too.
  const size_t ahead = static_cast<size_t>(childPos_) + 16;
  if (ahead < readCache_.size()) {
    const ReadEntry &later = readCache_[ahead];
    if (later.generation == readGeneration_) {
      if (later.dataLength > 0) __builtin_prefetch(doc_.data() + later.dataStart);
      if ((later.known & kReadAttribute) && later.attribute) __builtin_prefetch(doc_.data() + later.attributeStart);
    }
  }
  const ElementRecord &child = Rec(childPos_);
  const size_t after = static_cast<size_t>(child.start) + static_cast<size_t>(child.length);
  if (after + 2144 < doc_.size()) {
    __builtin_prefetch(doc_.data() + after + 2048);
    __builtin_prefetch(doc_.data() + after + 2144);
  }
#endif
}
