import com.korvanel.datacollection.rfid.Reader;
import com.korvanel.datacollection.rfid.ReaderException;
import com.korvanel.datacollection.rfid.Tag;
import com.korvanel.datacollection.rfid.WriteRequest;

/**
 * Builds a write request, writes it to one tag and reads the fields back to
 * check them, with the Reader class of the Java layer.
 *
 * <pre>java ReaderWriteReadBack [READER-LIST [READER [TAG-ID]]]</pre>
 */
public final class ReaderWriteReadBack {
    private ReaderWriteReadBack() {
    }

    public static void main(String[] args) {
        String list = args.length > 0 ? args[0] : "./rfconfig.ini";
        String id = args.length > 2 ? args[2] : "0123456789ABCDEF";
        WriteRequest request = new WriteRequest()
                .tag(id)
                .field(2, "8")                                    // template field 2: Count
                .mem(48, 8, WriteRequest.MemType.STRING, "LAYER"); // 8 bytes of text from byte 48
        System.out.println(request.toXml());
        boolean ok;
        try (Reader reader = Reader.open(list, args.length > 1 ? args[1] : null)) {
            reader.write(request); // throws when a tag is missing or a write fails
            System.out.println("write: ok");
            Tag tag = reader.read("field(2) mem(note,48,8,s)", "tagid=" + id).get(0);
            long count = tag.field("Count").get().intValue();
            String note = tag.field("note").get().text().trim();
            System.out.println("read back: Count=" + count + " note=" + note);
            ok = count == 8 && note.equals("LAYER");
        } catch (ReaderException e) {
            System.err.println(e.getMessage());
            ok = false;
        }
        System.out.println(ok ? "the tag holds what was written" : "the tag does not hold what was written");
        System.exit(ok ? 0 : 1);
    }
}
