package com.korvanel.datacollection.rfid;

import static org.junit.Assert.assertEquals;

import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Map;
import org.junit.Test;

/**
 * The changing field of tests/presence/field.ini gives the events of
 * expected.json, as in the tool and the Python package.  Run on its own,
 * with the driver reading that field (java_presence_field).
 */
public class PresenceField {
    @Test
    @SuppressWarnings("unchecked")
    public void theChangingFieldGivesTheSharedEvents() throws Exception {
        Map<String, Object> expected = WatchTest.load("expected.json");
        Watch.Rules rules = WatchTest.rules((Map<String, Object>) expected.get("rules")).interval(5);
        List<Object> got = new ArrayList<>();
        try (Reader reader = Reader.open(System.getProperty("volneda.source.dir") + "/examples/rfconfig.ini");
             Watch watch = new Watch(reader, rules).rounds((Long) expected.get("rounds"))) {
            for (PresenceEvent e : watch)
                got.add(Arrays.asList(e.round(), e.kind().jsonName(), e.id(), e.count()));
        }
        assertEquals(expected.get("events"), got);
    }
}
