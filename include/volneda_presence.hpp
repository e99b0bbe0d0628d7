/**
 * @file volneda_presence.hpp
 * @brief When a tag counts as arrived in a reader's field, and when as gone.
 *
 * A watch runs rounds (an identify or a read) at an interval and hands the
 * tags each round reported to a PresenceTracker, which answers with events:
 *
 * - "arrived": a tag not present was seen in at least `arriveSeen` of the
 *   last `arriveWindow` rounds (this one included; before the watch has run
 *   that many rounds, of the rounds so far).
 * - "seen": a present tag was seen again (only with `reportSeen`; never in
 *   the round of its arrival).
 * - "left": a present tag has gone unseen for `leaveRounds` rounds in a row,
 *   or, when `leaveMs` is above 0, for `leaveMs` milliseconds since it was
 *   last seen, whichever comes first.  Departures are decided at the end of
 *   a round, so a leave is reported at most one interval plus one round
 *   after the later of the two limits would have it.
 *
 * The defaults (1 of 1, 2 rounds, an interval of 500 ms) report a tag in
 * the round that first sees it and let it miss one round without leaving.
 * A tag reported twice in one round counts once, as its first report says.
 * Filters: `swtt` and `ids` keep only the tags whose SWTT or ID is in the
 * list (compared without regard to case); an empty list keeps all.
 *
 * One round's events come in this order: arrivals and then sightings, in
 * the round's order; then departures, in the order the tags were first
 * tracked.  A tag that has left and has no sighting inside the window is
 * forgotten, so the tracker holds no more than the tags of a recent field.
 *
 * The same rules, defaults and JSON names (those in quotes above and on
 * PresenceEvent) hold in the tool's watch, the console, the gateway and the
 * Java and Python layers.  Header-only; the standard library alone.
 */
#ifndef VOLNEDA_PRESENCE_HPP
#define VOLNEDA_PRESENCE_HPP

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace volneda {

/** The rules of a watch. */
struct PresenceRules {
  long interval = 500;          ///< "interval": milliseconds from the start of one round to the next
  unsigned arriveSeen = 1;      ///< "arriveSeen": sightings that make a tag arrive ...
  unsigned arriveWindow = 1;    ///< "arriveWindow": ... within this many latest rounds (at most 64)
  unsigned leaveRounds = 2;     ///< "leaveRounds": rounds in a row unseen after which a tag leaves (0: by time only)
  long leaveMs = 0;             ///< "leaveMs": milliseconds unseen after which a tag leaves (0: by rounds only)
  bool reportSeen = false;      ///< "reportSeen": a "seen" event for every later sighting
  std::vector<std::string> swtt;  ///< "swtt": the SWTT values kept (empty: all)
  std::vector<std::string> ids;   ///< "ids": the tag IDs kept (empty: all)
};

/** Empty when the rules are usable, else what is wrong with them. */
inline std::string PresenceRulesProblem(const PresenceRules &r) {
  if (r.interval < 0) return "interval must be 0 or more";
  if (r.arriveWindow < 1 || r.arriveWindow > 64) return "arriveWindow must be 1 to 64";
  if (r.arriveSeen < 1 || r.arriveSeen > r.arriveWindow) return "arriveSeen must be 1 to arriveWindow";
  if (r.leaveMs < 0) return "leaveMs must be 0 or more";
  if (r.leaveRounds == 0 && r.leaveMs == 0) return "leaveRounds and leaveMs cannot both be 0";
  return {};
}

/** A tag as one round reported it. */
struct Sighting {
  std::string id, swtt, type;
  int antenna = -1;  ///< -1 when the round did not say
};

/** What a round changed for one tag. */
struct PresenceEvent {
  enum class Kind { arrived, seen, left };
  using Time = std::chrono::system_clock::time_point;
  Kind kind = Kind::arrived;   ///< "event": "arrived", "seen" or "left"
  std::string id, swtt, type;  ///< "id", "swtt", "type": as the latest sighting gave them
  int antenna = -1;            ///< "antenna": of the latest sighting
  uint64_t round = 0;          ///< "round": the round (from 1) that decided the event
  Time time;                   ///< "time": when that round ended
  Time firstSeen, lastSeen;    ///< "firstSeen", "lastSeen": the first sighting of this stay, and the latest
  uint64_t count = 0;          ///< "count": the rounds of this stay that saw the tag
  /// Index in the round's sightings of the sighting behind an arrival or a
  /// sighting event (for the caller's own data: the fields of a read);
  /// npos for a departure.
  size_t sighting = npos;
  static constexpr size_t npos = static_cast<size_t>(-1);
};

inline const char *PresenceEventName(PresenceEvent::Kind k) {
  return k == PresenceEvent::Kind::arrived ? "arrived" : k == PresenceEvent::Kind::seen ? "seen" : "left";
}

/** Applies the rules to one round after another. */
class PresenceTracker {
 public:
  using Time = PresenceEvent::Time;

  explicit PresenceTracker(PresenceRules rules = {}) : rules_(std::move(rules)) {}

  const PresenceRules &rules() const { return rules_; }
  uint64_t round() const { return round_; }

  /** One round: the tags it reported, in its order, and when it ended. */
  std::vector<PresenceEvent> update(const std::vector<Sighting> &tags, Time now) {
    ++round_;
    const size_t window = rules_.arriveWindow;
    roundTimes_.insert(roundTimes_.begin(), now);
    if (roundTimes_.size() > window) roundTimes_.resize(window);
    const uint64_t inWindow = window >= 64 ? ~uint64_t{0} : (uint64_t{1} << window) - 1;
    for (Tracked &t : tracked_) {
      t.window = (t.window << 1) & inWindow;  // bit 0 is the round being decided
      t.seenNow = false;
    }
    std::vector<PresenceEvent> events, sightings, departures;
    for (size_t i = 0; i < tags.size(); ++i) {
      const Sighting &s = tags[i];
      if (!Kept(s)) continue;
      auto found = index_.find(s.id);
      Tracked *t;
      if (found == index_.end()) {
        index_.emplace(s.id, tracked_.size());
        tracked_.push_back(Tracked{});
        t = &tracked_.back();
        t->id = s.id;
      } else {
        t = &tracked_[found->second];
        if (t->seenNow) continue;  // reported twice in one round: the first report holds
      }
      t->seenNow = true;
      t->window |= 1;
      t->swtt = s.swtt;
      t->type = s.type;
      t->antenna = s.antenna;
      t->lastSeen = now;
      t->lastRound = round_;
      if (t->present) {
        ++t->count;
        if (rules_.reportSeen) sightings.push_back(Event(PresenceEvent::Kind::seen, *t, now, i));
      } else if (Sightings(*t) >= rules_.arriveSeen) {
        t->present = true;
        t->count = Sightings(*t);
        t->firstSeen = roundTimes_[std::min<size_t>(HighestRound(*t), roundTimes_.size() - 1)];
        events.push_back(Event(PresenceEvent::Kind::arrived, *t, now, i));
      }
    }
    size_t kept = 0;
    for (size_t i = 0; i < tracked_.size(); ++i) {
      Tracked &t = tracked_[i];
      if (t.present && !t.seenNow) {
        const bool byRounds = rules_.leaveRounds > 0 && round_ - t.lastRound >= rules_.leaveRounds;
        const bool byTime = rules_.leaveMs > 0 && now - t.lastSeen >= std::chrono::milliseconds(rules_.leaveMs);
        if (byRounds || byTime) {
          t.present = false;
          departures.push_back(Event(PresenceEvent::Kind::left, t, now, PresenceEvent::npos));
        }
      }
      if (t.present || t.window != 0) {
        if (kept != i) tracked_[kept] = std::move(t);
        ++kept;
      }
    }
    if (kept != tracked_.size()) {
      tracked_.resize(kept);
      index_.clear();
      for (size_t i = 0; i < tracked_.size(); ++i) index_.emplace(tracked_[i].id, i);
    }
    events.insert(events.end(), sightings.begin(), sightings.end());
    events.insert(events.end(), departures.begin(), departures.end());
    return events;
  }

  /** The IDs of the tags present now, in the order they were first tracked. */
  std::vector<std::string> present() const {
    std::vector<std::string> ids;
    for (const Tracked &t : tracked_)
      if (t.present) ids.push_back(t.id);
    return ids;
  }

 private:
  struct Tracked {
    std::string id, swtt, type;
    int antenna = -1;
    uint64_t window = 0;  // bit k: seen k rounds ago
    uint64_t lastRound = 0, count = 0;
    Time firstSeen, lastSeen;
    bool present = false, seenNow = false;
  };

  static bool SameText(const std::string &a, const std::string &b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
      if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
      if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
      if (x != y) return false;
    }
    return true;
  }
  static bool Listed(const std::vector<std::string> &list, const std::string &v) {
    if (list.empty()) return true;
    for (const std::string &x : list)
      if (SameText(x, v)) return true;
    return false;
  }
  bool Kept(const Sighting &s) const { return Listed(rules_.ids, s.id) && Listed(rules_.swtt, s.swtt); }

  static unsigned Sightings(const Tracked &t) {
    unsigned n = 0;
    for (uint64_t w = t.window; w != 0; w &= w - 1) ++n;
    return n;
  }
  static size_t HighestRound(const Tracked &t) {
    size_t k = 0;
    for (uint64_t w = t.window; w > 1; w >>= 1) ++k;
    return k;
  }
  PresenceEvent Event(PresenceEvent::Kind kind, const Tracked &t, Time now, size_t sighting) const {
    PresenceEvent e;
    e.kind = kind;
    e.id = t.id;
    e.swtt = t.swtt;
    e.type = t.type;
    e.antenna = t.antenna;
    e.round = round_;
    e.time = now;
    e.firstSeen = t.firstSeen;
    e.lastSeen = t.lastSeen;
    e.count = t.count;
    e.sighting = sighting;
    return e;
  }

  PresenceRules rules_;
  std::vector<Tracked> tracked_;                   // in the order first tracked
  std::unordered_map<std::string, size_t> index_;  // ID -> place in tracked_
  std::vector<Time> roundTimes_;  // [k]: when the round k rounds ago ended
  uint64_t round_ = 0;
};

}  // namespace volneda

#endif
