// call_count.h -- how often the library has called each driver function,
// counted where the driver library is entered, for tests that check which
// calls the library makes (TagdrvCallCount).
#ifndef TAGDRV_CALL_COUNT_H
#define TAGDRV_CALL_COUNT_H

#include <cstdint>

namespace tagdrv {

enum DriverFunction { kG4Open, kG4Close, kAllocate, kFree, kSetAttr, kGetAttr, kIdentify, kRead, kWrite, kErrorString };

void Called(DriverFunction function);
// The count of the function of that name; -1 for a name that is not one of the ten.
int32_t CallCount(const char *function);

}  // namespace tagdrv

#endif
