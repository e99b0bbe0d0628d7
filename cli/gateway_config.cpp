#include "gateway_config.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include <nlohmann/json.hpp>

#include "presence_json.h"
#include "text.h"

namespace cli {
namespace {

// Letters, digits and - _ . only: names go into topics and client ids,
// where '/', '+' and '#' would mean something else.
bool TopicWord(const std::string &s) {
  if (s.empty() || s.size() > 64) return false;
  for (char c : s)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.')) return false;
  return true;
}

bool Number(const std::string &v, long lo, long hi, long &out) {
  if (v.empty() || v.size() > 12 || v.find_first_not_of("0123456789") != std::string::npos) return false;
  out = std::atol(v.c_str());
  return out >= lo && out <= hi;
}

// 65536, 64K, 64M, 1G.
bool Bytes(const std::string &v, uint64_t &out) {
  if (v.empty()) return false;
  uint64_t unit = 1;
  std::string digits = v;
  char last = static_cast<char>(std::toupper(static_cast<unsigned char>(v.back())));
  if (last == 'K' || last == 'M' || last == 'G') {
    unit = last == 'K' ? 1024 : last == 'M' ? 1024 * 1024 : 1024 * 1024 * 1024;
    digits.pop_back();
  }
  long n = 0;
  if (!Number(digits, 1, 1L << 40, n)) return false;
  out = static_cast<uint64_t>(n) * unit;
  return true;
}

// The first line of a file: a user name or a password, kept out of the
// configuration and the command line.
bool FirstLine(const std::string &path, std::string &out, std::string &problem) {
  std::string text;
  if (!ReadInputFile(path, text, problem)) return false;
  out = text.substr(0, text.find_first_of("\r\n"));
  return true;
}

// A rules key's value as JSON, for PresenceRulesFromJson.
nlohmann::json RuleValue(const std::string &key, const std::string &v) {
  if (key == "swtt" || key == "ids") {
    nlohmann::json list = nlohmann::json::array();
    size_t from = 0;
    while (from <= v.size()) {
      size_t comma = v.find(',', from);
      std::string item = Trim(v.substr(from, comma == std::string::npos ? std::string::npos : comma - from));
      if (!item.empty()) list.push_back(item);
      if (comma == std::string::npos) break;
      from = comma + 1;
    }
    return list;
  }
  if (key == "reportSeen") {
    std::string l = Lower(v);
    if (l == "true" || l == "1" || l == "yes") return true;
    if (l == "false" || l == "0" || l == "no") return false;
    return v;  // refused by PresenceRulesFromJson
  }
  long n = 0;
  if (Number(v, 0, LONG_MAX / 2, n)) return n;
  return v;
}

}  // namespace

std::string LoadGatewayConfig(const std::string &path, GatewayConfig &c) {
  std::string text, problem;
  if (!ReadInputFile(path, text, problem)) return path + ": " + problem;
  DropByteOrderMark(text);
  namespace fs = std::filesystem;
  const fs::path base = Utf8Path(path).parent_path();
  auto local = [&](const std::string &p) { return p.empty() || fs::path(p).is_absolute() ? p : (base / p).string(); };

  std::string section, userFile, passwordFile;
  std::set<std::string> seen;
  std::map<std::string, nlohmann::json> rules;  // per reader, in JSON form
  size_t number = 0, from = 0;
  while (from < text.size()) {
    size_t end = text.find('\n', from);
    std::string line = Trim(text.substr(from, end == std::string::npos ? std::string::npos : end - from));
    from = end == std::string::npos ? text.size() : end + 1;
    ++number;
    const std::string at = path + ":" + std::to_string(number) + ": ";
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      if (line.back() != ']') return at + "a section header ends with ']'";
      section = Trim(line.substr(1, line.size() - 2));
      if (StartsWithWord(section, "reader")) {
        std::string name = Trim(section.substr(6));
        if (!TopicWord(name)) return at + "a reader's name is 1 to 64 letters, digits, '-', '_' or '.'";
        if (name == "gateway") return at + "'gateway' is taken by the gateway's own topics";
        for (const GatewayReader &r : c.readers)
          if (r.name == name) return at + "reader " + name + " twice";
        c.readers.push_back(GatewayReader{name, "identify", {}});
        rules[name] = nlohmann::json::object();
        section = "reader";
      } else if (section != "gateway" && section != "mqtt") {
        return at + "unknown section [" + section + "] ([gateway], [mqtt], [reader NAME])";
      }
      continue;
    }
    size_t eq = line.find('=');
    if (eq == std::string::npos) return at + "expected key = value";
    std::string key = Trim(line.substr(0, eq)), v = Trim(line.substr(eq + 1));
    if (section.empty()) return at + "a key before any section";
    if (section != "reader" && !seen.insert(section + "." + key).second) return at + key + " given twice";
    long n = 0;
    bool ok = true;
    if (section == "gateway") {
      if (key == "name") ok = TopicWord(c.name = v);
      else if (key == "readers") c.readerList = local(v);
      else if (key == "queue") c.queueDir = local(v);
      else if (key == "queue_limit") ok = Bytes(v, c.queueLimit) && c.queueLimit >= (uint64_t{64} << 10);
      else if (key == "fsync") ok = (v == "always" || v == "never") && ((c.fsync = v == "always"), true);
      else if (key == "health") ok = Number(v, 0, 86400, c.health);
      else if (key == "retry") ok = Number(v, 1, 3600, c.retry);
      else return at + "unknown key " + key + " in [gateway]";
    } else if (section == "mqtt") {
      if (key == "host") ok = !(c.host = v).empty();
      else if (key == "port") ok = Number(v, 1, 65535, n) && ((c.port = static_cast<int>(n)), true);
      else if (key == "prefix") ok = TopicWord(c.prefix = v);
      else if (key == "client_id") ok = !(c.clientId = v).empty() && v.size() <= 64;
      else if (key == "keepalive") ok = Number(v, 5, 3600, n) && ((c.keepalive = static_cast<int>(n)), true);
      else if (key == "reconnect_max") ok = Number(v, 1, 3600, c.reconnectMax);
      else if (key == "username_file") userFile = local(v);
      else if (key == "password_file") passwordFile = local(v);
      else if (key == "ca_file") c.caFile = local(v);
      else if (key == "cert_file") c.certFile = local(v);
      else if (key == "key_file") c.keyFile = local(v);
      else return at + "unknown key " + key + " in [mqtt]";
    } else {
      GatewayReader &r = c.readers.back();
      if (key == "command") {
        ok = StartsWithWord(v, "identify") || StartsWithWord(v, "read");
        r.command = v;
      } else {
        nlohmann::json &j = rules[r.name];
        if (j.contains(key)) return at + key + " given twice";
        j[key] = RuleValue(key, v);
      }
    }
    if (!ok) return at + "bad value for " + key + ": '" + v + "'";
  }
  if (c.readers.empty()) return path + ": no [reader NAME] section";
  // The rules are taken together: arriveSeen is checked against arriveWindow
  // whichever comes first.
  for (GatewayReader &r : c.readers) {
    std::string bad = PresenceRulesFromJson(rules[r.name], r.rules);
    if (!bad.empty()) return path + ": [reader " + r.name + "]: " + bad;
  }
  if (c.name.empty()) {
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    c.name = host;
    for (char &ch : c.name)
      if (!(std::isalnum(static_cast<unsigned char>(ch)) || ch == '-' || ch == '_')) ch = '-';
    if (c.name.empty()) c.name = "gateway";
  }
  if (c.clientId.empty()) c.clientId = "volneda-gateway-" + c.name;
  if (c.port == 0) c.port = c.Tls() ? 8883 : 1883;
  if (c.certFile.empty() != c.keyFile.empty()) return path + ": cert_file and key_file go together";
  if (!c.certFile.empty() && c.caFile.empty()) return path + ": cert_file needs ca_file (TLS)";
  if (passwordFile.size() && userFile.empty()) return path + ": password_file needs username_file";
  if (!userFile.empty() && !FirstLine(userFile, c.user, problem)) return userFile + ": " + problem;
  if (!passwordFile.empty() && !FirstLine(passwordFile, c.password, problem)) return passwordFile + ": " + problem;
  return {};
}

}  // namespace cli
