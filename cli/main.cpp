// volneda -- command-line front end of the library, for demos and scripts.
//
//   volneda version                       print the library version
//   volneda readers [config]              list the readers of a reader list
//   volneda demo [config [reader]]        a short session: list the readers,
//                                         open one (the first by default),
//                                         show its attributes, identify and
//                                         read its tags, write one and read
//                                         it back, close it
//   volneda command config reader text... open the reader, run each command
//                                         and print its result document
//   volneda write config reader request... open the reader and carry out each
//                                         WriteTags request (the document, or
//                                         @ and the name of a UTF-8 file)
//
// config is the reader list file (default: RF_RFID_CONFIG).  The simulated
// reader driver finds its tag field through TAGDRV_FIELD.  Status messages
// are printed as they arrive.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "volneda.h"

namespace {

std::mutex g_print;

std::u16string Wide(const char *s) {
  std::u16string out;
  for (; s && *s; ++s) out.push_back(static_cast<unsigned char>(*s));
  return out;
}

std::string Narrow(const VOLNEDA_WCHAR *s) {
  std::string out;
  for (; s && *s; ++s) out.push_back(*s < 0x80 ? static_cast<char>(*s) : '?');
  return out;
}

const VOLNEDA_WCHAR *Api(const std::u16string &s) { return reinterpret_cast<const VOLNEDA_WCHAR *>(s.c_str()); }

template <typename... Args>
void Say(const char *format, Args... args) {
  std::lock_guard<std::mutex> g(g_print);
  std::printf(format, args...);
  std::fflush(stdout);
}

int Version() {
  int32_t major = 0, minor = 0;
  VOLNEDA_Version(&major, &minor);
  Say("VOLNEDA %d.%02d\n", major, minor);
  return 0;
}

// Prints every status message until the dispatcher is stopped.
void PrintMessages(VOLNEDA_HANDLE context) {
  int32_t level, source, code;
  VOLNEDA_WCHAR text[256];
  while (DispatcherGetData(context, &level, &source, &code, text, 256))
    Say("  status: level %d source %d code %d \"%s\"\n", level, source, code, Narrow(text).c_str());
}

// A context with its dispatcher and a thread that prints the messages.
struct Session {
  VOLNEDA_HANDLE context = nullptr;
  std::thread listener;
  explicit Session(const char *config) {
    VOLNEDA_StartAll(&context, Api(Wide(config)));
    StartDispatcher(context);
    listener = std::thread(PrintMessages, context);
  }
  ~Session() {
    Settle();
    StopDispatcher(context);
    listener.join();
    VOLNEDA_StopAll(&context);
  }
  // Gives the listener the moment it needs to print what the last step
  // posted, so that the output reads in order.
  static void Settle() { std::this_thread::sleep_for(std::chrono::milliseconds(50)); }
};

std::vector<std::string> ListReaders(VOLNEDA_HANDLE context) {
  std::vector<std::string> names;
  VOLNEDA_WCHAR name[32];
  int32_t r = VOLNEDA_FindFirstReader(context, name, nullptr);
  if (r != 0) {
    Session::Settle();
    Say("no readers: %d\n", r);
    return names;
  }
  do names.push_back(Narrow(name));
  while (VOLNEDA_FindNextReader(context, name) == 0);
  return names;
}

int Readers(const char *config) {
  Session s(config);
  std::vector<std::string> names = ListReaders(s.context);
  for (const std::string &n : names) Say("%s\n", n.c_str());
  return names.empty() ? 1 : 0;
}

void ShowAttribute(VOLNEDA_HANDLE context, const char *name) {
  VOLNEDA_WCHAR value[64] = {};
  int32_t r = VOLNEDA_GetAttribute(context, Api(Wide(name)), value);
  Session::Settle();
  if (r == 0) {
    Say("attribute %s = %s\n", name, Narrow(value).c_str());
  } else {
    VOLNEDA_WCHAR text[112] = {};
    VOLNEDA_GetErrorString(context, r, text);
    Say("attribute %s: %d (%s)\n", name, r, Narrow(text).c_str());
  }
}

// Runs one command and prints its result document.
int RunCommand(VOLNEDA_HANDLE context, const char *command) {
  int32_t length = 0, tags = 0;
  Say("command: %s\n", command);
  int32_t r = VOLNEDA_Command(context, Api(Wide(command)), &length, &tags);
  Session::Settle();
  Say("command: %d, %d tags, document of %d characters\n", r, tags, length);
  if (r == 0 && length > 0) {
    std::vector<VOLNEDA_WCHAR> doc(static_cast<size_t>(length) + 1);
    VOLNEDA_GetXMLData(context, doc.data(), length + 1);
    std::string text = Narrow(doc.data());
    std::string shown;
    for (char c : text)
      if (c != '\r') shown.push_back(c);
    Say("%s", shown.c_str());
  }
  return r;
}

// Carries out one WriteTags request.  Requests given on the command line
// are taken as Windows-1252 text, like commands; a file is read as UTF-8.
int RunWrite(VOLNEDA_HANDLE context, const char *request) {
  Say("write: %s\n", request);
  int32_t r = VOLNEDA_Write(context, Api(Wide(request)));
  Session::Settle();
  Say("write: %d\n", r);
  return r;
}

int Open(Session &s, const std::string &reader) {
  Say("open %s\n", reader.c_str());
  int32_t r = VOLNEDA_Open(s.context, Api(Wide(reader.c_str())));
  Session::Settle();
  Say("open: %d\n", r);
  // A reader whose control block failed is still open and must be closed.
  if (r != 0) VOLNEDA_Close(s.context);
  return r;
}

// Opens the reader, hands each argument to `run` in turn, closes the reader;
// the status is 1 when the open or any step failed.
int EachOnReader(const char *config, const char *reader, int count, char **args,
                 int (*run)(VOLNEDA_HANDLE context, const char *arg)) {
  Session s(config);
  if (Open(s, reader) != 0) return 1;
  int status = 0;
  for (int i = 0; i < count; ++i)
    if (run(s.context, args[i]) != 0) status = 1;
  VOLNEDA_Close(s.context);
  return status;
}

int Demo(const char *config, const char *reader) {
  Version();
  Session s(config);
  std::vector<std::string> names = ListReaders(s.context);
  Say("readers in %s:", *config ? config : "the configured reader list");
  for (const std::string &n : names) Say(" %s", n.c_str());
  Say("\n");
  std::string chosen = reader && *reader ? reader : names.empty() ? "" : names.front();
  if (chosen.empty()) return 1;

  if (Open(s, chosen) != 0) return 1;
  ShowAttribute(s.context, "RFID_SWTT_FILE_NAME");
  ShowAttribute(s.context, "Power");
  RunCommand(s.context, "identify");
  RunCommand(s.context, "read");
  RunCommand(s.context, "read field(1,5) mem(head,0,4,h) where swtt=0456");
  // A new weight for the carton and a note in raw memory, then read back.
  RunWrite(s.context,
           "<WriteTags><Tag ID=\"0456000000000007\">"
           "<SWTTField EntryNr=\"1\">1250</SWTTField>"
           "<MEMField MemStart=\"48\" MemType=\"STRING\">CHECKED</MEMField>"
           "</Tag></WriteTags>");
  RunCommand(s.context, "read field(1) mem(note,48,7,s) where tagid=0456000000000007");
  int32_t r = VOLNEDA_Close(s.context);
  Session::Settle();
  Say("close: %d\n", r);
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  const char *verb = argc > 1 ? argv[1] : "demo";
  const char *config = argc > 2 ? argv[2] : "";
  if (std::strcmp(verb, "version") == 0) return Version();
  if (std::strcmp(verb, "readers") == 0) return Readers(config);
  if (std::strcmp(verb, "demo") == 0) return Demo(config, argc > 3 ? argv[3] : "");
  if (std::strcmp(verb, "command") == 0 && argc > 4) return EachOnReader(config, argv[3], argc - 4, argv + 4, RunCommand);
  if (std::strcmp(verb, "write") == 0 && argc > 4) return EachOnReader(config, argv[3], argc - 4, argv + 4, RunWrite);
  std::fprintf(stderr,
               "usage: volneda [version | readers [config] | demo [config [reader]] |\n"
               "                command config reader command... |\n"
               "                write config reader request...]\n");
  return 2;
}
