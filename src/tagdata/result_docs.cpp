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

std::u16string Wide(std::string_view text) {
  std::u16string w = plat::AnsiToWide(text);
  if (w.size() > kMaxAttributeText) w.resize(kMaxAttributeText);
  return w;
}

std::string Field8(const char *field, size_t size) { return std::string(field, strnlen(field, size)); }

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
  doc.SetAttributeAt(at, u"Reader", Wide(Field8(context->readerName, sizeof context->readerName)));
  doc.SetAttributeAt(at, u"TagCount", static_cast<int32_t>(good));
  doc.SetAttributeAt(at, u"Date", wstr::Format(u"%02d%02d%04d", now.month, now.day, now.year));
  doc.SetAttributeAt(at, u"Time", wstr::Format(u"%02d:%02d:%02d", now.hour, now.minute, now.second));
  doc.SetAttributeAt(at, u"ApiVersion",
                     wstr::Format(u"%d.%d", static_cast<int>(v.major), static_cast<int>(v.minor)));
}

// A Tag element for tag t, as the child of the root.
void AddTag(ReaderContext *context, XMLDoc &doc, uint32_t t, bool upcaseSwtt) {
  const RfidControl *c = context->control;
  doc.AddChildElement(u"Tag");
  int32_t at = doc.GetChildPosition();
  TagRecord record{};
  if (c->tagTable) record = c->tagTable[t];
  doc.SetAttributeAt(at, u"ID", TagIdText(record));
  const TagInfo *info = InfoOf(c, t);
  std::string swtt = info ? Field8(info->swtt, sizeof info->swtt) : std::string();
  doc.SetAttributeAt(at, u"SWTT", Wide(upcaseSwtt ? Upcased(swtt) : swtt));
  if (VersionOf(context).major >= 2) {
    doc.SetAttributeAt(at, u"HWTAGTYPE", Wide(info ? Field8(info->tagType, sizeof info->tagType) : std::string()));
    doc.SetAttributeAt(at, u"Antenna", Wide(HexByteText(info ? info->antenna : 0).text));
  }
}

// Serialises the document into the context's result document text.
void StoreDoc(ReaderContext *context, const XMLDoc &doc, uint32_t *documentLength) {
  std::free(context->docText);
  context->docText = nullptr;
  const std::u16string &text = doc.GetDoc();
  size_t size = text.size() + 2;
  auto *stored = static_cast<char *>(std::calloc(size, 1));
  if (!stored) return;
  plat::WideToAnsiField(text, stored, size);
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
  for (uint32_t t = 0; t < TagEnd(c); ++t)
    if (TagGood(c, t)) AddTag(context, doc, t, upcase);
  StoreDoc(context, doc, documentLength);
  return 0;
}

int32_t BuildReadDoc(ReaderContext *context, uint32_t *documentLength, const CommandRequest &request) {
  if (!context || !context->control) return 0;
  const RfidControl *c = context->control;
  XMLDoc doc;
  StartDoc(context, doc, u"ReadTags", c->firstTag);
  const uint32_t memCount = request.memCount < kMaxMemFields ? request.memCount : kMaxMemFields;
  std::string text, name, mask, typeName;

  for (uint32_t t = 0; t < TagEnd(c); ++t) {
    if (!TagGood(c, t)) continue;
    AddTag(context, doc, t, true);
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
          const uint8_t *value = SlotValuePtr(context, slot, static_cast<int32_t>(t));
          size_t room = SlotValueRoom(context, slot, static_cast<int32_t>(t));
          typeName.clear();
          text.clear();
          if (FormatSwttValue(context, text, name, mask, typeName, value, room, i, n)) {
            const SwttField &f = context->templates[i].fields[n];
            doc.AddChildElement(u"Field", Wide(text));
            int32_t at = doc.GetChildPosition();
            doc.SetAttributeAt(at, u"Type", u"SWTT");
            doc.SetAttributeAt(at, u"EntryNr", n);
            doc.SetAttributeAt(at, u"SWTTmask", Wide(mask));
            doc.SetAttributeAt(at, u"Name", Wide(name));
            doc.SetAttributeAt(at, u"DataType", Wide(typeName));
            doc.SetAttributeAt(at, u"DataStart", f.dataStart);
            doc.SetAttributeAt(at, u"DataLen", f.dataLen);
            doc.SetAttributeAt(at, u"FieldStatus", FieldStatusOf(c, static_cast<uint32_t>(slot), t));
          } else {
            doc.AddChildElement(u"Field");
            int32_t at = doc.GetChildPosition();
            doc.SetAttributeAt(at, u"EntryNr", n);
            doc.SetAttributeAt(at, u"Warning", u"FieldDoesNotExist");
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
      const uint8_t *value = SlotValuePtr(context, static_cast<int32_t>(m), static_cast<int32_t>(t));
      size_t room = SlotValueRoom(context, static_cast<int32_t>(m), static_cast<int32_t>(t));
      text.clear();
      typeName.clear();
      // A type letter other than h, i, s shows an empty value and type.
      FormatValue(mf.type, mf.length, value, room, text, typeName);
      doc.AddChildElement(u"Field", Wide(text));
      int32_t at = doc.GetChildPosition();
      doc.SetAttributeAt(at, u"Type", u"MEM");
      doc.SetAttributeAt(at, u"Name", Wide(Field8(mf.name, sizeof mf.name)));
      doc.SetAttributeAt(at, u"DataType", Wide(typeName));
      doc.SetAttributeAt(at, u"DataStart", mf.start);
      doc.SetAttributeAt(at, u"DataLen", mf.length);
      ++fields;
      doc.StepOutOfElement();
    }

    doc.RestorePosition(u"");
    doc.SetAttributeAt(doc.GetChildPosition(), u"NrFields", fields);
  }
  StoreDoc(context, doc, documentLength);
  return 0;
}
