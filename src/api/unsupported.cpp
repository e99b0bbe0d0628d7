// Reader settings this library does not support: they say so, through the
// result code and a status message.
#include "api/dispatcher.h"
#include "api/result_codes.h"

extern "C" {

VOLNEDA_API int32_t VOLNEDA_CALL SetUseScanTrigger(VOLNEDA_HANDLE handle, int32_t) {
  ReaderContext *context = ToContext(handle);
  if (!context) return kErrNullContext;
  try {
    Post(context, kLevelInfo, kSrcScanTrigger, kErrScanTriggerUnsupported, u"");
  } catch (...) {
  }
  return kErrScanTriggerUnsupported;
}

VOLNEDA_API int32_t VOLNEDA_CALL SetCommTimeOut(VOLNEDA_HANDLE handle, int32_t) {
  ReaderContext *context = ToContext(handle);
  if (!context) return kErrNullContext;
  try {
    Post(context, kLevelWarning, kSrcCommTimeOut, kErrCommTimeOutUnsupported, u"");
  } catch (...) {
  }
  return kErrCommTimeOutUnsupported;
}

}  // extern "C"
