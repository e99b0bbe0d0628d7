package com.korvanel.datacollection.rfid;

import java.time.Instant;
import java.time.ZoneOffset;
import java.time.format.DateTimeFormatter;

/**
 * What a round of a {@link Watch} changed for one tag: it arrived in the
 * field, was seen again, or left.  {@link #toJson()} gives the event under
 * the JSON names of the tool's watch and the console.
 */
public final class PresenceEvent {
    /** The kind of an event, with its JSON name. */
    public enum Kind {
        /** The tag came into the field. */
        ARRIVED("arrived"),
        /** A present tag was seen again (with {@link Watch.Rules#reportSeen(boolean)}). */
        SEEN("seen"),
        /** The tag left the field. */
        LEFT("left");

        private final String jsonName;

        Kind(String jsonName) {
            this.jsonName = jsonName;
        }

        /**
         * The name in JSON: {@code "arrived"}, {@code "seen"} or {@code "left"}.
         *
         * @return the name
         */
        public String jsonName() {
            return jsonName;
        }
    }

    private static final DateTimeFormatter UTC =
        DateTimeFormatter.ofPattern("yyyy-MM-dd'T'HH:mm:ss.SSS'Z'").withZone(ZoneOffset.UTC);

    private final Kind kind;
    private final String reader;
    private final String id;
    private final String swtt;
    private final String type;
    private final int antenna;
    private final long round;
    private final Instant time;
    private final Instant firstSeen;
    private final Instant lastSeen;
    private final long count;
    private final Tag tag;
    private final boolean withFields;

    PresenceEvent(Kind kind, String reader, String id, String swtt, String type, int antenna, long round, Instant time,
                  Instant firstSeen, Instant lastSeen, long count, Tag tag, boolean withFields) {
        this.kind = kind;
        this.reader = reader;
        this.id = id;
        this.swtt = swtt;
        this.type = type;
        this.antenna = antenna;
        this.round = round;
        this.time = time;
        this.firstSeen = firstSeen;
        this.lastSeen = lastSeen;
        this.count = count;
        this.tag = tag;
        this.withFields = withFields;
    }

    /** @return arrived, seen or left */
    public Kind kind() {
        return kind;
    }

    /** @return the name of the watched reader */
    public String reader() {
        return reader;
    }

    /** @return the tag's identifier */
    public String id() {
        return id;
    }

    /** @return the tag's SWTT identifier, as its latest sighting gave it */
    public String swtt() {
        return swtt;
    }

    /** @return the hardware tag type; empty when the driver does not report it */
    public String type() {
        return type;
    }

    /** @return the antenna of the latest sighting; -1 when not reported */
    public int antenna() {
        return antenna;
    }

    /** @return the round (from 1) that decided the event */
    public long round() {
        return round;
    }

    /** @return when that round ended */
    public Instant time() {
        return time;
    }

    /** @return the first sighting of this stay in the field */
    public Instant firstSeen() {
        return firstSeen;
    }

    /** @return the latest sighting */
    public Instant lastSeen() {
        return lastSeen;
    }

    /** @return the rounds of this stay that saw the tag */
    public long count() {
        return count;
    }

    /** @return the tag as the round reported it (with its fields when the watch reads); null for a departure */
    public Tag tag() {
        return tag;
    }

    /**
     * The event as one line of JSON: "event", "reader", "round", "time",
     * "id", "swtt", "type" (when reported), "antenna" (when reported),
     * "firstSeen", "lastSeen", "count" and, for an arrival or a sighting of
     * a watch whose rounds are reads, "fields".  Times in UTC.
     *
     * @return the JSON text
     */
    public String toJson() {
        StringBuilder b = new StringBuilder("{");
        b.append("\"event\":").append(quote(kind.jsonName)).append(",\"reader\":").append(quote(reader))
            .append(",\"round\":").append(round).append(",\"time\":").append(quote(UTC.format(time)))
            .append(",\"id\":").append(quote(id)).append(",\"swtt\":").append(quote(swtt));
        if (!type.isEmpty()) b.append(",\"type\":").append(quote(type));
        if (antenna >= 0) b.append(",\"antenna\":").append(antenna);
        b.append(",\"firstSeen\":").append(quote(UTC.format(firstSeen))).append(",\"lastSeen\":")
            .append(quote(UTC.format(lastSeen))).append(",\"count\":").append(count);
        if (withFields && tag != null) {
            b.append(",\"fields\":[");
            String comma = "";
            for (TagField f : tag.fields()) {
                java.util.List<String> parts = new java.util.ArrayList<>();
                if (!f.kind().isEmpty()) parts.add("\"type\":" + quote(f.kind()));
                if (f.entryNr() >= 0) parts.add("\"entryNr\":" + f.entryNr());
                if (!f.exists()) {
                    parts.add("\"warning\":" + quote(f.warning()));
                } else {
                    if (!f.swttMask().isEmpty()) parts.add("\"swttMask\":" + quote(f.swttMask()));
                    parts.add("\"name\":" + quote(f.name()));
                    parts.add("\"dataType\":" + quote(f.dataType()));
                    parts.add("\"dataStart\":" + f.dataStart());
                    parts.add("\"dataLen\":" + f.dataLen());
                    if ("SWTT".equals(f.kind())) parts.add("\"fieldStatus\":" + f.fieldStatus());
                    parts.add("\"value\":" + (f.isInt() ? String.valueOf(f.intValue()) : quote(f.text())));
                }
                b.append(comma).append('{').append(String.join(",", parts)).append('}');
                comma = ",";
            }
            b.append(']');
        }
        return b.append('}').toString();
    }

    static String quote(String s) {
        StringBuilder b = new StringBuilder("\"");
        for (char c : s.toCharArray()) {
            if (c == '"' || c == '\\') b.append('\\').append(c);
            else if (c < 0x20) b.append(String.format("\\u%04x", (int) c));
            else b.append(c);
        }
        return b.append('"').toString();
    }

    @Override
    public String toString() {
        return "round " + round + " " + kind.jsonName + " " + id + " (" + count + ")";
    }
}
