// Writing small files for tests that read configuration and tag field
// files.  Tests share the build directory as their working directory, so
// each names its files after itself.
#ifndef VOLNEDA_TEMP_FILES_H
#define VOLNEDA_TEMP_FILES_H

#include <cstdio>
#include <string>

// Writes a file in binary, exactly as given.
inline bool WriteTextFile(const std::string &path, const std::string &content) {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(content.data(), 1, content.size(), f) == content.size();
  return std::fclose(f) == 0 && ok;
}

inline std::string ReadTextFile(const std::string &path) {
  std::string out;
  FILE *f = std::fopen(path.c_str(), "rb");
  if (!f) return out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  std::fclose(f);
  return out;
}

#endif
