// session.h -- one reader context of the library, as the tool uses it: the
// context and its dispatcher, a thread that hands every status message to a
// handler as it arrives, the open reader, and the operations on it.  The
// teardown keeps the library's order: Close, StopDispatcher (once the fetch
// thread waits for it), StopAll.
#ifndef VOLNEDA_CLI_SESSION_H
#define VOLNEDA_CLI_SESSION_H

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "volneda.h"

namespace cli {

struct StatusMessage {
  int32_t level = 0, source = 0, code = 0;
  std::string text;  // UTF-8
};

struct CommandResult {
  int32_t code = 0;
  int32_t tagCount = 0;
  std::string xml;  // the result document as VOLNEDA_GetXMLData gives it, in UTF-8
};

struct ReaderList {
  int32_t code = 0;  // 0, or the failure of VOLNEDA_FindFirstReader
  std::vector<std::string> names;
};

class ReaderSession {
 public:
  using StatusHandler = std::function<void(const StatusMessage &)>;

  // An empty configPath leaves the choice to the library (RF_RFID_CONFIG,
  // then rfconfig.ini in the current directory).  The handler runs on the
  // fetch thread.
  ReaderSession(const std::string &configPath, StatusHandler handler);
  ~ReaderSession();
  ReaderSession(const ReaderSession &) = delete;
  ReaderSession &operator=(const ReaderSession &) = delete;

  ReaderList Readers();
  // A failed open leaves no reader open.
  int32_t Open(const std::string &reader);
  int32_t Close();
  bool IsOpen() const { return open_; }
  const std::string &Reader() const { return reader_; }

  CommandResult Command(const std::string &command);
  // A WriteTags document, or '@' and the name of a UTF-8 file holding one.
  int32_t Write(const std::string &request);
  int32_t GetAttribute(const std::string &name, std::string &value);
  int32_t SetAttribute(const std::string &name, const std::string &value);
  // The driver's text for one of its codes (with no reader open, as the
  // driver library gives it without one: the texts of open failures);
  // empty when it has none.
  std::string DriverText(int32_t code);
  // The meaning of a code: the library's table, else the driver's text
  // ("reader driver: ..."), else the table's word for other codes.
  std::string Meaning(int32_t code);

  // Returns once every status message posted so far has gone through the
  // handler, so that output written after it follows them.
  void Flush();

 private:
  void Fetch();
  void Stop();

  VOLNEDA_HANDLE context_ = nullptr;
  StatusHandler handler_;
  std::thread fetcher_;
  bool open_ = false;
  std::string reader_;

  std::mutex lock_;
  std::condition_variable changed_;
  uint64_t markersPosted_ = 0, markersSeen_ = 0;  // see Flush
  bool waiting_ = false;       // the fetch thread is in DispatcherGetData
  bool hideCloseNotOpen_ = false;
};

}  // namespace cli

#endif
