package com.korvanel.datacollection.rfid;

import static org.junit.Assert.assertArrayEquals;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertTrue;

import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.atomic.AtomicBoolean;
import org.junit.After;
import org.junit.Assume;
import org.junit.Before;
import org.junit.BeforeClass;
import org.junit.Test;

/** A reader session against the simulated reader of the examples. */
public class ProxyReaderTest {
    private int handle;

    @BeforeClass
    public static void files() throws Exception {
        SimulatedReader.install();
    }

    @Before
    public void start() {
        handle = SimulatedReader.startAll(SimulatedReader.CONFIG);
        VOLNEDAProxy.StartDispatcher(handle);
    }

    @After
    public void stop() {
        VOLNEDAProxy.VOLNEDA_Close(handle);
        VOLNEDAProxy.StopDispatcher(handle);
        SimulatedReader.stopAll(handle);
    }

    private String message() {
        int[] level = {-1}, source = {-1}, code = {-1};
        String[] text = {"x"};
        assertTrue(VOLNEDAProxy.DispatcherGetData(handle, level, source, code, text, 0));
        return level[0] + "," + source[0] + "," + code[0] + "," + text[0];
    }

    @Test
    public void discoveryNamesEveryReaderThenAnEmptyOne() {
        String[] name = {"x"};
        assertEquals(SimulatedReader.OK, VOLNEDAProxy.VOLNEDA_FindFirstReader(handle, name, 0));
        assertEquals("DOCK1", name[0]);
        assertEquals(SimulatedReader.OK, VOLNEDAProxy.VOLNEDA_FindNextReader(handle, name));
        assertEquals("GATE2", name[0]);
        assertEquals(SimulatedReader.NO_FURTHER_READER, VOLNEDAProxy.VOLNEDA_FindNextReader(handle, name));
        assertEquals("", name[0]);
    }

    @Test
    public void openPostsThroughTheDispatcher() {
        assertEquals(SimulatedReader.OK, VOLNEDAProxy.VOLNEDA_Open(handle, "DOCK1"));
        String[] expected = {"0,5,0,Opening reader...", "0,12,0,RFID_SWTT_FILE_NAME", "0,4,0,SWTT.INI read"};
        for (String m : expected) assertEquals(m, message());
        assertEquals(SimulatedReader.OK, VOLNEDAProxy.VOLNEDA_Close(handle));
        assertEquals(SimulatedReader.NOT_OPEN, VOLNEDAProxy.VOLNEDA_Close(handle));
        assertTrue(VOLNEDAProxy.VOLNEDA_Open(handle, "NO-SUCH-READER") < 0);
    }

    /** A Java program fetches messages on a thread of its own while another works the reader. */
    @Test
    public void dispatcherOnItsOwnThread() throws Exception {
        List<String> seen = new ArrayList<>();
        AtomicBoolean endedFalse = new AtomicBoolean();
        Thread fetcher = new Thread(() -> {
            for (;;) {
                int[] level = {-1}, source = {-1}, code = {-1};
                String[] text = {"x"};
                if (!VOLNEDAProxy.DispatcherGetData(handle, level, source, code, text, 0)) {
                    endedFalse.set(level[0] == 0 && source[0] == 0 && code[0] == 0 && text[0].isEmpty());
                    return;
                }
                synchronized (seen) {
                    seen.add(text[0]);
                    seen.notifyAll();
                }
            }
        });
        fetcher.start();
        assertEquals(SimulatedReader.OK, VOLNEDAProxy.VOLNEDA_Open(handle, "DOCK1"));
        synchronized (seen) {
            long until = System.currentTimeMillis() + 10000;
            while (seen.size() < 3 && System.currentTimeMillis() < until) seen.wait(100);
        }
        VOLNEDAProxy.StopDispatcher(handle);
        fetcher.join(10000);
        assertFalse(fetcher.isAlive());
        synchronized (seen) {
            assertEquals(List.of("Opening reader...", "RFID_SWTT_FILE_NAME", "SWTT.INI read"), seen);
        }
        assertTrue("a stopped dispatcher writes zeros and an empty text", endedFalse.get());
    }

    @Test
    public void attributesTravelBothWays() {
        String[] value = {"x"};
        assertEquals(SimulatedReader.NOT_OPEN, VOLNEDAProxy.VOLNEDA_GetAttribute(handle, "Power", value));
        assertEquals("", value[0]);
        assertEquals(SimulatedReader.OK, VOLNEDAProxy.VOLNEDA_Open(handle, "DOCK1"));
        assertEquals(SimulatedReader.OK, VOLNEDAProxy.VOLNEDA_GetAttribute(handle, "Power", value));
        assertEquals("30", value[0]);
        String[][] cases = {{"Power", "12"}, {"Label", "Gr\u00fc\u00dfe"}, {"Empty", ""}};
        for (String[] c : cases) {
            assertEquals(c[0], SimulatedReader.OK, VOLNEDAProxy.VOLNEDA_SetAttribute(handle, c[0], c[1]));
            value[0] = "x";
            assertEquals(c[0], SimulatedReader.OK, VOLNEDAProxy.VOLNEDA_GetAttribute(handle, c[0], value));
            assertEquals(c[0], c[1], value[0]);
        }
    }

    @Test
    public void errorTextIsStoredOnlyWhenThereIsOne() {
        String[] text = {"kept"};
        assertFalse(VOLNEDAProxy.VOLNEDA_GetErrorString(handle, -20, text));
        assertEquals("kept", text[0]);
        assertEquals(SimulatedReader.OK, VOLNEDAProxy.VOLNEDA_Open(handle, "DOCK1"));
        assertTrue(VOLNEDAProxy.VOLNEDA_GetErrorString(handle, -20, text));
        assertFalse(text[0].isEmpty() || text[0].equals("kept"));
        assertTrue(text[0].length() <= 111);
    }

    @Test
    public void refusedSettingsAndTemplates() {
        int[][] cases = {
            {VOLNEDAProxy.SetCommTimeOut(handle, 500), SimulatedReader.COMM_TIMEOUT_UNSUPPORTED},
            {VOLNEDAProxy.SetUseScanTrigger(handle, true), SimulatedReader.SCAN_TRIGGER_UNSUPPORTED},
            {VOLNEDAProxy.SetUseScanTrigger(handle, false), SimulatedReader.SCAN_TRIGGER_UNSUPPORTED},
            {VOLNEDAProxy.VOLNEDA_LoadSWTT(handle, SimulatedReader.DIR + "/SWTT.INI"), SimulatedReader.NOT_OPEN},
        };
        for (int i = 0; i < cases.length; i++) assertEquals("case " + i, cases[i][1], cases[i][0]);
        assertEquals(SimulatedReader.OK, VOLNEDAProxy.VOLNEDA_Open(handle, "DOCK1"));
        VOLNEDAProxy.VOLNEDA_UnloadSWTT(handle);
        assertEquals(SimulatedReader.OK, VOLNEDAProxy.VOLNEDA_LoadSWTT(handle, SimulatedReader.DIR + "/SWTT.INI"));
        assertTrue(VOLNEDAProxy.VOLNEDA_LoadSWTT(handle, SimulatedReader.DIR + "/none.ini") < 0);
    }

    @Test
    public void commandOutputsStartAtZero() {
        int[] length = {-1}, count = {-1};
        assertEquals(SimulatedReader.NOT_OPEN, VOLNEDAProxy.VOLNEDA_Command(handle, "identify", length, count));
        assertArrayEquals(new int[] {0, 0}, new int[] {length[0], count[0]});
        assertEquals(SimulatedReader.NOT_OPEN, VOLNEDAProxy.VOLNEDA_Write(handle, "<WriteTags/>"));
        String[] doc = {"x"};
        assertEquals(SimulatedReader.OK, VOLNEDAProxy.VOLNEDA_GetXMLData(handle, doc, 100));
        assertEquals("no document yet", "", doc[0]);
    }

    @Test
    public void identifyHandsOutItsDocument() {
        assertEquals(SimulatedReader.OK, VOLNEDAProxy.VOLNEDA_Open(handle, "DOCK1"));
        int[] length = {-1}, count = {-1};
        int result = VOLNEDAProxy.VOLNEDA_Command(handle, "identify", length, count);
        Assume.assumeTrue("command execution is part of this library", result != SimulatedReader.NOT_OPEN);
        assertEquals(SimulatedReader.OK, result);
        assertEquals(2, count[0]);
        String[] doc = {"x"};
        assertEquals(SimulatedReader.OK, VOLNEDAProxy.VOLNEDA_GetXMLData(handle, doc, length[0] + 1));
        assertEquals(length[0], doc[0].length());
        int reader = SimulatedReader.openDoc(doc[0]);
        try {
            assertEquals(1, VOLNEDAProxy.XMLreader_GetElement(reader));
            assertTrue(VOLNEDAProxy.XMLreader_FindTag(reader, "0456000000000007"));
        } finally {
            VOLNEDAProxy.XMLreader_CloseDoc(reader);
        }
    }
}
