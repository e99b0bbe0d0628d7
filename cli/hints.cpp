#include "hints.h"

#include "text.h"

namespace cli {
namespace {

bool Blank(char c) { return c == ' ' || c == '\t'; }

// Items of a mem(...) list as the library splits them: at commas only.
std::vector<std::string> Items(const std::string &list) {
  std::vector<std::string> items(1);
  for (char c : list) {
    if (c == ',') items.emplace_back();
    else items.back() += c;
  }
  return items;
}

}  // namespace

std::vector<std::string> SelectListHints(const std::string &command) {
  std::vector<std::string> hints;
  // The library folds the whole command before it matches anything.
  std::string text = Lower(command);
  if (text.rfind("read", 0) != 0) return hints;
  size_t end = text.find("where");
  if (end != std::string::npos && text.find_first_not_of(' ', 4) == end)
    hints.push_back("read where ... reads no field, only the tags it selects: read * where ... reads every field");
  std::string list = text.substr(4, end == std::string::npos ? std::string::npos : end - 4);
  std::string stray;
  auto flushStray = [&] {
    size_t first = stray.find_first_not_of(" \t*");
    if (first != std::string::npos)
      hints.push_back("'" + stray.substr(first, stray.find_last_not_of(" \t") + 1 - first) +
                      "' is neither field(...) nor mem(...): the library skips it");
    stray.clear();
  };
  for (size_t i = 0; i < list.size();) {
    bool field = list.compare(i, 5, "field") == 0;
    bool mem = !field && list.compare(i, 3, "mem") == 0;
    size_t open = (field || mem) ? list.find('(', i) : std::string::npos;
    size_t close = open == std::string::npos ? std::string::npos : list.find(')', open);
    if (close == std::string::npos) {
      stray += list[i++];
      continue;
    }
    // The library skips what stands between the keyword and its '('.
    std::string between = list.substr(i + (field ? 5 : 3), open - i - (field ? 5 : 3));
    flushStray();
    stray = between;
    flushStray();
    std::string inside = list.substr(open + 1, close - open - 1);
    if (mem) {
      std::vector<std::string> items = Items(inside);
      bool blanks = false;
      for (size_t k = 0; k < items.size(); ++k)
        if (!items[k].empty() && (Blank(items[k].back()) || (k != 1 && k != 2 && Blank(items[k].front()))))
          blanks = true;
      if (blanks)
        hints.push_back("mem(" + inside + "): blanks stay part of the name and the type; write mem(name,start,length,type)");
      else if (items.size() < 4)
        hints.push_back("mem(" + inside + "): a mem list has four items, name,start,length,type");
    }
    i = close + 1;
  }
  flushStray();
  return hints;
}

namespace {

// The command language's limits.
constexpr size_t kMaxCommand = 255, kMaxClause = 127, kMaxList = 32, kMaxFields = 16, kMaxMems = 16, kMaxName = 31;

std::string Quote(const std::string &s) { return "'" + s + "'"; }

std::vector<std::string> Tokens(const std::string &clause) {
  std::vector<std::string> tokens(1);
  for (char c : clause) {
    if (c == ' ' || c == ',' || c == '=' || c == '"' || c == '&') {
      if (!tokens.back().empty()) tokens.emplace_back();
    } else {
      tokens.back() += c;
    }
  }
  if (tokens.back().empty()) tokens.pop_back();
  return tokens;
}

// The first character of a value outside '0' to 'F', as the library tests.
std::string BadDigit(const std::string &value) {
  for (char c : value) {
    char u = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    if (u < '0' || u > 'F') return std::string(1, c);
  }
  return std::string();
}

// The where clause's fault for codes -3202 and -3205 to -3208.
// `clause` is folded to lower case, `shown` is the same text as written.
std::string ClauseCause(const std::string &clause, const std::string &shown, int32_t code,
                        const std::string &wordWithWhere) {
  std::vector<std::string> tokens = Tokens(clause), as = Tokens(shown);
  for (size_t i = 0; i < tokens.size(); ++i) {
    const std::string &t = tokens[i];
    if (t == "and") continue;
    if (t != "swtt" && t != "tagid") {
      if (code != -3202) return std::string();
      std::string why = Quote(as[i]) + " is not a word of the where clause (swtt=MASK, tagid=ID, and)";
      if (wordWithWhere != "where") why += " (the clause begins behind the first 'where', here in " + Quote(wordWithWhere) + ")";
      return why;
    }
    if (i + 1 == tokens.size()) return std::string();
    const std::string &v = as[++i];
    bool mask = t == "swtt";
    std::string bad = BadDigit(v);
    if (mask && v.size() > 12 && code == -3206)
      return "the mask " + Quote(v) + " has " + std::to_string(v.size()) + " characters; a mask has at most 12";
    if (!mask && v.size() != 16 && code == -3205)
      return "the tag identifier " + Quote(v) + " has " + std::to_string(v.size()) + " characters; an identifier has 16";
    if (!bad.empty() && code == (mask ? -3208 : -3207)) {
      if (tokens[i] == "swtt" || tokens[i] == "tagid")
        return Quote(as[i - 1]) + " has no value: the word after it, " + Quote(v) + ", is taken as its value";
      return Quote(bad) + " in " + Quote(v) + " is not a hexadecimal digit";
    }
  }
  return std::string();
}

}  // namespace

std::string CommandCause(const std::string &command, int32_t code) {
  // Found in the folded text, shown as written (only A to Z fold, so the
  // two have the same length).
  std::string shown = command;
  while (!shown.empty() && shown.back() == ' ') shown.pop_back();
  const std::string s = Lower(shown);
  if (code == -3201) {
    std::string first = shown.substr(0, shown.find(' '));
    return "it begins with " + Quote(first) + "; a command begins with read or identify (a write is volneda write)";
  }
  if (code < -3208 || code > -3202) return std::string();
  if (Utf8To16(command).size() > kMaxCommand)
    return "the command has " + std::to_string(Utf8To16(command).size()) + " characters; at most " +
           std::to_string(kMaxCommand);
  size_t where = s.find("where");
  // The word that holds the first "where", when it is more than "where".
  std::string word = "where";
  if (where != std::string::npos) {
    size_t b = s.find_last_of(" (,", where), e = s.find_first_of(" (),", where);
    word = s.substr(b == std::string::npos ? 0 : b + 1, e == std::string::npos ? std::string::npos : e - b - 1);
  }
  std::string clause = where == std::string::npos ? std::string() : Trim(s.substr(where + 5));
  std::string shownClause = where == std::string::npos ? std::string() : Trim(shown.substr(where + 5));
  if (s.rfind("identify", 0) == 0) {
    if (where == std::string::npos)
      return "identify is followed by " + Quote(Trim(shown.substr(8))) + " but no where: identify where " +
             Trim(shown.substr(8));
    return clause.size() > kMaxClause ? "the where clause has more than " + std::to_string(kMaxClause) + " characters"
                                      : ClauseCause(clause, shownClause, code, word);
  }
  if (s.rfind("read", 0) != 0) return std::string();
  std::string rest = Trim(s.substr(4));
  if (code == -3202 && where != std::string::npos && clause.empty() &&
      (rest.rfind("where", 0) == 0 || rest.rfind("*", 0) == 0))
    return "nothing follows where: give swtt=MASK or tagid=ID, or leave where out";
  const size_t selectEnd = where == std::string::npos ? std::string::npos : where - 4;
  std::string select = rest.rfind("*", 0) == 0 ? std::string() : Trim(s.substr(4, selectEnd));
  std::string shownSelect = rest.rfind("*", 0) == 0 ? std::string() : Trim(shown.substr(4, selectEnd));
  if (select.size() > kMaxClause || clause.size() > kMaxClause)
    return std::string(select.size() > kMaxClause ? "the select list" : "the where clause") + " has more than " +
           std::to_string(kMaxClause) + " characters";
  // The select list's lists, in order, as the library reads them.
  size_t fields = 0, mems = 0;
  for (size_t i = 0; i < select.size();) {
    bool field = select.compare(i, 5, "field") == 0, mem = !field && select.compare(i, 3, "mem") == 0;
    size_t open = field || mem ? select.find('(', i) : std::string::npos;
    size_t close = open == std::string::npos ? std::string::npos : select.find(')', open);
    if (close == std::string::npos) {
      ++i;
      continue;
    }
    std::string inside = select.substr(open + 1, close - open - 1);
    std::string list = shownSelect.substr(i, close + 1 - i);
    if (inside.size() > kMaxList && code == -3204)
      return list + " holds " + std::to_string(inside.size()) + " characters between its brackets; at most " +
             std::to_string(kMaxList) + (field ? ": split it into several field(...) lists" : ": shorten it");
    std::vector<std::string> items = inside.empty() ? std::vector<std::string>() : Items(inside);
    if (code == -3202 && field && (fields += items.size()) > kMaxFields)
      return "more than " + std::to_string(kMaxFields) + " field numbers";
    if (code == -3202 && mem) {
      if (items.size() > 4)
        return list + " has " + std::to_string(items.size()) + " items; a mem list has four: name,start,length,type";
      if (++mems > kMaxMems) return "more than " + std::to_string(kMaxMems) + " mem lists";
      if (!items.empty() && items[0].size() > kMaxName)
        return "the mem name " + Quote(Items(shownSelect.substr(open + 1, close - open - 1))[0]) + " is longer than " + std::to_string(kMaxName) + " characters";
    }
    i = close + 1;
  }
  return ClauseCause(clause, shownClause, code, word);
}

}  // namespace cli
