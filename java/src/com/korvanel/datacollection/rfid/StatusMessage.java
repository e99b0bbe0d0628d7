package com.korvanel.datacollection.rfid;

/**
 * One status message of the library: its level, the operation that posted
 * it (its source), a result code and a text, with the names and the
 * meaning that go with the numbers.
 */
public final class StatusMessage {
    private final int level;
    private final int source;
    private final int code;
    private final String text;

    /**
     * Creates a message.
     *
     * @param level 0 information, 1 warning, 2 error, 3 critical
     * @param source the number of the operation that posted it
     * @param code a result code, a driver status, or 0
     * @param text the message's text, often empty
     */
    public StatusMessage(int level, int source, int code, String text) {
        this.level = level;
        this.source = source;
        this.code = code;
        this.text = text == null ? "" : text;
    }

    /**
     * The level: 0 information, 1 warning, 2 error, 3 critical.
     *
     * @return the level
     */
    public int level() {
        return level;
    }

    /**
     * The level's name, for example {@code "warning"}.
     *
     * @return the name
     */
    public String levelName() {
        return Meanings.levelName(level);
    }

    /**
     * The number of the operation that posted the message.
     *
     * @return the source number
     */
    public int source() {
        return source;
    }

    /**
     * The source's name, for example {@code "identify"}.
     *
     * @return the name
     */
    public String sourceName() {
        return Meanings.sourceName(source);
    }

    /**
     * The result code or driver status the message carries.
     *
     * @return the code
     */
    public int code() {
        return code;
    }

    /**
     * What the code means.
     *
     * @return the meaning
     */
    public String meaning() {
        return Meanings.codeMeaning(code);
    }

    /**
     * The message's text (for example "Read OK"), empty when there is none.
     *
     * @return the text
     */
    public String text() {
        return text;
    }

    /**
     * The message as the volneda tool prints it, for example
     * {@code [warning] read -3302 (a requested template field ...): Field 5}.
     *
     * @return the message in one line
     */
    @Override
    public String toString() {
        String line = "[" + levelName() + "] " + sourceName() + " " + code + " (" + meaning() + ")";
        return text.isEmpty() ? line : line + ": " + text;
    }
}
