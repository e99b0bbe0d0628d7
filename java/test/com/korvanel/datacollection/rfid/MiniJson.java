package com.korvanel.datacollection.rfid;

import java.util.ArrayList;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;

/** Just enough JSON for the shared presence cases: objects, arrays, strings without escapes, integers, booleans. */
final class MiniJson {
    private final String s;
    private int i;

    private MiniJson(String s) {
        this.s = s;
    }

    static Object parse(String text) {
        return new MiniJson(text).value();
    }

    private char peek() {
        while (Character.isWhitespace(s.charAt(i))) ++i;
        return s.charAt(i);
    }

    private Object value() {
        char c = peek();
        if (c == '{') {
            Map<String, Object> m = new LinkedHashMap<>();
            ++i;
            while (peek() != '}') {
                String k = (String) value();
                peek();
                ++i;  // ':'
                m.put(k, value());
                if (peek() == ',') ++i;
            }
            ++i;
            return m;
        }
        if (c == '[') {
            List<Object> l = new ArrayList<>();
            ++i;
            while (peek() != ']') {
                l.add(value());
                if (peek() == ',') ++i;
            }
            ++i;
            return l;
        }
        if (c == '"') {
            int end = s.indexOf('"', i + 1);
            String v = s.substring(i + 1, end);
            i = end + 1;
            return v;
        }
        int start = i;
        while (i < s.length() && "{}[],: \n\t\r".indexOf(s.charAt(i)) < 0) ++i;
        String word = s.substring(start, i);
        if (word.equals("true") || word.equals("false")) return Boolean.valueOf(word);
        return Long.valueOf(word);
    }
}
