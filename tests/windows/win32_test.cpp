// What only Windows shows: kernel objects that are the system's own, its code
// page conversions, and VOLNEDA.dll loaded by name with its exports found.
#if defined(_WIN32)
#include <gtest/gtest.h>

#include <string>
#include <utility>

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
  for (auto [count, want] : {std::pair{MAXIMUM_WAIT_OBJECTS + 1, plat::kWaitFailed}, {0, plat::kWaitFailed}, {1, 0}})
    EXPECT_EQ(plat::WaitAny(many, count, 0), want) << count;
  plat::HandleClose(e);
}

TEST(Win32Text, ConversionsOfTheSystem) {
  // The system code page is Windows-1252 here.
  struct Case { const char *name; std::u16string wide; std::string ansi; } cases[] = {
      {"plain", u"Tag 01", "Tag 01"}, {"euro and accents", u"\u20AC caf\u00E9", "\x80 caf\xE9"},
      {"no best fit: A with macron is not A", u"\u0100x", "?x"},
      {"one question mark per character", u"\U0001F600\u4E2D", "??"},
      {"lone surrogate", std::u16string(1, char16_t(0xD800)) + u"a", "?a"},
  };
  for (const Case &c : cases) EXPECT_EQ(plat::WideToAnsi(c.wide), c.ansi) << c.name;
  EXPECT_EQ(GetACP(), 1252u) << "the expectations above are for Windows-1252";
}

TEST(Win32Path, LongPathsSplitWithoutOverflow) {
  std::string dir = "C:\\" + std::string(400, 'd') + "\\";
  std::string name(300, 'n');
  plat::PathParts p = plat::SplitPath(dir + name + ".ext");
  EXPECT_EQ(p.drive + p.dir + p.fname + p.ext, dir + name + ".ext");
  EXPECT_EQ(p.dir, dir.substr(2));
}

// The DLL as a program loads it (the export table itself, Java names
// included, is checked by the dll_exports test).
TEST(LoadedLibrary, PlainFunctionsUnderTheirOwnNames) {
  HMODULE module = LoadLibraryW(L"VOLNEDA.dll");
  ASSERT_NE(module, nullptr) << "VOLNEDA.dll (and TAGDRV.dll) not found beside the tests, error " << GetLastError();
  auto find = [module](const char *name) { return reinterpret_cast<void *>(GetProcAddress(module, name)); };
  using VersionFn = void(__cdecl *)(int32_t *, int32_t *);
  auto version = reinterpret_cast<VersionFn>(find("VOLNEDA_Version"));
  ASSERT_NE(version, nullptr);
  int32_t major = 0, minor = 0;
  version(&major, &minor);
  EXPECT_EQ(major * 100 + minor, 123);
  for (const char *name : {"VOLNEDA_StartAll", "DispatcherGetData", "SetCommTimeOut", "XMLreader_OpenDoc", "GetCurrentDoc"})
    EXPECT_NE(find(name), nullptr) << name;
  // No decorated or internal variants.
  for (const char *name : {"_VOLNEDA_Version", "VOLNEDA_Version@8", "DllMain", "DllMain@12"})
    EXPECT_EQ(find(name), nullptr) << name;
  FreeLibrary(module);
}

}  // namespace
#endif
