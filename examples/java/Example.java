import com.korvanel.datacollection.rfid.VOLNEDAProxy;

/**
 * What the Java examples share: opening the reader and closing it again in
 * the right order, and the result document of the last command.
 */
final class Example {
    private Example() {
    }

    /**
     * Starts a reader context on the reader list args[0] (default
     * ./rfconfig.ini) and opens the reader args[1], or the list's first one.
     * Returns the context handle, or 0 when no reader opened.
     */
    static int startAndOpen(String[] args) {
        // The path keeps its directory: a bare file name would make the
        // library look for the tag template at the root.
        String list = args.length > 0 ? args[0] : "./rfconfig.ini";
        int[] handle = new int[1];
        VOLNEDAProxy.VOLNEDA_StartAll(handle, list);
        VOLNEDAProxy.StartDispatcher(handle[0]);
        String[] name = {args.length > 1 ? args[1] : ""};
        if (name[0].isEmpty()) {
            int rc = VOLNEDAProxy.VOLNEDA_FindFirstReader(handle[0], name, 0);
            if (rc != 0) {
                System.err.println("no reader in " + list + ": " + rc);
                closeAndStop(handle[0]);
                return 0;
            }
        }
        int rc = VOLNEDAProxy.VOLNEDA_Open(handle[0], name[0]);
        System.out.println("open " + name[0] + ": " + rc);
        if (rc != 0) {
            closeAndStop(handle[0]);
            return 0;
        }
        return handle[0];
    }

    /** Close, stop the dispatcher, free the context: in this order. */
    static void closeAndStop(int handle) {
        VOLNEDAProxy.VOLNEDA_Close(handle);
        VOLNEDAProxy.StopDispatcher(handle);
        VOLNEDAProxy.VOLNEDA_StopAll(new int[] {handle});
    }

    /** Runs a command; returns its result document, or null on failure. */
    static String command(int handle, String command) {
        int[] length = new int[1];
        int[] tags = new int[1];
        int rc = VOLNEDAProxy.VOLNEDA_Command(handle, command, length, tags);
        System.out.println(command + ": " + rc + ", " + tags[0] + " tags");
        if (rc != 0) {
            return null;
        }
        String[] document = new String[1];
        // The buffer holds length characters and the terminator.
        VOLNEDAProxy.VOLNEDA_GetXMLData(handle, document, length[0] + 1);
        return document[0];
    }

    /** An attribute of the current child element, or "" when it has none. */
    static String childAttribute(int doc, String name) {
        String[] value = new String[1];
        VOLNEDAProxy.XMLreader_GetChildAttribute(doc, name, value, 520);
        return value[0];
    }
}
