// Where each tag's value lies in a slot's data buffer: the layout the
// library gives the buffers, which every backend reads and writes.
#include "backend.h"

long tagdrv::SlotAreaOffset(const RfidControl *control, uint32_t slot, uint32_t tag) {
  long offset = 0;
  for (uint32_t t = 0; t < tag; ++t) {
    const SlotDescriptor &d = control->slotDesc[slot][t];
    long size;
    if (d.kind == 1) size = (d.length == 1 || d.length == 2 || d.length == 4) ? d.length : d.length == 3 ? 4 : 0;
    else size = d.length >= 0 ? d.length + 1L : 0;
    offset += size;
    if (offset > TAGDRV_SLOT_DATA_SIZE) return -1;
  }
  return offset;
}
