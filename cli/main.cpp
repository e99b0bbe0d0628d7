// volneda -- command-line front end of the library, for demos and scripts.
//
//   volneda version          print the library version
//   volneda demo             start a context and its dispatcher, show the
//                            status messages of a short session
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "volneda.h"

namespace {

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

int Version() {
  int32_t major = 0, minor = 0;
  VOLNEDA_Version(&major, &minor);
  std::printf("VOLNEDA %d.%02d\n", major, minor);
  return 0;
}

// Prints every status message until the dispatcher is stopped.
void PrintMessages(VOLNEDA_HANDLE context) {
  int32_t level, source, code;
  VOLNEDA_WCHAR text[256];
  while (DispatcherGetData(context, &level, &source, &code, text, 256))
    std::printf("  status: level %d source %d code %d \"%s\"\n", level, source, code, Narrow(text).c_str());
}

int Demo(const char *config) {
  Version();
  VOLNEDA_HANDLE context = nullptr;
  VOLNEDA_StartAll(&context, Api(Wide(config)));
  StartDispatcher(context);
  std::thread listener(PrintMessages, context);
  std::printf("scan trigger: %d\n", SetUseScanTrigger(context, 1));
  std::printf("comm time-out: %d\n", SetCommTimeOut(context, 1000));
  // The listener has seen everything once both messages are delivered; stop
  // only after giving it the chance, so the output is complete.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  StopDispatcher(context);
  listener.join();
  VOLNEDA_StopAll(&context);
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  const char *verb = argc > 1 ? argv[1] : "demo";
  if (std::strcmp(verb, "version") == 0) return Version();
  if (std::strcmp(verb, "demo") == 0) return Demo(argc > 2 ? argv[2] : "");
  std::fprintf(stderr, "usage: volneda [version | demo [config]]\n");
  return 2;
}
