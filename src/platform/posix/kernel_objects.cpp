// Win32-style waitable objects on POSIX.
//
// All objects share one mutex and one condition variable.  That makes
// wait-any exact (the first signalled object in the list is taken and only
// it is consumed, atomically with the test) at the price of waking every
// waiter on every signal, which is nothing at the library's scale: a
// handful of objects per reader context.
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "platform/platform.h"

namespace plat {
namespace {

enum class Kind { ManualEvent, AutoEvent, Semaphore, Thread };

struct Object {
  explicit Object(Kind k) : kind(k) {}
  Kind kind;
  long count = 0;  // events: 0/1 signalled; semaphores: the count; threads: 1 when ended
  long maximum = 0;
  long refs = 1;   // handles plus, for a thread, the running thread itself
  int waiters = 0; // threads blocked on the object right now
  std::u16string name;
};

std::mutex &Mutex() {
  static std::mutex m;
  return m;
}
std::condition_variable &Changed() {
  static std::condition_variable cv;
  return cv;
}
std::map<std::u16string, Object *> &Names() {
  static std::map<std::u16string, Object *> names;
  return names;
}

void Release(Object *o) {  // with the mutex held
  if (--o->refs > 0) return;
  if (!o->name.empty()) Names().erase(o->name);
  delete o;
}

bool Signalled(const Object *o) { return o->count > 0; }

void Consume(Object *o) {
  if (o->kind == Kind::AutoEvent || o->kind == Kind::Semaphore) --o->count;
}

}  // namespace

Handle EventCreate(bool manualReset, bool initiallySignalled, const char16_t *name) {
  std::lock_guard<std::mutex> lock(Mutex());
  std::u16string key = name ? std::u16string(name) : std::u16string();
  if (!key.empty()) {
    auto it = Names().find(key);
    if (it != Names().end()) {
      // Windows gives another handle to the existing object; its type must
      // be an event (a semaphore of that name would make this fail there).
      if (it->second->kind != Kind::ManualEvent && it->second->kind != Kind::AutoEvent) return nullptr;
      ++it->second->refs;
      return it->second;
    }
  }
  auto *o = new Object(manualReset ? Kind::ManualEvent : Kind::AutoEvent);
  o->count = initiallySignalled ? 1 : 0;
  o->maximum = 1;
  o->name = key;
  if (!key.empty()) Names()[key] = o;
  return o;
}

bool EventSet(Handle event) {
  auto *o = static_cast<Object *>(event);
  if (!o || (o->kind != Kind::ManualEvent && o->kind != Kind::AutoEvent)) return false;
  {
    std::lock_guard<std::mutex> lock(Mutex());
    o->count = 1;
  }
  Changed().notify_all();
  return true;
}

bool EventReset(Handle event) {
  auto *o = static_cast<Object *>(event);
  if (!o || (o->kind != Kind::ManualEvent && o->kind != Kind::AutoEvent)) return false;
  std::lock_guard<std::mutex> lock(Mutex());
  o->count = 0;
  return true;
}

Handle SemaphoreCreate(long initialCount, long maximumCount) {
  if (maximumCount <= 0 || initialCount < 0 || initialCount > maximumCount) return nullptr;
  auto *o = new Object(Kind::Semaphore);
  o->count = initialCount;
  o->maximum = maximumCount;
  return o;
}

bool SemaphoreRelease(Handle semaphore, long count) {
  auto *o = static_cast<Object *>(semaphore);
  if (!o || o->kind != Kind::Semaphore || count <= 0) return false;
  {
    std::lock_guard<std::mutex> lock(Mutex());
    if (o->count + count > o->maximum) return false;
    o->count += count;
  }
  Changed().notify_all();
  return true;
}

void HandleClose(Handle handle) {
  if (!handle) return;
  std::lock_guard<std::mutex> lock(Mutex());
  Release(static_cast<Object *>(handle));
}

int WaitAny(const Handle *handles, int count, uint32_t timeoutMs) {
  if (!handles || count <= 0 || count > 64) return kWaitFailed;
  for (int i = 0; i < count; ++i)
    if (!handles[i]) return kWaitFailed;
  std::unique_lock<std::mutex> lock(Mutex());
  auto ready = [&]() -> int {
    for (int i = 0; i < count; ++i)
      if (Signalled(static_cast<Object *>(handles[i]))) return i;
    return -1;
  };
  int index = ready();
  if (index < 0) {
    // While it waits, the waiter holds a reference to every object, so that
    // a handle closed right after it was signalled (a dispatcher stopped
    // under a blocked fetch) does not free the object under the waiter.
    Object *held[64];
    for (int i = 0; i < count; ++i) {
      held[i] = static_cast<Object *>(handles[i]);
      ++held[i]->refs;
      ++held[i]->waiters;
    }
    bool signalled = true;
    if (timeoutMs == kInfinite) {
      Changed().wait(lock, [&] { return (index = ready()) >= 0; });
    } else {
      signalled = Changed().wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                     [&] { return (index = ready()) >= 0; });
    }
    if (signalled) Consume(held[index]);
    for (int i = 0; i < count; ++i) {
      --held[i]->waiters;
      Release(held[i]);
    }
    return signalled ? index : kWaitTimeout;
  }
  Consume(static_cast<Object *>(handles[index]));
  return index;
}

int WaitOne(Handle handle, uint32_t timeoutMs) {
  int r = WaitAny(&handle, 1, timeoutMs);
  return r == 0 ? 0 : r;
}

int WaitersOn(Handle handle) {
  if (!handle) return 0;
  std::lock_guard<std::mutex> lock(Mutex());
  return static_cast<Object *>(handle)->waiters;
}

void LockInit(Lock *lock) {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  // A critical section may be entered again by the thread that holds it.
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&lock->mutex, &attr);
  pthread_mutexattr_destroy(&attr);
}
void LockDelete(Lock *lock) { pthread_mutex_destroy(&lock->mutex); }
void LockEnter(Lock *lock) { pthread_mutex_lock(&lock->mutex); }
void LockLeave(Lock *lock) { pthread_mutex_unlock(&lock->mutex); }

Handle ThreadStart(ThreadProc proc, void *arg) {
  if (!proc) return nullptr;
  auto *o = new Object(Kind::Thread);
  o->refs = 2;  // the caller's handle and the running thread
  try {
    std::thread([o, proc, arg] {
      proc(arg);
      {
        std::lock_guard<std::mutex> lock(Mutex());
        o->count = 1;
        Release(o);
      }
      Changed().notify_all();
    }).detach();
  } catch (...) {
    delete o;
    return nullptr;
  }
  return o;
}

}  // namespace plat
