// context.h -- the reader context: the one per-handle block of state.
//
// The block is malloc'ed and zero-filled by VOLNEDA_StartAll; its address is
// the handle the caller holds.  It must stay a plain record (no constructors)
// because it is created and destroyed as raw memory.
#ifndef VOLNEDA_CONTEXT_H
#define VOLNEDA_CONTEXT_H

#include <cstdint>

#include "platform/platform.h"
#include "volneda.h"

struct RfidControl;   // the driver control block (driver ABI)
struct SwttTemplate;  // one tag template (template loader)

constexpr int kRingSize = 100;
constexpr uint32_t kRingMaxUnread = 99;  // the head never catches the tail
constexpr int kReaderNameSize = 32;
constexpr int kConfigPathSize = 128;
constexpr int kDriverInfoSize = 256;

struct StatusEntry {
  uint32_t level;
  uint32_t source;
  int32_t code;
  char16_t *text;  // new[]'ed copy, owned by the ring until delivered
};

struct ReaderContext {
  uint8_t openFlag;
  char readerName[kReaderNameSize];
  char configPath[kConfigPathSize];
  void *driverHandle;
  RfidControl *control;
  int32_t lastStatus;
  char *docText;  // malloc'ed, the last result document
  uint8_t driverInfo[kDriverInfoSize];
  int32_t templateCount;
  SwttTemplate *templates;
  StatusEntry ring[kRingSize];
  uint32_t ringHead;
  uint32_t ringTail;
  uint32_t ringCount;
  plat::Handle msgSemaphore;
  plat::Handle stopEvent;
  plat::Lock ringLock;  // lives as long as the context: StartAll to StopAll
  plat::Handle watcherThread;
  plat::Handle closeEvent;
  plat::Handle wakeEvent;
  // Counts the dispatcher's stops, so that a fetch that waited through a
  // StopDispatcher (and perhaps a new StartDispatcher) knows the message it
  // was woken for is gone.  Guarded by the ring lock.
  uint32_t dispatcherRun;
};

inline ReaderContext *ToContext(VOLNEDA_HANDLE handle) { return static_cast<ReaderContext *>(handle); }

// The process-wide close event shared by every context.
#define VOLNEDA_CLOSE_EVENT_NAME u"VOLNEDA_CloseEvent"

#endif
