// Commands: VOLNEDA_Command with the input as its text (UTF-8) against the
// simulated reader, then the result document through VOLNEDA_GetXMLData
// with varied capacities and the status messages.
#include "fuzz_support.h"
#include "platform/platform.h"

namespace {
VOLNEDA_HANDLE g_reader;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  g_reader = fuzz::Session(fuzz::DataFile("tagfield.ini"), true);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzz::Command(g_reader, plat::Utf8ToWide(std::string_view(reinterpret_cast<const char *>(data), size)));
  return 0;
}
