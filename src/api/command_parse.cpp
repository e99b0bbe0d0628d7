// The command parser: a pure function of the command text.
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "api/command.h"
#include "platform/platform.h"
#include "tagdata/codec.h"

namespace {

constexpr int32_t kErrNoMemory = -3200;
constexpr int32_t kErrUnknownCommand = -3201;
constexpr int32_t kErrMalformed = -3202;
constexpr int32_t kErrListTooLong = -3204;
constexpr int32_t kErrTagIdLength = -3205;
constexpr int32_t kErrMaskLength = -3206;
constexpr int32_t kErrTagIdDigits = -3207;
constexpr int32_t kErrMaskDigits = -3208;

bool StartsWith(const std::string &s, size_t at, const char *word) {
  return s.compare(at, std::strlen(word), word) == 0;
}

size_t SkipSpaces(const std::string &s, size_t at) {
  while (at < s.size() && s[at] == ' ') ++at;
  return at;
}

void TrimRight(std::string &s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
}

void Upcase(std::string &s) {
  for (char &c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
}

// Items split at commas only: blanks inside an item stay part of it, and
// an empty list has no items.
std::vector<std::string> SplitItems(const std::string &list) {
  std::vector<std::string> items;
  if (list.empty()) return items;
  size_t from = 0;
  for (;;) {
    size_t comma = list.find(',', from);
    items.push_back(list.substr(from, comma == std::string::npos ? std::string::npos : comma - from));
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
  return items;
}

int32_t FieldList(const std::string &list, CommandRequest *r) {
  for (const std::string &item : SplitItems(list)) {
    if (r->swttCount >= kMaxSwttFields) return kErrMalformed;
    r->swttFields[r->swttCount++] = DecimalValue(item);
  }
  return 0;
}

// The list comes folded to lower case, like the whole command: the name is
// shown in result documents as it stands here.
int32_t MemList(const std::string &list, CommandRequest *r) {
  std::vector<std::string> items = SplitItems(list);
  if (items.size() > 4) return kErrMalformed;
  if (r->memCount >= static_cast<uint32_t>(kMaxMemFields)) return kErrMalformed;
  if (!items.empty() && items[0].size() > static_cast<size_t>(kMaxMemNameLength)) return kErrMalformed;
  MemField &m = r->memFields[r->memCount++];
  if (items.size() > 0) std::memcpy(m.name, items[0].data(), items[0].size());
  if (items.size() > 1) m.start = DecimalValue(items[1]);
  if (items.size() > 2) m.length = DecimalValue(items[2]);
  if (items.size() > 3) m.type = items[3].empty() ? 0 : items[3][0];
  return 0;
}

// Scans the select list: "field" or "mem" names the list that the next
// "(" ... ")" holds; everything outside the lists is skipped.
int32_t ScanSelectList(const std::string &s, CommandRequest *r) {
  enum { kLooking, kWaiting } state = kLooking;
  bool isMem = false, open = false;
  std::string buffer;
  for (size_t i = 0; i < s.size();) {
    if (state == kLooking) {
      if (StartsWith(s, i, "field")) {
        isMem = false;
        state = kWaiting;
        i += 5;
      } else if (StartsWith(s, i, "mem")) {
        isMem = true;
        state = kWaiting;
        i += 3;
      } else {
        ++i;
      }
      continue;
    }
    const char c = s[i++];
    if (c == '(') {
      open = true;
      buffer.clear();
    } else if (c == ')') {
      int32_t rc = isMem ? MemList(buffer, r) : FieldList(buffer, r);
      if (rc) return rc;
      buffer.clear();
      open = false;
      state = kLooking;
    } else if (open) {
      if (buffer.size() >= static_cast<size_t>(kMaxListLength)) return kErrListTooLong;
      buffer.push_back(c);
    }
  }
  return 0;  // a list never closed is dropped
}

int32_t ScanWhereClause(const std::string &w, CommandRequest *r) {
  std::vector<std::string> tokens;
  std::string token;
  for (char c : w) {
    if (c == ' ' || c == ',' || c == '=' || c == '"' || c == '&') {
      if (!token.empty()) tokens.push_back(token);
      token.clear();
    } else {
      token.push_back(c);
    }
  }
  if (!token.empty()) tokens.push_back(token);

  enum { kKeyword, kMask, kTagId } state = kKeyword;
  for (std::string &t : tokens) {
    switch (state) {
      case kKeyword:
        if (t == "and") break;
        if (t == "swtt") state = kMask;
        else if (t == "tagid") state = kTagId;
        else return kErrMalformed;
        break;
      case kMask:
        // Whatever follows the keyword is its value, keyword or not.
        if (t.size() > 12) return kErrMaskLength;
        if (!IsHexText(std::string_view(t))) return kErrMaskDigits;
        Upcase(t);
        std::memset(r->swttFilter, 0, sizeof r->swttFilter);
        std::memcpy(r->swttFilter, t.data(), t.size());
        state = kKeyword;
        break;
      case kTagId:
        if (t.size() != 16) return kErrTagIdLength;
        if (!IsHexText(std::string_view(t))) return kErrTagIdDigits;
        Upcase(t);
        std::memset(r->tagIdFilter, 0, sizeof r->tagIdFilter);
        std::memcpy(r->tagIdFilter, t.data(), t.size());
        state = kKeyword;
        break;
    }
  }
  return 0;  // a keyword that ends the clause has no value and is ignored
}

int32_t Parse(CommandRequest *r) {
  size_t length = 0;
  while (length < 256 && r->text[length]) ++length;
  std::string s;
  try {
    s = plat::WideToAnsi(std::u16string_view(r->text, length));
  } catch (const std::bad_alloc &) {
    return kErrNoMemory;
  }
  // Everything is matched, and kept, in lower case: keywords, filters (upper-
  // cased again when stored) and MEM field names alike.  Only A to Z fold.
  for (char &c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  TrimRight(s);
  const size_t where = s.find("where");

  int32_t rc = 0;
  std::string select, clause;
  // Takes the clause behind the "where" at `at`; nothing behind it is an error.
  auto takeClause = [&](size_t at) {
    clause = s.substr(SkipSpaces(s, at + 5));
    if (clause.empty()) rc = kErrMalformed;
  };

  if (StartsWith(s, 0, "read")) {
    if (s.size() == 4) {
      r->swttCount = -1;
    } else {
      size_t at = SkipSpaces(s, 4);
      if (at < s.size() && s[at] == '*') {
        r->swttCount = -1;
        if (where != std::string::npos) {
          at = SkipSpaces(s, at + 1);
          if (StartsWith(s, at, "where")) takeClause(at);
        }
      } else if (StartsWith(s, at, "where")) {
        takeClause(at);
      } else {
        size_t end = where != std::string::npos && where >= at ? where : s.size();
        select = s.substr(at, end - at);
        TrimRight(select);
        if (where != std::string::npos && where >= at) takeClause(where);
      }
    }
  } else if (StartsWith(s, 0, "identify")) {
    if (s.size() == 8) {
      r->kind = kCmdIdentify;
      return 0;
    }
    if (where == std::string::npos) return kErrMalformed;
    takeClause(where);
    rc = 0;  // an empty clause is an identify of every tag
    r->kind = clause.empty() ? kCmdIdentify : kCmdIdentifySelected;
  } else {
    return kErrUnknownCommand;
  }

  if (r->kind == kCmdUndecided) {
    if (select.empty()) r->kind = clause.empty() ? kCmdRead : kCmdReadSelected;
    else r->kind = clause.empty() ? kCmdReadFields : kCmdReadFieldsSelected;
  }
  if (rc) return rc;
  if (select.size() > static_cast<size_t>(kMaxClauseLength) || clause.size() > static_cast<size_t>(kMaxClauseLength))
    return kErrMalformed;
  if (!select.empty()) rc = ScanSelectList(select, r);
  if (rc == 0 && !clause.empty()) rc = ScanWhereClause(clause, r);
  return rc;
}

}  // namespace

int32_t ParseCommand(CommandRequest *request) {
  if (!request) return kErrMalformed;
  return Parse(request);
}

int32_t ParseCommand(const std::u16string &command, CommandRequest *request) {
  if (!request) return kErrMalformed;
  std::memset(request, 0, sizeof *request);
  size_t n = command.size();
  size_t nul = command.find(u'\0');
  if (nul != std::u16string::npos) n = nul;
  if (n > static_cast<size_t>(kMaxCommandLength)) return kErrMalformed;
  std::memcpy(request->text, command.data(), n * sizeof(char16_t));
  return Parse(request);
}
