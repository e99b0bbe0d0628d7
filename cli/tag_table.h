// tag_table.h -- the tags a watch has seen: when each was first and last
// seen, how often, on which antenna, and which arrived or left in the
// latest round, by the presence rules of volneda_presence.hpp.
#ifndef VOLNEDA_CLI_TAG_TABLE_H
#define VOLNEDA_CLI_TAG_TABLE_H

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include <unordered_map>

#include "result_doc.h"
#include "volneda_presence.hpp"

namespace cli {

using Clock = std::chrono::system_clock;

// A tag as the watch's table shows it: since its first arrival, with its
// latest sighting.  Whether it is present is the tracker's decision.
struct SeenTag {
  DocTag tag;  // as the latest round that saw it reported it
  Clock::time_point firstSeen, lastSeen;  // of its latest stay in the field
  uint64_t count = 0;                     // rounds of that stay that saw it
  uint64_t arrivedRound = 0, leftRound = 0;
  bool present = false;
};

class TagTable {
 public:
  explicit TagTable(volneda::PresenceRules rules = {});
  // One round: its result document goes to the presence tracker, whose
  // events come back (sightings only with the rules' reportSeen), in the
  // tracker's order.  A tag joins the table when it first arrives.
  std::vector<volneda::PresenceEvent> Update(const ResultDoc &doc, Clock::time_point now);
  // Every tag that has arrived so far, in the order of first arrival.
  const std::vector<SeenTag> &Tags() const { return tags_; }
  uint64_t Round() const { return tracker_.round(); }
  size_t PresentCount() const;
  const volneda::PresenceRules &Rules() const { return rules_; }

 private:
  volneda::PresenceRules rules_;
  volneda::PresenceTracker tracker_;  // reports every sighting, for the table's counts
  std::vector<SeenTag> tags_;
  std::unordered_map<std::string, size_t> index_;
};

// How a tag stands after the table's latest round.
enum class Mark {
  kArrived,  // came into the field in the latest round
  kPresent,  // in the field since an earlier round
  kLeft,     // left the field in the latest round
  kGone,     // left it before
};
Mark MarkOf(const TagTable &table, const SeenTag &s);

// "20:35:16" in local time.
std::string ClockTime(Clock::time_point t);
// "2026-12-07T20:35:16.123" in local time.
std::string IsoTime(Clock::time_point t);

}  // namespace cli

#endif
