#include "api/dispatcher.h"

#include "platform/widestring.h"

// The ring lock guards the ring and the dispatcher's two handles: a
// StopDispatcher on one thread can never close them, or free a text, under a
// post or a fetch on another.  It belongs to the context (StartAll creates
// it, StopAll deletes it), so that it outlives every stop.

void Post(ReaderContext *context, uint32_t level, uint32_t source, int32_t code, const char16_t *text) {
  if (!context) return;
  plat::LockEnter(&context->ringLock);
  // A dispatcher not started, or stopped, has no ring to post into; its
  // messages go nowhere.
  if (!context->msgSemaphore || context->ringCount >= kRingMaxUnread) {
    plat::LockLeave(&context->ringLock);
    return;
  }
  size_t n = wstr::Length(text);
  char16_t *copy = new (std::nothrow) char16_t[n + 1];
  if (!copy) {
    plat::LockLeave(&context->ringLock);
    return;
  }
  for (size_t i = 0; i < n; ++i) copy[i] = text[i];
  copy[n] = 0;
  StatusEntry &e = context->ring[context->ringHead];
  e.level = level;
  e.source = source;
  e.code = code;
  e.text = copy;
  context->ringHead = (context->ringHead + 1) % kRingSize;
  ++context->ringCount;
  // Released before the lock is left, while the semaphore surely exists.
  plat::SemaphoreRelease(context->msgSemaphore, 1);
  plat::LockLeave(&context->ringLock);
}

namespace {

// Ends the running dispatcher, with the ring lock held: the stop event wakes
// one blocked fetch (which holds its own handles to both objects), and the
// messages nobody fetched are not delivered any more.  Their texts are freed
// so that a stop never leaks.
void Stop(ReaderContext *context) {
  plat::EventSet(context->stopEvent);
  plat::HandleClose(context->stopEvent);
  plat::HandleClose(context->msgSemaphore);
  context->stopEvent = nullptr;
  context->msgSemaphore = nullptr;
  for (StatusEntry &e : context->ring) {
    delete[] e.text;
    e.text = nullptr;
  }
  context->ringCount = 0;
  ++context->dispatcherRun;
}

}  // namespace

extern "C" {

VOLNEDA_API void VOLNEDA_CALL StartDispatcher(VOLNEDA_HANDLE handle) {
  ReaderContext *context = ToContext(handle);
  if (!context) return;
  plat::LockEnter(&context->ringLock);
  // Started twice: the first run ends as if stopped, rather than leaving
  // its objects and texts behind.
  if (context->msgSemaphore) Stop(context);
  context->ringHead = context->ringTail = context->ringCount = 0;
  plat::Handle semaphore = nullptr, stop = nullptr;
  try {
    semaphore = plat::SemaphoreCreate(0, kRingSize);
    stop = plat::EventCreate(false, false, nullptr);
  } catch (...) {
  }
  // Both or neither: a post or a fetch takes a non-null semaphore to mean a
  // running dispatcher.
  if (semaphore && stop) {
    context->msgSemaphore = semaphore;
    context->stopEvent = stop;
  } else {
    plat::HandleClose(semaphore);
    plat::HandleClose(stop);
  }
  plat::LockLeave(&context->ringLock);
}

VOLNEDA_API void VOLNEDA_CALL StopDispatcher(VOLNEDA_HANDLE handle) {
  ReaderContext *context = ToContext(handle);
  if (!context) return;
  plat::LockEnter(&context->ringLock);
  if (context->msgSemaphore) Stop(context);
  plat::LockLeave(&context->ringLock);
}

VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL DispatcherGetData(VOLNEDA_HANDLE handle, int32_t *levelOut,
                                                        int32_t *sourceOut, int32_t *codeOut,
                                                        VOLNEDA_WCHAR *textBuffer, int32_t capacity) {
  ReaderContext *context = ToContext(handle);
  if (!context) return 0;
  // The wait runs on handles of its own, taken under the ring lock: a
  // StopDispatcher closing the dispatcher's handles meanwhile leaves the
  // objects alive until this fetch has done with them.  A stopped (or never
  // started) dispatcher has nothing to wait on: the result is false.
  plat::Handle set[2] = {nullptr, nullptr};
  plat::LockEnter(&context->ringLock);
  const uint32_t run = context->dispatcherRun;
  if (context->msgSemaphore) {
    set[0] = plat::HandleDuplicate(context->msgSemaphore);
    set[1] = plat::HandleDuplicate(context->stopEvent);
  }
  plat::LockLeave(&context->ringLock);
  int which = plat::kWaitFailed;
  // The semaphore comes first: with a message waiting and the stop event
  // signalled together, the message is delivered.
  if (set[0] && set[1]) which = plat::WaitAny(set, 2, plat::kInfinite);
  // The stop event wakes one waiter at a time (auto reset); each waiter it
  // woke signals it again for the next, so that a StopDispatcher ends every
  // fetch blocked on this run, however many threads wait.  The event is
  // this run's alone: a new StartDispatcher creates another.
  if (which == 1) plat::EventSet(set[1]);
  plat::HandleClose(set[0]);
  plat::HandleClose(set[1]);
  // Stopped, or the wait failed: nothing is consumed.
  if (which != 0) return 0;
  VOLNEDA_BOOL result = 0;
  plat::LockEnter(&context->ringLock);
  // A stop since the wait began has freed the message this wait counted.
  if (context->dispatcherRun == run && context->ringCount > 0) {
    StatusEntry &e = context->ring[context->ringTail];
    // Capacity 0 or less: the numbers only, the buffer is not touched.
    wstr::CopyOut(std::u16string_view(e.text ? e.text : u""), textBuffer, capacity);
    if (levelOut) *levelOut = static_cast<int32_t>(e.level);
    if (sourceOut) *sourceOut = static_cast<int32_t>(e.source);
    if (codeOut) *codeOut = e.code;
    delete[] e.text;
    e.text = nullptr;
    context->ringTail = (context->ringTail + 1) % kRingSize;
    --context->ringCount;
    result = 1;
  }
  plat::LockLeave(&context->ringLock);
  return result;
}

}  // extern "C"
