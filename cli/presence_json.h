// presence_json.h -- presence events and watch rules as JSON, one form for
// the tool's watch, the console and the gateway: the names of
// volneda_presence.hpp, times in UTC.
#ifndef VOLNEDA_CLI_PRESENCE_JSON_H
#define VOLNEDA_CLI_PRESENCE_JSON_H

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "result_doc.h"
#include "volneda_presence.hpp"

namespace cli {

// The tags of a round's result document, in its order.
std::vector<volneda::Sighting> SightingsOf(const ResultDoc &doc);

// {"event", "reader", "round", "time", "id", "swtt", "type", "antenna",
//  "firstSeen", "lastSeen", "count"} and, for an arrival or a sighting in a
// round that read fields, "fields" as the tool's documents give them.
// "type" and "antenna" are left out when the round did not report them.
nlohmann::ordered_json PresenceEventJson(const volneda::PresenceEvent &e, const std::string &reader,
                                         const ResultDoc &round, bool trim = false);

nlohmann::ordered_json PresenceRulesJson(const volneda::PresenceRules &rules);
// Takes the keys given in `j` over into `rules` (others keep their value).
// Empty when done; else what is wrong, naming the key, and `rules` is left
// as it was.  Unknown keys are refused, so that a misspelt rule is not
// silently a default.
std::string PresenceRulesFromJson(const nlohmann::json &j, volneda::PresenceRules &rules);

// "2026-12-08T12:00:00.123Z".
std::string UtcTime(std::chrono::system_clock::time_point t);

}  // namespace cli

#endif
