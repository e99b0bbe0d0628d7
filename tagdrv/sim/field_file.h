// field_file.h -- the tag field file of the simulated driver: the readers
// it pretends to see and the tags in their fields.  See docs/tagfield.md.
#ifndef TAGDRV_FIELD_FILE_H
#define TAGDRV_FIELD_FILE_H

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace tagdrv {

constexpr size_t kMemorySize = 256;

struct SimTag {
  std::string section;  // its section name, for writing memory back
  uint8_t id[8] = {};
  // SWTT identifier, at most 12 characters.  Empty: the identifier is the
  // hexadecimal text of memory bytes 12 to 17, where a write of the SWTT
  // puts it.
  std::string swtt;
  std::string type;     // at most 4 characters
  uint8_t antenna = 0;
  uint8_t memory[kMemorySize] = {};
  int32_t status = 0;            // tagStatus reported for it
  std::set<int32_t> failAddresses;  // fields covering one of these fail
  int32_t fieldError = -20;      // fieldStatus given to such fields
  // The identify rounds in which the tag is in the field, as inclusive
  // ranges; `everPresent` when the file does not say (the usual case).
  bool everPresent = true;
  std::vector<std::pair<uint64_t, uint64_t>> present;
};

// Whether the tag is in the field in identify round `round` (from 1).
bool PresentIn(const SimTag &tag, uint64_t round);

struct SimReader {
  std::string name;
  uint32_t major = 2, minor = 0;
  std::map<std::string, std::string> attributes;
  int32_t openError = 0, allocateError = 0, identifyError = 0, readError = 0, writeError = 0,
          writeReturn = 0;
  std::vector<SimTag> tags;
};

struct Field {
  std::string path;
  bool persist = false;
  uint64_t cycle = 0;  // rounds repeat after this many (0: they never do)
  std::vector<SimReader> readers;
};

// The largest tag field file read: a larger one, like a named pipe or a
// device, is refused at once instead of filling memory or blocking.
constexpr uintmax_t kMaxFieldFileBytes = uintmax_t{16} << 20;

enum class LoadResult { kOk, kUnreadable, kNotRegular, kTooLarge };
// Reads the file.  Unknown keys are ignored.
LoadResult LoadField(const std::string &path, Field &field);
constexpr size_t kSwttAddress = 12, kSwttBytes = 6;
// The identifier the driver reports for the tag.
std::string SwttOf(const SimTag &tag);

// Writes the memory of every tag back into the file's memory= lines.
bool SaveMemory(const Field &field);

std::string Trim(const std::string &s);

}  // namespace tagdrv

#endif
