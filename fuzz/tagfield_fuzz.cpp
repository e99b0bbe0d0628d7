// The simulated driver's tag field file: the input as the file, then open
// the reader R1 it names, identify, read, write and read again.
#include <cstring>

#include "fuzz_support.h"

namespace {

VOLNEDA_HANDLE g_reader;
std::string g_field;

// Covers the SWTT element and every field kind and type, on the tags of a
// template, on all tags and on one tag by its identifier.
const char16_t kWrite[] =
    u"<WriteTags><Tag SWTT=\"0\"><SWTTField EntryNr=\"1\">NEW</SWTTField>"
    u"<MEMField MemStart=\"40\" MemLen=\"4\" MemType=\"Int\">1000</MEMField></Tag>"
    u"<Tag><MEMField MemStart=\"250\" MemType=\"Hex\">0102030405060708</MEMField>"
    u"<MEMField MemStart=\"20\">text</MEMField></Tag>"
    u"<Tag ID=\"0123456789ABCDEF\"><SWTT>0456000000AB</SWTT></Tag></WriteTags>";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  g_field = fuzz::ScratchDir() + "/field.ini";
  g_reader = fuzz::Session(g_field, false);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // The template file the reader names would be read from anywhere; the
  // reader's default, SWTT.INI of the fuzz data, is used instead.
  static const char kTemplateAttribute[] = "RFID_SWTT_FILE_NAME";
  if (memmem(data, size, kTemplateAttribute, sizeof kTemplateAttribute - 1)) return -1;
  fuzz::WriteScratch("field.ini", data, size);
  if (VOLNEDA_Open(g_reader, W(u"R1")) == 0) {
    fuzz::Command(g_reader, u"identify");
    fuzz::Command(g_reader, u"read");
    fuzz::Command(g_reader, u"read mem(all,0,256,h) mem(swtt,12,6,s) mem(n,40,4,i) field(0,1) where swtt=0");
    VOLNEDA_Write(g_reader, W(kWrite));
    fuzz::Command(g_reader, u"read mem(all,0,256,h)");
  }
  // Also after an open whose control block the driver refused: the reader
  // stays open then, for Close to release.
  VOLNEDA_Close(g_reader);
  fuzz::Drain(g_reader);
  return 0;
}
