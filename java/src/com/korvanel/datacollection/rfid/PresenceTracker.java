package com.korvanel.datacollection.rfid;

import java.time.Duration;
import java.time.Instant;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;

/**
 * Applies the rules of a watch to one round after another: which tags
 * arrived, which were seen again, which left (the rules of
 * docs/presence.md, the same as the tool's watch and the console).
 * {@link Watch} runs one; it is public for rounds of the caller's own.
 * Not thread-safe.
 */
public final class PresenceTracker {
    private static final class Tracked {
        String id;
        String swtt = "";
        String type = "";
        int antenna = -1;
        Tag tag;
        long window;  // bit k: seen k rounds ago
        long lastRound;
        long count;
        Instant firstSeen;
        Instant lastSeen;
        boolean present;
        boolean seenNow;
    }

    private final Watch.Rules rules;
    private final String reader;
    private final boolean withFields;
    private final List<String> swtt = new ArrayList<>();
    private final List<String> ids = new ArrayList<>();
    private List<Tracked> tracked = new ArrayList<>();  // in the order first tracked
    private Map<String, Integer> index = new HashMap<>();
    private final List<Instant> roundTimes = new ArrayList<>();  // [k]: when the round k rounds ago ended
    private long round;

    /**
     * A tracker with these rules (copied).
     *
     * @param rules the rules
     * @throws IllegalArgumentException when the rules cannot work (see {@link Watch.Rules#problem()})
     */
    public PresenceTracker(Watch.Rules rules) {
        this(rules, "", false);
    }

    PresenceTracker(Watch.Rules rules, String reader, boolean withFields) {
        String problem = rules.problem();
        if (problem != null) throw new IllegalArgumentException(problem);
        this.rules = rules.copy();
        this.reader = reader;
        this.withFields = withFields;
        for (String s : rules.swtt()) swtt.add(s.toLowerCase(Locale.ROOT));
        for (String s : rules.ids()) ids.add(s.toLowerCase(Locale.ROOT));
    }

    /** @return the rounds so far */
    public long round() {
        return round;
    }

    /** @return the IDs of the tags present now, in the order first tracked */
    public List<String> present() {
        List<String> out = new ArrayList<>();
        for (Tracked t : tracked)
            if (t.present) out.add(t.id);
        return out;
    }

    /**
     * One round: the tags it reported, in its order, and when it ended.
     *
     * @param tags the round's tags
     * @param now when the round ended
     * @return its events: arrivals, then sightings, in the round's order; then departures, in the order the tags
     *         were first tracked
     */
    public List<PresenceEvent> update(List<Tag> tags, Instant now) {
        ++round;
        int window = rules.arriveWindow();
        roundTimes.add(0, now);
        while (roundTimes.size() > window) roundTimes.remove(roundTimes.size() - 1);
        long inWindow = window >= 64 ? ~0L : (1L << window) - 1;
        for (Tracked t : tracked) {
            t.window = (t.window << 1) & inWindow;  // bit 0 is the round being decided
            t.seenNow = false;
        }
        List<PresenceEvent> events = new ArrayList<>();
        List<PresenceEvent> sightings = new ArrayList<>();
        List<PresenceEvent> departures = new ArrayList<>();
        for (Tag s : tags) {
            if (!listed(ids, s.id()) || !listed(swtt, s.swtt())) continue;
            Integer found = index.get(s.id());
            Tracked t;
            if (found == null) {
                index.put(s.id(), tracked.size());
                t = new Tracked();
                t.id = s.id();
                tracked.add(t);
            } else {
                t = tracked.get(found);
                if (t.seenNow) continue;  // reported twice in one round: the first report holds
            }
            t.seenNow = true;
            t.window |= 1;
            t.swtt = s.swtt();
            t.type = s.hwTagType();
            t.antenna = s.antenna();
            t.tag = s;
            t.lastSeen = now;
            t.lastRound = round;
            if (t.present) {
                ++t.count;
                if (rules.reportSeen()) sightings.add(event(PresenceEvent.Kind.SEEN, t, now, s));
            } else if (Long.bitCount(t.window) >= rules.arriveSeen()) {
                t.present = true;
                t.count = Long.bitCount(t.window);
                int oldest = 63 - Long.numberOfLeadingZeros(t.window);
                t.firstSeen = roundTimes.get(Math.min(oldest, roundTimes.size() - 1));
                events.add(event(PresenceEvent.Kind.ARRIVED, t, now, s));
            }
        }
        List<Tracked> kept = new ArrayList<>();
        for (Tracked t : tracked) {
            if (t.present && !t.seenNow) {
                boolean byRounds = rules.leaveRounds() > 0 && round - t.lastRound >= rules.leaveRounds();
                boolean byTime = rules.leaveMs() > 0
                    && Duration.between(t.lastSeen, now).compareTo(Duration.ofMillis(rules.leaveMs())) >= 0;
                if (byRounds || byTime) {
                    t.present = false;
                    departures.add(event(PresenceEvent.Kind.LEFT, t, now, null));
                }
            }
            // A tag that has left and has no sighting inside the window is forgotten.
            if (t.present || t.window != 0) kept.add(t);
        }
        if (kept.size() != tracked.size()) {
            tracked = kept;
            index = new HashMap<>();
            for (int i = 0; i < kept.size(); ++i) index.put(kept.get(i).id, i);
        }
        events.addAll(sightings);
        events.addAll(departures);
        return events;
    }

    private static boolean listed(List<String> list, String value) {
        return list.isEmpty() || list.contains(value.toLowerCase(Locale.ROOT));
    }

    private PresenceEvent event(PresenceEvent.Kind kind, Tracked t, Instant now, Tag tag) {
        return new PresenceEvent(kind, reader, t.id, t.swtt, t.type, t.antenna, round, now, t.firstSeen, t.lastSeen,
                                 t.count, tag, withFields);
    }
}
