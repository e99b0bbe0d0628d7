// The PC/SC backend: ISO 15693 tags in PC/SC readers that present them as
// storage cards.  Every card in the reader slots whose names match the
// reader's pattern is one tag; its identifier comes from the get data
// command (FF CA), its memory is read and written with read binary (FF B0)
// and update binary (FF D6), block by block or byte by byte as the
// reader's profile says.
//
// On POSIX the PC/SC library is loaded at run time, so that the driver
// runs (and says why PC/SC is missing) on machines without it; Windows
// links winscard.
#include "backend.h"

#if defined(TAGDRV_HAVE_PCSC)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#include <winscard.h>
#else
#include <dlfcn.h>
#include <winscard.h>
#endif

#include "pcsc/pcsc_settings.h"

namespace tagdrv {
namespace {

using namespace pcsc;

#if defined(_WIN32)
using ReaderState = SCARD_READERSTATEA;
#define TAGDRV_SCARD(name) name##A
#else
using ReaderState = SCARD_READERSTATE;
#define TAGDRV_SCARD(name) name
#endif

// The PC/SC calls the backend makes.
struct Api {
  decltype(&SCardEstablishContext) establish;
  decltype(&SCardReleaseContext) release;
  decltype(&SCardIsValidContext) isValid;
  decltype(&TAGDRV_SCARD(SCardListReaders)) listReaders;
  decltype(&TAGDRV_SCARD(SCardGetStatusChange)) getStatusChange;
  decltype(&TAGDRV_SCARD(SCardConnect)) connect;
  decltype(&SCardDisconnect) disconnect;
  decltype(&SCardTransmit) transmit;
};

const Api *LoadApi() {
  static std::once_flag once;
  static Api api;
  static bool ok = false;
  std::call_once(once, [] {
#if defined(_WIN32)
    api = {&SCardEstablishContext, &SCardReleaseContext,  &SCardIsValidContext, &SCardListReadersA,
           &SCardGetStatusChangeA, &SCardConnectA,        &SCardDisconnect,     &SCardTransmit};
    ok = true;
#else
#if defined(__APPLE__)
    void *lib = dlopen("/System/Library/Frameworks/PCSC.framework/PCSC", RTLD_NOW | RTLD_LOCAL);
#else
    void *lib = dlopen("libpcsclite.so.1", RTLD_NOW | RTLD_LOCAL);
#endif
    if (!lib) return;
    auto sym = [lib](auto &fn, const char *name) {
      fn = reinterpret_cast<std::decay_t<decltype(fn)>>(dlsym(lib, name));
    };
    sym(api.establish, "SCardEstablishContext");
    sym(api.release, "SCardReleaseContext");
    sym(api.isValid, "SCardIsValidContext");
    sym(api.listReaders, "SCardListReaders");
    sym(api.getStatusChange, "SCardGetStatusChange");
    sym(api.connect, "SCardConnect");
    sym(api.disconnect, "SCardDisconnect");
    sym(api.transmit, "SCardTransmit");
    ok = api.establish && api.release && api.isValid && api.listReaders && api.getStatusChange && api.connect &&
         api.disconnect && api.transmit;
#endif
  });
  return ok ? &api : nullptr;
}

constexpr uint32_t kTagCapacity = 128;

// The last dynamic text of each code, for the error text calls that may
// come from any thread.
class Texts {
 public:
  int32_t Set(int32_t code, const std::string &text) {
    std::lock_guard<std::mutex> g(lock_);
    texts_[code] = text;
    return code;
  }
  bool Get(int32_t code, std::string &text) {
    std::lock_guard<std::mutex> g(lock_);
    auto it = texts_.find(code);
    if (it == texts_.end()) return false;
    text = it->second;
    return true;
  }

 private:
  std::mutex lock_;
  std::map<int32_t, std::string> texts_;
};

// Texts of failed opens, which have no session to keep them.
Texts &OpenTexts() {
  static Texts *texts = new Texts;
  return *texts;
}

std::string Lower(std::string s) {
  for (char &c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string Hex(const uint8_t *p, size_t n) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    out += digits[p[i] >> 4];
    out += digits[p[i] & 15];
  }
  return out;
}

// A card connected by an identify: the tag at one tag index.
struct Card {
  std::string reader;
  SCARDHANDLE handle = 0;
  DWORD protocol = 0;
  int32_t gone = 0;  // the failure that ended the connection, 0 while it lasts
};

struct SessionState {
  const Api *api = nullptr;
  Settings settings;
  std::map<std::string, std::string> attributes;  // lower-case names
  SCARDCONTEXT context = 0;
  bool haveContext = false;
  std::mutex op;  // one operation at a time
  Texts texts;

  // A PC/SC failure as a driver error, with its text kept.
  int32_t Failure(const char *call, LONG rv, const std::string &reader) {
    char b[160];
    const char *on = reader.empty() ? "" : " on ";
    switch (rv) {
      case SCARD_W_REMOVED_CARD:
      case SCARD_E_NO_SMARTCARD:
        return texts.Set(kErrTagRemoved, "Tag removed from the reader " + reader);
      case SCARD_W_RESET_CARD:
        return texts.Set(kErrTagReset, "Tag in the reader " + reader + " reset by another program");
      case SCARD_E_READER_UNAVAILABLE:
      case SCARD_E_UNKNOWN_READER:
        return texts.Set(kErrReaderGone, "PC/SC reader unplugged: " + reader);
      case SCARD_E_NO_SERVICE:
      case SCARD_E_SERVICE_STOPPED:
        return texts.Set(kErrNoService, "PC/SC service not running (pcscd)");
      case SCARD_E_TIMEOUT:
        std::snprintf(b, sizeof b, "PC/SC time-out after %u ms in %s%s%s", static_cast<unsigned>(settings.timeoutMs),
                      call, on, reader.c_str());
        return texts.Set(kErrTimeout, b);
      default:
        std::snprintf(b, sizeof b, "%s failed%s%s: PC/SC error 0x%08lX", call, on, reader.c_str(),
                      static_cast<unsigned long>(static_cast<uint32_t>(rv)));
        return texts.Set(kErrPcsc, b);
    }
  }

  // A context that works: the one there is, or a new one when the service
  // was restarted since.
  int32_t Context() {
    if (haveContext && api->isValid(context) == SCARD_S_SUCCESS) return 0;
    if (haveContext) api->release(context);
    haveContext = false;
    LONG rv = api->establish(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context);
    if (rv != SCARD_S_SUCCESS) return Failure("SCardEstablishContext", rv, "");
    haveContext = true;
    return 0;
  }

  void Release() {
    if (haveContext) api->release(context);
    haveContext = false;
  }
};

// The handle addresses this record, the interface version first.
struct Session {
  G4DriverRecord record = {2, 0};
  SessionState *state = new SessionState;
  Session() = default;
  Session(const Session &) = delete;
  Session &operator=(const Session &) = delete;
  ~Session() { delete state; }
};
static_assert(std::is_standard_layout_v<Session>, "the handle is the record");

struct InfoArea {
  TagInfo info;
  uint8_t driverBytes[13];
};

struct ControlState {
  std::vector<TagRecord> tags = std::vector<TagRecord>(kTagCapacity);
  std::vector<InfoArea> infos = std::vector<InfoArea>(kTagCapacity);
  std::vector<int32_t> selected = std::vector<int32_t>(kTagCapacity);
  std::vector<int32_t> status = std::vector<int32_t>(kTagCapacity);
  std::vector<int32_t> fieldStatus = std::vector<int32_t>(TAGDRV_MAX_SLOTS * kTagCapacity);
  std::vector<uint8_t> slotData = std::vector<uint8_t>(TAGDRV_MAX_SLOTS * TAGDRV_SLOT_DATA_SIZE);
  std::vector<SlotDescriptor> desc = std::vector<SlotDescriptor>(TAGDRV_MAX_SLOTS * kTagCapacity);
  int32_t *fieldRows[TAGDRV_MAX_SLOTS];
  uint8_t *dataRows[TAGDRV_MAX_SLOTS];
  SlotDescriptor *descRows[TAGDRV_MAX_SLOTS];
  std::vector<Card> cards;  // per tag index of the last identify
  const Api *api = nullptr;

  void Disconnect() {
    for (Card &card : cards)
      if (card.handle) api->disconnect(card.handle, SCARD_LEAVE_CARD);
    cards.clear();
  }
};

// The library sees the block only; the state hangs behind it.
struct ControlImpl {
  RfidControl block;
  ControlState *state;
};
static_assert(std::is_standard_layout_v<ControlImpl>, "the block is the control");

Session *ToSession(G4HANDLE handle) { return reinterpret_cast<Session *>(handle); }
ControlImpl *ToControl(RfidControl *control) { return reinterpret_cast<ControlImpl *>(control); }

int32_t CheckRange(const RfidControl &c, const Settings &s, uint32_t slot, uint32_t t, long &offset) {
  const SlotDescriptor &d = c.slotDesc[slot][t];
  offset = SlotAreaOffset(&c, slot, t);
  if (d.start < 0 || d.length < 0) return kErrRange;
  if (s.memorySize && static_cast<int64_t>(d.start) + d.length > static_cast<int64_t>(s.memorySize)) return kErrRange;
  if (offset < 0 || offset + d.length > TAGDRV_SLOT_DATA_SIZE) return kErrRange;
  return 0;
}

// Whether the card in a reader has left after a failed exchange: readers
// only see it at their next poll, so this waits for that a little while.
// The upper half of a reader's state counts the cards that came and went.
bool CardLeft(SessionState &s, const std::string &reader) {
  ReaderState state;
  std::memset(&state, 0, sizeof state);
  state.szReader = reader.c_str();
  state.dwCurrentState = SCARD_STATE_UNAWARE;
  if (s.api->getStatusChange(s.context, 0, &state, 1) != SCARD_S_SUCCESS) return false;
  const DWORD events = state.dwEventState >> 16;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(std::min(s.settings.timeoutMs, 1500u));
  for (;;) {
    if (!(state.dwEventState & SCARD_STATE_PRESENT) || (state.dwEventState >> 16) != events) return true;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    state.dwCurrentState = state.dwEventState & ~static_cast<DWORD>(SCARD_STATE_CHANGED);
    LONG rv = s.api->getStatusChange(s.context, static_cast<DWORD>(left.count()), &state, 1);
    if (rv != SCARD_S_SUCCESS && rv != SCARD_E_TIMEOUT) return false;
  }
}

// One command to the card; the answer's data and its status word.
int32_t Transmit(SessionState &s, Card &card, const std::vector<uint8_t> &apdu, std::vector<uint8_t> &data,
                 uint16_t &sw) {
  if (card.gone) return card.gone;
  uint8_t answer[258 + 2];
  DWORD length = sizeof answer;
  SCARD_IO_REQUEST pci;
  pci.dwProtocol = card.protocol;
  pci.cbPciLength = sizeof pci;
  LONG rv = s.api->transmit(card.handle, &pci, apdu.data(), static_cast<DWORD>(apdu.size()), nullptr, answer,
                            &length);
  // A card taken away in the middle of an exchange shows as a failed
  // exchange, or as an empty answer, first.
  if ((rv == SCARD_E_NOT_TRANSACTED || rv == SCARD_F_COMM_ERROR || rv == SCARD_W_UNRESPONSIVE_CARD ||
       rv == SCARD_W_UNPOWERED_CARD || (rv == SCARD_S_SUCCESS && length < 2)) &&
      CardLeft(s, card.reader))
    rv = SCARD_W_REMOVED_CARD;
  if (rv != SCARD_S_SUCCESS) {
    int32_t code = s.Failure("SCardTransmit", rv, card.reader);
    // Once the tag or the reader is gone, the handle stays useless.
    if (code == kErrTagRemoved || code == kErrTagReset || code == kErrReaderGone || code == kErrNoService)
      card.gone = code;
    return code;
  }
  if (length < 2) return kErrShortAnswer;
  sw = static_cast<uint16_t>(answer[length - 2] << 8 | answer[length - 1]);
  data.assign(answer, answer + length - 2);
  return 0;
}

std::vector<uint8_t> Apdu(uint8_t ins, uint16_t p1p2, uint8_t p3) {
  return {0xFF, ins, static_cast<uint8_t>(p1p2 >> 8), static_cast<uint8_t>(p1p2), p3};
}

// Reads one unit of a chunk: the whole block, or with byte addresses the
// chunk's own bytes.
int32_t ReadUnit(SessionState &s, Card &card, const Chunk &c, std::vector<uint8_t> &data) {
  uint16_t sw = 0;
  if (int32_t st = Transmit(s, card, Apdu(0xB0, c.p1p2, c.length), data, sw)) return st;
  if (sw != 0x9000) return SwCode(sw);
  const size_t want = c.length ? c.length : 256;
  if (data.size() < want) return SwCode(0x6282);
  return 0;
}

int32_t ReadRange(SessionState &s, Card &card, uint32_t start, uint32_t length, uint8_t *out) {
  std::vector<Chunk> chunks;
  if (!PlanChunks(s.settings, start, length, chunks)) return kErrRange;
  std::vector<uint8_t> data;
  for (const Chunk &c : chunks) {
    if (int32_t st = ReadUnit(s, card, c, data)) return st;
    const uint32_t base = s.settings.byteAddressing ? c.first : c.unitStart;
    std::memcpy(out + (c.first - start), data.data() + (c.first - base), c.end - c.first);
  }
  return 0;
}

// Writes the bytes; a block that the range covers only in part is read
// first and written whole.
int32_t WriteRange(SessionState &s, Card &card, uint32_t start, uint32_t length, const uint8_t *in) {
  std::vector<Chunk> chunks;
  if (!PlanChunks(s.settings, start, length, chunks)) return kErrRange;
  std::vector<uint8_t> unit, answer;
  for (const Chunk &c : chunks) {
    const uint32_t base = s.settings.byteAddressing ? c.first : c.unitStart;
    if (c.whole) unit.assign(c.length ? c.length : 256, 0);
    else if (int32_t st = ReadUnit(s, card, c, unit)) return st;
    std::memcpy(unit.data() + (c.first - base), in + (c.first - start), c.end - c.first);
    std::vector<uint8_t> apdu = Apdu(0xD6, c.p1p2, static_cast<uint8_t>(unit.size()));
    apdu.insert(apdu.end(), unit.begin(), unit.begin() + static_cast<long>(c.length ? c.length : 256));
    uint16_t sw = 0;
    if (int32_t st = Transmit(s, card, apdu, answer, sw)) return st;
    if (sw != 0x9000) return SwCode(sw);
  }
  return 0;
}

// The SWTT identifier: the hexadecimal text of its bytes.
int32_t ReadSwtt(SessionState &s, Card &card, char *swtt) {
  swtt[0] = 0;
  if (!s.settings.swttBytes) return 0;
  uint8_t bytes[6];
  if (int32_t st = ReadRange(s, card, s.settings.swttAddress, s.settings.swttBytes, bytes)) return st;
  std::snprintf(swtt, 13, "%s", Hex(bytes, s.settings.swttBytes).c_str());
  return 0;
}

bool Eligible(const ControlImpl &c, uint32_t t) {
  return t < c.block.foundCount && t < c.state->cards.size() && c.block.tagSelected[t] == 0 &&
         c.block.tagStatus[t] == 0;
}

// The settings of a reader's section: the profile first, then the
// settings that refine it; attr.NAME keys are free attributes.
int32_t Configure(const ReaderConfig &reader, SessionState &s, std::string &error) {
  s.attributes["rfid_swtt_file_name"] = "SWTT.INI";
  for (const std::string &name : SettingNames()) {
    auto it = reader.settings.find(name);
    if (it != reader.settings.end() && !Apply(s.settings, name, it->second, error)) return kErrBadValue;
  }
  for (const auto &[key, value] : reader.settings) {
    const std::string name = Lower(key);
    if (name.rfind("attr.", 0) == 0) s.attributes[name.substr(5)] = value;
    else if (name.rfind("pcsc.", 0) == 0 &&
             std::find(SettingNames().begin(), SettingNames().end(), name) == SettingNames().end()) {
      error = "Unknown setting " + key + " of reader " + reader.name;
      return kErrBadValue;
    }
  }
  return 0;
}

G4HANDLE Open(const ReaderConfig &reader, int32_t *status, void *infoArea) {
  int32_t dummy;
  if (!status) status = &dummy;
  try {
    const Api *api = LoadApi();
    if (!api) {
#if defined(__APPLE__)
      *status = OpenTexts().Set(kErrNoPcsc, "PC/SC is not available: the PCSC framework cannot be loaded");
#else
      *status = kErrNoPcsc;
#endif
      return nullptr;
    }
    auto session = std::make_unique<Session>();
    SessionState &s = *session->state;
    s.api = api;
    std::string error;
    if (int32_t st = Configure(reader, s, error)) {
      *status = OpenTexts().Set(st, error);
      return nullptr;
    }
    if (int32_t st = s.Context()) {
      std::string text;
      s.texts.Get(st, text);
      *status = OpenTexts().Set(st, text);
      return nullptr;
    }
    if (infoArea) {
      std::memset(infoArea, 0, TAGDRV_INFO_AREA_SIZE);
      std::snprintf(static_cast<char *>(infoArea), TAGDRV_INFO_AREA_SIZE,
                    "PC/SC reader %s, slots \"%s\", profile %s, interface 2.0", reader.name.c_str(),
                    s.settings.reader.c_str(), s.settings.profile.c_str());
    }
    *status = 0;
    return &session.release()->record;
  } catch (...) {
    *status = kErrBadArgument;
    return nullptr;
  }
}

int32_t Close(G4HANDLE handle, int32_t *status) {
  if (Session *s = ToSession(handle)) {
    s->state->Release();
    delete s;
  }
  if (status) *status = 0;
  return 0;
}

RfidControl *Allocate(G4HANDLE handle, int32_t *status) {
  int32_t dummy;
  if (!status) status = &dummy;
  Session *s = ToSession(handle);
  ControlImpl *c = s ? new (std::nothrow) ControlImpl() : nullptr;
  ControlState *state = c ? new (std::nothrow) ControlState() : nullptr;
  if (!state) {
    delete c;
    *status = kErrBadArgument;
    return nullptr;
  }
  state->api = s->state->api;
  for (uint32_t i = 0; i < TAGDRV_MAX_SLOTS; ++i) {
    state->fieldRows[i] = &state->fieldStatus[i * kTagCapacity];
    state->dataRows[i] = &state->slotData[i * TAGDRV_SLOT_DATA_SIZE];
    state->descRows[i] = &state->desc[i * kTagCapacity];
  }
  for (uint32_t t = 0; t < kTagCapacity; ++t) state->tags[t].info = &state->infos[t].info;
  c->state = state;
  RfidControl &b = c->block;
  b.tagTable = state->tags.data();
  b.tagCapacity = kTagCapacity;
  b.tagSelected = state->selected.data();
  b.tagStatus = state->status.data();
  b.fieldStatus = state->fieldRows;
  b.slotData = state->dataRows;
  b.slotDesc = state->descRows;
  *status = 0;
  return &c->block;
}

int32_t Free(G4HANDLE handle, RfidControl *control, int32_t *status) {
  if (ControlImpl *c = ToControl(control)) {
    Session *s = ToSession(handle);
    std::unique_lock<std::mutex> g;
    if (s) g = std::unique_lock<std::mutex>(s->state->op);
    c->state->Disconnect();
    delete c->state;
    delete c;
  }
  if (status) *status = 0;
  return 0;
}

bool AttributeArgs(G4HANDLE handle, G4AttrList *list) {
  return handle && list && list->count >= 1 && list->names && list->values && list->names[0] && list->values[0];
}

// The attribute a list names (its first), as far as its field holds.
std::string AttributeName(const G4AttrList *list) {
  return std::string(list->names[0], strnlen(list->names[0], TAGDRV_ATTR_NAME_SIZE));
}

int32_t SetAttr(G4HANDLE handle, G4AttrList *list, int32_t *status) {
  int32_t dummy;
  if (!status) status = &dummy;
  if (!AttributeArgs(handle, list)) return *status = kErrBadArgument;
  try {
    SessionState &s = *ToSession(handle)->state;
    std::lock_guard<std::mutex> g(s.op);
    const std::string name = AttributeName(list);
    const std::string value(list->values[0]->text, strnlen(list->values[0]->text, TAGDRV_ATTR_VALUE_SIZE));
    const std::string key = Lower(name);
    if (key.rfind("pcsc.", 0) == 0) {
      std::string error;
      Settings changed = s.settings;
      if (!Apply(changed, key, value, error)) {
        std::string probe;
        const int32_t code = Describe(s.settings, key, probe) ? kErrBadValue : kErrUnknownAttribute;
        return *status = s.texts.Set(code, error);
      }
      s.settings = changed;
      return *status = 0;
    }
    auto it = s.attributes.find(key);
    if (it == s.attributes.end()) return *status = s.texts.Set(kErrUnknownAttribute, "Unknown attribute " + name);
    it->second = value;
    return *status = 0;
  } catch (...) {
    return *status = kErrBadArgument;
  }
}

int32_t GetAttr(G4HANDLE handle, G4AttrList *list, int32_t *status) {
  int32_t dummy;
  if (!status) status = &dummy;
  if (!AttributeArgs(handle, list)) return *status = kErrBadArgument;
  try {
    SessionState &s = *ToSession(handle)->state;
    std::lock_guard<std::mutex> g(s.op);
    const std::string name = AttributeName(list);
    std::string value;
    if (!Describe(s.settings, name, value)) {
      auto it = s.attributes.find(Lower(name));
      if (it == s.attributes.end()) return *status = s.texts.Set(kErrUnknownAttribute, "Unknown attribute " + name);
      value = it->second;
    }
    std::snprintf(list->values[0]->text, TAGDRV_ATTR_VALUE_SIZE, "%s", value.c_str());
    return *status = 0;
  } catch (...) {
    return *status = kErrBadArgument;
  }
}

// The names of the PC/SC readers, in the order PC/SC gives them.
int32_t ListReaders(SessionState &s, std::vector<std::string> &names) {
  names.clear();
  for (int attempt = 0;; ++attempt) {
    if (int32_t st = s.Context()) return st;
    DWORD length = 0;
    LONG rv = s.api->listReaders(s.context, nullptr, nullptr, &length);
    std::vector<char> buffer;
    if (rv == SCARD_S_SUCCESS) {
      buffer.resize(length + 1);
      rv = s.api->listReaders(s.context, nullptr, buffer.data(), &length);
    }
    if (rv == SCARD_E_NO_READERS_AVAILABLE) return 0;
    if (rv == SCARD_S_SUCCESS) {
      for (const char *p = buffer.data(); p < buffer.data() + length && *p; p += std::strlen(p) + 1) names.push_back(p);
      return 0;
    }
    // A service that was restarted invalidates the context: once more
    // with a new one.
    if (attempt == 0 && (rv == SCARD_E_NO_SERVICE || rv == SCARD_E_SERVICE_STOPPED || rv == SCARD_E_INVALID_HANDLE)) {
      s.Release();
      continue;
    }
    return s.Failure("SCardListReaders", rv, "");
  }
}

int32_t Identify(G4HANDLE handle, RfidControl *control) {
  Session *session = ToSession(handle);
  ControlImpl *c = ToControl(control);
  if (!session || !c) return 1;
  SessionState &s = *session->state;
  std::lock_guard<std::mutex> g(s.op);
  ControlState &cs = *c->state;
  RfidControl &b = c->block;
  auto fail = [&](int32_t code) {
    b.driverError = code;
    b.foundCount = b.tagCount = 0;
    return 1;
  };
  try {
    cs.Disconnect();
    std::vector<std::string> all, names;
    if (int32_t st = ListReaders(s, all)) return fail(st);
    for (const std::string &n : all)
      if (Matches(s.settings.reader, n)) names.push_back(n);
    if (names.empty()) {
      std::string known;
      for (const std::string &n : all) known += (known.empty() ? "" : ", ") + n;
      return fail(s.texts.Set(kErrNoReader, "No PC/SC reader matches \"" + s.settings.reader + "\" (readers: " +
                                                (known.empty() ? "none" : known) + ")"));
    }
    std::vector<ReaderState> states(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
      std::memset(&states[i], 0, sizeof states[i]);
      states[i].szReader = names[i].c_str();
      states[i].dwCurrentState = SCARD_STATE_UNAWARE;
    }
    LONG rv = s.api->getStatusChange(s.context, s.settings.timeoutMs, states.data(), static_cast<DWORD>(states.size()));
    if (rv != SCARD_S_SUCCESS) return fail(s.Failure("SCardGetStatusChange", rv, names.size() == 1 ? names[0] : ""));
    // Slots that went away are left out; the identify fails only when
    // none of them is left.
    uint32_t n = 0;
    size_t gone = 0;
    for (size_t i = 0; i < names.size() && n < b.tagCapacity; ++i) {
      if (states[i].dwEventState & (SCARD_STATE_UNAVAILABLE | SCARD_STATE_UNKNOWN)) {
        if (++gone == names.size())
          return fail(s.Failure("SCardGetStatusChange", SCARD_E_READER_UNAVAILABLE, names[i]));
        continue;
      }
      if (!(states[i].dwEventState & SCARD_STATE_PRESENT) || (states[i].dwEventState & SCARD_STATE_MUTE)) continue;
      Card card;
      card.reader = names[i];
      rv = s.api->connect(s.context, names[i].c_str(), SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1,
                          &card.handle, &card.protocol);
      // A card that went in the meantime, or that another program holds,
      // is not in the field for this round.
      if (rv != SCARD_S_SUCCESS) {
        s.Failure("SCardConnect", rv, names[i]);
        continue;
      }
      std::vector<uint8_t> uid;
      uint16_t sw = 0;
      if (Transmit(s, card, Apdu(0xCA, 0, 0), uid, sw) || sw != 0x9000 || uid.empty()) {
        s.api->disconnect(card.handle, SCARD_LEAVE_CARD);
        continue;
      }
      TagRecord &tag = cs.tags[n];
      TagIdFromUid(s.settings.uidOrder, uid.data(), uid.size(), tag.id);
      std::memset(&cs.infos[n], 0, sizeof cs.infos[n]);
      tag.info = &cs.infos[n].info;
      TagInfo &info = cs.infos[n].info;
      std::snprintf(info.tagType, sizeof info.tagType, "%s", TagTypeOf(s.settings, tag.id).c_str());
      info.antenna = static_cast<uint8_t>(i);
      // A tag whose identifier cannot be read is listed, as failing.
      cs.status[n] = ReadSwtt(s, card, info.swtt);
      cs.selected[n] = 0;
      cs.cards.push_back(card);
      ++n;
    }
    b.foundCount = b.tagCount = n;
    b.driverError = 0;
    return 0;
  } catch (...) {
    return fail(kErrBadArgument);
  }
}

enum class Direction { kRead, kWrite };

// A read or a write over the slots of the eligible tags.  A read fails as
// a whole only when none of the tags it was to read could be reached; a
// write always runs, with its failures in the statuses and driverError.
int32_t Transfer(G4HANDLE handle, RfidControl *control, Direction direction) {
  Session *session = ToSession(handle);
  ControlImpl *c = ToControl(control);
  if (!session || !c) return 1;
  SessionState &s = *session->state;
  std::lock_guard<std::mutex> g(s.op);
  ControlState &cs = *c->state;
  RfidControl &b = c->block;
  const uint32_t slots = std::min<uint32_t>(b.slotCount, TAGDRV_MAX_SLOTS);
  const uint32_t end = std::min(b.tagCount, b.tagCapacity);
  int32_t first = 0;
  uint32_t wanted = 0, reached = 0;
  try {
    for (uint32_t t = b.firstTag; t < end; ++t) {
      if (!Eligible(*c, t)) continue;
      Card &card = cs.cards[t];
      int32_t tagFailure = 0;
      for (uint32_t slot = 0; slot < slots; ++slot) {
        long offset;
        int32_t st = CheckRange(b, s.settings, slot, t, offset);
        const SlotDescriptor &d = b.slotDesc[slot][t];
        if (st == 0 && d.length > 0) {
          uint8_t *value = b.slotData[slot] + offset;
          const auto start = static_cast<uint32_t>(d.start), length = static_cast<uint32_t>(d.length);
          if (direction == Direction::kRead) {
            st = ReadRange(s, card, start, length, value);
          } else {
            st = WriteRange(s, card, start, length, value);
            // A write over the identifier's bytes changes the identifier.
            if (st == 0 && s.settings.swttBytes && start < s.settings.swttAddress + s.settings.swttBytes &&
                start + length > s.settings.swttAddress)
              ReadSwtt(s, card, b.tagTable[t].info->swtt);
          }
        }
        b.fieldStatus[slot][t] = st;
        if (st < 0 && !tagFailure) tagFailure = st;
      }
      ++wanted;
      if (card.gone) b.tagStatus[t] = card.gone;
      else if (direction == Direction::kWrite && tagFailure) b.tagStatus[t] = tagFailure;
      if (!card.gone) ++reached;
      if (tagFailure && !first) first = tagFailure;
    }
  } catch (...) {
    first = kErrBadArgument;
  }
  b.driverError = first;
  if (direction == Direction::kRead) return wanted > 0 && reached == 0 ? 1 : 0;
  return 0;
}

int32_t Read(G4HANDLE handle, RfidControl *control) { return Transfer(handle, control, Direction::kRead); }
int32_t Write(G4HANDLE handle, RfidControl *control) { return Transfer(handle, control, Direction::kWrite); }

int32_t ErrorString(G4HANDLE handle, int32_t code, char *buffer) {
  if (!buffer) return 1;
  std::string text;
  bool found = false;
  try {
    found = handle ? ToSession(handle)->state->texts.Get(code, text) : OpenTexts().Get(code, text);
    if (!found) found = FixedErrorText(code, text);
  } catch (...) {
    return 1;
  }
  if (!found) return 1;
  std::snprintf(buffer, TAGDRV_ERROR_TEXT_MAX + 1, "%s", text.c_str());
  return 0;
}

const Backend kPcsc = {"pcsc", Open, Close, Allocate, Free, SetAttr, GetAttr, Identify, Read, Write, ErrorString};

}  // namespace

const Backend *PcscBackend() { return &kPcsc; }

}  // namespace tagdrv

#else

namespace tagdrv {
const Backend *PcscBackend() { return nullptr; }
}  // namespace tagdrv

#endif
