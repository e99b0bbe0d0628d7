// Consistency check for edited documents: reparsing the text must give the
// same element table (offsets, tag lengths, levels, flags and links) as the
// one the edits maintained.  Indexes may differ, since edits number new
// elements in the order they were made, so the trees are matched by shape.
#ifndef VOLNEDA_TESTS_XML_CHECK_H
#define VOLNEDA_TESTS_XML_CHECK_H

#include <gtest/gtest.h>

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "xml/xmldoc.h"

inline std::string Narrow(const std::u16string &s) {
  std::string out;
  for (char16_t c : s) {
    if (c == u'\r') out += "\\r";
    else if (c == u'\n') out += "\\n";
    else if (c < 0x80) out += static_cast<char>(c);
    else out += '?';
  }
  return out;
}

inline ::testing::AssertionResult SameTableAsReparse(const XMLDoc &edited) {
  XMLDoc fresh(edited.GetDoc());
  if (!fresh.IsWellFormed())
    return ::testing::AssertionFailure() << "reparse failed: " << Narrow(fresh.GetError()) << " in "
                                         << Narrow(edited.GetDoc());
  if (!edited.IsWellFormed()) return ::testing::AssertionFailure() << "edited table has no root";
  const ElementRecord &e0 = edited.Record(0), &f0 = fresh.Record(0);
  if (e0.length != f0.length || e0.start != 0 || e0.parent != 0 || e0.levelFlags != 0)
    return ::testing::AssertionFailure() << "document record differs: length " << e0.length << " vs " << f0.length;

  std::unordered_map<int32_t, int32_t> map{{0, 0}};
  std::vector<std::pair<int32_t, int32_t>> todo{{e0.firstChild, f0.firstChild}};
  while (!todo.empty()) {
    auto [e, f] = todo.back();
    todo.pop_back();
    const ElementRecord &a = edited.Record(e), &b = fresh.Record(f);
    if (a.start != b.start || a.length != b.length || a.tagLengths != b.tagLengths || a.levelFlags != b.levelFlags)
      return ::testing::AssertionFailure()
             << "element at " << b.start << " differs: start " << a.start << "/" << b.start << " length " << a.length
             << "/" << b.length << " tags " << std::hex << a.tagLengths << "/" << b.tagLengths << " flags "
             << a.levelFlags << "/" << b.levelFlags << std::dec << " in " << Narrow(edited.GetDoc());
    if (!map.emplace(e, f).second) return ::testing::AssertionFailure() << "element " << e << " reached twice";
    int32_t ce = a.firstChild, cf = b.firstChild;
    while (ce && cf) {
      todo.emplace_back(ce, cf);
      ce = edited.Record(ce).nextSibling;
      cf = fresh.Record(cf).nextSibling;
      if (map.size() + todo.size() > static_cast<size_t>(edited.GetNextFreeIndex()))
        return ::testing::AssertionFailure() << "sibling links of element " << e << " loop";
    }
    if (ce || cf) return ::testing::AssertionFailure() << "children of the element at " << b.start << " differ";
  }
  for (auto [e, f] : map) {
    if (e == 0) continue;
    const ElementRecord &a = edited.Record(e), &b = fresh.Record(f);
    if (map.count(a.parent) == 0 || map[a.parent] != b.parent || map.count(a.prevSibling) == 0 ||
        map[a.prevSibling] != b.prevSibling)
      return ::testing::AssertionFailure() << "parent or previous link of the element at " << b.start << " differs";
  }
  if (map.size() != static_cast<size_t>(edited.GetNextFreeIndex()) ||
      map.size() != static_cast<size_t>(fresh.GetNextFreeIndex()))
    return ::testing::AssertionFailure() << map.size() << " elements reachable, edited table holds "
                                         << edited.GetNextFreeIndex() << ", reparse " << fresh.GetNextFreeIndex();
  return ::testing::AssertionSuccess();
}

#endif
