package com.korvanel.datacollection.rfid;

import java.util.Arrays;

/**
 * A program that ends while a reader context is alive: the VM must end as
 * any other.  Arguments: the state (started, dispatcher, open, fetching), how
 * it ends (exit: System.exit(0); return: the end of main; term: SIGTERM),
 * and the reader list.
 */
final class ExitChild {
    private ExitChild() {
    }

    public static void main(String[] args) throws Exception {
        int state = Arrays.asList("started", "dispatcher", "open", "fetching").indexOf(args[0]);
        int handle = SimulatedReader.startAll(args[2]);
        if (state >= 1) VOLNEDAProxy.StartDispatcher(handle);
        if (state >= 2 && VOLNEDAProxy.VOLNEDA_Open(handle, "DOCK1") != SimulatedReader.OK) System.exit(3);
        if (state >= 3) {
            // A service's fetch loop: a daemon thread blocked in the library.
            Thread fetcher = new Thread(() -> {
                while (VOLNEDAProxy.DispatcherGetData(handle, null, null, null, null, 0)) {
                }
            });
            fetcher.setDaemon(true);
            fetcher.start();
            Thread.sleep(200);
        }
        System.out.println("ending (" + args[0] + ", " + args[1] + ")");
        System.out.flush();
        if (args[1].equals("exit")) System.exit(0);
        if (args[1].equals("term")) {
            new ProcessBuilder("kill", "-TERM", Long.toString(ProcessHandle.current().pid())).start().waitFor();
            Thread.sleep(60000);
        }
    }
}
