import com.korvanel.datacollection.rfid.PresenceEvent;
import com.korvanel.datacollection.rfid.Reader;
import com.korvanel.datacollection.rfid.ReaderException;
import com.korvanel.datacollection.rfid.Watch;

/**
 * Watches a reader's field for ten rounds and prints each tag that arrives
 * or leaves, with the Watch class of the Java layer (the presence rules of
 * docs/presence.md, at their defaults but for a short interval).
 *
 * <pre>java ReaderWatch [READER-LIST]</pre>
 */
public final class ReaderWatch {
    private ReaderWatch() {
    }

    public static void main(String[] args) {
        String list = args.length > 0 ? args[0] : "./rfconfig.ini";
        // The try block stops the watch, then closes the reader.
        try (Reader reader = Reader.open(list);
             Watch watch = new Watch(reader, new Watch.Rules().interval(50)).rounds(10).start()) {
            // Blocks for each event; ends with the watch's last round.
            for (PresenceEvent e : watch) {
                System.out.printf("round %2d  %-7s  %s  count %d%n", e.round(), e.kind().jsonName(), e.id(),
                                  e.count());
            }
            System.out.println("in the field after round " + watch.round() + ": " + String.join(" ", watch.present()));
        } catch (ReaderException e) { // the result code and its meaning
            System.err.println(e.getMessage());
            System.exit(1);
        }
    }
}
