// VOLNEDA_Command and the identify and read requests behind it.
#include <cstring>

#include "api/command.h"
#include "api/dispatcher.h"
#include "api/result_codes.h"
#include "config/swtt.h"
#include "platform/platform.h"
#include "platform/widestring.h"
#include "tagdata/codec.h"
#include "tagdata/result_docs.h"
#include "tagdrv.h"

namespace {

G4HANDLE DriverOf(const ReaderContext *context) { return static_cast<G4HANDLE>(context->driverHandle); }

uint32_t Below(uint32_t count, uint32_t capacity) { return count < capacity ? count : capacity; }

// Zeroes the slot buffers, the start of each tag identifier and the slot
// descriptors of the last request, so that every result read from the block
// belongs to this identify.
void ResetControl(RfidControl *c) {
  if (c->slotData)
    for (int s = 0; s < TAGDRV_MAX_SLOTS; ++s)
      if (c->slotData[s]) std::memset(c->slotData[s], 0, TAGDRV_SLOT_DATA_SIZE);
  const uint32_t slots = Below(c->slotCount, TAGDRV_MAX_SLOTS);
  for (uint32_t t = 0; t < c->tagCapacity; ++t) {
    if (c->tagTable) std::memset(c->tagTable[t].id, 0, 4);
    if (!c->slotDesc) continue;
    for (uint32_t s = 0; s < slots; ++s) {
      if (!c->slotDesc[s]) continue;
      SlotDescriptor &d = c->slotDesc[s][t];
      d.start = 0;
      d.length = 0;
      d.kind = 0;
    }
  }
  c->requestWord = 1;
  c->firstTag = 0;
  c->foundCount = 0;
  c->tagCount = 0;
}

bool SameIgnoringCase(const char *a, const char *b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
    if (!x) return true;
  }
  return true;
}

void SetSlot(RfidControl *c, uint32_t slot, uint32_t t, int32_t start, int32_t length) {
  if (!c->slotDesc || slot >= TAGDRV_MAX_SLOTS || !c->slotDesc[slot]) return;
  SlotDescriptor &d = c->slotDesc[slot][t];
  d.start = start;
  d.reserved = 0;
  d.length = length;
  d.kind = 0;
}

const char *SwttOf(const RfidControl *c, uint32_t t, char (&out)[13]) {
  std::memset(out, 0, sizeof out);
  if (c->tagTable && c->tagTable[t].info) std::memcpy(out, c->tagTable[t].info->swtt, 12);
  return out;
}

}  // namespace

int32_t IdentifyTags(ReaderContext *context, const std::u16string &tagIdFilter, const std::u16string &maskFilter,
                     uint32_t *found) {
  if (!context) return kErrNullContext;
  if (!context->openFlag || !context->control) {
    Post(context, kLevelError, kSrcIdentify, kErrNotOpen, u"");
    return kErrNotOpen;
  }
  Post(context, kLevelInfo, kSrcIdentify, kOk, u"Identifying");
  uint8_t id[8] = {};
  const bool byId = !tagIdFilter.empty();
  if (byId) HexToBytes(tagIdFilter, id, sizeof id);
  char mask[13] = {};
  if (!maskFilter.empty()) plat::WideToAnsiField(maskFilter, mask, sizeof mask);
  const size_t maskLength = std::strlen(mask);

  RfidControl *c = context->control;
  ResetControl(c);
  if (found) *found = 0;
  c->opCode = TAGDRV_OP_IDENTIFY;
  if (G4Identify(DriverOf(context), c) != 0) {
    Post(context, kLevelError, kSrcIdentify, c->driverError, u"");
    c->firstTag = 0;
    c->foundCount = 0;
    c->tagCount = 0;
    return c->driverError;
  }

  const uint32_t kept = c->keptWord;
  c->keptWord = 0;
  uint32_t selected = 0;
  const uint32_t end = Below(c->foundCount, c->tagCapacity);
  if (c->tagStatus && c->tagSelected) {
    for (uint32_t t = 0; t < end; ++t) {
      if (c->tagStatus[t] != 0) {
        c->tagSelected[t] = -1;
        continue;
      }
      bool take = true;
      if (byId) {
        take = c->tagTable && std::memcmp(c->tagTable[t].id, id, 8) == 0;
      } else if (maskLength > 0) {
        char swtt[13];
        take = SameIgnoringCase(SwttOf(c, t, swtt), mask, maskLength);
      }
      if (take) {
        ++selected;
        c->tagSelected[t] = 0;
      } else {
        c->tagStatus[t] = -1;
        c->tagSelected[t] = -1;
      }
    }
  }
  c->keptWord = kept;
  if (found) *found = selected;
  return kOk;
}

int32_t ReadTags(ReaderContext *context, const CommandRequest *request, uint32_t *tagCount) {
  if (!context) return kErrNullContext;
  if (tagCount) *tagCount = 0;
  if (!context->openFlag || !context->control || !request) {
    Post(context, kLevelError, kSrcRead, kErrNotOpen, u"");
    return kErrNotOpen;
  }
  RfidControl *c = context->control;
  const uint32_t tags = Below(c->tagCount, c->tagCapacity);
  auto isSelected = [&](uint32_t t) { return c->tagSelected && c->tagSelected[t] == 0; };
  const uint32_t memCount = Below(request->memCount, kMaxMemFields);

  for (uint32_t m = 0; m < memCount; ++m)
    for (uint32_t t = 0; t < tags; ++t)
      if (isSelected(t)) SetSlot(c, m, t, request->memFields[m].start, request->memFields[m].length);

  uint32_t slots = memCount;
  if (request->swttCount != 0) {
    if (!context->templates) {
      Post(context, kLevelWarning, kSrcRead, kErrNoTemplate, u"");
    } else if (request->swttCount < 0) {
      // Every defined field n of a tag's template goes to slot memCount + n,
      // where the ReadTags document looks for it, so that templates with
      // gaps in their field numbers are read whole.
      int32_t highest = -1;
      for (uint32_t t = 0; t < tags; ++t) {
        if (!isSelected(t)) continue;
        char swtt[13];
        SwttOf(c, t, swtt);
        for (int32_t n = 0; n < kSwttFieldCount; ++n) {
          int32_t start = 0, length = 0;
          char type = 0;
          if (SwttFieldInfo(context, n, swtt, &start, &length, &type) != 1) continue;
          SetSlot(c, memCount + static_cast<uint32_t>(n), t, start, length);
          if (n > highest) highest = n;
        }
      }
      slots += static_cast<uint32_t>(highest + 1);
    } else {
      const int32_t listed = request->swttCount < kMaxSwttFields ? request->swttCount : kMaxSwttFields;
      for (int32_t j = 0; j < listed; ++j)
        for (uint32_t t = 0; t < tags; ++t) {
          if (!isSelected(t)) continue;
          char swtt[13];
          int32_t start = 0, length = 0;
          char type = 0;
          if (SwttFieldInfo(context, request->swttFields[j], SwttOf(c, t, swtt), &start, &length, &type) == 1)
            SetSlot(c, memCount + static_cast<uint32_t>(j), t, start, length);
        }
      slots += static_cast<uint32_t>(listed);
    }
  }

  c->firstTag = 0;
  c->tagCount = c->foundCount;
  c->opCode = TAGDRV_OP_READ;
  c->slotCount = slots;
  const uint32_t cleared = c->clearedWord;
  c->clearedWord = 0;
  int32_t rc = G4Read(DriverOf(context), c);
  c->clearedWord = cleared;
  if (rc != 0) {
    VOLNEDA_WCHAR text[112] = {};
    VOLNEDA_GetErrorString(context, c->driverError, text);
    Post(context, kLevelError, kSrcRead, c->driverError, wstr::FromApi(text));
    return rc;
  }
  uint32_t good = 0;
  const uint32_t end = Below(c->tagCount, c->tagCapacity);
  for (uint32_t t = 0; t < end; ++t)
    if (c->tagStatus && c->tagStatus[t] == 0) ++good;
  if (tagCount) *tagCount = good;
  Post(context, kLevelInfo, kSrcRead, kOk, u"Read OK");
  return kOk;
}

extern "C" {

VOLNEDA_API int32_t VOLNEDA_CALL VOLNEDA_Command(VOLNEDA_HANDLE handle, const VOLNEDA_WCHAR *command,
                                                 int32_t *documentLengthOut, int32_t *tagCountOut) {
  ReaderContext *context = ToContext(handle);
  if (!context) return kErrNullContext;
  OperationHold hold(context);
  try {
    if (!context->openFlag) {
      Post(context, kLevelError, kSrcRead, kErrNotOpen, u"");
      return kErrNotOpen;
    }
    CommandRequest request;
    uint32_t count = 0;
    int32_t rc = ParseCommand(wstr::FromApi(command), &request);
    if (rc != 0) {
      Post(context, kLevelError, kSrcCommandParse, rc, u"");
      if (tagCountOut) *tagCountOut = 0;
      return rc;
    }
    uint32_t length = documentLengthOut ? static_cast<uint32_t>(*documentLengthOut) : 0;
    auto filters = [&](std::u16string &id, std::u16string &mask) {
      id = plat::AnsiToWide(std::string(request.tagIdFilter, strnlen(request.tagIdFilter, 64)));
      mask = plat::AnsiToWide(std::string(request.swttFilter, strnlen(request.swttFilter, 64)));
    };
    std::u16string id, mask;
    switch (request.kind) {
      case kCmdRead:
      case kCmdReadSelected:
      case kCmdReadFieldsSelected:
      case kCmdReadFields:
        if (request.kind == kCmdReadSelected || request.kind == kCmdReadFieldsSelected) filters(id, mask);
        rc = IdentifyTags(context, id, mask, &count);
        if (rc != 0) break;
        if (count != 0) {
          rc = ReadTags(context, &request, &count);
          // A read of listed fields still shows what it got.
          if (rc != 0 && request.kind != kCmdReadFields) break;
        }
        BuildReadDoc(context, &length, request);
        break;
      case kCmdIdentify:
      case kCmdIdentifySelected:
        if (request.kind == kCmdIdentifySelected) filters(id, mask);
        rc = IdentifyTags(context, id, mask, &count);
        if (rc == 0) BuildIdentifyDoc(context, &length);
        break;
      default:
        break;
    }
    if (documentLengthOut) *documentLengthOut = static_cast<int32_t>(length);
    if (tagCountOut) *tagCountOut = static_cast<int32_t>(count);
    return rc;
  } catch (...) {
    // Only allocations throw here: the command's "no memory" code.
    return kErrCommandFirst;
  }
}

}  // extern "C"
