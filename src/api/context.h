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
  // Serialises the reader operations of this context (open, close, commands,
  // writes, attributes, templates, the document copy): the contract is one
  // caller at a time, but two threads that break it must not tear the
  // control block or the document text apart.  Recursive, so that an
  // operation may call another (Open fetches an attribute).  The status
  // dispatcher keeps to its own ring lock and is never blocked by it.
  plat::Lock operationLock;
};

inline ReaderContext *ToContext(VOLNEDA_HANDLE handle) { return static_cast<ReaderContext *>(handle); }

// Holds a context's operation lock for one exported call.  Uncontended it
// costs one atomic exchange on entry and one on leaving (bench/ measures it
// beside a whole call).
struct OperationHold {
  explicit OperationHold(ReaderContext *context) : lock(&context->operationLock) { plat::LockEnter(lock); }
  ~OperationHold() { plat::LockLeave(lock); }
  OperationHold(const OperationHold &) = delete;
  OperationHold &operator=(const OperationHold &) = delete;
  plat::Lock *lock;
};

// The process-wide close event shared by every context.
#define VOLNEDA_CLOSE_EVENT_NAME u"VOLNEDA_CloseEvent"

#endif
