// Environment, clock and files on POSIX.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/platform.h"

namespace plat {

bool GetEnv(const char *name, std::string &value) {
  const char *v = name ? std::getenv(name) : nullptr;
  if (!v) return false;
  // The environment is UTF-8 here; the library wants the system code page.
  value = WideToAnsi(Utf8ToWide(v));
  return true;
}

LocalTime GetLocalTime() {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  time_t t = tv.tv_sec;
  struct tm tmv;
  localtime_r(&t, &tmv);
  return LocalTime{tmv.tm_year + 1900, tmv.tm_mon + 1, tmv.tm_mday, tmv.tm_hour,
                   tmv.tm_min,         tmv.tm_sec,     static_cast<int>(tv.tv_usec / 1000)};
}

static bool ReadUtf8Path(const std::string &utf8Path, std::string &content) {
  content.clear();
  // Opened without blocking, so that a named pipe with no writer does not
  // hold the caller; anything but a regular file is then refused.
  int fd = open(utf8Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<uintmax_t>(st.st_size) <= kMaxFileBytes;
  char buf[65536];
  while (ok) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    // A file that grows while it is read stops at the limit all the same.
    if (content.size() + static_cast<size_t>(n) > kMaxFileBytes) ok = false;
    else content.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  if (!ok) content.clear();
  return ok;
}

bool ReadWholeFile(const std::string &path, std::string &content) {
  return ReadUtf8Path(WideToUtf8(AnsiToWide(path)), content);
}

bool ReadWholeFileW(std::u16string_view path, std::string &content) {
  return ReadUtf8Path(WideToUtf8(path), content);
}

}  // namespace plat
