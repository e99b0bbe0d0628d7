#include "tool.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "console.h"
#include "format.h"
#include "hints.h"
#include "meanings.h"
#include "presence_json.h"
#include "tag_table.h"
#include "text.h"
#include "volneda.h"

namespace cli {
namespace {

std::string Join(const std::vector<std::string> &words, size_t from = 0, const std::string &between = " ") {
  std::string out;
  for (size_t i = from; i < words.size(); ++i) out += (i > from ? between : "") + words[i];
  return out;
}

// Words of a session line: blanks separate them, single or double quotes
// group (and are removed).
std::vector<std::string> Words(const std::string &line) {
  std::vector<std::string> words;
  std::string word;
  bool in = false;
  char quote = 0;
  for (char c : line) {
    if (quote) {
      if (c == quote) quote = 0;
      else word += c;
    } else if (c == '"' || c == '\'') {
      quote = c;
      in = true;
    } else if (c == ' ' || c == '\t') {
      if (in) words.push_back(word);
      word.clear();
      in = false;
    } else {
      word += c;
      in = true;
    }
  }
  if (in) words.push_back(word);
  return words;
}

}  // namespace

std::string LibraryVersion() {
  int32_t major = 0, minor = 0;
  VOLNEDA_Version(&major, &minor);
  char b[32];
  std::snprintf(b, sizeof b, "%d.%02d", major, minor);
  return b;
}

std::string ConfigPath(const Options &opt) {
  if (!opt.config.empty()) return opt.config;
  const char *env = std::getenv("RF_RFID_CONFIG");
  return env && *env ? env : "rfconfig.ini";
}

std::string ConfigForLibrary(const std::string &path) {
  // The library completes a bare template file name with the reader list's
  // directory; a bare list name has none to give, so it goes as ./NAME (the
  // same file).
  return path.find_first_of("/\\") == std::string::npos ? "./" + path : path;
}

Tool::~Tool() = default;

std::string Tool::ConfigPath() const { return cli::ConfigPath(opt_); }

ReaderSession &Tool::Sess() {
  if (!session_) {
    Note("reader list: " + ConfigPath());
    session_ = std::make_unique<ReaderSession>(ConfigForLibrary(ConfigPath()),
                                               [this](const StatusMessage &m) { OnStatus(m); });
  }
  return *session_;
}

void Tool::OnStatus(const StatusMessage &m) {
  std::lock_guard<std::mutex> g(statusLock_);
  if (m.level < statusLevel_) return;
  std::string line = StatusLine(m);
  if (holdStatus_) {
    held_.push_back(line);
    while (held_.size() > 5) held_.pop_front();
    return;
  }
  Emit(stderr, line);
}

std::string Tool::Explain(int32_t code) { return session_ ? session_->Meaning(code) : CodeMeaning(code); }

int Tool::Fail(const std::string &what, int32_t code, const std::string &cause) {
  if (session_) session_->Flush();
  std::string meaning = Explain(code);
  Emit(stderr, "volneda: " + what + ": " + std::to_string(code) + " (" + meaning + ")" +
                   (cause.empty() ? "" : ": " + cause) + "\n");
  if (opt_.format == Format::kJson) {
    nlohmann::ordered_json j = {{"operation", what}, {"code", code}, {"meaning", meaning}};
    if (!cause.empty()) j["cause"] = cause;
    Json(std::move(j));
  }
  return kExitFailed;
}

int Tool::BadInput(const std::string &what, const std::string &problem) {
  if (session_) session_->Flush();
  Emit(stderr, "volneda: " + what + ": " + problem + "\n");
  if (opt_.format == Format::kJson) Json({{"operation", what}, {"error", problem}});
  return kExitFailed;
}

bool Tool::CodePageHolds(const std::string &what, const std::string &text, bool xml) {
  std::vector<char32_t> lost = UnholdableCharacters(text, xml);
  if (lost.empty()) return true;
  std::string them = lost.size() == 1 ? "it" : "them";
  std::string chars = "the reader's code page (" + CodePageName() + ") cannot hold " + DescribeCharacters(lost);
  if (!opt_.lossy) {
    BadInput(what, chars + ": the library would store '?' for " + them + " (--lossy lets " + them + " through)");
    return false;
  }
  if (!opt_.quiet) Emit(stderr, "volneda: warning: " + what + ": " + chars + ": the library stores '?' for " + them + "\n");
  return true;
}

bool Tool::ListReadable() {
  std::string problem = InputFileProblem(ConfigPath());
  if (problem.empty()) return true;
  BadInput("cannot read the reader list " + ConfigPath(), problem);
  return false;
}

void Tool::Out(const std::string &text) {
  if (session_) session_->Flush();
  Emit(stdout, text);
}

void Tool::Note(const std::string &text) {
  if (opt_.verbose) Emit(stderr, "volneda: " + text + "\n");
}

void Tool::Json(nlohmann::ordered_json j) {
  // Invalid UTF-8 cannot come from the library's UTF-16; replace rather
  // than throw all the same.
  Out(Dump(j, jsonLines_ ? -1 : 2) + "\n");
}

bool Tool::EnsureOpen() {
  ReaderSession &s = Sess();
  if (s.IsOpen()) return true;
  std::string reader = opt_.reader;
  ReaderList list;
  if (reader.empty()) {
    if (!ListReadable()) return false;
    list = s.Readers();
    if (list.code != 0) {
      Fail("no reader to open: the reader list " + ConfigPath() + " gives none (name one with --reader, "
           "or the list with --config FILE or RF_RFID_CONFIG)", list.code);
      return false;
    }
    reader = list.names.front();
  }
  Note("opening reader " + reader);
  int32_t r = s.Open(reader);
  if (r == 0) return true;
  if (list.names.empty()) list = s.Readers();
  Fail("cannot open reader " + reader, r);
  Emit(stderr, "volneda: the reader list " + ConfigPath() +
                   (list.code == 0 ? " holds: " + Join(list.names, 0, ", ") : " cannot be read: " + CodeText(list.code)) +
                   "\n");
  return false;
}

int Tool::Version() {
  std::string lib = LibraryVersion();
  if (opt_.format == Format::kJson) {
    Json({{"tool", VOLNEDA_TOOL_VERSION}, {"library", lib}});
  } else {
    Out(std::string("volneda ") + VOLNEDA_TOOL_VERSION + "\nVOLNEDA library " + lib + "\n");
  }
  return kExitOk;
}

int Tool::Readers() {
  if (!ListReadable()) return kExitFailed;
  ReaderList list = Sess().Readers();
  if (list.code != 0) return Fail("cannot list the readers of " + ConfigPath(), list.code);
  if (opt_.format == Format::kJson) {
    Json({{"config", ConfigPath()}, {"readers", list.names}});
  } else {
    std::string out;
    for (const std::string &n : list.names) out += n + "\n";
    Out(out);
  }
  return kExitOk;
}

int Tool::ShowResult(const std::string &command, const CommandResult &r) {
  if (r.code != 0) return Fail(command, r.code, CommandCause(command, r.code));
  ResultDoc doc;
  if (opt_.format == Format::kXml) {
    Out(r.xml);
  } else if (!ParseResultDoc(r.xml, doc)) {
    return Fail(command + ": the result document cannot be read", -1);
  } else if (opt_.format == Format::kJson) {
    nlohmann::ordered_json j = {{"command", command}, {"code", 0}};
    j.update(DocJson(doc, opt_.trim));
    Json(std::move(j));
  } else {
    Out(DocTable(doc, opt_.trim));
  }
  return kExitOk;
}

int Tool::Command(const std::string &command) {
  if (!opt_.quiet)
    for (const std::string &hint : SelectListHints(command)) Emit(stderr, "volneda: note: " + hint + "\n");
  if (!CodePageHolds(command, command) || !EnsureOpen()) return kExitFailed;
  Note("command: " + command);
  CommandResult r = Sess().Command(command);
  return ShowResult(command, r);
}

int Tool::Identify(const std::vector<std::string> &args) {
  std::string where = Join(args);
  // "identify swtt=0456" reads as "identify where swtt=0456".
  if (!where.empty() && !StartsWithWord(where, "where")) where = "where " + where;
  return Command(where.empty() ? "identify" : "identify " + where);
}

int Tool::Read(const std::vector<std::string> &args) {
  std::string rest = Join(args);
  return Command(rest.empty() ? "read" : "read " + rest);
}

int Tool::Write(const std::vector<std::string> &args) {
  std::string request;
  std::string what;
  if (opt_.inlineGiven) {
    if (!args.empty()) {
      Emit(stderr, "volneda: write takes either --inline TEXT or FILE, not both\n");
      return kExitUsage;
    }
    request = opt_.inlineText;
    what = "write --inline";
  } else if (args.size() != 1) {
    Emit(stderr, "volneda: write needs one request: FILE, - or --inline TEXT (volneda write --help)\n");
    return kExitUsage;
  } else if (args[0] == "-") {
    what = "write -";
    if (!ReadBounded(std::cin, request))
      return BadInput(what, std::string("standard input holds more than ") + kMaxInputText);
    DropByteOrderMark(request);
  } else {
    // The library reads the file itself (UTF-8).
    request = "@" + args[0];
    what = "write " + args[0];
  }
  return RunWrite(request, what);
}

int Tool::RunWrite(const std::string &request, const std::string &what) {
  // A request file is looked at here too: for what it is, and for its text.
  std::string text = request;
  if (!request.empty() && request[0] == '@') {
    const std::string path = request.substr(1);
    std::string problem = InputFileProblem(path);
    if (!problem.empty()) return BadInput(what, "cannot read " + path + ": " + problem);
    // One that cannot be opened is the library's to report (-3000).
    if (!ReadInputFile(path, text, problem)) text.clear();
  }
  if (!CodePageHolds(what, text, true) || !EnsureOpen()) return kExitFailed;
  int32_t r = Sess().Write(request);
  if (r != 0) return Fail(what, r);
  // Silent on success in the other formats: the status messages tell.
  if (opt_.format == Format::kJson) Json({{"operation", what}, {"code", 0}, {"meaning", CodeMeaning(0)}});
  return kExitOk;
}

int Tool::Attr(const std::vector<std::string> &args) {
  bool get = args.size() == 2 && args[0] == "get";
  bool set = args.size() >= 3 && args[0] == "set";
  if (!get && !set) {
    Emit(stderr, "volneda: attr get NAME | attr set NAME VALUE (volneda attr --help)\n");
    return kExitUsage;
  }
  const std::string &name = args[1];
  std::string value = set ? Join(args, 2) : std::string();
  if (set && !CodePageHolds("attr set " + name, name + " " + value)) return kExitFailed;
  if (!EnsureOpen()) return kExitFailed;
  int32_t r = set ? Sess().SetAttribute(name, value) : Sess().GetAttribute(name, value);
  if (r != 0) return Fail("attr " + args[0] + " " + name, r);
  if (set) value = AsStored(value);  // what the reader now holds (--lossy)
  if (opt_.format == Format::kJson) Json({{"attribute", name}, {"value", value}, {"code", 0}});
  else if (opt_.format == Format::kXml && get) Out(value + "\n");
  else Out(name + " = " + value + "\n");
  return kExitOk;
}

int Tool::Watch(const std::vector<std::string> &args) {
  std::string rest = Join(args);
  std::string command = rest.empty() ? "identify"
                        : StartsWithWord(rest, "where") ? "identify " + rest
                                                             : "read " + rest;
  if (opt_.interval < 0 || opt_.count < 0) {
    Emit(stderr, "volneda: --interval and --count take numbers of 0 or more\n");
    return kExitUsage;
  }
  // Information messages would come every round: they take --verbose.
  if (!opt_.verbose && !opt_.quiet) statusLevel_ = 1;
  bool live = liveWatch_ && IsTerminal(stdout) && opt_.format == Format::kTable;
  // Rounds are numbered in as many digits as the last one has (4 for a
  // watch without end), so that nothing moves as they pass 9, 99, ...
  const size_t roundWidth = opt_.count ? std::to_string(opt_.count).size() : 4;
  bool withFields = command.rfind("read", 0) == 0;
  jsonLines_ = true;
  if (!CodePageHolds(command, command) || !EnsureOpen()) return kExitFailed;
  CatchInterrupt();
  if (live) {
    std::lock_guard<std::mutex> g(statusLock_);
    holdStatus_ = true;
  }
  volneda::PresenceRules rules = opt_.rules;
  rules.interval = opt_.interval;
  TagTable table(rules);
  int status = kExitOk;
  while (!Interrupted()) {
    auto started = std::chrono::steady_clock::now();
    CommandResult r = Sess().Command(command);
    if (r.code != 0) {
      if (live) {
        std::lock_guard<std::mutex> g(statusLock_);
        holdStatus_ = false;
        for (const std::string &line : held_) Emit(stderr, line);
        held_.clear();
      }
      status = Fail(command, r.code, CommandCause(command, r.code));
      break;
    }
    ResultDoc doc;
    ParseResultDoc(r.xml, doc);
    // Presence is decided by the tracker, the same as in the console and the
    // Java and Python layers; the table keeps what it shows.
    std::vector<volneda::PresenceEvent> events = table.Update(doc, Clock::now());
    if (live) {
      Sess().Flush();
      // Fitted to the terminal as it is now: a line that wrapped would
      // push the table down at every redraw.
      const size_t width = TerminalWidth(stdout);
      std::string round = "round " + RightAligned(std::to_string(table.Round()), roundWidth) +
                          (opt_.count ? "/" + std::to_string(opt_.count) : "");
      std::string present = std::to_string(table.PresentCount()) + " in the field";
      std::string every = "every " + std::to_string(opt_.interval) + " ms";
      std::string title = Sess().Reader() + "  " + command + "  " + round + "  " + every + "  " + present + "  (Ctrl-C stops)";
      if (title.size() > width) title = Sess().Reader() + "  " + round + "  " + present + "  " + command;
      std::string screen = "\x1b[H\x1b[2J" + FitLines(title, width, false) + "\n\n";
      screen += WatchTable(table, withFields, width, roundWidth);
      std::lock_guard<std::mutex> g(statusLock_);
      if (!held_.empty()) screen += "\n";
      for (const std::string &line : held_) screen += FitLines(line, width, true);
      held_.clear();
      Emit(stdout, screen);
    } else if (opt_.format == Format::kXml && opt_.formatGiven) {
      Out(r.xml);
    } else {
      std::string lines;
      for (const volneda::PresenceEvent &e : events)
        lines += opt_.format == Format::kJson ? Dump(PresenceEventJson(e, Sess().Reader(), doc, opt_.trim)) + "\n"
                                              : EventLine(e, doc, roundWidth);
      if (!lines.empty()) Out(lines);
    }
    if (opt_.count && static_cast<long>(table.Round()) >= opt_.count) break;
    auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    if (!SleepUnlessInterrupted(opt_.interval - static_cast<long>(spent.count()))) break;
  }
  {
    std::lock_guard<std::mutex> g(statusLock_);
    holdStatus_ = false;
  }
  if (!live && opt_.format == Format::kTable && opt_.formatGiven && status == kExitOk)
    Out(WatchTable(table, withFields, 0, roundWidth));
  return status;
}

int Tool::RunLine(const std::string &raw, bool &quit) {
  std::string line = Trim(raw);
  if (line.empty() || line[0] == '#') return kExitOk;
  size_t cut = line.find_first_of(" \t");
  std::string verb = Lower(line.substr(0, cut));
  std::string rest = cut == std::string::npos ? std::string() : Trim(line.substr(cut));
  std::vector<std::string> words = Words(rest);
  if (verb == "quit" || verb == "exit") {
    quit = true;
    return kExitOk;
  }
  if (verb == "readers") return Readers();
  if (verb == "version") return Version();
  if (verb == "identify") return Identify({rest});
  if (verb == "read") return Read({rest});
  if (verb == "command") return Command(rest);
  if (verb == "attr") return Attr(words);
  if (verb == "write") {
    if (words.size() == 1 && words[0] == "-") {
      Emit(stderr, "volneda: write - cannot be used in a session: give a file or --inline TEXT\n");
      return kExitUsage;
    }
    if (StartsWithWord(rest, "--inline")) return RunWrite(Trim(rest.substr(8)), "write --inline");
    return Write(words);
  }
  if (verb == "help") {
    std::string text;
    Out(VerbHelp(Lower(rest), text) ? text : Usage());
    return kExitOk;
  }
  if (verb == "session" || verb == "watch" || verb == "demo") {
    Emit(stderr, "volneda: " + verb + " cannot run inside a session\n");
    return kExitUsage;
  }
  // Anything else goes to the reader as a command, as it stands: the
  // library's parser says what is wrong with it.
  return Command(line);
}

int Tool::Session(const std::vector<std::string> &args) {
  if (args.size() > 1) {
    Emit(stderr, "volneda: session takes one file (or - for standard input)\n");
    return kExitUsage;
  }
  std::ifstream file;
  bool fromStdin = args.empty() || args[0] == "-";
  if (!fromStdin) {
    std::string problem = InputFileProblem(args[0]);
    try {
      if (problem.empty()) file.open(Utf8Path(args[0]), std::ios::binary);
    } catch (const std::exception &) {
    }
    if (!file.is_open()) return BadInput("session", "cannot read " + args[0] + (problem.empty() ? "" : ": " + problem));
  }
  std::istream &in = fromStdin ? std::cin : file;
  // At a terminal the session goes on after a failure; from a file or a
  // pipe the first failure ends it, with its line.
  bool interactive = fromStdin && IsTerminal(stdin);
  if (opt_.format == Format::kJson) jsonLines_ = true;
  int status = kExitOk;
  std::string line;
  bool quit = false;
  for (long number = 1; !quit; ++number) {
    if (interactive) Emit(stderr, "volneda> ");
    bool tooLong = false;
    if (!ReadLine(in, line, tooLong)) {
      if (!tooLong) break;
      status = BadInput("session", "line " + std::to_string(number) + " is longer than " + kMaxInputText);
      break;
    }
    if (number == 1) DropByteOrderMark(line);
    int r = RunLine(line, quit);
    if (r == kExitOk) continue;
    status = r;
    if (interactive) continue;
    Emit(stderr, "volneda: session stopped at line " + std::to_string(number) + "\n");
    break;
  }
  if (interactive) Emit(stderr, "\n");
  return status;
}

}  // namespace cli
