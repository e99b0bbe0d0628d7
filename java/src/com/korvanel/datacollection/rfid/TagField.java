package com.korvanel.datacollection.rfid;

/**
 * One field of a tag in a ReadTags result: a field of the tag's template
 * ({@code SWTT}), a raw memory field ({@code MEM}), or a template field
 * that was asked for but that the tag's template does not define (then
 * {@link #exists()} is false and {@link #warning()} says why).
 */
public final class TagField {
    private final String kind;
    private final int entryNr;
    private final String swttMask;
    private final String name;
    private final String dataType;
    private final int dataStart;
    private final int dataLen;
    private final int fieldStatus;
    private final String warning;
    private final String text;

    TagField(String kind, int entryNr, String swttMask, String name, String dataType, int dataStart, int dataLen,
             int fieldStatus, String warning, String text) {
        this.kind = kind;
        this.entryNr = entryNr;
        this.swttMask = swttMask;
        this.name = name;
        this.dataType = dataType;
        this.dataStart = dataStart;
        this.dataLen = dataLen;
        this.fieldStatus = fieldStatus;
        this.warning = warning;
        this.text = text;
    }

    /**
     * {@code "SWTT"} for a template field, {@code "MEM"} for a raw memory
     * field, empty for a template field the tag's template lacks.
     *
     * @return the kind
     */
    public String kind() {
        return kind;
    }

    /**
     * Whether the field exists: false for a listed template field that the
     * tag's template does not define.
     *
     * @return true for a field with a value
     */
    public boolean exists() {
        return warning.isEmpty();
    }

    /**
     * The template field number (0 to 15); -1 for a memory field.
     *
     * @return the field number
     */
    public int entryNr() {
        return entryNr;
    }

    /**
     * The mask of the template that matched the tag (template fields only).
     *
     * @return the mask, empty for other fields
     */
    public String swttMask() {
        return swttMask;
    }

    /**
     * The field's name: the template's, or the one given in {@code mem(...)}.
     *
     * @return the name, empty for a field that does not exist
     */
    public String name() {
        return name;
    }

    /**
     * The type name: {@code "Hex"}, {@code "Int"} or {@code "String"}.
     *
     * @return the type name
     */
    public String dataType() {
        return dataType;
    }

    /**
     * Where the field starts in tag memory, in bytes.
     *
     * @return the start address
     */
    public int dataStart() {
        return dataStart;
    }

    /**
     * The field's length in bytes.
     *
     * @return the length
     */
    public int dataLen() {
        return dataLen;
    }

    /**
     * The driver's status for the field (template fields; 0 is good).
     *
     * @return the field status, 0 for memory fields
     */
    public int fieldStatus() {
        return fieldStatus;
    }

    /**
     * Why the field does not exist ({@code "FieldDoesNotExist"}), empty when it does.
     *
     * @return the warning
     */
    public String warning() {
        return warning;
    }

    /**
     * The value as the result document gives it.
     *
     * @return the value's text
     */
    public String text() {
        return text;
    }

    /**
     * Whether the value is a whole number: the field's type is Int and its
     * text a number.
     *
     * @return true when {@link #intValue()} gives the value
     */
    public boolean isInt() {
        if (!"Int".equals(dataType) || text.isEmpty()) return false;
        try {
            Long.parseLong(text);
            return true;
        } catch (NumberFormatException e) {
            return false;
        }
    }

    /**
     * The value of an Int field as a number.
     *
     * @return the value
     * @throws IllegalStateException when the field's value is not a whole number
     */
    public long intValue() {
        if (!isInt()) throw new IllegalStateException("field " + name + " is not an integer: " + text);
        return Long.parseLong(text);
    }

    /**
     * The value, typed: a {@link Long} for an Int field, else the text.
     *
     * @return the value
     */
    public Object value() {
        return isInt() ? (Object) Long.valueOf(text) : text;
    }

    /**
     * The field as {@code name=value}.
     *
     * @return a short description
     */
    @Override
    public String toString() {
        return exists() ? name + "=" + text : "field " + entryNr + ": " + warning;
    }
}
