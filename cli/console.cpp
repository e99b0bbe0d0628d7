#include "console.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <thread>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>
#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include "text.h"

namespace cli {
namespace {

std::atomic<bool> g_interrupted{false};
std::mutex g_write;

extern "C" void OnInterrupt(int which) {
  g_interrupted = true;
  // A second Ctrl-C ends the process the usual way.
  std::signal(which, SIG_DFL);
}

}  // namespace

#if defined(_WIN32)

std::vector<std::string> Arguments(int argc, char **argv) {
  std::vector<std::string> args;
  int n = 0;
  LPWSTR *wide = CommandLineToArgvW(GetCommandLineW(), &n);
  if (wide) {
    for (int i = 0; i < n; ++i)
      args.push_back(Utf16To8(std::u16string(reinterpret_cast<const char16_t *>(wide[i]))));
    LocalFree(wide);
  } else {
    for (int i = 0; i < argc; ++i) args.push_back(argv[i]);
  }
  SetConsoleOutputCP(CP_UTF8);
  SetConsoleCP(CP_UTF8);
  for (DWORD which : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
    HANDLE h = GetStdHandle(which);
    DWORD mode = 0;
    if (GetConsoleMode(h, &mode)) SetConsoleMode(h, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
  }
  // Documents keep their CR LF line ends exactly; no second CR is added.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stdin), _O_BINARY);
  return args;
}

bool IsTerminal(std::FILE *stream) { return _isatty(_fileno(stream)) != 0; }

static size_t SystemWidth(std::FILE *stream) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  if (!GetConsoleScreenBufferInfo(h, &info)) return 0;
  return static_cast<size_t>(info.srWindow.Right - info.srWindow.Left + 1);
}

std::tm LocalTime(std::time_t t) {
  std::tm tm{};
  localtime_s(&tm, &t);
  return tm;
}

#else

std::vector<std::string> Arguments(int argc, char **argv) { return std::vector<std::string>(argv, argv + argc); }

bool IsTerminal(std::FILE *stream) { return isatty(fileno(stream)) != 0; }

static size_t SystemWidth(std::FILE *stream) {
  struct winsize ws {};
  return ioctl(fileno(stream), TIOCGWINSZ, &ws) == 0 ? ws.ws_col : 0;
}

std::tm LocalTime(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  return tm;
}

#endif

void CatchInterrupt() {
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
}

bool Interrupted() { return g_interrupted; }

bool SleepUnlessInterrupted(long ms) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!g_interrupted) {
    auto left = until - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return true;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(20)));
  }
  return false;
}

size_t TerminalWidth(std::FILE *stream) {
  // COLUMNS, where it is set, wins, as it does for other tools.
  long columns = 0;
  const char *env = std::getenv("COLUMNS");
  if (env && ParseCount(env, columns) && columns > 0) return static_cast<size_t>(columns);
  size_t width = SystemWidth(stream);
  return width ? width : 80;
}

void Emit(std::FILE *stream, const std::string &text) {
  std::lock_guard<std::mutex> g(g_write);
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

}  // namespace cli
