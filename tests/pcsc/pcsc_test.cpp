// The PC/SC backend against pcscd, the virtual reader vpcd and the emulated
// tags of vtag.py, which run.sh starts in a network namespace of their own.
// VTAG_CONTROL is the port on which vtag.py takes its commands.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "backend.h"
#include "pcsc/pcsc_settings.h"

namespace {

using namespace tagdrv;
using pcsc::SwCode;

// One command to vtag.py; its answer without the "ok".
std::string Tags(const std::string &line) {
  static int fd = -1;
  if (fd < 0) {
    fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(std::atoi(std::getenv("VTAG_CONTROL"))));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) return "error: no vtag";
  }
  std::string out = line + "\n";
  if (write(fd, out.data(), out.size()) != static_cast<ssize_t>(out.size())) return "error: write";
  out.clear();
  char c;
  while (read(fd, &c, 1) == 1 && c != '\n') out += c;
  EXPECT_EQ(out.rfind("ok", 0), 0u) << line << ": " << out;
  return out.size() > 3 ? out.substr(3) : "";
}

std::string Hex(const uint8_t *p, size_t n) {
  char b[3];
  std::string s;
  for (size_t i = 0; i < n; ++i) s += (std::snprintf(b, sizeof b, "%02X", p[i]), b);
  return s;
}

// 256 bytes that differ from their neighbours.
std::string Pattern(int seed) {
  std::vector<uint8_t> m(256);
  for (size_t i = 0; i < m.size(); ++i) m[i] = static_cast<uint8_t>(i * 7 + seed);
  return Hex(m.data(), m.size());
}

struct Range {
  int32_t start, length;
};

class PcscBackendTest : public ::testing::Test {
 protected:
  const Backend &b = *PcscBackend();
  G4HANDLE h = nullptr;
  RfidControl *c = nullptr;

  void SetUp() override {
    ASSERT_NE(PcscBackend(), nullptr);
    ReaderConfig config{"PCSC1", "pcsc", {{"pcsc.reader", "Virtual PCD*"}, {"pcsc.timeout", "3000"}}, ""};
    int32_t status = -1;
    h = b.open(config, &status, nullptr);
    ASSERT_TRUE(h && status == 0) << status << " " << Text(status);
    EXPECT_EQ(h->majorVersion, 2u);
    c = b.allocate(h, &status);
    ASSERT_TRUE(c);
  }
  void TearDown() override {
    int32_t status;
    if (c) b.free(h, c, &status);
    if (h) b.close(h, &status);
    Tags("remove 0");
    Tags("remove 1");
  }

  std::string Text(int32_t code, G4HANDLE handle = nullptr) {
    char text[TAGDRV_ERROR_TEXT_MAX + 1] = {};
    return b.errorString(handle ? handle : h, code, text) == 0 ? text : "(none)";
  }
  int32_t Attr(const char *name, std::string &value, bool set) {
    char n[TAGDRV_ATTR_NAME_SIZE] = {};
    std::snprintf(n, sizeof n, "%s", name);
    G4AttrValue v = {};
    std::snprintf(v.text, sizeof v.text, "%s", value.c_str());
    char *names[] = {n};
    G4AttrValue *values[] = {&v};
    G4AttrList list = {1, names, values};
    int32_t status = 1;
    (set ? b.setAttr : b.getAttr)(h, &list, &status);
    value = v.text;
    return status;
  }
  void Set(const char *name, std::string value) { ASSERT_EQ(Attr(name, value, true), 0) << name; }

  // Identifies until pcscd has seen the expected number of cards.
  void Identify(uint32_t expected) {
    for (int i = 0; i < 50; ++i) {
      ASSERT_EQ(b.identify(h, c), 0) << Text(c->driverError);
      if (c->foundCount == expected) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    FAIL() << "found " << c->foundCount << " tags, expected " << expected;
  }
  // The same ranges for every tag, laid out as the library lays them out.
  void Request(const std::vector<Range> &ranges) {
    for (int s = 0; s < TAGDRV_MAX_SLOTS; ++s) std::memset(c->slotData[s], 0, TAGDRV_SLOT_DATA_SIZE);
    for (size_t s = 0; s < ranges.size(); ++s)
      for (uint32_t t = 0; t < c->foundCount; ++t) c->slotDesc[s][t] = {ranges[s].start, 0, ranges[s].length, 0};
    c->firstTag = 0;
    c->tagCount = c->foundCount;
    c->slotCount = static_cast<uint32_t>(ranges.size());
  }
  uint8_t *Value(uint32_t slot, uint32_t tag) {
    long offset = 0;
    for (uint32_t t = 0; t < tag; ++t) offset += c->slotDesc[slot][t].length + 1;
    return c->slotData[slot] + offset;
  }
};

TEST_F(PcscBackendTest, IdentifiesEveryCardAsATag) {
  Tags("insert 0 E004010012345678");
  Tags("mem 0 12 0123456789AB");
  Tags("insert 1 E0070200ABCDEF01");
  Tags("mem 1 12 045600000007");
  Identify(2);
  struct Want {
    const char *id, *swtt, *type;
  } want[] = {{"E004010012345678", "0123456789AB", "1504"}, {"E0070200ABCDEF01", "045600000007", "1507"}};
  for (uint32_t t = 0; t < 2; ++t) {
    SCOPED_TRACE(t);
    EXPECT_EQ(Hex(c->tagTable[t].id, 8), want[t].id);
    EXPECT_STREQ(c->tagTable[t].info->swtt, want[t].swtt);
    EXPECT_STREQ(c->tagTable[t].info->tagType, want[t].type);
    EXPECT_EQ(c->tagTable[t].info->antenna, t);
    EXPECT_EQ(c->tagStatus[t], 0);
    EXPECT_EQ(c->tagSelected[t], 0);
  }
  EXPECT_EQ(c->tagCount, 2u);
}

// Each profile against a tag laid out as it expects: template-like fields
// and writes that begin and end inside blocks, read back through the
// backend and checked in the tag's memory.
TEST_F(PcscBackendTest, ReadsAndWritesRangesAcrossBlocks) {
  struct Case {
    const char *profile, *tag;
  } cases[] = {{"generic", "4 64"}, {"generic8", "8 32"}, {"byte", "4 64 byte"}};
  const std::vector<Range> fields = {{0, 8}, {12, 6}, {20, 12}, {32, 2}, {40, 4}, {13, 3}, {61, 9}};
  const std::vector<Range> writes = {{1, 2}, {6, 7}, {16, 8}, {30, 1}, {45, 20}};
  for (const Case &k : cases) {
    SCOPED_TRACE(k.profile);
    Set("pcsc.profile", k.profile);
    Tags(std::string("insert 0 E004010012345678 ") + k.tag);
    Tags("mem 0 0 " + Pattern(3));
    Identify(1);
    Request(fields);
    ASSERT_EQ(b.read(h, c), 0);
    const std::string memory = Tags("get 0 0 256");
    for (size_t s = 0; s < fields.size(); ++s) {
      EXPECT_EQ(c->fieldStatus[s][0], 0) << s << ": " << Text(c->fieldStatus[s][0]);
      EXPECT_EQ(Hex(Value(s, 0), fields[s].length), memory.substr(2 * fields[s].start, 2 * fields[s].length)) << s;
    }
    Request(writes);
    std::string expected = memory;
    for (size_t s = 0; s < writes.size(); ++s)
      for (int32_t i = 0; i < writes[s].length; ++i) {
        Value(s, 0)[i] = static_cast<uint8_t>(0xA0 + s * 16 + i);
        expected.replace(2 * (writes[s].start + i), 2, Hex(Value(s, 0) + i, 1));
      }
    ASSERT_EQ(b.write(h, c), 0);
    EXPECT_EQ(c->driverError, 0) << Text(c->driverError);
    EXPECT_EQ(Tags("get 0 0 256"), expected);
    Request(writes);
    ASSERT_EQ(b.read(h, c), 0);
    for (size_t s = 0; s < writes.size(); ++s)
      EXPECT_EQ(Hex(Value(s, 0), writes[s].length), expected.substr(2 * writes[s].start, 2 * writes[s].length));
  }
}

TEST_F(PcscBackendTest, TagRemovedAfterIdentify) {
  Tags("insert 0 E004010012345678");
  Tags("insert 1 E004010012345679");
  Identify(2);
  Tags("remove 1");
  Request({{0, 8}, {16, 4}});
  ASSERT_EQ(b.read(h, c), 0);
  EXPECT_EQ(c->tagStatus[0], 0);
  EXPECT_EQ(c->fieldStatus[1][0], 0);
  EXPECT_EQ(c->tagStatus[1], pcsc::kErrTagRemoved);
  EXPECT_EQ(c->fieldStatus[0][1], pcsc::kErrTagRemoved);
  EXPECT_EQ(Text(pcsc::kErrTagRemoved), "Tag removed from the reader Virtual PCD 00 01");
  // A tag that leaves in the middle of a read; with no tag left to
  // reach, the read fails as a whole.
  Identify(1);
  Tags("fault 0 5 drop");
  Request({{0, 8}, {20, 4}, {40, 4}});
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(b.read(h, c), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1600));
  EXPECT_EQ(c->driverError, pcsc::kErrTagRemoved);
  EXPECT_EQ(c->fieldStatus[0][0], 0);
  EXPECT_EQ(c->fieldStatus[1][0], pcsc::kErrTagRemoved);
  EXPECT_EQ(c->fieldStatus[2][0], pcsc::kErrTagRemoved);
  EXPECT_EQ(Text(pcsc::kErrTagRemoved), "Tag removed from the reader Virtual PCD 00 00");
}

// A block that answers a failing status fails the fields over it, with
// the status word's text, and leaves the others alone.
TEST_F(PcscBackendTest, RefusedBlockFailsItsFields) {
  struct Case {
    const char *sw, *text;
  } cases[] = {{"6A81", "6A81: function not supported"},
               {"6A82", "6A82: address past the end of the tag memory"},
               {"6700", "6700: wrong length"},
               {"6282", "6282: end of memory reached before Le bytes"},
               {"6F00", "6F00: unexpected status from the tag"}};
  Tags("insert 0 E004010012345678");
  Identify(1);
  for (const Case &k : cases) {
    SCOPED_TRACE(k.sw);
    Tags(std::string("fault 0 5 ") + k.sw);
    const int32_t code = SwCode(static_cast<uint16_t>(std::stoul(k.sw, nullptr, 16)));
    Request({{0, 8}, {18, 4}, {24, 4}});
    ASSERT_EQ(b.read(h, c), 0);
    EXPECT_EQ(c->fieldStatus[0][0], 0);
    EXPECT_EQ(c->fieldStatus[1][0], code);
    EXPECT_EQ(c->fieldStatus[2][0], 0);
    EXPECT_EQ(Text(code), k.text);
    Request({{20, 2}});
    ASSERT_EQ(b.write(h, c), 0);
    EXPECT_EQ(c->driverError, code);
    EXPECT_EQ(c->tagStatus[0], code);
    Tags("fault 0 5 0000");
    Identify(1);
  }
  // Past the end of the tag's memory (256 bytes).
  Request({{250, 10}});
  ASSERT_EQ(b.read(h, c), 0);
  EXPECT_EQ(c->fieldStatus[0][0], SwCode(0x6A82));
}

TEST_F(PcscBackendTest, AttributesAndReaderPattern) {
  struct Case {
    const char *name, *value;
    int32_t status;
    const char *after;
  } cases[] = {{"pcsc.profile", "generic8", 0, "generic8"},  {"pcsc.blocksize", nullptr, 0, "8"},
               {"PCSC.BLOCKSIZE", "16", 0, "16"},            {"pcsc.blocksize", "0", pcsc::kErrBadValue, "16"},
               {"pcsc.addressing", "byte", 0, "byte"},       {"pcsc.profile", "fast", pcsc::kErrBadValue, "generic8"},
               {"pcsc.swtt", "none", 0, "none"},              {"pcsc.swtt", "8,7", pcsc::kErrBadValue, "none"},
               {"pcsc.uidorder", "lsb", 0, "lsb"},            {"RFID_SWTT_FILE_NAME", nullptr, 0, "SWTT.INI"},
               {"pcsc.colour", "red", pcsc::kErrUnknownAttribute, nullptr},
               {"Power", "30", pcsc::kErrUnknownAttribute, nullptr}};
  for (const Case &k : cases) {
    SCOPED_TRACE(k.name);
    std::string value = k.value ? k.value : "";
    if (k.value) {
      EXPECT_EQ(Attr(k.name, value, true), k.status);
    }
    if (k.status) {
      EXPECT_NE(Text(k.status).find(k.status == pcsc::kErrBadValue ? k.value : k.name), std::string::npos);
    }
    value.clear();
    EXPECT_EQ(Attr(k.name, value, false), k.after ? 0 : pcsc::kErrUnknownAttribute);
    if (k.after) {
      EXPECT_EQ(value, k.after);
    }
  }
  Set("pcsc.reader", "Other reader*");
  EXPECT_EQ(b.identify(h, c), 1);
  EXPECT_EQ(c->driverError, pcsc::kErrNoReader);
  EXPECT_EQ(Text(pcsc::kErrNoReader),
            "No PC/SC reader matches \"Other reader*\" (readers: Virtual PCD 00 00, Virtual PCD 00 01)");
  Set("pcsc.reader", "virtual pcd ?? 01");
  Tags("insert 0 E004010012345678");
  Tags("insert 1 E004010012345679");
  Identify(1);
  EXPECT_EQ(Hex(c->tagTable[0].id, 8), "E004010012345679");
  EXPECT_EQ(c->tagTable[0].info->antenna, 0);
}

TEST(PcscBackendOpen, BadSettingsFailTheOpen) {
  const Backend &b = *PcscBackend();
  struct Case {
    const char *key, *value, *text;
  } cases[] = {{"pcsc.profile", "fast", "Unknown profile \"fast\" (known: generic, generic8, byte)"},
               {"pcsc.timeout", "0", "Invalid value \"0\" for pcsc.timeout: 1 to 600000 ms"},
               {"pcsc.blocksze", "8", "Unknown setting pcsc.blocksze of reader R"}};
  for (const Case &k : cases) {
    int32_t status = 0;
    EXPECT_EQ(b.open(ReaderConfig{"R", "pcsc", {{k.key, k.value}}, ""}, &status, nullptr), nullptr);
    EXPECT_EQ(status, pcsc::kErrBadValue);
    char text[TAGDRV_ERROR_TEXT_MAX + 1] = {};
    EXPECT_EQ(b.errorString(nullptr, status, text), 0);
    EXPECT_STREQ(text, k.text);
  }
}

// run.sh runs this one alone, with pcscd stopped (PCSC_UNAVAILABLE=service)
// and with libpcsclite hidden (PCSC_UNAVAILABLE=library).
TEST(PcscBackendUnavailable, OpenFailsAtOnce) {
  const char *what = std::getenv("PCSC_UNAVAILABLE");
  if (!what) GTEST_SKIP() << "PC/SC is available";
  const bool library = std::string(what) == "library";
  const Backend &b = *PcscBackend();
  int32_t status = 0;
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(b.open(ReaderConfig{"R", "pcsc", {}, ""}, &status, nullptr), nullptr);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
  EXPECT_EQ(status, library ? pcsc::kErrNoPcsc : pcsc::kErrNoService);
  char text[TAGDRV_ERROR_TEXT_MAX + 1] = {};
  EXPECT_EQ(b.errorString(nullptr, status, text), 0);
  EXPECT_STREQ(text, library ? "PC/SC is not available: libpcsclite.so.1 not found"
                             : "PC/SC service not running (pcscd)");
}

}  // namespace
