// volneda trace: a driver trace (JSON lines, written by the driver host for
// a reader with `trace = FILE`) as a readable table, passed through as
// JSON, or turned into a tag field file that the simulated reader replays.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "console.h"
#include "text.h"
#include "tool.h"

namespace cli {
namespace {

using nlohmann::json;

constexpr size_t kTagMemory = 256;  // the simulated reader's tag memory

std::string Str(const json &j, const char *key) {
  auto it = j.find(key);
  return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
}
long long Int(const json &j, const char *key, long long fallback = 0) {
  auto it = j.find(key);
  return it != j.end() && it->is_number_integer() ? it->get<long long>() : fallback;
}

// What was asked, in a few words.
std::string Request(const json &c) {
  const std::string fn = Str(c, "fn");
  if (fn == "G4Open") return Str(c, "backend").empty() ? "" : "backend " + Str(c, "backend");
  if (fn == "G4SetAttr") return Str(c, "name") + " = " + Str(c, "value");
  if (fn == "G4GetAttr") return Str(c, "name");
  if (fn == "G4GetErrorString") return "code " + std::to_string(Int(c, "code"));
  if (fn == "G4Identify" || fn == "G4Read" || fn == "G4Write") {
    std::string r = "tags " + std::to_string(Int(c, "firstTag")) + ".." + std::to_string(Int(c, "tagCount"));
    if (fn != "G4Identify") r += ", " + std::to_string(Int(c, "slotCount")) + " slots";
    return r;
  }
  return "";
}

// What came back, in a line.
std::string Answer(const json &c) {
  const std::string fn = Str(c, "fn");
  std::string a;
  auto add = [&](const std::string &part) { a += (a.empty() ? "" : ", ") + part; };
  if (c.contains("ret") && fn != "RFIDAllocateControl") add("ret " + std::to_string(Int(c, "ret")));
  if (c.contains("status")) add("status " + std::to_string(Int(c, "status")));
  if (c.contains("driverError") && Int(c, "driverError")) add("driverError " + std::to_string(Int(c, "driverError")));
  if (!Str(c, "errorText").empty()) add("\"" + Str(c, "errorText") + "\"");
  if (fn == "G4Open" && !Str(c, "version").empty()) add("version " + Str(c, "version"));
  if (fn == "G4GetAttr" && c.contains("value")) add("= " + Str(c, "value"));
  if (fn == "G4GetErrorString" && c.contains("text")) add("\"" + Str(c, "text") + "\"");
  if (!c.contains("tags")) return a;
  if (fn == "G4Identify") {
    add(std::to_string(c["tags"].size()) + " found");
    for (const json &t : c["tags"]) {
      std::string tag = Str(t, "id") + " " + Str(t, "swtt") + " ant " + std::to_string(Int(t, "antenna"));
      if (Int(t, "status")) tag += " status " + std::to_string(Int(t, "status"));
      add(tag);
    }
    return a;
  }
  for (const json &t : c["tags"]) {
    std::string tag = Str(t, "id") + ":";
    if (Int(t, "status")) tag += " status " + std::to_string(Int(t, "status"));
    for (const json &f : t.value("fields", json::array())) {
      tag += " [" + std::to_string(Int(f, "start")) + "+" + std::to_string(Int(f, "length")) + "]";
      if (Int(f, "status")) tag += " status " + std::to_string(Int(f, "status"));
      else if (f.contains("data")) tag += " " + Str(f, "data");
    }
    add(tag);
  }
  return a;
}

struct Totals {
  long long calls = 0, us = 0, maxUs = 0;
};

int Table(const std::vector<json> &calls) {
  std::map<std::string, Totals> totals;
  std::printf("%6s  %10s  %8s  %-10s  %-22s  %s\n", "seq", "time(us)", "dur(us)", "reader", "call", "answer");
  for (const json &c : calls) {
    const std::string fn = Str(c, "fn");
    std::string call = fn;
    const std::string request = Request(c);
    if (!request.empty()) call += " " + request;
    std::string time = c.contains("t") ? std::to_string(Int(c, "t")) : "-";
    std::string dur = c.contains("dur") ? std::to_string(Int(c, "dur")) : "-";
    std::printf("%6lld  %10s  %8s  %-10s  %-22s  %s\n", Int(c, "seq"), time.c_str(), dur.c_str(),
                Str(c, "reader").c_str(), call.c_str(), Answer(c).c_str());
    Totals &t = totals[fn];
    ++t.calls;
    t.us += Int(c, "dur");
    t.maxUs = std::max(t.maxUs, Int(c, "dur"));
  }
  std::printf("\n%-22s  %6s  %10s  %9s  %8s\n", "function", "calls", "total(us)", "mean(us)", "max(us)");
  for (const auto &[fn, t] : totals)
    std::printf("%-22s  %6lld  %10lld  %9.1f  %8lld\n", fn.c_str(), t.calls, t.us,
                t.calls ? static_cast<double>(t.us) / t.calls : 0.0, t.maxUs);
  return kExitOk;
}

// One tag as a recorded session saw it.
enum : uint8_t { kRead = 1, kWritten = 2 };

struct SeenTag {
  std::string reader, id, swtt, type;
  long long antenna = 0, status = 0;
  std::set<long long> rounds;
  uint8_t memory[kTagMemory] = {};
  // Per byte: 0 not seen, kRead its value read (the first read kept),
  // kWritten written before any read (the replay writes it again).
  uint8_t seen[kTagMemory] = {};
  std::map<long long, long long> failing;  // address -> field status
};

struct SeenReader {
  std::string name, version;
  std::map<std::string, std::string> attributes;
  long long round = 0;              // the identify rounds of the current open
  std::set<long long> rounds;       // every round any open had
  std::vector<std::string> order;   // tag ids in the order first seen
};

std::vector<uint8_t> Bytes(const std::string &hex) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  return out;
}

// A list of rounds as the tag field's present key writes it: 1-3, 5.
std::string Ranges(const std::set<long long> &rounds) {
  std::string out;
  for (auto it = rounds.begin(); it != rounds.end();) {
    long long first = *it, last = first;
    while (++it != rounds.end() && *it == last + 1) last = *it;
    out += (out.empty() ? "" : ", ") + std::to_string(first) + (last > first ? "-" + std::to_string(last) : "");
  }
  return out;
}

int ToField(const std::vector<json> &calls, const std::string &file) {
  std::map<std::string, SeenReader> readers;
  std::vector<std::string> readerOrder;
  std::map<std::string, SeenTag> tags;  // by reader + id
  auto tagOf = [&](SeenReader &r, const std::string &id) -> SeenTag & {
    const std::string key = r.name + ":" + id;
    auto it = tags.find(key);
    if (it == tags.end()) {
      r.order.push_back(id);
      it = tags.emplace(key, SeenTag{}).first;
      it->second.reader = r.name;
      it->second.id = id;
    }
    return it->second;
  };
  for (const json &c : calls) {
    const std::string fn = Str(c, "fn"), name = Str(c, "reader");
    if (!readers.count(name)) readerOrder.push_back(name);
    SeenReader &r = readers[name];
    r.name = name;
    if (fn == "G4Open") {
      if (!Str(c, "version").empty()) r.version = Str(c, "version");
      r.round = 0;  // the simulated reader counts rounds from each open
    } else if (fn == "G4GetAttr" && Int(c, "status", -1) == 0) {
      r.attributes.emplace(Str(c, "name"), Str(c, "value"));
    } else if (fn == "G4Identify" && Int(c, "ret", -1) == 0) {
      r.rounds.insert(++r.round);
      for (const json &t : c.value("tags", json::array())) {
        SeenTag &tag = tagOf(r, Str(t, "id"));
        if (tag.rounds.empty()) {
          tag.swtt = Str(t, "swtt");
          tag.type = Str(t, "type");
          tag.antenna = Int(t, "antenna");
          tag.status = Int(t, "status");
        }
        tag.rounds.insert(r.round);
      }
    } else if ((fn == "G4Read" || fn == "G4Write") && Int(c, "ret", -1) == 0) {
      for (const json &t : c.value("tags", json::array())) {
        SeenTag &tag = tagOf(r, Str(t, "id"));
        for (const json &f : t.value("fields", json::array())) {
          const long long start = Int(f, "start"), length = Int(f, "length"), status = Int(f, "status");
          if (start < 0 || length <= 0 || start + length > static_cast<long long>(kTagMemory)) continue;
          // A field that failed on its own (not for lying outside memory,
          // which the simulated reader finds by itself) fails again.
          if (status < 0 && status != -1) tag.failing.emplace(start, status);
          if (status != 0) continue;
          std::vector<uint8_t> data = fn == "G4Read" ? Bytes(Str(f, "data")) : std::vector<uint8_t>();
          for (long long i = 0; i < length; ++i) {
            const size_t a = static_cast<size_t>(start + i);
            if (tag.seen[a]) continue;
            // The first read of a byte is what the tag held; a byte first
            // written needs no value: the replay writes it again.
            if (fn == "G4Write") {
              tag.seen[a] = kWritten;
            } else if (static_cast<size_t>(i) < data.size()) {
              tag.memory[a] = data[i];
              tag.seen[a] = kRead;
            }
          }
        }
      }
    }
  }
  std::string out = "; Tag field recorded in the driver trace " + file + " (volneda trace --to-field).\n"
                    "; Replays the same identify and read results on the simulated reader.\n";
  for (const std::string &name : readerOrder) {
    const SeenReader &r = readers[name];
    out += "\n[reader " + name + "]\n";
    if (!r.version.empty()) out += "version = " + r.version + "\n";
    for (const auto &[key, value] : r.attributes) out += "attr." + key + " = " + value + "\n";
  }
  for (const std::string &name : readerOrder) {
    const SeenReader &r = readers[name];
    for (const std::string &id : r.order) {
      const SeenTag &t = tags.at(name + ":" + id);
      out += "\n[tag " + name + ":" + id + "]\nreader = " + name + "\nid = " + id + "\n";
      if (!t.swtt.empty()) out += "swtt = " + t.swtt + "\n";
      if (!t.type.empty()) out += "type = " + t.type + "\n";
      if (t.antenna) out += "antenna = " + std::to_string(t.antenna) + "\n";
      if (t.status) out += "status = " + std::to_string(t.status) + "\n";
      // A tag seen in every round needs no present key.
      if (t.rounds != r.rounds && !t.rounds.empty()) out += "present = " + Ranges(t.rounds) + "\n";
      if (!t.failing.empty()) {
        std::string addresses;
        for (const auto &[address, status] : t.failing) addresses += (addresses.empty() ? "" : ",") + std::to_string(address);
        out += "failaddress = " + addresses + "\nfielderror = " + std::to_string(t.failing.begin()->second) + "\n";
      }
      // The bytes that were read, as runs of mem.ADDR lines.
      for (size_t a = 0; a < kTagMemory;) {
        if (t.seen[a] != kRead) {
          ++a;
          continue;
        }
        size_t b = a;
        std::string hex;
        static const char kHex[] = "0123456789ABCDEF";
        for (; b < kTagMemory && t.seen[b] == kRead; ++b) {
          hex += kHex[t.memory[b] >> 4];
          hex += kHex[t.memory[b] & 15];
        }
        out += "mem." + std::to_string(a) + " = " + hex + "\n";
        a = b;
      }
    }
  }
  Emit(stdout, out);
  return kExitOk;
}

// A trace is read whole; one bigger than this is not a session to read as
// a table, and a device or a pipe is no trace at all.
constexpr uintmax_t kMaxTraceBytes = uintmax_t(512) << 20;

bool ReadTrace(const std::string &path, std::string &text, std::string &error) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status st = fs::status(path, ec);
  if (ec || !fs::exists(st)) error = "trace file not found: " + path;
  else if (!fs::is_regular_file(st)) error = "not a regular file: " + path;
  else if (fs::file_size(path, ec) > kMaxTraceBytes || ec) error = "trace file larger than 512 MiB: " + path;
  if (!error.empty()) return false;
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  text = all.str();
  if (!in) error = "trace file cannot be read: " + path;
  return error.empty();
}

}  // namespace

int Trace(const Options &opt, const std::vector<std::string> &args) {
  if (args.size() != 1) {
    Emit(stderr, "volneda: trace needs one trace file (volneda trace --help)\n");
    return kExitUsage;
  }
  std::string text;
  std::string error;
  if (!ReadTrace(args[0], text, error)) {
    Emit(stderr, "volneda: " + error + "\n");
    return kExitFailed;
  }
  if (opt.format == Format::kJson && opt.formatGiven && !opt.toField) {
    Emit(stdout, text);
    return kExitOk;
  }
  std::vector<json> calls;
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    json call = json::parse(line, nullptr, false);
    if (call.is_discarded() || !call.is_object()) {
      Emit(stderr, "volneda: " + args[0] + ":" + std::to_string(number) + ": not a trace line\n");
      return kExitFailed;
    }
    calls.push_back(std::move(call));
  }
  return opt.toField ? ToField(calls, args[0]) : Table(calls);
}

}  // namespace cli
