package com.korvanel.datacollection.rfid;

import static org.junit.Assert.assertArrayEquals;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertTrue;

import java.util.ArrayList;
import java.util.List;
import org.junit.After;
import org.junit.Before;
import org.junit.Test;

/** A reader session against the simulated reader of the examples. */
public class ProxyReaderTest {
    private int handle;

    @Before
    public void start() throws Exception {
        SimulatedReader.install();
        handle = SimulatedReader.startAll(SimulatedReader.DIR + "/rfconfig.ini");
        VOLNEDAProxy.StartDispatcher(handle);
    }

    @After
    public void stop() {
        VOLNEDAProxy.VOLNEDA_Close(handle);
        VOLNEDAProxy.StopDispatcher(handle);
        VOLNEDAProxy.VOLNEDA_StopAll(new int[] {handle});
    }

    /** A Java program fetches messages on a thread of its own while another works the reader. */
    @Test
    public void discoveryOpenAndTheDispatcherOnItsOwnThread() throws Exception {
        List<String> seen = new ArrayList<>();
        Thread fetcher = new Thread(() -> {
            for (boolean got = true; got;) {
                int[] level = {-1}, source = {-1}, code = {-1};
                String[] text = {"x"};
                got = VOLNEDAProxy.DispatcherGetData(handle, level, source, code, text, 0);
                synchronized (seen) {
                    seen.add(got + ":" + level[0] + "," + source[0] + "," + code[0] + "," + text[0]);
                    seen.notifyAll();
                }
            }
        });
        fetcher.start();
        String[] first = {"x"}, second = {"x"}, none = {"x"};
        int[] results = {VOLNEDAProxy.VOLNEDA_FindFirstReader(handle, first, 0),
                         VOLNEDAProxy.VOLNEDA_FindNextReader(handle, second),
                         VOLNEDAProxy.VOLNEDA_FindNextReader(handle, none), VOLNEDAProxy.VOLNEDA_Open(handle, "DOCK1")};
        assertArrayEquals(new int[] {0, 0, -3253, 0}, results);
        assertEquals("DOCK1 GATE2 ", first[0] + " " + second[0] + " " + none[0]);
        synchronized (seen) {
            for (long until = System.currentTimeMillis() + 10000; seen.size() < 3 && System.currentTimeMillis() < until;)
                seen.wait(100);
        }
        VOLNEDAProxy.StopDispatcher(handle);
        fetcher.join(10000);
        // A stopped dispatcher writes zeros and an empty text.
        assertEquals(List.of("true:0,5,0,Opening reader...", "true:0,12,0,RFID_SWTT_FILE_NAME",
                             "true:0,4,0,SWTT.INI read", "false:0,0,0,"), seen);
    }

    @Test
    public void attributesErrorTextsAndCommands() {
        String[] value = {"x"}, text = {"kept"}, doc = {"x"};
        int[] length = {-1}, count = {-1};
        int[] refused = {VOLNEDAProxy.VOLNEDA_GetAttribute(handle, "Power", value),
                         VOLNEDAProxy.VOLNEDA_LoadSWTT(handle, SimulatedReader.DIR + "/SWTT.INI"),
                         VOLNEDAProxy.VOLNEDA_Command(handle, "identify", length, count),
                         VOLNEDAProxy.VOLNEDA_Write(handle, "<WriteTags/>"), length[0], count[0],
                         VOLNEDAProxy.SetCommTimeOut(handle, 500), VOLNEDAProxy.SetUseScanTrigger(handle, false)};
        assertArrayEquals(new int[] {-3300, -3300, -3300, -3300, 0, 0, -3450, -3400}, refused);
        assertFalse(VOLNEDAProxy.VOLNEDA_GetErrorString(handle, -20, text));
        assertEquals("stored only when there is one", "kept|", text[0] + "|" + value[0]);
        assertEquals(0, VOLNEDAProxy.VOLNEDA_Open(handle, "DOCK1"));
        assertTrue(VOLNEDAProxy.VOLNEDA_GetErrorString(handle, -20, text));
        assertEquals("Tag field access failed", text[0]);
        for (String[] c : new String[][] {{"Power", "30"}, {"Label", "Gr\u00fc\u00dfe"}, {"Empty", ""}}) {
            if (!c[0].equals("Power")) assertEquals(c[0], 0, VOLNEDAProxy.VOLNEDA_SetAttribute(handle, c[0], c[1]));
            assertEquals(c[0], 0, VOLNEDAProxy.VOLNEDA_GetAttribute(handle, c[0], value));
            assertEquals(c[0], c[1], value[0]);
        }
        VOLNEDAProxy.VOLNEDA_UnloadSWTT(handle);
        assertEquals(0, VOLNEDAProxy.VOLNEDA_LoadSWTT(handle, SimulatedReader.DIR + "/SWTT.INI"));
        assertEquals(0, VOLNEDAProxy.VOLNEDA_Command(handle, "read field(0)", length, count));
        assertEquals(0, VOLNEDAProxy.VOLNEDA_GetXMLData(handle, doc, length[0] + 1));
        assertEquals(length[0] + " " + 2, doc[0].length() + " " + count[0]);
        int reader = SimulatedReader.openDoc(doc[0]);
        assertTrue(VOLNEDAProxy.XMLreader_GetElement(reader) == 2 && VOLNEDAProxy.XMLreader_FindTag(reader, "0456000000000007"));
        VOLNEDAProxy.XMLreader_CloseDoc(reader);
    }
}
