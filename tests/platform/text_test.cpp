// Code pages, fixed fields, wide string formatting and path splitting.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/platform.h"
#include "platform/widestring.h"

namespace {

TEST(CodePage, EveryByteRoundTrips) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  std::u16string wide = plat::AnsiToWide(all);
  ASSERT_EQ(wide.size(), 256u);
  EXPECT_EQ(plat::WideToAnsi(wide), all);
}

TEST(CodePage, MapsLikeWindows1252) {
  struct Case {
    unsigned char byte;
    char16_t unit;
  } cases[] = {{0x41, u'A'},    {0x80, 0x20AC}, {0x81, 0x0081}, {0x8D, 0x008D}, {0x8F, 0x008F},
               {0x90, 0x0090}, {0x9D, 0x009D}, {0x9F, 0x0178}, {0xA0, 0x00A0}, {0xE9, 0x00E9},
               {0xFF, 0x00FF}, {0x00, 0x0000}};
  for (const Case &c : cases) {
    std::string b(1, static_cast<char>(c.byte));
    EXPECT_EQ(plat::AnsiToWide(b), std::u16string(1, c.unit)) << int(c.byte);
    EXPECT_EQ(plat::WideToAnsi(std::u16string(1, c.unit)), b) << int(c.byte);
  }
  // No byte for these: one '?' per character, a surrogate pair included.
  EXPECT_EQ(plat::WideToAnsi(u"\u0080\u4E2D\U0001F600x"), "???x");
}

TEST(CodePage, Utf8BothWays) {
  struct Case {
    std::string utf8;
    std::u16string wide;
  } cases[] = {{"", u""},
               {"abc", u"abc"},
               {"\xC3\xA9", u"\u00E9"},
               {"\xE2\x82\xAC", u"\u20AC"},
               {"\xF0\x9F\x98\x80", u"\U0001F600"}};
  for (const Case &c : cases) {
    EXPECT_EQ(plat::Utf8ToWide(c.utf8), c.wide);
    EXPECT_EQ(plat::WideToUtf8(c.wide), c.utf8);
  }
  // Broken input: truncated, overlong, stray continuation, surrogate.
  EXPECT_EQ(plat::Utf8ToWide("\xC3"), u"\uFFFD");
  EXPECT_EQ(plat::Utf8ToWide("\xC0\xAF"), u"\uFFFD\uFFFD");
  EXPECT_EQ(plat::Utf8ToWide("a\x80" "b"), u"a\uFFFDb");
  EXPECT_EQ(plat::Utf8ToWide("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(plat::WideToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(CodePage, FieldsCutAtCharacterBoundaryAndTerminate) {
  char narrow[4];
  std::memset(narrow, 'X', sizeof narrow);
  EXPECT_EQ(plat::WideToAnsiField(u"abcdef", narrow, 4), 3u);
  EXPECT_STREQ(narrow, "abc");
  EXPECT_EQ(plat::WideToAnsiField(u"", narrow, 4), 0u);
  EXPECT_STREQ(narrow, "");
  EXPECT_EQ(plat::WideToAnsiField(u"abc", narrow, 0), 0u);  // untouched
  char16_t wide[4];
  // A surrogate pair that does not fit whole is left out whole.
  EXPECT_EQ(plat::WideToWideField(u"ab\U0001F600", wide, 4), 2u);
  EXPECT_EQ(std::u16string(wide), u"ab");
  EXPECT_EQ(plat::AnsiToWideField("\x80xyz", wide, 4), 3u);
  EXPECT_EQ(std::u16string(wide), u"\u20ACxy");
  char cut[3];
  EXPECT_EQ(plat::AnsiToAnsiField("hello", cut, 3), 2u);
  EXPECT_STREQ(cut, "he");
}

TEST(WideString, Format) {
  struct Case {
    std::u16string got, want;
  } cases[] = {
      {wstr::Format(u"Field %d", 7), u"Field 7"},
      {wstr::Format(u"%d", -3302), u"-3302"},
      {wstr::Format(u"%02d:%02d", 5, 42), u"05:42"},
      {wstr::Format(u"%04d", 2026), u"2026"},
      {wstr::Format(u"%04d", 7), u"0007"},
      {wstr::Format(u"%d.%d", 1, 23), u"1.23"},
      {wstr::Format(u"%s%s\\%s%s", u"C:", u"\\cfg\\", u"SWTT", u".INI"), u"C:\\cfg\\\\SWTT.INI"},
      {wstr::Format(u"[%s]", static_cast<const char16_t *>(nullptr)), u"[]"},
      {wstr::Format(u"100%%"), u"100%"},
      {wstr::Format(u"%q %"), u"%q %"},
      {wstr::Format(u"%03d", -5), u"-05"},
  };
  for (const Case &c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(WideString, FindMidCopyOut) {
  EXPECT_EQ(wstr::Find(u"abcabc", u"bc"), 1u);
  EXPECT_EQ(wstr::Find(u"abcabc", u"bc", 2), 4u);
  EXPECT_EQ(wstr::Find(u"abc", u"x"), wstr::npos);
  EXPECT_EQ(wstr::Find(u"abc", u"a", 9), wstr::npos);
  EXPECT_EQ(wstr::Mid(u"abcdef", 2, 3), u"cde");
  EXPECT_EQ(wstr::Mid(u"abcdef", 4), u"ef");
  EXPECT_EQ(wstr::Mid(u"abc", 7, 1), u"");
  EXPECT_EQ(wstr::Make(nullptr), u"");
  EXPECT_EQ(wstr::Make(u"abcdef", 2), u"ab");
  char16_t buf[3] = {u'X', u'X', u'X'};
  EXPECT_EQ(wstr::CopyOut(u"hello", buf, 3), 2u);
  EXPECT_EQ(std::u16string(buf), u"he");
  EXPECT_EQ(wstr::CopyOut(u"hello", buf, 1), 0u);
  EXPECT_EQ(buf[0], 0);
  buf[0] = u'Q';
  EXPECT_EQ(wstr::CopyOut(u"hello", buf, 0), 0u);
  EXPECT_EQ(buf[0], u'Q');
}

TEST(Path, SplitsLikeWindows) {
  struct Case {
    const char *path, *drive, *dir, *fname, *ext;
  } cases[] = {
#if defined(_WIN32)
      {"C:\\cfg\\rfconfig.ini", "C:", "\\cfg\\", "rfconfig", ".ini"},
      {"D:x.y.z", "D:", "", "x.y", ".z"},
#else
      {"C:\\cfg\\rfconfig.ini", "", "C:\\cfg\\", "rfconfig", ".ini"},
#endif
      {"/etc/volneda/rfconfig.ini", "", "/etc/volneda/", "rfconfig", ".ini"},
      {"rfconfig.ini", "", "", "rfconfig", ".ini"},
      {"dir/noext", "", "dir/", "noext", ""},
      {"a.b/c", "", "a.b/", "c", ""},
      {"", "", "", "", ""},
      {"trailing/", "", "trailing/", "", ""},
  };
  for (const Case &c : cases) {
    plat::PathParts p = plat::SplitPath(c.path);
    EXPECT_EQ(p.drive, c.drive) << c.path;
    EXPECT_EQ(p.dir, c.dir) << c.path;
    EXPECT_EQ(p.fname, c.fname) << c.path;
    EXPECT_EQ(p.ext, c.ext) << c.path;
  }
}

}  // namespace
