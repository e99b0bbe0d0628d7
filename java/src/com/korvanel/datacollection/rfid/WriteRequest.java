package com.korvanel.datacollection.rfid;


/**
 * A WriteTags request, built step by step: choose the tags, then give the
 * fields to write into them.
 *
 * <pre>{@code
 * reader.write(new WriteRequest()
 *         .tag("0456000000000007")
 *         .field(1, "1250")
 *         .mem(48, "Müller"));
 * }</pre>
 *
 * <p>Each {@code tag...} method starts a new group of tags; the field
 * methods add to the latest group.  The groups are written one after the
 * other, each by one driver call.
 */
public final class WriteRequest {
    /** The type of a raw memory field's value. */
    public enum MemType {
        /** Hexadecimal digits, two per byte. */
        HEX("Hex"),
        /** A whole number, 1, 2 or 4 bytes. */
        INT("Int"),
        /** Text, one byte per character in the system's code page. */
        STRING("String");

        private final String keyword;

        MemType(String keyword) {
            this.keyword = keyword;
        }

        /**
         * The type's keyword in the request document.
         *
         * @return {@code "Hex"}, {@code "Int"} or {@code "String"}
         */
        public String keyword() {
            return keyword;
        }
    }

    private final StringBuilder xml = new StringBuilder();  // the groups, the last one without its end tag
    private boolean open;

    /** Creates an empty request. */
    public WriteRequest() {
    }

    /**
     * Starts a group with the one tag of this identifier.
     *
     * @param id 16 hexadecimal digits
     * @return this request
     */
    public WriteRequest tag(String id) {
        return start(" ID=\"" + escape(id) + "\"");
    }

    /**
     * Starts a group with every tag whose SWTT identifier begins with the
     * prefix.
     *
     * @param prefix up to 12 hexadecimal digits
     * @return this request
     */
    public WriteRequest tagsWithSwtt(String prefix) {
        return start(" SWTT=\"" + escape(prefix) + "\"");
    }

    /**
     * Starts a group with every tag in the field.
     *
     * @return this request
     */
    public WriteRequest allTags() {
        return start("");
    }

    /**
     * Writes a template field of the tags of the latest group; its place,
     * length and type come from each tag's template.
     *
     * @param entryNr the field number, 0 to 15
     * @param value the new value
     * @return this request
     */
    public WriteRequest field(int entryNr, String value) {
        return add("<SWTTField EntryNr=\"" + entryNr + "\">" + escape(value) + "</SWTTField>");
    }

    /**
     * Writes text into raw memory; its length is that of the text.
     *
     * @param start the start address in bytes
     * @param text the characters to write
     * @return this request
     */
    public WriteRequest mem(int start, String text) {
        return add("<MEMField MemStart=\"" + start + "\" MemType=\"String\">" + escape(text) + "</MEMField>");
    }

    /**
     * Writes a value of the given type and length into raw memory.
     *
     * @param start the start address in bytes
     * @param length the length in bytes
     * @param type how the value is encoded
     * @param value the value's text
     * @return this request
     */
    public WriteRequest mem(int start, int length, MemType type, String value) {
        return add("<MEMField MemStart=\"" + start + "\" MemLen=\"" + length + "\" MemType=\"" + type.keyword() + "\">"
                   + escape(value) + "</MEMField>");
    }

    /**
     * Gives the tags of the latest group a new SWTT identifier (written to
     * memory bytes 12 to 17).
     *
     * @param swtt exactly 12 hexadecimal digits
     * @return this request
     */
    public WriteRequest swtt(String swtt) {
        return add("<SWTT>" + escape(swtt) + "</SWTT>");
    }

    /**
     * The request document, as {@link Reader#write(WriteRequest)} hands it
     * to the library.
     *
     * @return the WriteTags document
     */
    public String toXml() {
        return "<WriteTags>" + xml + (open ? "</Tag>" : "") + "</WriteTags>";
    }

    /**
     * The request document.
     *
     * @return the same as {@link #toXml()}
     */
    @Override
    public String toString() {
        return toXml();
    }

    private WriteRequest start(String attributes) {
        if (open) xml.append("</Tag>");
        xml.append("<Tag").append(attributes).append('>');
        open = true;
        return this;
    }

    private WriteRequest add(String element) {
        if (!open) throw new IllegalStateException("choose the tags first: tag(id), tagsWithSwtt(prefix) or allTags()");
        xml.append(element);
        return this;
    }

    private static String escape(String s) {
        StringBuilder out = new StringBuilder(s.length());
        for (char c : s.toCharArray()) {
            switch (c) {
                case '&': out.append("&amp;"); break;
                case '<': out.append("&lt;"); break;
                case '>': out.append("&gt;"); break;
                case '"': out.append("&quot;"); break;
                case '\'': out.append("&apos;"); break;
                default: out.append(c);
            }
        }
        return out.toString();
    }
}
