// meanings.h -- names of status levels and sources, and the meanings of
// result codes, as src/meanings/meanings.tsv gives them.
#ifndef VOLNEDA_CLI_MEANINGS_H
#define VOLNEDA_CLI_MEANINGS_H

#include <cstdint>
#include <string>

namespace cli {

struct Meaning {
  int32_t number;
  const char *name;
  const char *text;
};

// Null when the table has no such record.
const Meaning *FindLevel(int32_t level);
const Meaning *FindSource(int32_t source);
const Meaning *FindCode(int32_t code);

// "warning", or "level 7" for a number the table does not know.
std::string LevelName(int32_t level);
// "identify", or "source 99".
std::string SourceName(int32_t source);
// The meaning of a result code; codes of the library's own table have
// theirs, other negative codes are the reader driver's.
std::string CodeMeaning(int32_t code);

}  // namespace cli

#endif
