// pcsc_settings.h -- what the PC/SC backend knows of a reader before it
// talks to it: the reader profiles, the pcsc.* settings of the reader's
// section (also its attributes), the driver's error codes and texts, and
// the storage card commands with the byte ranges they cover.
#ifndef TAGDRV_PCSC_SETTINGS_H
#define TAGDRV_PCSC_SETTINGS_H

#include <cstdint>
#include <string>
#include <vector>

#include "sim/field_file.h"

namespace tagdrv::pcsc {

// The driver's own error codes.  A status word SW the tag answered is
// reported as SwCode(SW).
enum : int32_t {
  kErrRange = -1,             // field outside tag memory or the slot buffer
  kErrBadArgument = -50,
  kErrUnknownAttribute = -60,
  kErrBadValue = -61,         // a setting or attribute value that cannot be used
  kErrNoPcsc = -300,          // no PC/SC library on the machine
  kErrNoService = -301,       // the PC/SC service is not running
  kErrNoReader = -302,        // no PC/SC reader matches the pattern
  kErrReaderGone = -303,      // the reader went away
  kErrTagRemoved = -304,      // the tag left the reader
  kErrTimeout = -305,
  kErrPcsc = -306,            // any other PC/SC failure
  kErrShortAnswer = -307,     // an answer without a status word
  kErrTagReset = -308,        // another program reset the tag
};
constexpr int32_t kSwBase = 0x10000;
constexpr int32_t SwCode(uint16_t sw) { return -(kSwBase + sw); }
// The fixed text of a code; false when it has none.
bool FixedErrorText(int32_t code, std::string &text);

enum class UidOrder { kAuto, kLsbFirst, kMsbFirst };

struct Profile {
  const char *name;
  bool byteAddressing;  // P1 P2 hold a byte address rather than a block number
  uint32_t blockSize;
  UidOrder uidOrder;
};
const std::vector<Profile> &Profiles();

struct Settings {
  std::string profile = "generic";
  std::string reader = "*";        // pattern of the PC/SC reader names
  bool byteAddressing = false;
  uint32_t blockSize = 4;
  UidOrder uidOrder = UidOrder::kAuto;
  // Where the SWTT identifier lies, as the simulated tags keep it; 0 bytes:
  // the tags carry none.
  uint32_t swttAddress = static_cast<uint32_t>(kSwttAddress), swttBytes = static_cast<uint32_t>(kSwttBytes);
  uint32_t timeoutMs = 2000;
  uint32_t memorySize = 0;         // 0: the tag tells where its memory ends
  std::string tagType;             // empty: from the UID
};

// The setting names, in the order Apply takes them from a section.
const std::vector<std::string> &SettingNames();
// Sets one pcsc.* setting from its text (a profile also sets the values it
// stands for); false with a text when the name or the value is not good.
// The name is compared without regard to case.
bool Apply(Settings &s, const std::string &name, const std::string &value, std::string &error);
// The text of a setting; false when there is no such setting.
bool Describe(const Settings &s, const std::string &name, std::string &value);

// Whether a reader name matches a pattern of * and ? wildcards, without
// regard to case.
bool Matches(const std::string &pattern, const std::string &name);

// One storage card command and the bytes of tag memory it covers.
struct Chunk {
  uint32_t first, end;  // the field's bytes [first, end) within this unit
  uint32_t unitStart;   // tag address of the block (block addressing)
  uint16_t p1p2;        // block number or byte address
  uint8_t length;       // Le or Lc (0 stands for 256)
  bool whole;           // the command covers exactly the field's bytes
};
// The commands that cover [start, start + length); false when an address
// does not fit into P1 P2.
bool PlanChunks(const Settings &s, uint32_t start, uint32_t length, std::vector<Chunk> &out);

// The identifier as the library shows it, most significant byte first,
// from the bytes the reader gave, and the hardware type text.
void TagIdFromUid(UidOrder order, const uint8_t *uid, size_t n, uint8_t id[8]);
std::string TagTypeOf(const Settings &s, const uint8_t id[8]);

}  // namespace tagdrv::pcsc

#endif
