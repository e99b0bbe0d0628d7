package com.korvanel.datacollection.rfid;

import java.time.Instant;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.Iterator;
import java.util.List;
import java.util.NoSuchElementException;
import java.util.concurrent.LinkedBlockingQueue;
import java.util.concurrent.TimeUnit;
import java.util.function.Consumer;

/**
 * Presence on a reader: rounds at an interval, and the tags that arrive in
 * its field, are seen again and leave, as {@link PresenceEvent}s.
 *
 * <pre>{@code
 * try (Reader reader = Reader.open("rfconfig.ini");
 *      Watch watch = new Watch(reader, new Watch.Rules().interval(500).leaveRounds(3)).start()) {
 *     for (PresenceEvent e : watch)
 *         System.out.println(e.round() + " " + e.kind() + " " + e.id());
 * }
 * }</pre>
 *
 * <p>Each round is an identify ({@link #where(String)} narrows it) or, with
 * {@link #select(String)}, a read whose fields come with the events.  The
 * rules, their defaults and the JSON names are those of the tool's watch
 * and the console (docs/presence.md).  The rounds run on a daemon thread of
 * the watch's own, {@link #rounds(long)} of them or until {@link #stop()}.
 * Events go to the {@link #listener(Consumer) listener} (on that thread),
 * else to the iteration, which blocks for the next event and ends when the
 * watch has ended; {@link #next(long, TimeUnit)} waits a limited time.  A
 * round that fails ends the watch; the iteration then throws its
 * {@link ReaderException}.  {@link #stop()} and {@link #close()} end the
 * watch within the round under way, never waiting an interval out.
 */
public final class Watch implements AutoCloseable, Iterable<PresenceEvent> {
    /** The rules of a watch; each setter returns the rules. */
    public static final class Rules {
        private long interval = 500;
        private int arriveSeen = 1;
        private int arriveWindow = 1;
        private long leaveRounds = 2;
        private long leaveMs = 0;
        private boolean reportSeen = false;
        private List<String> swtt = Collections.emptyList();
        private List<String> ids = Collections.emptyList();

        /** @return "interval": milliseconds from the start of one round to the next (default 500) */
        public long interval() {
            return interval;
        }

        /**
         * @param ms "interval"
         * @return these rules
         */
        public Rules interval(long ms) {
            interval = ms;
            return this;
        }

        /** @return "arriveSeen": sightings within the window that make a tag arrive (default 1) */
        public int arriveSeen() {
            return arriveSeen;
        }

        /**
         * @param n "arriveSeen"
         * @return these rules
         */
        public Rules arriveSeen(int n) {
            arriveSeen = n;
            return this;
        }

        /** @return "arriveWindow": the latest rounds in which they count (default 1, at most 64) */
        public int arriveWindow() {
            return arriveWindow;
        }

        /**
         * @param n "arriveWindow"
         * @return these rules
         */
        public Rules arriveWindow(int n) {
            arriveWindow = n;
            return this;
        }

        /** @return "leaveRounds": rounds in a row unseen after which a tag leaves (default 2; 0: by time only) */
        public long leaveRounds() {
            return leaveRounds;
        }

        /**
         * @param n "leaveRounds"
         * @return these rules
         */
        public Rules leaveRounds(long n) {
            leaveRounds = n;
            return this;
        }

        /** @return "leaveMs": milliseconds unseen after which a tag leaves (default 0: by rounds only) */
        public long leaveMs() {
            return leaveMs;
        }

        /**
         * @param ms "leaveMs"
         * @return these rules
         */
        public Rules leaveMs(long ms) {
            leaveMs = ms;
            return this;
        }

        /** @return "reportSeen": a SEEN event for every later sighting (default false) */
        public boolean reportSeen() {
            return reportSeen;
        }

        /**
         * @param on "reportSeen"
         * @return these rules
         */
        public Rules reportSeen(boolean on) {
            reportSeen = on;
            return this;
        }

        /** @return "swtt": the SWTT values kept, without regard to case (empty: all) */
        public List<String> swtt() {
            return swtt;
        }

        /**
         * @param values "swtt"
         * @return these rules
         */
        public Rules swtt(String... values) {
            swtt = Collections.unmodifiableList(new ArrayList<>(Arrays.asList(values)));
            return this;
        }

        /** @return "ids": the tag IDs kept, without regard to case (empty: all) */
        public List<String> ids() {
            return ids;
        }

        /**
         * @param values "ids"
         * @return these rules
         */
        public Rules ids(String... values) {
            ids = Collections.unmodifiableList(new ArrayList<>(Arrays.asList(values)));
            return this;
        }

        /** @return null when the rules can work, else what is wrong with them */
        public String problem() {
            if (interval < 0) return "interval must be 0 or more";
            if (arriveWindow < 1 || arriveWindow > 64) return "arriveWindow must be 1 to 64";
            if (arriveSeen < 1 || arriveSeen > arriveWindow) return "arriveSeen must be 1 to arriveWindow";
            if (leaveMs < 0) return "leaveMs must be 0 or more";
            if (leaveRounds < 0) return "leaveRounds must be 0 or more";
            if (leaveRounds == 0 && leaveMs == 0) return "leaveRounds and leaveMs cannot both be 0";
            return null;
        }

        /** @return the rules as JSON, under their names */
        public String toJson() {
            return "{\"interval\":" + interval + ",\"arriveSeen\":" + arriveSeen + ",\"arriveWindow\":" + arriveWindow
                + ",\"leaveRounds\":" + leaveRounds + ",\"leaveMs\":" + leaveMs + ",\"reportSeen\":" + reportSeen
                + ",\"swtt\":" + list(swtt) + ",\"ids\":" + list(ids) + "}";
        }

        private static String list(List<String> values) {
            List<String> quoted = new ArrayList<>();
            for (String v : values) quoted.add(PresenceEvent.quote(v));
            return "[" + String.join(",", quoted) + "]";
        }

        Rules copy() {
            Rules r = new Rules().interval(interval).arriveSeen(arriveSeen).arriveWindow(arriveWindow)
                .leaveRounds(leaveRounds).leaveMs(leaveMs).reportSeen(reportSeen);
            r.swtt = swtt;
            r.ids = ids;
            return r;
        }

        @Override
        public String toString() {
            return toJson();
        }
    }

    private static final Object END = new Object();

    private final Reader reader;
    private final Rules rules;
    private String select;
    private String where;
    private long rounds;
    private Consumer<PresenceEvent> listener;
    private final LinkedBlockingQueue<Object> events = new LinkedBlockingQueue<>();
    private final Object lock = new Object();
    private boolean stopping;
    private boolean ended;
    private Thread thread;
    private PresenceTracker tracker;
    private volatile RuntimeException failure;

    /**
     * A watch of this reader under these rules (copied); {@link #start()} starts it.
     *
     * @param reader the open reader
     * @param rules the rules
     * @throws IllegalArgumentException when the rules cannot work (see {@link Rules#problem()})
     */
    public Watch(Reader reader, Rules rules) {
        String problem = rules.problem();
        if (problem != null) throw new IllegalArgumentException(problem);
        this.reader = reader;
        this.rules = rules.copy();
    }

    /**
     * Rounds that read these fields instead of an identify ({@code ""}: every
     * template field); the events carry the tags with their fields.
     *
     * @param selectList the select list, as for {@link Reader#read(String, String)}
     * @return this watch
     */
    public Watch select(String selectList) {
        this.select = selectList;
        return this;
    }

    /**
     * Narrows the rounds to the tags of a where clause ({@code "swtt=0456"}, {@code "tagid=..."}).
     *
     * @param clause the clause
     * @return this watch
     */
    public Watch where(String clause) {
        this.where = clause;
        return this;
    }

    /**
     * Ends the watch after this many rounds (0, the default: runs until stopped).
     *
     * @param count the rounds
     * @return this watch
     */
    public Watch rounds(long count) {
        this.rounds = count;
        return this;
    }

    /**
     * Hands the events to a listener, on the watch's thread, instead of to
     * the iteration.  The listener must not close the watch or the reader.
     *
     * @param l the listener
     * @return this watch
     */
    public Watch listener(Consumer<PresenceEvent> l) {
        this.listener = l;
        return this;
    }

    /** @return the rules, as given */
    public Rules rules() {
        return rules.copy();
    }

    /**
     * Starts the rounds (once; later calls change nothing).
     *
     * @return this watch
     */
    public Watch start() {
        synchronized (lock) {
            if (thread != null) return this;
            tracker = new PresenceTracker(rules, reader.name(), select != null);
            thread = new Thread(this::run, "volneda-watch");
            thread.setDaemon(true);
            thread.start();
        }
        return this;
    }

    /** @return the rounds run so far */
    public long round() {
        synchronized (lock) {
            return tracker == null ? 0 : tracker.round();
        }
    }

    /** @return the IDs of the tags in the field now, in the order first seen */
    public List<String> present() {
        synchronized (lock) {
            return tracker == null ? Collections.emptyList() : tracker.present();
        }
    }

    private void run() {
        try {
            while (true) {
                long started = System.nanoTime();
                synchronized (lock) {
                    if (stopping) break;
                }
                List<Tag> tags = select == null ? (where == null ? reader.identify() : reader.identify(where))
                    : where == null ? reader.read(select) : reader.read(select, where);
                List<PresenceEvent> got;
                synchronized (lock) {
                    if (stopping) break;
                    got = tracker.update(tags, Instant.now());
                }
                for (PresenceEvent e : got) {
                    if (listener != null) listener.accept(e);
                    else events.add(e);
                }
                if (rounds > 0 && round() >= rounds) break;
                long restMs = rules.interval() - (System.nanoTime() - started) / 1_000_000;
                synchronized (lock) {
                    long until = System.currentTimeMillis() + restMs;
                    while (!stopping && restMs > 0) {
                        lock.wait(restMs);
                        restMs = until - System.currentTimeMillis();
                    }
                }
            }
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        } catch (RuntimeException e) {
            failure = e;
        } finally {
            synchronized (lock) {
                ended = true;
            }
            events.add(END);
        }
    }

    /**
     * The next event, waiting at most this long for it.
     *
     * @param timeout the longest wait
     * @param unit its unit
     * @return the event; null when none came in time, or the watch has ended
     * @throws ReaderException when a round failed and ended the watch
     * @throws InterruptedException when the waiting thread is interrupted
     */
    public PresenceEvent next(long timeout, TimeUnit unit) throws InterruptedException {
        start();
        Object item = events.poll(timeout, unit);
        if (item == END) {
            events.add(END);  // every later call ends too
            if (failure != null) throw failure;
            return null;
        }
        return (PresenceEvent) item;
    }

    /**
     * The events as they come (the watch starts if it has not): each
     * {@code next()} blocks for the next one; the iteration ends when the
     * watch has ended, throwing the {@link ReaderException} of a failed round.
     */
    @Override
    public Iterator<PresenceEvent> iterator() {
        start();
        return new Iterator<PresenceEvent>() {
            private PresenceEvent next;

            @Override
            public boolean hasNext() {
                while (next == null) {
                    try {
                        next = Watch.this.next(1, TimeUnit.DAYS);
                    } catch (InterruptedException e) {
                        Thread.currentThread().interrupt();
                        return false;
                    }
                    if (next == null && isEnded()) return false;
                }
                return true;
            }

            @Override
            public PresenceEvent next() {
                if (!hasNext()) throw new NoSuchElementException();
                PresenceEvent e = next;
                next = null;
                return e;
            }
        };
    }

    private boolean isEnded() {
        synchronized (lock) {
            return ended;
        }
    }

    /**
     * Waits for the watch to end (its rounds done, or stopped).
     *
     * @param timeoutMs the longest wait
     * @return whether it has ended
     * @throws InterruptedException when the waiting thread is interrupted
     */
    public boolean await(long timeoutMs) throws InterruptedException {
        Thread t;
        synchronized (lock) {
            t = thread;
        }
        if (t != null) t.join(timeoutMs);
        return t == null || !t.isAlive();
    }

    /** Ends the watch: the round under way is its last, and this returns when it is over. */
    public void stop() {
        Thread t;
        synchronized (lock) {
            stopping = true;
            lock.notifyAll();
            t = thread;
        }
        if (t == null || t == Thread.currentThread()) return;
        boolean interrupted = false;
        while (t.isAlive()) {
            try {
                t.join();
            } catch (InterruptedException e) {
                interrupted = true;
            }
        }
        if (interrupted) Thread.currentThread().interrupt();
    }

    /** The same as {@link #stop()}. */
    @Override
    public void close() {
        stop();
    }
}
