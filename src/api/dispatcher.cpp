#include "api/dispatcher.h"

#include "platform/widestring.h"

void Post(ReaderContext *context, uint32_t level, uint32_t source, int32_t code, const char16_t *text) {
  if (!context) return;
  // A dispatcher that was never started has no lock or semaphore to use;
  // its messages go nowhere.
  if (!context->msgSemaphore) return;
  plat::LockEnter(&context->ringLock);
  if (context->ringCount >= kRingMaxUnread) {
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
  plat::LockLeave(&context->ringLock);
  plat::SemaphoreRelease(context->msgSemaphore, 1);
}

extern "C" {

VOLNEDA_API void VOLNEDA_CALL StartDispatcher(VOLNEDA_HANDLE handle) {
  ReaderContext *context = ToContext(handle);
  if (!context) return;
  try {
    context->ringHead = context->ringTail = context->ringCount = 0;
    plat::LockInit(&context->ringLock);
    context->msgSemaphore = plat::SemaphoreCreate(0, kRingSize);
    context->stopEvent = plat::EventCreate(false, false, nullptr);
  } catch (...) {
  }
}

VOLNEDA_API void VOLNEDA_CALL StopDispatcher(VOLNEDA_HANDLE handle) {
  ReaderContext *context = ToContext(handle);
  if (!context || !context->msgSemaphore) return;
  try {
    plat::EventSet(context->stopEvent);
    plat::HandleClose(context->stopEvent);
    plat::HandleClose(context->msgSemaphore);
    context->stopEvent = nullptr;
    context->msgSemaphore = nullptr;
    // Messages nobody fetched are not delivered any more; free their texts
    // so that a stop never leaks.
    for (StatusEntry &e : context->ring) {
      delete[] e.text;
      e.text = nullptr;
    }
    context->ringCount = 0;
    plat::LockDelete(&context->ringLock);
  } catch (...) {
  }
}

VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL DispatcherGetData(VOLNEDA_HANDLE handle, int32_t *levelOut,
                                                        int32_t *sourceOut, int32_t *codeOut,
                                                        VOLNEDA_WCHAR *textBuffer, int32_t capacity) {
  ReaderContext *context = ToContext(handle);
  if (!context) return 0;
  try {
    // A stopped (or never started) dispatcher has no objects to wait on:
    // the wait fails and the result is false.
    plat::Handle set[2] = {context->msgSemaphore, context->stopEvent};
    // The semaphore comes first: with a message waiting and the stop event
    // signalled together, the message is delivered.
    int which = plat::WaitAny(set, 2, plat::kInfinite);
    // Stopped, or the wait failed: nothing is consumed.  The ring lock is
    // not taken on this path, since StopDispatcher deletes it right after
    // signalling the stop event.
    if (which != 0) return 0;
    plat::LockEnter(&context->ringLock);
    VOLNEDA_BOOL result = 0;
    if (which == 0) {
      StatusEntry &e = context->ring[context->ringTail];
      // Capacity 0 or less: the numbers only, the buffer is not touched.
      wstr::CopyOut(wstr::Make(e.text), textBuffer, capacity);
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
  } catch (...) {
    return 0;
  }
}

}  // extern "C"
