// The driver host with and without tracing: a read command of 100 tags (an
// identify and a read, two driver calls) on a reader whose calls go
// straight to the simulated backend, and on one whose calls are traced as
// JSON lines into a file.
#include "bench_setup.h"

namespace {

void ReadThrough(benchmark::State &state, bench::Reader &reader) {
  for (auto _ : state) {
    int32_t length = 0, count = 0;
    if (VOLNEDA_Command(reader.handle, bench::kReadCommand, &length, &count) != 0) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(length);
  }
  state.SetItemsProcessed(state.iterations() * 2);  // driver calls
}

void Untraced(benchmark::State &state) { ReadThrough(state, bench::ReaderWithTags(state.range(0))); }
void Traced(benchmark::State &state) { ReadThrough(state, bench::TracedReaderWithTags(state.range(0))); }

BENCHMARK(Untraced)->Name("trace/off/100")->Arg(100)->Unit(benchmark::kMicrosecond);
BENCHMARK(Traced)->Name("trace/on/100")->Arg(100)->Unit(benchmark::kMicrosecond);

}  // namespace
