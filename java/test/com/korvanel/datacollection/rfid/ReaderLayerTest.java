package com.korvanel.datacollection.rfid;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertThrows;
import static org.junit.Assert.assertTrue;

import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.function.Consumer;
import java.util.stream.Collectors;
import org.junit.BeforeClass;
import org.junit.Test;

/** The Java layer over the proxy, against the simulated reader of the examples. */
public class ReaderLayerTest {
    private static final String CARTON = "0456000000000007";

    @BeforeClass
    public static void files() throws Exception {
        SimulatedReader.install();
    }

    private static List<String> ids(List<Tag> tags) {
        return tags.stream().map(Tag::id).collect(Collectors.toList());
    }

    private static boolean statusThreadAlive() {
        return Thread.getAllStackTraces().keySet().stream()
            .anyMatch(t -> t.getName().equals("volneda-status") && t.isAlive());
    }

    @Test
    public void wholeSessionWithTypedFieldsAndStatusMessages() {
        List<StatusMessage> seen = new ArrayList<>();
        try (Reader reader = Reader.open(SimulatedReader.CONFIG, null, seen::add)) {
            assertEquals("DOCK1", reader.name());
            assertEquals(Arrays.asList("DOCK1", "GATE2"), Reader.readers(SimulatedReader.CONFIG));
            List<Tag> tags = reader.identify();
            assertEquals(Arrays.asList("0123456789ABCDEF", CARTON), ids(tags));
            assertEquals(2, tags.get(1).antenna());
            assertEquals("I2", tags.get(1).hwTagType());

            List<Tag> pallet = reader.read("*", "tagid=0123456789ABCDEF");
            assertEquals(42L, pallet.get(0).field("Count").get().value());
            assertEquals("WIDGET-A", pallet.get(0).field("Product").get().value());

            Tag carton = reader.read("field(1,5) mem(head,0,4,h)", "swtt=0456").get(0);
            assertEquals(1000L, carton.field("Weight").get().intValue());
            assertFalse(carton.fields().get(1).exists());
            assertEquals("04560000", carton.field("head").get().text());

            reader.write(new WriteRequest().tag(CARTON).field(1, "1250").mem(48, "Müller & Söhne"));
            Tag back = reader.read("field(1) mem(name,48,14,s)", "tagid=" + CARTON).get(0);
            assertEquals(1250L, back.field("Weight").get().intValue());
            assertEquals("Müller & Söhne", back.field("name").get().text());
            assertTrue(reader.lastDocument().startsWith("<ReadTags Reader=\"DOCK1\""));

            assertEquals("30", reader.attribute("Power"));
            reader.setAttribute("Label", "Grüße");
            assertEquals("Grüße", reader.attribute("Label"));
        }
        // Every message reached the listener before its operation returned.
        List<String> lines = seen.stream().map(StatusMessage::toString).collect(Collectors.toList());
        assertTrue(lines.toString(), lines.contains("[information] write 0 (success): Write OK"));
        assertTrue(lines.toString(), lines.stream().anyMatch(
            l -> l.startsWith("[warning] read -3302 (a requested template field") && l.endsWith("): Field 5")));
        assertFalse(statusThreadAlive());
    }

    @Test
    public void tagsArriveAndLeaveRoundByRound() {
        // round: the tags in DOCK1's field (examples/tagfield.ini)
        String[][] rounds = {
            {"0123456789ABCDEF", CARTON},
            {"0123456789ABCDEF", CARTON},
            {"0123456789ABCDEF", CARTON, "0456000000000012"},
            {"0123456789ABCDEF", CARTON, "0456000000000012"},
            {"0123456789ABCDEF", CARTON, "0123000000000002"},
        };
        try (Reader reader = Reader.open(SimulatedReader.CONFIG, "DOCK1")) {
            for (int i = 0; i < rounds.length; i++)
                assertEquals("round " + (i + 1), Arrays.asList(rounds[i]), ids(reader.identify()));
        }
    }

    @Test
    public void failuresCarryTheCodeAndItsMeaning() {
        class Case {
            final Consumer<Reader> action;
            final int code;
            final String meaning;

            Case(Consumer<Reader> action, int code, String meaning) {
                this.action = action;
                this.code = code;
                this.meaning = meaning;
            }
        }
        Case[] cases = {
            new Case(r -> r.command("frobnicate"), -3201, "the command begins with neither \"read\" nor \"identify\""),
            new Case(r -> r.identify("tagid=0123"), -3205, "a tagid value that is not 16 characters long"),
            new Case(r -> r.write("@no-such-request.xml"), -3000, "the write request file named after '@' cannot be opened"),
            new Case(r -> r.write(new WriteRequest().tag("0999000000000000").field(1, "5")), -3351,
                     Meanings.codeMeaning(-3351)),
            new Case(r -> r.attribute("NoSuchAttribute"), -60, "reader driver: Unknown attribute"),
        };
        try (Reader reader = Reader.open(SimulatedReader.CONFIG, "DOCK1")) {
            for (Case c : cases) {
                ReaderException e = assertThrows(ReaderException.class, () -> c.action.accept(reader));
                assertEquals(e.getMessage(), c.code, e.code());
                assertEquals(c.meaning, e.meaning());
            }
        }
        ReaderException e = assertThrows(ReaderException.class, () -> Reader.open(SimulatedReader.CONFIG, "DOCK9"));
        assertEquals(-100, e.code());
        assertTrue(e.getMessage(), e.getMessage().endsWith("holds DOCK1, GATE2"));
        assertFalse("a failed open leaves nothing running", statusThreadAlive());
    }

    @Test
    public void textTheCodePageCannotHoldIsRefusedUnlessLossy() {
        List<Consumer<Reader>> actions = Arrays.asList(
            r -> r.write(new WriteRequest().tag(CARTON).mem(48, "\u0141\u00f3d\u017a \u65e5\u672c")),
            r -> r.write("<WriteTags><Tag ID=\"" + CARTON + "\"><MEMField MemStart=\"48\">&#x141;\u00f3d&#378;"
                         + "</MEMField></Tag></WriteTags>"),
            r -> r.setAttribute("Label", "\u0141\u00f3d\u017a"),
            r -> r.read("mem(\u0141\u00f3d\u017a,48,6,s)"));
        try (Reader reader = Reader.open(SimulatedReader.CONFIG, "DOCK1")) {
            for (Consumer<Reader> action : actions) {
                reader.allowLossyText(false);
                IllegalArgumentException e = assertThrows(IllegalArgumentException.class, () -> action.accept(reader));
                assertTrue(e.getMessage(), e.getMessage().contains("cannot hold '\u0141' (U+0141), '\u017a' (U+017A)"));
                reader.allowLossyText(true);
                action.accept(reader);
            }
        }
    }

    @Test
    public void closeRunsAlsoWhenTheBlockThrows() {
        Reader[] kept = new Reader[1];
        assertThrows(IllegalArgumentException.class, () -> {
            try (Reader reader = Reader.open(SimulatedReader.CONFIG)) {
                kept[0] = reader;
                throw new IllegalArgumentException("the caller's own failure");
            }
        });
        assertFalse(statusThreadAlive());
        kept[0].close();
        assertThrows(IllegalStateException.class, () -> kept[0].identify());
        assertThrows(IllegalStateException.class, () -> new WriteRequest().field(1, "x"));
        assertEquals("<WriteTags><Tag SWTT=\"0456\"><SWTT>045600000099</SWTT>"
                     + "<MEMField MemStart=\"40\" MemLen=\"4\" MemType=\"Int\">7</MEMField></Tag>"
                     + "<Tag><MEMField MemStart=\"0\" MemType=\"String\">&lt;a&quot;&gt;</MEMField></Tag></WriteTags>",
                     new WriteRequest().tagsWithSwtt("0456").swtt("045600000099").mem(40, 4, WriteRequest.MemType.INT, "7")
                         .allTags().mem(0, "<a\">").toXml());
    }
}
