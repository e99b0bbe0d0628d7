// dispatcher.h -- the status dispatcher: the message ring of a reader context
// and the post operation every reader operation reports through.
#ifndef VOLNEDA_DISPATCHER_H
#define VOLNEDA_DISPATCHER_H

#include <cstdint>
#include <string>

#include "api/context.h"

// Message levels.
enum : uint32_t { kLevelInfo = 0, kLevelWarning = 1, kLevelError = 2, kLevelCritical = 3 };

// Message sources: which operation posted.
enum : uint32_t {
  kSrcWriteDocCheck = 1,
  kSrcCommandParse = 2,
  kSrcDiscovery = 3,
  kSrcTemplate = 4,
  kSrcOpen = 5,
  kSrcClose = 6,
  kSrcIdentify = 7,
  kSrcRead = 8,
  kSrcWrite = 9,
  kSrcWriteTag = 10,
  kSrcSetAttribute = 11,
  kSrcGetAttribute = 12,
  kSrcScanTrigger = 13,
  kSrcCommTimeOut = 24,
};

// Queues a copy of text (null counts as empty).  A null context is ignored;
// with 99 messages unread the message is dropped.
void Post(ReaderContext *context, uint32_t level, uint32_t source, int32_t code, const char16_t *text);
inline void Post(ReaderContext *context, uint32_t level, uint32_t source, int32_t code,
                 const std::u16string &text) {
  Post(context, level, source, code, text.c_str());
}

#endif
