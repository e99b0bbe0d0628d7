// Loading and releasing the SWTT tag template table of a reader context.
#include "config/swtt.h"

#include <cstdlib>
#include <cstring>

#include "api/dispatcher.h"
#include "api/result_codes.h"
#include "config/inistuff.h"
#include "platform/decimal.h"
#include "platform/widestring.h"

namespace {

void CopyCut(char *dst, size_t size, const char *src) {
  size_t n = std::strlen(src);
  if (n > size - 1) n = size - 1;
  std::memcpy(dst, src, n);
  dst[n] = 0;
}

// Splits an f_NN value into its items: a run of commas is one separator,
// and commas at either end make no item.  Blanks are kept.
void ParseFieldValue(const char *value, SwttField &field) {
  char cut[64];
  CopyCut(cut, sizeof cut, value);  // the whole value holds at most 63 characters
  std::string items[4];
  int count = 0;
  const char *p = cut;
  while (*p && count < 4) {
    while (*p == ',') ++p;
    if (!*p) break;
    const char *start = p;
    while (*p && *p != ',') ++p;
    items[count++].assign(start, p);
  }
  if (count > 0) CopyCut(field.name, sizeof field.name, items[0].c_str());
  if (count > 1) field.dataStart = DecimalValue(items[1]);
  if (count > 2) field.dataLen = DecimalValue(items[2]);
  if (count > 3) field.dataType = items[3][0];
}

}  // namespace

bool SwttLoad(const std::u16string &fileName, ReaderContext *context) {
  if (!context) return false;
  char path[128];
  plat::WideToAnsiField(fileName, path, sizeof path);
  // The file stays this load's from its loading to its release, whatever
  // other contexts do meanwhile.
  auto hold = IniHold();
  if (IniLoadFile(path) != INI_OK) {
    IniFreeFile();
    return false;
  }
  char name[64];
  int count = 0;
  for (bool more = IniFirstSection(name, sizeof name); more; more = IniNextSection(name, sizeof name)) ++count;
  // calloc: a missing ID, item or field reads as empty, 0 and 0.
  auto *table = static_cast<SwttTemplate *>(std::calloc(count ? count : 1, sizeof(SwttTemplate)));
  if (!table) {
    IniFreeFile();
    return false;
  }
  context->templateCount = count;
  context->templates = table;
  int i = 0;
  for (bool more = IniFirstSection(name, sizeof name); more && i < count;
       more = IniNextSection(name, sizeof name), ++i) {
    SwttTemplate &t = table[i];
    CopyCut(t.mask, sizeof t.mask, name);
    char value[64];
    if (IniGetString(name, "ID", value, sizeof value)) CopyCut(t.id, sizeof t.id, value);
    for (int nn = 0; nn < kSwttFieldCount; ++nn) {
      char key[8];
      std::snprintf(key, sizeof key, "f_%02d", nn);
      if (!IniGetString(name, key, value, sizeof value)) {
        t.fields[nn].defined = 0;
        continue;
      }
      t.fields[nn].defined = 1;
      ParseFieldValue(value, t.fields[nn]);
    }
  }
  IniFreeFile();
  return true;
}

void SwttFree(ReaderContext *context) {
  if (!context) return;
  std::free(context->templates);
  context->templates = nullptr;
  context->templateCount = 0;
}

extern "C" {

VOLNEDA_API int32_t VOLNEDA_CALL VOLNEDA_LoadSWTT(VOLNEDA_HANDLE handle, const VOLNEDA_WCHAR *fileName) {
  ReaderContext *context = ToContext(handle);
  if (!context) return kErrNullContext;
  OperationHold hold(context);
  try {
    if (!context->openFlag) {
      Post(context, kLevelError, kSrcTemplate, kErrNotOpen, u"");
      return kErrNotOpen;
    }
    SwttFree(context);
    if (SwttLoad(wstr::FromApi(fileName), context)) {
      Post(context, kLevelInfo, kSrcTemplate, kOk, u"SWTT.INI loaded");
      return kOk;
    }
    Post(context, kLevelError, kSrcTemplate, kErrTemplateLoad, u"");
    return kErrTemplateLoad;
  } catch (...) {
    return kErrTemplateLoad;
  }
}

VOLNEDA_API void VOLNEDA_CALL VOLNEDA_UnloadSWTT(VOLNEDA_HANDLE handle) {
  ReaderContext *context = ToContext(handle);
  if (!context) return;
  OperationHold hold(context);
  try {
    Post(context, kLevelInfo, kSrcTemplate, kOk, u"Unload SWTT.ini");
    SwttFree(context);
  } catch (...) {
  }
}

}  // extern "C"
