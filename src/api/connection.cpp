// Opening and closing a reader, driver error texts and the last result
// document.
#include <cstdlib>
#include <cstring>

#include "api/dispatcher.h"
#include "api/result_codes.h"
#include "config/swtt.h"
#include "platform/widestring.h"
#include "tagdrv.h"

extern "C" {

VOLNEDA_API int32_t VOLNEDA_CALL VOLNEDA_Open(VOLNEDA_HANDLE handle, const VOLNEDA_WCHAR *readerName) {
  ReaderContext *context = ToContext(handle);
  if (!context) return kErrNullContext;
  OperationHold hold(context);
  try {
    if (context->openFlag) {
      Post(context, kLevelWarning, kSrcOpen, kErrAlreadyOpen, u"Reader is already open");
      return kErrAlreadyOpen;
    }
    // A closed context holds neither a document nor a template (Close
    // released them); freeing here is the safe way to reach that state
    // whatever came before.
    std::free(context->docText);
    context->docText = nullptr;
    SwttFree(context);
    // A name longer than 31 bytes is cut to the field.
    plat::WideToAnsiField(wstr::FromApi(readerName), context->readerName, kReaderNameSize);
    Post(context, kLevelInfo, kSrcOpen, kOk, u"Opening reader...");
    context->lastStatus = 0;
    G4HANDLE driver = G4Open(context->readerName, &context->lastStatus, context->driverInfo, 0, 0);
    if (!driver || context->lastStatus < 0) {
      int32_t status = context->lastStatus;
      Post(context, kLevelCritical, kSrcOpen, status, u"Reader failed to open");
      // No handle with a status that is not negative: the driver gave no
      // reason, so the failure is reported as -3300 (no reader open)
      // rather than as a status that reads like success.  A handle that
      // came with a failing status gets no further call: the open failed,
      // and what the driver keeps behind it is the driver's to release.
      return status < 0 ? status : kErrNotOpen;
    }
    context->driverHandle = driver;
    context->openFlag = 1;
    context->control = RFIDAllocateControl(driver, &context->lastStatus);
    if (context->lastStatus < 0) {
      Post(context, kLevelError, kSrcOpen, context->lastStatus, u"");
      return context->lastStatus;
    }
    VOLNEDA_WCHAR templateFile[64] = {};
    VOLNEDA_GetAttribute(handle, wstr::ToApi(u"RFID_SWTT_FILE_NAME"), templateFile);
    if (SwttLoad(wstr::FromApi(templateFile), context))
      Post(context, kLevelInfo, kSrcTemplate, kOk, u"SWTT.INI read");
    else
      Post(context, kLevelWarning, kSrcTemplate, kOk, u"No SWTT.INI file");
    return kOk;
  } catch (...) {
    return kErrNotOpen;
  }
}

VOLNEDA_API int32_t VOLNEDA_CALL VOLNEDA_Close(VOLNEDA_HANDLE handle) {
  ReaderContext *context = ToContext(handle);
  if (!context) return kErrNullContext;
  OperationHold hold(context);
  try {
    if (!context->openFlag) {
      Post(context, kLevelError, kSrcClose, kErrNotOpen, u"");
      return kErrNotOpen;
    }
    auto driver = static_cast<G4HANDLE>(context->driverHandle);
    // The free is made even for a control block the driver failed to
    // allocate (then null): the calling order is the same on every close.
    RFIDFreeControl(driver, context->control, &context->lastStatus);
    G4Close(driver, &context->lastStatus);
    context->control = nullptr;
    context->driverHandle = nullptr;
    std::free(context->docText);
    context->docText = nullptr;
    SwttFree(context);
    context->openFlag = 0;
    return kOk;
  } catch (...) {
    return kErrNotOpen;
  }
}

VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL VOLNEDA_GetErrorString(VOLNEDA_HANDLE handle, int32_t errorCode,
                                                             VOLNEDA_WCHAR *textBuffer) {
  ReaderContext *context = ToContext(handle);
  if (!context) return 1;
  OperationHold hold(context);
  try {
    if (!context->openFlag) return 0;
    char text[113] = {};
    std::u16string out;
    if (G4GetErrorString(static_cast<G4HANDLE>(context->driverHandle), errorCode, text) == 0) {
      text[112] = 0;
      out = plat::AnsiToWide(text);
    } else {
      out = u"Unable to retieve Errorstring detail";
    }
    // The caller's buffer holds 112 characters: the text is cut to 111 and
    // terminated, never written past it.
    if (textBuffer) plat::WideToWideField(out, reinterpret_cast<char16_t *>(textBuffer), 112);
    return 1;
  } catch (...) {
    return 0;
  }
}

VOLNEDA_API int32_t VOLNEDA_CALL VOLNEDA_GetXMLData(VOLNEDA_HANDLE handle, VOLNEDA_WCHAR *textBuffer,
                                                    int32_t capacity) {
  ReaderContext *context = ToContext(handle);
  if (!context) return kErrNullContext;
  OperationHold hold(context);
  try {
    if (!context->docText || !textBuffer || capacity <= 0) return kOk;
    // A document longer than the buffer is cut to capacity - 1 characters
    // and terminated.
    plat::AnsiToWideField(static_cast<const char *>(context->docText), reinterpret_cast<char16_t *>(textBuffer),
                          static_cast<size_t>(capacity));
    return kOk;
  } catch (...) {
    return kOk;
  }
}

}  // extern "C"
