package com.korvanel.datacollection.rfid;

/**
 * Receives the status messages of a {@link Reader} as they arrive.
 *
 * <p>It is called on the reader's status thread, a daemon thread of its
 * own, one message at a time and in the order the library posted them.
 * It must not call the reader it listens to.
 */
@FunctionalInterface
public interface StatusListener {
    /**
     * Called for every status message.
     *
     * @param message the message
     */
    void onStatus(StatusMessage message);
}
