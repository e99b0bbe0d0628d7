/**
 * @file volneda.h
 * @brief The C interface of the VOLNEDA RFID reader library.
 *
 * Every function here is exported undecorated with the C calling convention
 * (cdecl on 32-bit Windows: the caller removes the arguments) and never
 * throws.  Text is UTF-16 everywhere: VOLNEDA_WCHAR is wchar_t on Windows
 * and char16_t elsewhere, so u"..." literals fit on every system.  Buffer
 * sizes count characters, the terminator included.
 *
 * Functions that return a result code return a signed 32-bit value: 0 is
 * success, negative is failure (docs/result-codes.md lists every code).
 * Functions that take a reader context return -3307 for a null context
 * (posting nothing) and, for the reader operations, -3300 when no reader is
 * open (posted as an error).  Functions documented as returning a boolean
 * return 1 for true and 0 for false.
 *
 * Order of use: VOLNEDA_StartAll, StartDispatcher, VOLNEDA_Open, any number
 * of reader operations, VOLNEDA_Close, StopDispatcher, VOLNEDA_StopAll.
 *
 * Threads: every call blocks its thread until done (the reader operations
 * while the reader driver works).  Each context is used by one thread at a
 * time, apart from DispatcherGetData, which runs on a thread of its own and
 * blocks until a status message arrives or StopDispatcher is called;
 * several contexts may be used on several threads at once.  Teardown:
 * VOLNEDA_Close, StopDispatcher, join the fetching thread, VOLNEDA_StopAll.
 * A process may end (return from main, exit, System.exit, SIGTERM in Java)
 * whatever state its contexts are in; once VOLNEDA_StopAll has returned, no
 * thread of that context runs any more, and the library may be unloaded.
 *
 * The full reference with examples is docs/c-reference.md.
 */
#ifndef VOLNEDA_H
#define VOLNEDA_H

#include <stdint.h>

#if defined(_WIN32)
#include <wchar.h>
typedef wchar_t VOLNEDA_WCHAR;
#define VOLNEDA_CALL __cdecl
#if defined(VOLNEDA_BUILDING)
#define VOLNEDA_API __declspec(dllexport)
#else
#define VOLNEDA_API __declspec(dllimport)
#endif
#else
#ifdef __cplusplus
typedef char16_t VOLNEDA_WCHAR;
#else
#include <uchar.h>
typedef char16_t VOLNEDA_WCHAR;
#endif
#define VOLNEDA_CALL
#define VOLNEDA_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t VOLNEDA_BOOL;   /**< 1 true, 0 false */
typedef void *VOLNEDA_HANDLE;   /**< a reader context */
typedef void *XMLREADER_HANDLE; /**< an XML document */

/** @name Result codes
 * The library's own result codes, one constant each (docs/result-codes.md);
 * other negative values are statuses of the reader driver, passed on
 * unchanged.
 * @{ */
/* Result codes: written by scripts/docs-tables.py from src/meanings/meanings.tsv. */
/** success */
#define VOLNEDA_OK 0
/** the write request file named after '@' cannot be opened */
#define VOLNEDA_ERR_DOC_FILE (-3000)
/** the write request does not parse as XML, or has no root element */
#define VOLNEDA_ERR_DOC_UNUSABLE (-3002)
/** the root element of the write request is not WriteTags */
#define VOLNEDA_ERR_DOC_ROOT (-3003)
/** a Tag's ID is not empty and not 16 characters long */
#define VOLNEDA_ERR_DOC_TAG_ID_LENGTH (-3004)
/**
 * a Tag's SWTT attribute is longer than 12 characters, or an SWTT
 * element's text is not exactly 12 characters
 */
#define VOLNEDA_ERR_DOC_SWTT_LENGTH (-3005)
/** a child of Tag has a name other than SWTT, SWTTField, MEMField, DTField */
#define VOLNEDA_ERR_DOC_TAG_CHILD (-3006)
/** an SWTT element has empty text */
#define VOLNEDA_ERR_DOC_SWTT_EMPTY (-3007)
/** an SWTTField has no EntryNr (or an empty one) */
#define VOLNEDA_ERR_DOC_ENTRYNR_MISSING (-3008)
/** an SWTTField's EntryNr is below 0 or above 15 */
#define VOLNEDA_ERR_DOC_ENTRYNR_RANGE (-3009)
/** a Locked attribute is neither TRUE nor FALSE */
#define VOLNEDA_ERR_DOC_LOCKED (-3010)
/**
 * a Tag's SWTT attribute or an SWTT element's text holds a character
 * outside '0' to 'F'
 */
#define VOLNEDA_ERR_DOC_SWTT_HEX (-3011)
/** a Tag's ID holds a character outside '0' to 'F' */
#define VOLNEDA_ERR_DOC_TAG_ID_HEX (-3012)
/** an SWTTField has empty text */
#define VOLNEDA_ERR_DOC_FIELD_EMPTY (-3013)
/** a MEMField has no MemStart (or an empty one) */
#define VOLNEDA_ERR_DOC_MEMSTART_MISSING (-3014)
/** no memory for the 8-bit copy of the command */
#define VOLNEDA_ERR_CMD_NO_MEMORY (-3200)
/** the command begins with neither "read" nor "identify" */
#define VOLNEDA_ERR_CMD_UNKNOWN (-3201)
/**
 * malformed command: its form breaks the grammar or a limit of the command
 * language
 */
#define VOLNEDA_ERR_CMD_MALFORMED (-3202)
/** more than 32 characters inside one field(...) or mem(...) list */
#define VOLNEDA_ERR_CMD_LIST_TOO_LONG (-3204)
/** a tagid value that is not 16 characters long */
#define VOLNEDA_ERR_CMD_TAGID_LENGTH (-3205)
/** a swtt value longer than 12 characters */
#define VOLNEDA_ERR_CMD_SWTT_LENGTH (-3206)
/** a tagid value with a character outside '0' to 'F' */
#define VOLNEDA_ERR_CMD_TAGID_HEX (-3207)
/** a swtt value with a character outside '0' to 'F' */
#define VOLNEDA_ERR_CMD_SWTT_HEX (-3208)
/** the reader list file cannot be loaded */
#define VOLNEDA_ERR_CONFIG_LOAD (-3251)
/** the reader list file names no reader */
#define VOLNEDA_ERR_NO_READER (-3252)
/** no further reader in the reader list */
#define VOLNEDA_ERR_NO_FURTHER_READER (-3253)
/** no reader is open on this handle */
#define VOLNEDA_ERR_NOT_OPEN (-3300)
/**
 * template fields were selected but no tag template is loaded (a warning;
 * the operation goes on without them)
 */
#define VOLNEDA_ERR_NO_TEMPLATE (-3301)
/**
 * a requested template field is not defined in the tag's template (a
 * warning)
 */
#define VOLNEDA_ERR_NO_SUCH_FIELD (-3302)
/** the reader is already open */
#define VOLNEDA_ERR_ALREADY_OPEN (-3303)
/** the tag template file failed to load */
#define VOLNEDA_ERR_TEMPLATE_LOAD (-3304)
/** the reader context handle is null */
#define VOLNEDA_ERR_NULL_HANDLE (-3307)
/** the identify before a write found no tag (a warning) */
#define VOLNEDA_ERR_WRITE_NO_TAG (-3350)
/** a write found no tag for some of its Tag elements, and no write failed */
#define VOLNEDA_ERR_WRITE_SOME_NOT_FOUND (-3351)
/** a write failed in the reader driver */
#define VOLNEDA_ERR_WRITE_FAILED (-3352)
/** the scan trigger setting is not supported */
#define VOLNEDA_ERR_SCAN_TRIGGER (-3400)
/** the communication time-out setting is not supported */
#define VOLNEDA_ERR_COMM_TIMEOUT (-3450)
/* End of the result codes. */
/** @} */

/** @name Reader context
 * @{ */

/**
 * @brief Creates a reader context and stores it in *handleOut.
 * @param handleOut receives the new context; with null nothing is created.
 * @param configPath the reader list file; when it is empty (or null) the
 *        value of the environment variable RF_RFID_CONFIG is taken.  At most
 *        127 bytes in the system code page (a longer path is cut at a
 *        character boundary).  Give it with its directory ("./rfconfig.ini"):
 *        the tag template is looked for in that directory.
 * @return 1, always.  Out of memory, *handleOut is null.
 */
VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL VOLNEDA_StartAll(VOLNEDA_HANDLE *handleOut,
                                                       const VOLNEDA_WCHAR *configPath);
/**
 * @brief Destroys the context held in *handleSlot and sets the slot to null.
 *
 * Does nothing when the slot holds null.  Close the reader and stop the
 * dispatcher first (and join the thread that fetches status messages):
 * StopAll does neither.
 */
VOLNEDA_API void VOLNEDA_CALL VOLNEDA_StopAll(VOLNEDA_HANDLE *handleSlot);

/** @} */
/** @name Status messages
 * @{ */

/**
 * @brief Starts the context's status message queue, empty.
 *
 * Call it right after VOLNEDA_StartAll: messages posted before are lost.
 * Can be called again after StopDispatcher.
 */
VOLNEDA_API void VOLNEDA_CALL StartDispatcher(VOLNEDA_HANDLE context);
/**
 * @brief Stops the queue: a DispatcherGetData blocked on another thread
 * returns 0; the texts of messages not yet fetched are freed.
 *
 * Call it after VOLNEDA_Close and before VOLNEDA_StopAll.  Any thread may
 * call it, also while another thread is in DispatcherGetData or about to
 * enter it: that call returns 0.
 */
VOLNEDA_API void VOLNEDA_CALL StopDispatcher(VOLNEDA_HANDLE context);
/**
 * @brief Takes the oldest unread status message; blocks until there is one
 * or the dispatcher is stopped.
 * @param context the reader context.
 * @param levelOut receives the level: 0 information, 1 warning, 2 error,
 *        3 critical.
 * @param sourceOut receives the operation that posted it (1 to 13, 24).
 * @param codeOut receives a result code, a driver status, or 0.
 * @param textBuffer receives the text, cut to capacity - 1 characters and
 *        terminated.
 * @param capacity the size of textBuffer; with 0 or less only the numbers
 *        are stored.
 * @return 1 with a message; 0 when the dispatcher was stopped (or never
 *         started) or the context is null, nothing stored.
 *
 * Messages come in posting order; at most 99 wait unread, further ones are
 * dropped.  Meant for a thread of its own, one per context.
 */
VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL DispatcherGetData(VOLNEDA_HANDLE context, int32_t *levelOut,
                                                        int32_t *sourceOut, int32_t *codeOut,
                                                        VOLNEDA_WCHAR *textBuffer, int32_t capacity);

/** @} */
/** @name Reader connection
 * @{ */

/**
 * @brief Opens the named reader and loads its tag template (the file the
 * reader attribute RFID_SWTT_FILE_NAME names, completed with the reader
 * list's directory).
 * @param context the reader context.
 * @param readerName as the reader list names it; at most 31 bytes in the
 *        system code page.
 * @return 0 (with or without a template: "No SWTT.INI file" is a warning);
 *         -3303 when a reader is already open; -3307; the driver's negative
 *         status when the reader does not open; -3300 when the driver gave
 *         neither a reader nor a reason.
 *
 * Posts "Opening reader..." (source 5), the attribute (source 12), "SWTT.INI
 * read" or "No SWTT.INI file" (source 4); "Reader failed to open" (level 3)
 * on failure.  Blocks while the driver works.
 */
VOLNEDA_API int32_t VOLNEDA_CALL VOLNEDA_Open(VOLNEDA_HANDLE context, const VOLNEDA_WCHAR *readerName);
/**
 * @brief Closes the reader, frees the last result document and unloads the
 * template.  The context and its dispatcher stay.
 * @return 0; -3300 when no reader is open (posted, source 6); -3307.
 */
VOLNEDA_API int32_t VOLNEDA_CALL VOLNEDA_Close(VOLNEDA_HANDLE context);
/**
 * @brief The reader driver's text for one of its error codes.
 * @param context the reader context.
 * @param errorCode the driver's code, as a failed identify, read or write
 *        returned it.
 * @param textBuffer must hold 112 characters (text of at most 111 and a
 *        terminator); "Unable to retieve Errorstring detail" when the driver
 *        has no text for the code.
 * @return 1; 0 when no reader is open (buffer untouched).  A null context
 *         returns 1 and leaves the buffer untouched.
 */
VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL VOLNEDA_GetErrorString(VOLNEDA_HANDLE context, int32_t errorCode,
                                                             VOLNEDA_WCHAR *textBuffer);
/**
 * @brief Copies the result document of the last successful VOLNEDA_Command.
 * @param context the reader context.
 * @param textBuffer receives the document.
 * @param capacity the length VOLNEDA_Command gave + 1 for the whole document
 *        and its terminator; a smaller buffer gets the first capacity - 1
 *        characters.
 * @return 0 (the buffer is left unchanged when there is no document);
 *         -3307.  Needs no open reader.
 */
VOLNEDA_API int32_t VOLNEDA_CALL VOLNEDA_GetXMLData(VOLNEDA_HANDLE context, VOLNEDA_WCHAR *textBuffer,
                                                    int32_t capacity);
/** @brief Stores 1 and 23: version 1.23.  Null pointers are skipped. */
VOLNEDA_API void VOLNEDA_CALL VOLNEDA_Version(int32_t *majorOut, int32_t *minorOut);
/** @brief Plays a WAVE file and returns at once (Linux: through ALSA when
 * installed, else nothing). */
VOLNEDA_API void VOLNEDA_CALL VOLNEDA_PlaySndFile(const VOLNEDA_WCHAR *fileName);
/** @brief Plays a RIFF WAVE image held in memory and returns at once; the
 * image is copied. */
VOLNEDA_API void VOLNEDA_CALL VOLNEDA_PlaySndMemory(const void *soundImage);
/** @brief Not supported: returns -3400 and posts it (level 0, source 13);
 * -3307 for a null context.  flag is not used. */
VOLNEDA_API int32_t VOLNEDA_CALL SetUseScanTrigger(VOLNEDA_HANDLE context, int32_t flag);
/** @brief Not supported: returns -3450 and posts it (warning, source 24);
 * -3307 for a null context.  value is not used. */
VOLNEDA_API int32_t VOLNEDA_CALL SetCommTimeOut(VOLNEDA_HANDLE context, int32_t value);

/** @} */
/** @name Attributes
 * @{ */

/**
 * @brief Sets one reader attribute in the driver.
 * @param context the reader context.
 * @param name at most 63 bytes in the system code page.
 * @param value at most 511 bytes.
 * @return the driver's status (0 success); -3300 (posted, "SetAttribute");
 *         -3307.  Posts the name (source 11), level 2 when the status is not 0.
 */
VOLNEDA_API int32_t VOLNEDA_CALL VOLNEDA_SetAttribute(VOLNEDA_HANDLE context, const VOLNEDA_WCHAR *name,
                                                      const VOLNEDA_WCHAR *value);
/**
 * @brief Reads one reader attribute.
 * @param context the reader context.
 * @param name the attribute's name.
 * @param valueBuffer must hold 64 characters (value of at most 63 and a
 *        terminator).  For RFID_SWTT_FILE_NAME a bare file name comes back
 *        completed with the reader list's directory.
 * @return the driver's status (0 success); -3300 (posted, "GetAttribute");
 *         -3307.  Posts the name (source 12), level 2 when the status is not 0.
 */
VOLNEDA_API int32_t VOLNEDA_CALL VOLNEDA_GetAttribute(VOLNEDA_HANDLE context, const VOLNEDA_WCHAR *name,
                                                      VOLNEDA_WCHAR *valueBuffer);

/** @} */
/** @name Commands and writes
 * @{ */

/**
 * @brief Runs one command: "identify [where ...]" or "read [* | field(n,...)
 * mem(name,start,length,type)...] [where swtt=MASK | tagid=ID]"
 * (docs/commands.md).
 * @param context the reader context.
 * @param command at most 255 characters.
 * @param documentLengthOut receives the length of the result document in
 *        characters, without terminator (fetch it with VOLNEDA_GetXMLData);
 *        left unchanged when no document was made.
 * @param tagCountOut receives the number of tags identified, or read with
 *        status 0.
 * @return 0; -3200 to -3208 when the command does not parse (posted, source
 *         2); -3300; -3307; the driver's code when its identify or read
 *         fails.  Blocks while the driver works.
 */
VOLNEDA_API int32_t VOLNEDA_CALL VOLNEDA_Command(VOLNEDA_HANDLE context, const VOLNEDA_WCHAR *command,
                                                 int32_t *documentLengthOut, int32_t *tagCountOut);
/**
 * @brief Writes tag memory as a WriteTags request says (docs/documents.md).
 * @param context the reader context.
 * @param document a WriteTags document, or '@' followed by the name of a
 *        UTF-8 file holding one.  An integer MEMField without MemLen writes
 *        4 bytes.
 * @return 0; -3000 (file unreadable); -3002 to -3014 (the request's first
 *         fault); -3351 (some Tag element found no tag, none failed); -3352
 *         (a write failed in the driver); -3300; -3307.  The request is
 *         checked whole before anything is written.  Blocks while the driver
 *         works.
 */
VOLNEDA_API int32_t VOLNEDA_CALL VOLNEDA_Write(VOLNEDA_HANDLE context, const VOLNEDA_WCHAR *document);

/** @} */
/** @name Tag templates
 * @{ */

/**
 * @brief Replaces the context's tag templates by those of an SWTT.INI file.
 * @return 0 ("SWTT.INI loaded"); -3304 when the file cannot be read (the
 *         context then has none); -3300; -3307.
 */
VOLNEDA_API int32_t VOLNEDA_CALL VOLNEDA_LoadSWTT(VOLNEDA_HANDLE context, const VOLNEDA_WCHAR *fileName);
/** @brief Drops the context's tag templates; posts "Unload SWTT.ini". */
VOLNEDA_API void VOLNEDA_CALL VOLNEDA_UnloadSWTT(VOLNEDA_HANDLE context);

/** @} */
/** @name Reader discovery
 * @{ */

/**
 * @brief Reads the reader list and gives its first reader.
 * @param context its configuration path names the list; may be null.
 * @param nameOut holds 32 characters; written only on 0.
 * @param fileName a list to read instead, or null/empty: the context's
 *        configuration path, else rfconfig.ini in the current directory.
 * @return 0; -3251 when the list cannot be read (posted with the path);
 *         -3252 when it names no reader.
 *
 * One enumeration runs at a time in the whole process; loading a tag
 * template (VOLNEDA_Open, VOLNEDA_LoadSWTT) ends it.
 */
VOLNEDA_API int32_t VOLNEDA_CALL VOLNEDA_FindFirstReader(VOLNEDA_HANDLE context, VOLNEDA_WCHAR *nameOut,
                                                         const VOLNEDA_WCHAR *fileName);
/** @brief The next reader of the list (nameOut: 32 characters).
 * @return 0; -3253 at the end.  context is not used. */
VOLNEDA_API int32_t VOLNEDA_CALL VOLNEDA_FindNextReader(VOLNEDA_HANDLE context, VOLNEDA_WCHAR *nameOut);

/** @} */
/** @name XML documents
 * Buffers are given with their size in characters, terminator included;
 * copied texts are cut to size - 1 characters and always terminated
 * (GetCurrentDoc has a rule of its own).  None of these takes a reader context or posts; a null handle does nothing.
 * @{ */

/** @brief Opens a document on a copy of text (null: an empty one), before
 * its root.  Whether it parsed shows in XMLreader_GetElement. */
VOLNEDA_API void VOLNEDA_CALL XMLreader_OpenDoc(XMLREADER_HANDLE *handleOut, const VOLNEDA_WCHAR *text);
/** @brief Destroys the document and frees the handle itself. */
VOLNEDA_API void VOLNEDA_CALL XMLreader_CloseDoc(XMLREADER_HANDLE handle);
/** @brief Moves to the next element of the current level (first: the root).
 * @return 1 for an IdentifyTags root, 2 for ReadTags, 0 otherwise or at the
 * end. */
VOLNEDA_API int32_t VOLNEDA_CALL XMLreader_GetElement(XMLREADER_HANDLE handle);
/** @brief Moves to the next Tag child whose ID attribute equals id.
 * @return 1 found, 0 not. */
VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL XMLreader_FindTag(XMLREADER_HANDLE handle, const VOLNEDA_WCHAR *id);
/** @brief Moves to the next child element with this name (case-sensitive).
 * @return 1 found, 0 when the children run out. */
VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL XMLreader_FindChildElement(XMLREADER_HANDLE handle,
                                                                 const VOLNEDA_WCHAR *name);
/** @brief An attribute of the current element (the root after
 * XMLreader_GetElement); empty when missing. */
VOLNEDA_API void VOLNEDA_CALL XMLreader_GetAttribute(XMLREADER_HANDLE handle, const VOLNEDA_WCHAR *name,
                                                     VOLNEDA_WCHAR *buffer, int32_t size);
/** @brief An attribute of the current child element.
 * @return 1; 0 when missing or empty, the buffer left untouched. */
VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL XMLreader_GetChildAttribute(XMLREADER_HANDLE handle,
                                                                  const VOLNEDA_WCHAR *name,
                                                                  VOLNEDA_WCHAR *buffer, int32_t size);
/** @brief The text of the current child element, entities decoded; empty for
 * an element with children. */
VOLNEDA_API void VOLNEDA_CALL XMLreader_GetChildData(XMLREADER_HANDLE handle, VOLNEDA_WCHAR *buffer,
                                                     int32_t size);
/**
 * @brief Push saves the current position (parent, main and child) on a stack
 * kept with the document; Pop restores the last one pushed and returns 0 when
 * the stack is empty.
 *
 * Replacing the document (XMLreader_WriteXMLHeader) empties the stack, and
 * positions still on it are freed by XMLreader_CloseDoc, so a Push without a
 * matching Pop leaks nothing.
 */
VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL XMLreader_Push(XMLREADER_HANDLE handle);
/** @brief Restores the position pushed last; 0 when none is left. */
VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL XMLreader_Pop(XMLREADER_HANDLE handle);
/** @brief Back to before the root. */
VOLNEDA_API void VOLNEDA_CALL XMLreader_Rewind(XMLREADER_HANDLE handle);
/** @brief The current child becomes the current element: its children are
 * walked next.  @return 0 when there is no current element. */
VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL XMLreader_StepIntoElement(XMLREADER_HANDLE handle);
/** @brief Back up one level.  @return 0 at the top. */
VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL XMLreader_StepOutOfElement(XMLREADER_HANDLE handle);
/** @brief Empties the document and starts a WriteTags request. */
VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL XMLreader_WriteXMLHeader(XMLREADER_HANDLE handle);
/** @brief Adds a Tag element with this ID after the last one.  @return 0
 * before XMLreader_WriteXMLHeader. */
VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL XMLreader_WriteXMLAddTag(XMLREADER_HANDLE handle, const VOLNEDA_WCHAR *id);
/** @brief Adds an SWTTField (template field entry, value data) to the last
 * Tag. */
VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL XMLreader_WriteXMLAddSWTTFieldInfo(XMLREADER_HANDLE handle, int32_t entry,
                                                                         const VOLNEDA_WCHAR *data);
/** @brief Adds a MEMField (raw memory) to the last Tag.  memType 104 ('h')
 * Hex, 105 ('i') Int, 115 ('s') String; any other code writes String. */
VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL XMLreader_WriteXMLAddMEMFieldInfo(XMLREADER_HANDLE handle, int32_t memStart,
                                                                        int32_t memLength, int32_t memType,
                                                                        const VOLNEDA_WCHAR *data);
/** @brief The length of the document's text, without terminator. */
VOLNEDA_API int32_t VOLNEDA_CALL GetCurrentDocLen(XMLREADER_HANDLE handle);
/** @brief Copies the document's text as wcsncpy does: size = GetCurrentDocLen
 * + 1 gives the text and its terminator; size = GetCurrentDocLen the whole
 * text without terminator. */
VOLNEDA_API void VOLNEDA_CALL GetCurrentDoc(XMLREADER_HANDLE handle, VOLNEDA_WCHAR *buffer, int32_t size);

/** @} */

#ifdef __cplusplus
}
#endif

#endif /* VOLNEDA_H */
