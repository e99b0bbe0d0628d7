package com.korvanel.datacollection.rfid;

import java.io.BufferedReader;
import java.io.IOException;
import java.io.InputStream;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;
import java.util.HashMap;
import java.util.Map;

/**
 * The names of status levels and sources and the meanings of result codes,
 * from the table the library's documentation is made from (the resource
 * {@code meanings.tsv} beside this class in the jar).
 */
public final class Meanings {
    private static final Map<Integer, String> LEVELS = new HashMap<>();
    private static final Map<Integer, String> SOURCES = new HashMap<>();
    private static final Map<Integer, String> CODES = new HashMap<>();

    static {
        try (InputStream in = Meanings.class.getResourceAsStream("meanings.tsv")) {
            if (in != null) load(in);
        } catch (IOException e) {
            // Without the table, numbers stand for themselves.
        }
    }

    private Meanings() {
    }

    private static void load(InputStream in) throws IOException {
        BufferedReader lines = new BufferedReader(new InputStreamReader(in, StandardCharsets.UTF_8));
        for (String line; (line = lines.readLine()) != null;) {
            if (line.isEmpty() || line.startsWith("#")) continue;
            String[] f = line.split("\t", -1);
            if (f.length < 4) continue;
            int number;
            try {
                number = Integer.parseInt(f[1].trim());
            } catch (NumberFormatException e) {
                continue;
            }
            switch (f[0]) {
                case "level":
                    LEVELS.put(number, f[2]);
                    break;
                case "source":
                    SOURCES.put(number, f[2]);
                    break;
                case "code":
                    CODES.put(number, f[3]);
                    break;
                default:
                    break;
            }
        }
    }

    /**
     * The name of a status level, for example {@code "warning"} for 1.
     *
     * @param level the level number
     * @return its name, or {@code "level N"} for a number the table lacks
     */
    public static String levelName(int level) {
        return LEVELS.getOrDefault(level, "level " + level);
    }

    /**
     * The name of a status source, for example {@code "identify"} for 7.
     *
     * @param source the source number
     * @return its name, or {@code "source N"} for a number the table lacks
     */
    public static String sourceName(int source) {
        return SOURCES.getOrDefault(source, "source " + source);
    }

    /**
     * The meaning of a result code, for example {@code "success"} for 0.
     * Negative codes outside the library's table are the reader driver's.
     *
     * @param code the result code
     * @return its meaning
     */
    public static String codeMeaning(int code) {
        String m = CODES.get(code);
        if (m != null) return m;
        return code < 0 ? "a status of the reader driver" : "not a result code";
    }

    /**
     * Whether the code is one of the library's own result codes.
     *
     * @param code the result code
     * @return true when the library's table lists it
     */
    public static boolean isLibraryCode(int code) {
        return CODES.containsKey(code);
    }
}
