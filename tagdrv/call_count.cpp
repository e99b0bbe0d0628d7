#include "call_count.h"

#include <atomic>
#include <cstring>
#include <iterator>

namespace tagdrv {
namespace {

// In the order of DriverFunction.
constexpr const char *kFunctionNames[] = {"G4Open",    "G4Close",   "RFIDAllocateControl", "RFIDFreeControl",
                                          "G4SetAttr", "G4GetAttr", "G4Identify",          "G4Read",
                                          "G4Write",   "G4GetErrorString"};
std::atomic<int32_t> g_calls[std::size(kFunctionNames)];

}  // namespace

void Called(DriverFunction function) { g_calls[function].fetch_add(1, std::memory_order_relaxed); }

int32_t CallCount(const char *function) {
  for (size_t i = 0; function && i < std::size(kFunctionNames); ++i)
    if (std::strcmp(function, kFunctionNames[i]) == 0) return g_calls[i].load();
  return -1;
}

}  // namespace tagdrv
