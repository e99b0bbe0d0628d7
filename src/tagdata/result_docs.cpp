// The IdentifyTags and ReadTags builders.
//
//   <ReadTags Reader=".." TagCount=".." Date="MMDDYYYY" Time="hh:mm:ss" ApiVersion="M.m">
//   <Tag ID="16 digits" SWTT=".." HWTAGTYPE=".." Antenna="hh" NrFields="n">
//   <Field Type="SWTT" EntryNr=.. SWTTmask=.. Name=.. DataType=.. DataStart=.. DataLen=.. FieldStatus=..>value</Field>
//   <Field EntryNr="7" Warning="FieldDoesNotExist"/>
//   <Field Type="MEM" Name=.. DataType=.. DataStart=.. DataLen=..>value</Field>
//   </Tag>
//   </ReadTags>
//
// HWTAGTYPE and Antenna appear only for drivers of interface version 2 or
// later.  IdentifyTags has the same root attributes and empty Tag elements.
#include "tagdata/result_docs.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "api/dispatcher.h"
#include "api/result_codes.h"
#include "config/swtt.h"
#include "platform/platform.h"
#include "platform/widestring.h"
#include "tagdata/codec.h"
#include "xml/xmldoc.h"

namespace {

// What one attribute value may carry.
constexpr size_t kMaxAttributeText = 513;

// An attribute's text in the system code page as UTF-16, cut to what an
// attribute value may carry, in a buffer of its own, reused: the view (its
// data terminated) holds until the next conversion.  (Converted one unit
// further than kept, so that the cut falls after whole characters.)
class WideText {
 public:
  std::u16string_view operator()(std::string_view text) {
    size_t n = plat::AnsiToWideField(text, buffer_, sizeof buffer_ / sizeof buffer_[0]);
    if (n > kMaxAttributeText) buffer_[n = kMaxAttributeText] = 0;
    return std::u16string_view(buffer_, n);
  }

 private:
  char16_t buffer_[kMaxAttributeText + 3];
};

// A fixed-size 8-bit field of the control block, up to its NUL.
std::string_view Field8(const char *field, size_t size) { return std::string_view(field, strnlen(field, size)); }

std::string Upcased(std::string s) {
  for (char &c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return s;
}

struct DriverVersion {
  uint32_t major = 0, minor = 0;
};

DriverVersion VersionOf(const ReaderContext *context) {
  DriverVersion v;
  if (const auto *record = static_cast<const G4DriverRecord *>(context->driverHandle)) {
    v.major = record->majorVersion;
    v.minor = record->minorVersion;
  }
  return v;
}

uint32_t TagEnd(const RfidControl *c) {
  return c->tagCount < c->tagCapacity ? c->tagCount : c->tagCapacity;
}

bool TagGood(const RfidControl *c, uint32_t t) { return c->tagStatus && c->tagStatus[t] == 0; }

const TagInfo *InfoOf(const RfidControl *c, uint32_t t) { return c->tagTable ? c->tagTable[t].info : nullptr; }

// The root with its five attributes; counts the good tags from `from`.
void StartDoc(ReaderContext *context, XMLDoc &doc, const char16_t *root, uint32_t from) {
  const RfidControl *c = context->control;
  uint32_t good = 0;
  for (uint32_t t = from; t < TagEnd(c); ++t)
    if (TagGood(c, t)) ++good;
  plat::LocalTime now = plat::GetLocalTime();
  DriverVersion v = VersionOf(context);

  doc.AddElement(root);
  int32_t at = doc.GetMainPosition();
  doc.SetAttributeAt(at, u"Reader", WideText()(Field8(context->readerName, sizeof context->readerName)).data());
  doc.SetAttributeAt(at, u"TagCount", static_cast<int32_t>(good));
  doc.SetAttributeAt(at, u"Date", wstr::Format(u"%02d%02d%04d", now.month, now.day, now.year));
  doc.SetAttributeAt(at, u"Time", wstr::Format(u"%02d:%02d:%02d", now.hour, now.minute, now.second));
  doc.SetAttributeAt(at, u"ApiVersion",
                     wstr::Format(u"%d.%d", static_cast<int>(v.major), static_cast<int>(v.minor)));
}

using wstr::Decimal;

// The wide texts of one Field or Tag element, alive together while its
// attributes are handed over.
struct ElementTexts {
  WideText value, mask, name, type;
};

// A Tag element for tag t, as the child of the root, with ID, SWTT and
// (drivers of version 2 or later) HWTAGTYPE and Antenna, in that order.
void AddTag(ReaderContext *context, XMLDoc &doc, uint32_t t, bool upcaseSwtt, ElementTexts &texts) {
  const RfidControl *c = context->control;
  TagRecord record{};
  if (c->tagTable) record = c->tagTable[t];
  char16_t id[17];
  TagIdText(record, id);
  const TagInfo *info = InfoOf(c, t);
  const std::string swtt(info ? Field8(info->swtt, sizeof info->swtt) : std::string_view());
  static const XMLDoc::ElementShape kTag(u"Tag", {u"ID", u"SWTT"});
  static const XMLDoc::ElementShape kTagWithType(u"Tag", {u"ID", u"SWTT", u"HWTAGTYPE", u"Antenna"});
  const std::u16string_view values[] = {
      std::u16string_view(id, 16),
      texts.value(upcaseSwtt ? Upcased(swtt) : swtt),
      texts.type(info ? Field8(info->tagType, sizeof info->tagType) : std::string_view()),
      texts.name(HexByteText(info ? info->antenna : 0).text),
  };
  doc.AddChildElement(VersionOf(context).major >= 2 ? kTagWithType : kTag, nullptr, values);
}

// Serialises the document into the context's result document text.
void StoreDoc(ReaderContext *context, const XMLDoc &doc, uint32_t *documentLength) {
  std::free(context->docText);
  context->docText = nullptr;
  const std::u16string &text = doc.GetDoc();
  size_t size = text.size() + 2;
  auto *stored = static_cast<char *>(std::malloc(size));
  if (!stored) return;
  // Zero-filled behind the text: the conversion writes the text and its
  // terminator, and the rest is cleared here (rather than all of it first).
  const size_t used = plat::WideToAnsiField(text, stored, size);
  std::memset(stored + used, 0, size - used);
  context->docText = stored;
  if (documentLength) *documentLength = static_cast<uint32_t>(text.size());
}

int32_t FieldStatusOf(const RfidControl *c, uint32_t slot, uint32_t t) {
  if (!c->fieldStatus || slot >= TAGDRV_MAX_SLOTS || !c->fieldStatus[slot]) return 0;
  return c->fieldStatus[slot][t];
}

}  // namespace

int32_t BuildIdentifyDoc(ReaderContext *context, uint32_t *documentLength) {
  if (!context || !context->control) return 0;
  const RfidControl *c = context->control;
  XMLDoc doc;
  StartDoc(context, doc, u"IdentifyTags", 0);
  bool upcase = VersionOf(context).major < 2;
  ElementTexts texts;
  for (uint32_t t = 0; t < TagEnd(c); ++t)
    if (TagGood(c, t)) AddTag(context, doc, t, upcase, texts);
  StoreDoc(context, doc, documentLength);
  return 0;
}

int32_t BuildReadDoc(ReaderContext *context, uint32_t *documentLength, const CommandRequest &request) {
  if (!context || !context->control) return 0;
  // The Field elements' attributes, in the order they are set.
  static const XMLDoc::ElementShape kSwttField(
      u"Field", {u"Type", u"EntryNr", u"SWTTmask", u"Name", u"DataType", u"DataStart", u"DataLen", u"FieldStatus"});
  static const XMLDoc::ElementShape kMissingField(u"Field", {u"EntryNr", u"Warning"});
  static const XMLDoc::ElementShape kMemField(u"Field", {u"Type", u"Name", u"DataType", u"DataStart", u"DataLen"});
  const RfidControl *c = context->control;
  XMLDoc doc;
  StartDoc(context, doc, u"ReadTags", c->firstTag);
  const uint32_t memCount = request.memCount < kMaxMemFields ? request.memCount : kMaxMemFields;
  {
    // Room for the whole document from the start, so that the text and the
    // table are not copied over and over as they grow.  An estimate: about
    // 90 characters a Tag element and 145 a Field; more, if it comes, is
    // made as usual.
    size_t tags = 0;
    for (uint32_t t = 0; t < TagEnd(c); ++t) tags += TagGood(c, t) ? 1 : 0;
    const size_t fields = memCount + (request.swttCount > 0 ? request.swttCount : request.swttCount < 0 ? 4 : 0);
    doc.ReserveText(doc.GetDoc().size() + tags * (90 + 145 * fields) + 32);
    const size_t elements = static_cast<size_t>(doc.GetNextFreeIndex()) + tags * (1 + fields);
    if (elements < static_cast<size_t>(INT32_MAX))
      while (doc.GetElementCapacity() < static_cast<int32_t>(elements)) doc.ReserveElements(static_cast<int32_t>(elements));
  }
  std::string text, name, mask, typeName;
  ElementTexts texts;
  SlotValues slotValues(context);

  for (uint32_t t = 0; t < TagEnd(c); ++t) {
    if (!TagGood(c, t)) continue;
    AddTag(context, doc, t, true, texts);
    doc.SavePosition(u"");
    int32_t fields = 0;

    if (request.swttCount != 0) {
      const TagInfo *info = InfoOf(c, t);
      char swtt[13] = {};
      if (info) std::memcpy(swtt, info->swtt, 12);
      int32_t i = SwttFind(context, swtt);
      if (!context->templates) {
        Post(context, kLevelWarning, kSrcRead, kErrNoTemplate, u"");
      } else if (i >= 0) {
        // (field number, slot) pairs in the order they are shown.
        int32_t numbers[kSwttFieldCount];
        uint32_t slots[kSwttFieldCount];
        int32_t count = 0;
        if (request.swttCount < 0) {
          for (int32_t n = 0; n < kSwttFieldCount; ++n)
            if (context->templates[i].fields[n].defined == 1) {
              numbers[count] = n;
              slots[count++] = memCount + static_cast<uint32_t>(n);
            }
        } else {
          for (int32_t k = 0; k < request.swttCount && k < kMaxSwttFields; ++k) {
            numbers[count] = request.swttFields[k];
            slots[count++] = memCount + static_cast<uint32_t>(k);
          }
        }
        for (int32_t k = 0; k < count; ++k) {
          const int32_t n = numbers[k];
          const int32_t slot = static_cast<int32_t>(slots[k]);
          doc.StepIntoElement();
          size_t room = 0;
          const uint8_t *value = slotValues.At(slot, static_cast<int32_t>(t), &room);
          typeName.clear();
          text.clear();
          const Decimal entry(n);
          if (FormatSwttValue(context, text, name, mask, typeName, value, room, i, n)) {
            const SwttField &f = context->templates[i].fields[n];
            const Decimal start(f.dataStart), length(f.dataLen),
                status(FieldStatusOf(c, static_cast<uint32_t>(slot), t));
            const std::u16string_view values[] = {
                u"SWTT",          entry.view,  texts.mask(mask), texts.name(name), texts.type(typeName),
                start.view,       length.view, status.view,
            };
            doc.AddChildElement(kSwttField, texts.value(text).data(), values);
          } else {
            const std::u16string_view values[] = {entry.view, u"FieldDoesNotExist"};
            doc.AddChildElement(kMissingField, nullptr, values);
            Post(context, kLevelWarning, kSrcRead, kErrNoSuchField, wstr::Format(u"Field %d", n));
          }
          ++fields;
          doc.StepOutOfElement();
        }
      }
    }

    for (uint32_t m = 0; m < memCount; ++m) {
      const MemField &mf = request.memFields[m];
      doc.StepIntoElement();
      size_t room = 0;
      const uint8_t *value = slotValues.At(static_cast<int32_t>(m), static_cast<int32_t>(t), &room);
      text.clear();
      typeName.clear();
      // A type letter other than h, i, s shows an empty value and type.
      FormatValue(mf.type, mf.length, value, room, text, typeName);
      const Decimal start(mf.start), length(mf.length);
      const std::u16string_view values[] = {
          u"MEM",
          texts.name(Field8(mf.name, sizeof mf.name)),
          texts.type(typeName),
          start.view,
          length.view,
      };
      doc.AddChildElement(kMemField, texts.value(text).data(), values);
      ++fields;
      doc.StepOutOfElement();
    }

    doc.RestorePosition(u"");
    doc.SetAttributeAt(doc.GetChildPosition(), u"NrFields", fields);
  }
  StoreDoc(context, doc, documentLength);
  return 0;
}
