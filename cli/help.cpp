// The tool's help: its usage, and the syntax and an example of every verb.
#include <string>

#include "tool.h"

namespace cli {
namespace {

struct VerbText {
  const char *name, *syntax, *summary, *details, *example;
};

constexpr VerbText kVerbs[] = {
    {"readers", "volneda readers", "list the readers of the reader list",
     "Prints the readers that the reader list file names, one a line, in its\n"
     "order; the first is the one the other verbs open without --reader.\n",
     "volneda --config examples/rfconfig.ini readers"},
    {"identify", "volneda identify [where] [swtt=MASK] [tagid=ID]", "list the tags in the reader's field",
     "Runs an identify: every tag in the field, or those whose SWTT identifier\n"
     "begins with MASK (up to 12 hexadecimal digits), or the one tag ID (16\n"
     "hexadecimal digits).  The word where may be left out.\n",
     "volneda identify where swtt=0456"},
    {"read", "volneda read [* | SELECT-LIST] [where swtt=MASK | tagid=ID]", "read the fields of the tags in the field",
     "read alone reads every field of each tag's template, and read * where ...\n"
     "the same of the tags the clause selects; read where ... with no list reads\n"
     "no field, only the tags.  A select list names template fields by number,\n"
     "field(0,1), and raw memory as mem(NAME,START,LENGTH,TYPE) with TYPE h\n"
     "(hexadecimal), i (integer) or s (string); quote it for the shell.  A string\n"
     "written shorter than its field was filled up with blanks, and reads back\n"
     "with them (--trim drops them).\n",
     "volneda read 'field(0,1) mem(head,0,4,h)' where swtt=0456"},
    {"command", "volneda command TEXT...", "run any command string as the library takes it",
     "Hands the words, joined by blanks, to the reader as one command, unchanged:\n"
     "what the command language cannot parse comes back as its result code.\n",
     "volneda command 'read field(1) where tagid=0456000000000007'"},
    {"write", "volneda write FILE | - | --inline TEXT", "write tag fields from a WriteTags request",
     "Carries out a WriteTags request document: from FILE (UTF-8, read by the\n"
     "library; a regular file of at most 16 MiB), from standard input (-), or\n"
     "given inline.  The outcome per tag and per field comes as status messages.\n"
     "Values the reader's code page cannot hold are refused (see --lossy).\n",
     "volneda write --inline '<WriteTags><Tag ID=\"0456000000000007\">"
     "<SWTTField EntryNr=\"1\">1250</SWTTField></Tag></WriteTags>'"},
    {"attr", "volneda attr get NAME | attr set NAME VALUE", "get or set a reader attribute",
     "Reads or sets one attribute of the open reader; a value of several words\n"
     "is joined by blanks.\n",
     "volneda attr get RFID_SWTT_FILE_NAME"},
    {"watch", "volneda watch [--interval MS] [--count N] [RULES] [SELECT-LIST] [where ...]",
     "follow the tags coming into the field and leaving it",
     "Repeats an identify (or, with a select list, a read) every MS milliseconds\n"
     "(default 500), N times or until Ctrl-C, and reports the tags that arrive\n"
     "and leave by the presence rules (the same in the console, Java and Python):\n"
     "  --arrive N/M       arrived when seen in N of the latest M rounds (1/1)\n"
     "  --leave-rounds K   left after K rounds in a row without it (2; 0: by time)\n"
     "  --leave-ms T       left T ms after its last sighting (0: by rounds only)\n"
     "  --seen             also a \"seen\" event for every later sighting\n"
     "  --swtt LIST        only these SWTT identifiers (comma-separated)\n"
     "  --ids LIST         only these tag IDs (comma-separated)\n"
     "On a terminal it shows a live table: each tag's first and last sighting,\n"
     "how many rounds saw it, its antenna, and + for a tag that arrived, - for\n"
     "one that left.  Elsewhere it prints one line per event (JSON lines with\n"
     "--format json, each round's document with --format xml, and the table at\n"
     "the end with --format table).  Status information shows with --verbose.\n",
     "volneda watch --interval 500 --arrive 2/3 --leave-rounds 4 --count 20"},
    {"session", "volneda session [FILE | -]", "run verbs one a line on one open reader",
     "Reads verbs one a line (readers, identify, read, command, write, attr,\n"
     "version, help, quit) from FILE or standard input and runs them all on one\n"
     "open reader, so that a write can be read back.  Any other line goes to the\n"
     "reader as a command string.  Blank lines and lines starting with # are\n"
     "skipped.  From a file or a pipe the first failure ends the session, with\n"
     "its line number; at a terminal it goes on.\n",
     "printf 'write request.xml\\nread field(1) where tagid=0456000000000007\\n' | volneda session"},
    {"serve", "volneda serve [--config FILE] [--listen ADDR:PORT]", "the reader console in the browser",
     "Serves a page (built into the tool) and its JSON API at ADDR:PORT, by\n"
     "default 127.0.0.1:8080 (port 0: any free one; the address is printed).\n"
     "The page lists the readers, opens one, shows the tags in its field live,\n"
     "decodes a tag's fields and memory, writes fields, runs any command and\n"
     "shows every status message with its meaning.  On any other address than\n"
     "127.0.0.1 every request needs the access token printed at start (open the\n"
     "printed address with ?token=...).  Ctrl-C stops it and closes the reader.\n",
     "volneda --config examples/rfconfig.ini serve --listen 127.0.0.1:8080"},
    {"gateway", "volneda gateway --config GATEWAY.INI [--once]", "presence events of readers to an MQTT broker",
     "Watches every reader the configuration names, each on its own thread, and\n"
     "publishes their presence events (arrived, left, seen) to an MQTT 5 broker\n"
     "at QoS 1, by way of an on-disk queue that keeps them while the broker\n"
     "cannot be reached and across restarts.  Keeps retained status topics for\n"
     "itself and each reader, and answers read and write requests sent over\n"
     "MQTT.  --config names the gateway's configuration here, not the reader\n"
     "list (its key readers = does).  --once runs one round of each reader,\n"
     "sends what is queued and ends.  SIGTERM or Ctrl-C stops it in order.  Logs\n"
     "and a health line every `health` seconds go to standard error.  Exit\n"
     "status: 0 stopped in order, 1 a failure (with --once: a reader failed or\n"
     "the queue was not delivered), 2 a bad configuration.  See docs/gateway.md.\n",
     "volneda gateway --config /etc/volneda/gateway.ini"},
    {"trace", "volneda trace [--format json | --to-field] FILE", "read a driver trace, or replay it",
     "Reads a trace that the driver library wrote for a reader configured with\n"
     "trace = FILE in its driver configuration (TAGDRV_CONFIG): one call a line,\n"
     "the request beside the answer, then each function's calls and times.\n"
     "--format json passes the JSON lines through.  --to-field prints a tag field\n"
     "file made of what the session saw (readers, attributes, tags, the rounds\n"
     "they were in, the memory that was read), which the simulated reader\n"
     "replays: set TAGDRV_FIELD to it.\n",
     "volneda trace --to-field dock1.trace > tagfield.ini"},
    {"demo", "volneda demo", "a short tour of the library on the simulated reader",
     "Lists the readers, identifies and reads the tags of the first one, writes a\n"
     "tag and reads it back in one session, and watches a few rounds of a field\n"
     "in which tags arrive and leave, saying what each step shows.\n",
     "volneda --config examples/rfconfig.ini demo"},
    {"version", "volneda version", "print the versions of the tool and the library", "", "volneda version"},
};

const VerbText *Find(const std::string &verb) {
  for (const VerbText &v : kVerbs)
    if (verb == v.name) return &v;
  return nullptr;
}

}  // namespace

bool IsVerb(const std::string &word) { return Find(word) != nullptr; }

std::string Usage() {
  std::string out =
      "usage: volneda [OPTIONS] VERB [ARGUMENTS]\n"
      "\n"
      "Drives an RFID reader through the VOLNEDA library.\n"
      "\n"
      "Verbs:\n";
  for (const VerbText &v : kVerbs) {
    std::string name = v.name;
    out += "  " + name + std::string(10 - name.size(), ' ') + v.summary + "\n";
  }
  out +=
      "\n"
      "Options (before or after the verb):\n"
      "  --config FILE    the reader list (default: RF_RFID_CONFIG, else rfconfig.ini\n"
      "                   in the current directory)\n"
      "  --reader NAME    the reader to open (default: the first of the list)\n"
      "  --format table|xml|json\n"
      "                   results as a table (the default on a terminal), as the\n"
      "                   library's XML document (the default elsewhere), or as JSON\n"
      "  --lossy          let text through that the reader's code page (Windows-1252\n"
      "                   on Linux) cannot hold: the library stores '?' for those\n"
      "                   characters (without it such text is refused, named)\n"
      "  --trim           String values without the blanks that pad them\n"
      "  --quiet          no status messages\n"
      "  --verbose        every status message, and what the tool does\n"
      "  --help, -h       this text; VERB --help: the verb's syntax and an example\n"
      "  --version        the versions of the tool and the library\n"
      "  --listen ADDR:PORT\n"
      "                   where serve listens (default 127.0.0.1:8080)\n"
      "\n"
      "Status messages go to standard error as they arrive: level, source, result\n"
      "code with its meaning, and text.  The exit status is 0 on success, 1 when\n"
      "the library reports a failure (its code and meaning are printed), 2 for a\n"
      "usage error.  Files (reader list, session, request) are read when they are\n"
      "regular files of at most 16 MiB.\n"
      "\n"
      "Environment:\n"
      "  RF_RFID_CONFIG   the reader list, when --config is not given\n"
      "  TAGDRV_FIELD     the tag field file of the simulated reader driver\n"
      "  TAGDRV_CONFIG    the driver configuration: which backend serves each reader\n"
      "\n"
      "Examples:\n"
      "  volneda readers\n"
      "  volneda --reader DOCK1 identify\n"
      "  volneda read 'field(0,1) mem(head,0,4,h)' where swtt=0456\n"
      "  volneda --format json read where tagid=0123456789ABCDEF\n"
      "  volneda watch --count 5\n";
  return out;
}

bool VerbHelp(const std::string &verb, std::string &text) {
  const VerbText *v = Find(verb);
  if (!v) return false;
  std::string summary = v->summary;
  summary[0] = static_cast<char>(summary[0] - 'a' + 'A');
  text = std::string("usage: ") + v->syntax + "\n\n" + summary + ".\n";
  if (*v->details) text += std::string("\n") + v->details;
  text += std::string("\nExample:\n  ") + v->example + "\n";
  return true;
}

}  // namespace cli
