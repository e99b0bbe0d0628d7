// The presence rules of volneda_presence.hpp against the shared cases of
// tests/presence/cases.json, which the Java and Python trackers run too.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "volneda_presence.hpp"

namespace {

using nlohmann::json;
using Clock = std::chrono::system_clock;

const Clock::time_point kStart = Clock::time_point{} + std::chrono::milliseconds(1796731200000LL);

long long Offset(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(t - kStart).count();
}

volneda::PresenceRules RulesOf(const json &j) {
  volneda::PresenceRules r;
  r.interval = j.value("interval", r.interval);
  r.arriveSeen = j.value("arriveSeen", r.arriveSeen);
  r.arriveWindow = j.value("arriveWindow", r.arriveWindow);
  r.leaveRounds = j.value("leaveRounds", r.leaveRounds);
  r.leaveMs = j.value("leaveMs", r.leaveMs);
  r.reportSeen = j.value("reportSeen", r.reportSeen);
  r.swtt = j.value("swtt", r.swtt);
  r.ids = j.value("ids", r.ids);
  return r;
}

json Cases() {
  std::ifstream in(VOLNEDA_SOURCE_DIR "/tests/presence/cases.json");
  return json::parse(in)["cases"];
}

TEST(PresenceCases, EveryCaseGivesItsEvents) {
  const json cases = Cases();
  ASSERT_GE(cases.size(), 8u);
  for (const json &c : cases) {
    SCOPED_TRACE(c["name"].get<std::string>());
    volneda::PresenceTracker tracker(RulesOf(c["rules"]));
    ASSERT_EQ(volneda::PresenceRulesProblem(tracker.rules()), "");
    json got = json::array();
    for (const json &round : c["rounds"]) {
      std::vector<volneda::Sighting> tags;
      for (const json &t : round["tags"])
        tags.push_back({t["id"], t.value("swtt", ""), t.value("type", ""), t.value("antenna", -1)});
      for (const volneda::PresenceEvent &e :
           tracker.update(tags, kStart + std::chrono::milliseconds(round["t"].get<long long>()))) {
        got.push_back({{"round", e.round}, {"event", volneda::PresenceEventName(e.kind)}, {"id", e.id},
                       {"count", e.count}, {"firstSeen", Offset(e.firstSeen)}, {"lastSeen", Offset(e.lastSeen)},
                       {"swtt", e.swtt}, {"antenna", e.antenna}});
        EXPECT_EQ(e.time, kStart + std::chrono::milliseconds(round["t"].get<long long>()));
      }
    }
    // Only what a case names is compared.
    json want = c["events"];
    ASSERT_EQ(got.size(), want.size()) << got.dump();
    for (size_t i = 0; i < want.size(); ++i)
      for (auto it = want[i].begin(); it != want[i].end(); ++it)
        EXPECT_EQ(got[i][it.key()], it.value()) << "event " << i << ": " << got[i].dump();
  }
}

TEST(PresenceCases, RulesThatCannotWorkAreNamed) {
  const std::pair<const char *, const char *> cases[] = {
      {R"({"arriveSeen": 3, "arriveWindow": 2})", "arriveSeen must be 1 to arriveWindow"},
      {R"({"arriveWindow": 65})", "arriveWindow must be 1 to 64"},
      {R"({"leaveRounds": 0})", "leaveRounds and leaveMs cannot both be 0"},
      {R"({"interval": -1})", "interval must be 0 or more"},
  };
  for (const auto &[rules, problem] : cases) EXPECT_EQ(volneda::PresenceRulesProblem(RulesOf(json::parse(rules))), problem);
}

}  // namespace
