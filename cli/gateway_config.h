// gateway_config.h -- the gateway's configuration file: the broker, the
// on-disk queue and the readers, each with the presence rules of its watch.
#ifndef VOLNEDA_CLI_GATEWAY_CONFIG_H
#define VOLNEDA_CLI_GATEWAY_CONFIG_H

#include <cstdint>
#include <string>
#include <vector>

#include "volneda_presence.hpp"

namespace cli {

struct GatewayReader {
  std::string name;                  // as the reader list names it, and in topics
  std::string command = "identify";  // what each round runs: identify [where ...] or read ...
  volneda::PresenceRules rules;
};

struct GatewayConfig {
  // [gateway]
  std::string name;          // the gateway in topics and its client id (default: the host name)
  std::string readerList;    // the library's reader list (empty: RF_RFID_CONFIG, then rfconfig.ini)
  std::string queueDir = "/var/lib/volneda-gateway";
  uint64_t queueLimit = uint64_t{64} << 20;  // bytes of segment files
  bool fsync = true;         // fsync = always (true) or never
  long health = 60;          // seconds between health lines; 0: none
  long retry = 5;            // seconds before a reader that failed is opened again
  // [mqtt]
  std::string host = "localhost";
  int port = 0;              // 0: 1883, or 8883 with TLS
  std::string prefix = "volneda";
  std::string clientId;      // default: volneda-gateway-NAME
  int keepalive = 30;
  long reconnectMax = 30;    // seconds: the longest wait between connection attempts
  std::string user, password;  // read from username_file and password_file
  std::string caFile, certFile, keyFile;
  std::vector<GatewayReader> readers;

  bool Tls() const { return !caFile.empty(); }
};

// Reads the file; empty when it holds a usable configuration, else what is
// wrong ("gateway.ini:12: ...").  Relative paths in it are taken from the
// file's own directory.
std::string LoadGatewayConfig(const std::string &path, GatewayConfig &config);

}  // namespace cli

#endif
