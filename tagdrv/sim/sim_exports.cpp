// The simulated reader as a driver library of its own, without the host:
// the ten driver functions straight onto the simulated backend.  It is what
// a vendor's driver is to the host (the vendor backend loads it in the
// tests), and a reference of the bare driver interface.
#include <cstring>

#include "backend.h"
#include "call_count.h"
#include "tagdrv.h"

using tagdrv::SimBackend;

extern "C" {

TAGDRV_API G4HANDLE TAGDRV_CALL G4Open(const char *readerName, int32_t *status, void *infoArea, int32_t, int32_t) {
  tagdrv::Called(tagdrv::kG4Open);
  int32_t dummy;
  tagdrv::ReaderConfig reader;
  reader.name = readerName ? std::string(readerName, strnlen(readerName, 32)) : std::string();
  reader.backend = "sim";
  return SimBackend().open(reader, status ? status : &dummy, infoArea);
}
TAGDRV_API int32_t TAGDRV_CALL G4Close(G4HANDLE h, int32_t *status) {
  tagdrv::Called(tagdrv::kG4Close); return SimBackend().close(h, status); }
TAGDRV_API RfidControl *TAGDRV_CALL RFIDAllocateControl(G4HANDLE h, int32_t *status) {
  tagdrv::Called(tagdrv::kAllocate);
  return SimBackend().allocate(h, status);
}
TAGDRV_API int32_t TAGDRV_CALL RFIDFreeControl(G4HANDLE h, RfidControl *c, int32_t *status) {
  tagdrv::Called(tagdrv::kFree);
  return SimBackend().free(h, c, status);
}
TAGDRV_API int32_t TAGDRV_CALL G4SetAttr(G4HANDLE h, G4AttrList *l, int32_t *status) {
  tagdrv::Called(tagdrv::kSetAttr);
  return SimBackend().setAttr(h, l, status);
}
TAGDRV_API int32_t TAGDRV_CALL G4GetAttr(G4HANDLE h, G4AttrList *l, int32_t *status) {
  tagdrv::Called(tagdrv::kGetAttr);
  return SimBackend().getAttr(h, l, status);
}
TAGDRV_API int32_t TAGDRV_CALL G4Identify(G4HANDLE h, RfidControl *c) {
  tagdrv::Called(tagdrv::kIdentify); return SimBackend().identify(h, c); }
TAGDRV_API int32_t TAGDRV_CALL G4Read(G4HANDLE h, RfidControl *c) {
  tagdrv::Called(tagdrv::kRead); return SimBackend().read(h, c); }
TAGDRV_API int32_t TAGDRV_CALL G4Write(G4HANDLE h, RfidControl *c) {
  tagdrv::Called(tagdrv::kWrite); return SimBackend().write(h, c); }
TAGDRV_API int32_t TAGDRV_CALL G4GetErrorString(G4HANDLE h, int32_t code, char *buffer) {
  tagdrv::Called(tagdrv::kErrorString);
  return SimBackend().errorString(h, code, buffer);
}

}  // extern "C"
