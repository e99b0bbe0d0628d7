// result_doc.h -- the IdentifyTags and ReadTags result documents as data:
// the root's attributes, the tags and their fields, read with the library's
// XMLreader functions.
#ifndef VOLNEDA_CLI_RESULT_DOC_H
#define VOLNEDA_CLI_RESULT_DOC_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cli {

struct DocField {
  std::string type;  // "SWTT" or "MEM"; empty for a field the template lacks
  std::optional<int32_t> entryNr;
  std::string swttMask, name, dataType;
  std::optional<int32_t> dataStart, dataLen, fieldStatus;
  std::string warning;  // "FieldDoesNotExist"
  std::string value;
};

struct DocTag {
  std::string id, swtt, hwTagType, antenna;  // antenna: two hexadecimal digits
  std::vector<DocField> fields;
};

struct ResultDoc {
  enum Kind { kNone = 0, kIdentify = 1, kRead = 2 } kind = kNone;
  std::string reader, date, time, apiVersion;
  int32_t tagCount = 0;
  std::vector<DocTag> tags;
};

// False when the text has no IdentifyTags or ReadTags root.
bool ParseResultDoc(const std::string &xml, ResultDoc &doc);

// "12072026" (month, day, year) as "2026-12-07"; other text unchanged.
std::string IsoDate(const std::string &mmddyyyy);

}  // namespace cli

#endif
