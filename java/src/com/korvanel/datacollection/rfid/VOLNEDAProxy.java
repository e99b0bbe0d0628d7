package com.korvanel.datacollection.rfid;

/**
 * The VOLNEDA RFID reader library for Java: one native method for each
 * function of the C interface, with the same name, the same arguments in the
 * same order and the same results.
 *
 * <h2>Loading</h2>
 * The class loads the native library when it is first used, with
 * {@code System.loadLibrary("volneda")}: {@code libvolneda.so} on Linux,
 * {@code VOLNEDA.dll} on Windows, looked for in the directories of the
 * {@code java.library.path} system property (start the VM with
 * {@code -Djava.library.path=DIR}).  The reader driver library
 * ({@code libtagdrv.so}, {@code TAGDRV.dll}) must be found beside it.
 *
 * <h2>Handles and results</h2>
 * Reader contexts and XML documents are {@code int} handles; 0 stands for
 * none.  Results come back through arrays: element 0 of an {@code int[]}
 * receives a number, element 0 of a {@code String[]} a text.  Arrays called
 * <em>guarded</em> below must not be null and must have an element:
 * otherwise a {@link NullPointerException} ("array null") or an
 * {@link IndexOutOfBoundsException} ("Array must contain at least 1
 * element") is thrown and the library is not called.  Other result arrays
 * must have an element as well; they are not checked.  A {@code String}
 * argument may be null: the library then receives an absent text.
 *
 * <h2>Result codes</h2>
 * Methods that return an {@code int} code return 0 on success and a
 * negative code on failure: -3307 (no context: the handle is 0), -3300 (no
 * reader is open), and the codes each method lists; a failure inside the
 * reader driver library returns the driver's own negative status
 * unchanged.  Codes never become exceptions.  Every reader operation also
 * posts status messages, fetched with {@link #DispatcherGetData}.
 *
 * <h2>Order of use and threads</h2>
 * {@link #VOLNEDA_StartAll}, {@link #StartDispatcher},
 * {@link #VOLNEDA_Open}, any reader operations, {@link #VOLNEDA_Close},
 * {@link #StopDispatcher}, {@link #VOLNEDA_StopAll}.  Each call runs on the
 * calling thread and blocks it while the reader works; one context is used
 * by one thread at a time.  {@link #DispatcherGetData} blocks until a
 * status message arrives: call it on a thread of its own (a daemon thread),
 * stop it with {@link #StopDispatcher}, and join it before
 * {@link #VOLNEDA_StopAll}.
 */
public final class VOLNEDAProxy {
    static {
        System.loadLibrary("volneda");
    }

    private VOLNEDAProxy() {
    }

    // ---- Reader context ------------------------------------------------

    /**
     * Creates a reader context.
     *
     * @param handle guarded; element 0 receives the new context's handle
     * @param configPath the reader list file (an INI file whose sections name
     *        the readers); null or "" takes the environment variable
     *        RF_RFID_CONFIG.  Keep a directory in the path ("./rfconfig.ini"):
     *        the tag template named by the reader is looked for in this
     *        directory
     */
    public static native void VOLNEDA_StartAll(int[] handle, String configPath);

    /**
     * Destroys a reader context.  Close the reader and stop the dispatcher
     * first; the handle is invalid afterwards.
     *
     * @param handle guarded; element 0 holds the context's handle (it keeps the
     *        number: set it to 0 yourself)
     */
    public static native void VOLNEDA_StopAll(int[] handle);

    // ---- Status dispatcher ---------------------------------------------

    /**
     * Starts the context's status message queue.  Call it right after
     * {@link #VOLNEDA_StartAll}, before any call that posts messages (messages
     * posted before are lost).  After {@link #StopDispatcher} it may be started
     * again.
     *
     * @param handle the reader context
     */
    public static native void StartDispatcher(int handle);

    /**
     * Stops the status message queue: a thread blocked in
     * {@link #DispatcherGetData} returns false; messages not yet fetched are
     * discarded.  Call it after {@link #VOLNEDA_Close} and before
     * {@link #VOLNEDA_StopAll}.
     *
     * @param handle the reader context
     */
    public static native void StopDispatcher(int handle);

    /**
     * Waits for the next status message and takes it from the queue.  Blocks
     * until a message arrives or {@link #StopDispatcher} is called; messages
     * come in posting order.  At most 99 messages wait unread: further ones are
     * dropped.
     *
     * @param handle the reader context
     * @param level element 0 receives the level: 0 information, 1 warning,
     *        2 error, 3 critical (0 when false is returned)
     * @param source element 0 receives the number of the operation that posted
     *        the message (1 request check, 2 command parse, 3 discovery,
     *        4 template, 5 open, 6 close, 7 identify, 8 read, 9 write, 10 write per
     *        tag, 11 set attribute, 12 get attribute, 13 scan trigger, 24
     *        communication time-out)
     * @param code element 0 receives the result code or driver status of the
     *        message, often 0
     * @param text element 0 receives the message text, at most 127 characters
     *        ("" when false is returned)
     * @param unused not used
     * @return true with a message; false when the dispatcher was stopped (or
     *         never started) or the handle is 0
     */
    public static native boolean DispatcherGetData(int handle, int[] level, int[] source, int[] code,
                                                   String[] text, int unused);

    // ---- Reader connection ---------------------------------------------

    /**
     * Opens the named reader in the reader driver library and loads its tag
     * template (the file that the reader's attribute RFID_SWTT_FILE_NAME names;
     * a missing template gives a warning, not a failure).
     *
     * @param handle the reader context
     * @param readerName the reader, as the reader list names it (at most 31
     *        characters)
     * @return 0; -3303 when a reader is already open on this context; -3307 for
     *         handle 0; the driver's negative status when the reader does not
     *         open (posted at level 3, "Reader failed to open")
     */
    public static native int VOLNEDA_Open(int handle, String readerName);

    /**
     * Closes the reader: releases the driver's connection, the last result
     * document and the tag template.  The context stays and can open again.
     *
     * @param handle the reader context
     * @return 0; -3300 when no reader is open; -3307 for handle 0
     */
    public static native int VOLNEDA_Close(int handle);

    /**
     * The reader driver's text for one of its error codes (the code of a
     * failed identify, read or write).
     *
     * @param handle the reader context
     * @param errorCode the driver's error code
     * @param text element 0 receives the text, at most 111 characters; "Unable
     *        to retieve Errorstring detail" when the driver has none; left
     *        unchanged when false is returned
     * @return true; false when no reader is open
     */
    public static native boolean VOLNEDA_GetErrorString(int handle, int errorCode, String[] text);

    /**
     * The result document of the last successful identify or read command, as
     * XML text (IdentifyTags or ReadTags, lines ended by CR LF).
     *
     * @param handle the reader context
     * @param document element 0 receives the document, at most length - 1
     *        characters of it; "" when there is no document
     * @param length the document length that {@link #VOLNEDA_Command} gave,
     *        plus 1
     * @return 0; -3307 for handle 0
     */
    public static native int VOLNEDA_GetXMLData(int handle, String[] document, int length);

    /**
     * The library's version, 1.23.
     *
     * @param major guarded; element 0 receives 1
     * @param minor guarded; element 0 receives 23
     */
    public static native void VOLNEDA_Version(int[] major, int[] minor);

    /**
     * Not supported: posts a warning and changes nothing.
     *
     * @param handle the reader context
     * @param timeOut not used
     * @return -3450 (not supported); -3307 for handle 0
     */
    public static native int SetCommTimeOut(int handle, int timeOut);

    /**
     * Not supported: posts a message and changes nothing.
     *
     * @param handle the reader context
     * @param use not used
     * @return -3400 (not supported); -3307 for handle 0
     */
    public static native int SetUseScanTrigger(int handle, boolean use);

    // ---- Attributes ----------------------------------------------------

    /**
     * Reads a reader attribute from the driver.  For RFID_SWTT_FILE_NAME a
     * bare file name is completed with the directory of the reader list.
     *
     * @param handle the reader context
     * @param name the attribute name (at most 63 characters)
     * @param value element 0 receives the value, at most 63 characters
     * @return 0; the driver's status when it fails; -3300 when no reader is
     *         open; -3307 for handle 0
     */
    public static native int VOLNEDA_GetAttribute(int handle, String name, String[] value);

    /**
     * Sets a reader attribute in the driver.
     *
     * @param handle the reader context
     * @param name the attribute name (at most 63 characters)
     * @param value the value (at most 511 bytes)
     * @return 0; the driver's status when it fails; -3300 when no reader is
     *         open; -3307 for handle 0
     */
    public static native int VOLNEDA_SetAttribute(int handle, String name, String value);

    // ---- Commands and writes -------------------------------------------

    /**
     * Runs one command: {@code identify [where ...]} or
     * {@code read [* | field(n,...) mem(name,start,length,type) ...] [where ...]}
     * with {@code swtt=MASK} and {@code tagid=ID} in the where clause.  The
     * result document is then fetched with {@link #VOLNEDA_GetXMLData}.
     *
     * @param handle the reader context
     * @param command the command (at most 255 characters; keywords in any case)
     * @param documentLength element 0 receives the length of the result
     *        document in characters (0 when none was made)
     * @param tagCount element 0 receives the number of tags found or read
     * @return 0; -3201 to -3208 for a command that does not parse (-3201 not a
     *         command, -3202 malformed, -3204 list too long, -3205 and -3207 bad
     *         tagid, -3206 and -3208 bad swtt); -3300 when no reader is open;
     *         -3307 for handle 0; the driver's error code when its identify or
     *         read fails
     */
    public static native int VOLNEDA_Command(int handle, String command, int[] documentLength, int[] tagCount);

    /**
     * Writes tag memory as a WriteTags request document says.  The request is
     * checked whole before anything is written; each Tag element is then
     * written by one driver call.
     *
     * @param handle the reader context
     * @param request the WriteTags document, or '@' followed by the name of a
     *        UTF-8 file that holds one
     * @return 0; -3000 (the file cannot be read) and -3002 to -3014 (the
     *         document is not a valid WriteTags request); -3351 when some Tag
     *         element found no tag; -3352 when a write failed in the driver;
     *         -3300 when no reader is open; -3307 for handle 0
     */
    public static native int VOLNEDA_Write(int handle, String request);

    // ---- Reader discovery ----------------------------------------------

    /**
     * The first reader of the context's reader list (the file given to
     * {@link #VOLNEDA_StartAll}, else RF_RFID_CONFIG, else rfconfig.ini in the
     * current directory).  One enumeration runs at a time in the whole process.
     *
     * @param handle the reader context
     * @param readerName element 0 receives the reader's name (at most 31
     *        characters); "" when the result is not 0
     * @param unused not used
     * @return 0; -3251 when the reader list cannot be read; -3252 when it names
     *         no reader
     */
    public static native int VOLNEDA_FindFirstReader(int handle, String[] readerName, int unused);

    /**
     * The next reader of the enumeration that
     * {@link #VOLNEDA_FindFirstReader} started.
     *
     * @param handle the reader context
     * @param readerName element 0 receives the reader's name; "" at the end
     * @return 0; -3253 when there is no further reader
     */
    public static native int VOLNEDA_FindNextReader(int handle, String[] readerName);

    // ---- Tag template --------------------------------------------------

    /**
     * Replaces the tag template of the open reader by the one in the named
     * file.
     *
     * @param handle the reader context
     * @param fileName the SWTT.INI file to load
     * @return 0; -3304 when the file cannot be read (the context then has no
     *         template); -3300 when no reader is open; -3307 for handle 0
     */
    public static native int VOLNEDA_LoadSWTT(int handle, String fileName);

    /**
     * Drops the tag template: template fields read as missing until the next
     * load.
     *
     * @param handle the reader context
     */
    public static native void VOLNEDA_UnloadSWTT(int handle);

    // ---- XML documents -------------------------------------------------

    /**
     * Opens an XML document: a result document to walk, or null for an empty
     * one to build a WriteTags request in.  Whether the text parsed shows in
     * {@link #XMLreader_GetElement}.
     *
     * @param document unguarded; element 0 receives the document's handle
     * @param text the XML text, or null
     */
    public static native void XMLreader_OpenDoc(int[] document, String text);

    /**
     * Closes a document; its handle is invalid afterwards.
     *
     * @param document the document
     */
    public static native void XMLreader_CloseDoc(int document);

    /**
     * Moves to the next element of the current level; on a new document, to
     * the root.
     *
     * @param document the document
     * @return 1 when the element is an IdentifyTags root, 2 for ReadTags, 0 for
     *         any other element or when there is none
     */
    public static native int XMLreader_GetElement(int document);

    /**
     * Moves to the next Tag child whose ID attribute equals the given
     * identifier.
     *
     * @param document the document
     * @param tagId the 16 hexadecimal digits, as the document writes them
     * @return true when found; false when no further Tag matches
     */
    public static native boolean XMLreader_FindTag(int document, String tagId);

    /**
     * Moves to the next child element with this name (case-sensitive).
     * Called repeatedly, it visits every such child in order.
     *
     * @param document the document
     * @param name the element name
     * @return true when found; false when the children run out
     */
    public static native boolean XMLreader_FindChildElement(int document, String name);

    /**
     * An attribute of the current element (the root after
     * {@link #XMLreader_GetElement}).
     *
     * @param document the document
     * @param name the attribute name
     * @param value element 0 receives the value, at most length - 1
     *        characters; "" when the attribute is missing
     * @param length the size of the value including the terminator
     */
    public static native void XMLreader_GetAttribute(int document, String name, String[] value, int length);

    /**
     * An attribute of the current child element (the element that
     * {@link #XMLreader_FindChildElement} or {@link #XMLreader_FindTag} found).
     *
     * @param document the document
     * @param name the attribute name
     * @param value element 0 receives the value, at most length - 1
     *        characters; "" when the attribute is missing or empty
     * @param length the size of the value including the terminator
     * @return true; false when the attribute is missing or empty
     */
    public static native boolean XMLreader_GetChildAttribute(int document, String name, String[] value,
                                                             int length);

    /**
     * The text of the current child element, entities decoded; "" for an
     * element that holds elements.
     *
     * @param document the document
     * @param data element 0 receives the text, at most length - 1 characters
     * @param length the size of the text including the terminator
     */
    public static native void XMLreader_GetChildData(int document, String[] data, int length);

    /**
     * Saves the current position on a stack kept with the document.
     *
     * @param document the document
     * @return true
     */
    public static native boolean XMLreader_Push(int document);

    /**
     * Goes back to the position saved last by {@link #XMLreader_Push}.
     *
     * @param document the document
     * @return true; false when nothing is saved
     */
    public static native boolean XMLreader_Pop(int document);

    /**
     * Goes back to the start: the next {@link #XMLreader_GetElement} finds the
     * root again.
     *
     * @param document the document
     */
    public static native void XMLreader_Rewind(int document);

    /**
     * Descends: the current child element becomes the current element, and
     * {@link #XMLreader_FindChildElement} then walks its children.
     *
     * @param document the document
     * @return true; false when there is no current element
     */
    public static native boolean XMLreader_StepIntoElement(int document);

    /**
     * Climbs back: the parent level becomes the current level again.
     *
     * @param document the document
     * @return true; false at the top
     */
    public static native boolean XMLreader_StepOutOfElement(int document);

    /**
     * Empties the document and starts a WriteTags request in it.
     *
     * @param document the document
     * @return true
     */
    public static native boolean XMLreader_WriteXMLHeader(int document);

    /**
     * Adds a Tag element to the request: the tag to write.
     *
     * @param document the document, after {@link #XMLreader_WriteXMLHeader}
     * @param tagId the tag's identifier, 16 hexadecimal digits
     */
    public static native void XMLreader_WriteXMLAddTag(int document, String tagId);

    /**
     * Adds a template field to the last Tag: an SWTTField element.
     *
     * @param document the document
     * @param entry the field number, 0 to 15, as the tag's template names it
     * @param data the new value, as text
     */
    public static native void XMLreader_WriteXMLAddSWTTFieldInfo(int document, int entry, String data);

    /**
     * Adds a raw memory field to the last Tag: a MEMField element.
     *
     * @param document the document
     * @param memStart the first byte in tag memory
     * @param memLength the number of bytes
     * @param memType 'h' (104) Hex, 'i' (105) Int, 's' (115) String; anything
     *        else is written as String
     * @param data the new value, as text
     */
    public static native void XMLreader_WriteXMLAddMEMFieldInfo(int document, int memStart, int memLength,
                                                                int memType, String data);

    /**
     * The length of the document's text.
     *
     * @param document the document
     * @return the number of characters, without a terminator
     */
    public static native int GetCurrentDocLen(int document);

    /**
     * The document's text, for example a request built with the XMLreader
     * write methods, to hand to {@link #VOLNEDA_Write}.
     *
     * @param document the document
     * @param text element 0 receives the text; with length =
     *        {@link #GetCurrentDocLen} (or more) the whole text
     * @param length the number of characters to take
     */
    public static native void GetCurrentDoc(int document, String[] text, int length);
}
