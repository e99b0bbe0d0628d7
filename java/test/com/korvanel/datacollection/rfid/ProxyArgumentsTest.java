package com.korvanel.datacollection.rfid;

import static org.junit.Assert.assertArrayEquals;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertNotEquals;
import static org.junit.Assert.assertTrue;
import static org.junit.Assert.fail;

import java.util.function.Consumer;
import java.util.function.IntUnaryOperator;
import org.junit.Assume;
import org.junit.Test;

/** What the native side does with arguments a careful caller would not pass. */
public class ProxyArgumentsTest {
    private static final String ARRAY_NULL = "array null";
    private static final String ARRAY_EMPTY = "Array must contain at least 1 element";

    private static boolean wideAddresses() {
        return "64".equals(System.getProperty("sun.arch.data.model"));
    }

    private static void expectThrown(String what, Class<? extends Throwable> type, String message, Runnable call) {
        try {
            call.run();
        } catch (Throwable t) {
            assertEquals(what, type, t.getClass());
            assertEquals(what, message, t.getMessage());
            return;
        }
        fail(what + ": nothing thrown");
    }

    @Test
    public void guardedArraysAreCheckedBeforeTheCall() {
        int[] untouched = {-1};
        Object[][] cases = {
            {"StartAll", (Consumer<int[]>) a -> VOLNEDAProxy.VOLNEDA_StartAll(a, "")},
            {"StopAll", (Consumer<int[]>) VOLNEDAProxy::VOLNEDA_StopAll},
            {"Version major", (Consumer<int[]>) a -> VOLNEDAProxy.VOLNEDA_Version(a, untouched)},
            {"Version minor", (Consumer<int[]>) a -> VOLNEDAProxy.VOLNEDA_Version(untouched, a)},
        };
        for (Object[] c : cases) {
            @SuppressWarnings("unchecked")
            Consumer<int[]> call = (Consumer<int[]>) c[1];
            String name = (String) c[0];
            expectThrown(name + " null", NullPointerException.class, ARRAY_NULL, () -> call.accept(null));
            expectThrown(name + " empty", IndexOutOfBoundsException.class, ARRAY_EMPTY,
                         () -> call.accept(new int[0]));
            assertEquals(name + ": the other array is not written", -1, untouched[0]);
        }
        // With both arrays bad, the major one is the one reported.
        expectThrown("Version both", NullPointerException.class, ARRAY_NULL,
                     () -> VOLNEDAProxy.VOLNEDA_Version(null, new int[0]));
        expectThrown("Version both", IndexOutOfBoundsException.class, ARRAY_EMPTY,
                     () -> VOLNEDAProxy.VOLNEDA_Version(new int[0], null));
    }

    @Test
    public void versionFillsBothArrays() {
        int[] major = {-1};
        int[] minor = {-1, 77};
        VOLNEDAProxy.VOLNEDA_Version(major, minor);
        assertEquals(1, major[0]);
        assertArrayEquals(new int[] {23, 77}, minor);
    }

    @Test
    public void stopAllKeepsTheNumberButTheContextIsGone() {
        int handle = SimulatedReader.startAll("");
        assertNotEquals(0, handle);
        int[] slot = {handle};
        VOLNEDAProxy.VOLNEDA_StopAll(slot);
        assertEquals(handle, slot[0]);
        assertEquals(SimulatedReader.NULL_CONTEXT, VOLNEDAProxy.VOLNEDA_Close(handle));
        VOLNEDAProxy.VOLNEDA_StopAll(slot);  // a second stop finds nothing to do
        int next = SimulatedReader.startAll("");
        assertNotEquals("a stopped number is not handed out again at once", handle, next);
        SimulatedReader.stopAll(next);
    }

    /** Every reader method under a handle that names no context. */
    @Test
    public void readerHandlesThatNameNoContext() {
        int stale = SimulatedReader.startAll("");
        SimulatedReader.stopAll(stale);
        int doc = SimulatedReader.openDoc("<ReadTags/>");
        int[][] handles = wideAddresses()
            ? new int[][] {{0}, {0x7fffffff}, {-5}, {stale}, {doc}}
            : new int[][] {{0}, {stale}};
        String[] out = {"x"};
        IntUnaryOperator[] coded = {
            h -> VOLNEDAProxy.VOLNEDA_Open(h, "DOCK1"),
            VOLNEDAProxy::VOLNEDA_Close,
            h -> VOLNEDAProxy.VOLNEDA_GetXMLData(h, out, 100),
            h -> VOLNEDAProxy.SetCommTimeOut(h, 10),
            h -> VOLNEDAProxy.SetUseScanTrigger(h, true),
            h -> VOLNEDAProxy.VOLNEDA_GetAttribute(h, "Power", out),
            h -> VOLNEDAProxy.VOLNEDA_SetAttribute(h, "Power", "1"),
            h -> VOLNEDAProxy.VOLNEDA_LoadSWTT(h, "SWTT.INI"),
        };
        for (int[] h : handles) {
            for (int i = 0; i < coded.length; i++) {
                out[0] = "x";
                assertEquals("handle " + h[0] + " method " + i, SimulatedReader.NULL_CONTEXT,
                             coded[i].applyAsInt(h[0]));
                assertEquals("handle " + h[0] + " method " + i, i == 2 || i == 5 ? "" : "x", out[0]);
            }
            VOLNEDAProxy.StartDispatcher(h[0]);
            VOLNEDAProxy.VOLNEDA_UnloadSWTT(h[0]);
            int[] level = {-1}, source = {-1}, code = {-1};
            String[] text = {"x"};
            assertFalse(VOLNEDAProxy.DispatcherGetData(h[0], level, source, code, text, 0));
            assertArrayEquals(new int[] {0, 0, 0}, new int[] {level[0], source[0], code[0]});
            assertEquals("", text[0]);
            VOLNEDAProxy.StopDispatcher(h[0]);
        }
        VOLNEDAProxy.XMLreader_CloseDoc(doc);
    }

    /** Every document method under a handle that names no document. */
    @Test
    public void documentHandlesThatNameNoDocument() {
        int closed = SimulatedReader.openDoc("<ReadTags/>");
        VOLNEDAProxy.XMLreader_CloseDoc(closed);
        VOLNEDAProxy.XMLreader_CloseDoc(closed);  // a second close finds nothing
        int reader = SimulatedReader.startAll("");
        int[] handles = wideAddresses() ? new int[] {0, 0x7fffffff, closed, reader} : new int[] {0, closed};
        for (int d : handles) {
            String at = "document " + d;
            assertEquals(at, 0, VOLNEDAProxy.XMLreader_GetElement(d));
            assertEquals(at, 0, VOLNEDAProxy.GetCurrentDocLen(d));
            assertFalse(at, VOLNEDAProxy.XMLreader_FindTag(d, "0123456789ABCDEF"));
            assertFalse(at, VOLNEDAProxy.XMLreader_FindChildElement(d, "Tag"));
            assertFalse(at, VOLNEDAProxy.XMLreader_Push(d));
            assertFalse(at, VOLNEDAProxy.XMLreader_Pop(d));
            assertFalse(at, VOLNEDAProxy.XMLreader_StepIntoElement(d));
            assertFalse(at, VOLNEDAProxy.XMLreader_StepOutOfElement(d));
            assertFalse(at, VOLNEDAProxy.XMLreader_WriteXMLHeader(d));
            VOLNEDAProxy.XMLreader_Rewind(d);
            VOLNEDAProxy.XMLreader_WriteXMLAddTag(d, "0123456789ABCDEF");
            VOLNEDAProxy.XMLreader_WriteXMLAddSWTTFieldInfo(d, 1, "x");
            VOLNEDAProxy.XMLreader_WriteXMLAddMEMFieldInfo(d, 0, 4, 'h', "00");
            String[] out = {"x"};
            VOLNEDAProxy.XMLreader_GetAttribute(d, "ID", out, 10);
            assertEquals(at, "", out[0]);
            out[0] = "x";
            assertFalse(at, VOLNEDAProxy.XMLreader_GetChildAttribute(d, "ID", out, 10));
            assertEquals(at, "", out[0]);
            out[0] = "x";
            VOLNEDAProxy.XMLreader_GetChildData(d, out, 10);
            assertEquals(at, "", out[0]);
            out[0] = "x";
            VOLNEDAProxy.GetCurrentDoc(d, out, 10);
            assertEquals(at, "", out[0]);
        }
        assertEquals("the reader survived being used as a document",
                     SimulatedReader.NOT_OPEN, VOLNEDAProxy.VOLNEDA_Close(reader));
        SimulatedReader.stopAll(reader);
    }

    /** A null String reaches the called function as an absent text and raises nothing. */
    @Test
    public void nullStringsAreAbsentTexts() {
        int handle = SimulatedReader.startAll(null);
        assertNotEquals(0, handle);
        String[] out = {"x"};
        assertEquals(SimulatedReader.NOT_OPEN, VOLNEDAProxy.VOLNEDA_GetAttribute(handle, null, out));
        assertEquals(SimulatedReader.NOT_OPEN, VOLNEDAProxy.VOLNEDA_SetAttribute(handle, null, null));
        assertEquals(SimulatedReader.NOT_OPEN, VOLNEDAProxy.VOLNEDA_LoadSWTT(handle, null));
        assertTrue(VOLNEDAProxy.VOLNEDA_Open(handle, null) != SimulatedReader.OK);
        SimulatedReader.stopAll(handle);

        int doc = SimulatedReader.openDoc(null);
        assertNotEquals("a null text opens an empty document", 0, doc);
        assertEquals(0, VOLNEDAProxy.GetCurrentDocLen(doc));
        assertFalse(VOLNEDAProxy.XMLreader_FindTag(doc, null));
        assertFalse(VOLNEDAProxy.XMLreader_FindChildElement(doc, null));
        VOLNEDAProxy.XMLreader_GetAttribute(doc, null, out, 8);
        assertEquals("", out[0]);
        assertTrue(VOLNEDAProxy.XMLreader_WriteXMLHeader(doc));
        VOLNEDAProxy.XMLreader_WriteXMLAddTag(doc, null);
        VOLNEDAProxy.XMLreader_WriteXMLAddSWTTFieldInfo(doc, 0, null);
        VOLNEDAProxy.XMLreader_WriteXMLAddMEMFieldInfo(doc, 0, 4, 'i', null);
        assertTrue(VOLNEDAProxy.GetCurrentDocLen(doc) > 14);
        VOLNEDAProxy.XMLreader_CloseDoc(doc);
    }

    /** Result arrays that are not checked: null or empty ones receive nothing. */
    @Test
    public void uncheckedResultArraysMayBeNullOrEmpty() {
        int handle = SimulatedReader.startAll("");
        VOLNEDAProxy.StartDispatcher(handle);
        VOLNEDAProxy.StopDispatcher(handle);
        int[][] ints = {null, new int[0]};
        String[][] texts = {null, new String[0]};
        for (int[] a : ints) {
            for (String[] t : texts) {
                assertFalse(VOLNEDAProxy.DispatcherGetData(handle, a, a, a, t, 0));
                assertEquals(SimulatedReader.OK, VOLNEDAProxy.VOLNEDA_GetXMLData(handle, t, 10));
                assertTrue(VOLNEDAProxy.VOLNEDA_GetErrorString(0, 1, t));
                assertEquals(SimulatedReader.NOT_OPEN, VOLNEDAProxy.VOLNEDA_GetAttribute(handle, "x", t));
            }
            VOLNEDAProxy.XMLreader_OpenDoc(a, "<ReadTags/>");
        }
        SimulatedReader.stopAll(handle);
        int doc = SimulatedReader.openDoc("<ReadTags ID=\"7\"/>");
        for (String[] t : texts) {
            VOLNEDAProxy.GetCurrentDoc(doc, t, 10);
            VOLNEDAProxy.XMLreader_GetChildData(doc, t, 10);
            VOLNEDAProxy.XMLreader_GetChildAttribute(doc, "ID", t, 10);
        }
        VOLNEDAProxy.XMLreader_CloseDoc(doc);
    }

    @Test
    public void handleTableKeepsManyHandlesApart() {
        Assume.assumeTrue(wideAddresses());
        int[] docs = new int[200];
        for (int i = 0; i < docs.length; i++) docs[i] = SimulatedReader.openDoc("<ReadTags N=\"" + i + "\"/>");
        for (int i = 0; i < docs.length; i += 2) VOLNEDAProxy.XMLreader_CloseDoc(docs[i]);
        for (int i = 0; i < docs.length; i++) {
            String[] out = {"x"};
            assertEquals("document " + i, i % 2 == 0 ? 0 : 2, VOLNEDAProxy.XMLreader_GetElement(docs[i]));
            VOLNEDAProxy.XMLreader_GetAttribute(docs[i], "N", out, 8);
            assertEquals("document " + i, i % 2 == 0 ? "" : Integer.toString(i), out[0]);
        }
        for (int i = 1; i < docs.length; i += 2) VOLNEDAProxy.XMLreader_CloseDoc(docs[i]);
    }
}
