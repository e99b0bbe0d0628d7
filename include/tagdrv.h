/*
 * tagdrv.h -- the reader driver ABI: the ten functions a reader driver
 * library (TAGDRV) exports and the control block through which VOLNEDA and
 * the driver exchange requests and results.
 *
 * VOLNEDA talks to a driver through this header only, so any library that
 * implements it -- the simulated one in tagdrv/ or a vendor's -- can be
 * dropped in.  All functions use the C calling convention (cdecl on 32-bit
 * Windows).  Text is 8-bit, in the system code page.
 *
 * On 32-bit builds every byte offset below is fixed and checked; 64-bit
 * builds use the natural layout of the same records.
 */
#ifndef TAGDRV_H
#define TAGDRV_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define TAGDRV_CALL __cdecl
#if defined(TAGDRV_BUILDING)
#define TAGDRV_API __declspec(dllexport)
#else
#define TAGDRV_API __declspec(dllimport)
#endif
#else
#define TAGDRV_CALL
#define TAGDRV_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Operation words set in opCode before each request. */
#define TAGDRV_OP_IDENTIFY 0x80Au
#define TAGDRV_OP_READ 0x100u
#define TAGDRV_OP_WRITE 0x8000u

#define TAGDRV_MAX_SLOTS 100
#define TAGDRV_SLOT_DATA_SIZE 512
#define TAGDRV_INFO_AREA_SIZE 256
#define TAGDRV_ERROR_TEXT_MAX 112
#define TAGDRV_ATTR_NAME_SIZE 64
#define TAGDRV_ATTR_VALUE_SIZE 512

/* The driver handle addresses a record that begins with the interface
 * version; nothing else of it is read by VOLNEDA. */
typedef struct G4DriverRecord {
  uint32_t majorVersion;
  uint32_t minorVersion;
} G4DriverRecord;
typedef G4DriverRecord *G4HANDLE;

typedef struct TagInfo {
  char swtt[13];     /* SWTT identifier, at most 12 characters */
  char tagType[5];   /* hardware tag type, zero-terminated */
  uint8_t antenna;   /* antenna number */
  /* further bytes belong to the driver */
} TagInfo;

typedef struct TagRecord {
  uint8_t id[8];     /* tag identifier */
  TagInfo *info;
} TagRecord;

typedef struct SlotDescriptor {
  int32_t start;     /* byte address of the field in tag memory */
  uint32_t reserved; /* 0 for reads; writes leave it alone */
  int32_t length;    /* bytes of the field */
  uint32_t kind;     /* always 0 from VOLNEDA; 1 changes the area size */
} SlotDescriptor;

typedef struct RfidControl {
  uint32_t opCode;             /*  0 */
  uint32_t driverPrivate0[3];  /*  4 */
  TagRecord *tagTable;         /* 16 */
  uint32_t firstTag;           /* 20 */
  uint32_t tagCount;           /* 24 */
  uint32_t foundCount;         /* 28 */
  uint32_t tagCapacity;        /* 32 */
  int32_t driverError;         /* 36 */
  int32_t *tagSelected;        /* 40: 0 selected, -1 left out */
  int32_t *tagStatus;          /* 44: 0 good, negative failure */
  int32_t **fieldStatus;       /* 48: [slot][tag] */
  uint32_t driverPrivate1;     /* 52 */
  uint32_t requestWord;        /* 56 */
  uint32_t keptWord;           /* 60 */
  uint32_t slotCount;          /* 64 */
  uint32_t clearedWord;        /* 68 */
  uint8_t **slotData;          /* 72: TAGDRV_MAX_SLOTS buffers of 512 bytes */
  uint32_t driverPrivate2;     /* 76 */
  SlotDescriptor **slotDesc;   /* 80: [slot][tag] */
  /* further bytes belong to the driver */
} RfidControl;

/* Attribute list of G4SetAttr / G4GetAttr: always one attribute. */
typedef struct G4AttrValue {
  uint8_t reserved[8];
  char text[TAGDRV_ATTR_VALUE_SIZE];
} G4AttrValue;

typedef struct G4AttrList {
  uint32_t count;
  char **names;          /* count pointers to 64-byte name buffers */
  G4AttrValue **values;  /* count pointers to 520-byte value records */
} G4AttrList;

#if defined(__cplusplus) && (defined(_M_IX86) || defined(__i386__))
static_assert(sizeof(TagRecord) == 12, "tag record");
static_assert(offsetof(TagRecord, info) == 8, "tag record info");
static_assert(offsetof(TagInfo, tagType) == 13, "tag info type");
static_assert(offsetof(TagInfo, antenna) == 18, "tag info antenna");
static_assert(sizeof(SlotDescriptor) == 16, "slot descriptor");
static_assert(offsetof(SlotDescriptor, length) == 8, "slot length");
static_assert(offsetof(SlotDescriptor, kind) == 12, "slot kind");
static_assert(offsetof(RfidControl, opCode) == 0, "opCode");
static_assert(offsetof(RfidControl, tagTable) == 16, "tagTable");
static_assert(offsetof(RfidControl, firstTag) == 20, "firstTag");
static_assert(offsetof(RfidControl, tagCount) == 24, "tagCount");
static_assert(offsetof(RfidControl, foundCount) == 28, "foundCount");
static_assert(offsetof(RfidControl, tagCapacity) == 32, "tagCapacity");
static_assert(offsetof(RfidControl, driverError) == 36, "driverError");
static_assert(offsetof(RfidControl, tagSelected) == 40, "tagSelected");
static_assert(offsetof(RfidControl, tagStatus) == 44, "tagStatus");
static_assert(offsetof(RfidControl, fieldStatus) == 48, "fieldStatus");
static_assert(offsetof(RfidControl, requestWord) == 56, "request word");
static_assert(offsetof(RfidControl, keptWord) == 60, "kept word");
static_assert(offsetof(RfidControl, slotCount) == 64, "slotCount");
static_assert(offsetof(RfidControl, clearedWord) == 68, "cleared word");
static_assert(offsetof(RfidControl, slotData) == 72, "slotData");
static_assert(offsetof(RfidControl, slotDesc) == 80, "slotDesc");
static_assert(sizeof(G4AttrValue) == 520, "attribute value record");
#endif

/* G4Open: opens the named reader; fills the 256-byte info area.  The open
 * succeeded when the handle is non-null and *status is not negative. */
TAGDRV_API G4HANDLE TAGDRV_CALL G4Open(const char *readerName, int32_t *status, void *infoArea,
                                       int32_t reserved1, int32_t reserved2);
TAGDRV_API int32_t TAGDRV_CALL G4Close(G4HANDLE handle, int32_t *status);
TAGDRV_API RfidControl *TAGDRV_CALL RFIDAllocateControl(G4HANDLE handle, int32_t *status);
TAGDRV_API int32_t TAGDRV_CALL RFIDFreeControl(G4HANDLE handle, RfidControl *control, int32_t *status);
/* Success when *status is 0. */
TAGDRV_API int32_t TAGDRV_CALL G4SetAttr(G4HANDLE handle, G4AttrList *list, int32_t *status);
TAGDRV_API int32_t TAGDRV_CALL G4GetAttr(G4HANDLE handle, G4AttrList *list, int32_t *status);
/* 0 on success; otherwise the reason is in control->driverError. */
TAGDRV_API int32_t TAGDRV_CALL G4Identify(G4HANDLE handle, RfidControl *control);
TAGDRV_API int32_t TAGDRV_CALL G4Read(G4HANDLE handle, RfidControl *control);
/* 0 when the request was accepted; it succeeded when driverError is 0 too. */
TAGDRV_API int32_t TAGDRV_CALL G4Write(G4HANDLE handle, RfidControl *control);
/* 0 when buffer received a text of at most 112 characters for the code. */
TAGDRV_API int32_t TAGDRV_CALL G4GetErrorString(G4HANDLE handle, int32_t errorCode, char *buffer);

#ifdef __cplusplus
}
#endif

#endif /* TAGDRV_H */
