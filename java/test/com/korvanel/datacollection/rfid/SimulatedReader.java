package com.korvanel.datacollection.rfid;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.fail;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.nio.file.StandardCopyOption;

/** The example files copied next to the tests (the driver reads the copied field), and common steps. */
final class SimulatedReader {
    static final String DIR = "java/jtest";
    static final String CONFIG = DIR + "/rfconfig.ini";
    static final int OK = 0;
    static final int NOT_OPEN = -3300;
    static final int NULL_CONTEXT = -3307;

    private SimulatedReader() {
    }

    static void install() throws IOException {
        Files.createDirectories(Paths.get(DIR));
        for (String name : new String[] {"rfconfig.ini", "SWTT.INI", "tagfield.ini"})
            Files.copy(Paths.get(System.getProperty("volneda.source.dir", "."), "examples", name), Paths.get(DIR, name),
                       StandardCopyOption.REPLACE_EXISTING);
    }

    static int startAll(String config) {
        int[] handle = {-1};
        VOLNEDAProxy.VOLNEDA_StartAll(handle, config);
        return handle[0];
    }

    static int openDoc(String text) {
        int[] doc = {-1};
        VOLNEDAProxy.XMLreader_OpenDoc(doc, text);
        return doc[0];
    }

    static void expectThrown(Class<? extends Throwable> type, String message, Runnable call) {
        try {
            call.run();
        } catch (Throwable t) {
            assertEquals(type.getName() + ": " + message, t.getClass().getName() + ": " + t.getMessage());
            return;
        }
        fail("nothing thrown, expected " + type.getName());
    }
}
