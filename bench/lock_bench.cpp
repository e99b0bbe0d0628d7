// The operation lock that serialises the reader operations of one context,
// uncontended, beside the cheapest whole operation that takes it: what an
// application that keeps to one caller per context pays for the guard.
#include "bench_setup.h"

namespace {

// Enter and leave, as every reader operation does once.
void LockHold(benchmark::State &state) {
  bench::Reader &reader = bench::ReaderWithTags(state.range(0));
  for (auto _ : state) {
    OperationHold hold(reader.context);
    benchmark::DoNotOptimize(reader.context->openFlag);
  }
}

// An identify of a one-tag field: the driver's inventory, the tag table and
// a small IdentifyTags document, with the lock taken once.
void IdentifyCommand(benchmark::State &state) {
  bench::Reader &reader = bench::ReaderWithTags(state.range(0));
  for (auto _ : state) {
    int32_t length = 0, count = 0;
    if (VOLNEDA_Command(reader.handle, u"identify", &length, &count) != 0) state.SkipWithError("identify failed");
    benchmark::DoNotOptimize(length);
  }
}

BENCHMARK(LockHold)->Name("lock/hold/1")->Arg(1);
BENCHMARK(IdentifyCommand)->Name("lock/identify/1")->Arg(1);

}  // namespace
