package com.korvanel.datacollection.rfid;

import java.io.IOException;
import java.io.StringReader;
import java.nio.charset.Charset;
import java.nio.charset.CharsetEncoder;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Collections;
import java.util.List;
import java.util.concurrent.TimeUnit;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import javax.xml.XMLConstants;
import javax.xml.parsers.DocumentBuilder;
import javax.xml.parsers.DocumentBuilderFactory;
import javax.xml.parsers.ParserConfigurationException;
import org.w3c.dom.Document;
import org.w3c.dom.Element;
import org.w3c.dom.Node;
import org.w3c.dom.NodeList;
import org.xml.sax.InputSource;
import org.xml.sax.SAXException;
import org.xml.sax.helpers.DefaultHandler;

/**
 * An open reader: identify the tags in its field, read and write their
 * fields, get and set its attributes.  Failures throw
 * {@link ReaderException} with the library's result code and its meaning.
 *
 * <pre>{@code
 * try (Reader reader = Reader.open("rfconfig.ini", "DOCK1", System.err::println)) {
 *     for (Tag tag : reader.read("field(0,1)", "swtt=0456"))
 *         System.out.println(tag.id() + " weighs " + tag.field("Weight").get().intValue());
 *     reader.write(new WriteRequest().tag("0456000000000007").field(1, "1250"));
 * }
 * }</pre>
 *
 * <p>A reader holds a context of the library with its status dispatcher;
 * {@link #close()} closes the reader, stops the dispatcher and releases the
 * context, in that order, and so does an {@link #open open} that fails.
 * Status messages go to the listener on a daemon thread of the reader's
 * own; every message an operation posts has reached the listener when the
 * operation returns.  The methods of one reader may be called from several
 * threads: they take turns.
 *
 * <p>Text that the library's 8-bit code page cannot hold (Windows-1252, or
 * the ANSI code page on Windows) is refused with an
 * {@link IllegalArgumentException} that names the characters, before
 * anything reaches the reader: the library would store '?' for each and
 * report success.  {@link #allowLossyText(boolean)} lets such text through.
 */
public final class Reader implements AutoCloseable {
    // SetCommTimeOut changes nothing and posts (warning, source 24, -3450,
    // empty text): the reader posts it as a marker behind an operation's
    // messages, and knows them all delivered when the status thread sees it.
    private static final int MARKER_LEVEL = 1;
    private static final int MARKER_SOURCE = 24;
    private static final int MARKER_CODE = -3450;
    private static final long FLUSH_LIMIT_MS = 2000;

    private final int handle;
    private final String config;  // the reader list as found: given, RF_RFID_CONFIG or rfconfig.ini
    private final StatusListener listener;
    private final Thread statusThread;
    private final Object lock = new Object();
    private long markersPosted;
    private long markersSeen;
    private boolean waiting;
    private boolean closed;
    private String name;
    private String lastDocument = "";
    private DocumentBuilder builder;  // made on the first result document, used under lock
    private volatile boolean lossy;

    // The library's code page, and the five bytes Windows-1252 leaves
    // undefined, which the library keeps as the C1 controls of their value.
    private static final String CODE_PAGE = System.getProperty("os.name", "").startsWith("Windows")
        ? System.getProperty("sun.jnu.encoding", "windows-1252") : "windows-1252";
    private static final String KEPT_CONTROLS = "\u0081\u008d\u008f\u0090\u009d";
    private static final Pattern CHARACTER_REFERENCE = Pattern.compile("&#(?:x([0-9a-fA-F]{1,6})|([0-9]{1,7}));");

    private Reader(String config, StatusListener listener) {
        String env = System.getenv("RF_RFID_CONFIG");
        if (config != null && !config.isEmpty()) this.config = config;
        else this.config = env != null && !env.isEmpty() ? env : "rfconfig.ini";
        this.listener = listener;
        // The library completes a bare template file name with the reader
        // list's directory; a bare list name has none to give, so it goes as
        // ./NAME (the same file).
        String path = this.config;
        if (path.indexOf('/') < 0 && path.indexOf('\\') < 0) path = "./" + path;
        int[] h = {0};
        VOLNEDAProxy.VOLNEDA_StartAll(h, path);
        handle = h[0];
        VOLNEDAProxy.StartDispatcher(handle);
        statusThread = new Thread(this::fetch, "volneda-status");
        statusThread.setDaemon(true);
        statusThread.start();
    }

    /**
     * Opens the first reader of the reader list, without a status listener.
     *
     * @param config the reader list file; null or empty: the environment
     *        variable RF_RFID_CONFIG, else rfconfig.ini in the current directory
     * @return the open reader
     * @throws ReaderException when the list names no reader or the reader does not open
     */
    public static Reader open(String config) {
        return open(config, null, null);
    }

    /**
     * Opens a reader by name, without a status listener.
     *
     * @param config the reader list file (null or empty: as {@link #open(String)})
     * @param readerName the reader; null: the first of the list
     * @return the open reader
     * @throws ReaderException when the reader does not open
     */
    public static Reader open(String config, String readerName) {
        return open(config, readerName, null);
    }

    /**
     * Opens a reader by name; the listener receives every status message
     * from the open on.
     *
     * @param config the reader list file (null or empty: as {@link #open(String)})
     * @param readerName the reader; null: the first of the list
     * @param listener receives the status messages; null for none
     * @return the open reader
     * @throws ReaderException when the reader does not open; its message
     *         names the readers that the list holds
     */
    public static Reader open(String config, String readerName, StatusListener listener) {
        Reader reader = new Reader(config, listener);
        try {
            reader.openReader(readerName);
            return reader;
        } catch (RuntimeException | Error e) {
            reader.close();
            throw e;
        }
    }

    /**
     * The readers that a reader list names, in its order.
     *
     * @param config the reader list file (null or empty: as {@link #open(String)})
     * @return the reader names
     * @throws ReaderException when the list cannot be read or names no reader
     */
    public static List<String> readers(String config) {
        Reader reader = new Reader(config, null);
        try {
            return reader.list();
        } finally {
            reader.close();
        }
    }

    private List<String> list() {
        List<String> names = new ArrayList<>();
        String[] n = {""};
        int r = VOLNEDAProxy.VOLNEDA_FindFirstReader(handle, n, 0);
        if (r != 0) throw failure("list the readers of " + config, r);
        do names.add(n[0]);
        while (VOLNEDAProxy.VOLNEDA_FindNextReader(handle, n) == 0);
        return names;
    }

    private void openReader(String readerName) {
        String chosen = readerName;
        if (chosen == null || chosen.isEmpty()) chosen = list().get(0);
        int r = VOLNEDAProxy.VOLNEDA_Open(handle, chosen);
        flush();
        if (r != 0) {
            String held;
            try {
                held = "the reader list " + config + " holds " + String.join(", ", list());
            } catch (ReaderException e) {
                held = "the reader list " + config + " cannot be read";
            }
            // An open that failed after the driver opened the reader leaves
            // it open; this releases it.
            VOLNEDAProxy.VOLNEDA_Close(handle);
            throw new ReaderException("open " + chosen, r, Meanings.codeMeaning(r), held);
        }
        name = chosen;
    }

    /**
     * The name of the open reader.
     *
     * @return the reader's name
     */
    public String name() {
        return name;
    }

    /**
     * Identifies every tag in the field.
     *
     * @return the tags, in the order the reader reported them
     * @throws ReaderException when the identify fails
     */
    public List<Tag> identify() {
        return command("identify");
    }

    /**
     * Identifies the tags that a where clause selects.
     *
     * @param where {@code swtt=MASK} (the SWTT identifier begins with MASK) or
     *        {@code tagid=ID}; the word "where" may be left out
     * @return the selected tags
     * @throws ReaderException when the clause is malformed or the identify fails
     */
    public List<Tag> identify(String where) {
        return command("identify " + whereClause(where));
    }

    /**
     * Reads every field of each tag's template, for every tag in the field.
     *
     * @return the tags with their fields
     * @throws ReaderException when the read fails
     */
    public List<Tag> read() {
        return command("read");
    }

    /**
     * Reads the listed fields of every tag in the field.
     *
     * @param select template fields by number, {@code field(0,1)}, and raw
     *        memory fields, {@code mem(NAME,START,LENGTH,TYPE)} with TYPE h, i or s
     * @return the tags with the fields
     * @throws ReaderException when the list is malformed or the read fails
     */
    public List<Tag> read(String select) {
        return command("read " + select);
    }

    /**
     * Reads the listed fields of the tags that a where clause selects.
     *
     * @param select the fields, as for {@link #read(String)}; {@code *} for every
     *        field of each tag's template, empty for none
     * @param where the selection, as for {@link #identify(String)}
     * @return the selected tags with the fields
     * @throws ReaderException when the command is malformed or the read fails
     */
    public List<Tag> read(String select, String where) {
        return command("read " + select + " " + whereClause(where));
    }

    /**
     * Runs any command of the command language as it stands.
     *
     * @param command for example {@code read field(1) where tagid=0456000000000007}
     * @return the tags of the result document
     * @throws ReaderException with the parser's code (for example -3201) or the reader's
     * @throws IllegalArgumentException when the code page cannot hold the command's text
     */
    public List<Tag> command(String command) {
        synchronized (lock) {
            requireOpen();
            requireHeld(command, command, false);
            int[] length = {0};
            int[] count = {0};
            int r = VOLNEDAProxy.VOLNEDA_Command(handle, command, length, count);
            flush();
            if (r != 0) throw failure(command, r);
            String[] doc = {""};
            VOLNEDAProxy.VOLNEDA_GetXMLData(handle, doc, length[0] + 1);
            lastDocument = doc[0];
            return parse(lastDocument);
        }
    }

    /**
     * The result document of the latest identify or read, as the library
     * gives it.
     *
     * @return the IdentifyTags or ReadTags document, empty before the first
     */
    public String lastDocument() {
        synchronized (lock) {
            return lastDocument;
        }
    }

    /**
     * Carries out a write request.  Its outcome per tag and per field comes
     * as status messages.
     *
     * @param request the request
     * @throws ReaderException when the request is refused (-3002 to -3014),
     *         finds no tag for some group (-3351) or fails in the driver (-3352)
     */
    public void write(WriteRequest request) {
        write(request.toXml());
    }

    /**
     * Carries out a WriteTags document given as text, or {@code @} and the
     * name of a UTF-8 file that holds one.
     *
     * @param document the request document
     * @throws ReaderException when the request fails, as for {@link #write(WriteRequest)}
     */
    public void write(String document) {
        synchronized (lock) {
            requireOpen();
            requireHeld("write", requestText(document), true);
            int r = VOLNEDAProxy.VOLNEDA_Write(handle, document);
            flush();
            if (r != 0) throw failure("write", r);
        }
    }

    /**
     * Reads a reader attribute.
     *
     * @param attribute the attribute's name
     * @return its value (at most 63 characters)
     * @throws ReaderException when the reader has no such attribute
     */
    public String attribute(String attribute) {
        synchronized (lock) {
            requireOpen();
            String[] value = {""};
            int r = VOLNEDAProxy.VOLNEDA_GetAttribute(handle, attribute, value);
            flush();
            if (r != 0) throw failure("get attribute " + attribute, r);
            return value[0];
        }
    }

    /**
     * Sets a reader attribute.
     *
     * @param attribute the attribute's name
     * @param value the new value
     * @throws ReaderException when the reader refuses it
     */
    public void setAttribute(String attribute, String value) {
        synchronized (lock) {
            requireOpen();
            requireHeld("set attribute " + attribute, attribute + " " + value, false);
            int r = VOLNEDAProxy.VOLNEDA_SetAttribute(handle, attribute, value);
            flush();
            if (r != 0) throw failure("set attribute " + attribute, r);
        }
    }

    /**
     * Whether text that the library's code page cannot hold goes to the
     * reader (stored as '?') instead of being refused; refused by default.
     *
     * @param allow true to let such text through
     * @return this reader
     */
    public Reader allowLossyText(boolean allow) {
        lossy = allow;
        return this;
    }

    /**
     * The characters of a text that the library's 8-bit code page cannot
     * hold, each once, in the order they first appear.
     *
     * @param text the text
     * @param xml whether character references ({@code &#x141;}) count as their characters
     * @return the characters, as strings of one code point each
     */
    public static List<String> unholdableCharacters(String text, boolean xml) {
        if (xml) {
            Matcher m = CHARACTER_REFERENCE.matcher(text);
            StringBuilder decoded = new StringBuilder();
            while (m.find()) {
                int c = Integer.parseInt(m.group(1) != null ? m.group(1) : m.group(2), m.group(1) != null ? 16 : 10);
                m.appendReplacement(decoded, Character.isValidCodePoint(c)
                                                 ? Matcher.quoteReplacement(new String(Character.toChars(c))) : "");
            }
            text = m.appendTail(decoded).toString();
        }
        CharsetEncoder encoder = Charset.forName(CODE_PAGE).newEncoder();
        List<String> out = new ArrayList<>();
        text.codePoints().forEach(c -> {
            String one = new String(Character.toChars(c));
            if (c < 0x80 || out.contains(one) || (KEPT_CONTROLS.indexOf(c) >= 0 && CODE_PAGE.endsWith("1252"))) return;
            if (!encoder.canEncode(one)) out.add(one);
        });
        return out;
    }

    private void requireHeld(String what, String text, boolean xml) {
        if (lossy) return;
        List<String> lost = unholdableCharacters(text, xml);
        if (lost.isEmpty()) return;
        StringBuilder names = new StringBuilder();
        for (String c : lost)
            names.append(names.length() > 0 ? ", " : "").append('\'').append(c).append("' (U+")
                 .append(String.format("%04X", c.codePointAt(0))).append(')');
        throw new IllegalArgumentException(what + ": the reader's code page (" + CODE_PAGE + ") cannot hold " + names
                                           + ": the library would store '?' for " + (lost.size() == 1 ? "it" : "them")
                                           + " (allowLossyText(true) lets them through)");
    }

    // A request's text: '@' and a file name stand for the file's text (a
    // regular file of at most 16 MiB; the library reports any other).
    private static String requestText(String document) {
        if (!document.startsWith("@")) return document;
        try {
            Path file = Paths.get(document.substring(1));
            if (Files.isRegularFile(file) && Files.size(file) <= (16L << 20))
                return new String(Files.readAllBytes(file), StandardCharsets.UTF_8);
        } catch (IOException | RuntimeException e) {
            // left to the library, which reports a file it cannot read
        }
        return "";
    }

    /**
     * Closes the reader, stops the status thread and releases the library's
     * context.  Closing again does nothing.
     */
    @Override
    public void close() {
        synchronized (lock) {
            if (closed) return;
            closed = true;
            if (name != null) VOLNEDAProxy.VOLNEDA_Close(handle);
            name = null;
            stopStatus();
            VOLNEDAProxy.VOLNEDA_StopAll(new int[] {handle});
        }
    }

    private void requireOpen() {
        if (closed || name == null) throw new IllegalStateException("the reader is closed");
    }

    private ReaderException failure(String operation, int code) {
        String meaning = Meanings.codeMeaning(code);
        if (!Meanings.isLibraryCode(code) && name != null) {
            String[] text = {""};
            if (VOLNEDAProxy.VOLNEDA_GetErrorString(handle, code, text) && !text[0].isEmpty()
                && !text[0].startsWith("Unable to retieve"))
                meaning = "reader driver: " + text[0];
        }
        return new ReaderException(operation, code, meaning);
    }

    private static String whereClause(String where) {
        String w = where.trim();
        return w.regionMatches(true, 0, "where", 0, 5) ? w : "where " + w;
    }

    // ---- Status messages --------------------------------------------------

    private void fetch() {
        for (;;) {
            int[] level = {0};
            int[] source = {0};
            int[] code = {0};
            String[] text = {""};
            synchronized (this) {
                waiting = true;
                notifyAll();
            }
            boolean got = VOLNEDAProxy.DispatcherGetData(handle, level, source, code, text, 0);
            synchronized (this) {
                waiting = false;
            }
            if (!got) return;
            if (level[0] == MARKER_LEVEL && source[0] == MARKER_SOURCE && code[0] == MARKER_CODE && text[0].isEmpty()) {
                synchronized (this) {
                    markersSeen++;
                    notifyAll();
                }
                continue;
            }
            if (listener == null) continue;
            try {
                listener.onStatus(new StatusMessage(level[0], source[0], code[0], text[0]));
            } catch (RuntimeException e) {
                // A failing listener must not stop the messages behind it.
                Thread t = Thread.currentThread();
                t.getUncaughtExceptionHandler().uncaughtException(t, e);
            }
        }
    }

    // Returns when every message posted so far has been handed to the
    // listener (or after a limit, should the marker be dropped by a full ring).
    private void flush() {
        if (Thread.currentThread() == statusThread) return;
        long target;
        synchronized (this) {
            target = ++markersPosted;
        }
        VOLNEDAProxy.SetCommTimeOut(handle, 0);
        synchronized (this) {
            long until = System.nanoTime() + TimeUnit.MILLISECONDS.toNanos(FLUSH_LIMIT_MS);
            while (markersSeen < target) {
                long left = until - System.nanoTime();
                if (left <= 0) {
                    markersSeen = markersPosted;
                    break;
                }
                waitQuietly(left);
            }
        }
    }

    // StopDispatcher must find the status thread waiting for it: drain the
    // queue, wait until the thread is back in DispatcherGetData, then stop.
    private void stopStatus() {
        flush();
        synchronized (this) {
            long until = System.nanoTime() + TimeUnit.MILLISECONDS.toNanos(FLUSH_LIMIT_MS);
            while (!waiting && System.nanoTime() < until) waitQuietly(until - System.nanoTime());
        }
        try {
            Thread.sleep(5);
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        }
        VOLNEDAProxy.StopDispatcher(handle);
        boolean interrupted = false;
        while (statusThread.isAlive()) {
            try {
                statusThread.join();
            } catch (InterruptedException e) {
                interrupted = true;
            }
        }
        if (interrupted) Thread.currentThread().interrupt();
    }

    private void waitQuietly(long nanos) {
        try {
            TimeUnit.NANOSECONDS.timedWait(this, Math.max(nanos, 1));
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        }
    }

    // ---- Result documents -------------------------------------------------

    private List<Tag> parse(String xml) {
        if (xml.isEmpty()) return Collections.emptyList();
        Element root;
        try {
            if (builder == null) {
                DocumentBuilderFactory f = DocumentBuilderFactory.newInstance();
                f.setFeature(XMLConstants.FEATURE_SECURE_PROCESSING, true);
                f.setFeature("http://apache.org/xml/features/disallow-doctype-decl", true);
                builder = f.newDocumentBuilder();
                builder.setErrorHandler(new DefaultHandler());
            }
            Document d = builder.parse(new InputSource(new StringReader(xml)));
            root = d.getDocumentElement();
        } catch (ParserConfigurationException | SAXException | IOException e) {
            throw new IllegalStateException("the result document cannot be read: " + e.getMessage(), e);
        }
        List<Tag> tags = new ArrayList<>();
        for (Element t : children(root, "Tag")) {
            List<TagField> fields = new ArrayList<>();
            for (Element f : children(t, "Field")) {
                fields.add(new TagField(f.getAttribute("Type"), number(f, "EntryNr", -1), f.getAttribute("SWTTmask"),
                                        f.getAttribute("Name"), f.getAttribute("DataType"),
                                        number(f, "DataStart", 0), number(f, "DataLen", 0),
                                        number(f, "FieldStatus", 0), f.getAttribute("Warning"), f.getTextContent()));
            }
            int antenna;
            try {
                antenna = Integer.parseInt(t.getAttribute("Antenna"), 16);
            } catch (NumberFormatException e) {
                antenna = -1;  // not reported (interface versions below 2)
            }
            tags.add(new Tag(t.getAttribute("ID"), t.getAttribute("SWTT"), t.getAttribute("HWTAGTYPE"), antenna,
                             fields));
        }
        return tags;
    }

    private static List<Element> children(Element parent, String name) {
        List<Element> out = new ArrayList<>();
        NodeList nodes = parent.getChildNodes();
        for (int i = 0; i < nodes.getLength(); i++) {
            Node n = nodes.item(i);
            if (n.getNodeType() == Node.ELEMENT_NODE && n.getNodeName().equals(name)) out.add((Element) n);
        }
        return out;
    }

    private static int number(Element e, String attribute, int absent) {
        String v = e.getAttribute(attribute);
        if (v.isEmpty()) return absent;
        try {
            return Integer.parseInt(v.trim());
        } catch (NumberFormatException x) {
            return absent;
        }
    }
}
