// The simulated reader backend: the ten driver functions over readers and
// tags described by a tag field file, so that the library runs end to end
// without hardware.  Faults can be injected from the file or through the
// control interface (tagdrv_control.h), which this file also exports.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "backend.h"
#include "call_count.h"
#include "sim/field_file.h"
#include "tagdrv.h"
#include "tagdrv_control.h"

namespace {

using tagdrv::Backend;
using tagdrv::Field;
using tagdrv::kMemorySize;
using tagdrv::SimReader;
using tagdrv::SimTag;

constexpr uint32_t kTagCapacity = 1000;

// The driver's own error codes.
enum : int32_t {
  kErrRange = -1,            // field outside tag memory or the slot buffer
  kErrFieldAccess = -20,     // default for a failing field
  kErrWriteIncomplete = -30, // some field of some tag was not written
  kErrBadArgument = -50,
  kErrUnknownAttribute = -60,
  kErrNoReader = -100,
  kErrNoFieldFile = -101,
  kErrFieldFileNotRegular = -102,
  kErrFieldFileTooLarge = -103,
};

struct ErrorText {
  int32_t code;
  const char *text;
};
constexpr ErrorText kErrorTexts[] = {
    {kErrRange, "Field outside tag memory"},
    {kErrFieldAccess, "Tag field access failed"},
    {kErrWriteIncomplete, "Write failed on one or more tags"},
    {kErrBadArgument, "Invalid request"},
    {kErrUnknownAttribute, "Unknown attribute"},
    {kErrNoReader, "No such reader in the tag field file: name one of its [reader NAME] sections"},
    {kErrNoFieldFile, "Tag field file cannot be read: set TAGDRV_FIELD to its path (default: tagfield.ini here)"},
    {kErrFieldFileNotRegular, "Tag field file is not a regular file (a pipe or a device): set TAGDRV_FIELD to a file"},
    {kErrFieldFileTooLarge, "Tag field file is larger than 16 MiB: set TAGDRV_FIELD to a smaller one"},
    {-200, "Reader does not answer"},
    {-201, "Antenna fault"},
    {-202, "Radio interference"},
};

// What an open reader holds.
struct SessionState {
  Field field;
  size_t reader = 0;
  uint64_t rounds = 0;  // G4Identify calls since the open
};

// The handle addresses this record, the interface version first, as the
// library reads it.  It stays standard-layout, so that the handle and the
// record are one address.
struct Session {
  G4DriverRecord record = {};
  SessionState *state = new SessionState;
  Session() = default;
  Session(const Session &) = delete;
  Session &operator=(const Session &) = delete;
  ~Session() { delete state; }
  SimReader &Reader() { return state->field.readers[state->reader]; }
};
static_assert(std::is_standard_layout_v<Session>, "the handle is the record");

struct InfoArea {
  TagInfo info;
  uint8_t driverBytes[13];
};

// The per-tag arrays hold kTagCapacity records, or as many as the reader's
// field has tags when that is more (the ABI lets tagCapacity be anything).
struct ControlImpl {
  RfidControl block;  // first: the library sees only this
  TagRecord *tags;
  InfoArea *infos;
  int32_t *selected;
  int32_t *status;
  int32_t *fieldStatus[TAGDRV_MAX_SLOTS];
  uint8_t *slotDataRows[TAGDRV_MAX_SLOTS];
  uint8_t slotData[TAGDRV_MAX_SLOTS][TAGDRV_SLOT_DATA_SIZE];
  SlotDescriptor *desc[TAGDRV_MAX_SLOTS];
  SimTag **simTag;  // which simulated tag each index is
  void *perTag;     // the one allocation behind the arrays above
};

ControlImpl *AllocateImpl(uint32_t capacity) {
  const size_t n = capacity;
  const size_t bytes = n * (sizeof(TagRecord) + sizeof(InfoArea) + 2 * sizeof(int32_t) + sizeof(SimTag *)) +
                       TAGDRV_MAX_SLOTS * n * (sizeof(int32_t) + sizeof(SlotDescriptor));
  auto *c = static_cast<ControlImpl *>(std::calloc(1, sizeof(ControlImpl)));
  void *perTag = c ? std::calloc(1, bytes) : nullptr;
  if (!perTag) {
    std::free(c);
    return nullptr;
  }
  // Widest records first, so that every array is aligned.
  auto *p = static_cast<uint8_t *>(perTag);
  auto take = [&](size_t size) {
    uint8_t *at = p;
    p += size;
    return at;
  };
  for (int i = 0; i < TAGDRV_MAX_SLOTS; ++i) c->desc[i] = reinterpret_cast<SlotDescriptor *>(take(n * sizeof(SlotDescriptor)));
  c->tags = reinterpret_cast<TagRecord *>(take(n * sizeof(TagRecord)));
  c->simTag = reinterpret_cast<SimTag **>(take(n * sizeof(SimTag *)));
  c->infos = reinterpret_cast<InfoArea *>(take(n * sizeof(InfoArea)));
  for (int i = 0; i < TAGDRV_MAX_SLOTS; ++i) c->fieldStatus[i] = reinterpret_cast<int32_t *>(take(n * sizeof(int32_t)));
  c->selected = reinterpret_cast<int32_t *>(take(n * sizeof(int32_t)));
  c->status = reinterpret_cast<int32_t *>(take(n * sizeof(int32_t)));
  c->perTag = perTag;
  c->block.tagCapacity = capacity;
  return c;
}

// Faults set through the control interface, on top of the file's.  Tags
// are named by their 8 identifier bytes.
struct InjectedFieldFault {
  std::string id;
  int32_t address, status;
};
struct Faults {
  std::mutex lock;
  // Tag field files are read at open and rewritten by a persistent write:
  // one at a time, so that no session reads a file half written by another.
  std::mutex files;
  std::string fieldFile;
  bool haveFieldFile = false;
  int32_t value[TAGDRV_FAULT_OPEN_STATUS + 1] = {};
  std::map<std::string, int32_t> tagStatus;
  std::vector<InjectedFieldFault> fieldFaults;
};
Faults &Control() {
  // Built in place and never destroyed: sessions on other threads may
  // still use it while the process exits.
  alignas(Faults) static unsigned char storage[sizeof(Faults)];
  static Faults *f = new (storage) Faults;
  return *f;
}

// What G4Open hands out under TAGDRV_FAULT_OPEN_STATUS: a handle that comes
// with a failing status.  It is no session, and no call may use it.
G4DriverRecord g_refusedOpen = {};

int32_t Fault(int32_t which, int32_t fromFile) {
  std::lock_guard<std::mutex> g(Control().lock);
  int32_t v = Control().value[which];
  return v ? v : fromFile;
}

std::string FieldFilePath(const std::string &configured) {
  if (!configured.empty()) return configured;
  {
    std::lock_guard<std::mutex> g(Control().lock);
    if (Control().haveFieldFile) return Control().fieldFile;
  }
  const char *env = std::getenv("TAGDRV_FIELD");
  return env && *env ? env : "tagfield.ini";
}

std::string IdKey(const uint8_t *id) { return std::string(reinterpret_cast<const char *>(id), 8); }

// 16 hexadecimal digits to the 8 identifier bytes; false when malformed.
bool ParseId(const char *text, std::string &key) {
  if (!text || std::strlen(text) != 16) return false;
  uint8_t id[8];
  for (int i = 0; i < 8; ++i) {
    unsigned v;
    char pair[3] = {text[2 * i], text[2 * i + 1], 0};
    char *end;
    v = static_cast<unsigned>(std::strtoul(pair, &end, 16));
    if (*end) return false;
    id[i] = static_cast<uint8_t>(v);
  }
  key = IdKey(id);
  return true;
}

int32_t InjectedTagStatus(const SimTag &tag) {
  std::lock_guard<std::mutex> g(Control().lock);
  auto it = Control().tagStatus.find(IdKey(tag.id));
  return it == Control().tagStatus.end() ? 0 : it->second;
}

bool Eligible(const ControlImpl *c, uint32_t t) {
  return t < c->block.foundCount && c->selected[t] == 0 && c->status[t] == 0 && c->simTag[t];
}

// The status of a field that covers a failing address of the tag: the
// control interface's fault first, then the file's; 0 when it is good.
int32_t FieldFault(const SimTag &tag, int32_t start, int32_t length) {
  {
    std::lock_guard<std::mutex> g(Control().lock);
    for (const InjectedFieldFault &f : Control().fieldFaults)
      if (f.id == IdKey(tag.id) && f.address >= start && f.address < start + length) return f.status;
  }
  for (int32_t a : tag.failAddresses)
    if (a >= start && a < start + length) return tag.fieldError;
  return 0;
}

// Checks a slot's range for one tag; the offset of its value on success.
int32_t CheckRange(const ControlImpl *c, uint32_t slot, uint32_t t, long &offset) {
  const SlotDescriptor &d = c->desc[slot][t];
  offset = tagdrv::SlotAreaOffset(&c->block, slot, t);
  if (d.start < 0 || d.length < 0 || static_cast<long>(d.start) + d.length > static_cast<long>(kMemorySize))
    return kErrRange;
  if (offset < 0 || offset + d.length > TAGDRV_SLOT_DATA_SIZE) return kErrRange;
  return 0;
}

ControlImpl *Impl(RfidControl *control) { return reinterpret_cast<ControlImpl *>(control); }

// The ten functions of the backend.  The reader is the tag field's reader
// of the configured name (setting sim.reader, default the name opened), in
// the configured tag field file (setting field) or the one of the control
// interface, TAGDRV_FIELD, tagfield.ini.
G4HANDLE SimOpen(const tagdrv::ReaderConfig &config, int32_t *status, void *infoArea) {
  int32_t dummy;
  if (!status) status = &dummy;
  try {
    if (int32_t f = Fault(TAGDRV_FAULT_OPEN, 0)) {
      *status = f;
      return nullptr;
    }
    if (int32_t f = Fault(TAGDRV_FAULT_OPEN_STATUS, 0)) {
      *status = f;
      return &g_refusedOpen;
    }
    auto session = std::make_unique<Session>();
    tagdrv::LoadResult loaded;
    {
      const std::string path = FieldFilePath(config.Get("field"));
      std::lock_guard<std::mutex> g(Control().files);
      loaded = tagdrv::LoadField(path, session->state->field);
    }
    if (loaded != tagdrv::LoadResult::kOk) {
      *status = loaded == tagdrv::LoadResult::kNotRegular ? kErrFieldFileNotRegular
                : loaded == tagdrv::LoadResult::kTooLarge ? kErrFieldFileTooLarge
                                                          : kErrNoFieldFile;
      return nullptr;
    }
    const std::string name = config.Get("sim.reader", config.name);
    bool found = false;
    for (size_t i = 0; i < session->state->field.readers.size() && !found; ++i)
      if (session->state->field.readers[i].name == name) {
        session->state->reader = i;
        found = true;
      }
    if (!found) {
      *status = kErrNoReader;
      return nullptr;
    }
    SimReader &r = session->Reader();
    if (r.openError) {
      *status = r.openError;
      return nullptr;
    }
    session->record.majorVersion = r.major;
    session->record.minorVersion = r.minor;
    if (infoArea) {
      std::memset(infoArea, 0, TAGDRV_INFO_AREA_SIZE);
      std::snprintf(static_cast<char *>(infoArea), TAGDRV_INFO_AREA_SIZE, "Simulated reader %s, interface %u.%u",
                    r.name.c_str(), r.major, r.minor);
    }
    *status = 0;
    return &session.release()->record;
  } catch (...) {
    *status = kErrBadArgument;
    return nullptr;
  }
}

int32_t SimClose(G4HANDLE handle, int32_t *status) {
  if (handle != &g_refusedOpen) delete reinterpret_cast<Session *>(handle);
  if (status) *status = 0;
  return 0;
}

RfidControl *SimAllocate(G4HANDLE handle, int32_t *status) {
  int32_t dummy;
  if (!status) status = &dummy;
  auto *s = reinterpret_cast<Session *>(handle);
  if (!s) {
    *status = kErrBadArgument;
    return nullptr;
  }
  if (int32_t f = Fault(TAGDRV_FAULT_ALLOCATE, s->Reader().allocateError)) {
    *status = f;
    return nullptr;
  }
  const size_t fieldTags = s->Reader().tags.size();
  ControlImpl *c = AllocateImpl(fieldTags > kTagCapacity ? static_cast<uint32_t>(fieldTags) : kTagCapacity);
  if (!c) {
    *status = kErrBadArgument;
    return nullptr;
  }
  for (int i = 0; i < TAGDRV_MAX_SLOTS; ++i) c->slotDataRows[i] = c->slotData[i];
  for (uint32_t t = 0; t < c->block.tagCapacity; ++t) c->tags[t].info = &c->infos[t].info;
  c->block.tagTable = c->tags;
  c->block.tagSelected = c->selected;
  c->block.tagStatus = c->status;
  c->block.fieldStatus = c->fieldStatus;
  c->block.slotData = c->slotDataRows;
  c->block.slotDesc = c->desc;
  *status = 0;
  return &c->block;
}

int32_t SimFree(G4HANDLE, RfidControl *control, int32_t *status) {
  if (control) std::free(Impl(control)->perTag);
  std::free(Impl(control));
  if (status) *status = 0;
  return 0;
}

int32_t SimSetAttr(G4HANDLE handle, G4AttrList *list, int32_t *status) {
  int32_t dummy;
  if (!status) status = &dummy;
  auto *s = reinterpret_cast<Session *>(handle);
  if (!s || !list || list->count < 1 || !list->names || !list->values || !list->names[0] || !list->values[0]) {
    *status = kErrBadArgument;
    return *status;
  }
  try {
    std::string name(list->names[0], strnlen(list->names[0], TAGDRV_ATTR_NAME_SIZE));
    std::string value(list->values[0]->text, strnlen(list->values[0]->text, TAGDRV_ATTR_VALUE_SIZE));
    if (name.empty()) {
      *status = kErrUnknownAttribute;
      return *status;
    }
    s->Reader().attributes[name] = value;
    *status = 0;
  } catch (...) {
    *status = kErrBadArgument;
  }
  return *status;
}

int32_t SimGetAttr(G4HANDLE handle, G4AttrList *list, int32_t *status) {
  int32_t dummy;
  if (!status) status = &dummy;
  auto *s = reinterpret_cast<Session *>(handle);
  if (!s || !list || list->count < 1 || !list->names || !list->values || !list->names[0] || !list->values[0]) {
    *status = kErrBadArgument;
    return *status;
  }
  try {
    std::string name(list->names[0], strnlen(list->names[0], TAGDRV_ATTR_NAME_SIZE));
    auto it = s->Reader().attributes.find(name);
    if (it == s->Reader().attributes.end()) {
      *status = kErrUnknownAttribute;
      return *status;
    }
    std::snprintf(list->values[0]->text, TAGDRV_ATTR_VALUE_SIZE, "%s", it->second.c_str());
    *status = 0;
  } catch (...) {
    *status = kErrBadArgument;
  }
  return *status;
}

int32_t SimIdentify(G4HANDLE handle, RfidControl *control) {
  auto *s = reinterpret_cast<Session *>(handle);
  ControlImpl *c = Impl(control);
  if (!s || !c) return 1;
  if (int32_t f = Fault(TAGDRV_FAULT_IDENTIFY, s->Reader().identifyError)) {
    c->block.driverError = f;
    return 1;
  }
  SimReader &r = s->Reader();
  // Every identify is a round, the write's and the read's too; with a
  // cycle the field starts over after that many rounds.
  uint64_t round = ++s->state->rounds;
  if (s->state->field.cycle) round = (round - 1) % s->state->field.cycle + 1;
  uint32_t n = 0;
  for (SimTag &tag : r.tags) {
    if (n >= c->block.tagCapacity) break;
    if (!tagdrv::PresentIn(tag, round)) continue;
    std::memcpy(c->tags[n].id, tag.id, 8);
    c->tags[n].info = &c->infos[n].info;
    TagInfo &info = c->infos[n].info;
    std::memset(&c->infos[n], 0, sizeof c->infos[n]);
    std::snprintf(info.swtt, sizeof info.swtt, "%s", tagdrv::SwttOf(tag).c_str());
    std::snprintf(info.tagType, sizeof info.tagType, "%s", tag.type.c_str());
    info.antenna = tag.antenna;
    int32_t injected = InjectedTagStatus(tag);
    c->status[n] = injected ? injected : tag.status;
    c->selected[n] = 0;
    c->simTag[n] = &tag;
    ++n;
  }
  for (uint32_t t = n; t < c->block.tagCapacity; ++t) c->simTag[t] = nullptr;
  // The found tags are also the range a following read or write handles.
  c->block.foundCount = n;
  c->block.tagCount = n;
  c->block.driverError = 0;
  return 0;
}

int32_t SimRead(G4HANDLE handle, RfidControl *control) {
  auto *s = reinterpret_cast<Session *>(handle);
  ControlImpl *c = Impl(control);
  if (!s || !c) return 1;
  if (int32_t f = Fault(TAGDRV_FAULT_READ, s->Reader().readError)) {
    c->block.driverError = f;
    return 1;
  }
  uint32_t slots = c->block.slotCount < TAGDRV_MAX_SLOTS ? c->block.slotCount : TAGDRV_MAX_SLOTS;
  uint32_t end = c->block.tagCount < c->block.tagCapacity ? c->block.tagCount : c->block.tagCapacity;
  for (uint32_t slot = 0; slot < slots; ++slot)
    for (uint32_t t = c->block.firstTag; t < end; ++t) {
      if (!Eligible(c, t)) continue;
      long offset;
      int32_t st = CheckRange(c, slot, t, offset);
      const SlotDescriptor &d = c->desc[slot][t];
      if (st == 0) st = FieldFault(*c->simTag[t], d.start, d.length);
      if (st == 0) std::memcpy(c->slotData[slot] + offset, c->simTag[t]->memory + d.start, d.length);
      c->fieldStatus[slot][t] = st;
    }
  c->block.driverError = 0;
  return 0;
}

int32_t SimWrite(G4HANDLE handle, RfidControl *control) {
  auto *s = reinterpret_cast<Session *>(handle);
  ControlImpl *c = Impl(control);
  if (!s || !c) return 1;
  if (int32_t f = Fault(TAGDRV_FAULT_WRITE_RETURN, s->Reader().writeReturn)) return f;
  if (int32_t f = Fault(TAGDRV_FAULT_WRITE, s->Reader().writeError)) {
    c->block.driverError = f;
    return 0;
  }
  uint32_t slots = c->block.slotCount < TAGDRV_MAX_SLOTS ? c->block.slotCount : TAGDRV_MAX_SLOTS;
  uint32_t end = c->block.tagCount < c->block.tagCapacity ? c->block.tagCount : c->block.tagCapacity;
  bool failed = false;
  for (uint32_t t = c->block.firstTag; t < end; ++t) {
    if (!Eligible(c, t)) continue;
    bool tagFailed = false;
    for (uint32_t slot = 0; slot < slots; ++slot) {
      long offset;
      int32_t st = CheckRange(c, slot, t, offset);
      const SlotDescriptor &d = c->desc[slot][t];
      SimTag &tag = *c->simTag[t];
      if (st == 0) st = FieldFault(tag, d.start, d.length);
      if (st == 0) {
        std::memcpy(tag.memory + d.start, c->slotData[slot] + offset, d.length);
        // Writing the identifier's bytes changes the identifier.
        if (d.start < static_cast<int32_t>(tagdrv::kSwttAddress + tagdrv::kSwttBytes) &&
            d.start + d.length > static_cast<int32_t>(tagdrv::kSwttAddress))
          tag.swtt.clear();
      }
      c->fieldStatus[slot][t] = st;
      if (st < 0) tagFailed = true;
    }
    if (tagFailed) {
      c->status[t] = kErrWriteIncomplete;
      failed = true;
    }
  }
  c->block.driverError = failed ? kErrWriteIncomplete : 0;
  if (s->state->field.persist) {
    std::lock_guard<std::mutex> g(Control().files);
    tagdrv::SaveMemory(s->state->field);
  }
  return 0;
}

int32_t SimErrorString(G4HANDLE, int32_t errorCode, char *buffer) {
  if (!buffer) return 1;
  for (const ErrorText &e : kErrorTexts)
    if (e.code == errorCode) {
      std::snprintf(buffer, TAGDRV_ERROR_TEXT_MAX + 1, "%s", e.text);
      return 0;
    }
  return 1;
}

}  // namespace

const tagdrv::Backend &tagdrv::SimBackend() {
  static const Backend backend = {"sim",       SimOpen,    SimClose,    SimAllocate, SimFree,       SimSetAttr,
                                  SimGetAttr, SimIdentify, SimRead,     SimWrite,    SimErrorString};
  return backend;
}

extern "C" {

TAGDRV_API void TAGDRV_CALL TagdrvSetFieldFile(const char *path) {
  std::lock_guard<std::mutex> g(Control().lock);
  Control().haveFieldFile = path != nullptr;
  Control().fieldFile = path ? path : "";
}

TAGDRV_API void TAGDRV_CALL TagdrvSetFault(int32_t fault, int32_t value) {
  if (fault < 1 || fault >= static_cast<int32_t>(std::size(Control().value))) return;
  std::lock_guard<std::mutex> g(Control().lock);
  Control().value[fault] = value;
}

TAGDRV_API int32_t TAGDRV_CALL TagdrvSetTagStatus(const char *tagId, int32_t status) {
  std::string key;
  if (!ParseId(tagId, key)) return 0;
  std::lock_guard<std::mutex> g(Control().lock);
  if (status) Control().tagStatus[key] = status;
  else Control().tagStatus.erase(key);
  return 1;
}

TAGDRV_API int32_t TAGDRV_CALL TagdrvSetFieldFault(const char *tagId, int32_t address, int32_t status) {
  std::string key;
  if (!ParseId(tagId, key)) return 0;
  std::lock_guard<std::mutex> g(Control().lock);
  auto &faults = Control().fieldFaults;
  for (auto it = faults.begin(); it != faults.end();)
    it = it->id == key && it->address == address ? faults.erase(it) : it + 1;
  if (status) faults.push_back({key, address, status});
  return 1;
}

TAGDRV_API void TAGDRV_CALL TagdrvClearFaults(void) {
  std::lock_guard<std::mutex> g(Control().lock);
  for (int32_t &v : Control().value) v = 0;
  Control().tagStatus.clear();
  Control().fieldFaults.clear();
}

TAGDRV_API int32_t TAGDRV_CALL TagdrvWriteCount(void) { return TagdrvCallCount("G4Write"); }

TAGDRV_API int32_t TAGDRV_CALL TagdrvCallCount(const char *function) { return tagdrv::CallCount(function); }

}  // extern "C"
