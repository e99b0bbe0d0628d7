// trace.h -- every driver call of a reader as one JSON line, for a user who
// must see what passes between the library and a driver.
//
// A line holds the call's sequence number, thread, monotonic time and
// duration in microseconds, function, handle and reader; the request as it
// went in (operation, tag range, each slot's start, length and kind, the
// bytes written); and the answer (status, driver error and its text, the
// tags found with their identifiers, SWTT, type, antenna and status, field
// statuses, the bytes read; attribute names and values).  Each line is
// flushed as it is written, so a trace survives a crash of the process.
#ifndef TAGDRV_TRACE_H
#define TAGDRV_TRACE_H

#include <cstdint>
#include <string>
#include <vector>

#include "tagdrv.h"

namespace tagdrv {

struct TraceOptions {
  bool hideData = false;  // bytes read and written left out (their lengths stay)
  bool diffable = false;  // no times, threads or handles: two runs compare line by line
};

struct TraceFile;  // one output file, shared by every reader that names it

// Opens (appends to) the file; the same path gives the same TraceFile,
// kept for the life of the process.  Null, with a text, when it cannot be
// written.
TraceFile *OpenTraceFile(const std::string &path, std::string &error);

// One call being traced: begun before the backend runs, ended after.
struct TraceCall {
  TraceFile *file = nullptr;
  TraceOptions options;
  std::string line;             // the JSON object so far
  int64_t startUs = 0;
  std::vector<std::string> written;  // a write's bytes, [tag * slots + slot], taken before the call
  uint32_t slots = 0;
};

void TraceBegin(TraceCall &call, TraceFile *file, const TraceOptions &options, const char *function,
                const void *handle, const std::string &reader);
// The handle, left out of the diffable form.
void TraceHandle(TraceCall &call, const void *handle);
void TraceInt(TraceCall &call, const char *key, int64_t value);
void TraceText(TraceCall &call, const char *key, const std::string &text);
// The request of an identify, read or write, before the call.
void TraceRequest(TraceCall &call, const RfidControl *control, bool write);
// Its answer: the result, driverError with errorText, and the tags.
void TraceAnswer(TraceCall &call, const RfidControl *control, int32_t result, const std::string &errorText,
                 bool identify, bool read);
// Adds the duration, writes the line and flushes it.
void TraceEnd(TraceCall &call);

}  // namespace tagdrv

#endif
