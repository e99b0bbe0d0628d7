// What the fuzz targets share: a scratch directory of the process's own,
// text from input bytes, one reader context on the simulated reader, and
// the checks that every result document and status message must pass.
#ifndef VOLNEDA_FUZZ_SUPPORT_H
#define VOLNEDA_FUZZ_SUPPORT_H

#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "api/context.h"
#include "tagdrv_control.h"
#include "test_util.h"
#include "volneda.h"

// A broken promise of the interface is a finding like a sanitizer report.
#define FUZZ_CHECK(cond) \
  ((cond) ? (void)0 : (std::fprintf(stderr, "check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__), std::abort()))

namespace fuzz {

// Each byte one character: the first 256 code points, which the system
// code page mostly keeps as they are.
inline std::u16string Latin1(const std::string &bytes) {
  std::u16string out;
  for (char c : bytes) out.push_back(static_cast<uint8_t>(c));
  return out;
}

// Two bytes a UTF-16 unit, low byte first: any unit, unpaired surrogates
// and the terminator included (a text ends at its first zero unit).
inline std::u16string Units(const std::string &bytes) {
  std::u16string out;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    out.push_back(static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) | static_cast<uint8_t>(bytes[i + 1]) << 8));
  return out;
}

// Removed at exit; the path lives on the heap so that it outlives the
// handler that removes the directory.
inline const std::string &ScratchDir() {
  static const std::string *dir = [] {
    char pattern[] = "/tmp/volneda-fuzz-XXXXXX";
    FUZZ_CHECK(mkdtemp(pattern) != nullptr);
    auto *path = new std::string(pattern);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(ScratchDir(), ignored);
    });
    return path;
  }();
  return *dir;
}

inline std::string WriteScratch(const char *name, const void *data, size_t size) {
  std::string path = ScratchDir() + "/" + name;
  FILE *f = std::fopen(path.c_str(), "wb");
  FUZZ_CHECK(f != nullptr);
  FUZZ_CHECK(std::fwrite(data, 1, size, f) == size || size == 0);
  std::fclose(f);
  return path;
}

// A buffer of exactly size units, so that the sanitizer sees any write past
// it (size 0 too), filled with a unit no copy writes.
inline std::unique_ptr<VOLNEDA_WCHAR[]> Buffer(int32_t size) {
  std::unique_ptr<VOLNEDA_WCHAR[]> buf(new VOLNEDA_WCHAR[size]);
  std::fill(buf.get(), buf.get() + size, static_cast<VOLNEDA_WCHAR>(0xFFFF));
  return buf;
}
// Length of the text in a buffer of size units; -1 when it is not terminated.
inline int32_t Terminated(const VOLNEDA_WCHAR *buf, int32_t size) {
  const VOLNEDA_WCHAR *end = std::find(buf, buf + size, static_cast<VOLNEDA_WCHAR>(0));
  return end == buf + size ? -1 : static_cast<int32_t>(end - buf);
}

// Fetches every waiting status message without blocking, into buffers of
// varied size; each text must come back terminated within its buffer.
inline void Drain(VOLNEDA_HANDLE handle) {
  static const int32_t kSizes[] = {0, 1, 2, 7, 600};
  for (unsigned i = 0; ToContext(handle)->ringCount > 0; ++i) {
    const int32_t size = kSizes[i % 5];
    auto buf = Buffer(size);
    int32_t level, source, code;
    FUZZ_CHECK(DispatcherGetData(handle, &level, &source, &code, buf.get(), size) == 1);
    FUZZ_CHECK(size == 0 || Terminated(buf.get(), size) >= 0);
  }
}

// The result document a command left: GetXMLData gives exactly the length
// the command reported, cut copies end within their buffer, and the text is
// an IdentifyTags or ReadTags document.  length < 0: no document was built.
inline void CheckDocument(VOLNEDA_HANDLE handle, int32_t length) {
  if (length < 0) return;
  for (int32_t size : {0, 1, 2, length / 2 + 1, length + 1}) {
    auto buf = Buffer(size);
    FUZZ_CHECK(VOLNEDA_GetXMLData(handle, buf.get(), size) == 0);
    if (size == 0) continue;
    FUZZ_CHECK(Terminated(buf.get(), size) == std::min(length, size - 1));
    if (size != length + 1) continue;
    XMLREADER_HANDLE doc = nullptr;
    XMLreader_OpenDoc(&doc, buf.get());
    const int32_t kind = XMLreader_GetElement(doc);
    FUZZ_CHECK(kind == 1 || kind == 2);
    XMLreader_CloseDoc(doc);
  }
}

// Runs a command and checks what it leaves.
inline int32_t Command(VOLNEDA_HANDLE handle, const std::u16string &command) {
  int32_t length = -1, tags = 0;
  int32_t rc = VOLNEDA_Command(handle, W(command), &length, &tags);
  CheckDocument(handle, length);
  Drain(handle);
  return rc;
}

inline std::string DataFile(const char *name) { return std::string(VOLNEDA_FUZZ_DATA "/") + name; }

// The process's one reader context, its dispatcher running, with the
// configuration path in the fuzz data directory (so a bare template name
// means its SWTT.INI) and the given tag field file.  With open, the reader
// R1 is opened.  An exit handler closes and stops it all, so that the leak
// check at exit finds everything released.
inline VOLNEDA_HANDLE Session(const std::string &fieldFile, bool open) {
  static VOLNEDA_HANDLE handle = nullptr;
  TagdrvSetFieldFile(fieldFile.c_str());
  VOLNEDA_StartAll(&handle, W(Wide(DataFile("rfconfig.ini"))));
  StartDispatcher(handle);
  if (open) FUZZ_CHECK(VOLNEDA_Open(handle, W(u"R1")) == 0);
  Drain(handle);
  std::atexit([] {
    if (ToContext(handle)->openFlag) VOLNEDA_Close(handle);
    StopDispatcher(handle);
    VOLNEDA_StopAll(&handle);
  });
  return handle;
}

}  // namespace fuzz

#endif
