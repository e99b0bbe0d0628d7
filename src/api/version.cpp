// Version and sound: the exported calls that need no reader context.
#include "platform/platform.h"
#include "platform/widestring.h"
#include "volneda.h"

extern "C" {

VOLNEDA_API void VOLNEDA_CALL VOLNEDA_Version(int32_t *majorOut, int32_t *minorOut) {
  if (majorOut) *majorOut = 1;
  if (minorOut) *minorOut = 23;
}

VOLNEDA_API void VOLNEDA_CALL VOLNEDA_PlaySndFile(const VOLNEDA_WCHAR *fileName) {
  try {
    if (fileName) plat::PlaySoundFile(wstr::FromApi(fileName));
  } catch (...) {
  }
}

VOLNEDA_API void VOLNEDA_CALL VOLNEDA_PlaySndMemory(const void *soundImage) {
  try {
    if (soundImage) plat::PlaySoundMemory(soundImage);
  } catch (...) {
  }
}

}  // extern "C"
