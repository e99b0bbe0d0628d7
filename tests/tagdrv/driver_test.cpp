// The simulated reader driver on its own, through the driver functions and
// its control interface, the way VOLNEDA calls them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tagdrv.h"
#include "tagdrv_control.h"
#include "temp_files.h"
#include "test_util.h"

namespace {

const char *kField =
    "[reader R1]\n"
    "version = 2.1\n"
    "attr.Power = 30\n"
    "[reader OLD]\n"
    "version = 1.0\n"
    "[tag a]\n"
    "id = 0123456789ABCDEF\n"
    "swtt = 0123456789AB\n"
    "type = I2\n"
    "antenna = 1\n"
    "mem.0 = 01 02 03 04 05 06 07 08\n"
    "text.20 = WIDGET\n"
    "[tag b]\n"
    "id = 1111111111111111\n"
    "swtt = abc\n"
    "type = TAGTYPE\n"
    "antenna = 10\n"
    "mem.0 = A0 A1 A2 A3\n"
    "mem.250 = F0 F1 F2 F3 F4 F5 F6 F7 F8\n"
    "[tag c]\n"
    "reader = OLD\n"
    "id = 2222222222222222\n";

class Driver : public ::testing::Test {
 protected:
  std::string Path() const {
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    return std::string("drv_") + info->name() + "_field.ini";
  }
  void SetUp() override {
    path = Path();
    TagdrvClearFaults();
    TagdrvSetFieldFile(path.c_str());
  }
  void TearDown() override {
    Close();
    TagdrvSetFieldFile(nullptr);
    TagdrvClearFaults();
    std::remove(path.c_str());
  }
  // Opens R1 (or another reader) and allocates the control block.
  void Open(const std::string &field = kField, const char *reader = "R1") {
    ASSERT_TRUE(WriteTextFile(path, field));
    int32_t status = 1;
    h = G4Open(reader, &status, info, 0, 0);
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(status, 0);
    c = RFIDAllocateControl(h, &status);
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(status, 0);
  }
  void Close() {
    int32_t status;
    if (c) RFIDFreeControl(h, c, &status);
    if (h) G4Close(h, &status);
    c = nullptr;
    h = nullptr;
  }
  int32_t Identify() {
    c->opCode = TAGDRV_OP_IDENTIFY;
    c->requestWord = 1;
    c->firstTag = c->tagCount = c->foundCount = 0;
    int32_t r = G4Identify(h, c);
    c->tagCount = c->foundCount;
    return r;
  }
  // One slot per range, for every found tag.
  struct Range {
    int32_t start, length;
  };
  void Slots(const std::vector<Range> &ranges, uint32_t kind = 0) {
    for (uint32_t s = 0; s < ranges.size(); ++s) {
      std::memset(c->slotData[s], 0xEE, TAGDRV_SLOT_DATA_SIZE);
      for (uint32_t t = 0; t < c->tagCount; ++t) c->slotDesc[s][t] = {ranges[s].start, 0, ranges[s].length, kind};
    }
    c->slotCount = static_cast<uint32_t>(ranges.size());
  }
  std::string Bytes(uint32_t slot, size_t offset, size_t n) const {
    return std::string(reinterpret_cast<const char *>(c->slotData[slot]) + offset, n);
  }

  std::string path;
  uint8_t info[TAGDRV_INFO_AREA_SIZE] = {};
  G4HANDLE h = nullptr;
  RfidControl *c = nullptr;
};

TEST_F(Driver, OpenFailures) {
  struct Case {
    const char *what;
    bool writeFile;
    const char *reader;
    int32_t fault, faultValue;
    int32_t want;
  } cases[] = {
      {"no field file", false, "R1", 0, 0, -101},
      {"unknown reader", true, "R9", 0, 0, -100},
      {"name is case-sensitive", true, "r1", 0, 0, -100},
      {"injected", true, "R1", TAGDRV_FAULT_OPEN, -200, -200},
  };
  for (const Case &k : cases) {
    SCOPED_TRACE(k.what);
    std::remove(path.c_str());
    if (k.writeFile) {
      ASSERT_TRUE(WriteTextFile(path, kField));
    }
    TagdrvClearFaults();
    if (k.fault) TagdrvSetFault(k.fault, k.faultValue);
    int32_t status = 0;
    EXPECT_EQ(G4Open(k.reader, &status, info, 0, 0), nullptr);
    EXPECT_EQ(status, k.want);
  }
  // From the file: the open or the control block fails.  Numbers beyond
  // 32 bits saturate.
  ASSERT_TRUE(WriteTextFile(path, "[reader R1]\nfail.open = -7\n[reader R2]\nfail.allocate = -8\n"
                                  "[reader R3]\nfail.open = -4294967297\n"));
  TagdrvClearFaults();
  int32_t status = 0;
  EXPECT_EQ(G4Open("R1", &status, info, 0, 0), nullptr);
  EXPECT_EQ(status, -7);
  EXPECT_EQ(G4Open("R3", &status, info, 0, 0), nullptr);
  EXPECT_EQ(status, INT32_MIN);
  h = G4Open("R2", &status, info, 0, 0);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(RFIDAllocateControl(h, &status), nullptr);
  EXPECT_EQ(status, -8);
  TagdrvSetFault(TAGDRV_FAULT_ALLOCATE, -9);  // the control interface wins
  EXPECT_EQ(RFIDAllocateControl(h, &status), nullptr);
  EXPECT_EQ(status, -9);
}

TEST_F(Driver, FieldFileFromEnvironment) {
  ASSERT_TRUE(WriteTextFile(path, kField));
  TagdrvSetFieldFile(nullptr);
  SetEnvVar("TAGDRV_FIELD", path.c_str());
  int32_t status = 1;
  h = G4Open("R1", &status, info, 0, 0);
  SetEnvVar("TAGDRV_FIELD", nullptr);
  EXPECT_NE(h, nullptr);
  EXPECT_EQ(status, 0);
}

TEST_F(Driver, IdentifyStopsAtCapacity) {
  std::string field = "[reader R1]\n";
  char line[96];
  for (int i = 0; i < 1003; ++i) {
    std::snprintf(line, sizeof line, "[tag t%d]\nid = %016X\n", i, i);
    field += line;
  }
  Open(field);
  ASSERT_EQ(Identify(), 0);
  EXPECT_EQ(c->foundCount, c->tagCapacity);
  EXPECT_EQ(c->tagTable[999].id[7], 999 % 256);
  // Without an swtt key the identifier is read from memory bytes 12 to 17.
  EXPECT_STREQ(c->tagTable[0].info->swtt, "000000000000");
}

TEST_F(Driver, FailingTags) {
  std::string field = std::string(kField) + "[tag d]\nid = 3333333333333333\nstatus = -5\n";
  Open(field);
  ASSERT_TRUE(TagdrvSetTagStatus("1111111111111111", -6));
  EXPECT_FALSE(TagdrvSetTagStatus("11", -6));
  ASSERT_EQ(Identify(), 0);
  ASSERT_EQ(c->foundCount, 3u);
  EXPECT_EQ(c->tagStatus[0], 0);
  EXPECT_EQ(c->tagStatus[1], -6);
  EXPECT_EQ(c->tagStatus[2], -5);
  // A failed tag is not read.
  Slots({{0, 2}});
  c->fieldStatus[0][1] = 77;
  ASSERT_EQ(G4Read(h, c), 0);
  EXPECT_EQ(c->fieldStatus[0][0], 0);
  EXPECT_EQ(c->fieldStatus[0][1], 77);
  TagdrvSetTagStatus("1111111111111111", 0);
  ASSERT_EQ(Identify(), 0);
  EXPECT_EQ(c->tagStatus[1], 0);
}

TEST_F(Driver, ReadPlacesValuesWhereTheAreaRuleSays) {
  Open();
  ASSERT_EQ(Identify(), 0);
  // Kind 0: each tag's area is its length plus one byte.
  Slots({{0, 4}, {20, 6}});
  ASSERT_EQ(G4Read(h, c), 0);
  EXPECT_EQ(Bytes(0, 0, 4), std::string("\x01\x02\x03\x04", 4));
  EXPECT_EQ(Bytes(0, 5, 4), std::string("\xA0\xA1\xA2\xA3", 4));
  EXPECT_EQ(static_cast<uint8_t>(c->slotData[0][4]), 0xEE);  // the byte after a value is no one's
  EXPECT_EQ(Bytes(1, 0, 6), "WIDGET");
  EXPECT_EQ(Bytes(1, 7, 6), std::string(6, '\0'));
  EXPECT_EQ(c->fieldStatus[0][0], 0);
  EXPECT_EQ(c->fieldStatus[1][1], 0);
  // Kind 1: integer areas, a length of 3 takes 4 bytes.
  struct Case {
    int32_t length;
    size_t offset;  // of tag 1's value
  } cases[] = {{1, 1}, {2, 2}, {3, 4}, {4, 4}};
  for (const Case &k : cases) {
    SCOPED_TRACE(k.length);
    Slots({{0, k.length}}, 1);
    ASSERT_EQ(G4Read(h, c), 0);
    EXPECT_EQ(static_cast<uint8_t>(c->slotData[0][k.offset]), 0xA0);
  }
}

TEST_F(Driver, OutOfRangeFieldsFailAndTouchNothing) {
  Open();
  ASSERT_EQ(Identify(), 0);
  struct Case {
    const char *what;
    int32_t start, length;
  } cases[] = {
      {"past the end", 250, 7},
      {"negative start", -1, 2},
      {"negative length", 0, -1},
      {"longer than the slot buffer", 0, 300},
  };
  for (const Case &k : cases) {
    SCOPED_TRACE(k.what);
    ASSERT_EQ(Identify(), 0);
    Slots({{k.start, k.length}});
    ASSERT_EQ(G4Read(h, c), 0);
    EXPECT_LT(c->fieldStatus[0][0], 0);
    EXPECT_EQ(Bytes(0, 0, 8), std::string(8, '\xEE'));
    // Writing the same range leaves tag memory as it was.
    ASSERT_EQ(G4Write(h, c), 0);
    EXPECT_LT(c->fieldStatus[0][0], 0);
    EXPECT_EQ(c->driverError, -30);
  }
  ASSERT_EQ(Identify(), 0);
  Slots({{250, 6}});  // the last bytes of memory are in range
  ASSERT_EQ(G4Read(h, c), 0);
  EXPECT_EQ(c->fieldStatus[0][1], 0);
  EXPECT_EQ(Bytes(0, 7, 6), "\xF0\xF1\xF2\xF3\xF4\xF5");
  EXPECT_EQ(Bytes(0, 0, 6), std::string(6, '\0'));  // tag a's memory unchanged by the failed writes
}

TEST_F(Driver, InjectedFaults) {
  Open();
  struct Case {
    const char *what;
    int32_t fault, value;
    int32_t identify, read, write;  // results; the fault value shows in driverError
  } cases[] = {
      {"identify", TAGDRV_FAULT_IDENTIFY, -200, 1, 0, 0},
      {"read", TAGDRV_FAULT_READ, -201, 0, 1, 0},
      {"write error", TAGDRV_FAULT_WRITE, -202, 0, 0, 0},
      {"write parameter", TAGDRV_FAULT_WRITE_RETURN, 3, 0, 0, 3},
  };
  for (const Case &k : cases) {
    SCOPED_TRACE(k.what);
    TagdrvClearFaults();
    ASSERT_EQ(Identify(), 0);
    Slots({{0, 2}});
    std::memcpy(c->slotData[0], "\x55\x55\0\x55\x55", 5);
    TagdrvSetFault(k.fault, k.value);
    c->driverError = 0;
    EXPECT_EQ(Identify(), k.identify);
    if (k.identify) {
      EXPECT_EQ(c->driverError, k.value);
      continue;
    }
    Slots({{0, 2}});
    c->driverError = 0;
    EXPECT_EQ(G4Read(h, c), k.read);
    if (k.read) {
      EXPECT_EQ(c->driverError, k.value);
      continue;
    }
    std::memcpy(c->slotData[0], "\x55\x55\0\x55\x55", 5);
    c->driverError = 0;
    int before = TagdrvWriteCount();
    EXPECT_EQ(G4Write(h, c), k.write);
    EXPECT_EQ(TagdrvWriteCount(), before + 1);
    if (k.fault == TAGDRV_FAULT_WRITE) {
      EXPECT_EQ(c->driverError, k.value);
    }
    // A failed write wrote nothing.
    TagdrvClearFaults();
    Slots({{0, 2}});
    ASSERT_EQ(G4Read(h, c), 0);
    EXPECT_EQ(Bytes(0, 0, 2), "\x01\x02");
  }
}

TEST_F(Driver, FailingFields) {
  std::string field = std::string(kField);
  field.insert(field.find("[tag b]"), "failaddress = 21, 200\nfielderror = -21\n");
  Open(field);
  ASSERT_TRUE(TagdrvSetFieldFault("1111111111111111", 2, -22));
  ASSERT_EQ(Identify(), 0);
  Slots({{20, 2}, {0, 2}, {2, 2}});
  ASSERT_EQ(G4Read(h, c), 0);
  EXPECT_EQ(c->fieldStatus[0][0], -21);  // covers address 21 of tag a
  EXPECT_EQ(c->fieldStatus[1][0], 0);
  EXPECT_EQ(c->fieldStatus[0][1], 0);
  EXPECT_EQ(c->fieldStatus[2][1], -22);  // injected for tag b
  EXPECT_EQ(c->fieldStatus[1][1], 0);
  // A write with a failing field: the other fields are written, the tag
  // and the request report the failure.
  Slots({{20, 2}, {30, 1}});
  std::memcpy(c->slotData[1], "\x99\0\x98", 3);
  ASSERT_EQ(G4Write(h, c), 0);
  EXPECT_EQ(c->driverError, -30);
  EXPECT_EQ(c->tagStatus[0], -30);
  EXPECT_EQ(c->tagStatus[1], 0);
  EXPECT_EQ(c->fieldStatus[0][0], -21);
  EXPECT_EQ(c->fieldStatus[1][0], 0);
  ASSERT_EQ(Identify(), 0);
  Slots({{30, 1}});
  ASSERT_EQ(G4Read(h, c), 0);
  EXPECT_EQ(Bytes(0, 0, 1), "\x99");
  EXPECT_EQ(Bytes(0, 2, 1), "\x98");
}

TEST_F(Driver, PersistedWritesSurviveTheProcess) {
  std::string field = std::string("[field]\npersist = 1\n") + kField;
  Open(field);
  ASSERT_EQ(Identify(), 0);
  Slots({{40, 2}});
  std::memcpy(c->slotData[0], "\x12\x34\0\x56\x78", 5);
  ASSERT_EQ(G4Write(h, c), 0);
  Close();
  // The file now holds the memory; a new open (as a later process would)
  // reads it back.
  int32_t status;
  h = G4Open("R1", &status, info, 0, 0);
  ASSERT_NE(h, nullptr);
  c = RFIDAllocateControl(h, &status);
  ASSERT_EQ(Identify(), 0);
  EXPECT_STREQ(c->tagTable[1].info->swtt, "abc");
  Slots({{40, 2}, {20, 6}});
  ASSERT_EQ(G4Read(h, c), 0);
  EXPECT_EQ(Bytes(0, 0, 2), "\x12\x34");
  EXPECT_EQ(Bytes(0, 3, 2), "\x56\x78");
  EXPECT_EQ(Bytes(1, 0, 6), "WIDGET");
  EXPECT_NE(ReadTextFile(path).find("attr.Power = 30"), std::string::npos);  // the rest is kept
}

TEST_F(Driver, WritesAreNotPersistedByDefault) {
  Open();
  ASSERT_EQ(Identify(), 0);
  Slots({{40, 2}});
  ASSERT_EQ(G4Write(h, c), 0);
  EXPECT_EQ(ReadTextFile(path), kField);
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
