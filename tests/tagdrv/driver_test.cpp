// The simulated reader driver on its own, through the driver functions and
// its control interface, the way VOLNEDA calls them: what the tag field
// file's keys do, the slot areas, ranges and faults.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <tuple>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "tagdrv.h"
#include "tagdrv_control.h"
#include "test_util.h"

namespace {

const char *kField =
    "[reader R1]\nversion = 2.1\n"
    "[tag a]\nid = 0123456789ABCDEF\nswtt = 0123456789AB\nmem.0 = 01 02 03 04\ntext.30 = WIDGET\n"
    "[tag b]\nid = 1111111111111111\nswtt = abc\nmemory = A0 A1 A2 A3\nmem.250 = F0 F1 F2 F3 F4 F5 F6 F7 F8\n"
    "mem.-1 = EE EE\nfailaddress = 21, 200\nfielderror = -21\n"
    "[tag c]\nreader = OLD\nid = 2222222222222222\n[tag d]\nid = 3333333333333333\nstatus = -5\n"
    "[reader OLD]\n";

class Driver : public ::testing::Test {
 protected:
  void SetUp() override {
    TagdrvClearFaults();
    TagdrvSetFieldFile(path.c_str());
  }
  void TearDown() override {
    Close();
    TagdrvSetFieldFile(nullptr);
    TagdrvClearFaults();
    std::remove(path.c_str());
  }
  void Open(const std::string &field = kField) {
    ASSERT_TRUE(WriteTextFile(path, field));
    int32_t status = 1;
    ASSERT_NE(h = G4Open("R1", &status, info, 0, 0), nullptr);
    ASSERT_NE(c = RFIDAllocateControl(h, &status), nullptr);
  }
  void Close() {
    if (c) RFIDFreeControl(h, c, nullptr);
    if (h) G4Close(h, nullptr);
    c = nullptr, h = nullptr;
  }
  int32_t Identify() {
    c->firstTag = c->tagCount = c->foundCount = 0;
    return G4Identify(h, c);
  }
  // One slot per range, for every found tag, the buffers filled with EE.
  void Slots(const std::vector<std::pair<int32_t, int32_t>> &ranges, uint32_t kind = 0) {
    for (uint32_t s = 0; s < ranges.size(); ++s) {
      std::memset(c->slotData[s], 0xEE, TAGDRV_SLOT_DATA_SIZE);
      for (uint32_t t = 0; t < c->tagCount; ++t) c->slotDesc[s][t] = {ranges[s].first, 0, ranges[s].second, kind};
    }
    c->slotCount = static_cast<uint32_t>(ranges.size());
  }
  std::string Bytes(uint32_t slot, size_t offset, size_t n) const {
    return std::string(reinterpret_cast<const char *>(c->slotData[slot]) + offset, n);
  }
  std::string path = "drv_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".ini";
  uint8_t info[TAGDRV_INFO_AREA_SIZE] = {};
  G4HANDLE h = nullptr;
  RfidControl *c = nullptr;
};

TEST_F(Driver, OpenFailures) {
  // A tag field file that is missing, not a regular file or too large
  // fails at once, with a text that says what to set.
  enum Prep { kText, kNone, kDirectory, kFifo, kHuge };
  struct Case { Prep prep; const char *field, *reader; int32_t fault, want; } cases[] = {
      {kNone, nullptr, "R1", 0, -101}, {kText, kField, "r1", 0, -100},  // names are case-sensitive
      {kText, kField, "R1", -200, -200}, {kText, "[reader R1]\nfail.open = -4294967297\n", "R1", 0, INT32_MIN},
      {kDirectory, nullptr, "R1", 0, -102}, {kHuge, nullptr, "R1", 0, -103},
#ifndef _WIN32
      {kFifo, nullptr, "R1", 0, -102},
#endif
  };
  for (const Case &k : cases) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    if (k.prep == kText) { ASSERT_TRUE(WriteTextFile(path, k.field)); }
    if (k.prep == kDirectory) std::filesystem::create_directory(path);
    if (k.prep == kHuge) {
      ASSERT_TRUE(WriteTextFile(path, "[reader R1]\n"));
      std::filesystem::resize_file(path, (16u << 20) + 1);
    }
#ifndef _WIN32
    if (k.prep == kFifo) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }
#endif
    TagdrvSetFault(TAGDRV_FAULT_OPEN, k.fault);
    int32_t status = 0;
    EXPECT_EQ(G4Open(k.reader, &status, info, 0, 0), nullptr) << k.want;
    EXPECT_EQ(status, k.want);
    char text[TAGDRV_ERROR_TEXT_MAX + 1] = {};
    EXPECT_EQ(G4GetErrorString(nullptr, status, text), k.want == INT32_MIN ? 1 : 0) << k.want;
    if (k.want <= -101 && k.want >= -103) { EXPECT_NE(std::strstr(text, "set TAGDRV_FIELD"), nullptr) << text; }
  }
  std::error_code ec;
  std::filesystem::remove(path, ec);
  TagdrvSetFault(TAGDRV_FAULT_OPEN, 0);
  // The control block fails from the file; the control interface wins.
  TagdrvClearFaults();
  ASSERT_TRUE(WriteTextFile(path, "[reader R1]\nfail.allocate = -8\n"));
  SetEnvVar("TAGDRV_FIELD", path.c_str());  // found through the environment
  TagdrvSetFieldFile(nullptr);
  int32_t status = 0;
  ASSERT_NE(h = G4Open("R1", &status, info, 0, 0), nullptr);
  SetEnvVar("TAGDRV_FIELD", nullptr);
  for (int32_t fault : {0, -9}) {
    TagdrvSetFault(TAGDRV_FAULT_ALLOCATE, fault);
    EXPECT_EQ(RFIDAllocateControl(h, &status), nullptr);
    EXPECT_EQ(status, fault ? fault : -8);
  }
}

TEST_F(Driver, FieldFileKeysAndRanges) {
  Open();
  ASSERT_EQ(Identify(), 0);
  ASSERT_EQ(c->foundCount, 3u);  // tag c belongs to reader OLD
  EXPECT_EQ(std::vector<int32_t>(c->tagStatus, c->tagStatus + 3), (std::vector<int32_t>{0, 0, -5}));
  Slots({{20, 2}, {0, 4}});
  ASSERT_EQ(G4Read(h, c), 0);  // tag d failed and is not read; tag b fails at address 21
  EXPECT_EQ(std::vector<int32_t>({c->fieldStatus[0][0], c->fieldStatus[0][1], c->fieldStatus[1][1]}),
            (std::vector<int32_t>{0, -21, 0}));
  EXPECT_EQ(Bytes(1, 0, 10), std::string("\x01\x02\x03\x04\xEE\xA0\xA1\xA2\xA3\xEE", 10));  // mem.-1 wrote nothing
  ASSERT_EQ(G4Write(h, c), 0);
  EXPECT_EQ(ReadTextFile(path), kField);  // writes are not persisted by default
  ASSERT_EQ(Identify(), 0);  // tag b's failed field failed it
  for (auto [length, offset] : {std::pair{1, 1}, {2, 2}, {3, 4}, {4, 4}}) {  // kind 1: integer areas, 3 takes 4
    Slots({{0, length}}, 1);
    ASSERT_EQ(G4Read(h, c), 0);
    EXPECT_EQ(c->slotData[0][offset], 0xA0) << length;
  }
  EXPECT_FALSE(TagdrvSetTagStatus("11", -6) || TagdrvSetFieldFault("1111", 1, -6));
  EXPECT_TRUE(TagdrvSetTagStatus("3333333333333333", 0));  // clears what was injected only
  // Out of range: the field fails, the slot keeps its bytes and a write of
  // the same range changes nothing; the last bytes of memory are in range.
  for (auto [start, length, fails] : {std::tuple{250, 7, true}, {-1, 2, true}, {0, -1, true}, {0, 300, true}, {250, 6, false}}) {
    ASSERT_EQ(Identify(), 0);
    Slots({{start, length}});
    ASSERT_EQ(G4Read(h, c), 0);
    EXPECT_EQ(c->fieldStatus[0][0] < 0, fails) << start << "," << length;
    EXPECT_EQ(Bytes(0, 0, 8), fails ? std::string(8, '\xEE') : std::string(6, '\0') + "\xEE\xF0");
    ASSERT_EQ(G4Write(h, c), 0);
    EXPECT_EQ(c->driverError, fails ? -30 : 0);
  }
}

TEST_F(Driver, FaultsFromTheFileAndTheControlInterface) {
  struct Case {
    const char *key;  // in the file, or the fault injected
    int fault;
    int32_t identify, read, write, driverError;
  } cases[] = {
      {"fail.identify = -200", 0, 1, 0, 0, -200}, {"", TAGDRV_FAULT_IDENTIFY, 1, 0, 0, -200},
      {"fail.read = -200", 0, 0, 1, 0, -200},     {"", TAGDRV_FAULT_READ, 0, 1, 0, -200},
      {"fail.write = -200", 0, 0, 0, 0, -200},    {"", TAGDRV_FAULT_WRITE, 0, 0, 0, -200},
      {"fail.writereturn = 3", 0, 0, 0, 3, 0},    {"", TAGDRV_FAULT_WRITE_RETURN, 0, 0, -200, 0},
  };
  for (const Case &k : cases) {
    SCOPED_TRACE(k.key + std::to_string(k.fault));
    Close();
    Open(std::string("[reader R1]\n") + k.key + "\n[tag a]\nid = 0123456789ABCDEF\nmem.0 = 01 02\n");
    TagdrvSetFault(k.fault, -200);
    EXPECT_EQ(Identify(), k.identify);
    Slots({{0, 2}});
    if (!k.identify) { EXPECT_EQ(G4Read(h, c), k.read); }
    std::memset(c->slotData[0], 0x55, 2);
    if (!k.identify && !k.read) { EXPECT_EQ(G4Write(h, c), k.write); }
    EXPECT_EQ(c->driverError, k.driverError);
    TagdrvClearFaults();
    if (k.identify || k.read) continue;
    ASSERT_EQ(Identify(), 0);
    Slots({{0, 2}});
    ASSERT_EQ(G4Read(h, c), 0);
    EXPECT_EQ(Bytes(0, 0, 2), "\x01\x02");  // nothing was written
  }
}

TEST_F(Driver, WritesArePersistedWhenTheFieldSaysSo) {
  Open(std::string("[field]\npersist = yes\n") + kField);
  ASSERT_EQ(Identify(), 0);
  Slots({{40, 2}});
  std::memcpy(c->slotData[0], "\x12\x34\0\x56\x78", 5);
  ASSERT_EQ(G4Write(h, c), 0);
  Close();
  // The file now holds the memory; a new open (as a later process would)
  // reads it back, and the rest of the file is kept.
  Open(ReadTextFile(path));
  ASSERT_EQ(Identify(), 0);
  EXPECT_STREQ(c->tagTable[1].info->swtt, "abc");
  Slots({{40, 2}, {30, 6}});
  ASSERT_EQ(G4Read(h, c), 0);
  EXPECT_EQ(Bytes(0, 0, 2) + Bytes(0, 3, 2) + Bytes(1, 0, 6), "\x12\x34\x56\x78WIDGET");
  EXPECT_NE(ReadTextFile(path).find("reader = OLD"), std::string::npos);
}

}  // namespace

// Tags with `present` are in the field only in the rounds it names, one
// round per identify since the open; `cycle` makes the rounds repeat.
TEST_F(Driver, PresentRoundsAndCycle) {
  const std::string tags =
      "[tag a]\nid = 0A00000000000000\npresent = 3-5, 8\n"
      "[tag b]\nid = 0B00000000000000\npresent = -2, 10-\n"
      "[tag c]\nid = 0C00000000000000\npresent = x, 5-3, -\n"
      "[tag d]\nid = 0D00000000000000\n"
      "[tag e]\nid = 0E00000000000000\npresent =  7 , 9-9 \n";
  auto rounds = [&](int n) {
    std::vector<std::string> seen;
    for (int r = 0; r < n; ++r) {
      EXPECT_EQ(Identify(), 0);
      std::string letters;
      for (uint32_t t = 0; t < c->foundCount; ++t) letters += static_cast<char>('a' + c->tagTable[t].id[0] - 0x0A);
      seen.push_back(letters);
    }
    return seen;
  };
  Open("[reader R1]\n" + tags);
  EXPECT_EQ(rounds(11), (std::vector<std::string>{"bd", "bd", "ad", "ad", "ad", "d", "de", "ad", "de", "bd", "bd"}));
  Close();
  Open("[field]\ncycle = 4\n[reader R1]\n" + tags);
  EXPECT_EQ(rounds(8), (std::vector<std::string>{"bd", "bd", "ad", "ad", "bd", "bd", "ad", "ad"}));
}
