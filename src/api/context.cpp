// The reader context's lifecycle: creation with its watcher thread and
// events, and destruction.
#include "api/context.h"

#include <cstdlib>
#include <cstring>

#include "platform/widestring.h"

namespace {

// The watcher thread carries no work: it waits for the process-wide close
// event, ignoring the wake event that nothing signals.  A failed wait ends
// it too, so that StopAll can never hang on a broken wait set.
uint32_t WatcherThread(void *arg) {
  auto *context = static_cast<ReaderContext *>(arg);
  plat::Handle set[2] = {context->closeEvent, context->wakeEvent};
  for (;;) {
    int which = plat::WaitAny(set, 2, plat::kInfinite);
    if (which != 1) return 0;
  }
}

}  // namespace

extern "C" {

VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL VOLNEDA_StartAll(VOLNEDA_HANDLE *handleOut,
                                                       const VOLNEDA_WCHAR *configPath) {
  try {
    // Without a slot to store it in, a context could never be stopped.
    if (!handleOut) return 1;
    auto *context = static_cast<ReaderContext *>(std::calloc(1, sizeof(ReaderContext)));
    *handleOut = context;
    // Out of memory: the slot holds null and every later call sees -3307.
    if (!context) return 1;
    // The ring lock is the context's, not the dispatcher's: a fetch on
    // another thread may still take it after StopDispatcher.
    plat::LockInit(&context->ringLock);
    plat::LockInit(&context->operationLock);
    std::u16string path = wstr::FromApi(configPath);
    if (!path.empty()) {
      plat::WideToAnsiField(path, context->configPath, kConfigPathSize);
    } else {
      // An unset variable leaves the path empty; one that is too long is
      // cut to the field like a given path.
      std::string value;
      if (plat::GetEnv("RF_RFID_CONFIG", value)) plat::AnsiToAnsiField(value, context->configPath, kConfigPathSize);
    }
    context->closeEvent = plat::EventCreate(true, false, VOLNEDA_CLOSE_EVENT_NAME);
    context->wakeEvent = plat::EventCreate(false, false, nullptr);
    if (context->closeEvent && context->wakeEvent) context->watcherThread = plat::ThreadStart(WatcherThread, context);
    return 1;
  } catch (...) {
    return 1;
  }
}

VOLNEDA_API void VOLNEDA_CALL VOLNEDA_StopAll(VOLNEDA_HANDLE *handleSlot) {
  if (!handleSlot || !*handleSlot) return;
  try {
    ReaderContext *context = ToContext(*handleSlot);
    // An operation still running on another thread ends before the context
    // goes (one that starts after this is the caller's use after free).
    plat::LockEnter(&context->operationLock);
    plat::LockLeave(&context->operationLock);
    plat::EventSet(context->closeEvent);
    if (context->watcherThread) {
      plat::WaitOne(context->watcherThread, plat::kInfinite);
      plat::HandleClose(context->watcherThread);
    }
    plat::HandleClose(context->wakeEvent);
    plat::HandleClose(context->closeEvent);
    plat::LockDelete(&context->ringLock);
    plat::LockDelete(&context->operationLock);
    std::free(context);
    *handleSlot = nullptr;
  } catch (...) {
  }
}

}  // extern "C"
