// Reader discovery: the sections of the reader list file are the readers.
#include <cstring>

#include "api/dispatcher.h"
#include "api/result_codes.h"
#include "config/inistuff.h"
#include "platform/widestring.h"

namespace {

// Used when neither a file name nor a configuration path is available.
constexpr const char *kFallbackReaderList = "rfconfig.ini";

void NameOut(const char *name, VOLNEDA_WCHAR *buffer) {
  if (buffer) plat::AnsiToWideField(name, reinterpret_cast<char16_t *>(buffer), 32);
}

}  // namespace

extern "C" {

VOLNEDA_API int32_t VOLNEDA_CALL VOLNEDA_FindFirstReader(VOLNEDA_HANDLE handle, VOLNEDA_WCHAR *nameOut,
                                                         const VOLNEDA_WCHAR *fileName) {
  ReaderContext *context = ToContext(handle);
  try {
    std::u16string given = wstr::FromApi(fileName);
    char path[260];
    if (!given.empty()) {
      plat::WideToAnsiField(given, path, sizeof path);
    } else if (context && context->configPath[0]) {
      plat::AnsiToAnsiField(context->configPath, path, sizeof path);
    } else {
      // No context or an empty configuration path: the fallback file in
      // the current directory.
      plat::AnsiToAnsiField(kFallbackReaderList, path, sizeof path);
    }
    // Loading and taking the first name are one step for other threads.
    auto hold = IniHold();
    if (IniLoadFile(path) != INI_OK) {
      Post(context, kLevelError, kSrcDiscovery, kErrConfigLoad, plat::AnsiToWide(path));
      return kErrConfigLoad;
    }
    char name[32];
    if (!IniFirstSection(name, sizeof name)) {
      IniFreeFile();
      return kErrNoReaderEntry;
    }
    NameOut(name, nameOut);
    return kOk;
  } catch (...) {
    return kErrConfigLoad;
  }
}

VOLNEDA_API int32_t VOLNEDA_CALL VOLNEDA_FindNextReader(VOLNEDA_HANDLE, VOLNEDA_WCHAR *nameOut) {
  try {
    char name[32];
    // The release is that of the list this call found exhausted, not of a
    // file another thread loaded in between.
    auto hold = IniHold();
    if (!IniNextSection(name, sizeof name)) {
      IniFreeFile();
      return kErrNoFurtherReader;
    }
    NameOut(name, nameOut);
    return kOk;
  } catch (...) {
    return kErrNoFurtherReader;
  }
}

}  // extern "C"
