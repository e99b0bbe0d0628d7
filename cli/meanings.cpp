#include "meanings.h"

namespace cli {
namespace {

#include "meanings_table.inc"

template <size_t N>
const Meaning *Find(const Meaning (&table)[N], int32_t number) {
  for (const Meaning &m : table)
    if (m.number == number) return &m;
  return nullptr;
}

}  // namespace

const Meaning *FindLevel(int32_t level) { return Find(kLevels, level); }
const Meaning *FindSource(int32_t source) { return Find(kSources, source); }
const Meaning *FindCode(int32_t code) { return Find(kCodes, code); }

std::string LevelName(int32_t level) {
  const Meaning *m = FindLevel(level);
  return m ? m->name : "level " + std::to_string(level);
}

std::string SourceName(int32_t source) {
  const Meaning *m = FindSource(source);
  return m ? m->name : "source " + std::to_string(source);
}

std::string CodeMeaning(int32_t code) {
  if (const Meaning *m = FindCode(code)) return m->text;
  return code < 0 ? "a status of the reader driver" : "not a result code";
}

}  // namespace cli
