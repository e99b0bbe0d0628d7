/*
 * volneda.h -- the C interface of the VOLNEDA RFID reader library.
 *
 * Every function here is exported undecorated with the C calling convention
 * (cdecl on 32-bit Windows: the caller removes the arguments) and never
 * throws.  Text is UTF-16 everywhere: VOLNEDA_WCHAR is wchar_t on Windows
 * and char16_t elsewhere.  Functions that return a result code return a
 * signed 32-bit value: 0 is success, negative is failure (the table is in
 * docs/result-codes.md).  Functions documented as returning a boolean return
 * 1 for true and 0 for false.
 *
 * Order of use: VOLNEDA_StartAll, StartDispatcher, VOLNEDA_Open, any number
 * of reader operations, VOLNEDA_Close, StopDispatcher, VOLNEDA_StopAll.
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

typedef int32_t VOLNEDA_BOOL;   /* 1 true, 0 false */
typedef void *VOLNEDA_HANDLE;   /* a reader context */
typedef void *XMLREADER_HANDLE; /* an XML document cell */

/* ---- Reader context ---------------------------------------------------- */

/* Creates a reader context and stores it in *handleOut.  configPath names
 * the reader list file; when it is empty (or null) the environment variable
 * RF_RFID_CONFIG is used.  A path longer than 127 bytes in the system code
 * page is cut at a character boundary.  Always returns 1. */
VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL VOLNEDA_StartAll(VOLNEDA_HANDLE *handleOut,
                                                       const VOLNEDA_WCHAR *configPath);
/* Destroys the context held in *handleSlot and sets the slot to null; does
 * nothing when the slot holds null.  Close the reader and stop the
 * dispatcher first. */
VOLNEDA_API void VOLNEDA_CALL VOLNEDA_StopAll(VOLNEDA_HANDLE *handleSlot);

/* ---- Status dispatcher ------------------------------------------------- */

VOLNEDA_API void VOLNEDA_CALL StartDispatcher(VOLNEDA_HANDLE context);
/* Wakes a blocked DispatcherGetData (it returns 0) and releases the
 * dispatcher; the texts of messages not yet fetched are freed. */
VOLNEDA_API void VOLNEDA_CALL StopDispatcher(VOLNEDA_HANDLE context);
/* Blocks until a status message arrives (returns 1) or the dispatcher is
 * stopped (returns 0).  The text is cut to capacity - 1 characters and
 * terminated; with a capacity of 0 or less only the numbers are stored. */
VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL DispatcherGetData(VOLNEDA_HANDLE context, int32_t *levelOut,
                                                        int32_t *sourceOut, int32_t *codeOut,
                                                        VOLNEDA_WCHAR *textBuffer, int32_t capacity);

/* ---- Reader connection ------------------------------------------------- */

VOLNEDA_API int32_t VOLNEDA_CALL VOLNEDA_Open(VOLNEDA_HANDLE context, const VOLNEDA_WCHAR *readerName);
VOLNEDA_API int32_t VOLNEDA_CALL VOLNEDA_Close(VOLNEDA_HANDLE context);
/* textBuffer must hold at least 112 characters. */
VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL VOLNEDA_GetErrorString(VOLNEDA_HANDLE context, int32_t errorCode,
                                                             VOLNEDA_WCHAR *textBuffer);
VOLNEDA_API int32_t VOLNEDA_CALL VOLNEDA_GetXMLData(VOLNEDA_HANDLE context, VOLNEDA_WCHAR *textBuffer,
                                                    int32_t capacity);
VOLNEDA_API void VOLNEDA_CALL VOLNEDA_Version(int32_t *majorOut, int32_t *minorOut);
VOLNEDA_API void VOLNEDA_CALL VOLNEDA_PlaySndFile(const VOLNEDA_WCHAR *fileName);
VOLNEDA_API void VOLNEDA_CALL VOLNEDA_PlaySndMemory(const void *soundImage);
VOLNEDA_API int32_t VOLNEDA_CALL SetUseScanTrigger(VOLNEDA_HANDLE context, int32_t flag);
VOLNEDA_API int32_t VOLNEDA_CALL SetCommTimeOut(VOLNEDA_HANDLE context, int32_t value);

/* ---- Attributes -------------------------------------------------------- */

VOLNEDA_API int32_t VOLNEDA_CALL VOLNEDA_SetAttribute(VOLNEDA_HANDLE context, const VOLNEDA_WCHAR *name,
                                                      const VOLNEDA_WCHAR *value);
/* valueBuffer receives at most 64 characters including the terminator. */
VOLNEDA_API int32_t VOLNEDA_CALL VOLNEDA_GetAttribute(VOLNEDA_HANDLE context, const VOLNEDA_WCHAR *name,
                                                      VOLNEDA_WCHAR *valueBuffer);

/* ---- Commands and writes ----------------------------------------------- */

VOLNEDA_API int32_t VOLNEDA_CALL VOLNEDA_Command(VOLNEDA_HANDLE context, const VOLNEDA_WCHAR *command,
                                                 int32_t *documentLengthOut, int32_t *tagCountOut);
/* document is a WriteTags document, or '@' followed by the name of a UTF-8
 * file holding one.  An integer MEMField without MemLen writes 4 bytes. */
VOLNEDA_API int32_t VOLNEDA_CALL VOLNEDA_Write(VOLNEDA_HANDLE context, const VOLNEDA_WCHAR *document);

/* ---- Tag template ------------------------------------------------------ */

VOLNEDA_API int32_t VOLNEDA_CALL VOLNEDA_LoadSWTT(VOLNEDA_HANDLE context, const VOLNEDA_WCHAR *fileName);
VOLNEDA_API void VOLNEDA_CALL VOLNEDA_UnloadSWTT(VOLNEDA_HANDLE context);

/* ---- Reader discovery -------------------------------------------------- */

/* nameOut holds 32 characters.  fileName may be null or empty: the
 * context's configuration path is used then. */
VOLNEDA_API int32_t VOLNEDA_CALL VOLNEDA_FindFirstReader(VOLNEDA_HANDLE context, VOLNEDA_WCHAR *nameOut,
                                                         const VOLNEDA_WCHAR *fileName);
VOLNEDA_API int32_t VOLNEDA_CALL VOLNEDA_FindNextReader(VOLNEDA_HANDLE context, VOLNEDA_WCHAR *nameOut);

/* ---- XML documents ----------------------------------------------------- */

/* Buffers are given with their size in characters, terminator included;
 * copied texts are cut to size - 1 characters and always terminated
 * (GetCurrentDoc, at the end, has a rule of its own). */
VOLNEDA_API void VOLNEDA_CALL XMLreader_OpenDoc(XMLREADER_HANDLE *handleOut, const VOLNEDA_WCHAR *text);
/* Destroys the document and frees the handle itself. */
VOLNEDA_API void VOLNEDA_CALL XMLreader_CloseDoc(XMLREADER_HANDLE handle);
/* 1 for an IdentifyTags root, 2 for ReadTags, 0 otherwise or at the end. */
VOLNEDA_API int32_t VOLNEDA_CALL XMLreader_GetElement(XMLREADER_HANDLE handle);
VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL XMLreader_FindTag(XMLREADER_HANDLE handle, const VOLNEDA_WCHAR *id);
VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL XMLreader_FindChildElement(XMLREADER_HANDLE handle,
                                                                 const VOLNEDA_WCHAR *name);
VOLNEDA_API void VOLNEDA_CALL XMLreader_GetAttribute(XMLREADER_HANDLE handle, const VOLNEDA_WCHAR *name,
                                                     VOLNEDA_WCHAR *buffer, int32_t size);
VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL XMLreader_GetChildAttribute(XMLREADER_HANDLE handle,
                                                                  const VOLNEDA_WCHAR *name,
                                                                  VOLNEDA_WCHAR *buffer, int32_t size);
VOLNEDA_API void VOLNEDA_CALL XMLreader_GetChildData(XMLREADER_HANDLE handle, VOLNEDA_WCHAR *buffer,
                                                     int32_t size);
/* Push saves the current position (parent, main and child) on a stack kept
 * with the document; Pop restores the last one pushed and returns 0 when the
 * stack is empty.  Replacing the document (XMLreader_WriteXMLHeader) empties
 * the stack, and positions still on it are freed by XMLreader_CloseDoc, so a
 * Push without a matching Pop leaks nothing. */
VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL XMLreader_Push(XMLREADER_HANDLE handle);
VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL XMLreader_Pop(XMLREADER_HANDLE handle);
VOLNEDA_API void VOLNEDA_CALL XMLreader_Rewind(XMLREADER_HANDLE handle);
VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL XMLreader_StepIntoElement(XMLREADER_HANDLE handle);
VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL XMLreader_StepOutOfElement(XMLREADER_HANDLE handle);
VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL XMLreader_WriteXMLHeader(XMLREADER_HANDLE handle);
VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL XMLreader_WriteXMLAddTag(XMLREADER_HANDLE handle, const VOLNEDA_WCHAR *id);
VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL XMLreader_WriteXMLAddSWTTFieldInfo(XMLREADER_HANDLE handle, int32_t entry,
                                                                         const VOLNEDA_WCHAR *data);
/* memType 104 ('h') Hex, 105 ('i') Int, 115 ('s') String; any other code
 * writes String. */
VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL XMLreader_WriteXMLAddMEMFieldInfo(XMLREADER_HANDLE handle, int32_t memStart,
                                                                        int32_t memLength, int32_t memType,
                                                                        const VOLNEDA_WCHAR *data);
VOLNEDA_API int32_t VOLNEDA_CALL GetCurrentDocLen(XMLREADER_HANDLE handle);
/* Copies as wcsncpy does: the text, then NULs up to size characters in all.
 * Size the buffer GetCurrentDocLen + 1 for the text and its terminator; with
 * size = GetCurrentDocLen no terminator is written. */
VOLNEDA_API void VOLNEDA_CALL GetCurrentDoc(XMLREADER_HANDLE handle, VOLNEDA_WCHAR *buffer, int32_t size);

#ifdef __cplusplus
}
#endif

#endif /* VOLNEDA_H */
