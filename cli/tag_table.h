// tag_table.h -- the tags a watch has seen: when each was first and last
// seen, how often, on which antenna, and which arrived or left in the
// latest round.
#ifndef VOLNEDA_CLI_TAG_TABLE_H
#define VOLNEDA_CLI_TAG_TABLE_H

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "result_doc.h"

namespace cli {

using Clock = std::chrono::system_clock;

struct SeenTag {
  DocTag tag;  // as the latest round that saw it reported it
  Clock::time_point firstSeen, lastSeen;
  uint64_t firstRound = 0, lastRound = 0, timesSeen = 0;
  uint64_t arrivedRound = 0;  // the latest round in which it came into the field
  bool present = false;
};

struct TagEvent {
  enum Kind { kArrive, kLeave } kind;
  uint64_t round;
  Clock::time_point at;
  SeenTag seen;  // the tag as the table holds it after the round
};

class TagTable {
 public:
  // One round: the tags of its result document.  Returns the tags that
  // arrived (in the document's order), then those that left (in the
  // order they were first seen).
  std::vector<TagEvent> Update(const ResultDoc &doc, Clock::time_point now);
  // Every tag seen so far, in the order first seen.
  const std::vector<SeenTag> &Tags() const { return tags_; }
  uint64_t Round() const { return round_; }
  size_t PresentCount() const;

 private:
  std::vector<SeenTag> tags_;
  uint64_t round_ = 0;
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
