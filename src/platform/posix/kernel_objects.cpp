// Win32-style waitable objects on POSIX.
//
// All objects share one mutex and one condition variable.  That makes
// wait-any exact (the first signalled object in the list is taken and only
// it is consumed, atomically with the test) at the price of waking every
// waiter on every signal, which is nothing at the library's scale: a
// handful of objects per reader context.
//
// What is shared is plain data that is never destroyed: the mutex, the
// condition variable and the list of named objects have no destructor to run
// at exit.  A watcher thread, or an application's fetch loop, may still be
// blocked in a wait while the process returns from main or calls exit(); the
// exit must neither wait for them nor pull anything from under them.
#include <pthread.h>
#include <time.h>

#include <cerrno>
#include <new>

#include "platform/platform.h"

namespace plat {
namespace {

enum class Kind { ManualEvent, AutoEvent, Semaphore, Thread };

// The states of a thread object.  Its handle is signalled only once the
// thread has been joined: the thread function has returned and the thread
// has left the library's code (even its last instructions after the
// function), so that whoever waited may unload the library.
enum class Run { Running, Returned, Joining, Joined };

struct Object {
  explicit Object(Kind k) : kind(k) {}
  Kind kind;
  long count = 0;  // events: 0/1 signalled; semaphores: the count; threads: 1 when joined
  long maximum = 0;
  long refs = 1;   // handles, waits in progress and, for a thread, the running thread itself
  int waiters = 0; // threads blocked on the object right now
  std::u16string name;
  Object *nextNamed = nullptr;
  pthread_t thread{};
  Run run = Run::Running;
};

pthread_mutex_t g_mutex = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t g_changed;  // set up once by InitChanged: timed waits use the monotonic clock
pthread_once_t g_changedOnce = PTHREAD_ONCE_INIT;
Object *g_named = nullptr;  // the named objects alive, linked through nextNamed

void InitChanged() {
  pthread_condattr_t attr;
  pthread_condattr_init(&attr);
  pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
  pthread_cond_init(&g_changed, &attr);
  pthread_condattr_destroy(&attr);
}

struct Guard {
  Guard() {
    pthread_once(&g_changedOnce, InitChanged);
    pthread_mutex_lock(&g_mutex);
  }
  ~Guard() { pthread_mutex_unlock(&g_mutex); }
  Guard(const Guard &) = delete;
  Guard &operator=(const Guard &) = delete;
};

void Broadcast() { pthread_cond_broadcast(&g_changed); }

void Release(Object *o) {  // with the mutex held
  if (--o->refs > 0) return;
  if (!o->name.empty())
    for (Object **p = &g_named; *p; p = &(*p)->nextNamed)
      if (*p == o) {
        *p = o->nextNamed;
        break;
      }
  // A thread nobody joined: the system reclaims it when it ends.
  if (o->kind == Kind::Thread && o->run != Run::Joined) pthread_detach(o->thread);
  delete o;
}

bool Signalled(const Object *o) { return o->count > 0; }

void Consume(Object *o) {
  if (o->kind == Kind::AutoEvent || o->kind == Kind::Semaphore) --o->count;
}

struct StartBlock {
  ThreadProc proc;
  void *arg;
  Object *object;
};

void *ThreadEntry(void *p) {
  StartBlock block = *static_cast<StartBlock *>(p);
  delete static_cast<StartBlock *>(p);
  block.proc(block.arg);
  Guard lock;
  block.object->run = Run::Returned;
  Release(block.object);
  Broadcast();
  return nullptr;
}

}  // namespace

Handle EventCreate(bool manualReset, bool initiallySignalled, const char16_t *name) {
  Guard lock;
  std::u16string key = name ? std::u16string(name) : std::u16string();
  if (!key.empty()) {
    for (Object *o = g_named; o; o = o->nextNamed)
      if (o->name == key) {
        // Windows gives another handle to the existing object; its type must
        // be an event (a semaphore of that name would make this fail there).
        if (o->kind != Kind::ManualEvent && o->kind != Kind::AutoEvent) return nullptr;
        ++o->refs;
        return o;
      }
  }
  auto *o = new Object(manualReset ? Kind::ManualEvent : Kind::AutoEvent);
  o->count = initiallySignalled ? 1 : 0;
  o->maximum = 1;
  o->name = std::move(key);
  if (!o->name.empty()) {
    o->nextNamed = g_named;
    g_named = o;
  }
  return o;
}

bool EventSet(Handle event) {
  auto *o = static_cast<Object *>(event);
  if (!o || (o->kind != Kind::ManualEvent && o->kind != Kind::AutoEvent)) return false;
  Guard lock;
  o->count = 1;
  Broadcast();
  return true;
}

bool EventReset(Handle event) {
  auto *o = static_cast<Object *>(event);
  if (!o || (o->kind != Kind::ManualEvent && o->kind != Kind::AutoEvent)) return false;
  Guard lock;
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
  Guard lock;
  if (o->count + count > o->maximum) return false;
  o->count += count;
  Broadcast();
  return true;
}

Handle HandleDuplicate(Handle handle) {
  if (!handle) return nullptr;
  Guard lock;
  ++static_cast<Object *>(handle)->refs;
  return handle;
}

void HandleClose(Handle handle) {
  if (!handle) return;
  Guard lock;
  Release(static_cast<Object *>(handle));
}

int WaitAny(const Handle *handles, int count, uint32_t timeoutMs) {
  if (!handles || count <= 0 || count > 64) return kWaitFailed;
  for (int i = 0; i < count; ++i)
    if (!handles[i]) return kWaitFailed;
  timespec deadline{};
  if (timeoutMs != kInfinite) {
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += timeoutMs / 1000;
    deadline.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
      ++deadline.tv_sec;
      deadline.tv_nsec -= 1000000000L;
    }
  }
  Guard lock;
  // While it waits, the waiter holds a reference to every object, so that a
  // handle closed right after it was signalled (a dispatcher stopped under
  // a blocked fetch) does not free the object under the waiter.
  Object *held[64];
  for (int i = 0; i < count; ++i) {
    held[i] = static_cast<Object *>(handles[i]);
    ++held[i]->refs;
    ++held[i]->waiters;
  }
  int index = -1;
  bool timedOut = false;
  while (index < 0 && !timedOut) {
    for (int i = 0; i < count && index < 0; ++i)
      if (Signalled(held[i])) index = i;
    if (index >= 0) break;
    // A thread of the set has returned: join it here, outside the mutex,
    // and look again.  Others waiting for the same thread wait for the join.
    Object *returned = nullptr;
    for (int i = 0; i < count && !returned; ++i)
      if (held[i]->kind == Kind::Thread && held[i]->run == Run::Returned) returned = held[i];
    if (returned) {
      returned->run = Run::Joining;
      pthread_mutex_unlock(&g_mutex);
      pthread_join(returned->thread, nullptr);
      pthread_mutex_lock(&g_mutex);
      returned->run = Run::Joined;
      returned->count = 1;
      Broadcast();
      continue;
    }
    if (timeoutMs == kInfinite) pthread_cond_wait(&g_changed, &g_mutex);
    else timedOut = pthread_cond_timedwait(&g_changed, &g_mutex, &deadline) == ETIMEDOUT;
  }
  if (index < 0)  // the time is up: one last look
    for (int i = 0; i < count && index < 0; ++i)
      if (Signalled(held[i])) index = i;
  if (index >= 0) Consume(held[index]);
  for (int i = 0; i < count; ++i) {
    --held[i]->waiters;
    Release(held[i]);
  }
  return index >= 0 ? index : kWaitTimeout;
}

int WaitOne(Handle handle, uint32_t timeoutMs) { return WaitAny(&handle, 1, timeoutMs); }

int WaitersOn(Handle handle) {
  if (!handle) return 0;
  Guard lock;
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
  auto *block = new (std::nothrow) StartBlock{proc, arg, o};
  o->refs = 2;  // the caller's handle and the running thread
  // The thread may end and drop its reference before pthread_create has
  // stored its id: the mutex orders that store before any use of it.
  Guard lock;
  if (!block || pthread_create(&o->thread, nullptr, ThreadEntry, block) != 0) {
    delete block;
    delete o;
    return nullptr;
  }
  return o;
}

}  // namespace plat
