// tool.h -- the volneda tool: its options, and the verbs that run on one
// reader session.  Arguments are parsed in main.cpp, help texts live in
// help.cpp, the demo in demo.cpp.
#ifndef VOLNEDA_CLI_TOOL_H
#define VOLNEDA_CLI_TOOL_H

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "result_doc.h"
#include "volneda_presence.hpp"
#include "session.h"

namespace cli {

enum class Format { kTable, kXml, kJson };

struct Options {
  std::string config;        // empty: RF_RFID_CONFIG, then rfconfig.ini
  std::string reader;        // empty: the first reader of the list
  Format format = Format::kTable;
  bool formatGiven = false;  // --format was given (else: table on a terminal, xml elsewhere)
  bool quiet = false, verbose = false;
  long interval = 500, count = 0;   // watch (the interval of the presence rules' default)
  volneda::PresenceRules rules;     // watch: the rest of its rules (--arrive, --leave-rounds, ...)
  bool rulesGiven = false;          // one of those options was given
  bool inlineGiven = false;         // write --inline
  std::string inlineText;
  std::string listen;               // serve: ADDR:PORT (empty: 127.0.0.1:8080)
  bool lossy = false;               // text the code page cannot hold goes as '?' (with a warning)
  bool trim = false;                // String values without the blanks that pad them
  bool toField = false;             // trace --to-field
};

// Exit statuses.
constexpr int kExitOk = 0, kExitFailed = 1, kExitUsage = 2;

class Tool {
 public:
  explicit Tool(Options options) : opt_(std::move(options)), statusLevel_(opt_.quiet ? 99 : 0) {}
  ~Tool();

  // Each verb takes the words after it and returns an exit status.
  int Readers();
  int Identify(const std::vector<std::string> &args);
  int Read(const std::vector<std::string> &args);
  int Command(const std::string &command);
  int Write(const std::vector<std::string> &args);
  // Hands a request (text, or @FILE) to the library; `what` names it in
  // messages.
  int RunWrite(const std::string &request, const std::string &what);
  int Attr(const std::vector<std::string> &args);
  int Watch(const std::vector<std::string> &args);
  int Session(const std::vector<std::string> &args);
  int Demo();
  int Version();

  // The reader list file the library reads, for messages.
  std::string ConfigPath() const;

 private:

  ReaderSession &Sess();
  // Opens the reader of --reader (else the list's first) unless one is
  // open; prints why not and returns false when it cannot.
  bool EnsureOpen();
  void OnStatus(const StatusMessage &m);
  // The meaning of a code: the library's table, else the driver's text.
  std::string Explain(int32_t code);
  // Prints the failure of an operation: its code, the code's meaning and,
  // when known, the likely cause.
  int Fail(const std::string &what, int32_t code, const std::string &cause = std::string());
  void Out(const std::string &text);
  void Note(const std::string &text);  // --verbose only, to stderr
  void Json(nlohmann::ordered_json j);
  int ShowResult(const std::string &command, const CommandResult &r);
  // Whether text for the library (`what` names it) is held by its code
  // page; refuses it, or with --lossy warns, naming the characters.
  bool CodePageHolds(const std::string &what, const std::string &text, bool xml = false);
  // Refuses an input file that is not a regular file or too large.
  int BadInput(const std::string &what, const std::string &problem);
  // The reader list must be a regular file within the input limit (a
  // missing one is left to the library, which says so).
  bool ListReadable();
  int RunLine(const std::string &line, bool &quit);

  Options opt_;
  std::unique_ptr<ReaderSession> session_;
  bool jsonLines_ = false;  // one compact object per line (session, watch)
  bool liveWatch_ = true;   // a watch on a terminal redraws its table
  // While a live watch table is on screen, messages are kept for it.
  std::mutex statusLock_;
  bool holdStatus_ = false;
  int statusLevel_;  // the lowest level of status message shown
  std::deque<std::string> held_;
};

// The reader list file the library reads: --config, else RF_RFID_CONFIG,
// else rfconfig.ini.
std::string ConfigPath(const Options &opt);
// The path as it is handed to the library (a bare name as ./NAME).
std::string ConfigForLibrary(const std::string &path);
// "1.23".
std::string LibraryVersion();

// volneda trace: a driver trace as a table, as JSON, or as a tag field
// file (trace_view.cpp).
int Trace(const Options &opt, const std::vector<std::string> &args);

// volneda serve: the reader console in the browser (serve.cpp).
int Serve(const Options &opt, const std::vector<std::string> &args);

// Help: the tool's usage, and one verb's.  False for an unknown verb.
std::string Usage();
bool VerbHelp(const std::string &verb, std::string &text);
bool IsVerb(const std::string &word);

}  // namespace cli

#endif
