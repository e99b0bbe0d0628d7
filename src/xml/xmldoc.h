// xmldoc.h -- the library's XML document class.
//
// An XMLDoc holds one UTF-16 text and, beside it, a flat table of element
// records that index that text.  Nothing is copied out of the text while
// parsing: each record only says where an element's start tag, content and
// end tag lie.  Reads cut names, attribute values and data out of the text
// on demand; edits change the text in place and shift the recorded offsets,
// so a document built by many small additions is never reparsed.
//
// All offsets and lengths count UTF-16 code units from 0.
//
// Element indexes: the upper 16 bits pick a segment of the table, the lower
// 16 bits a record in it.  Index 0 is both the document record and "none".
// Records never move and are never removed; a parse starts over from 1.
//
// The position is three indexes: parent (whose children the main position
// walks, 0 = the document level), main (the current element, 0 = before the
// first element of the level) and child (the current child of main, 0 =
// before the first child).
#ifndef VOLNEDA_XML_XMLDOC_H
#define VOLNEDA_XML_XMLDOC_H

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "xml/scan.h"

// One element, eight 32-bit words.
struct ElementRecord {
  int32_t start;        // offset of the '<' that opens the start tag
  int32_t length;       // start tag's '<' through end tag's '>'; an empty element: its one tag
  uint32_t tagLengths;  // bits 0-21 start-tag length, bits 22-31 end-tag length (signed)
  uint32_t levelFlags;  // bits 0-15 depth, bit 16 empty element, bit 19 first child
  int32_t parent;       // 0 for the root
  int32_t firstChild;   // 0 when none
  int32_t nextSibling;  // 0 for the last child
  int32_t prevSibling;  // the first child's refers to the last child
};
static_assert(sizeof(ElementRecord) == 32, "an element record is eight words");

constexpr int32_t kElementSegmentSize = 65536;
constexpr uint32_t kElementEmpty = 1u << 16;
constexpr uint32_t kElementFirstChild = 1u << 19;
constexpr uint32_t kElementLevelMask = 0xFFFFu;
constexpr int32_t kMaxStartTagLength = 0x3FFFFF;
constexpr int32_t kMaxEndTagLength = 511;

inline int32_t StartTagLength(const ElementRecord &r) { return static_cast<int32_t>(r.tagLengths & 0x3FFFFFu); }
inline int32_t EndTagLength(const ElementRecord &r) { return static_cast<int32_t>(r.tagLengths) >> 22; }
// The packing keeps only 22 and 10 bits: longer tags are cut to the field.
inline void SetTagLengths(ElementRecord &r, int32_t startTag, int32_t endTag) {
  r.tagLengths = (static_cast<uint32_t>(startTag) & 0x3FFFFFu) | (static_cast<uint32_t>(endTag) << 22);
}
inline int32_t ElementLevel(const ElementRecord &r) { return static_cast<int32_t>(r.levelFlags & kElementLevelMask); }
inline bool IsEmptyElement(const ElementRecord &r) { return (r.levelFlags & kElementEmpty) != 0; }
inline int32_t ContentStart(const ElementRecord &r) { return r.start + StartTagLength(r); }
inline int32_t ContentLength(const ElementRecord &r) { return r.length - StartTagLength(r) - EndTagLength(r); }
inline int32_t EndTagOffset(const ElementRecord &r) { return r.start + r.length - EndTagLength(r); }

// Node types the scanner reports.
enum XmlNodeType : int32_t {
  kNodeEndOfDoc = -2,
  kNodeError = -1,
  kNodeEndTag = 0,
  kNodeStartTag = 1,
  kNodeText = 2,
  kNodeWhitespace = 4,
  kNodeCData = 8,
  kNodeProcessing = 16,
  kNodeComment = 32,
  kNodeDoctype = 64,
};

// One scanned markup node; also an entry of the parser's open-element stack.
struct NodeRecord {
  int32_t type = kNodeEndOfDoc;
  int32_t start = 0;
  int32_t length = 0;
  uint32_t flags = 0;  // bit 16: a start tag that ends in "/>"
  std::u16string name; // tag name, processing instruction target, or error message
  // A start tag's name where it stands in the text, instead of a copy in
  // name (nameAt -1: the name is in name).
  int32_t nameAt = -1;
  int32_t nameLength = 0;
};

// The scanner's cursor.  last < first means an empty token.
struct TokenSpan {
  int32_t first = 0;
  int32_t last = -1;
  int32_t next = 0;
  const std::u16string *text = nullptr;
  bool quoted = false;
};

// A position saved under a name.
struct SavedPosition {
  std::u16string name;
  int32_t index = 0;
  uint32_t flags = 0;  // bit 0 main, bit 1 child, bit 2 in use, bit 3 last entry
};

class XMLDoc {
 public:
  XMLDoc();
  explicit XMLDoc(const char16_t *text);
  explicit XMLDoc(std::u16string_view text);
  ~XMLDoc();
  XMLDoc(const XMLDoc &) = delete;
  XMLDoc &operator=(const XMLDoc &) = delete;

  // ---- Document --------------------------------------------------------
  // Replaces the text (null = empty) and parses it; false when it is not a
  // well-formed document, with the reason in GetError() (empty for an
  // empty text).  Clears the position and every saved position.
  bool SetDoc(const char16_t *text = nullptr);
  bool SetDoc(std::u16string_view text);
  const std::u16string &GetDoc() const { return doc_; }
  const std::u16string &GetError() const { return error_; }
  // True when the table has a root element.
  bool IsWellFormed() const;

  // ---- Element table ---------------------------------------------------
  // Grows the table to at least size records, by at most one segment per
  // call; 0 grows it by half.  Always true.
  bool ReserveElements(int32_t size);
  int32_t GetElementCapacity() const { return capacity_; }
  // Number of elements + 1.
  int32_t GetNextFreeIndex() const { return nextFree_; }
  // Room for a text of this many characters, for a builder that knows
  // roughly how long its document will be (the text grows as needed
  // anyway).
  void ReserveText(size_t length) {
    if (length > doc_.capacity()) doc_.reserve(length);
  }
  // Record at an index below GetNextFreeIndex() (0 = the document record).
  const ElementRecord &Record(int32_t index) const { return Rec(index); }

  // ---- Position --------------------------------------------------------
  int32_t GetParentPosition() const { return parentPos_; }
  int32_t GetMainPosition() const { return mainPos_; }
  int32_t GetChildPosition() const { return childPos_; }
  void Rewind() { parentPos_ = mainPos_ = childPos_ = 0; }

  // Next element at the main level (by name when one is given).
  bool FindElement(const char16_t *name = nullptr);
  bool FindElement(const std::u16string &name) { return FindElement(name.c_str()); }
  // Next child of main (by name when one is given).
  bool FindChildElement(const char16_t *name = nullptr);
  bool FindChildElement(const std::u16string &name) { return FindChildElement(name.c_str()); }
  // The child level becomes the main level (main may become 0).
  bool StepIntoElement();
  // The parent level becomes the main level.
  bool StepOutOfElement();

  // Named saved positions; the rest of the library uses the empty name as
  // a single slot.  A null name is refused.  Lost by every parse.
  bool SavePosition(const char16_t *name);
  bool SavePosition(const std::u16string &name) { return SavePosition(name.c_str()); }
  bool RestorePosition(const char16_t *name);
  bool RestorePosition(const std::u16string &name) { return RestorePosition(name.c_str()); }

  // A stack of positions (for the exported Push/Pop); emptied by a parse
  // and freed with the document.  PopPosition is false on an empty stack.
  void PushPosition();
  bool PopPosition();

  // ---- Reading ---------------------------------------------------------
  std::u16string GetTagName() const { return TagNameAt(mainPos_); }
  std::u16string GetChildTagName() const { return TagNameAt(childPos_); }
  std::u16string TagNameAt(int32_t index) const;
  // Attribute value (entities decoded); empty when missing.
  std::u16string GetAttribute(const char16_t *name) const { return AttributeAt(mainPos_, name); }
  std::u16string GetAttribute(const std::u16string &name) const { return GetAttribute(name.c_str()); }
  std::u16string GetChildAttribute(const char16_t *name) const { return AttributeAt(childPos_, name); }
  std::u16string GetChildAttribute(const std::u16string &name) const { return GetChildAttribute(name.c_str()); }
  std::u16string AttributeAt(int32_t index, const char16_t *name) const;
  // Data of the child: a CDATA section's raw text, or the decoded content;
  // empty for an empty element or one with child elements.
  std::u16string GetChildData() const { return DataAt(childPos_); }
  std::u16string DataAt(int32_t index) const;
  // The same readings without a copy: a view of the text itself when it
  // needs no decoding, else of scratch, which then holds the decoded
  // characters.  A view lasts until the next edit or parse of the document
  // (or the next use of scratch).
  std::u16string_view TagNameView(int32_t index) const;
  // TagNameView(index) == name, without scanning past the name.
  bool TagNameIs(int32_t index, std::u16string_view name) const;
  // FindChildElement(null) again and again until the child's tag name is
  // exactly name (case-sensitive): true then; false when the children run
  // out, with the position on the last child.  A null name is the empty
  // name.
  inline bool FindChildNamed(const char16_t *name);
  std::u16string_view AttributeView(int32_t index, const char16_t *name, std::u16string &scratch) const;
  // The first attribute of element index when it stands plainly: a name of
  // plain characters, '=', a quoted value (its span, not decoded).  False
  // for anything else, which only the token search reads.
  bool FirstPlainAttribute(int32_t index, std::u16string_view &name, int32_t &valueFrom, int32_t &valueLength) const;
  // AttributeView(GetChildPosition(), name, scratch) and
  // DataView(GetChildPosition(), scratch), answered from the read cache
  // (below) when they were asked of this child before.
  std::u16string_view ChildAttributeView(const char16_t *name, std::u16string &scratch);
  // A scratch string kept with the document for the reader's calls, which
  // use each view before they return: no string is made and freed a call.
  std::u16string &ReadScratch() { return readScratch_; }
  inline std::u16string_view ChildDataView(std::u16string &scratch);
  std::u16string_view DataView(int32_t index, std::u16string &scratch) const {
    if (index <= 0 || index >= nextFree_) return {};
    const ElementRecord &r = Rec(index);
    if (r.firstChild || IsEmptyElement(r)) return {};
    // The usual data, taken here: it starts with neither a blank nor '<'
    // (so it is no CDATA section) and holds no '&' (so it is its own
    // decoding).
    const int32_t contentStart = ContentStart(r), endTag = EndTagOffset(r);
    if (contentStart >= 0 && contentStart < endTag && static_cast<size_t>(endTag) <= doc_.size()) {
      const char16_t *const text = doc_.data();
      const char16_t c = text[contentStart];
      if (c != u'<' && !xmlscan::IsSpace(c) &&
          xmlscan::FindCharWithin(text + contentStart, text + endTag, text + doc_.size() + 1, u'&') == text + endTag)
        return std::u16string_view(text + contentStart, static_cast<size_t>(endTag - contentStart));
    }
    return OtherDataView(index, scratch);
  }

  // ---- Editing ---------------------------------------------------------
  // Sets or adds an attribute of the element at index (requires a main
  // position).  An existing value keeps its quotes.
  bool SetAttributeAt(int32_t index, const char16_t *name, const char16_t *value);
  bool SetAttributeAt(int32_t index, const char16_t *name, int32_t value);
  bool SetAttributeAt(int32_t index, const std::u16string &name, const std::u16string &value) {
    return SetAttributeAt(index, name.c_str(), value.c_str());
  }
  bool SetAttributeAt(int32_t index, const std::u16string &name, int32_t value) {
    return SetAttributeAt(index, name.c_str(), value);
  }
  // Replaces the data of an element without child elements.
  bool SetDataAt(int32_t index, const char16_t *text, bool asCData = false);
  bool SetDataAt(int32_t index, const std::u16string &text, bool asCData = false) {
    return SetDataAt(index, text.c_str(), asCData);
  }
  // New element after main under parent; it becomes main.  At the document
  // level only while there is no root.
  bool AddElement(const char16_t *name, const char16_t *data = nullptr);
  bool AddElement(const std::u16string &name, const std::u16string &data = {}) {
    return AddElement(name.c_str(), data.c_str());
  }
  // New child of main after the child position; it becomes the child.
  bool AddChildElement(const char16_t *name, const char16_t *data = nullptr);
  bool AddChildElement(const std::u16string &name, const std::u16string &data = {}) {
    return AddChildElement(name.c_str(), data.c_str());
  }
  // An element name and the names of its attributes, in order, checked
  // once for the AddChildElement below: whether all of them are plain (the
  // attribute search reads each as one token equal to itself alone) and the
  // attribute names all differ.  An attribute with an empty name is left
  // out, as SetAttributeAt refuses it.
  class ElementShape {
   public:
    ElementShape(std::u16string_view element, std::initializer_list<std::u16string_view> attributes)
        : ElementShape(element, attributes.begin(), attributes.size()) {}
    ElementShape(std::u16string_view element, const std::u16string_view *attributes, size_t count);
    const std::u16string &Element() const { return element_; }
    const std::vector<std::u16string> &Names() const { return names_; }
    // One insertion gives the same text and table as the steps.
    bool Whole() const { return whole_; }

   private:
    std::u16string element_;
    std::vector<std::u16string> names_;
    bool whole_ = false;
  };
  // AddChildElement(shape's element, data) and then SetAttributeAt on the
  // new child with each of the shape's names and values[i] in order (a
  // value ends at a NUL): the same text and table, made as one insertion
  // when the shape is whole.  False when the child cannot be added.
  bool AddChildElement(const ElementShape &shape, const char16_t *data, const std::u16string_view *values);

  // ---- Text helpers ----------------------------------------------------
  // '<', '&', '>' become entities; for attribute values also both quotes.
  static std::u16string EscapeText(std::u16string_view text, bool forAttribute);
  static std::u16string EscapeText(const char16_t *text, bool forAttribute);
  static void AppendEscaped(std::u16string &out, std::u16string_view text, bool forAttribute);
  // Decodes the five entities and character references in a span of the
  // document text.
  std::u16string UnescapeText(int32_t offset, int32_t length) const;
  std::u16string_view UnescapeView(int32_t offset, int32_t length, std::u16string &scratch) const;

  // ---- Scanner ---------------------------------------------------------
  // Next token from token.next (whitespace skipped, quoted strings whole).
  bool NextToken(TokenSpan &token) const;
  // With token.next just after a start tag's '<': finds the quoted value of
  // the named attribute (null or empty name: the first attribute name).
  bool FindAttributeToken(TokenSpan &token, const char16_t *name) const;
  std::u16string TokenText(const TokenSpan &token) const { return std::u16string(TokenView(token)); }
  std::u16string_view TokenView(const TokenSpan &token) const;
  // A token names `name` when its characters begin the name and the name
  // then ends or goes on with ' ', '=', '/' or '['.
  bool TokenMatches(const TokenSpan &token, std::u16string_view name) const;
  TokenSpan TokenAt(int32_t next) const;

 private:
  ElementRecord &Rec(int32_t index) { return segments_[index >> 16][index & 0xFFFF]; }
  const ElementRecord &Rec(int32_t index) const { return segments_[index >> 16][index & 0xFFFF]; }
  // Past either end reads as the terminating NUL.
  char16_t CharAt(int32_t offset) const {
    return static_cast<size_t>(offset) < doc_.size() ? doc_[static_cast<size_t>(offset)] : char16_t(0);
  }

  bool ParseDoc();
  int32_t ParseElements(int32_t parentIndex, TokenSpan &token);
  int32_t ParseNode(TokenSpan &token, NodeRecord &node);
  bool ScanCommonNode(TokenSpan &token, NodeRecord &node);
  int32_t ScanOtherNode(TokenSpan &token, NodeRecord &node);
  std::u16string_view NameOf(const NodeRecord &node) const {
    return node.nameAt >= 0 ? std::u16string_view(doc_).substr(static_cast<size_t>(node.nameAt),
                                                               static_cast<size_t>(node.nameLength))
                            : std::u16string_view(node.name);
  }
  void ClearSavedPositions();
  std::u16string_view OtherDataView(int32_t index, std::u16string &scratch) const;

  int32_t FindCandidate(int32_t from, const char16_t *name) const;

  // The read cache: what the exported reader's walks ask of an element,
  // kept beside the table (one entry an index) after the first time it is
  // worked out, so that a walk that comes again reads neither the start
  // tag nor scans the data.  Only the reader's walks use it (the const
  // readings never write it).  Every edit and parse bumps readGeneration_,
  // which drops every entry at once; names are interned per parse, so a
  // child's name is compared with a short string that stays in the cache
  // instead of the text.
  struct ReadEntry {
    uint32_t generation = 0;  // valid while equal to readGeneration_
    int32_t next = 0;         // the record's nextSibling,
    int32_t parent = 0;       // parent
    int32_t firstChild = 0;   // and firstChild
    int32_t dataStart = 0;    // the data as a span of the text
    int32_t attributeStart = 0;  // the first attribute's value likewise
    int16_t dataLength = 0;   // -1: decoded into scratch, or long: read each time; -2: not worked out
    int16_t attributeLength = 0;
    uint8_t name = 0;         // interned tag name + 1; 0: compared in the text
    uint8_t attribute = 0;    // interned name of a plain first attribute + 1; 0: none
    uint8_t known = 0;        // bit 1: the attribute worked out
    uint8_t unused = 0;
  };
  // 32 bytes: two entries a cache line, found by a shift.  A walk's steps
  // read the table's records through them alone.
  static_assert(sizeof(ReadEntry) == 32, "a read entry is eight words");
  static constexpr uint8_t kReadAttribute = 2;
  static constexpr int16_t kDataUnknown = -2;
  // Past a million characters (2 MiB, beyond the second-level cache) the
  // walk asks for the text ahead of it; on a 1,000-tag document (1.8 MB)
  // asking ahead made the walk slower.
  static constexpr size_t kPrefetchFrom = 1u << 20;
  // At most this many names are interned a parse; further names are
  // compared in the text, so a document of many names costs no more than
  // it did.
  static constexpr size_t kMaxReadNames = 255;
  void Edited() {
    if (++readGeneration_ == 0) {
      readCache_.assign(readCache_.size(), ReadEntry{});
      readEntries_ = readCache_.data();
      readGeneration_ = 1;
    }
  }
  // The valid entry of an element index (0 < index < nextFree_), with its
  // name worked out.
  ReadEntry &ReadEntryAt(int32_t index) {
    if (static_cast<uint32_t>(index) < readEntryCount_) {
      ReadEntry &e = readEntries_[index];
      if (e.generation == readGeneration_) return e;
    }
    return FillReadEntry(index);
  }
  ReadEntry &FillReadEntry(int32_t index);
  // The child's tag name is name (null: the empty name), compared in the
  // text: FindChildNamed's test for a name not interned.
  bool ChildNameIs(const char16_t *name) const;
  void PrefetchAhead() const;
  uint8_t InternName(std::u16string_view name);
  // name (null: the empty name) equals interned name id - 1.
  bool IsReadName(uint8_t id, const char16_t *name) const {
    const char16_t *s = readNames_[id - 1u].c_str();
    if (!name) return !*s;
    // Interned names hold no NUL, so the first NUL of either ends both.
    size_t k = 0;
    while (s[k] && s[k] == name[k]) ++k;
    return s[k] == name[k];
  }
  std::u16string_view FillChildData(ReadEntry &entry, std::u16string &scratch);
  std::vector<ReadEntry> readCache_;
  // readCache_'s data and size, read without the vector's arithmetic.
  ReadEntry *readEntries_ = nullptr;
  uint32_t readEntryCount_ = 0;
  std::vector<std::u16string> readNames_;
  std::u16string readScratch_;
  uint32_t readGeneration_ = 1;
  int32_t TakeIndex();
  bool InsertElement(int32_t parent, int32_t after, const char16_t *name, const char16_t *data, bool asChild,
                     const ElementShape *shape = nullptr, const std::u16string_view *values = nullptr);
  void ReplaceText(int32_t offset, int32_t count, std::u16string_view text);
  // Room for count characters at offset, the text growing as ReplaceText
  // grows it; the caller writes them.
  char16_t *OpenGap(int32_t offset, size_t count);
  void AdjustOffsets(int32_t index, int32_t delta);

  std::u16string doc_;
  std::u16string error_;
  int32_t parentPos_ = 0;
  int32_t mainPos_ = 0;
  int32_t childPos_ = 0;
  int32_t nextFree_ = 1;
  std::vector<SavedPosition> *savedPositions_ = nullptr;  // 7 buckets when present
  ElementRecord **segments_ = nullptr;
  int32_t capacity_ = 0;
  int32_t segmentSlots_ = 0;
  struct Position {
    int32_t parent, main, child;
  };
  std::vector<Position> positionStack_;
  // The element the last AddElement or AddChildElement made, while its
  // start tag holds a plain tag name and then only the attributes set on
  // it since (where each name starts, from the element's start): the
  // attribute search on it needs no scan.  Index 0 when there is none.
  static constexpr int32_t kFreshAttributes = 16;
  struct FreshElement {
    int32_t index = 0;
    int32_t count = 0;
    int32_t nameAt[kFreshAttributes];
    int32_t nameLength[kFreshAttributes];
  };
  FreshElement fresh_;
  bool FreshHasAttribute(std::u16string_view name) const;
  std::u16string scratch_;  // text being put together for an edit
  std::unique_ptr<char16_t[]> insertText_;  // the same for an added element, written through a pointer
  size_t insertCapacity_ = 0;
};

// Inline: the walks of the exported reader take a step per call.
inline bool XMLDoc::FindChildNamed(const char16_t *name) {
  for (;;) {
    // The step FindChildElement(null) takes under a main element, done
    // here without the call and from the read cache: the entry of the
    // child before (read by the step before) gives the next index, whose
    // entry alone then gives its parent and its name -- one new line of
    // memory a step, and none of the start tag.  With no main element the
    // step is taken there.
    const ReadEntry *entry;
    if (mainPos_) {
      const int32_t next = childPos_ ? ReadEntryAt(childPos_).next : ReadEntryAt(mainPos_).firstChild;
      if (!next) return false;
      entry = &ReadEntryAt(next);
      childPos_ = next;
      // A child of main leaves main and parent as they are (the position
      // always reads parent -> main -> child); only a table that said
      // otherwise would move them.
      if (entry->parent != mainPos_) {
        mainPos_ = entry->parent;
        parentPos_ = Rec(mainPos_).parent;
      }
    } else if (FindChildElement(nullptr)) {
      entry = &ReadEntryAt(childPos_);
    } else {
      return false;
    }
    if (entry->name) {
      // The interned name, a short string that stays in the cache.
      if (!IsReadName(entry->name, name)) continue;
      // A document larger than the caches: ask for the text ahead.
      if (doc_.size() > kPrefetchFrom) PrefetchAhead();
      return true;
    }
    if (ChildNameIs(name)) return true;
  }
}

inline std::u16string_view XMLDoc::ChildDataView(std::u16string &scratch) {
  const int32_t index = childPos_;
  if (index <= 0 || index >= nextFree_) return {};
  ReadEntry &e = ReadEntryAt(index);
  // One test for the usual case: data known to be a span of the text.
  if (e.dataLength >= 0) return std::u16string_view(doc_.data() + e.dataStart, static_cast<size_t>(e.dataLength));
  if (e.dataLength == kDataUnknown) return FillChildData(e, scratch);
  return DataView(index, scratch);
}

#endif
