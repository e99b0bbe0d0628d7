// Building the ReadTags document of a read, and the read command from end
// to end, on a simulated reader holding n tags.
//
// The driver copies each tag's values into 512-byte slot buffers (the
// driver interface fixes their size), so past the first few dozen tags the
// values read as zeros with field status -1; the document keeps its shape.
#include <string>
#include <vector>

#include "bench_setup.h"
#include "tagdata/result_docs.h"

namespace {

using bench::ReaderWithTags;

// A reader whose control block holds the result of the read command.
bench::Reader &ReadDone(benchmark::State &state, int32_t *length) {
  bench::Reader &reader = ReaderWithTags(state.range(0));
  int32_t count = 0;
  *length = 0;
  if (VOLNEDA_Command(reader.handle, bench::kReadCommand, length, &count) != 0 || count != state.range(0))
    state.SkipWithError("the read command failed");
  return reader;
}

size_t StartTags(const char *text) {
  size_t n = 0;
  for (const char *p = text; *p; ++p) n += p[0] == '<' && p[1] != '/';
  return n;
}

void BuildVolneda(benchmark::State &state) {
  int32_t length = 0;
  bench::Reader &reader = ReadDone(state, &length);
  for (auto _ : state) {
    uint32_t built = 0;
    BuildReadDoc(reader.context, &built, reader.request);
    benchmark::DoNotOptimize(reader.context->docText);
  }
  state.SetBytesProcessed(state.iterations() * length);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BuildPugixml(benchmark::State &state) {
  int32_t length = 0;
  bench::Reader &reader = ReadDone(state, &length);
  std::string out;
  // The same tree as the library's: as many elements.
  if (bench::PugixmlBuildRead(reader.context, reader.request, out) != StartTags(reader.context->docText))
    state.SkipWithError("the trees differ");
  for (auto _ : state) {
    bench::PugixmlBuildRead(reader.context, reader.request, out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * length);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// VOLNEDA_Command and VOLNEDA_GetXMLData, as an application reads its tags.
// driver_ns is the part spent in the driver's identify and read.
void ReadCommand(benchmark::State &state) {
  int32_t length = 0;
  bench::Reader &reader = ReadDone(state, &length);
  std::vector<VOLNEDA_WCHAR> text(static_cast<size_t>(length) + 1);
  bench::ResetDriverTime();
  for (auto _ : state) {
    int32_t count = 0, got = 0;
    VOLNEDA_Command(reader.handle, bench::kReadCommand, &got, &count);
    if (got != length) state.SkipWithError("the document changed length");
    VOLNEDA_GetXMLData(reader.handle, text.data(), got + 1);
    benchmark::DoNotOptimize(text.data());
  }
  state.counters["driver_ns"] =
      benchmark::Counter(static_cast<double>(bench::DriverTime()), benchmark::Counter::kAvgIterations);
  state.SetBytesProcessed(state.iterations() * length);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BuildVolneda)->Name("build/volneda")->Apply(bench::Sizes);
BENCHMARK(BuildPugixml)->Name("build/pugixml")->Apply(bench::Sizes);
BENCHMARK(ReadCommand)->Name("read-command/volneda")->Apply(bench::Sizes);

}  // namespace
