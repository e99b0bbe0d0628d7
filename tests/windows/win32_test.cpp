// What only Windows shows: the kernel objects are the system's own (other
// code reaches them by name), the code page conversions of the system, and
// VOLNEDA.dll as a program loads it: by name, with its exports found under
// the names the callers use.
#if defined(_WIN32)
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "test_util.h"

namespace {

TEST(Win32Objects, NamedEventIsTheSystemsObject) {
  plat::Handle mine = plat::EventCreate(true, false, u"VOLNEDA_CloseEvent");
  ASSERT_NE(mine, nullptr);
  HANDLE other = OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, L"VOLNEDA_CloseEvent");
  ASSERT_NE(other, nullptr) << "the event is not visible to the system by its name";
  EXPECT_EQ(plat::WaitOne(mine, 0), plat::kWaitTimeout);
  SetEvent(other);
  EXPECT_EQ(plat::WaitOne(mine, 0), 0);
  ResetEvent(other);
  plat::EventSet(mine);
  EXPECT_EQ(WaitForSingleObject(other, 0), WAIT_OBJECT_0);
  CloseHandle(other);
  plat::HandleClose(mine);
}

TEST(Win32Objects, WaitAnyRefusesMoreObjectsThanTheSystemWaitsFor) {
  plat::Handle e = plat::EventCreate(true, true, nullptr);
  plat::Handle many[MAXIMUM_WAIT_OBJECTS + 1];
  for (auto &h : many) h = e;
  EXPECT_EQ(plat::WaitAny(many, MAXIMUM_WAIT_OBJECTS + 1, 0), plat::kWaitFailed);
  EXPECT_EQ(plat::WaitAny(many, 0, 0), plat::kWaitFailed);
  EXPECT_EQ(plat::WaitAny(many, 1, 0), 0);
  plat::HandleClose(e);
}

TEST(Win32Text, ConversionsOfTheSystem) {
  struct Case {
    const char *name;
    std::u16string wide;
    std::string ansi;  // in the system code page, Windows-1252 here
  } cases[] = {
      {"plain", u"Tag 01", "Tag 01"},
      {"euro and accents", u"\u20AC caf\u00E9", "\x80 caf\xE9"},
      {"no best fit: A with macron is not A", u"\u0100x", "?x"},
      {"one question mark per character", u"\U0001F600\u4E2D", "??"},
      {"lone surrogate", std::u16string(1, char16_t(0xD800)) + u"a", "?a"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(plat::WideToAnsi(c.wide), c.ansi) << c.name;
  }
  EXPECT_EQ(GetACP(), 1252u) << "the expectations above are for Windows-1252";
}

TEST(Win32Text, Utf8ValidThroughTheSystemInvalidByOneRule) {
  struct Case {
    const char *utf8;
    std::u16string wide;
  } cases[] = {
      {"caf\xC3\xA9", u"caf\u00E9"},
      {"\xF0\x9F\x98\x80!", u"\U0001F600!"},
      {"\xE2\x82\xAC", u"\u20AC"},
      {"a\xFF" "b", u"a\uFFFDb"},
      {"\xC3", u"\uFFFD"},                      // cut short
      {"\xE2\x82", u"\uFFFD\uFFFD"},            // each byte of a cut sequence
      {"\xC0\xAF", u"\uFFFD\uFFFD"},            // overlong
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // encoded surrogate
  };
  for (const Case &c : cases) {
    EXPECT_EQ(plat::Utf8ToWide(c.utf8), c.wide) << c.utf8;
    if (c.wide.find(u'\uFFFD') == std::u16string::npos) {
      EXPECT_EQ(plat::WideToUtf8(c.wide), c.utf8);
    }
  }
}

TEST(Win32Path, LongPathsSplitWithoutOverflow) {
  std::string dir = "C:\\" + std::string(400, 'd') + "\\";
  std::string name(300, 'n');
  plat::PathParts p = plat::SplitPath(dir + name + ".ext");
  EXPECT_EQ(p.drive, "C:");
  EXPECT_EQ(p.dir, dir.substr(2));
  EXPECT_EQ(p.fname, name);
  EXPECT_EQ(p.ext, ".ext");
}

// The DLL as a program or a Java VM loads it.
class LoadedLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryW(L"VOLNEDA.dll");
    ASSERT_NE(module_, nullptr) << "VOLNEDA.dll (and TAGDRV.dll) not found beside the tests, error "
                                << GetLastError();
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }
  FARPROC Find(const char *name) { return GetProcAddress(module_, name); }
  HMODULE module_ = nullptr;
};

TEST_F(LoadedLibrary, PlainFunctionsUnderTheirOwnNames) {
  using VersionFn = void(__cdecl *)(int32_t *, int32_t *);
  // Through void* : the address is a plain function pointer of another type.
  auto version = reinterpret_cast<VersionFn>(reinterpret_cast<void *>(Find("VOLNEDA_Version")));
  ASSERT_NE(version, nullptr);
  int32_t major = 0, minor = 0;
  version(&major, &minor);
  EXPECT_EQ(major, 1);
  EXPECT_EQ(minor, 23);
  for (const char *name : {"VOLNEDA_StartAll", "DispatcherGetData", "SetCommTimeOut", "XMLreader_OpenDoc",
                           "GetCurrentDoc"})
    EXPECT_NE(Find(name), nullptr) << name;
  // No decorated or internal variants.
  for (const char *name : {"_VOLNEDA_Version", "VOLNEDA_Version@8", "DllMain", "DllMain@12"})
    EXPECT_EQ(Find(name), nullptr) << name;
}

TEST_F(LoadedLibrary, JavaEntryPointsUnderTheNamesTheVmLooksFor) {
  // Present only once the Java bridge is part of the build.
  const char *probe = sizeof(void *) == 4 ? "_Java_com_korvanel_datacollection_rfid_VOLNEDAProxy_VOLNEDA_1Open@16"
                                          : "Java_com_korvanel_datacollection_rfid_VOLNEDAProxy_VOLNEDA_1Open";
  if (!Find(probe)) GTEST_SKIP() << "the library has no Java entry points";
  struct Case {
    const char *method;
    int bytes;
  } cases[] = {
      {"VOLNEDA_1StartAll", 16},  {"VOLNEDA_1StopAll", 12},    {"DispatcherGetData", 32},
      {"VOLNEDA_1Command", 24},   {"SetUseScanTrigger", 16},   {"XMLreader_1GetChildAttribute", 24},
      {"XMLreader_1WriteXMLAddMEMFieldInfo", 28}, {"GetCurrentDocLen", 12}, {"GetCurrentDoc", 20},
  };
  const std::string prefix = "Java_com_korvanel_datacollection_rfid_VOLNEDAProxy_";
  for (const Case &c : cases) {
    std::string plain = prefix + c.method;
    std::string decorated = "_" + plain + "@" + std::to_string(c.bytes);
    if (sizeof(void *) == 4) {
      EXPECT_NE(Find(decorated.c_str()), nullptr) << decorated;
      EXPECT_EQ(Find(plain.c_str()), nullptr) << plain;
      EXPECT_EQ(Find((plain + "@" + std::to_string(c.bytes)).c_str()), nullptr) << "undecorated underscore";
    } else {
      EXPECT_NE(Find(plain.c_str()), nullptr) << plain;
      EXPECT_EQ(Find(decorated.c_str()), nullptr) << decorated;
    }
  }
}

}  // namespace
#endif
