package com.korvanel.datacollection.rfid;

/**
 * The VOLNEDA RFID reader library for Java: one native method for each
 * function of the C interface, with the same name and the same results.
 *
 * <p>Reader contexts and XML documents are held as {@code int} handles; 0
 * stands for none.  Results come back through arrays: element 0 of an
 * {@code int[]} receives a number, element 0 of a {@code String[]} a text.
 * Arrays marked <em>guarded</em> below must not be null and must have an
 * element ({@link NullPointerException} "array null",
 * {@link IndexOutOfBoundsException} "Array must contain at least 1 element"
 * otherwise, and the function is not called); other result arrays that are
 * null or empty simply receive nothing.  A String argument may be null: the
 * function then receives an absent text.  Result codes are those of the C
 * interface: 0 success, negative failure, -3307 for no context.
 *
 * <p>Order of use: {@link #VOLNEDA_StartAll}, {@link #StartDispatcher},
 * {@link #VOLNEDA_Open}, reader operations, {@link #VOLNEDA_Close},
 * {@link #StopDispatcher}, {@link #VOLNEDA_StopAll}.
 * {@link #DispatcherGetData} blocks until a status message arrives: call it
 * on a thread of its own.
 */
public final class VOLNEDAProxy {
    static {
        System.loadLibrary("volneda");
    }

    private VOLNEDAProxy() {
    }

    // ---- Reader context ------------------------------------------------

    /** Creates a reader context; its handle goes into handle[0] (guarded). */
    public static native void VOLNEDA_StartAll(int[] handle, String configPath);

    /** Destroys the context of handle[0] (guarded); the array keeps the number. */
    public static native void VOLNEDA_StopAll(int[] handle);

    // ---- Status dispatcher ---------------------------------------------

    public static native void StartDispatcher(int handle);

    public static native void StopDispatcher(int handle);

    /**
     * Waits for the next status message: true with the message, false when
     * the dispatcher was stopped (then 0 and "" are stored).  The text is
     * cut to 127 characters.  The last argument is not used.
     */
    public static native boolean DispatcherGetData(int handle, int[] level, int[] source, int[] code,
                                                   String[] text, int unused);

    // ---- Reader connection ---------------------------------------------

    public static native int VOLNEDA_Open(int handle, String readerName);

    public static native int VOLNEDA_Close(int handle);

    /** The text of a result code; text[0] is set only when true is returned. */
    public static native boolean VOLNEDA_GetErrorString(int handle, int errorCode, String[] text);

    /** The last result document, at most length - 1 characters of it. */
    public static native int VOLNEDA_GetXMLData(int handle, String[] document, int length);

    /** The library's version (both arrays guarded). */
    public static native void VOLNEDA_Version(int[] major, int[] minor);

    public static native int SetCommTimeOut(int handle, int timeOut);

    public static native int SetUseScanTrigger(int handle, boolean use);

    // ---- Attributes ----------------------------------------------------

    public static native int VOLNEDA_GetAttribute(int handle, String name, String[] value);

    public static native int VOLNEDA_SetAttribute(int handle, String name, String value);

    // ---- Commands and writes -------------------------------------------

    /** Runs a command; the document length and the tag count go into element 0. */
    public static native int VOLNEDA_Command(int handle, String command, int[] documentLength, int[] tagCount);

    /** Runs a WriteTags request, given as text or as '@' and a file name. */
    public static native int VOLNEDA_Write(int handle, String request);

    // ---- Reader discovery ----------------------------------------------

    /** The first reader of the context's reader list.  The last argument is not used. */
    public static native int VOLNEDA_FindFirstReader(int handle, String[] readerName, int unused);

    public static native int VOLNEDA_FindNextReader(int handle, String[] readerName);

    // ---- Tag template --------------------------------------------------

    public static native int VOLNEDA_LoadSWTT(int handle, String fileName);

    public static native void VOLNEDA_UnloadSWTT(int handle);

    // ---- XML documents -------------------------------------------------

    /** Opens a document on the text (null: an empty one); its handle goes into document[0]. */
    public static native void XMLreader_OpenDoc(int[] document, String text);

    public static native void XMLreader_CloseDoc(int document);

    /** 1 for an IdentifyTags document, 2 for ReadTags, 0 otherwise. */
    public static native int XMLreader_GetElement(int document);

    public static native boolean XMLreader_FindTag(int document, String tagId);

    public static native boolean XMLreader_FindChildElement(int document, String name);

    /** Text results of the XMLreader methods hold at most length - 1 characters. */
    public static native void XMLreader_GetAttribute(int document, String name, String[] value, int length);

    public static native boolean XMLreader_GetChildAttribute(int document, String name, String[] value,
                                                             int length);

    public static native void XMLreader_GetChildData(int document, String[] data, int length);

    public static native boolean XMLreader_Push(int document);

    public static native boolean XMLreader_Pop(int document);

    public static native void XMLreader_Rewind(int document);

    public static native boolean XMLreader_StepIntoElement(int document);

    public static native boolean XMLreader_StepOutOfElement(int document);

    public static native boolean XMLreader_WriteXMLHeader(int document);

    public static native void XMLreader_WriteXMLAddTag(int document, String tagId);

    public static native void XMLreader_WriteXMLAddSWTTFieldInfo(int document, int entry, String data);

    /** memType: 'h' (104) Hex, 'i' (105) Int, 's' (115) String. */
    public static native void XMLreader_WriteXMLAddMEMFieldInfo(int document, int memStart, int memLength,
                                                                int memType, String data);

    public static native int GetCurrentDocLen(int document);

    /** The document text; pass length = GetCurrentDocLen for the whole of it. */
    public static native void GetCurrentDoc(int document, String[] text, int length);
}
