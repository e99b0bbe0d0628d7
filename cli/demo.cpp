// volneda demo: a tour of the library on one screen.  Each step is what the
// verb it names prints, on a reader opened anew for it, as when that
// command is typed; the watch therefore starts from the field's first round.
#include <string>

#include "console.h"
#include "tool.h"

namespace cli {

int Tool::Demo() {
  opt_.format = Format::kTable;
  opt_.formatGiven = true;
  bool quiet = opt_.quiet;
  // Warnings and errors show; information only where it tells something.
  auto level = [&](int lowest) {
    if (session_) session_->Flush();
    std::lock_guard<std::mutex> g(statusLock_);
    statusLevel_ = quiet ? 99 : lowest;
  };
  auto step = [&](const std::string &words, const std::string &command) {
    session_.reset();  // each step on a reader of its own
    level(1);
    Emit(stdout, "\n" + words + "\n   $ " + command + "\n");
  };
  int failed = 0;
  auto check = [&](int r) { failed = failed ? failed : r; };

  Emit(stdout, "Each step is a volneda command on the simulated reader: try them yourself.\n");

  step("1. The readers the reader list names (the first is the one opened by default):",
       "volneda readers");
  check(Readers());
  if (failed) return failed;

  std::string reader = opt_.reader;
  if (reader.empty()) {
    ReaderList list = Sess().Readers();
    reader = list.names.empty() ? std::string() : list.names.front();
    opt_.reader = reader;
  }
  step("2. The tags in the field of " + reader + "; the SWTT identifier picks a tag's template:",
       "volneda identify");
  check(Identify({}));

  step("3. Fields by number, raw memory by mem(); field 5 does not exist (a warning):",
       "volneda read 'field(1,5) mem(head,0,4,h)' where swtt=0456");
  check(Read({"field(1,5) mem(head,0,4,h) where swtt=0456"}));

  const std::string tag = "0456000000000007";
  const std::string request = "<WriteTags><Tag ID=\"" + tag +
                              "\"><SWTTField EntryNr=\"1\">1250</SWTTField>"
                              "<MEMField MemStart=\"48\">Müller</MEMField></Tag></WriteTags>";
  const std::string readBack = "read field(1) mem(name,48,6,s) where tagid=" + tag;
  step("4. Write, then read back on one open reader; status messages tell each step:",
       "volneda session\n   > write --inline <WriteTags><Tag ID=\"" + tag + "\">\n"
           "     <SWTTField EntryNr=\"1\">1250</SWTTField>\n"
           "     <MEMField MemStart=\"48\">Müller</MEMField></Tag></WriteTags>\n   > " +
           readBack);
  if (EnsureOpen()) {
    bool quit = false;
    level(0);
    check(RunLine("write --inline " + request, quit));
    level(1);
    check(RunLine(readBack, quit));
  } else {
    check(kExitFailed);
  }

  // By the default rules a tag may miss one round: the carton, gone after
  // round 4, is reported left in round 6.
  step("5. A watch of six rounds: a carton passes (in the field in rounds 3 and 4, left after\n"
       "   two rounds without it, in round 6), a pallet arrives (5):",
       "volneda watch --count 6 --interval 200 --format table | cat");
  // As on a pipe: the events of every round stay on the screen, then the table.
  liveWatch_ = false;
  opt_.count = 6;
  opt_.interval = 200;
  check(Watch({}));
  session_.reset();
  return failed;
}

}  // namespace cli
