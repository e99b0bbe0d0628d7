// The driver host: the ten driver functions that VOLNEDA calls, routing
// each reader to the backend its driver configuration names (host_config.h)
// and tracing its calls when the configuration asks for it.
//
// The handle the library holds addresses a HostSession, whose first member
// is the interface version of the backend's reader; the backend's own
// handle is kept inside it.  Without tracing a call costs one indirect call
// more than calling the backend directly.
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>

#include "backend.h"
#include "call_count.h"
#include "host_config.h"
#include "tagdrv.h"
#include "trace/trace.h"

namespace tagdrv {
namespace {

// The host's own codes, for readers it cannot hand to a backend; kept out
// of the library's range and apart from the backends' codes.
enum : int32_t {
  kErrNotConfigured = -110,
  kErrUnknownBackend = -111,
  kErrConfigUnreadable = -112,
  kErrTraceUnwritable = -113,
  kErrNoPcsc = -114,
};

struct HostSession {
  G4DriverRecord record;  // first: the handle is this record's address
  const Backend *backend;
  G4HANDLE inner;
  std::string reader;
  TraceFile *trace;  // null: not traced
  TraceOptions traceOptions;
};
static_assert(std::is_standard_layout_v<HostSession>, "the handle is the record");

HostSession *Of(G4HANDLE handle) { return reinterpret_cast<HostSession *>(handle); }

// What the last failed open on this thread was, so that G4GetErrorString
// without a handle can give its text: the host's own text, or the backend
// that failed, asked without a handle.
thread_local int32_t t_hostCode = 0;
thread_local std::string t_hostText;
thread_local const Backend *t_failedBackend = nullptr;

G4HANDLE HostFail(int32_t code, const std::string &text, int32_t *status) {
  t_hostCode = code;
  t_hostText = text;
  t_failedBackend = nullptr;
  *status = code;
  return nullptr;
}

const Backend *BackendNamed(const std::string &name) {
  if (name == "sim") return &SimBackend();
  if (name == "vendor") return &VendorBackend();
  if (name == "pcsc") return PcscBackend();
  return nullptr;
}

// The text of a driver error for a trace line, from the backend.
std::string ErrorText(const HostSession *s, int32_t code) {
  char text[TAGDRV_ERROR_TEXT_MAX + 1] = {};
  if (s->backend->errorString(s->inner, code, text) != 0) return "";
  text[TAGDRV_ERROR_TEXT_MAX] = 0;
  return text;
}

// A traced call of one of the functions with a status out-parameter.
template <typename Call>
int32_t Traced(HostSession *s, const char *function, int32_t *status, Call call) {
  TraceCall t;
  TraceBegin(t, s->trace, s->traceOptions, function, s, s->reader);
  int32_t r = call();
  TraceInt(t, "ret", r);
  if (status) {
    TraceInt(t, "status", *status);
    if (*status < 0) TraceText(t, "errorText", ErrorText(s, *status));
  }
  TraceEnd(t);
  return r;
}

// A traced identify, read or write.
int32_t TracedRequest(HostSession *s, const char *function, RfidControl *control,
                      int32_t (*Backend::*call)(G4HANDLE, RfidControl *), bool identify, bool read) {
  TraceCall t;
  TraceBegin(t, s->trace, s->traceOptions, function, s, s->reader);
  TraceRequest(t, control, !identify && !read);
  int32_t r = (s->backend->*call)(s->inner, control);
  TraceAnswer(t, control, r, control && control->driverError ? ErrorText(s, control->driverError) : "", identify,
              read);
  TraceEnd(t);
  return r;
}

// A traced attribute call: the name before, the value after (or before,
// for a set).
int32_t TracedAttribute(HostSession *s, const char *function, G4AttrList *list, int32_t *status, bool set) {
  TraceCall t;
  TraceBegin(t, s->trace, s->traceOptions, function, s, s->reader);
  const bool whole = list && list->count >= 1 && list->names && list->values && list->names[0] && list->values[0];
  auto text = [](const char *p, size_t size) { return std::string(p, strnlen(p, size)); };
  if (whole) TraceText(t, "name", text(list->names[0], TAGDRV_ATTR_NAME_SIZE));
  if (whole && set) TraceText(t, "value", text(list->values[0]->text, TAGDRV_ATTR_VALUE_SIZE));
  int32_t r = set ? s->backend->setAttr(s->inner, list, status) : s->backend->getAttr(s->inner, list, status);
  if (whole && !set) TraceText(t, "value", text(list->values[0]->text, TAGDRV_ATTR_VALUE_SIZE));
  if (status) {
    TraceInt(t, "status", *status);
    if (*status) TraceText(t, "errorText", ErrorText(s, *status));
  }
  TraceEnd(t);
  return r;
}

}  // namespace

}  // namespace tagdrv

using namespace tagdrv;

extern "C" {

TAGDRV_API G4HANDLE TAGDRV_CALL G4Open(const char *readerName, int32_t *status, void *infoArea, int32_t, int32_t) {
  tagdrv::Called(tagdrv::kG4Open);
  int32_t dummy;
  if (!status) status = &dummy;
  try {
    const std::string name = readerName ? std::string(readerName, strnlen(readerName, 32)) : std::string();
    // Read at every open: an edited configuration holds from the next open.
    DriverConfig config;
    std::string error;
    const std::string path = ConfigPath();
    if (!LoadDriverConfig(path, config, error)) return HostFail(kErrConfigUnreadable, error, status);
    ReaderConfig reader;
    if (!FindReader(config, name, reader))
      return HostFail(kErrNotConfigured, "reader not configured: " + name + " (in " + config.file + ")", status);
    const Backend *backend = BackendNamed(reader.backend);
    if (!backend) {
      if (reader.backend == "pcsc")
        return HostFail(kErrNoPcsc, "this driver was built without PC/SC: reader " + name, status);
      return HostFail(kErrUnknownBackend, "unknown backend \"" + reader.backend + "\" for reader " + name, status);
    }
    TraceFile *trace = nullptr;
    TraceOptions options;
    const std::string tracePath = reader.Get("trace");
    if (!tracePath.empty()) {
      if (!(trace = OpenTraceFile(tracePath, error))) return HostFail(kErrTraceUnwritable, error, status);
      options.hideData = reader.Get("trace.data") == "hide";
      options.diffable = reader.Get("trace.form") == "diffable";
    }
    TraceCall t;
    if (trace) TraceBegin(t, trace, options, "G4Open", nullptr, name);
    G4HANDLE inner = backend->open(reader, status, infoArea);
    if (trace) {
      TraceText(t, "backend", backend->name);
      TraceInt(t, "status", *status);
      if (inner) TraceText(t, "version", std::to_string(inner->majorVersion) + "." + std::to_string(inner->minorVersion));
    }
    if (!inner || *status < 0) {
      // A handle with a failing status is released here, in the driver:
      // the library makes no further call with it.
      if (inner) {
        int32_t ignored = 0;
        backend->close(inner, &ignored);
      }
      t_hostCode = 0;
      t_failedBackend = backend;
      if (trace) {
        char text[TAGDRV_ERROR_TEXT_MAX + 1] = {};
        if (backend->errorString(nullptr, *status, text) == 0) TraceText(t, "errorText", text);
        TraceEnd(t);
      }
      return nullptr;
    }
    auto *session = new HostSession{*inner, backend, inner, name, trace, options};
    if (trace) {
      TraceHandle(t, session);
      TraceEnd(t);
    }
    return &session->record;
  } catch (...) {
    return HostFail(kErrConfigUnreadable, "driver configuration cannot be read", status);
  }
}

TAGDRV_API int32_t TAGDRV_CALL G4Close(G4HANDLE handle, int32_t *status) {
  tagdrv::Called(tagdrv::kG4Close);
  HostSession *s = Of(handle);
  if (!s) return 1;
  int32_t r = s->trace ? Traced(s, "G4Close", status, [&] { return s->backend->close(s->inner, status); })
                       : s->backend->close(s->inner, status);
  delete s;
  return r;
}

TAGDRV_API RfidControl *TAGDRV_CALL RFIDAllocateControl(G4HANDLE handle, int32_t *status) {
  tagdrv::Called(tagdrv::kAllocate);
  HostSession *s = Of(handle);
  if (!s) {
    if (status) *status = kErrNotConfigured;
    return nullptr;
  }
  if (!s->trace) return s->backend->allocate(s->inner, status);
  RfidControl *control = nullptr;
  Traced(s, "RFIDAllocateControl", status, [&] {
    control = s->backend->allocate(s->inner, status);
    return 0;
  });
  return control;
}

TAGDRV_API int32_t TAGDRV_CALL RFIDFreeControl(G4HANDLE handle, RfidControl *control, int32_t *status) {
  tagdrv::Called(tagdrv::kFree);
  HostSession *s = Of(handle);
  if (!s) return 1;
  if (!s->trace) return s->backend->free(s->inner, control, status);
  return Traced(s, "RFIDFreeControl", status, [&] { return s->backend->free(s->inner, control, status); });
}

TAGDRV_API int32_t TAGDRV_CALL G4SetAttr(G4HANDLE handle, G4AttrList *list, int32_t *status) {
  tagdrv::Called(tagdrv::kSetAttr);
  HostSession *s = Of(handle);
  if (!s) return 1;
  if (!s->trace) return s->backend->setAttr(s->inner, list, status);
  return TracedAttribute(s, "G4SetAttr", list, status, true);
}

TAGDRV_API int32_t TAGDRV_CALL G4GetAttr(G4HANDLE handle, G4AttrList *list, int32_t *status) {
  tagdrv::Called(tagdrv::kGetAttr);
  HostSession *s = Of(handle);
  if (!s) return 1;
  if (!s->trace) return s->backend->getAttr(s->inner, list, status);
  return TracedAttribute(s, "G4GetAttr", list, status, false);
}

TAGDRV_API int32_t TAGDRV_CALL G4Identify(G4HANDLE handle, RfidControl *control) {
  tagdrv::Called(tagdrv::kIdentify);
  HostSession *s = Of(handle);
  if (!s) return 1;
  if (!s->trace) return s->backend->identify(s->inner, control);
  return TracedRequest(s, "G4Identify", control, &Backend::identify, true, false);
}

TAGDRV_API int32_t TAGDRV_CALL G4Read(G4HANDLE handle, RfidControl *control) {
  tagdrv::Called(tagdrv::kRead);
  HostSession *s = Of(handle);
  if (!s) return 1;
  if (!s->trace) return s->backend->read(s->inner, control);
  return TracedRequest(s, "G4Read", control, &Backend::read, false, true);
}

TAGDRV_API int32_t TAGDRV_CALL G4Write(G4HANDLE handle, RfidControl *control) {
  tagdrv::Called(tagdrv::kWrite);
  HostSession *s = Of(handle);
  if (!s) return 1;
  if (!s->trace) return s->backend->write(s->inner, control);
  return TracedRequest(s, "G4Write", control, &Backend::write, false, false);
}

TAGDRV_API int32_t TAGDRV_CALL G4GetErrorString(G4HANDLE handle, int32_t errorCode, char *buffer) {
  tagdrv::Called(tagdrv::kErrorString);
  if (!buffer) return 1;
  HostSession *s = Of(handle);
  if (s) {
    int32_t r = s->backend->errorString(s->inner, errorCode, buffer);
    if (s->trace) {
      TraceCall t;
      TraceBegin(t, s->trace, s->traceOptions, "G4GetErrorString", s, s->reader);
      TraceInt(t, "code", errorCode);
      TraceInt(t, "ret", r);
      if (r == 0) TraceText(t, "text", std::string(buffer, strnlen(buffer, TAGDRV_ERROR_TEXT_MAX + 1)));
      TraceEnd(t);
    }
    return r;
  }
  // Without a handle: the text of the last failed open on this thread,
  // the host's or its backend's; else the simulated reader's texts, as
  // the driver has always given them.
  if (t_hostCode && errorCode == t_hostCode) {
    std::snprintf(buffer, TAGDRV_ERROR_TEXT_MAX + 1, "%s", t_hostText.c_str());
    return 0;
  }
  if (t_failedBackend && t_failedBackend->errorString(nullptr, errorCode, buffer) == 0) return 0;
  return SimBackend().errorString(nullptr, errorCode, buffer);
}

}  // extern "C"
