// backend.h -- what the driver host gives a reader to: a backend, the ten
// driver functions of one kind of reader behind the same signatures as the
// driver interface, and the settings of the reader from the driver
// configuration file.
//
// The host (host.cpp) exports the ten functions.  At G4Open it looks the
// reader name up in the configuration, opens the reader through its
// backend, and hands the library a handle of its own; every later call is
// forwarded to the backend with the backend's handle, and traced when the
// reader's configuration asks for it.  A backend never sees another's
// handles, and may keep anything it likes behind its own.
#ifndef TAGDRV_BACKEND_H
#define TAGDRV_BACKEND_H

#include <cstdint>
#include <map>
#include <string>

#include "tagdrv.h"

namespace tagdrv {

// One reader's section of the driver configuration file.
struct ReaderConfig {
  std::string name;     // the name the library opens
  std::string backend;  // "sim", "pcsc", "vendor"
  std::map<std::string, std::string> settings;  // every other key, lower case, as written
  std::string file;     // the configuration file it came from ("" when none)

  // A setting, or fallback when the key is absent.
  std::string Get(const std::string &key, const std::string &fallback = "") const {
    auto it = settings.find(key);
    return it == settings.end() ? fallback : it->second;
  }
};

struct Backend {
  const char *name;
  // Opens the reader; like G4Open: a handle whose record begins with the
  // interface version, and *status not negative, on success.  infoArea is
  // TAGDRV_INFO_AREA_SIZE bytes, or null.
  G4HANDLE (*open)(const ReaderConfig &reader, int32_t *status, void *infoArea);
  int32_t (*close)(G4HANDLE handle, int32_t *status);
  RfidControl *(*allocate)(G4HANDLE handle, int32_t *status);
  int32_t (*free)(G4HANDLE handle, RfidControl *control, int32_t *status);
  int32_t (*setAttr)(G4HANDLE handle, G4AttrList *list, int32_t *status);
  int32_t (*getAttr)(G4HANDLE handle, G4AttrList *list, int32_t *status);
  int32_t (*identify)(G4HANDLE handle, RfidControl *control);
  int32_t (*read)(G4HANDLE handle, RfidControl *control);
  int32_t (*write)(G4HANDLE handle, RfidControl *control);
  // The text of a code, as G4GetErrorString.  handle may be null: the
  // text of a status the backend's open gave.
  int32_t (*errorString)(G4HANDLE handle, int32_t code, char *buffer);
};

// The backends the host knows, by the names the configuration uses.
const Backend &SimBackend();
const Backend &VendorBackend();
// Null where the build has no PC/SC.
const Backend *PcscBackend();

// Where a tag's value lies in a slot's 512-byte buffer: after the areas of
// every tag before it in the table, each as long as its slot descriptor
// says (kind 1: rounded to an integer size of 1, 2 or 4; otherwise the
// length plus one byte).  -1 when that is past the buffer.  The library
// lays the buffers out this way; every backend reads and writes them so.
// Inline, so that a backend's objects linked on their own (the PC/SC
// backend's tests) carry it too.
inline long SlotAreaOffset(const RfidControl *control, uint32_t slot, uint32_t tag) {
  long offset = 0;
  for (uint32_t t = 0; t < tag; ++t) {
    const SlotDescriptor &d = control->slotDesc[slot][t];
    long size;
    if (d.kind == 1) size = (d.length == 1 || d.length == 2 || d.length == 4) ? d.length : d.length == 3 ? 4 : 0;
    else size = d.length >= 0 ? d.length + 1L : 0;
    offset += size;
    if (offset > TAGDRV_SLOT_DATA_SIZE) return -1;
  }
  return offset;
}

}  // namespace tagdrv

#endif
