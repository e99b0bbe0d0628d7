// presence_watch.cpp -- tags arriving in and leaving a reader's field: a
// Watch whose rounds read template field 1, under the default presence
// rules at a shorter interval, over the changing example field
// (tagfield.ini: a carton in rounds 3 and 4, a pallet from round 5 to 8,
// every 8 rounds over again).
//
//   presence_watch [READER-LIST [READER [ROUNDS]]]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "volneda.hpp"

int main(int argc, char **argv) {
  const unsigned long rounds = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 10;
  try {
    volneda::Reader reader(argc > 1 ? argv[1] : "./rfconfig.ini", argc > 2 ? argv[2] : "DOCK1");
    volneda::PresenceRules rules;  // arrive when seen once, leave after 2 rounds unseen
    rules.interval = 20;
    volneda::Watch watch(reader, rules, "read field(1)");
    for (const volneda::WatchEvent &e : watch) {
      std::printf("round %2llu  %-7s  %s  swtt %s  antenna %d  seen %llu", static_cast<unsigned long long>(e.round),
                  volneda::PresenceEventName(e.kind), e.id.c_str(), e.swtt.c_str(), e.antenna,
                  static_cast<unsigned long long>(e.count));
      for (const volneda::Field &f : e.tag.fields) std::printf("  %s=%s", f.name.c_str(), f.value.c_str());
      std::printf("\n");
      if (e.round >= rounds) break;
    }
    watch.stop();
    std::printf("stopped\n");
  } catch (const volneda::Error &e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
