// The INI text rules, as one table of file texts and lookups.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "config/inistuff.h"
#include "temp_files.h"
#include "test_util.h"

namespace {

struct Lookup {
  const char *section, *key;
  int code;
  const char *value;  // on code 0
};

struct Case {
  const char *what;
  const char *text;
  std::vector<std::string> sections;
  std::vector<Lookup> lookups;
};

const std::vector<Case> &Cases() {
  static const std::vector<Case> cases = {
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
      {"names are case-sensitive", "[abc]\nk=v\n", {"abc"}, {{"ABC", "k", 5, ""}, {"abc", "K", 6, ""}}},
      {"duplicate headers: listed twice, first read", "[A]\nk=1\n[A]\nk=2\n", {"A", "A"}, {{"A", "k", 0, "1"}}},
      {"empty file", "", {}, {{"A", "k", 5, ""}}},
      {"empty header name", "[]\nk=v\n", {""}, {{"", "k", 0, "v"}}},
      {"blanks belong to the name", "[ A ]\nk=v\n", {" A "}, {{"A", "k", 5, ""}, {" A ", "k", 0, "v"}}},
      {"header need not begin a line", "x [A]y\nk=v\n", {"A"}, {{"A", "k", 0, "v"}}},
      {"unclosed header", "[A]\nk=v\n[B\n", {"A"}, {{"A", "k", 0, "v"}}},
      {"first of two equal keys", "[A]\nk=1\nk=2\n", {"A"}, {{"A", "k", 0, "1"}}},
      {"key at the very end of the body", "[A]\nk", {"A"}, {{"A", "k", 6, ""}}},
  };
  return cases;
}

TEST(IniStuff, TextRules) {
  const std::string path = "volneda_ini_test.ini";
  for (const Case &c : Cases()) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(WriteTextFile(path, c.text));
    ASSERT_EQ(IniLoadFile(path), INI_OK);
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
  std::remove(path.c_str());
}

TEST(IniStuff, CutsAndStates) {
  const std::string path = "volneda_ini_test2.ini";
  ASSERT_TRUE(WriteTextFile(path, "[LONGSECTIONNAME]\nk=0123456789\n"));
  ASSERT_EQ(IniLoadFile(path), INI_OK);
  char small[5];
  ASSERT_TRUE(IniFirstSection(small, sizeof small));
  EXPECT_STREQ(small, "LONG");
  EXPECT_FALSE(IniNextSection(small, sizeof small));
  EXPECT_STREQ(small, "");  // a failed enumeration leaves zeros
  EXPECT_EQ(IniGetValue(small, sizeof small, "LONGSECTIONNAME", "k"), INI_OK);
  EXPECT_STREQ(small, "0123");
  IniFreeFile();
  IniFreeFile();  // harmless twice
  EXPECT_FALSE(IniFirstSection(small, sizeof small));
  EXPECT_FALSE(IniNextSection(small, sizeof small));
  EXPECT_EQ(IniGetValue(small, sizeof small, "A", "k"), INI_ERR_NOSECTION);
  EXPECT_EQ(IniLoadFile("no/such/file.ini"), INI_ERR_OPEN);
  EXPECT_FALSE(IniFirstSection(small, sizeof small));
  std::remove(path.c_str());
}

}  // namespace
