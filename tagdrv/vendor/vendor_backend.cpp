// The vendor backend: a reader driver library of the driver interface,
// loaded from a path and called function for function, so that a vendor's
// driver works behind the host (and can be traced).
//
//   [reader GATE1]
//   backend = vendor
//   library = /opt/vendor/lib/libtagdrv.so   ; TAGDRV.dll on Windows
//   vendor.reader = Gate-1                   ; the name the vendor's driver opens (default: GATE1)
#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "backend.h"

namespace tagdrv {
namespace {

// The vendor's own driver codes cannot be told from ours: the failures of
// loading get codes of their own, kept out of the library's range.
enum : int32_t {
  kErrLibraryNotFound = -120,
  kErrLibraryIncomplete = -121,
  kErrNoLibrarySetting = -122,
  kErrVendorOpen = -123,
};

struct Functions {
  G4HANDLE (*open)(const char *, int32_t *, void *, int32_t, int32_t);
  int32_t (*close)(G4HANDLE, int32_t *);
  RfidControl *(*allocate)(G4HANDLE, int32_t *);
  int32_t (*free)(G4HANDLE, RfidControl *, int32_t *);
  int32_t (*setAttr)(G4HANDLE, G4AttrList *, int32_t *);
  int32_t (*getAttr)(G4HANDLE, G4AttrList *, int32_t *);
  int32_t (*identify)(G4HANDLE, RfidControl *);
  int32_t (*read)(G4HANDLE, RfidControl *);
  int32_t (*write)(G4HANDLE, RfidControl *);
  int32_t (*errorString)(G4HANDLE, int32_t, char *);
};

// The record the host sees first: the vendor's interface version, copied
// from the vendor's own handle.
struct VendorSession {
  G4DriverRecord record;
  const Functions *functions;
  G4HANDLE handle;
};

VendorSession *Of(G4HANDLE handle) { return reinterpret_cast<VendorSession *>(handle); }

// What the last failed open on this thread said, for errorString without a
// handle.
thread_local std::string t_lastError;
thread_local int32_t t_lastCode = 0;

int32_t Fail(int32_t code, const std::string &text, int32_t *status) {
  t_lastCode = code;
  t_lastError = text;
  *status = code;
  return code;
}

void *Symbol(void *library, const char *name) {
#if defined(_WIN32)
  return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(library), name));
#else
  return dlsym(library, name);
#endif
}

// Libraries are loaded once per path and stay loaded: a driver may run
// threads of its own, and handles of it may outlive any one reader.
const Functions *Load(const std::string &path, std::string &error, int32_t &code) {
  static std::mutex lock;
  static auto *loaded = new std::map<std::string, Functions>;
  std::lock_guard<std::mutex> g(lock);
  auto it = loaded->find(path);
  if (it != loaded->end()) return &it->second;
#if defined(_WIN32)
  void *library = reinterpret_cast<void *>(LoadLibraryA(path.c_str()));
#else
  void *library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
  if (!library) {
    code = kErrLibraryNotFound;
    error = "backend library not found: " + path;
    return nullptr;
  }
  Functions f{};
  const char *names[] = {"G4Open",    "G4Close",   "RFIDAllocateControl", "RFIDFreeControl", "G4SetAttr",
                         "G4GetAttr", "G4Identify", "G4Read",             "G4Write",         "G4GetErrorString"};
  void *symbols[10];
  for (int i = 0; i < 10; ++i)
    if (!(symbols[i] = Symbol(library, names[i]))) {
      code = kErrLibraryIncomplete;
      error = std::string("backend library lacks ") + names[i] + ": " + path;
      return nullptr;
    }
  std::memcpy(&f.open, &symbols[0], sizeof(void *));
  std::memcpy(&f.close, &symbols[1], sizeof(void *));
  std::memcpy(&f.allocate, &symbols[2], sizeof(void *));
  std::memcpy(&f.free, &symbols[3], sizeof(void *));
  std::memcpy(&f.setAttr, &symbols[4], sizeof(void *));
  std::memcpy(&f.getAttr, &symbols[5], sizeof(void *));
  std::memcpy(&f.identify, &symbols[6], sizeof(void *));
  std::memcpy(&f.read, &symbols[7], sizeof(void *));
  std::memcpy(&f.write, &symbols[8], sizeof(void *));
  std::memcpy(&f.errorString, &symbols[9], sizeof(void *));
  Functions &kept = (*loaded)[path];
  kept = f;
  return &kept;
}

G4HANDLE VendorOpen(const ReaderConfig &config, int32_t *status, void *infoArea) {
  const std::string path = config.Get("library");
  if (path.empty()) {
    Fail(kErrNoLibrarySetting, "reader " + config.name + " has backend vendor but no library setting", status);
    return nullptr;
  }
  std::string error;
  int32_t code = 0;
  const Functions *f = Load(path, error, code);
  if (!f) {
    Fail(code, error, status);
    return nullptr;
  }
  const std::string name = config.Get("vendor.reader", config.name);
  char vendorName[32] = {};
  std::snprintf(vendorName, sizeof vendorName, "%s", name.c_str());
  int32_t vendorStatus = 0;
  G4HANDLE handle = f->open(vendorName, &vendorStatus, infoArea, 0, 0);
  *status = vendorStatus;
  if (!handle || vendorStatus < 0) {
    // The vendor's status stays the open's result; its text is asked for
    // without a handle only when the vendor gives one for it.
    char text[TAGDRV_ERROR_TEXT_MAX + 1] = {};
    t_lastCode = vendorStatus;
    t_lastError = f->errorString && f->errorString(nullptr, vendorStatus, text) == 0
                      ? std::string(text)
                      : "the driver " + path + " could not open " + name + " (status " +
                            std::to_string(vendorStatus) + ")";
    // A handle that came with a failing status is the vendor's to release:
    // it gets no further call.
    if (!handle) *status = vendorStatus < 0 ? vendorStatus : kErrVendorOpen;
    return nullptr;
  }
  auto *session = new VendorSession{*handle, f, handle};
  return &session->record;
}

int32_t VendorClose(G4HANDLE handle, int32_t *status) {
  VendorSession *s = Of(handle);
  int32_t r = s->functions->close(s->handle, status);
  delete s;
  return r;
}
RfidControl *VendorAllocate(G4HANDLE h, int32_t *status) { return Of(h)->functions->allocate(Of(h)->handle, status); }
int32_t VendorFree(G4HANDLE h, RfidControl *c, int32_t *status) {
  return Of(h)->functions->free(Of(h)->handle, c, status);
}
int32_t VendorSetAttr(G4HANDLE h, G4AttrList *l, int32_t *status) {
  return Of(h)->functions->setAttr(Of(h)->handle, l, status);
}
int32_t VendorGetAttr(G4HANDLE h, G4AttrList *l, int32_t *status) {
  return Of(h)->functions->getAttr(Of(h)->handle, l, status);
}
int32_t VendorIdentify(G4HANDLE h, RfidControl *c) { return Of(h)->functions->identify(Of(h)->handle, c); }
int32_t VendorRead(G4HANDLE h, RfidControl *c) { return Of(h)->functions->read(Of(h)->handle, c); }
int32_t VendorWrite(G4HANDLE h, RfidControl *c) { return Of(h)->functions->write(Of(h)->handle, c); }

int32_t VendorErrorString(G4HANDLE h, int32_t code, char *buffer) {
  if (!buffer) return 1;
  if (h) return Of(h)->functions->errorString(Of(h)->handle, code, buffer);
  if (code != t_lastCode || t_lastError.empty()) return 1;
  std::snprintf(buffer, TAGDRV_ERROR_TEXT_MAX + 1, "%s", t_lastError.c_str());
  return 0;
}

}  // namespace

const Backend &VendorBackend() {
  static const Backend backend = {"vendor",      VendorOpen,    VendorClose,    VendorAllocate,
                                  VendorFree,    VendorSetAttr, VendorGetAttr,  VendorIdentify,
                                  VendorRead,    VendorWrite,   VendorErrorString};
  return backend;
}

}  // namespace tagdrv
