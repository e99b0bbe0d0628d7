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

}  // namespace cli
