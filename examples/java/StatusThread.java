import com.korvanel.datacollection.rfid.VOLNEDAProxy;

/**
 * Follows a session through its status messages, fetched by a thread of
 * its own while the main thread works.  At the end: close, stop the
 * dispatcher (the fetching thread's DispatcherGetData returns false), join
 * the thread, free the context.
 */
public final class StatusThread {
    private static final String[] LEVELS = {"information", "warning", "error", "critical"};

    private StatusThread() {
    }

    public static void main(String[] args) throws InterruptedException {
        int[] handle = new int[1];
        VOLNEDAProxy.VOLNEDA_StartAll(handle, args.length > 0 ? args[0] : "./rfconfig.ini");
        VOLNEDAProxy.StartDispatcher(handle[0]);
        final int context = handle[0];
        final int[] messages = new int[1];
        Thread fetcher = new Thread(() -> {
            int[] level = new int[1];
            int[] source = new int[1];
            int[] code = new int[1];
            String[] text = new String[1];
            while (VOLNEDAProxy.DispatcherGetData(context, level, source, code, text, 0)) {
                String name = level[0] >= 0 && level[0] < LEVELS.length ? LEVELS[level[0]] : "?";
                System.out.printf("  [%s] source %d code %d  %s%n", name, source[0], code[0], text[0]);
                messages[0]++;
            }
        }, "volneda-status");
        // A daemon thread never keeps the VM alive.
        fetcher.setDaemon(true);
        fetcher.start();

        String[] name = {args.length > 1 ? args[1] : ""};
        int rc = name[0].isEmpty() ? VOLNEDAProxy.VOLNEDA_FindFirstReader(context, name, 0) : 0;
        if (rc == 0) {
            rc = VOLNEDAProxy.VOLNEDA_Open(context, name[0]);
        }
        System.out.println("open " + name[0] + ": " + rc);
        if (rc == 0) {
            Example.command(context, "identify");
            Example.command(context, "read field(0,7) where swtt=0123"); // field 7: a warning, -3302
            Example.command(context, "write everything"); // not a command: -3201
            VOLNEDAProxy.VOLNEDA_Close(context);
        }
        Thread.sleep(200); // time for the thread to take what is waiting
        VOLNEDAProxy.StopDispatcher(context);
        fetcher.join();
        VOLNEDAProxy.VOLNEDA_StopAll(handle);
        System.out.println(messages[0] + " status messages");
        System.exit(rc == 0 && messages[0] > 0 ? 0 : 1);
    }
}
