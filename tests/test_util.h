// Small helpers shared by the test suites.
#ifndef VOLNEDA_TEST_UTIL_H
#define VOLNEDA_TEST_UTIL_H

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "volneda.h"

// A UTF-16 literal as the exported interface's character type, and back.
inline const VOLNEDA_WCHAR *W(const char16_t *s) { return reinterpret_cast<const VOLNEDA_WCHAR *>(s); }
inline const VOLNEDA_WCHAR *W(const std::u16string &s) { return W(s.c_str()); }
inline std::u16string U(const VOLNEDA_WCHAR *s) {
  return s ? std::u16string(s, s + std::char_traits<VOLNEDA_WCHAR>::length(s)) : std::u16string();
}
inline std::u16string Wide(const std::string &s) { return std::u16string(s.begin(), s.end()); }
// For messages: line ends shown, anything beyond ASCII as '?'.
inline std::string Narrow(const std::u16string &s) {
  std::string out;
  for (char16_t c : s) out += c == u'\r' ? "\\r" : c == u'\n' ? "\\n" : std::string(1, c < 0x80 ? char(c) : '?');
  return out;
}

inline void SetEnvVar(const char *name, const char *value) {
#if defined(_WIN32)
  _putenv_s(name, value ? value : "");
#else
  if (value) setenv(name, value, 1);
  else unsetenv(name);
#endif
}

// Files in binary, as they are; tests share the working directory and name theirs after themselves.
inline bool WriteTextFile(const std::string &path, const std::string &content) {
  std::ofstream f(path, std::ios::binary);
  return static_cast<bool>(f << content);
}
inline std::string ReadTextFile(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

// Returns once `threads` threads block on the object (or, where that is unknown, after a generous moment).
inline void WaitUntilBlocked(plat::Handle object, int threads = 1) {
  if (plat::WaitersOn(object) < 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return;
  }
  while (plat::WaitersOn(object) < threads) std::this_thread::yield();
}

#endif
