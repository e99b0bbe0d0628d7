package com.korvanel.datacollection.rfid;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertNull;
import static org.junit.Assert.assertTrue;

import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.time.Instant;
import java.util.ArrayList;
import java.util.Collections;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.concurrent.TimeUnit;
import org.junit.BeforeClass;
import org.junit.Test;

/** The presence tracker against the shared cases of tests/presence, and a watch on the simulated reader. */
public class WatchTest {
    static final Path PRESENCE = Paths.get(System.getProperty("volneda.source.dir", "."), "tests", "presence");
    private static final Instant START = Instant.parse("2026-12-08T12:00:00Z");

    @BeforeClass
    public static void files() throws Exception {
        SimulatedReader.install();
    }

    @SuppressWarnings("unchecked")
    static Map<String, Object> load(String name) throws Exception {
        return (Map<String, Object>) MiniJson.parse(new String(Files.readAllBytes(PRESENCE.resolve(name)),
                                                               StandardCharsets.UTF_8));
    }

    @SuppressWarnings("unchecked")
    static Watch.Rules rules(Map<String, Object> j) {
        Watch.Rules r = new Watch.Rules();
        for (Map.Entry<String, Object> e : j.entrySet()) {
            Object v = e.getValue();
            switch (e.getKey()) {
                case "interval": r.interval((Long) v); break;
                case "arriveSeen": r.arriveSeen(((Long) v).intValue()); break;
                case "arriveWindow": r.arriveWindow(((Long) v).intValue()); break;
                case "leaveRounds": r.leaveRounds((Long) v); break;
                case "leaveMs": r.leaveMs((Long) v); break;
                case "reportSeen": r.reportSeen((Boolean) v); break;
                case "swtt": r.swtt(((List<String>) v).toArray(new String[0])); break;
                case "ids": r.ids(((List<String>) v).toArray(new String[0])); break;
                default: throw new IllegalArgumentException("unknown watch rule " + e.getKey());
            }
        }
        return r;
    }

    @Test
    @SuppressWarnings("unchecked")
    public void everySharedCaseGivesItsEvents() throws Exception {
        List<Object> cases = (List<Object>) load("cases.json").get("cases");
        assertTrue(cases.size() >= 8);
        for (Object o : cases) {
            Map<String, Object> c = (Map<String, Object>) o;
            PresenceTracker tracker = new PresenceTracker(rules((Map<String, Object>) c.get("rules")));
            List<Map<String, Object>> got = new ArrayList<>();
            for (Object r : (List<Object>) c.get("rounds")) {
                Map<String, Object> round = (Map<String, Object>) r;
                List<Tag> tags = new ArrayList<>();
                for (Object t : (List<Object>) round.get("tags")) {
                    Map<String, Object> tag = (Map<String, Object>) t;
                    tags.add(new Tag((String) tag.get("id"), (String) tag.getOrDefault("swtt", ""), "",
                                     ((Long) tag.getOrDefault("antenna", -1L)).intValue(), Collections.emptyList()));
                }
                Instant now = START.plusMillis((Long) round.get("t"));
                for (PresenceEvent e : tracker.update(tags, now)) {
                    Map<String, Object> g = new LinkedHashMap<>();
                    g.put("round", e.round());
                    g.put("event", e.kind().jsonName());
                    g.put("id", e.id());
                    g.put("count", e.count());
                    g.put("firstSeen", e.firstSeen().toEpochMilli() - START.toEpochMilli());
                    g.put("lastSeen", e.lastSeen().toEpochMilli() - START.toEpochMilli());
                    g.put("swtt", e.swtt());
                    g.put("antenna", (long) e.antenna());
                    got.add(g);
                    assertEquals(now, e.time());
                }
            }
            List<Object> want = (List<Object>) c.get("events");
            List<Object> compared = new ArrayList<>();
            for (int i = 0; i < Math.min(want.size(), got.size()); ++i) {
                Map<String, Object> w = (Map<String, Object>) want.get(i);
                Map<String, Object> g = new LinkedHashMap<>();
                for (String k : w.keySet()) g.put(k, got.get(i).get(k));
                compared.add(g);
            }
            assertEquals((String) c.get("name"), want, compared);
            assertEquals((String) c.get("name"), want.size(), got.size());
        }
    }

    @Test
    public void aWatchStopsWithinItsRoundAndCallsItsListener() throws Exception {
        List<PresenceEvent> got = Collections.synchronizedList(new ArrayList<>());
        try (Reader reader = Reader.open(SimulatedReader.CONFIG)) {
            Watch watch = new Watch(reader, new Watch.Rules().interval(60000)).listener(got::add).start();
            while (watch.round() < 1) Thread.sleep(10);
            long started = System.nanoTime();
            watch.close();
            assertTrue(System.nanoTime() - started < 1_000_000_000L);
            assertTrue(watch.await(0));
            assertEquals("[round 1 arrived 0123456789ABCDEF (1), round 1 arrived 0456000000000007 (1)]", got.toString());
            assertNull(watch.next(0, TimeUnit.SECONDS));

            SimulatedReader.expectThrown(IllegalArgumentException.class, "arriveSeen must be 1 to arriveWindow",
                                         () -> new Watch(reader, new Watch.Rules().arriveSeen(2)));
            // Through the iteration, with the fields of a read, for two rounds.
            List<String> json = new ArrayList<>();
            for (PresenceEvent e : new Watch(reader, new Watch.Rules().interval(5)).select("field(1)").rounds(2))
                json.add(e.toJson());
            // The driver's rounds go on from the first watch's: its round 3 brings the passing carton.
            assertEquals(3, json.size());
            assertTrue(json.get(2), json.get(2).contains("\"id\":\"0456000000000012\""));
            assertTrue(json.get(1), json.get(1).matches("\\{\"event\":\"arrived\",\"reader\":\"DOCK1\",\"round\":1,"
                + "\"time\":\"20\\d\\d-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z\",\"id\":\"0456000000000007\","
                + "\"swtt\":\"045600000007\",\"type\":\"I2\",\"antenna\":2,\"firstSeen\":\".*\",\"lastSeen\":\".*\","
                + "\"count\":1,\"fields\":\\[\\{\"type\":\"SWTT\",\"entryNr\":1,.*\"name\":\"Weight\".*\"value\":1000\\}\\]\\}"));
        }
        assertTrue(Thread.getAllStackTraces().keySet().stream().noneMatch(t -> t.getName().equals("volneda-watch")));
    }
}
