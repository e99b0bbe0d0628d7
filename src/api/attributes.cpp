// Reader attributes: one name/value pair at a time through the driver.
#include <cstdlib>
#include <cstring>
#include <memory>

#include "api/dispatcher.h"
#include "api/result_codes.h"
#include "platform/widestring.h"
#include "tagdrv.h"

namespace {

// The one-entry attribute list the driver expects, allocated around one
// call.  The value record is zero-filled, so a driver that leaves it alone
// gives an empty value.
struct AttrList {
  char name[TAGDRV_ATTR_NAME_SIZE] = {};
  G4AttrValue value = {};
  char *names[1];
  G4AttrValue *values[1];
  G4AttrList list;
  AttrList() : names{name}, values{&value}, list{1, names, values} {}
};

// The separator put between the configuration directory and the file name.
#if defined(_WIN32)
constexpr const char *kSeparator = "\\";
#else
constexpr const char *kSeparator = "/";  // a backslash is no separator here
#endif

// RFID_SWTT_FILE_NAME with no directory is completed with the drive and
// directory of the configuration path, as "%s%s\%s%s": the configuration
// directory keeps its trailing separator and one more follows.  The doubled
// separator is harmless to both Windows and POSIX file systems; with an
// empty configuration path the name ends up at the root.
std::string CompleteTemplatePath(const std::string &value, const char *configPath) {
  plat::PathParts v = plat::SplitPath(value);
  if (!v.dir.empty()) return value;
  plat::PathParts c = plat::SplitPath(configPath);
  auto cut = [](std::string s) {
    if (s.size() > 255) s.resize(255);  // each part at most 256 bytes
    return s;
  };
  return cut(c.drive) + cut(c.dir) + kSeparator + cut(v.fname) + cut(v.ext);
}

}  // namespace

extern "C" {

VOLNEDA_API int32_t VOLNEDA_CALL VOLNEDA_SetAttribute(VOLNEDA_HANDLE handle, const VOLNEDA_WCHAR *name,
                                                      const VOLNEDA_WCHAR *value) {
  ReaderContext *context = ToContext(handle);
  if (!context) return kErrNullContext;
  OperationHold hold(context);
  try {
    if (!context->openFlag) {
      Post(context, kLevelError, kSrcSetAttribute, kErrNotOpen, u"SetAttribute");
      return kErrNotOpen;
    }
    std::u16string wname = wstr::FromApi(name);
    auto list = std::make_unique<AttrList>();
    // Too long a name or value is cut to its buffer at a character boundary.
    plat::WideToAnsiField(wname, list->name, sizeof list->name);
    plat::WideToAnsiField(wstr::FromApi(value), list->value.text, sizeof list->value.text);
    G4SetAttr(static_cast<G4HANDLE>(context->driverHandle), &list->list, &context->lastStatus);
    int32_t status = context->lastStatus;
    Post(context, status ? kLevelError : kLevelInfo, kSrcSetAttribute, status, wname);
    return status;
  } catch (...) {
    return kErrNotOpen;
  }
}

VOLNEDA_API int32_t VOLNEDA_CALL VOLNEDA_GetAttribute(VOLNEDA_HANDLE handle, const VOLNEDA_WCHAR *name,
                                                      VOLNEDA_WCHAR *valueBuffer) {
  ReaderContext *context = ToContext(handle);
  if (!context) return kErrNullContext;
  OperationHold hold(context);
  try {
    if (!context->openFlag) {
      Post(context, kLevelError, kSrcGetAttribute, kErrNotOpen, u"GetAttribute");
      return kErrNotOpen;
    }
    std::u16string wname = wstr::FromApi(name);
    auto list = std::make_unique<AttrList>();
    plat::WideToAnsiField(wname, list->name, sizeof list->name);
    G4GetAttr(static_cast<G4HANDLE>(context->driverHandle), &list->list, &context->lastStatus);
    int32_t status = context->lastStatus;
    list->value.text[sizeof list->value.text - 1] = 0;  // a driver that forgot the terminator
    std::string text = list->value.text;
    if (wname == u"RFID_SWTT_FILE_NAME") text = CompleteTemplatePath(text, context->configPath);
    // A value longer than 63 characters is cut to the 64-character buffer.
    if (valueBuffer) plat::AnsiToWideField(text, reinterpret_cast<char16_t *>(valueBuffer), 64);
    Post(context, status ? kLevelError : kLevelInfo, kSrcGetAttribute, status, wname);
    return status;
  } catch (...) {
    return kErrNotOpen;
  }
}

}  // extern "C"
