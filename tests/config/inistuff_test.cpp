// The INI text rules, as one table of file texts and lookups.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "config/inistuff.h"
#include "test_util.h"

namespace {

struct Lookup { const char *section, *key; int code; const char *value; };  // the value on code 0

TEST(IniStuff, TextRules) {
  struct Case { const char *what, *text; std::vector<std::string> sections; std::vector<Lookup> lookups; } cases[] = {
      {"plain", "[A]\nk=v\n[B]\nk=w\n", {"A", "B"}, {{"A", "k", 0, "v"}, {"B", "k", 0, "w"}, {"C", "k", 5, ""}}},
      {"header in a comment opens nothing", "; [X]\n[A]\nk=1\n;x [Y]\n", {"A"},
       {{"X", "k", 5, ""}, {"Y", "k", 5, ""}, {"A", "k", 0, "1"}}},
      {"key in a comment line is found", "[A]\n;ID=comment\nID=real\n", {"A"}, {{"A", "ID", 0, "comment"}}},
      {"key found at the end of a longer name", "[A]\nTAGID=7\n", {"A"}, {{"A", "ID", 0, "7"}}},
      {"blank before = hides the key", "[A]\nk =v\n", {"A"}, {{"A", "k", 6, ""}}},
      {"a [ in a value ends the body", "[A]\nk=a[b\nm=2\n", {"A"}, {{"A", "k", 0, "a[b"}, {"A", "m", 6, ""}}},
      {"leading blanks and ; kept", "[A]\nk=  x ; y \n", {"A"}, {{"A", "k", 0, "  x ; y "}}},
      {"last line without line end", "[A]\nk=end", {"A"}, {{"A", "k", 0, "end"}}},
      {"CR LF arrives as LF", "[A]\r\nk=v\r\nm=w\r\n", {"A"}, {{"A", "k", 0, "v"}, {"A", "m", 0, "w"}}},
      {"empty file", "", {}, {{"A", "k", 5, ""}}},
      {"names are case-sensitive", "[abc]\nk=v\n", {"abc"}, {{"ABC", "k", 5, ""}, {"abc", "K", 6, ""}}},
      {"duplicate headers: listed twice, first read", "[A]\nk=1\n[A]\nk=2\n", {"A", "A"}, {{"A", "k", 0, "1"}}},
      {"empty header name", "[]\nk=v\n", {""}, {{"", "k", 0, "v"}}},
      {"blanks belong to the name", "[ A ]\nk=v\n", {" A "}, {{"A", "k", 5, ""}, {" A ", "k", 0, "v"}}},
      {"header need not begin a line", "x [A]y\nk=v\n", {"A"}, {{"A", "k", 0, "v"}}},
      {"unclosed header", "[A]\nk=v\n[B\n", {"A"}, {{"A", "k", 0, "v"}}},
      {"first of two equal keys", "[A]\nk=1\nk=2\n", {"A"}, {{"A", "k", 0, "1"}}},
      {"key at the very end of the body", "[A]\nk", {"A"}, {{"A", "k", 6, ""}}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(WriteTextFile("volneda_ini_test.ini", c.text));
    ASSERT_EQ(IniLoadFile("volneda_ini_test.ini"), INI_OK);
    std::vector<std::string> got;
    char name[64];
    for (bool more = IniFirstSection(name, sizeof name); more; more = IniNextSection(name, sizeof name))
      got.push_back(name);
    EXPECT_EQ(got, c.sections);
    for (const Lookup &l : c.lookups) {
      char value[32];
      std::memset(value, 'Q', sizeof value);
      int code = IniGetValue(value, sizeof value, l.section, l.key);
      EXPECT_EQ(code, l.code) << l.section << "/" << l.key;
      if (code == 0) EXPECT_STREQ(value, l.value);
      else EXPECT_EQ(value[0], 'Q');  // untouched on failure
      EXPECT_EQ(IniGetString(l.section, l.key, value, sizeof value), l.code == 0);
    }
    IniFreeFile();
  }
  char name[8];
  EXPECT_FALSE(IniFirstSection(name, sizeof name));  // no file loaded
  EXPECT_EQ(IniGetValue(name, sizeof name, "A", "k"), INI_ERR_NOSECTION);
}

}  // namespace
