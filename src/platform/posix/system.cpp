// Environment, clock and files on POSIX.
#include <sys/time.h>

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
  FILE *f = std::fopen(utf8Path.c_str(), "rb");
  if (!f) return false;
  char buf[65536];
  size_t n;
  bool ok = true;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) content.append(buf, n);
  if (std::ferror(f)) ok = false;
  std::fclose(f);
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
