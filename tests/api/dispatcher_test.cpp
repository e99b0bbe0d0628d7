// The status dispatcher and the reader context lifecycle.  Cross-thread
// steps are ordered by waits, never by sleeping.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "api/context.h"
#include "api/dispatcher.h"
#include "platform/widestring.h"
#include "tagdrv_control.h"
#include "test_util.h"

namespace {

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
  // "level,source,code,text" of the next message; "none" when the fetch fails.
  std::string Fetch(int32_t capacity = 128) {
    int32_t level, source, code;
    VOLNEDA_WCHAR buf[128] = {u'Z', 0};
    if (!DispatcherGetData(handle, &level, &source, &code, buf, capacity)) return "none";
    return std::to_string(level) + "," + std::to_string(source) + "," + std::to_string(code) + "," + Narrow(U(buf));
  }
  VOLNEDA_HANDLE handle = nullptr;
  ReaderContext *ctx = nullptr;
};

TEST_F(Dispatcher, KeepsFirst99InOrderCutsTextsAndThenBlocks) {
  for (int i = 0; i < 120; ++i) Post(ctx, i % 4, 7, i, wstr::Format(u"m%d", i));
  EXPECT_EQ(ctx->ringCount, 99u);
  for (int i = 0; i < 99; ++i)
    ASSERT_EQ(Fetch(), std::to_string(i % 4) + ",7," + std::to_string(i) + ",m" + std::to_string(i));
  // The text is cut to the capacity; with none the buffer is not touched.
  for (auto [capacity, fetched] : {std::pair{5, "2,8,-3300,Read"}, {1, "2,8,-3300,"}, {0, "2,8,-3300,Z"}}) {
    Post(ctx, 2, 8, -3300, u"Read OK");
    EXPECT_EQ(Fetch(capacity), fetched);
  }
  std::string late;
  std::thread reader([&] { late = Fetch(); });
  WaitUntilBlocked(ctx->msgSemaphore);
  Post(ctx, 0, 1, 500, u"late");
  reader.join();
  EXPECT_EQ(late, "0,1,500,late");
}

TEST_F(Dispatcher, StopEndsEveryWaitingFetchAndFreesWhatIsUnread) {
  // Misuse as well as use: one fetching thread, or several on one context.
  std::string results[4];
  std::vector<std::thread> readers;
  for (std::string &result : results) readers.emplace_back([&] { result = Fetch(); });
  WaitUntilBlocked(ctx->stopEvent, 4);
  StopDispatcher(handle);
  for (auto &r : readers) r.join();
  for (const std::string &result : results) EXPECT_EQ(result, "none");
  // Restarted, messages left unread, stopped: the sanitizer run sees them freed.
  StartDispatcher(handle);
  EXPECT_EQ(ctx->ringCount, 0u);
  Post(ctx, 0, 1, 1, u"unread one");
  // A message wins over a stop signalled at the same time; then the stop.
  plat::EventSet(ctx->stopEvent);
  EXPECT_EQ(Fetch(), "0,1,1,unread one");
  EXPECT_EQ(Fetch(), "none");
  Post(ctx, 0, 1, 2, u"unread two");
}

// The configuration path, and a template name completed with its directory.
TEST(Context, ConfigurationPathAndTemplateNameCompletion) {
  const std::string longVariable(140, 'v');
  struct Case { std::u16string path; const char *env; std::string config, attribute; std::u16string completed; } cases[] = {
#if defined(_WIN32)
      {u"C:\\cfg\\rfconfig.ini", nullptr, "C:\\cfg\\rfconfig.ini", "D:SWTT.INI", u"C:\\cfg\\\\SWTT.INI"},  // drive dropped
      {u"", nullptr, "", "SWTT.INI", u"\\SWTT.INI"},
#else
      {u"/etc/rf/rfconfig.ini", "/from/env.ini", "/etc/rf/rfconfig.ini", "SWTT.INI", u"/etc/rf//SWTT.INI"},
      {u"", nullptr, "", "SWTT.INI", u"/SWTT.INI"},  // no directory at all: the root
#endif
      {u"", "/from/env.ini", "/from/env.ini", "/opt/t/SWTT.INI", u"/opt/t/SWTT.INI"},  // a directory is kept
      {std::u16string(200, u'p'), nullptr, std::string(127, 'p'), "t\\SWTT.INI", u"t\\SWTT.INI"},
      {u"", longVariable.c_str(), std::string(127, 'v'), "", u""},
      {u"\u20AC.ini", nullptr, "\x80.ini", "", u""},  // converted to the code page
  };
  TagdrvSetFieldFile("ctx_field.ini");
  for (const Case &c : cases) {
    SetEnvVar("RF_RFID_CONFIG", c.env);
    VOLNEDA_HANDLE h = nullptr;
    EXPECT_EQ(VOLNEDA_StartAll(&h, W(c.path)), 1);
    EXPECT_EQ(std::string(ToContext(h)->configPath), c.config);
    Post(ToContext(h), 0, 0, 0, u"dropped: no dispatcher yet");
    WriteTextFile("ctx_field.ini", "[reader R1]\nattr.RFID_SWTT_FILE_NAME = " + c.attribute + "\nattr.Other = SWTT.INI\n");
    VOLNEDA_WCHAR name[64] = {}, other[64] = {};
    if (!c.attribute.empty() && VOLNEDA_Open(h, W(u"R1")) == 0 &&
        VOLNEDA_GetAttribute(h, W(u"RFID_SWTT_FILE_NAME"), name) == 0 && VOLNEDA_GetAttribute(h, W(u"Other"), other) == 0) {
      EXPECT_EQ(U(name) + u"|" + U(other), c.completed + u"|SWTT.INI");  // only the template name is completed
    }
    VOLNEDA_Close(h);  // StopAll leaves an open reader open
    StopDispatcher(h);  // never started: nothing to stop
    VOLNEDA_StopAll(&h);
    VOLNEDA_StopAll(&h);  // twice: nothing left to stop
  }
  SetEnvVar("RF_RFID_CONFIG", nullptr);
  TagdrvSetFieldFile(nullptr);
  std::remove("ctx_field.ini");
  EXPECT_EQ(DispatcherGetData(nullptr, nullptr, nullptr, nullptr, nullptr, 4), 0);
  StartDispatcher(nullptr);
  StopDispatcher(nullptr);
  Post(nullptr, 0, 0, 0, u"x");
  VOLNEDA_StopAll(nullptr);
  VOLNEDA_Version(nullptr, nullptr);
}

TEST(Context, CloseEventIsSharedByAllContexts) {
  VOLNEDA_HANDLE a = nullptr, b = nullptr, c = nullptr, d = nullptr;
  VOLNEDA_StartAll(&a, W(u""));
  VOLNEDA_StartAll(&b, W(u""));
  plat::Handle bWatcher = ToContext(b)->watcherThread;
  EXPECT_EQ(plat::WaitOne(bWatcher, 0), plat::kWaitTimeout);
  // Stopping a ends b's watcher too: the close event is one object.
  VOLNEDA_StopAll(&a);
  EXPECT_EQ(plat::WaitOne(bWatcher, plat::kInfinite), 0);
  // A context started while the event is still signalled ends at once.
  VOLNEDA_StartAll(&c, W(u""));
  EXPECT_EQ(plat::WaitOne(ToContext(c)->watcherThread, plat::kInfinite), 0);
  VOLNEDA_StopAll(&b);
  VOLNEDA_StopAll(&c);
  // Every handle closed: the next context gets a fresh, unsignalled event.
  VOLNEDA_StartAll(&d, W(u""));
  EXPECT_EQ(plat::WaitOne(ToContext(d)->watcherThread, 0), plat::kWaitTimeout);
  VOLNEDA_StopAll(&d);
}

}  // namespace
