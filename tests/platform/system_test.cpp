// Environment, files, clock and WAVE parsing.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "platform/wave.h"
#include "test_util.h"
#include "volneda.h"

namespace {

TEST(System, EnvironmentAndFiles) {
  std::string v;
#if !defined(_WIN32)
  SetEnvVar("VOLNEDA_TEST_VAR", "caf\xC3\xA9");
  ASSERT_TRUE(plat::GetEnv("VOLNEDA_TEST_VAR", v));
  EXPECT_EQ(v, "caf\xE9");  // UTF-8 environment, system code page out
#endif
  SetEnvVar("VOLNEDA_TEST_VAR", nullptr);
  EXPECT_FALSE(plat::GetEnv("VOLNEDA_TEST_VAR", v));

  const char *path = "volneda_system_test.bin";
  std::string bytes("a\0b\r\nc", 6);
  FILE *f = std::fopen(path, "wb");
  ASSERT_TRUE(f);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  std::string got;
  EXPECT_TRUE(plat::ReadWholeFile(path, got));
  EXPECT_EQ(got, bytes);
  EXPECT_TRUE(plat::ReadWholeFileW(u"volneda_system_test.bin", got));
  EXPECT_EQ(got, bytes);
  std::remove(path);
  EXPECT_FALSE(plat::ReadWholeFile(path, got));
  EXPECT_TRUE(got.empty());
  EXPECT_FALSE(plat::ReadWholeFile(".", got));  // a directory is no file
}

TEST(System, LocalTimeIsPlausible) {
  plat::LocalTime t = plat::GetLocalTime();
  EXPECT_GE(t.year, 2020);
  EXPECT_TRUE(t.month >= 1 && t.month <= 12);
  EXPECT_TRUE(t.day >= 1 && t.day <= 31);
  EXPECT_TRUE(t.hour >= 0 && t.hour <= 23);
  EXPECT_TRUE(t.milliseconds >= 0 && t.milliseconds <= 999);
}

void Put32(std::vector<uint8_t> &v, uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}
void Put16(std::vector<uint8_t> &v, uint16_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}

std::vector<uint8_t> Wave(uint16_t format, uint16_t channels, uint32_t rate, uint16_t bits, uint32_t dataBytes,
                          bool extraChunk = false) {
  std::vector<uint8_t> v;
  v.insert(v.end(), {'R', 'I', 'F', 'F'});
  Put32(v, 0);
  v.insert(v.end(), {'W', 'A', 'V', 'E'});
  if (extraChunk) {
    v.insert(v.end(), {'L', 'I', 'S', 'T'});
    Put32(v, 3);
    v.insert(v.end(), {1, 2, 3, 0});  // odd size, padded
  }
  v.insert(v.end(), {'f', 'm', 't', ' '});
  Put32(v, 16);
  Put16(v, format);
  Put16(v, channels);
  Put32(v, rate);
  Put32(v, rate * channels * bits / 8);
  Put16(v, static_cast<uint16_t>(channels * bits / 8));
  Put16(v, bits);
  v.insert(v.end(), {'d', 'a', 't', 'a'});
  Put32(v, dataBytes);
  v.resize(v.size() + dataBytes, 0x80);
  uint32_t riff = static_cast<uint32_t>(v.size() - 8);
  std::memcpy(&v[4], &riff, 4);
  return v;
}

TEST(Wave, ParsesPcmAndRejectsTheRest) {
  plat::WaveInfo info;
  auto ok = Wave(1, 2, 8000, 16, 10, true);
  ASSERT_TRUE(plat::ParseWave(ok.data(), ok.size(), info));
  EXPECT_EQ(info.channels, 2);
  EXPECT_EQ(info.sampleRate, 8000u);
  EXPECT_EQ(info.dataSize, 8u);  // whole 4-byte frames only
  EXPECT_EQ(plat::WaveImageSize(ok.data()), ok.size());

  struct Bad {
    const char *why;
    std::vector<uint8_t> image;
  } bad[] = {
      {"compressed", Wave(2, 1, 8000, 16, 4)},
      {"no channels", Wave(1, 0, 8000, 16, 4)},
      {"no rate", Wave(1, 1, 0, 16, 4)},
      {"24-bit", Wave(1, 1, 8000, 24, 6)},
  };
  for (auto &b : bad) EXPECT_FALSE(plat::ParseWave(b.image.data(), b.image.size(), info)) << b.why;
  // Truncated: the data chunk claims more than the image holds.
  auto cut = Wave(1, 1, 8000, 8, 100);
  EXPECT_FALSE(plat::ParseWave(cut.data(), cut.size() - 50, info));
  const char junk[16] = "RIFX....WAVEfmt";
  EXPECT_FALSE(plat::ParseWave(junk, sizeof junk, info));
  EXPECT_EQ(plat::WaveImageSize(junk), 0u);
  EXPECT_FALSE(plat::ParseWave(nullptr, 0, info));
}

TEST(Sound, UnplayableInputIsSilentlyIgnored) {
  // None of these may fail, block or crash.
  VOLNEDA_PlaySndFile(W(u"no-such-file.wav"));
  VOLNEDA_PlaySndFile(W(u""));
  VOLNEDA_PlaySndFile(nullptr);
  const char junk[16] = "not a wave";
  VOLNEDA_PlaySndMemory(junk);
  VOLNEDA_PlaySndMemory(nullptr);
}

}  // namespace
