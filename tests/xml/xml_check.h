// The element table edits kept must equal a reparse's: the same elements at
// the same offsets, tag lengths, levels, flags and links.  Indexes may differ,
// so a link is compared by the offset of the element it points at.
#ifndef VOLNEDA_TESTS_XML_CHECK_H
#define VOLNEDA_TESTS_XML_CHECK_H

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "test_util.h"
#include "xml/xmldoc.h"

inline std::string DescribeTable(const XMLDoc &doc) {
  auto at = [&doc](int32_t i) { return i ? doc.Record(i).start : -1; };
  std::map<int32_t, std::string> byStart;
  for (int32_t i = 1; i < doc.GetNextFreeIndex(); ++i) {
    const ElementRecord &r = doc.Record(i);
    std::ostringstream s;
    s << r.start << ": length " << r.length << " tags " << std::hex << r.tagLengths << " flags " << r.levelFlags
      << std::dec << " parent@" << at(r.parent) << " first@" << at(r.firstChild) << " next@" << at(r.nextSibling)
      << " prev@" << at(r.prevSibling) << "\n";
    byStart[r.start] += s.str();  // two elements at one offset show as one doubled line
  }
  std::string out = "document " + std::to_string(doc.Record(0).length) + " first@" +
                    std::to_string(at(doc.Record(0).firstChild)) + "\n";
  for (const auto &entry : byStart) out += entry.second;
  return out;
}

inline ::testing::AssertionResult SameTableAsReparse(const XMLDoc &edited) {
  XMLDoc fresh(edited.GetDoc());
  if (!fresh.IsWellFormed()) return ::testing::AssertionFailure() << "no reparse: " << Narrow(fresh.GetError());
  std::string kept = DescribeTable(edited), reparsed = DescribeTable(fresh);
  if (kept == reparsed) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "in " << Narrow(edited.GetDoc()) << "\nkept:\n" << kept << "reparsed:\n"
                                       << reparsed;
}

#endif
