import com.korvanel.datacollection.rfid.Reader;
import com.korvanel.datacollection.rfid.ReaderException;
import com.korvanel.datacollection.rfid.StatusMessage;
import java.util.concurrent.atomic.AtomicInteger;

/**
 * Follows a session through its status messages, with the Reader class of
 * the Java layer.
 *
 * <p>The reader fetches the messages on a thread of its own and passes each
 * to the listener, in order; every message of an operation has reached the
 * listener when the operation returns, and close() fetches those still
 * waiting before it stops the messages.  The listener must not call the
 * reader.
 *
 * <pre>java ReaderStatusMessages [READER-LIST [READER]]</pre>
 */
public final class ReaderStatusMessages {
    private ReaderStatusMessages() {
    }

    public static void main(String[] args) {
        String list = args.length > 0 ? args[0] : "./rfconfig.ini";
        AtomicInteger messages = new AtomicInteger();
        try (Reader reader = Reader.open(list, args.length > 1 ? args[1] : null, (StatusMessage m) -> {
            System.out.printf("  %-13s %-13s %6d  %s%n", "[" + m.levelName() + "]", m.sourceName(), m.code(), m.text());
            messages.incrementAndGet();
        })) {
            System.out.println("open " + reader.name());
            System.out.println("identify: " + reader.identify().size() + " tags");
            // field 7: a warning, -3302
            System.out.println("read: " + reader.read("field(0,7)", "swtt=0123").size() + " tags");
            try {
                reader.command("write everything"); // not a command: -3201
            } catch (ReaderException e) {
                System.out.println("write everything: " + e.code() + " (" + e.meaning() + ")");
            }
            System.out.println("template file: " + reader.attribute("RFID_SWTT_FILE_NAME"));
        } catch (ReaderException e) {
            System.err.println(e.getMessage());
            System.exit(1);
        }
        System.out.println(messages.get() + " status messages");
        System.exit(messages.get() > 0 ? 0 : 1);
    }
}
