// Events, semaphores, waits and threads.  No test sleeps to synchronise:
// every cross-thread step is ordered by an object the test waits on.
#include <gtest/gtest.h>

#include <atomic>

#include "platform/platform.h"
#include "test_util.h"

namespace {

using plat::Handle;

TEST(Objects, EventResetModes) {
  Handle manual = plat::EventCreate(true, false, nullptr);
  Handle automatic = plat::EventCreate(false, true, nullptr);
  EXPECT_EQ(plat::WaitOne(manual, 0), plat::kWaitTimeout);
  plat::EventSet(manual);
  EXPECT_EQ(plat::WaitOne(manual, 0), 0);
  EXPECT_EQ(plat::WaitOne(manual, 0), 0);  // manual: stays signalled
  plat::EventReset(manual);
  EXPECT_EQ(plat::WaitOne(manual, 0), plat::kWaitTimeout);
  EXPECT_EQ(plat::WaitOne(automatic, 0), 0);  // initially signalled
  EXPECT_EQ(plat::WaitOne(automatic, 0), plat::kWaitTimeout);  // consumed
  plat::HandleClose(manual);
  plat::HandleClose(automatic);
}

TEST(Objects, NamedEventIsOneObjectUntilLastClose) {
  Handle a = plat::EventCreate(true, false, u"volneda-test-event");
  Handle b = plat::EventCreate(true, true, u"volneda-test-event");  // initial state ignored
  EXPECT_EQ(plat::WaitOne(a, 0), plat::kWaitTimeout);
  plat::EventSet(b);
  EXPECT_EQ(plat::WaitOne(a, 0), 0);
  plat::HandleClose(a);
  EXPECT_EQ(plat::WaitOne(b, 0), 0);  // still alive through b
  plat::HandleClose(b);
  // Every handle closed: a new creation is a new object.
  Handle c = plat::EventCreate(true, false, u"volneda-test-event");
  EXPECT_EQ(plat::WaitOne(c, 0), plat::kWaitTimeout);
  plat::HandleClose(c);
}

TEST(Objects, SemaphoreCountsAndMaximum) {
  Handle s = plat::SemaphoreCreate(1, 3);
  EXPECT_TRUE(plat::SemaphoreRelease(s, 2));
  EXPECT_FALSE(plat::SemaphoreRelease(s, 1));  // would pass 3
  for (int i = 0; i < 3; ++i) EXPECT_EQ(plat::WaitOne(s, 0), 0);
  EXPECT_EQ(plat::WaitOne(s, 0), plat::kWaitTimeout);
  plat::HandleClose(s);
  EXPECT_EQ(plat::SemaphoreCreate(2, 1), nullptr);
}

TEST(Objects, WaitAnyTakesFirstSignalledOnly) {
  Handle sem = plat::SemaphoreCreate(0, 10);
  Handle ev = plat::EventCreate(false, false, nullptr);
  Handle set[2] = {sem, ev};
  EXPECT_EQ(plat::WaitAny(set, 2, 0), plat::kWaitTimeout);
  plat::EventSet(ev);
  plat::SemaphoreRelease(sem, 1);
  EXPECT_EQ(plat::WaitAny(set, 2, 0), 0);  // both signalled: the first wins
  EXPECT_EQ(plat::WaitAny(set, 2, 0), 1);  // the event was not consumed
  EXPECT_EQ(plat::WaitAny(set, 2, 0), plat::kWaitTimeout);
  Handle bad[2] = {sem, nullptr};
  EXPECT_EQ(plat::WaitAny(bad, 2, 0), plat::kWaitFailed);
  plat::HandleClose(sem);
  plat::HandleClose(ev);
}

struct HandOff {
  Handle go, done;
  std::atomic<int> value{0};
};

uint32_t Worker(void *arg) {
  auto *h = static_cast<HandOff *>(arg);
  plat::WaitOne(h->go, plat::kInfinite);
  h->value = 42;
  plat::EventSet(h->done);
  return 0;
}

TEST(Objects, ThreadRunsAndSignalsItsHandleAtEnd) {
  HandOff h;
  h.go = plat::EventCreate(false, false, nullptr);
  h.done = plat::EventCreate(true, false, nullptr);
  Handle t = plat::ThreadStart(Worker, &h);
  ASSERT_NE(t, nullptr);
  WaitUntilBlocked(h.go);
  EXPECT_EQ(plat::WaitOne(t, 0), plat::kWaitTimeout);  // blocked on go
  plat::EventSet(h.go);
  EXPECT_EQ(plat::WaitOne(t, plat::kInfinite), 0);
  EXPECT_EQ(h.value.load(), 42);
  EXPECT_EQ(plat::WaitOne(t, 0), 0);  // an ended thread stays signalled
  plat::HandleClose(t);
  plat::HandleClose(h.go);
  plat::HandleClose(h.done);
}

uint32_t Waiter(void *arg) {
  auto *h = static_cast<HandOff *>(arg);
  h->value = plat::WaitOne(h->go, plat::kInfinite) == 0 ? 1 : -1;
  return 0;
}

TEST(Objects, HandleClosedRightAfterSignalStillWakesWaiter) {
  HandOff h;
  h.go = plat::EventCreate(false, false, nullptr);
  Handle t = plat::ThreadStart(Waiter, &h);
  WaitUntilBlocked(h.go);
  plat::EventSet(h.go);
  plat::HandleClose(h.go);
  EXPECT_EQ(plat::WaitOne(t, plat::kInfinite), 0);
  EXPECT_EQ(h.value.load(), 1);
  plat::HandleClose(t);
}

TEST(Objects, LockIsReentrant) {
  plat::Lock lock;
  plat::LockInit(&lock);
  plat::LockEnter(&lock);
  plat::LockEnter(&lock);
  plat::LockLeave(&lock);
  plat::LockLeave(&lock);
  plat::LockDelete(&lock);
}

}  // namespace
