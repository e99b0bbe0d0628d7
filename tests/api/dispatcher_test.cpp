// The status dispatcher and the reader context lifecycle, through the
// exported functions.  Cross-thread steps are ordered by waits, never by
// sleeping.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "api/context.h"
#include "api/dispatcher.h"
#include "platform/widestring.h"
#include "test_util.h"

namespace {

struct Message {
  int32_t level = -1, source = -1, code = -1;
  std::u16string text;
};

class Dispatcher : public ::testing::Test {
 protected:
  void SetUp() override {
    VOLNEDA_StartAll(&handle, W(u"cfg.ini"));
    StartDispatcher(handle);
    ctx = ToContext(handle);
  }
  void TearDown() override {
    StopDispatcher(handle);
    VOLNEDA_StopAll(&handle);
  }
  bool Fetch(Message &m, int32_t capacity = 128) {
    VOLNEDA_WCHAR buf[128];
    bool ok = DispatcherGetData(handle, &m.level, &m.source, &m.code, buf, capacity) != 0;
    if (ok) m.text = capacity > 0 ? U(buf) : u"";
    return ok;
  }
  // Fetches on another thread; the caller learns the outcome by joining.
  VOLNEDA_HANDLE handle = nullptr;
  ReaderContext *ctx = nullptr;
};

TEST_F(Dispatcher, KeepsFirst99InOrderAndDropsTheRest) {
  for (int i = 0; i < 120; ++i) Post(ctx, i % 4, 7, i, wstr::Format(u"m%d", i));
  EXPECT_EQ(ctx->ringCount, 99u);
  for (int i = 0; i < 99; ++i) {
    Message m;
    ASSERT_TRUE(Fetch(m));
    EXPECT_EQ(m.code, i);
    EXPECT_EQ(m.level, i % 4);
    EXPECT_EQ(m.source, 7);
    EXPECT_EQ(m.text, wstr::Format(u"m%d", i));
  }
  EXPECT_EQ(ctx->ringCount, 0u);
  // The 100th fetch blocks until a post arrives.
  std::atomic<int> got{-1};
  std::thread reader([&] {
    Message m;
    got = Fetch(m) ? m.code : -2;
  });
  WaitUntilBlocked(ctx->msgSemaphore);
  Post(ctx, 0, 1, 500, u"late");
  reader.join();
  EXPECT_EQ(got.load(), 500);
}

TEST_F(Dispatcher, HeadAndTailWrap) {
  // Walk the indices round the ring twice, in bursts that cross 99 -> 0.
  int next = 0;
  for (int round = 0; round < 5; ++round) {
    for (int i = 0; i < 60; ++i) Post(ctx, 0, 2, next + i, u"");
    for (int i = 0; i < 60; ++i) {
      Message m;
      ASSERT_TRUE(Fetch(m));
      ASSERT_EQ(m.code, next + i);
    }
    next += 60;
    EXPECT_EQ(ctx->ringHead, static_cast<uint32_t>(next % 100));
    EXPECT_EQ(ctx->ringTail, ctx->ringHead);
  }
}

TEST_F(Dispatcher, TextCapacities) {
  struct Case {
    const char16_t *text;
    int32_t capacity;
    std::u16string want;
  } cases[] = {
      {u"", 128, u""},
      {u"Read OK", 128, u"Read OK"},
      {u"Read OK", 5, u"Read"},
      {u"Read OK", 1, u""},
  };
  for (const Case &c : cases) {
    Post(ctx, 2, 8, -3300, c.text);
    Message m;
    ASSERT_TRUE(Fetch(m, c.capacity));
    EXPECT_EQ(m.text, c.want);
    EXPECT_EQ(m.level, 2);
    EXPECT_EQ(m.source, 8);
    EXPECT_EQ(m.code, -3300);
  }
  // Capacity 0: the numbers, and the buffer is not touched.
  Post(ctx, 1, 9, 3, u"x");
  VOLNEDA_WCHAR buf[2] = {u'Z', 0};
  int32_t level, source, code;
  ASSERT_TRUE(DispatcherGetData(handle, &level, &source, &code, buf, 0));
  EXPECT_EQ(code, 3);
  EXPECT_EQ(buf[0], u'Z');
}

TEST_F(Dispatcher, StopWakesABlockedFetch) {
  std::atomic<int> result{-1};
  std::thread reader([&] {
    Message m;
    result = Fetch(m) ? 1 : 0;
  });
  // Whether the reader is already blocked or not, the stop event stays
  // signalled for it (auto reset: consumed by its one wait).
  plat::EventSet(ctx->stopEvent);
  reader.join();
  EXPECT_EQ(result.load(), 0);
}

TEST_F(Dispatcher, StopDispatcherEndsAWaitingFetchAndFreesUnread) {
  std::atomic<int> result{-1};
  std::thread reader([&] {
    Message m;
    result = Fetch(m) ? 1 : 0;
  });
  WaitUntilBlocked(ctx->stopEvent);
  StopDispatcher(handle);
  reader.join();
  EXPECT_EQ(result.load(), 0);
  // Restart, leave messages unread, stop: the texts are freed (the
  // sanitizer run would report them otherwise).
  StartDispatcher(handle);
  EXPECT_EQ(ctx->ringCount, 0u);
  Post(ctx, 0, 1, 1, u"unread one");
  Post(ctx, 0, 1, 2, u"unread two");
}

TEST_F(Dispatcher, MessageWinsOverStopWhenBothAreSignalled) {
  Post(ctx, 0, 5, 77, u"Opening reader...");
  plat::EventSet(ctx->stopEvent);
  Message m;
  ASSERT_TRUE(Fetch(m));
  EXPECT_EQ(m.code, 77);
  EXPECT_FALSE(Fetch(m));  // then the stop
}

TEST(DispatcherNull, NullContextAndUnstartedDispatcher) {
  int32_t a, b, c;
  VOLNEDA_WCHAR buf[4];
  EXPECT_EQ(DispatcherGetData(nullptr, &a, &b, &c, buf, 4), 0);
  StartDispatcher(nullptr);
  StopDispatcher(nullptr);
  Post(nullptr, 0, 0, 0, u"x");
  VOLNEDA_HANDLE h = nullptr;
  VOLNEDA_StartAll(&h, W(u""));
  Post(ToContext(h), 0, 0, 0, u"dropped: no dispatcher yet");
  StopDispatcher(h);  // never started: nothing to stop
  VOLNEDA_StopAll(&h);
}

TEST(Context, ConfigurationPathSources) {
  struct Case {
    const char *what;
    std::u16string path;
    const char *env;
    std::string want;
  } cases[] = {
      {"given path", u"/etc/rf/rfconfig.ini", "/from/env.ini", "/etc/rf/rfconfig.ini"},
      {"empty path takes the variable", u"", "/from/env.ini", "/from/env.ini"},
      {"empty path, no variable", u"", nullptr, ""},
      {"path cut to 127 bytes", std::u16string(200, u'p'), nullptr, std::string(127, 'p')},
      {"variable cut to 127 bytes", u"", "vvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvv",
       std::string(127, 'v')},
      {"converted to the code page", u"\u20AC.ini", nullptr, "\x80.ini"},
  };
  for (const Case &c : cases) {
    SetEnvVar("RF_RFID_CONFIG", c.env);
    VOLNEDA_HANDLE h = nullptr;
    EXPECT_EQ(VOLNEDA_StartAll(&h, W(c.path)), 1);
    ASSERT_NE(h, nullptr);
    ReaderContext *ctx = ToContext(h);
    EXPECT_EQ(std::string(ctx->configPath), c.want) << c.what;
    EXPECT_EQ(ctx->openFlag, 0);
    EXPECT_EQ(ctx->docText, nullptr);
    EXPECT_EQ(ctx->templates, nullptr);
    VOLNEDA_StopAll(&h);
    EXPECT_EQ(h, nullptr);
  }
  SetEnvVar("RF_RFID_CONFIG", nullptr);
}

TEST(Context, StopAllTwiceAndOnNull) {
  VOLNEDA_HANDLE h = nullptr;
  VOLNEDA_StopAll(&h);
  EXPECT_EQ(h, nullptr);
  VOLNEDA_StopAll(nullptr);
  VOLNEDA_StartAll(&h, W(u""));
  VOLNEDA_StopAll(&h);
  VOLNEDA_StopAll(&h);
  EXPECT_EQ(h, nullptr);
}

TEST(Context, CloseEventIsSharedByAllContexts) {
  VOLNEDA_HANDLE a = nullptr, b = nullptr;
  VOLNEDA_StartAll(&a, W(u""));
  VOLNEDA_StartAll(&b, W(u""));
  ReaderContext *ca = ToContext(a), *cb = ToContext(b);
  plat::Handle bWatcher = cb->watcherThread;
  EXPECT_EQ(plat::WaitOne(bWatcher, 0), plat::kWaitTimeout);
  // Stopping a ends b's watcher too: the close event is one object.
  VOLNEDA_StopAll(&a);
  EXPECT_EQ(plat::WaitOne(bWatcher, plat::kInfinite), 0);
  // A context started while the event is still signalled: its watcher
  // ends at once.
  VOLNEDA_HANDLE c = nullptr;
  VOLNEDA_StartAll(&c, W(u""));
  EXPECT_EQ(plat::WaitOne(ToContext(c)->watcherThread, plat::kInfinite), 0);
  VOLNEDA_StopAll(&b);
  VOLNEDA_StopAll(&c);
  (void)ca;
  // Every handle closed: the next context gets a fresh, unsignalled event.
  VOLNEDA_HANDLE d = nullptr;
  VOLNEDA_StartAll(&d, W(u""));
  EXPECT_EQ(plat::WaitOne(ToContext(d)->watcherThread, 0), plat::kWaitTimeout);
  VOLNEDA_StopAll(&d);
}

TEST(Unsupported, SettingsSayNotSupported) {
  EXPECT_EQ(SetUseScanTrigger(nullptr, 1), -3307);
  EXPECT_EQ(SetCommTimeOut(nullptr, 1), -3307);
  VOLNEDA_HANDLE h = nullptr;
  VOLNEDA_StartAll(&h, W(u""));
  StartDispatcher(h);
  EXPECT_EQ(SetUseScanTrigger(h, 1), -3400);
  EXPECT_EQ(SetCommTimeOut(h, 500), -3450);
  int32_t level, source, code;
  VOLNEDA_WCHAR buf[8];
  ASSERT_TRUE(DispatcherGetData(h, &level, &source, &code, buf, 8));
  EXPECT_EQ(level, 0);
  EXPECT_EQ(source, 13);
  EXPECT_EQ(code, -3400);
  EXPECT_EQ(U(buf), u"");
  ASSERT_TRUE(DispatcherGetData(h, &level, &source, &code, buf, 8));
  EXPECT_EQ(level, 1);
  EXPECT_EQ(source, 24);
  EXPECT_EQ(code, -3450);
  StopDispatcher(h);
  VOLNEDA_StopAll(&h);
}

TEST(Version, Is123) {
  int32_t major = 0, minor = 0;
  VOLNEDA_Version(&major, &minor);
  EXPECT_EQ(major, 1);
  EXPECT_EQ(minor, 23);
  VOLNEDA_Version(nullptr, nullptr);
}

}  // namespace
