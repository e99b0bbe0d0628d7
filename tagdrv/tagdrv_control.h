/*
 * tagdrv_control.h -- the simulated reader driver's own control interface,
 * for tests and demos: where the tag field comes from, and faults to inject
 * on top of what the tag field file says.  Not part of the driver ABI; a
 * vendor's driver does not have it.
 */
#ifndef TAGDRV_CONTROL_H
#define TAGDRV_CONTROL_H

#include "tagdrv.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Faults that can be injected.  A value of 0 clears the fault. */
typedef enum TagdrvFault {
  TAGDRV_FAULT_OPEN = 1,        /* G4Open gives no handle, status = value */
  TAGDRV_FAULT_ALLOCATE = 2,    /* RFIDAllocateControl fails, status = value */
  TAGDRV_FAULT_IDENTIFY = 3,    /* G4Identify fails with driverError = value */
  TAGDRV_FAULT_READ = 4,        /* G4Read fails with driverError = value */
  TAGDRV_FAULT_WRITE = 5,       /* G4Write returns 0 with driverError = value */
  TAGDRV_FAULT_WRITE_RETURN = 6, /* G4Write returns value, writes nothing */
  TAGDRV_FAULT_OPEN_STATUS = 7   /* G4Open gives a handle, but status = value */
} TagdrvFault;

/* Uses this tag field file from the next G4Open on (null: back to the
 * TAGDRV_FIELD variable, else tagfield.ini in the current directory). */
TAGDRV_API void TAGDRV_CALL TagdrvSetFieldFile(const char *path);
TAGDRV_API void TAGDRV_CALL TagdrvSetFault(int32_t fault, int32_t value);
/* Tags are named by their identifier as 16 hexadecimal digits; these two
 * return 0 when the identifier is malformed, else 1.  A status of 0 clears.
 * The tag reports this tagStatus at every identify (a negative one makes it
 * a failed tag). */
TAGDRV_API int32_t TAGDRV_CALL TagdrvSetTagStatus(const char *tagId, int32_t status);
/* A read or write field of the tag that covers the byte address fails with
 * this fieldStatus (negative). */
TAGDRV_API int32_t TAGDRV_CALL TagdrvSetFieldFault(const char *tagId, int32_t address, int32_t status);
/* Clears every fault set through this interface (not those of the file). */
TAGDRV_API void TAGDRV_CALL TagdrvClearFaults(void);
/* Number of G4Write calls since the process started (for tests that check
 * that no driver call was made). */
TAGDRV_API int32_t TAGDRV_CALL TagdrvWriteCount(void);
/* Number of calls of the named driver function ("G4Open", "RFIDFreeControl",
 * ...) since the process started; -1 for a name that is not one of the ten. */
TAGDRV_API int32_t TAGDRV_CALL TagdrvCallCount(const char *function);

#ifdef __cplusplus
}
#endif

#endif
