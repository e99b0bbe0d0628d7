import com.korvanel.datacollection.rfid.Reader;
import com.korvanel.datacollection.rfid.ReaderException;
import com.korvanel.datacollection.rfid.Tag;

/**
 * Lists the readers, opens one and identifies the tags in its field, with
 * the Reader class of the Java layer.
 *
 * <pre>java ReaderInventory [READER-LIST [READER]]</pre>
 */
public final class ReaderInventory {
    private ReaderInventory() {
    }

    public static void main(String[] args) {
        String list = args.length > 0 ? args[0] : "./rfconfig.ini";
        try {
            for (String name : Reader.readers(list)) {
                System.out.println("reader " + name);
            }
            // null: the list's first reader.  The try block closes the
            // reader, stops its status thread and releases the context.
            try (Reader reader = Reader.open(list, args.length > 1 ? args[1] : null)) {
                var tags = reader.identify();
                System.out.println("identify on " + reader.name() + ": " + tags.size() + " tags");
                for (Tag tag : tags) {
                    System.out.println("tag " + tag.id() + "  SWTT " + tag.swtt() + "  type " + tag.hwTagType()
                            + "  antenna " + tag.antenna());
                }
            }
        } catch (ReaderException e) { // the result code and its meaning
            System.err.println(e.getMessage());
            System.exit(1);
        }
    }
}
