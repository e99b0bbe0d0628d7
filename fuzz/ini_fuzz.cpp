// INI files: the input as a reader list file through reader discovery, then
// as a template file through VOLNEDA_LoadSWTT, followed by reads of every
// template field of the simulated reader's tags and of listed fields.
#include "fuzz_support.h"

namespace {
VOLNEDA_HANDLE g_reader;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  g_reader = fuzz::Session(fuzz::DataFile("tagfield.ini"), true);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::u16string path = Wide(fuzz::WriteScratch("file.ini", data, size));
  auto name = fuzz::Buffer(32);
  // Every section at most once: the enumeration ends, and frees the text.
  int32_t rc = VOLNEDA_FindFirstReader(g_reader, name.get(), W(path));
  for (size_t n = 0; rc == 0; ++n) {
    FUZZ_CHECK(fuzz::Terminated(name.get(), 32) >= 0 && n <= size);
    rc = VOLNEDA_FindNextReader(g_reader, name.get());
  }
  FUZZ_CHECK(rc == -3251 || rc == -3252 || rc == -3253);
  FUZZ_CHECK(VOLNEDA_LoadSWTT(g_reader, W(path)) == 0);
  fuzz::Drain(g_reader);
  fuzz::Command(g_reader, u"read");
  fuzz::Command(g_reader, u"read field(0,1,7,15,16) mem(m,0,16,h) where swtt=0");
  return 0;
}
