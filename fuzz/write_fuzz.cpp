// Write requests: VOLNEDA_Write with the input as an inline document
// (UTF-8), or, when it begins with '@', with the rest of it as the content
// of a file named after '@'.  The reader is opened afresh for every input,
// so that no write carries over into the next.
#include "fuzz_support.h"
#include "platform/platform.h"

namespace {
VOLNEDA_HANDLE g_reader;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  g_reader = fuzz::Session(fuzz::DataFile("tagfield.ini"), false);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FUZZ_CHECK(VOLNEDA_Open(g_reader, W(u"R1")) == 0);
  std::u16string request;
  if (size > 0 && data[0] == '@') request = u"@" + Wide(fuzz::WriteScratch("request.xml", data + 1, size - 1));
  else request = plat::Utf8ToWide(std::string_view(reinterpret_cast<const char *>(data), size));
  VOLNEDA_Write(g_reader, W(request));
  VOLNEDA_Close(g_reader);
  fuzz::Drain(g_reader);
  return 0;
}
