package com.korvanel.datacollection.rfid;

/**
 * A reader operation failed: the result code the library returned, its
 * meaning, and the operation that returned it.
 *
 * <p>Codes of the library's own table (for example -3201, a command that
 * begins with neither "read" nor "identify") have the meaning that table
 * gives; other negative codes come from the reader driver unchanged, and
 * their meaning is the driver's text where it has one.
 */
public class ReaderException extends RuntimeException {
    private static final long serialVersionUID = 1L;

    /** The result code. */
    private final int code;
    /** What the code means. */
    private final String meaning;
    /** The operation that failed. */
    private final String operation;

    /**
     * Creates the exception for a failed operation.
     *
     * @param operation what was being done, for example the command text
     * @param code the result code
     * @param meaning what the code means
     */
    public ReaderException(String operation, int code, String meaning) {
        super(operation + ": " + code + " (" + meaning + ")");
        this.operation = operation;
        this.code = code;
        this.meaning = meaning;
    }

    /**
     * Creates the exception for a failed operation, with more to say than
     * the code and its meaning.
     *
     * @param operation what was being done
     * @param code the result code
     * @param meaning what the code means
     * @param detail a further sentence, appended to the message
     */
    public ReaderException(String operation, int code, String meaning, String detail) {
        super(operation + ": " + code + " (" + meaning + "); " + detail);
        this.operation = operation;
        this.code = code;
        this.meaning = meaning;
    }

    /**
     * The result code: negative, as the library returned it.
     *
     * @return the code
     */
    public int code() {
        return code;
    }

    /**
     * What the code means.
     *
     * @return the meaning, never null
     */
    public String meaning() {
        return meaning;
    }

    /**
     * The operation that failed, for example {@code "open DOCK1"} or the
     * command text.
     *
     * @return the operation
     */
    public String operation() {
        return operation;
    }
}
