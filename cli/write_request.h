// write_request.h -- WriteTags request documents built with the library's
// own writer functions (XMLreader_WriteXMLHeader and its kin), for one tag
// chosen by its identifier.
#ifndef VOLNEDA_CLI_WRITE_REQUEST_H
#define VOLNEDA_CLI_WRITE_REQUEST_H

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

struct WriteItem {
  enum Kind { kTemplateField, kMemory } kind = kTemplateField;
  int32_t entryNr = 0;              // template field
  int32_t start = 0, length = 0;    // raw memory
  char type = 's';                  // raw memory: h, i or s
  std::string value;                // UTF-8
};

// The request text (UTF-8); the library checks it when it is written.
std::string WriteRequest(const std::string &tagId, const std::vector<WriteItem> &items);

}  // namespace cli

#endif
