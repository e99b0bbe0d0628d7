#include "session.h"

#include <chrono>
#include <cstring>

#ifdef VOLNEDA_CLI_DRIVER
#include "tagdrv.h"
#endif

#include "meanings.h"
#include "text.h"

namespace cli {
namespace {

// SetCommTimeOut changes nothing and posts (warning, source 24, -3450,
// empty text) whatever the state of the context.  The tool posts it as a
// marker behind the messages of an operation: when the fetch thread sees
// it, everything posted before it has been handled.  The marker itself is
// not shown.
constexpr int32_t kMarkerLevel = 1, kMarkerSource = 24, kMarkerCode = -3450;

bool IsMarker(const StatusMessage &m) {
  return m.level == kMarkerLevel && m.source == kMarkerSource && m.code == kMarkerCode && m.text.empty();
}

// A message that can be lost (the ring drops posts while 99 wait) must not
// hang the tool: a flush gives up after this long.
constexpr auto kFlushLimit = std::chrono::seconds(2);

}  // namespace

ReaderSession::ReaderSession(const std::string &configPath, StatusHandler handler) : handler_(std::move(handler)) {
  VOLNEDA_StartAll(&context_, Api(Utf8To16(configPath)));
  StartDispatcher(context_);
  fetcher_ = std::thread(&ReaderSession::Fetch, this);
}

ReaderSession::~ReaderSession() {
  if (open_) Close();
  Stop();
  VOLNEDA_StopAll(&context_);
}

void ReaderSession::Fetch() {
  for (;;) {
    int32_t level = 0, source = 0, code = 0;
    VOLNEDA_WCHAR text[512] = {};
    {
      std::lock_guard<std::mutex> g(lock_);
      waiting_ = true;
    }
    changed_.notify_all();
    bool got = DispatcherGetData(context_, &level, &source, &code, text, 512);
    {
      std::lock_guard<std::mutex> g(lock_);
      waiting_ = false;
    }
    if (!got) return;
    StatusMessage m{level, source, code, FromApi(text, 512)};
    if (IsMarker(m)) {
      std::lock_guard<std::mutex> g(lock_);
      ++markersSeen_;
    } else {
      bool hide;
      {
        std::lock_guard<std::mutex> g(lock_);
        hide = hideCloseNotOpen_ && m.source == 6 && m.code == -3300;
      }
      if (!hide && handler_) handler_(m);
    }
    changed_.notify_all();
  }
}

void ReaderSession::Flush() {
  uint64_t target;
  {
    std::lock_guard<std::mutex> g(lock_);
    target = ++markersPosted_;
  }
  SetCommTimeOut(context_, 0);
  std::unique_lock<std::mutex> g(lock_);
  if (!changed_.wait_for(g, kFlushLimit, [&] { return markersSeen_ >= target; }))
    markersSeen_ = markersPosted_;  // the marker was dropped: start afresh
}

void ReaderSession::Stop() {
  // StopDispatcher must find the fetch thread waiting for it: drain what is
  // queued, then wait until the thread is back in DispatcherGetData.
  Flush();
  {
    std::unique_lock<std::mutex> g(lock_);
    changed_.wait_for(g, kFlushLimit, [&] { return waiting_; });
  }
  // Between setting the flag and blocking in the wait there are a few
  // instructions; give them their moment.
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  StopDispatcher(context_);
  fetcher_.join();
}

ReaderList ReaderSession::Readers() {
  ReaderList list;
  VOLNEDA_WCHAR name[32] = {};
  list.code = VOLNEDA_FindFirstReader(context_, name, nullptr);
  if (list.code != 0) return list;
  do list.names.push_back(FromApi(name, 32));
  while (VOLNEDA_FindNextReader(context_, name) == 0);
  return list;
}

int32_t ReaderSession::Open(const std::string &reader) {
  int32_t r = VOLNEDA_Open(context_, Api(Utf8To16(reader)));
  if (open_) return r;  // already open: that reader stays
  if (r == 0) {
    open_ = true;
    reader_ = reader;
    return 0;
  }
  // An open that failed after the driver had opened the reader leaves it
  // open; the close releases it, and when there was nothing to release its
  // "not open" message is the tool's own doing and is not shown.
  Flush();
  {
    std::lock_guard<std::mutex> g(lock_);
    hideCloseNotOpen_ = true;
  }
  VOLNEDA_Close(context_);
  Flush();
  {
    std::lock_guard<std::mutex> g(lock_);
    hideCloseNotOpen_ = false;
  }
  return r;
}

int32_t ReaderSession::Close() {
  open_ = false;
  reader_.clear();
  return VOLNEDA_Close(context_);
}

CommandResult ReaderSession::Command(const std::string &command) {
  CommandResult result;
  int32_t length = 0;
  result.code = VOLNEDA_Command(context_, Api(Utf8To16(command)), &length, &result.tagCount);
  if (result.code == 0 && length > 0) {
    std::vector<VOLNEDA_WCHAR> doc(static_cast<size_t>(length) + 1);
    VOLNEDA_GetXMLData(context_, doc.data(), length + 1);
    result.xml = FromApi(doc.data(), doc.size());
  }
  return result;
}

int32_t ReaderSession::Write(const std::string &request) {
  return VOLNEDA_Write(context_, Api(Utf8To16(request)));
}

int32_t ReaderSession::GetAttribute(const std::string &name, std::string &value) {
  VOLNEDA_WCHAR buffer[64] = {};
  int32_t r = VOLNEDA_GetAttribute(context_, Api(Utf8To16(name)), buffer);
  value = FromApi(buffer, 64);
  return r;
}

int32_t ReaderSession::SetAttribute(const std::string &name, const std::string &value) {
  return VOLNEDA_SetAttribute(context_, Api(Utf8To16(name)), Api(Utf8To16(value)));
}

std::string ReaderSession::DriverText(int32_t code) {
  if (!open_) {
#ifdef VOLNEDA_CLI_DRIVER
    // Before a reader is open (an open that failed) the library has no
    // driver handle to ask for the text: the driver library is asked
    // directly, as its texts for open failures do not need a reader.
    char text[TAGDRV_ERROR_TEXT_MAX + 1] = {};
    if (G4GetErrorString(nullptr, code, text) != 0) return std::string();
    return FromCodePage(std::string_view(text, strnlen(text, TAGDRV_ERROR_TEXT_MAX)));
#else
    return std::string();
#endif
  }
  VOLNEDA_WCHAR text[113] = {};
  if (!VOLNEDA_GetErrorString(context_, code, text)) return std::string();
  std::string t = FromApi(text, 113);
  // The library's own words for "the driver has no text for it".
  return t == "Unable to retieve Errorstring detail" ? std::string() : t;
}

std::string ReaderSession::Meaning(int32_t code) {
  if (FindCode(code)) return CodeMeaning(code);
  std::string t = DriverText(code);
  return t.empty() ? CodeMeaning(code) : "reader driver: " + t;
}

}  // namespace cli
