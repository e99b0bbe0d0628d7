// The benchmark program: every workload of the library beside its peers,
// in one process, so that each comparison is made on the same input in the
// same run.  bench/run prints the table.
#include <benchmark/benchmark.h>

#include "bench_setup.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

// Large blocks would otherwise come fresh from the kernel on every
// iteration, and first-touch page faults (costly on virtual machines) would
// swamp the work measured.  Keeping freed memory in the heap lets the
// iterations of every system alike reuse it.
int main(int argc, char **argv) {
#if defined(__GLIBC__)
  mallopt(M_MMAP_THRESHOLD, 256 * 1024 * 1024);
  mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
#endif
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  bench::CloseReaders();
  benchmark::Shutdown();
  return 0;
}
