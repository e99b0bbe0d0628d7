// VOLNEDA_Write: carries out a WriteTags request, one driver write per Tag
// element, in document order.
#include <cstring>

#include "api/command.h"
#include "api/dispatcher.h"
#include "api/result_codes.h"
#include "config/swtt.h"
#include "platform/platform.h"
#include "platform/widestring.h"
#include "tagdata/codec.h"
#include "tagdata/write_request.h"
#include "tagdrv.h"

namespace {

// Where the SWTT identifier lies in tag memory.
constexpr int32_t kSwttAddress = 12;
constexpr int32_t kSwttBytes = 6;
// An integer MEMField without MemLen is written as a 32-bit number.
constexpr int32_t kDefaultIntLength = 4;

struct WriteTag {
  ReaderContext *context;
  RfidControl *c;
  uint32_t first, end;  // the tag range of the identify

  bool Eligible(uint32_t t) const {
    return c->tagStatus && c->tagSelected && c->tagStatus[t] == 0 && c->tagSelected[t] == 0;
  }
  // Fills tag t's descriptor in the next slot; false when the slots are
  // used up (the element is then not written).
  bool Describe(uint32_t t, int32_t start, int32_t length, bool setKind = true) {
    const uint32_t slot = c->slotCount;
    if (slot >= TAGDRV_MAX_SLOTS || !c->slotDesc || !c->slotDesc[slot]) return false;
    SlotDescriptor &d = c->slotDesc[slot][t];
    d.start = start;
    d.length = length;
    if (setKind) d.kind = 0;
    return true;
  }
  uint8_t *Value(uint32_t t, size_t *room) const {
    *room = SlotValueRoom(context, static_cast<int32_t>(c->slotCount), static_cast<int32_t>(t));
    return SlotValuePtr(context, static_cast<int32_t>(c->slotCount), static_cast<int32_t>(t));
  }
  const char *SwttOf(uint32_t t, char (&out)[13]) const {
    std::memset(out, 0, sizeof out);
    if (c->tagTable && c->tagTable[t].info) std::memcpy(out, c->tagTable[t].info->swtt, 12);
    return out;
  }

  void SwttElement(const std::u16string &text) {
    for (uint32_t t = first; t < end; ++t) {
      if (!Eligible(t) || !Describe(t, kSwttAddress, kSwttBytes)) continue;
      size_t room;
      uint8_t *value = Value(t, &room);
      uint8_t bytes[kSwttBytes] = {};
      HexToBytes(text, bytes, sizeof bytes);
      if (value) std::memcpy(value, bytes, room < sizeof bytes ? room : sizeof bytes);
    }
    if (c->slotCount < TAGDRV_MAX_SLOTS) ++c->slotCount;
  }

  void SwttFieldElement(const std::u16string &text, int32_t n) {
    if (!context->templates) {
      Post(context, kLevelWarning, kSrcRead, kErrNoTemplate, u"");
      return;
    }
    if (c->slotCount >= TAGDRV_MAX_SLOTS) return;
    bool any = false;
    for (uint32_t t = first; t < end; ++t) {
      if (!Eligible(t)) continue;
      char swtt[13];
      int32_t start = 0, length = 0;
      char type = 0;
      if (SwttFieldInfo(context, n, SwttOf(t, swtt), &start, &length, &type) != 1) continue;
      if (!Describe(t, start, length, type == 'h' || type == 'i' || type == 's')) continue;
      size_t room;
      uint8_t *value = Value(t, &room);
      EncodeValue(text, type, length, value, room);
      any = true;
    }
    if (any) ++c->slotCount;
  }

  void MemFieldElement(const std::u16string &text, int32_t start, const std::u16string &memLen, char type) {
    if (c->slotCount >= TAGDRV_MAX_SLOTS) return;
    int32_t length;
    if (!memLen.empty()) length = DecimalValue(memLen);
    else if (type == 'h') length = static_cast<int32_t>(text.size() / 2);
    else if (type == 'i') length = kDefaultIntLength;
    else length = static_cast<int32_t>(text.size());
    for (uint32_t t = first; t < end; ++t) {
      if (!Eligible(t) || !Describe(t, start, length)) continue;
      size_t room;
      uint8_t *value = Value(t, &room);
      EncodeValue(text, type, length, value, room);
    }
    ++c->slotCount;
  }

  // The driver's error text, each failed tag and each failed field.
  void ReportDriverError() {
    VOLNEDA_WCHAR text[113] = {};
    VOLNEDA_GetErrorString(context, c->driverError, text);
    Post(context, kLevelError, kSrcWrite, c->driverError, wstr::FromApi(text));
    const uint32_t slots = c->slotCount < TAGDRV_MAX_SLOTS ? c->slotCount : TAGDRV_MAX_SLOTS;
    for (uint32_t t = c->firstTag; t < end; ++t) {
      if (c->tagStatus && c->tagStatus[t] < 0) {
        TagRecord record{};
        if (c->tagTable) record = c->tagTable[t];
        Post(context, kLevelError, kSrcWriteTag, c->tagStatus[t], TagIdText(record));
      }
      if (!c->fieldStatus) continue;
      for (uint32_t s = 0; s < slots; ++s)
        if (c->fieldStatus[s] && c->fieldStatus[s][t] < 0)
          Post(context, kLevelError, kSrcWrite, c->fieldStatus[s][t], u"Field failed to write");
    }
  }
};

// One Tag element (the child position): identify, lay the slots, write.
// Sets the outcome flags.
void WriteOneTag(ReaderContext *context, XMLDoc &doc, bool &notFound, bool &writeFailed) {
  RfidControl *c = context->control;
  uint32_t selected = 0;
  uint32_t found = 0;
  if (IdentifyTags(context, doc.GetChildAttribute(u"ID"), doc.GetChildAttribute(u"SWTT"), &found) == 0)
    selected = found;
  if (selected == 0) {
    Post(context, kLevelWarning, kSrcWrite, kErrWriteNoTagFound, u"");
    notFound = true;
    return;
  }
  WriteTag w{context, c, c->firstTag, c->tagCount < c->tagCapacity ? c->tagCount : c->tagCapacity};
  const uint32_t cleared = c->clearedWord;
  c->clearedWord = 0;
  doc.StepIntoElement();
  c->slotCount = 0;
  while (doc.FindChildElement()) {
    switch (ElementKind(doc.GetChildTagName())) {
      case kElemSwtt:
        w.SwttElement(doc.GetChildData());
        break;
      case kElemSwttField:
        w.SwttFieldElement(doc.GetChildData(), DecimalValue(doc.GetChildAttribute(u"EntryNr")));
        break;
      case kElemMemField:
        w.MemFieldElement(doc.GetChildData(), DecimalValue(doc.GetChildAttribute(u"MemStart")),
                          doc.GetChildAttribute(u"MemLen"), ParseDataType(doc.GetChildAttribute(u"MemType")));
        break;
      default:
        break;
    }
  }
  c->driverError = 0;
  if (c->slotCount != 0) {
    c->opCode = TAGDRV_OP_WRITE;
    int32_t r = G4Write(static_cast<G4HANDLE>(context->driverHandle), c);
    if (r == 0 && c->driverError == 0) {
      Post(context, kLevelInfo, kSrcWrite, kOk, u"Write OK");
    } else {
      writeFailed = true;
      if (r != 0) Post(context, kLevelError, kSrcWrite, r, u"Write Parameter error");
      if (c->driverError != 0) w.ReportDriverError();
    }
  }
  c->clearedWord = cleared;
  doc.StepOutOfElement();
}

}  // namespace

extern "C" {

VOLNEDA_API int32_t VOLNEDA_CALL VOLNEDA_Write(VOLNEDA_HANDLE handle, const VOLNEDA_WCHAR *document) {
  ReaderContext *context = ToContext(handle);
  if (!context) return kErrNullContext;
  OperationHold hold(context);
  try {
    if (!context->openFlag || !context->control) {
      Post(context, kLevelError, kSrcWrite, kErrNotOpen, u"Write");
      return kErrNotOpen;
    }
    XMLDoc doc;
    if (int32_t rc = TakeInWriteDoc(context, wstr::FromApi(document), doc)) return rc;
    bool notFound = false, writeFailed = false;
    doc.Rewind();
    if (doc.FindElement()) {
      while (doc.FindChildElement()) {
        if (doc.GetChildTagName() != u"Tag") continue;
        WriteOneTag(context, doc, notFound, writeFailed);
      }
    }
    if (writeFailed) return kErrWriteFailed;
    return notFound ? kErrWriteSomeNotFound : kOk;
  } catch (...) {
    // Only allocations throw here; nothing more can be said than "no document".
    return kErrDocUnusable;
  }
}

}  // extern "C"
