#include "presence_json.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "format.h"

namespace cli {

std::vector<volneda::Sighting> SightingsOf(const ResultDoc &doc) {
  std::vector<volneda::Sighting> out;
  out.reserve(doc.tags.size());
  for (const DocTag &t : doc.tags) {
    volneda::Sighting s;
    s.id = t.id;
    s.swtt = t.swtt;
    s.type = t.hwTagType;
    if (!t.antenna.empty()) s.antenna = static_cast<int>(std::strtol(t.antenna.c_str(), nullptr, 16));
    out.push_back(std::move(s));
  }
  return out;
}

std::string UtcTime(std::chrono::system_clock::time_point t) {
  using namespace std::chrono;
  const long long ms = duration_cast<milliseconds>(t.time_since_epoch()).count();
  const std::time_t secs = static_cast<std::time_t>(ms / 1000 - (ms % 1000 < 0 ? 1 : 0));
  std::tm tm{};
#ifdef _WIN32
  gmtime_s(&tm, &secs);
#else
  gmtime_r(&secs, &tm);
#endif
  char b[80];
  std::snprintf(b, sizeof b, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>((ms % 1000 + 1000) % 1000));
  return b;
}

nlohmann::ordered_json PresenceEventJson(const volneda::PresenceEvent &e, const std::string &reader,
                                         const ResultDoc &round, bool trim) {
  nlohmann::ordered_json j = {{"event", volneda::PresenceEventName(e.kind)},
                              {"reader", reader},
                              {"round", e.round},
                              {"time", UtcTime(e.time)},
                              {"id", e.id},
                              {"swtt", e.swtt}};
  if (!e.type.empty()) j["type"] = e.type;
  if (e.antenna >= 0) j["antenna"] = e.antenna;
  j["firstSeen"] = UtcTime(e.firstSeen);
  j["lastSeen"] = UtcTime(e.lastSeen);
  j["count"] = e.count;
  if (round.kind == ResultDoc::kRead && e.sighting < round.tags.size()) {
    nlohmann::ordered_json tag = TagJson(round.tags[e.sighting], true, trim);
    j["fields"] = std::move(tag["fields"]);
  }
  return j;
}

nlohmann::ordered_json PresenceRulesJson(const volneda::PresenceRules &r) {
  return {{"interval", r.interval},       {"arriveSeen", r.arriveSeen}, {"arriveWindow", r.arriveWindow},
          {"leaveRounds", r.leaveRounds}, {"leaveMs", r.leaveMs},       {"reportSeen", r.reportSeen},
          {"swtt", r.swtt},               {"ids", r.ids}};
}

namespace {

bool Count(const nlohmann::json &v, long long max, long long &out) {
  if (!v.is_number_integer() && !v.is_number_unsigned()) return false;
  if (v.is_number_unsigned()) {
    if (v.get<unsigned long long>() > static_cast<unsigned long long>(max)) return false;
    out = static_cast<long long>(v.get<unsigned long long>());
  } else {
    out = v.get<long long>();
  }
  return out >= 0 && out <= max;
}

bool Texts(const nlohmann::json &v, std::vector<std::string> &out) {
  if (!v.is_array()) return false;
  out.clear();
  for (const auto &x : v) {
    if (!x.is_string()) return false;
    out.push_back(x.get<std::string>());
  }
  return true;
}

}  // namespace

std::string PresenceRulesFromJson(const nlohmann::json &j, volneda::PresenceRules &rules) {
  if (!j.is_object()) return "the rules are not a JSON object";
  volneda::PresenceRules r = rules;
  // A day is the longest interval or leave time taken: beyond it a typo is
  // likelier than a watch that rests for days.
  constexpr long long kDayMs = 86400000;
  for (auto it = j.begin(); it != j.end(); ++it) {
    const std::string &k = it.key();
    long long n = 0;
    bool ok = true;
    if (k == "interval") {
      ok = Count(*it, kDayMs, n);
      r.interval = static_cast<long>(n);
    } else if (k == "arriveSeen") {
      ok = Count(*it, 64, n);
      r.arriveSeen = static_cast<unsigned>(n);
    } else if (k == "arriveWindow") {
      ok = Count(*it, 64, n);
      r.arriveWindow = static_cast<unsigned>(n);
    } else if (k == "leaveRounds") {
      ok = Count(*it, 1000000, n);
      r.leaveRounds = static_cast<unsigned>(n);
    } else if (k == "leaveMs") {
      ok = Count(*it, kDayMs, n);
      r.leaveMs = static_cast<long>(n);
    } else if (k == "reportSeen") {
      ok = it->is_boolean();
      if (ok) r.reportSeen = it->get<bool>();
    } else if (k == "swtt") {
      ok = Texts(*it, r.swtt);
    } else if (k == "ids") {
      ok = Texts(*it, r.ids);
    } else {
      return "unknown watch rule \"" + k + "\"";
    }
    if (!ok) return "watch rule \"" + k + "\" has an unusable value";
  }
  std::string problem = volneda::PresenceRulesProblem(r);
  if (!problem.empty()) return problem;
  rules = std::move(r);
  return {};
}

}  // namespace cli
