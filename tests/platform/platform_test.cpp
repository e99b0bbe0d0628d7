// Events, semaphores, waits and threads (ordered by waits, never by sleeps),
// code pages and fixed fields, WAVE images, files and sound.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#if !defined(_WIN32)
#include <sys/mman.h>
#include <unistd.h>
#endif
#include <filesystem>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "platform/platform.h"
#include "platform/wave.h"
#include "platform/widestring.h"
#include "test_util.h"

namespace {

using plat::Handle;

TEST(Objects, EventsSemaphoresAndWaits) {
  Handle manual = plat::EventCreate(true, false, nullptr);
  Handle automatic = plat::EventCreate(false, true, nullptr);
  Handle sem = plat::SemaphoreCreate(1, 3);
  plat::EventSet(manual);
  const int32_t timeout = plat::kWaitTimeout;
  struct Step { Handle object; int32_t result; } steps[] = {{manual, 0}, {manual, 0},                          // manual reset: stays signalled
               {automatic, 0}, {automatic, timeout},              // initially signalled, then consumed
               {sem, 0}, {sem, timeout}};
  for (const Step &s : steps) EXPECT_EQ(plat::WaitOne(s.object, 0), s.result);
  plat::EventReset(manual);
  EXPECT_EQ(plat::WaitOne(manual, 0), timeout);
  EXPECT_TRUE(plat::SemaphoreRelease(sem, 3));
  EXPECT_FALSE(plat::SemaphoreRelease(sem, 1));  // would pass the maximum
  EXPECT_EQ(plat::SemaphoreCreate(2, 1), nullptr);
  // Several objects: the first signalled wins and only it is consumed.
  plat::EventSet(automatic);
  Handle set[2] = {sem, automatic}, bad[2] = {sem, nullptr};
  for (int32_t want : {0, 0, 0, 1}) EXPECT_EQ(plat::WaitAny(set, 2, 0), want);
  EXPECT_EQ(plat::WaitAny(set, 2, 0), timeout);
  EXPECT_EQ(plat::WaitAny(bad, 2, 0), plat::kWaitFailed);
  for (Handle h : {manual, automatic, sem}) plat::HandleClose(h);
}

struct HandOff {
  Handle go;
  std::atomic<int> value{0};
};

uint32_t Worker(void *arg) {
  auto *h = static_cast<HandOff *>(arg);
  h->value = plat::WaitOne(h->go, plat::kInfinite) == 0 ? 42 : -1;
  return 0;
}

TEST(Objects, ThreadRunsAndSignalsItsHandleAtEnd) {
  HandOff h;
  h.go = plat::EventCreate(false, false, nullptr);
  Handle t = plat::ThreadStart(Worker, &h);
  ASSERT_NE(t, nullptr);
  WaitUntilBlocked(h.go);
  EXPECT_EQ(plat::WaitOne(t, 0), plat::kWaitTimeout);  // blocked on go
  // A handle closed right after the signal still wakes its waiter.
  plat::EventSet(h.go);
  plat::HandleClose(h.go);
  EXPECT_EQ(plat::WaitOne(t, plat::kInfinite), 0);
  EXPECT_EQ(h.value.load(), 42);
  EXPECT_EQ(plat::WaitOne(t, 0), 0);  // an ended thread stays signalled
  plat::HandleClose(t);
}

TEST(CodePage, Windows1252AndUtf8BothWays) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(plat::WideToAnsi(plat::AnsiToWide(all)), all);
  const std::string bytes("A\x80\x81\x8D\x8F\x90\x9D\x9F\xA0\xE9\xFF\0", 12);
  const std::u16string units(u"A\u20AC\u0081\u008D\u008F\u0090\u009D\u0178\u00A0\u00E9\u00FF\0", 12);
  EXPECT_EQ(plat::AnsiToWide(bytes), units);
  EXPECT_EQ(plat::WideToAnsi(units), bytes);
  // No byte for these: one '?' per character, a surrogate pair included.
  EXPECT_EQ(plat::WideToAnsi(u"\u0080\u4E2D\U0001F600x"), "???x");

  EXPECT_EQ(plat::Utf8ToWide("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"), u"caf\u00E9 \u20AC \U0001F600");
  EXPECT_EQ(plat::WideToUtf8(u"caf\u00E9 \u20AC \U0001F600"), "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80");
  // Broken input (on Windows the system's converter refuses it and ours
  // takes over): truncated, each byte of a cut sequence, overlong, stray
  // continuation, a byte no sequence has, surrogate.
  for (auto [utf8, wide] : {std::pair{"\xC3", u"\uFFFD"}, {"\xE2\x82", u"\uFFFD\uFFFD"}, {"\xC0\xAF", u"\uFFFD\uFFFD"},
                            {"a\x80" "b", u"a\uFFFDb"}, {"a\xFF" "b", u"a\uFFFDb"}, {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"}})
    EXPECT_EQ(plat::Utf8ToWide(utf8), wide) << utf8;
  EXPECT_EQ(plat::WideToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(CodePage, FieldsCutAtCharacterBoundaryAndTerminate) {
  char narrow[4] = {'X', 'X', 'X', 'X'};
  EXPECT_EQ(plat::WideToAnsiField(u"abc", narrow, 0), 0u);  // untouched
  EXPECT_EQ(narrow[0], 'X');
  EXPECT_EQ(plat::WideToAnsiField(u"abcdef", narrow, 4), 3u);
  EXPECT_STREQ(narrow, "abc");
  char16_t wide[4];
  EXPECT_EQ(plat::WideToWideField(u"ab\U0001F600", wide, 4), 2u);  // a pair that does not fit is left out
  EXPECT_EQ(std::u16string(wide), u"ab");
  EXPECT_EQ(plat::AnsiToWideField("\x80xyz", wide, 4), 3u);
  EXPECT_EQ(std::u16string(wide), u"\u20ACxy");
  char cut[3];
  EXPECT_EQ(plat::AnsiToAnsiField("hello", cut, 3), 2u);
  EXPECT_STREQ(cut, "he");
  EXPECT_EQ(wstr::Format(u"Field %d %02d:%04d %03d %s", 7, 5, 7, -5, u"x"), u"Field 7 05:0007 -05 x");
  EXPECT_EQ(wstr::Format(u"[%s] 100%% %q %", static_cast<const char16_t *>(nullptr)), u"[] 100% %q %");
}

TEST(Wave, ParsesPcmAndRejectsTheRest) {
  // PCM, 2 channels, 8000 Hz, 16 bits, 10 bytes, after an odd-sized chunk.
  const std::vector<uint8_t> good = {
      'R', 'I', 'F', 'F', 58, 0, 0, 0, 'W', 'A', 'V', 'E', 'L', 'I', 'S', 'T', 3, 0, 0, 0, 1, 2, 3, 0,
      'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 2, 0, 0x40, 0x1F, 0, 0, 0, 0x7D, 0, 0, 4, 0, 16, 0,
      'd', 'a', 't', 'a', 10, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  plat::WaveInfo info;
  ASSERT_TRUE(plat::ParseWave(good.data(), good.size(), info));
  EXPECT_EQ(info.channels * 100000 + info.sampleRate, 208000u);
  EXPECT_EQ(info.dataSize, 8u);  // whole 4-byte frames only
  struct Bad {
    const char *why;
    size_t at, cut;  // a 16-bit value set at an offset; bytes cut off the end
    uint16_t value;
  } bad[] = {{"compressed", 32, 0, 2}, {"no channels", 34, 0, 0}, {"no rate", 36, 0, 0}, {"24-bit", 46, 0, 24},
             {"not RIFF", 0, 0, 0},    {"data cut short", 0, 5, 'R' | 'I' << 8}};
  for (const Bad &b : bad) {
    std::vector<uint8_t> image = good;
    image[b.at] = static_cast<uint8_t>(b.value);
    image[b.at + 1] = static_cast<uint8_t>(b.value >> 8);
    EXPECT_FALSE(plat::ParseWave(image.data(), image.size() - b.cut, info)) << b.why;
  }
  EXPECT_FALSE(plat::ParseWave(nullptr, 0, info));
  std::string bytes;
  EXPECT_FALSE(plat::ReadWholeFile(".", bytes) || plat::ReadWholeFile("no-such-file", bytes));  // no file, no bytes
  // None of these may fail, block or crash.
  VOLNEDA_PlaySndFile(W(u"no-such-file.wav"));
  VOLNEDA_PlaySndFile(nullptr);
  VOLNEDA_PlaySndMemory("not a wave");
  VOLNEDA_PlaySndMemory(nullptr);

  // A memory image is known by its address alone.  Its copy reads no
  // further than the end of the data chunk, and what the header claims
  // beyond the memory that exists fails the copy, never the process: each
  // image is placed so that it ends where readable memory ends.
  auto patched = [&good](std::initializer_list<std::pair<size_t, uint32_t>> values, size_t keep) {
    std::vector<uint8_t> image(good.begin(), good.begin() + keep);
    for (auto [at, value] : values)
      for (size_t i = 0; i < 4 && at + i < image.size(); ++i) image[at + i] = static_cast<uint8_t>(value >> (8 * i));
    return image;
  };
  const size_t riffAt = 4, dataAt = good.size() - 14;
  struct Truncated {
    const char *why;
    std::vector<uint8_t> image;
    size_t copied;  // from ample memory; 0: refused
  } truncated[] = {
      {"chunks claimed after the data", patched({{riffAt, 58 + (1u << 20)}}, good.size()), good.size()},
      {"data claimed past the end", patched({{riffAt, 1048}, {dataAt, 1000}}, good.size()), 1056},
      {"data past the RIFF size", patched({{dataAt, 1000}}, good.size()), 0},
      {"header cut short", patched({}, 10), 0},
      {"bigger than the player takes", patched({{riffAt, uint32_t(plat::kMaxWaveImage)}}, good.size()), 0},
  };
  auto plainRead = [](const void *from, size_t n, void *to) { return std::memcpy(to, from, n) != nullptr; };
#if !defined(_WIN32)
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  auto *area = static_cast<uint8_t *>(mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(area, MAP_FAILED);
  ASSERT_EQ(mprotect(area + page, page, PROT_NONE), 0);
#endif
  for (const Truncated &t : truncated) {
    std::vector<uint8_t> copy;
    std::vector<uint8_t> padded = t.image;
    padded.resize(4096);  // memory that exists, past what the image holds
    EXPECT_EQ(plat::CopyWaveImage(padded.data(), plainRead, copy) ? copy.size() : 0, t.copied) << t.why;
    if (t.copied) {
      EXPECT_TRUE(plat::ParseWave(copy.data(), copy.size(), info)) << t.why;
      EXPECT_EQ(copy[4] | copy[5] << 8, int(t.copied - 8)) << t.why;  // the RIFF size of the copy
    }
#if !defined(_WIN32)
    uint8_t *at = area + page - t.image.size();
    std::memcpy(at, t.image.data(), t.image.size());
    VOLNEDA_PlaySndMemory(at);
#endif
  }
#if !defined(_WIN32)
  munmap(area, 2 * page);
#endif
}

// What is not a regular file of at most 16 MiB reads as a file that cannot
// be read, at once: for whole-file reads, reader lists (-3251) and '@'
// write requests (-3000).
TEST(Files, OnlyRegularFilesUpToTheLimitAreRead) {
  const std::string path = "platform_input_file";
  enum Prep { kDirectory, kAtLimit, kOverLimit, kFifo };
  struct Case { Prep prep; bool read; } cases[] = {
      {kDirectory, false}, {kAtLimit, true}, {kOverLimit, false},
#ifndef _WIN32
      {kFifo, false},
#endif
  };
  VOLNEDA_HANDLE h = nullptr;
  ASSERT_TRUE(VOLNEDA_StartAll(&h, W(Wide(path))));
  for (const Case &k : cases) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    if (k.prep == kDirectory) std::filesystem::create_directory(path);
    if (k.prep == kAtLimit || k.prep == kOverLimit) {
      ASSERT_TRUE(WriteTextFile(path, "[x]\n"));
      std::filesystem::resize_file(path, plat::kMaxFileBytes + (k.prep == kOverLimit));
    }
#ifndef _WIN32
    if (k.prep == kFifo) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }
#endif
    std::string bytes = "old";
    EXPECT_EQ(plat::ReadWholeFile(path, bytes), k.read) << k.prep;
    EXPECT_EQ(bytes.size(), k.read ? plat::kMaxFileBytes : 0u);
    VOLNEDA_WCHAR name[32];
    EXPECT_EQ(VOLNEDA_FindFirstReader(h, name, nullptr), k.read ? 0 : -3251) << k.prep;  // each section is a reader
  }
  std::error_code ec;
  std::filesystem::remove(path, ec);
  VOLNEDA_StopAll(&h);
}

}  // namespace
