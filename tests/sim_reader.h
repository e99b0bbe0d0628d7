// A reader context against the simulated driver, with its own tag field
// and template files, and the status messages collected as they arrive.
#ifndef VOLNEDA_SIM_READER_H
#define VOLNEDA_SIM_READER_H

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tagdrv_control.h"
#include "temp_files.h"
#include "test_util.h"

struct Status {
  int32_t level, source, code;
  std::u16string text;
  bool operator==(const Status &o) const {
    return level == o.level && source == o.source && code == o.code && text == o.text;
  }
};

inline std::ostream &operator<<(std::ostream &os, const Status &s) {
  std::string t;
  for (char16_t c : s.text) t.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return os << "{" << s.level << "," << s.source << "," << s.code << ",\"" << t << "\"}";
}

class SimReader : public ::testing::Test {
 protected:
  // Files are named after the test, since test processes share the
  // working directory.
  std::string Name(const char *suffix) const {
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    return std::string("sim_") + info->test_suite_name() + "_" + info->name() + suffix;
  }
  void SetUp() override {
    fieldPath = Name("_field.ini");
    // With a directory, so that the template attribute is used as it is.
    swttPath = "./" + Name("_swtt.ini");
    configPath = Name("_rfconfig.ini");
    TagdrvClearFaults();
    TagdrvSetFieldFile(fieldPath.c_str());
    std::u16string cfg(configPath.begin(), configPath.end());
    VOLNEDA_StartAll(&handle, W(cfg));
    StartDispatcher(handle);
  }
  void TearDown() override {
    // A test that ends with the reader open leaves it for this to close.
    if (handle && IsOpen()) VOLNEDA_Close(handle);
    StopDispatcher(handle);
    VOLNEDA_StopAll(&handle);
    TagdrvSetFieldFile(nullptr);
    TagdrvClearFaults();
    std::remove(fieldPath.c_str());
    std::remove(swttPath.c_str());
    std::remove(configPath.c_str());
  }
  // A field whose reader R1 names the template file of this test.
  void Field(const std::string &body, const std::string &readerExtra = "") {
    WriteTextFile(fieldPath, "[reader R1]\nversion = 2.0\nattr.RFID_SWTT_FILE_NAME = " + swttPath + "\n" +
                                 readerExtra + "\n" + body);
  }
  void Templates(const std::string &text) { WriteTextFile(swttPath, text); }
  // Every message posted so far (the ring is drained without blocking:
  // posting happens on this thread, so all of them are there).
  std::vector<Status> Drain() {
    std::vector<Status> out;
    while (ToRing() > 0) {
      Status s;
      VOLNEDA_WCHAR buf[600];
      if (!DispatcherGetData(handle, &s.level, &s.source, &s.code, buf, 600)) break;
      s.text = U(buf);
      out.push_back(s);
    }
    return out;
  }
  uint32_t ToRing() const;
  bool IsOpen() const;
  int32_t Open(const char16_t *name = u"R1") { return VOLNEDA_Open(handle, W(name)); }

  VOLNEDA_HANDLE handle = nullptr;
  std::string fieldPath, swttPath, configPath;
};

#include "api/context.h"
inline uint32_t SimReader::ToRing() const { return ToContext(handle)->ringCount; }
inline bool SimReader::IsOpen() const { return ToContext(handle)->openFlag != 0; }

#endif
