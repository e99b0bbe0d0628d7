import com.korvanel.datacollection.rfid.Reader;
import com.korvanel.datacollection.rfid.ReaderException;
import com.korvanel.datacollection.rfid.Tag;
import com.korvanel.datacollection.rfid.TagField;

/**
 * Reads template fields and a raw memory field of the tags whose SWTT
 * identifier begins with 0123, and prints each field with its type and
 * value, with the Reader class of the Java layer.
 *
 * <pre>java ReaderReadFields [READER-LIST [READER [SELECT [WHERE]]]]</pre>
 */
public final class ReaderReadFields {
    private ReaderReadFields() {
    }

    public static void main(String[] args) {
        String list = args.length > 0 ? args[0] : "./rfconfig.ini";
        // Fields 0 to 2 of the tag's template, field 9 which it does not
        // define, and the first four bytes of memory as hexadecimal.
        String select = args.length > 2 ? args[2] : "field(0,1,2,9) mem(head,0,4,h)";
        String where = args.length > 3 ? args[3] : "swtt=0123";
        try (Reader reader = Reader.open(list, args.length > 1 ? args[1] : null)) {
            var tags = reader.read(select, where);
            System.out.println("read " + select + " where " + where + ": " + tags.size() + " tags");
            for (Tag tag : tags) {
                System.out.println("tag " + tag.id() + " (" + tag.fields().size() + " fields)");
                for (TagField field : tag.fields()) {
                    if (!field.exists()) {
                        System.out.println("  field " + field.entryNr() + ": not in this tag's template");
                        continue;
                    }
                    // value(): a Long for an Int field, else the text
                    System.out.printf("  %-8s %-6s %s%n", field.name(), field.dataType(), field.value());
                }
            }
        } catch (ReaderException e) {
            System.err.println(e.getMessage());
            System.exit(1);
        }
    }
}
