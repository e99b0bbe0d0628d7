// host_config.h -- the driver configuration file: which backend serves
// which reader, with the reader's settings.
//
//   [reader DOCK1]          ; the name VOLNEDA_Open takes
//   backend = sim           ; sim, pcsc or vendor
//   trace = dock1.trace     ; optional: every driver call as a JSON line
//   [default]               ; optional: readers no section names
//   backend = sim
//
// The file is found through the environment variable TAGDRV_CONFIG, else
// at a fixed place (DefaultConfigPath).  Without a file every reader is a
// simulated one, as the driver has always been.
#ifndef TAGDRV_HOST_CONFIG_H
#define TAGDRV_HOST_CONFIG_H

#include <string>
#include <vector>

#include "backend.h"

namespace tagdrv {

// A driver configuration file is a few sections; anything bigger is a
// mistake (a device, a log file), refused rather than read.
constexpr size_t kMaxConfigBytes = 1 << 20;

struct DriverConfig {
  std::string file;  // the path it was read from; "" when there was none
  std::vector<ReaderConfig> readers;
  bool haveDefault = false;
  ReaderConfig fallback;  // the [default] section
};

// /etc/volneda/tagdrv.ini; on Windows %ProgramData%\VOLNEDA\tagdrv.ini.
std::string DefaultConfigPath();
// TAGDRV_CONFIG when set and not empty, else the default.
std::string ConfigPath();

// Reads the configuration at path.  A file that does not exist is no
// error: config.file stays empty.  False, with a text, for a file that
// exists but cannot be read (not a regular file, too big, unreadable).
// Relative paths in the settings field, trace and library are taken
// relative to the file's directory.
bool LoadDriverConfig(const std::string &path, DriverConfig &config, std::string &error);

// The configuration of the named reader: its section, else [default]
// with the name filled in, else (no file at all) a simulated reader.
// False when a file exists and neither names the reader.
bool FindReader(const DriverConfig &config, const std::string &name, ReaderConfig &reader);

}  // namespace tagdrv

#endif
