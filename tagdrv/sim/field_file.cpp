#include "field_file.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/decimal.h"

namespace tagdrv {

std::string Trim(const std::string &s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return std::string();
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

bool PresentIn(const SimTag &tag, uint64_t round) {
  if (tag.everPresent) return true;
  for (const auto &r : tag.present)
    if (round >= r.first && round <= r.second) return true;
  return false;
}

std::string SwttOf(const SimTag &tag) {
  if (!tag.swtt.empty()) return tag.swtt;
  std::string out;
  char b[3];
  for (size_t i = 0; i < kSwttBytes; ++i) {
    std::snprintf(b, sizeof b, "%02X", tag.memory[kSwttAddress + i]);
    out += b;
  }
  return out;
}

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Hex digit pairs, blanks ignored, into memory from address on; bytes past
// the end of memory are dropped.
void PutHex(uint8_t *memory, size_t address, const std::string &digits) {
  int high = -1;
  for (char c : digits) {
    int d = HexDigit(c);
    if (d < 0) continue;
    if (high < 0) {
      high = d;
      continue;
    }
    if (address < kMemorySize) memory[address] = static_cast<uint8_t>(high * 16 + d);
    ++address;
    high = -1;
  }
}

std::string Lower(std::string s) {
  for (char &c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// "3-10, 15-, 20, -2": inclusive ranges of rounds; an open end reaches
// the last round there is.  Items that are not of these forms are skipped.
void ParseRounds(const std::string &value, std::vector<std::pair<uint64_t, uint64_t>> &out) {
  std::stringstream ss(value);
  std::string item;
  while (std::getline(ss, item, ',')) {
    item = Trim(item);
    size_t dash = item.find('-');
    std::string from = Trim(item.substr(0, dash));
    std::string to = dash == std::string::npos ? from : Trim(item.substr(dash + 1));
    auto number = [](const std::string &t, uint64_t open, uint64_t &n) {
      if (t.empty()) {
        n = open;
        return true;
      }
      if (t.find_first_not_of("0123456789") != std::string::npos || t.size() > 18) return false;
      n = std::stoull(t);
      return true;
    };
    uint64_t a, b;
    if (item.empty() || item == "-" || !number(from, 1, a) || !number(to, UINT64_MAX, b) || a > b) continue;
    out.emplace_back(a, b);
  }
}

LoadResult ReadLines(const std::string &path, std::vector<std::string> &lines) {
  // Looked at before it is opened: opening a named pipe would wait for a
  // writer.  What cannot be looked at is left to the open to refuse.
  try {
    std::error_code ec;
    const std::filesystem::path p(path);
    auto st = std::filesystem::status(p, ec);
    if (!ec && std::filesystem::exists(st)) {
      if (!std::filesystem::is_regular_file(st)) return LoadResult::kNotRegular;
      uintmax_t size = std::filesystem::file_size(p, ec);
      if (!ec && size > kMaxFieldFileBytes) return LoadResult::kTooLarge;
    }
  } catch (const std::exception &) {
    // a name the file system cannot take: the open below fails on it
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return LoadResult::kUnreadable;
  std::string line;
  uintmax_t total = 0;
  while (std::getline(in, line)) {
    // A file that grows while it is read stops at the limit all the same.
    if ((total += line.size() + 1) > kMaxFieldFileBytes + 1) return LoadResult::kTooLarge;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return LoadResult::kOk;
}

// "[kind name]" -> kind, name.
bool Header(const std::string &line, std::string &kind, std::string &name) {
  std::string t = Trim(line);
  if (t.size() < 2 || t.front() != '[' || t.back() != ']') return false;
  t = Trim(t.substr(1, t.size() - 2));
  size_t sp = t.find_first_of(" \t");
  kind = Lower(sp == std::string::npos ? t : t.substr(0, sp));
  name = sp == std::string::npos ? std::string() : Trim(t.substr(sp + 1));
  return true;
}

}  // namespace

LoadResult LoadField(const std::string &path, Field &field) {
  std::vector<std::string> lines;
  if (LoadResult r = ReadLines(path, lines); r != LoadResult::kOk) return r;
  field = Field();
  field.path = path;
  std::string kind;
  SimReader *reader = nullptr;
  SimTag *tag = nullptr;
  std::string tagReader;
  std::vector<std::pair<std::string, SimTag>> pending;  // tags with the reader they belong to
  for (const std::string &raw : lines) {
    std::string line = Trim(raw);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    std::string name;
    if (Header(line, kind, name)) {
      reader = nullptr;
      tag = nullptr;
      if (kind == "reader") {
        field.readers.emplace_back();
        reader = &field.readers.back();
        reader->name = name;
        reader->attributes["RFID_SWTT_FILE_NAME"] = "SWTT.INI";
      } else if (kind == "tag") {
        pending.emplace_back(std::string(), SimTag());
        tag = &pending.back().second;
        tag->section = line;
      }
      continue;
    }
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = Trim(line.substr(0, eq)), value = Trim(line.substr(eq + 1));
    std::string lkey = Lower(key);
    if (kind == "field") {
      if (lkey == "persist") field.persist = value == "1" || Lower(value) == "true" || Lower(value) == "yes";
      if (lkey == "cycle") field.cycle = static_cast<uint64_t>(std::strtoull(value.c_str(), nullptr, 10));
    } else if (reader) {
      if (lkey == "version") {
        unsigned major = 0, minor = 0;
        if (std::sscanf(value.c_str(), "%u.%u", &major, &minor) >= 1) {
          reader->major = major;
          reader->minor = minor;
        }
      } else if (lkey.rfind("attr.", 0) == 0) {
        reader->attributes[key.substr(5)] = value;
      } else if (lkey == "fail.open") {
        reader->openError = DecimalValue(value);
      } else if (lkey == "fail.allocate") {
        reader->allocateError = DecimalValue(value);
      } else if (lkey == "fail.identify") {
        reader->identifyError = DecimalValue(value);
      } else if (lkey == "fail.read") {
        reader->readError = DecimalValue(value);
      } else if (lkey == "fail.write") {
        reader->writeError = DecimalValue(value);
      } else if (lkey == "fail.writereturn") {
        reader->writeReturn = DecimalValue(value);
      }
    } else if (tag) {
      if (lkey == "reader") {
        pending.back().first = value;
      } else if (lkey == "id") {
        uint8_t mem[kMemorySize] = {};
        PutHex(mem, 0, value);
        std::copy(mem, mem + 8, tag->id);
      } else if (lkey == "swtt") {
        tag->swtt = value.substr(0, 12);
        // An identifier of twelve hexadecimal digits also lies in memory,
        // as a tag that had its SWTT written holds it.
        bool hex = tag->swtt.size() == 2 * kSwttBytes;
        for (char c : tag->swtt) hex = hex && HexDigit(c) >= 0;
        if (hex) PutHex(tag->memory, kSwttAddress, tag->swtt);
      } else if (lkey == "type") {
        tag->type = value.substr(0, 4);
      } else if (lkey == "antenna") {
        tag->antenna = static_cast<uint8_t>(DecimalValue(value));
      } else if (lkey == "memory") {
        PutHex(tag->memory, 0, value);
      } else if (lkey.rfind("mem.", 0) == 0) {
        int32_t at = DecimalValue(lkey.c_str() + 4);
        if (at >= 0) PutHex(tag->memory, static_cast<size_t>(at), value);
      } else if (lkey.rfind("text.", 0) == 0) {
        int32_t from = DecimalValue(lkey.c_str() + 5);
        size_t at = from >= 0 ? static_cast<size_t>(from) : kMemorySize;
        for (size_t i = 0; i < value.size() && at + i < kMemorySize; ++i)
          tag->memory[at + i] = static_cast<uint8_t>(value[i]);
      } else if (lkey == "status") {
        tag->status = DecimalValue(value);
      } else if (lkey == "failaddress") {
        std::stringstream ss(value);
        std::string item;
        while (std::getline(ss, item, ',')) tag->failAddresses.insert(DecimalValue(item));
      } else if (lkey == "present") {
        // Given at all, the key limits the tag to the rounds it names (a
        // value without a valid range keeps it out of the field).
        tag->everPresent = false;
        ParseRounds(value, tag->present);
      } else if (lkey == "fielderror") {
        tag->fieldError = DecimalValue(value);
      }
    }
  }
  // Tags name their reader; a tag that names none belongs to the first.
  for (auto &p : pending) {
    SimReader *owner = field.readers.empty() ? nullptr : &field.readers.front();
    for (auto &r : field.readers)
      if (r.name == p.first) owner = &r;
    if (owner) owner->tags.push_back(p.second);
  }
  return LoadResult::kOk;
}

bool SaveMemory(const Field &field) {
  std::vector<std::string> lines;
  if (ReadLines(field.path, lines) != LoadResult::kOk) return false;
  std::ostringstream out;
  const SimTag *tag = nullptr;
  for (const std::string &line : lines) {
    std::string kind, name;
    if (Header(line, kind, name)) {
      tag = nullptr;
      out << line << "\n";
      if (kind == "tag") {
        for (const auto &r : field.readers)
          for (const auto &t : r.tags)
            if (t.section == Trim(line)) tag = &t;
        if (tag) {
          if (!tag->swtt.empty()) out << "swtt = " << tag->swtt << "\n";
          out << "memory =";
          for (size_t i = 0; i < kMemorySize; ++i) {
            char b[4];
            std::snprintf(b, sizeof b, " %02X", tag->memory[i]);
            out << b;
          }
          out << "\n";
        }
      }
      continue;
    }
    if (tag) {
      // The memory line above now holds every byte: drop what it replaces.
      std::string lkey = Lower(Trim(line.substr(0, line.find('='))));
      if (line.find('=') != std::string::npos &&
          (lkey == "memory" || lkey == "swtt" || lkey.rfind("mem.", 0) == 0 || lkey.rfind("text.", 0) == 0))
        continue;
    }
    out << line << "\n";
  }
  std::string tmp = field.path + ".tmp";
  {
    std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
    if (!f) return false;
    f << out.str();
    if (!f) return false;
  }
#if defined(_WIN32)
  // Windows' rename does not replace an existing file.
  std::remove(field.path.c_str());
#endif
  return std::rename(tmp.c_str(), field.path.c_str()) == 0;
}

}  // namespace tagdrv
