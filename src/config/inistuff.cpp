#include "config/inistuff.h"

#include <cstring>
#include <new>

#include "platform/platform.h"

namespace {

// The one file held by the process.  A template load still ends a reader
// enumeration in progress, on any thread: the lock keeps the state whole,
// it does not give each thread a state of its own.
struct IniState {
  char *text = nullptr;
  size_t length = 0;
  size_t cursor = 0;  // the ']' of the header last returned
  bool haveCursor = false;
};
IniState g_ini;

std::recursive_mutex &IniMutex() {
  // Built in place and never destroyed: a thread may still load a template
  // while the process exits.
  alignas(std::recursive_mutex) static unsigned char storage[sizeof(std::recursive_mutex)];
  static std::recursive_mutex *mutex = new (storage) std::recursive_mutex;
  return *mutex;
}

// Finds the first header outside a comment from position from on; gives
// the positions of its '[' and ']'.
bool ScanHeader(size_t from, size_t &open, size_t &close) {
  bool comment = false;
  for (size_t i = from; i < g_ini.length; ++i) {
    char c = g_ini.text[i];
    if (c == ';') comment = true;
    else if (c == '\n') comment = false;
    else if (c == '[' && !comment) {
      for (size_t j = i + 1; j < g_ini.length; ++j)
        if (g_ini.text[j] == ']') {
          open = i;
          close = j;
          return true;
        }
      return false;  // a '[' without its ']'
    }
  }
  return false;
}

bool ReturnHeader(size_t from, char *destination, size_t size) {
  if (destination && size) std::memset(destination, 0, size);
  size_t open, close;
  if (!g_ini.text || !ScanHeader(from, open, close)) return false;
  size_t n = close - open - 1;
  if (destination && size) {
    if (n > size - 1) n = size - 1;
    std::memcpy(destination, g_ini.text + open + 1, n);
  }
  g_ini.cursor = close;
  g_ini.haveCursor = true;
  return true;
}

}  // namespace

std::unique_lock<std::recursive_mutex> IniHold() { return std::unique_lock<std::recursive_mutex>(IniMutex()); }

int IniLoadFile(const std::string &path) {
  auto hold = IniHold();
  IniFreeFile();
  std::string raw;
  // The whole file is read at once; failing to open it and failing to
  // read it are told apart as the two cases a caller can act on.
  if (!plat::ReadWholeFile(path, raw)) {
    return INI_ERR_OPEN;
  }
  // Text mode: each CR LF pair arrives as one LF.
  char *text = new (std::nothrow) char[raw.size() ? raw.size() : 1];
  if (!text) return INI_ERR_NOMEM;
  size_t n = 0;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
    text[n++] = raw[i];
  }
  g_ini.text = text;
  g_ini.length = n;
  g_ini.haveCursor = false;
  return INI_OK;
}

void IniFreeFile() {
  auto hold = IniHold();
  delete[] g_ini.text;
  g_ini.text = nullptr;
  g_ini.length = 0;
  g_ini.cursor = 0;
  g_ini.haveCursor = false;
}

bool IniFirstSection(char *destination, size_t size) {
  auto hold = IniHold();
  return ReturnHeader(0, destination, size);
}

bool IniNextSection(char *destination, size_t size) {
  auto hold = IniHold();
  if (!g_ini.text) {
    if (destination && size) std::memset(destination, 0, size);
    return false;
  }
  // Before any header was returned the scan starts at the text's start.
  return ReturnHeader(g_ini.haveCursor ? g_ini.cursor : 0, destination, size);
}

int IniGetValue(char *destination, size_t size, const char *section, const char *key) {
  auto hold = IniHold();
  if (!g_ini.text || !section || !key) return INI_ERR_NOSECTION;
  const char *t = g_ini.text;
  const size_t len = g_ini.length;
  const size_t sectionLen = std::strlen(section), keyLen = std::strlen(key);
  size_t body = 0;
  bool found = false, comment = false;
  for (size_t i = 0; i < len && !found; ++i) {
    char c = t[i];
    if (c == ';') comment = true;
    else if (c == '\n') comment = false;
    else if (c == '[' && !comment) {
      size_t name = i + 1;
      if (name + sectionLen < len && std::memcmp(t + name, section, sectionLen) == 0 &&
          t[name + sectionLen] == ']') {
        body = name + sectionLen + 1;
        found = true;
      }
    }
  }
  if (!found) return INI_ERR_NOSECTION;
  size_t end = body;
  while (end < len && t[end] != '[') ++end;
  for (size_t i = body; i < end; ++i) {
    // The key and its '=' must lie inside the body.
    if (i + keyLen >= end) break;
    if (std::memcmp(t + i, key, keyLen) != 0 || t[i + keyLen] != '=') continue;
    size_t v = i + keyLen + 1, e = v;
    while (e < len && t[e] != '\n') ++e;
    if (destination && size) {
      std::memset(destination, 0, size);
      size_t n = e - v;
      if (n > size - 1) n = size - 1;
      std::memcpy(destination, t + v, n);
    }
    return INI_OK;
  }
  return INI_ERR_NOKEY;
}

bool IniGetString(const char *section, const char *key, char *destination, size_t size) {
  return IniGetValue(destination, size, section, key) == INI_OK;
}
