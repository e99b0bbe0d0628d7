// result_codes.h -- every result code the library returns.  0 is success,
// negative failure.  docs/result-codes.md explains each to callers.
#ifndef VOLNEDA_RESULT_CODES_H
#define VOLNEDA_RESULT_CODES_H

#include <cstdint>

enum : int32_t {
  kOk = 0,
  // Write request document.
  kErrDocLoad = -3000,
  kErrDocUnusable = -3002,
  // -3003 .. -3014: the individual document checks (write request).
  // Command string defects; -3203 is not used.
  kErrCommandFirst = -3200,
  kErrCommandLast = -3208,
  // Reader discovery.
  kErrConfigLoad = -3251,
  kErrNoReaderEntry = -3252,
  kErrNoFurtherReader = -3253,
  // Reader operations.
  kErrNotOpen = -3300,
  kErrNoTemplate = -3301,
  kErrNoSuchField = -3302,
  kErrAlreadyOpen = -3303,
  kErrTemplateLoad = -3304,
  kErrNullContext = -3307,
  // Writes.
  kErrWriteNoTagFound = -3350,
  kErrWriteSomeNotFound = -3351,
  kErrWriteFailed = -3352,
  // Unsupported settings.
  kErrScanTriggerUnsupported = -3400,
  kErrCommTimeOutUnsupported = -3450,
};

#endif
