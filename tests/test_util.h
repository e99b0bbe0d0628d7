// Small helpers shared by the test suites.
#ifndef VOLNEDA_TEST_UTIL_H
#define VOLNEDA_TEST_UTIL_H

#include <cstdlib>
#include <string>

#include "volneda.h"

// A UTF-16 literal as the exported interface's character type.
inline const VOLNEDA_WCHAR *W(const char16_t *s) { return reinterpret_cast<const VOLNEDA_WCHAR *>(s); }
inline const VOLNEDA_WCHAR *W(const std::u16string &s) { return W(s.c_str()); }
inline std::u16string U(const VOLNEDA_WCHAR *s) {
  std::u16string out;
  for (; s && *s; ++s) out.push_back(static_cast<char16_t>(*s));
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


#include <chrono>
#include <thread>

#include "platform/platform.h"

// Returns once some thread is blocked on the object.  Where the platform
// cannot tell, it gives the other thread a generous moment instead.
inline void WaitUntilBlocked(plat::Handle object) {
  if (plat::WaitersOn(object) < 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return;
  }
  while (plat::WaitersOn(object) == 0) std::this_thread::yield();
}

#endif
