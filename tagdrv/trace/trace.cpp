// Writing driver calls as JSON lines.
#include "trace/trace.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>

#include "backend.h"

namespace tagdrv {

struct TraceFile {
  std::FILE *out = nullptr;
  std::mutex lock;
  uint64_t sequence = 0;  // guarded by lock: lines are numbered in the order they are written
};

namespace {

std::mutex g_filesLock;
std::map<std::string, std::unique_ptr<TraceFile>> &Files() {
  // Never destroyed: a reader may still trace while the process exits.
  static auto *files = new std::map<std::string, std::unique_ptr<TraceFile>>;
  return *files;
}

int64_t NowUs() {
  static const auto origin = std::chrono::steady_clock::now();
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - origin).count();
}

// Threads numbered 1, 2, ... in the order they first trace.
int ThreadNumber() {
  static std::atomic<int> next{0};
  thread_local int number = ++next;
  return number;
}

void AppendJsonString(std::string &out, const char *text, size_t n) {
  static const char kHex[] = "0123456789abcdef";
  out += '"';
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7F) {
      // Driver text is 8-bit in the system code page: every byte outside
      // ASCII is written as the character of that byte value, so that the
      // line stays valid UTF-8 JSON whatever the code page.
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
}

std::string Hex(const uint8_t *bytes, size_t n) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string s;
  s.reserve(2 * n);
  for (size_t i = 0; i < n; ++i) {
    s += kHex[bytes[i] >> 4];
    s += kHex[bytes[i] & 15];
  }
  return s;
}

void Key(std::string &out, const char *key) {
  if (out.back() != '{' && out.back() != '[') out += ',';
  out += '"';
  out += key;
  out += "\":";
}

std::string BoundedText(const char *text, size_t size) {
  size_t n = 0;
  while (n < size && text[n]) ++n;
  return std::string(text, n);
}

// The tags a read or write handles: from firstTag below tagCount (and the
// capacity), selected (0).
uint32_t RangeEnd(const RfidControl *c) { return c->tagCount < c->tagCapacity ? c->tagCount : c->tagCapacity; }
bool Handled(const RfidControl *c, uint32_t t) { return c->tagSelected && c->tagSelected[t] == 0; }
uint32_t SlotCount(const RfidControl *c) { return c->slotCount < TAGDRV_MAX_SLOTS ? c->slotCount : TAGDRV_MAX_SLOTS; }

// A slot's bytes for tag t, "" when its area is not within the buffer.
std::string SlotBytes(const RfidControl *c, uint32_t slot, uint32_t t) {
  const SlotDescriptor &d = c->slotDesc[slot][t];
  long offset = SlotAreaOffset(c, slot, t);
  if (!c->slotData || !c->slotData[slot] || offset < 0 || d.length < 0 ||
      offset + d.length > TAGDRV_SLOT_DATA_SIZE)
    return "";
  return Hex(c->slotData[slot] + offset, static_cast<size_t>(d.length));
}

}  // namespace

TraceFile *OpenTraceFile(const std::string &path, std::string &error) {
  std::lock_guard<std::mutex> g(g_filesLock);
  auto &files = Files();
  auto it = files.find(path);
  if (it != files.end()) return it->second.get();
  std::FILE *out = std::fopen(path.c_str(), "ab");
  if (!out) {
    error = "trace file cannot be written: " + path;
    return nullptr;
  }
  auto file = std::make_unique<TraceFile>();
  file->out = out;
  return (files[path] = std::move(file)).get();
}

void TraceBegin(TraceCall &call, TraceFile *file, const TraceOptions &options, const char *function,
                const void *handle, const std::string &reader) {
  call.file = file;
  call.options = options;
  call.startUs = NowUs();
  call.line = "{";
  // The sequence number is given when the line is written; its place is
  // kept first.
  Key(call.line, "fn");
  AppendJsonString(call.line, function, std::char_traits<char>::length(function));
  if (!options.diffable) {
    TraceInt(call, "thread", ThreadNumber());
    TraceInt(call, "t", call.startUs);
    if (handle) TraceHandle(call, handle);
  }
  TraceText(call, "reader", reader);
}

void TraceHandle(TraceCall &call, const void *handle) {
  if (call.options.diffable) return;
  char text[32];
  std::snprintf(text, sizeof text, "%p", handle);
  TraceText(call, "handle", text);
}

void TraceInt(TraceCall &call, const char *key, int64_t value) {
  Key(call.line, key);
  call.line += std::to_string(value);
}

void TraceText(TraceCall &call, const char *key, const std::string &text) {
  Key(call.line, key);
  AppendJsonString(call.line, text.data(), text.size());
}

void TraceRequest(TraceCall &call, const RfidControl *c, bool write) {
  if (!c) return;
  TraceInt(call, "opCode", c->opCode);
  TraceInt(call, "firstTag", c->firstTag);
  TraceInt(call, "tagCount", c->tagCount);
  TraceInt(call, "slotCount", c->slotCount);
  call.slots = SlotCount(c);
  call.written.clear();
  if (!write || !c->slotDesc) return;
  const uint32_t end = RangeEnd(c);
  call.written.resize(static_cast<size_t>(end) * call.slots);
  for (uint32_t t = c->firstTag; t < end; ++t)
    if (Handled(c, t))
      for (uint32_t k = 0; k < call.slots; ++k) call.written[static_cast<size_t>(t) * call.slots + k] = SlotBytes(c, k, t);
}

void TraceAnswer(TraceCall &call, const RfidControl *c, int32_t result, const std::string &errorText, bool identify,
                 bool read) {
  TraceInt(call, "ret", result);
  if (!c) return;
  TraceInt(call, "driverError", c->driverError);
  if (c->driverError) TraceText(call, "errorText", errorText);
  TraceInt(call, "foundCount", c->foundCount);
  if (!c->tagTable) return;
  std::string &out = call.line;
  Key(out, "tags");
  out += '[';
  if (identify) {
    const uint32_t found = c->foundCount < c->tagCapacity ? c->foundCount : c->tagCapacity;
    for (uint32_t t = 0; t < found; ++t) {
      const TagRecord &tag = c->tagTable[t];
      out += '{';
      TraceInt(call, "index", t);
      TraceText(call, "id", Hex(tag.id, 8));
      if (tag.info) {
        TraceText(call, "swtt", BoundedText(tag.info->swtt, sizeof tag.info->swtt));
        TraceText(call, "type", BoundedText(tag.info->tagType, sizeof tag.info->tagType));
        TraceInt(call, "antenna", tag.info->antenna);
      }
      if (c->tagStatus) TraceInt(call, "status", c->tagStatus[t]);
      out += '}';
      if (t + 1 < found) out += ',';
    }
  } else if (c->slotDesc) {
    const uint32_t end = RangeEnd(c);
    bool first = true;
    for (uint32_t t = c->firstTag; t < end; ++t) {
      if (!Handled(c, t)) continue;
      if (!first) out += ',';
      first = false;
      out += '{';
      TraceInt(call, "index", t);
      TraceText(call, "id", Hex(c->tagTable[t].id, 8));
      if (c->tagStatus) TraceInt(call, "status", c->tagStatus[t]);
      Key(out, "fields");
      out += '[';
      for (uint32_t k = 0; k < call.slots; ++k) {
        const SlotDescriptor &d = c->slotDesc[k][t];
        if (k) out += ',';
        out += '{';
        TraceInt(call, "slot", k);
        TraceInt(call, "start", d.start);
        TraceInt(call, "length", d.length);
        TraceInt(call, "kind", d.kind);
        const int32_t status = c->fieldStatus && c->fieldStatus[k] ? c->fieldStatus[k][t] : 0;
        TraceInt(call, "status", status);
        if (!call.options.hideData) {
          if (read && status == 0) TraceText(call, "data", SlotBytes(c, k, t));
          else if (!read && static_cast<size_t>(t) * call.slots + k < call.written.size())
            TraceText(call, "data", call.written[static_cast<size_t>(t) * call.slots + k]);
        }
        out += '}';
      }
      out += "]}";
    }
  }
  out += ']';
}

void TraceEnd(TraceCall &call) {
  if (!call.file) return;
  if (!call.options.diffable) TraceInt(call, "dur", NowUs() - call.startUs);
  call.line += "}\n";
  std::lock_guard<std::mutex> g(call.file->lock);
  // The sequence number goes first, so that a line reads in the order of
  // the calls.
  std::string line = "{\"seq\":" + std::to_string(++call.file->sequence) + "," + call.line.substr(1);
  std::fputs(line.c_str(), call.file->out);
  std::fflush(call.file->out);
}

}  // namespace tagdrv
