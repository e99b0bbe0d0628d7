// Names and attributes: VOLNEDA_Open with a reader name, then
// VOLNEDA_SetAttribute and VOLNEDA_GetAttribute with a name and a value,
// all of arbitrary UTF-16 (two input bytes a unit).
#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz_support.h"

namespace {
VOLNEDA_HANDLE g_reader;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  g_reader = fuzz::Session(fuzz::DataFile("tagfield.ini"), false);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzedDataProvider in(data, size);
  const bool templateName = in.ConsumeBool();
  const std::u16string reader = fuzz::Units(in.ConsumeRandomLengthString(size));
  const std::u16string name = templateName ? u"RFID_SWTT_FILE_NAME" : fuzz::Units(in.ConsumeRandomLengthString(size));
  const std::u16string value = fuzz::Units(in.ConsumeRemainingBytesAsString());
  // A name no reader has leaves the context closed; R1 is opened then.
  if (VOLNEDA_Open(g_reader, W(reader)) != 0) FUZZ_CHECK(VOLNEDA_Open(g_reader, W(u"R1")) == 0);
  VOLNEDA_SetAttribute(g_reader, W(name), W(value));
  for (const std::u16string &asked : {name, std::u16string(u"RFID_SWTT_FILE_NAME"), value}) {
    auto buf = fuzz::Buffer(64);
    VOLNEDA_GetAttribute(g_reader, W(asked), buf.get());
    FUZZ_CHECK(fuzz::Terminated(buf.get(), 64) >= 0);
  }
  FUZZ_CHECK(VOLNEDA_Close(g_reader) == 0);
  fuzz::Drain(g_reader);
  return 0;
}
