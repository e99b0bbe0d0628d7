package com.korvanel.datacollection.rfid;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertTrue;

import org.junit.After;
import org.junit.Test;

/** Result documents walked and write requests built through the proxy. */
public class ProxyXmlTest {
    private static final String IDENTIFY =
        "<IdentifyTags Reader=\"DOCK1\" TagCount=\"2\">"
        + "<Tag ID=\"0123456789ABCDEF\"><Field Name=\"Serial\">0123</Field></Tag>"
        + "<Tag ID=\"0456000000000007\"><Field Name=\"Weight\">1000</Field></Tag>"
        + "</IdentifyTags>";

    private int doc;

    @After
    public void close() {
        VOLNEDAProxy.XMLreader_CloseDoc(doc);
    }

    private String attribute(String name, int length) {
        String[] out = {"x"};
        VOLNEDAProxy.XMLreader_GetAttribute(doc, name, out, length);
        return out[0];
    }

    private String childData(int length) {
        String[] out = {"x"};
        VOLNEDAProxy.XMLreader_GetChildData(doc, out, length);
        return out[0];
    }

    private String currentDoc(int length) {
        String[] out = {"x"};
        VOLNEDAProxy.GetCurrentDoc(doc, out, length);
        return out[0];
    }

    /** The length is the buffer's size: at most length - 1 characters come back. */
    @Test
    public void copiedTextsAreCutToTheLength() {
        doc = SimulatedReader.openDoc(IDENTIFY);
        assertEquals(1, VOLNEDAProxy.XMLreader_GetElement(doc));
        Object[][] cases = {
            {32, "DOCK1"}, {6, "DOCK1"}, {5, "DOCK"}, {2, "D"}, {1, ""}, {0, ""}, {-7, ""},
            {Integer.MIN_VALUE, ""},
        };
        for (Object[] c : cases)
            assertEquals("length " + c[0], c[1], attribute("Reader", (Integer) c[0]));
    }

    @Test
    public void walksTagsAndFields() {
        doc = SimulatedReader.openDoc(IDENTIFY);
        assertEquals(1, VOLNEDAProxy.XMLreader_GetElement(doc));
        assertTrue(VOLNEDAProxy.XMLreader_Push(doc));
        assertTrue(VOLNEDAProxy.XMLreader_FindTag(doc, "0456000000000007"));
        String[] out = {"x"};
        assertTrue(VOLNEDAProxy.XMLreader_GetChildAttribute(doc, "ID", out, 17));
        assertEquals("0456000000000007", out[0]);
        assertTrue(VOLNEDAProxy.XMLreader_GetChildAttribute(doc, "ID", out, 5));
        assertEquals("0456", out[0]);
        out[0] = "x";
        assertFalse(VOLNEDAProxy.XMLreader_GetChildAttribute(doc, "Missing", out, 17));
        assertEquals("a missing attribute stores an empty string", "", out[0]);

        assertTrue(VOLNEDAProxy.XMLreader_StepIntoElement(doc));
        assertTrue(VOLNEDAProxy.XMLreader_FindChildElement(doc, "Field"));
        assertEquals("1000", childData(10));
        assertEquals("10", childData(3));
        assertTrue(VOLNEDAProxy.XMLreader_StepOutOfElement(doc));
        assertFalse("the first tag lies behind", VOLNEDAProxy.XMLreader_FindTag(doc, "0123456789ABCDEF"));

        assertTrue(VOLNEDAProxy.XMLreader_Pop(doc));
        assertFalse("nothing left to pop", VOLNEDAProxy.XMLreader_Pop(doc));
        assertTrue(VOLNEDAProxy.XMLreader_FindTag(doc, "0123456789ABCDEF"));
        VOLNEDAProxy.XMLreader_Rewind(doc);
        assertEquals(1, VOLNEDAProxy.XMLreader_GetElement(doc));
        assertEquals(0, VOLNEDAProxy.XMLreader_GetElement(doc));
    }

    /** Texts travel as UTF-16 both ways, characters outside the BMP included. */
    @Test
    public void textsKeepEveryUtf16Unit() {
        String[] values = {"Gr\u00fc\u00dfe", "\u20ac 12,50", "\ud834\udd1e clef", "\u65e5\u672c", ""};
        for (String value : values) {
            doc = SimulatedReader.openDoc("<ReadTags N=\"" + value + "\"><Tag ID=\"" + value + "\"><Field>"
                                          + value + "</Field></Tag></ReadTags>");
            assertEquals(value, 2, VOLNEDAProxy.XMLreader_GetElement(doc));
            assertEquals(value, value, attribute("N", 64));
            assertTrue(value, VOLNEDAProxy.XMLreader_FindTag(doc, value));
            assertTrue(value, VOLNEDAProxy.XMLreader_StepIntoElement(doc));
            assertTrue(value, VOLNEDAProxy.XMLreader_FindChildElement(doc, "Field"));
            assertEquals(value, value, childData(64));
            VOLNEDAProxy.XMLreader_CloseDoc(doc);
        }
        doc = 0;
    }

    @Test
    public void buildsAWriteRequest() {
        doc = SimulatedReader.openDoc(null);
        assertTrue(VOLNEDAProxy.XMLreader_WriteXMLHeader(doc));
        assertEquals(14, VOLNEDAProxy.GetCurrentDocLen(doc));
        assertEquals("the length of the text gives all of it", "<WriteTags/>\r\n", currentDoc(14));
        assertEquals("<WriteTags/>\r\n", currentDoc(15));
        assertEquals("<WriteTags/>", currentDoc(12));

        VOLNEDAProxy.XMLreader_WriteXMLAddTag(doc, "0123456789ABCDEF");
        VOLNEDAProxy.XMLreader_WriteXMLAddSWTTFieldInfo(doc, 1, "WIDGET-\u00c4");
        VOLNEDAProxy.XMLreader_WriteXMLAddMEMFieldInfo(doc, 32, 2, 'i', "42");
        int length = VOLNEDAProxy.GetCurrentDocLen(doc);
        String text = currentDoc(length);
        assertEquals(length, text.length());
        String[] pieces = {"ID=\"0123456789ABCDEF\"", "WIDGET-\u00c4", "MemStart=\"32\"", "MemLen=\"2\"",
                           "MemType=\"Int\"", ">42<"};
        for (String piece : pieces) assertTrue(piece + " in " + text, text.contains(piece));

        int again = SimulatedReader.openDoc(text);
        try {
            assertEquals("a WriteTags root is neither result document", 0,
                         VOLNEDAProxy.XMLreader_GetElement(again));
            assertTrue(VOLNEDAProxy.XMLreader_FindTag(again, "0123456789ABCDEF"));
        } finally {
            VOLNEDAProxy.XMLreader_CloseDoc(again);
        }
    }
}
