// Reading the driver configuration file.
#include "host_config.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace tagdrv {
namespace {

std::string Trim(const std::string &s) {
  size_t b = s.find_first_not_of(" \t\r\n"), e = s.find_last_not_of(" \t\r\n");
  return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

std::string Lower(std::string s) {
  for (char &c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Settings that name files: relative to the configuration's directory, so
// that a configuration and its files move together.
bool IsPathSetting(const std::string &key) { return key == "field" || key == "trace" || key == "library"; }

std::string Resolve(const std::filesystem::path &dir, const std::string &value) {
  std::filesystem::path p(value);
  if (value.empty() || p.is_absolute() || dir.empty()) return value;
  return (dir / p).lexically_normal().string();
}

}  // namespace

std::string DefaultConfigPath() {
#if defined(_WIN32)
  const char *data = std::getenv("ProgramData");
  return std::string(data && *data ? data : "C:\\ProgramData") + "\\VOLNEDA\\tagdrv.ini";
#else
  return "/etc/volneda/tagdrv.ini";
#endif
}

std::string ConfigPath() {
  const char *env = std::getenv("TAGDRV_CONFIG");
  return env && *env ? env : DefaultConfigPath();
}

bool LoadDriverConfig(const std::string &path, DriverConfig &config, std::string &error) {
  config = DriverConfig();
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::file_status st = fs::status(path, ec);
  if (ec || !fs::exists(st)) return true;  // no file: every reader simulated
  if (!fs::is_regular_file(st)) {
    error = "driver configuration is not a regular file: " + path;
    return false;
  }
  uintmax_t size = fs::file_size(path, ec);
  if (ec || size > kMaxConfigBytes) {
    error = "driver configuration is larger than 1 MiB: " + path;
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "driver configuration cannot be read: " + path;
    return false;
  }
  config.file = path;
  const fs::path dir = fs::path(path).parent_path();
  ReaderConfig *section = nullptr;
  std::string line;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[') {
      std::string head = Trim(line.substr(1, line.find(']') == std::string::npos ? std::string::npos : line.find(']') - 1));
      section = nullptr;
      if (Lower(head) == "default") {
        config.haveDefault = true;
        section = &config.fallback;
      } else if (Lower(head.substr(0, 7)) == "reader " || Lower(head.substr(0, 7)) == "reader\t") {
        config.readers.emplace_back();
        section = &config.readers.back();
        section->name = Trim(head.substr(7));
      }
      if (section) {
        section->backend = "sim";
        section->file = path;
      }
      continue;
    }
    size_t eq = line.find('=');
    if (!section || eq == std::string::npos) continue;  // outside a section, or not a setting
    std::string key = Lower(Trim(line.substr(0, eq))), value = Trim(line.substr(eq + 1));
    if (key == "backend") section->backend = Lower(value);
    else section->settings[key] = IsPathSetting(key) ? Resolve(dir, value) : value;
  }
  return true;
}

bool FindReader(const DriverConfig &config, const std::string &name, ReaderConfig &reader) {
  for (const ReaderConfig &r : config.readers)
    if (r.name == name) {
      reader = r;
      return true;
    }
  if (config.haveDefault || config.file.empty()) {
    reader = config.fallback;
    if (config.file.empty()) reader.backend = "sim";
    reader.name = name;
    return true;
  }
  return false;
}

}  // namespace tagdrv
