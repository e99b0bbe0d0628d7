// The command language: one table of command strings and what each parses
// to, covering every result code and the parser's quirks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/command.h"

namespace {

struct Mem {
  std::string name;
  int32_t start, length;
  char type;
};

struct Case {
  const char16_t *command;
  int32_t rc;
  int32_t kind;
  int32_t swttCount;
  std::vector<int32_t> fields;
  std::vector<Mem> mems;
  const char *swtt;
  const char *tagid;
};

std::string Narrow(const char16_t *s) {
  std::string out;
  for (; *s; ++s) out.push_back(static_cast<char>(*s));
  return out;
}

const Case kCases[] = {
    // Kinds.
    {u"identify", 0, 5, 0, {}, {}, "", ""},
    {u"identify where", 0, 5, 0, {}, {}, "", ""},
    {u"identify where swtt=0A1B", 0, 6, 0, {}, {}, "0A1B", ""},
    {u"identify all tags where swtt=0A1B", 0, 6, 0, {}, {}, "0A1B", ""},  // text before where ignored
    {u"Identify Where TagID=0123456789abcdef", 0, 6, 0, {}, {}, "", "0123456789ABCDEF"},
    {u"identify   ", 0, 5, 0, {}, {}, "", ""},  // trailing blanks removed
    {u"read", 0, 1, -1, {}, {}, "", ""},
    {u"READ", 0, 1, -1, {}, {}, "", ""},
    {u"read *", 0, 1, -1, {}, {}, "", ""},
    {u"read*where swtt=01", 0, 2, -1, {}, {}, "01", ""},
    {u"read * field(1) where swtt=01", 0, 1, -1, {}, {}, "", ""},  // rest after * ignored
    {u"read where swtt=AB and tagid=0123456789ABCDEF", 0, 2, 0, {}, {}, "AB", "0123456789ABCDEF"},
    {u"read where swtt", 0, 2, 0, {}, {}, "", ""},  // keyword without value
    {u"read field(0,1)", 0, 3, 2, {0, 1}, {}, "", ""},
    {u"read field(0,1) where swtt=0123", 0, 4, 2, {0, 1}, {}, "0123", ""},
    // Select lists.
    {u"readfield(1)", 0, 3, 1, {1}, {}, "", ""},  // only "read" is matched
    {u"read field(3) field(1)", 0, 3, 2, {3, 1}, {}, "", ""},
    {u"read field(1,2", 0, 3, 0, {}, {}, "", ""},  // never closed: dropped
    {u"read field( 7,x,-2)", 0, 3, 3, {7, 0, -2}, {}, "", ""},  // atoi items
    {u"read mem(serial,0,8,h)", 0, 3, 0, {}, {{"serial", 0, 8, 'h'}}, "", ""},
    {u"read mem(Serial, 0, 8, h)", 0, 3, 0, {}, {{"serial", 0, 8, ' '}}, "", ""},  // type keeps its blank
    {u"READ MEM(Ab,1,2,H)", 0, 3, 0, {}, {{"ab", 1, 2, 'h'}}, "", ""},  // the name is folded too
    {u"read field(4294967297,-4294967297) mem(a,2147483648,-2147483649,s)", 0, 3, 2, {INT32_MAX, INT32_MIN},
     {{"a", INT32_MAX, INT32_MIN, 's'}}, "", ""},  // numbers saturate
    {u"read mem(a,4)", 0, 3, 0, {}, {{"a", 4, 0, 0}}, "", ""},
    {u"read mem()", 0, 3, 0, {}, {{"", 0, 0, 0}}, "", ""},
    {u"read field(1) mem(serial,0,8,h) where tagid=0123456789ABCDEF", 0, 4, 1, {1}, {{"serial", 0, 8, 'h'}}, "",
     "0123456789ABCDEF"},
    {u"read mem(a,1,2,i) junk field(5) mem(b,3,4,s)", 0, 3, 1, {5}, {{"a", 1, 2, 'i'}, {"b", 3, 4, 's'}}, "", ""},
    {u"read field mem(1,2)", 0, 3, 2, {1, 2}, {}, "", ""},  // the list belongs to "field"
    {u"read field((1)", 0, 3, 1, {1}, {}, "", ""},        // "(" empties the list
    // Where clauses.
    {u"read where swtt=01 swtt=02", 0, 2, 0, {}, {}, "02", ""},  // the later wins
    {u"read where \"swtt\"=\"0a\"&tagid,0123456789ABCDEF", 0, 2, 0, {}, {}, "0A", "0123456789ABCDEF"},
    {u"read where swtt=12:4", 0, 2, 0, {}, {}, "12:4", ""},  // ':' passes the digit check
    {u"read where swtt=", 0, 2, 0, {}, {}, "", ""},
    // Errors.
    {u"write", -3201, 0, 0, {}, {}, "", ""},
    {u"", -3201, 0, 0, {}, {}, "", ""},
    {u" read", -3201, 0, 0, {}, {}, "", ""},
    {u"read where", -3202, 1, 0, {}, {}, "", ""},
    {u"read * where  ", -3202, 1, -1, {}, {}, "", ""},
    {u"read field(1) where", -3202, 3, 0, {}, {}, "", ""},
    {u"identify tags", -3202, 0, 0, {}, {}, "", ""},
    {u"read where colour=red", -3202, 2, 0, {}, {}, "", ""},
    {u"read mem(a,1,2,h,x)", -3202, 3, 0, {}, {}, "", ""},
    {u"read field(100,200,300,400,500,600,700,800,900)", -3204, 3, 0, {}, {}, "", ""},
    {u"read where tagid=0123", -3205, 2, 0, {}, {}, "", ""},
    {u"read where swtt=0123456789ABC", -3206, 2, 0, {}, {}, "", ""},
    {u"read where tagid=0123456789ABCDEG", -3207, 2, 0, {}, {}, "", ""},
    {u"read where swtt tagid=0123456789ABCDEF", -3208, 2, 0, {}, {}, "", ""},  // "tagid" is the mask
    {u"read where swtt=0G", -3208, 2, 0, {}, {}, "", ""},
    // Limits: refused, never cut.
    {u"read field(0,1,2,3,4,5,6,7) field(8,9,10,11,12,13,14,15) field(1)", -3202, 3, 16, {}, {}, "", ""},
    {u"read mem(abcdefghijklmnopqrstuvwxyzabcdef)", -3202, 3, 0, {}, {}, "", ""},
};

TEST(CommandParse, Table) {
  for (const Case &c : kCases) {
    SCOPED_TRACE(Narrow(c.command));
    CommandRequest r;
    EXPECT_EQ(ParseCommand(std::u16string(c.command), &r), c.rc);
    EXPECT_EQ(r.kind, c.kind);
    if (c.rc != 0) continue;
    EXPECT_EQ(r.swttCount, c.swttCount);
    std::vector<int32_t> fields;
    for (int32_t i = 0; i < r.swttCount; ++i) fields.push_back(r.swttFields[i]);
    EXPECT_EQ(fields, c.fields);
    ASSERT_EQ(r.memCount, c.mems.size());
    for (size_t i = 0; i < c.mems.size(); ++i) {
      EXPECT_EQ(std::string(r.memFields[i].name), c.mems[i].name);
      EXPECT_EQ(r.memFields[i].start, c.mems[i].start);
      EXPECT_EQ(r.memFields[i].length, c.mems[i].length);
      EXPECT_EQ(r.memFields[i].type, c.mems[i].type);
    }
    EXPECT_STREQ(r.swttFilter, c.swtt);
    EXPECT_STREQ(r.tagIdFilter, c.tagid);
    EXPECT_EQ(std::u16string(r.text), c.command);
  }
}

TEST(CommandParse, LengthLimits) {
  CommandRequest r;
  // 255 characters fit; one more is refused.
  std::u16string fits = u"read where swtt=01" + std::u16string(255 - 18, u' ');
  EXPECT_EQ(ParseCommand(fits, &r), 0);
  EXPECT_STREQ(r.swttFilter, "01");
  EXPECT_EQ(ParseCommand(fits + u" ", &r), -3202);
  // A where clause of more than 127 characters.
  std::u16string clause = u"read where";
  for (int i = 0; i < 40; ++i) clause += u" and";
  EXPECT_EQ(ParseCommand(clause, &r), -3202);
  // Sixteen MEM fields are the most.
  std::u16string mems = u"read ";
  for (int i = 0; i < 16; ++i) mems += u"mem(a)";
  EXPECT_EQ(ParseCommand(mems, &r), 0);
  EXPECT_EQ(r.memCount, 16u);
  EXPECT_EQ(ParseCommand(mems + u"mem(a)", &r), -3202);
}

}  // namespace
