// Threads: the dispatcher under several posting threads while its fetch
// loop is stopped, and several reader contexts worked on several threads at
// once through everything the process shares (the INI state, the close
// event, the simulated driver).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "api/context.h"
#include "api/dispatcher.h"
#include "tagdrv_control.h"
#include "test_util.h"

namespace {

// An application's fetch loop, on a thread of its own: it ends when the
// dispatcher is stopped.
struct FetchLoop {
  explicit FetchLoop(VOLNEDA_HANDLE handle)
      : thread([this, handle] {
          int32_t level, source, code;
          VOLNEDA_WCHAR text[32];
          while (DispatcherGetData(handle, &level, &source, &code, text, 32)) {
            codes.push_back(code);
            ++fetched;
          }
        }) {}
  std::vector<int32_t> codes;  // read after the join
  std::atomic<int> fetched{0};
  std::thread thread;
};

TEST(Threads, StopDispatcherEndsTheFetchLoopWhateverItIsDoing) {
  constexpr int kPosters = 3, kEach = 20;
  VOLNEDA_HANDLE handle = nullptr;
  VOLNEDA_StartAll(&handle, W(u""));
  ReaderContext *context = ToContext(handle);
  for (int cycle = 0; cycle < 3000; ++cycle) {
    StartDispatcher(handle);  // a restart, from the second cycle on
    FetchLoop loop(handle);
    std::vector<std::thread> posters;
    for (int p = 0; p < kPosters; ++p)
      posters.emplace_back([context, p] {
        for (int i = 0; i < kEach; ++i) Post(context, 0, 1, p * 1000 + i, u"status");
      });
    // Even cycles stop once the fetcher has taken every message, as an
    // application does; odd ones stop while messages are posted and fetched.
    const bool drained = cycle % 2 == 0;
    if (drained) {
      for (auto &t : posters) t.join();
      while (loop.fetched < kPosters * kEach) std::this_thread::yield();
    }
    StopDispatcher(handle);
    loop.thread.join();
    for (auto &t : posters)
      if (t.joinable()) t.join();
    // Each poster's messages arrive in its order, none twice.
    int last[kPosters] = {-1, -1, -1};
    for (int32_t code : loop.codes) {
      ASSERT_GT(code % 1000, last[code / 1000]) << "cycle " << cycle;
      last[code / 1000] = code % 1000;
    }
    if (drained) {
      ASSERT_EQ(loop.codes.size(), size_t(kPosters * kEach));
    }
  }
  VOLNEDA_StopAll(&handle);
}

TEST(Threads, ContextsOnSeveralThreadsAtOnce) {
  WriteTextFile("threads_field.ini",
                "[reader R1]\nattr.RFID_SWTT_FILE_NAME = ./threads_swtt.ini\n"
                "[tag pallet]\nreader = R1\nid = 0123456789ABCDEF\nswtt = 0123456789AB\n"
                "mem.0 = 0123456789ABCDEF\ntext.18 = AB-12\n");
  WriteTextFile("threads_swtt.ini", "[0123xxxxxxxx]\nID=Pallet\nf_00=PartNo,18,8,s\nf_01=Serial,0,8,h\n");
  WriteTextFile("threads_rfconfig.ini", "[R1]\n[R2]\n[R3]\n");
  TagdrvSetFieldFile("threads_field.ini");
  auto work = [](int thread) {
    for (int round = 0; round < 25; ++round) {
      VOLNEDA_HANDLE h = nullptr;
      VOLNEDA_StartAll(&h, W(u"threads_rfconfig.ini"));
      StartDispatcher(h);
      FetchLoop loop(h);
      // Discovery: another thread's template load or discovery may end or
      // restart this enumeration, but every name it gives is a reader.
      VOLNEDA_WCHAR name[32];
      EXPECT_EQ(VOLNEDA_FindFirstReader(h, name, nullptr), 0);
      int32_t rc;
      do EXPECT_TRUE(U(name) == u"R1" || U(name) == u"R2" || U(name) == u"R3");
      while ((rc = VOLNEDA_FindNextReader(h, name)) == 0);
      EXPECT_EQ(rc, -3253);
      EXPECT_EQ(VOLNEDA_Open(h, W(u"R1")), 0);
      const std::u16string value = u"T" + std::u16string(1, u'0' + thread) + u"-" + char16_t(u'a' + round);
      EXPECT_EQ(VOLNEDA_Write(h, W(u"<WriteTags><Tag ID=\"0123456789ABCDEF\"><SWTTField EntryNr=\"0\">" + value +
                                   u"</SWTTField></Tag></WriteTags>")),
                0);
      EXPECT_EQ(VOLNEDA_LoadSWTT(h, W(u"./threads_swtt.ini")), 0);
      // The read finds the template fields and this thread's own write.
      int32_t length = 0, tags = 0;
      EXPECT_EQ(VOLNEDA_Command(h, W(u"read field(0,1) where swtt=0123"), &length, &tags), 0);
      EXPECT_EQ(tags, 1);
      std::u16string doc(length + 1, u'\0');
      VOLNEDA_GetXMLData(h, reinterpret_cast<VOLNEDA_WCHAR *>(doc.data()), length + 1);
      EXPECT_NE(doc.find(u">" + value + u"    </Field>"), std::u16string::npos) << "thread " << thread;
      EXPECT_NE(doc.find(u">0123456789ABCDEF</Field>"), std::u16string::npos) << "thread " << thread;
      EXPECT_EQ(VOLNEDA_Close(h), 0);
      StopDispatcher(h);
      loop.thread.join();
      VOLNEDA_StopAll(&h);
    }
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) threads.emplace_back(work, t);
  for (auto &t : threads) t.join();
  TagdrvSetFieldFile(nullptr);
  for (const char *f : {"threads_field.ini", "threads_swtt.ini", "threads_rfconfig.ini"}) std::remove(f);
}

// The contract is one caller at a time per context; a program that breaks
// it gets results that may interleave, never a torn document or a heap
// the sanitizers complain about.
TEST(Threads, OneContextCalledFromSeveralThreadsAtOnce) {
  WriteTextFile("shared_field.ini",
                "[reader R1]\nattr.RFID_SWTT_FILE_NAME = ./shared_swtt.ini\n"
                "[tag a]\nreader = R1\nid = 0123456789ABCDEF\nswtt = 0123456789AB\ntext.18 = AB-12\n"
                "[tag b]\nreader = R1\nid = 1123456789ABCDEF\nswtt = 0123456789AB\ntext.18 = CD-34\n");
  WriteTextFile("shared_swtt.ini", "[0123xxxxxxxx]\nID=Pallet\nf_00=PartNo,18,8,s\nf_01=Serial,0,8,h\n");
  TagdrvSetFieldFile("shared_field.ini");
  VOLNEDA_HANDLE h = nullptr;
  VOLNEDA_StartAll(&h, W(u""));
  StartDispatcher(h);
  FetchLoop loop(h);
  ASSERT_EQ(VOLNEDA_Open(h, W(u"R1")), 0);
  std::atomic<int> torn{0};
  const std::vector<std::function<void(int)>> callers = {
      [&](int) {
        int32_t length, tags;
        VOLNEDA_Command(h, W(u"read field(0,1) where swtt=0123"), &length, &tags);
      },
      [&](int) {
        // Any document seen whole: the one of some command, never a mix.
        std::u16string doc(1 << 16, u'\0');
        VOLNEDA_GetXMLData(h, reinterpret_cast<VOLNEDA_WCHAR *>(doc.data()), int32_t(doc.size()));
        doc.resize(std::char_traits<char16_t>::length(doc.c_str()));
        if (!doc.empty() && doc.rfind(u"Tags>") != doc.size() - 5 && doc.rfind(u"Tags>\r\n") != doc.size() - 7)
          ++torn;
      },
      [&](int i) {
        VOLNEDA_Write(h, W(u"<WriteTags><Tag ID=\"0123456789ABCDEF\"><SWTTField EntryNr=\"0\">W" +
                           std::u16string(1, u'0' + i % 10) + u"</SWTTField></Tag></WriteTags>"));
      },
      [&](int i) {
        VOLNEDA_WCHAR value[64];
        VOLNEDA_SetAttribute(h, W(u"Power"), W(i % 2 ? u"30" : u"10"));
        VOLNEDA_GetAttribute(h, W(u"Power"), value);
        if (i % 7 == 0) VOLNEDA_LoadSWTT(h, W(u"./shared_swtt.ini"));
        if (i % 11 == 0) {
          VOLNEDA_Close(h);
          VOLNEDA_Open(h, W(u"R1"));
        }
      },
  };
  std::vector<std::thread> threads;
  for (const auto &call : callers)
    threads.emplace_back([&call] {
      for (int i = 0; i < 300; ++i) call(i);
    });
  for (auto &t : threads) t.join();
  EXPECT_EQ(torn, 0);
  VOLNEDA_Close(h);
  StopDispatcher(h);
  loop.thread.join();
  VOLNEDA_StopAll(&h);
  TagdrvSetFieldFile(nullptr);
  for (const char *f : {"shared_field.ini", "shared_swtt.ini"}) std::remove(f);
}

}  // namespace
