package com.korvanel.datacollection.rfid;

import static org.junit.Assert.assertArrayEquals;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertTrue;

import java.util.List;
import java.util.function.Consumer;
import java.util.function.IntUnaryOperator;
import org.junit.Test;

/** What the native side does with arguments a careful caller would not pass. */
public class ProxyArgumentsTest {
    private static final boolean WIDE = "64".equals(System.getProperty("sun.arch.data.model"));

    @Test
    public void guardedArraysAreCheckedBeforeTheCall() {
        int[] other = {-1};
        List<Consumer<int[]>> calls = List.of(a -> VOLNEDAProxy.VOLNEDA_StartAll(a, ""), VOLNEDAProxy::VOLNEDA_StopAll,
                                              a -> VOLNEDAProxy.VOLNEDA_Version(a, other),
                                              a -> VOLNEDAProxy.VOLNEDA_Version(other, a));
        for (Consumer<int[]> call : calls) {
            SimulatedReader.expectThrown(NullPointerException.class, "array null", () -> call.accept(null));
            SimulatedReader.expectThrown(IndexOutOfBoundsException.class, "Array must contain at least 1 element",
                                         () -> call.accept(new int[0]));
            assertEquals("the other array is not written", -1, other[0]);
        }
        // With both arrays bad, the major one is the one reported.
        SimulatedReader.expectThrown(NullPointerException.class, "array null",
                                     () -> VOLNEDAProxy.VOLNEDA_Version(null, new int[0]));
        int[] major = {-1};
        int[] minor = {-1, 77};
        VOLNEDAProxy.VOLNEDA_Version(major, minor);
        assertArrayEquals(new int[] {1, 23, 77}, new int[] {major[0], minor[0], minor[1]});
    }

    /** Every method under a handle that names no context or no document. */
    @Test
    public void handlesThatNameNothing() {
        // StopAll keeps the number in the array; numbers are not handed out
        // again at once, so stale ones find nothing after new ones were made.
        int[] stale = {SimulatedReader.startAll("")};
        VOLNEDAProxy.VOLNEDA_StopAll(stale);
        int reader = SimulatedReader.startAll("");
        int closed = SimulatedReader.openDoc("<ReadTags/>");
        VOLNEDAProxy.XMLreader_CloseDoc(closed);
        VOLNEDAProxy.XMLreader_CloseDoc(closed);
        int doc = SimulatedReader.openDoc("<ReadTags/>");
        // Where the int is the address itself, only 0 names nothing for sure.
        String[] out = {"x"};
        List<IntUnaryOperator> coded = List.of(h -> VOLNEDAProxy.VOLNEDA_Open(h, "DOCK1"), VOLNEDAProxy::VOLNEDA_Close,
            h -> VOLNEDAProxy.SetCommTimeOut(h, 10), h -> VOLNEDAProxy.SetUseScanTrigger(h, true),
            h -> VOLNEDAProxy.VOLNEDA_SetAttribute(h, "Power", "1"), h -> VOLNEDAProxy.VOLNEDA_LoadSWTT(h, "SWTT.INI"),
            h -> VOLNEDAProxy.VOLNEDA_GetXMLData(h, out, 100), h -> VOLNEDAProxy.VOLNEDA_GetAttribute(h, "Power", out));
        for (int h : WIDE ? new int[] {0, 0x7fffffff, -5, stale[0], closed} : new int[] {0}) {
            for (IntUnaryOperator call : coded) assertEquals("handle " + h, SimulatedReader.NULL_CONTEXT, call.applyAsInt(h));
            VOLNEDAProxy.StartDispatcher(h);
            VOLNEDAProxy.VOLNEDA_UnloadSWTT(h);
            int[] level = {-1}, source = {-1}, code = {-1};
            String[][] texts = {{"x"}, {"x"}, {"x"}, {"x"}, {"x"}};
            assertFalse(VOLNEDAProxy.DispatcherGetData(h, level, source, code, texts[0], 0));
            assertArrayEquals(new int[] {0, 0, 0}, new int[] {level[0], source[0], code[0]});
            VOLNEDAProxy.StopDispatcher(h);
            boolean[] results = {
                VOLNEDAProxy.XMLreader_FindTag(h, "01"), VOLNEDAProxy.XMLreader_FindChildElement(h, "Tag"),
                VOLNEDAProxy.XMLreader_Push(h), VOLNEDAProxy.XMLreader_Pop(h), VOLNEDAProxy.XMLreader_StepIntoElement(h),
                VOLNEDAProxy.XMLreader_StepOutOfElement(h), VOLNEDAProxy.XMLreader_WriteXMLHeader(h),
                VOLNEDAProxy.XMLreader_GetChildAttribute(h, "ID", texts[1], 10),
                VOLNEDAProxy.XMLreader_GetElement(h) != 0 || VOLNEDAProxy.GetCurrentDocLen(h) != 0};
            assertArrayEquals("handle " + h, new boolean[results.length], results);
            VOLNEDAProxy.XMLreader_Rewind(h);
            VOLNEDAProxy.XMLreader_WriteXMLAddTag(h, "0123456789ABCDEF");
            VOLNEDAProxy.XMLreader_WriteXMLAddSWTTFieldInfo(h, 1, "x");
            VOLNEDAProxy.XMLreader_WriteXMLAddMEMFieldInfo(h, 0, 4, 'h', "00");
            VOLNEDAProxy.XMLreader_GetAttribute(h, "ID", texts[2], 10);
            VOLNEDAProxy.XMLreader_GetChildData(h, texts[3], 10);
            VOLNEDAProxy.GetCurrentDoc(h, texts[4], 10);
            assertEquals("handle " + h, "", out[0] + texts[0][0] + texts[1][0] + texts[2][0] + texts[3][0] + texts[4][0]);
        }
        if (WIDE) {  // a number of the other kind names nothing either
            assertEquals(SimulatedReader.NULL_CONTEXT, VOLNEDAProxy.VOLNEDA_Close(doc));
            assertFalse(VOLNEDAProxy.XMLreader_WriteXMLHeader(reader));
        }
        assertEquals(SimulatedReader.NOT_OPEN, VOLNEDAProxy.VOLNEDA_Close(reader));
        assertEquals(2, VOLNEDAProxy.XMLreader_GetElement(doc));
        VOLNEDAProxy.VOLNEDA_StopAll(new int[] {reader});
        VOLNEDAProxy.XMLreader_CloseDoc(doc);
    }

    /** A null String reaches the called function as an absent text; null or empty result arrays receive nothing. */
    @Test
    public void nullStringsAndUncheckedResultArrays() {
        int handle = SimulatedReader.startAll(null);
        String[] out = {"x"};
        int[] results = {VOLNEDAProxy.VOLNEDA_GetAttribute(handle, null, out), VOLNEDAProxy.VOLNEDA_SetAttribute(handle, null, null),
                         VOLNEDAProxy.VOLNEDA_LoadSWTT(handle, null), VOLNEDAProxy.VOLNEDA_Open(handle, null) < 0 ? 1 : 0};
        assertArrayEquals(new int[] {SimulatedReader.NOT_OPEN, SimulatedReader.NOT_OPEN, SimulatedReader.NOT_OPEN, 1}, results);
        int doc = SimulatedReader.openDoc(null);
        assertFalse(VOLNEDAProxy.XMLreader_FindTag(doc, null) || VOLNEDAProxy.XMLreader_FindChildElement(doc, null));
        assertTrue(VOLNEDAProxy.XMLreader_WriteXMLHeader(doc));
        VOLNEDAProxy.XMLreader_WriteXMLAddTag(doc, null);
        VOLNEDAProxy.XMLreader_WriteXMLAddMEMFieldInfo(doc, 0, 4, 'i', null);
        VOLNEDAProxy.GetCurrentDoc(doc, out, VOLNEDAProxy.GetCurrentDocLen(doc));  // the whole document at its length
        assertEquals("<WriteTags>\r\n<Tag ID=\"\">\r\n<MEMField MemStart=\"0\" MemLen=\"4\" MemType=\"Int\"></MEMField>\r\n"
                     + "</Tag>\r\n</WriteTags>\r\n", out[0]);
        for (int[] a : new int[][] {null, new int[0]}) {
            String[] t = a == null ? null : new String[0];
            assertFalse(VOLNEDAProxy.DispatcherGetData(handle, a, a, a, t, 0));
            assertTrue(VOLNEDAProxy.VOLNEDA_GetErrorString(0, 1, t));
            VOLNEDAProxy.XMLreader_OpenDoc(a, "<ReadTags/>");
        }
        VOLNEDAProxy.VOLNEDA_StopAll(new int[] {handle});
        VOLNEDAProxy.XMLreader_CloseDoc(doc);
    }

    /** Texts travel as UTF-16 both ways; a length is the buffer's size, so length - 1 characters come back. */
    @Test
    public void textsKeepEveryUtf16UnitAndAreCutToTheLength() {
        for (String value : new String[] {"Gr\u00fc\u00dfe", "\ud834\udd1e clef\u65e5", ""}) {
            int doc = SimulatedReader.openDoc("<ReadTags R=\"" + value + "\"><Tag ID=\"" + value + "\"><F>" + value
                                              + "</F></Tag></ReadTags>");
            String[] attribute = {"x"}, cut = {"x"}, data = {"x"};
            assertEquals(value, 2, VOLNEDAProxy.XMLreader_GetElement(doc));
            VOLNEDAProxy.XMLreader_GetAttribute(doc, "R", attribute, 64);
            VOLNEDAProxy.XMLreader_GetAttribute(doc, "R", cut, 3);
            assertTrue(value, VOLNEDAProxy.XMLreader_FindTag(doc, value) && VOLNEDAProxy.XMLreader_StepIntoElement(doc)
                                  && VOLNEDAProxy.XMLreader_FindChildElement(doc, "F"));
            VOLNEDAProxy.XMLreader_GetChildData(doc, data, Integer.MIN_VALUE);
            assertEquals(value + "|" + value.substring(0, Math.min(2, value.length())) + "|",
                         attribute[0] + "|" + cut[0] + "|" + data[0]);
            VOLNEDAProxy.XMLreader_CloseDoc(doc);
        }
    }
}
