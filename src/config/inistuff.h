// inistuff.h -- the INI file reader under both configuration files.
//
// One file at a time is held, in one process-wide text buffer, and every
// lookup rescans it.  Its text rules are its own: comments (';' to the end
// of the line) only matter for recognising section headers; a key is found
// wherever its name is directly followed by '='; a section body ends at the
// next '[' anywhere.  Values come back exactly as written.
#ifndef VOLNEDA_INISTUFF_H
#define VOLNEDA_INISTUFF_H

#include <cstddef>
#include <mutex>
#include <string>

enum : int {
  INI_OK = 0,
  INI_ERR_OPEN = 2,
  INI_ERR_SEEK = 3,
  INI_ERR_NOMEM = 4,
  INI_ERR_NOSECTION = 5,
  INI_ERR_NOKEY = 6,
};

// The module's state belongs to the process, and every reader context on
// every thread uses it.  Each operation below holds the module while it
// runs; a sequence of them that must see one file throughout (load,
// enumerate, look up, release) holds it for the whole sequence with IniHold.
// The thread that holds it may take it again.
std::unique_lock<std::recursive_mutex> IniHold();

// Path in the system code page.
int IniLoadFile(const std::string &path);
void IniFreeFile();
bool IniFirstSection(char *destination, size_t size);
bool IniNextSection(char *destination, size_t size);
int IniGetValue(char *destination, size_t size, const char *section, const char *key);
bool IniGetString(const char *section, const char *key, char *destination, size_t size);

#endif
