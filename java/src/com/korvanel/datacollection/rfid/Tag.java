package com.korvanel.datacollection.rfid;

import java.util.Collections;
import java.util.List;
import java.util.Optional;

/**
 * A tag in the reader's field, as an identify or a read reported it: its
 * identifier, SWTT identifier, hardware type and antenna and, after a
 * read, its fields.
 */
public final class Tag {
    private final String id;
    private final String swtt;
    private final String hwTagType;
    private final int antenna;
    private final List<TagField> fields;

    Tag(String id, String swtt, String hwTagType, int antenna, List<TagField> fields) {
        this.id = id;
        this.swtt = swtt;
        this.hwTagType = hwTagType;
        this.antenna = antenna;
        this.fields = Collections.unmodifiableList(fields);
    }

    /**
     * The tag's identifier: 16 hexadecimal digits.
     *
     * @return the identifier
     */
    public String id() {
        return id;
    }

    /**
     * The tag's SWTT identifier, which chooses its template.
     *
     * @return the SWTT identifier
     */
    public String swtt() {
        return swtt;
    }

    /**
     * The hardware tag type; empty when the driver does not report it
     * (interface versions below 2).
     *
     * @return the tag type
     */
    public String hwTagType() {
        return hwTagType;
    }

    /**
     * The antenna that saw the tag; -1 when the driver does not report it.
     *
     * @return the antenna number
     */
    public int antenna() {
        return antenna;
    }

    /**
     * The fields a read returned, template fields first, then memory
     * fields; empty after an identify.
     *
     * @return the fields, unmodifiable
     */
    public List<TagField> fields() {
        return fields;
    }

    /**
     * The first field of that name.
     *
     * @param name a template field's name or a memory field's
     * @return the field, or empty when the tag has none of that name
     */
    public Optional<TagField> field(String name) {
        for (TagField f : fields)
            if (f.exists() && f.name().equals(name)) return Optional.of(f);
        return Optional.empty();
    }

    /**
     * The tag as its identifier, SWTT identifier and fields.
     *
     * @return a short description
     */
    @Override
    public String toString() {
        return id + " " + swtt + (fields.isEmpty() ? "" : " " + fields);
    }
}
