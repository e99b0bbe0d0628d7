// A reader context against the simulated driver, with its own tag field
// and template files, and the status messages collected as they arrive.
#ifndef VOLNEDA_SIM_READER_H
#define VOLNEDA_SIM_READER_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/context.h"
#include "tagdrv_control.h"
#include "test_util.h"

struct Status {
  int32_t level, source, code;
  std::u16string text;
  bool operator==(const Status &o) const = default;
};
using Messages = std::vector<Status>;

inline std::ostream &operator<<(std::ostream &os, const Status &s) {
  return os << "{" << s.level << "," << s.source << "," << s.code << ",\"" << Narrow(s.text) << "\"}";
}

class SimReader : public ::testing::Test {
 protected:
  // Files are named after the test: tests share the working directory.
  std::string Name(const char *suffix) const {
    const auto *test = ::testing::UnitTest::GetInstance()->current_test_info();
    return std::string("sim_") + test->test_suite_name() + "_" + test->name() + suffix;
  }
  void SetUp() override {
    fieldPath = Name("_field.ini");
    swttPath = "./" + Name("_swtt.ini");  // with a directory: used as it is
    ASSERT_LE(swttPath.size(), 63u) << "the test's name is too long for a template path";
    configPath = "./" + Name("_rfconfig.ini");  // a bare template name is completed with "./"
    TagdrvClearFaults();
    TagdrvSetFieldFile(fieldPath.c_str());
    VOLNEDA_StartAll(&handle, W(Wide(configPath)));
    StartDispatcher(handle);
  }
  void TearDown() override {
    if (handle && Context()->openFlag) VOLNEDA_Close(handle);
    StopDispatcher(handle);
    VOLNEDA_StopAll(&handle);
    TagdrvSetFieldFile(nullptr);
    TagdrvClearFaults();
    for (const std::string &f : {fieldPath, swttPath, configPath}) std::remove(f.c_str());
  }
  void Field(const std::string &body, const std::string &readerExtra = "") {
    WriteTextFile(fieldPath, "[reader R1]\nversion = 2.0\nattr.RFID_SWTT_FILE_NAME = " + swttPath + "\n" +
                                 readerExtra + "\n" + body);
  }
  void Templates(const std::string &text) { WriteTextFile(swttPath, text); }  // R1 of Field names them
  // Every message posted so far (posted on this thread: the fetch never blocks).
  Messages Drain() {
    Messages out;
    Status s;
    VOLNEDA_WCHAR buf[600];
    while (Context()->ringCount > 0 && DispatcherGetData(handle, &s.level, &s.source, &s.code, buf, 600))
      out.push_back({s.level, s.source, s.code, U(buf)});
    return out;
  }
  ReaderContext *Context() const { return ToContext(handle); }
  int32_t Open(const char16_t *name = u"R1") { return VOLNEDA_Open(handle, W(name)); }

  VOLNEDA_HANDLE handle = nullptr;
  std::string fieldPath, swttPath, configPath;
};

// A reader with a pallet tag and a carton tag in its field and their
// templates; the carton template defines fields 0 and 4 only, with a gap.
class TwoTags : public SimReader {
 protected:
  static constexpr const char *kPallet =
      "[tag pallet]\nid = 0123456789ABCDEF\nswtt = 0123456789AB\ntype = T1\nantenna = 1\n"
      "mem.0 = 0123456789ABCDEF\ntext.18 = AB-12\nmem.26 = 01 02\n";
  static constexpr const char *kCarton =
      "[tag carton]\nid = 0456000000000007\nswtt = 045600000007\ntype = T2\nantenna = 10\n"
      "mem.0 = 0456000000000007\nmem.40 = E8 03 00 00\n";
  void Start(const std::string &tags = std::string(kPallet) + kCarton, const std::string &readerExtra = "",
             bool templates = true) {
    if (templates)
      Templates("[0123xxxxxxxx]\nID=Pallet\nf_00=PartNo,18,8,s\nf_01=Serial,0,8,h\nf_02=Count,26,2,i\n"
                "[0456xxxxxxxx]\nID=Carton\nf_00=Serial,0,8,h\nf_04=Weight,40,4,i\n");
    Field(tags, readerExtra);
    ASSERT_EQ(Open(), 0);
    Drain();
  }
};

#endif
