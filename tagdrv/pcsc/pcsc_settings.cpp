#include "pcsc/pcsc_settings.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace tagdrv::pcsc {
namespace {

std::string Lower(std::string s) {
  for (char &c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string Trimmed(const std::string &s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return std::string();
  return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

// A decimal number from min to max, the whole text.
bool Number(const std::string &text, uint32_t min, uint32_t max, uint32_t &out) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  unsigned long v = std::strtoul(text.c_str(), nullptr, 10);
  if (v < min || v > max) return false;
  out = static_cast<uint32_t>(v);
  return true;
}

const char *OrderName(UidOrder o) {
  return o == UidOrder::kLsbFirst ? "lsb" : o == UidOrder::kMsbFirst ? "msb" : "auto";
}

struct SwText {
  uint16_t sw;
  const char *text;
};
// What storage card readers mean by the status words they give.
constexpr SwText kSwTexts[] = {
    {0x6281, "6281: part of the data may be corrupted"},
    {0x6282, "6282: end of memory reached before Le bytes"},
    {0x6300, "6300: the tag did not answer or the operation failed"},
    {0x6581, "6581: memory failure (the block was not written)"},
    {0x6700, "6700: wrong length"},
    {0x6981, "6981: command incompatible with the tag"},
    {0x6982, "6982: security status not satisfied (the block is locked)"},
    {0x6986, "6986: command not allowed"},
    {0x6A81, "6A81: function not supported"},
    {0x6A82, "6A82: address past the end of the tag memory"},
    {0x6B00, "6B00: wrong parameters P1 P2"},
    {0x6D00, "6D00: instruction not supported"},
    {0x6E00, "6E00: class not supported"},
};

struct FixedText {
  int32_t code;
  const char *text;
};
constexpr FixedText kTexts[] = {
    {kErrRange, "Field outside tag memory or the slot buffer"},
    {kErrBadArgument, "Invalid request"},
    {kErrUnknownAttribute, "Unknown attribute"},
    {kErrBadValue, "Invalid attribute value"},
    {kErrNoPcsc, "PC/SC is not available: libpcsclite.so.1 not found"},
    {kErrNoService, "PC/SC service not running"},
    {kErrNoReader, "No PC/SC reader matches the reader pattern"},
    {kErrReaderGone, "PC/SC reader unplugged"},
    {kErrTagRemoved, "Tag removed from the reader"},
    {kErrTimeout, "PC/SC time-out"},
    {kErrPcsc, "PC/SC call failed"},
    {kErrShortAnswer, "Tag answer without a status word"},
    {kErrTagReset, "Tag reset by another program"},
};

}  // namespace

bool FixedErrorText(int32_t code, std::string &text) {
  for (const FixedText &t : kTexts)
    if (t.code == code) {
      text = t.text;
      return true;
    }
  if (code <= -kSwBase && code > -kSwBase - 0x10000) {
    const auto sw = static_cast<uint16_t>(-code - kSwBase);
    for (const SwText &t : kSwTexts)
      if (t.sw == sw) {
        text = t.text;
        return true;
      }
    char b[64];
    std::snprintf(b, sizeof b, "%04X: unexpected status from the tag", sw);
    text = b;
    return true;
  }
  return false;
}

const std::vector<Profile> &Profiles() {
  // Block numbers in P1 P2 (part 3 of PC/SC for ISO 15693), by block size;
  // byte addresses in P1 P2.
  static const std::vector<Profile> profiles = {
      {"generic", false, 4, UidOrder::kAuto},
      {"generic8", false, 8, UidOrder::kAuto},
      {"byte", true, 4, UidOrder::kMsbFirst},
  };
  return profiles;
}

const std::vector<std::string> &SettingNames() {
  static const std::vector<std::string> names = {"pcsc.profile",  "pcsc.reader",   "pcsc.addressing",
                                                 "pcsc.blocksize", "pcsc.uidorder", "pcsc.swtt",
                                                 "pcsc.timeout",  "pcsc.memsize",  "pcsc.tagtype"};
  return names;
}

bool Apply(Settings &s, const std::string &rawName, const std::string &rawValue, std::string &error) {
  const std::string name = Lower(rawName), value = Trimmed(rawValue), lower = Lower(value);
  auto bad = [&](const char *what) {
    error = "Invalid value \"" + value + "\" for " + name + ": " + what;
    return false;
  };
  if (name == "pcsc.profile") {
    for (const Profile &p : Profiles())
      if (lower == p.name) {
        s.profile = p.name;
        s.byteAddressing = p.byteAddressing;
        s.blockSize = p.blockSize;
        s.uidOrder = p.uidOrder;
        return true;
      }
    std::string known;
    for (const Profile &p : Profiles()) known += std::string(known.empty() ? "" : ", ") + p.name;
    error = "Unknown profile \"" + value + "\" (known: " + known + ")";
    return false;
  }
  if (name == "pcsc.reader") {
    if (value.empty()) return bad("a reader name pattern");
    s.reader = value;
  } else if (name == "pcsc.addressing") {
    if (lower != "block" && lower != "byte") return bad("block or byte");
    s.byteAddressing = lower == "byte";
  } else if (name == "pcsc.blocksize") {
    if (!Number(value, 1, 128, s.blockSize)) return bad("1 to 128 bytes");
  } else if (name == "pcsc.uidorder") {
    if (lower == "auto") s.uidOrder = UidOrder::kAuto;
    else if (lower == "lsb") s.uidOrder = UidOrder::kLsbFirst;
    else if (lower == "msb") s.uidOrder = UidOrder::kMsbFirst;
    else return bad("auto, lsb or msb");
  } else if (name == "pcsc.swtt") {
    if (lower == "none") {
      s.swttBytes = 0;
      return true;
    }
    size_t comma = value.find(',');
    uint32_t address, bytes;
    if (comma == std::string::npos || !Number(Trimmed(value.substr(0, comma)), 0, 0xFFFFFF, address) ||
        !Number(Trimmed(value.substr(comma + 1)), 1, 6, bytes))
      return bad("address,bytes with 1 to 6 bytes, or none");
    s.swttAddress = address;
    s.swttBytes = bytes;
  } else if (name == "pcsc.timeout") {
    if (!Number(value, 1, 600000, s.timeoutMs)) return bad("1 to 600000 ms");
  } else if (name == "pcsc.memsize") {
    if (!Number(value, 0, 0x1000000, s.memorySize)) return bad("a byte count, 0 for the tag's own");
  } else if (name == "pcsc.tagtype") {
    if (value.size() > 4) return bad("at most 4 characters");
    s.tagType = value;
  } else {
    error = "Unknown setting " + name;
    return false;
  }
  return true;
}

bool Describe(const Settings &s, const std::string &rawName, std::string &value) {
  const std::string name = Lower(rawName);
  if (name == "pcsc.profile") value = s.profile;
  else if (name == "pcsc.reader") value = s.reader;
  else if (name == "pcsc.addressing") value = s.byteAddressing ? "byte" : "block";
  else if (name == "pcsc.blocksize") value = std::to_string(s.blockSize);
  else if (name == "pcsc.uidorder") value = OrderName(s.uidOrder);
  else if (name == "pcsc.swtt")
    value = s.swttBytes ? std::to_string(s.swttAddress) + "," + std::to_string(s.swttBytes) : "none";
  else if (name == "pcsc.timeout") value = std::to_string(s.timeoutMs);
  else if (name == "pcsc.memsize") value = std::to_string(s.memorySize);
  else if (name == "pcsc.tagtype") value = s.tagType;
  else return false;
  return true;
}

bool Matches(const std::string &pattern, const std::string &name) {
  auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  // The usual greedy match with one point to go back to: the last '*'.
  size_t p = 0, n = 0, star = std::string::npos, mark = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || fold(pattern[p]) == fold(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = n;
    } else if (star != std::string::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool PlanChunks(const Settings &s, uint32_t start, uint32_t length, std::vector<Chunk> &out) {
  out.clear();
  const uint32_t bs = s.blockSize, end = start + length;
  for (uint32_t unit = start / bs * bs; unit < end; unit += bs) {
    Chunk c;
    c.unitStart = unit;
    c.first = std::max(start, unit);
    c.end = std::min(end, unit + bs);
    if (s.byteAddressing) {
      if (c.first > 0xFFFF) return false;
      c.p1p2 = static_cast<uint16_t>(c.first);
      c.length = static_cast<uint8_t>(c.end - c.first);
      c.whole = true;
    } else {
      if (unit / bs > 0xFFFF) return false;
      c.p1p2 = static_cast<uint16_t>(unit / bs);
      c.length = static_cast<uint8_t>(bs);
      c.whole = c.first == unit && c.end == unit + bs;
    }
    out.push_back(c);
  }
  return true;
}

void TagIdFromUid(UidOrder order, const uint8_t *uid, size_t n, uint8_t id[8]) {
  std::fill(id, id + 8, 0);
  n = std::min<size_t>(n, 8);
  // ISO 15693 identifiers begin with E0; a reader that sends the least
  // significant byte first puts it last.
  bool reverse = order == UidOrder::kLsbFirst ||
                 (order == UidOrder::kAuto && n == 8 && uid[7] == 0xE0 && uid[0] != 0xE0);
  for (size_t i = 0; i < n; ++i) id[i] = reverse ? uid[n - 1 - i] : uid[i];
}

std::string TagTypeOf(const Settings &s, const uint8_t id[8]) {
  if (!s.tagType.empty()) return s.tagType;
  if (id[0] != 0xE0) return "SC";
  // ISO 15693 and the IC manufacturer's code from the identifier.
  char b[8];
  std::snprintf(b, sizeof b, "15%02X", id[1]);
  return b;
}

}  // namespace tagdrv::pcsc
