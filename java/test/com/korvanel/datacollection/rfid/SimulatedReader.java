package com.korvanel.datacollection.rfid;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardCopyOption;

/**
 * The example reader list, tag templates and tag field, copied next to the
 * tests (the simulated driver is pointed at the copied field file before the
 * VM starts).  Paths stay relative: a template name completed from the
 * reader list's directory must fit 63 characters.
 */
final class SimulatedReader {
    static final String DIR = "java/jtest";
    static final String CONFIG = DIR + "/rfconfig.ini";

    static final int OK = 0;
    static final int NO_FURTHER_READER = -3253;
    static final int NOT_OPEN = -3300;
    static final int NULL_CONTEXT = -3307;
    static final int SCAN_TRIGGER_UNSUPPORTED = -3400;
    static final int COMM_TIMEOUT_UNSUPPORTED = -3450;

    private static boolean copied;

    private SimulatedReader() {
    }

    static synchronized void install() throws IOException {
        if (copied) return;
        Path source = Paths.get(System.getProperty("volneda.source.dir", "."), "examples");
        Path target = Paths.get(DIR);
        Files.createDirectories(target);
        for (String name : new String[] {"rfconfig.ini", "SWTT.INI", "tagfield.ini"})
            Files.copy(source.resolve(name), target.resolve(name), StandardCopyOption.REPLACE_EXISTING);
        copied = true;
    }

    static int startAll(String config) {
        int[] handle = {-1};
        VOLNEDAProxy.VOLNEDA_StartAll(handle, config);
        return handle[0];
    }

    static void stopAll(int handle) {
        VOLNEDAProxy.VOLNEDA_StopAll(new int[] {handle});
    }

    static int openDoc(String text) {
        int[] doc = {-1};
        VOLNEDAProxy.XMLreader_OpenDoc(doc, text);
        return doc[0];
    }
}
