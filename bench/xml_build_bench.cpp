// Building documents by repeated appends.  Every append moves only the text
// after its insertion point and shifts only the records behind it, so the
// time per document grows linearly with the number of elements; the
// reported complexity (oN) shows it.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "xml/xmldoc.h"

namespace {

// 12,500 to 100,000 elements, doubling.
void Sizes(benchmark::internal::Benchmark *b) {
  for (int64_t n = 12500; n <= 100000; n *= 2) b->Arg(n);
  b->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);
}

// A flat list: a root and n children, each added after the previous one.
void BM_AppendChildren(benchmark::State &state) {
  const int64_t n = state.range(0);
  for (auto _ : state) {
    XMLDoc doc;
    doc.AddElement(u"ReadTags");
    for (int64_t i = 1; i < n; ++i) doc.AddChildElement(u"Field", u"0123456789ABCDEF");
    benchmark::DoNotOptimize(doc.GetDoc().data());
    if (doc.GetNextFreeIndex() != n + 1) state.SkipWithError("element count differs");
  }
  state.SetComplexityN(n);
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_AppendChildren)->Apply(Sizes);

// Siblings added with AddElement after the main position, one level down.
void BM_AppendSiblings(benchmark::State &state) {
  const int64_t n = state.range(0);
  for (auto _ : state) {
    XMLDoc doc;
    doc.AddElement(u"IdentifyTags");
    doc.AddChildElement(u"Tag");
    doc.StepIntoElement();
    for (int64_t i = 2; i < n; ++i) doc.AddElement(u"Tag");
    benchmark::DoNotOptimize(doc.GetDoc().data());
    if (doc.GetNextFreeIndex() != n + 1) state.SkipWithError("element count differs");
  }
  state.SetComplexityN(n);
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_AppendSiblings)->Apply(Sizes);

// A request shaped like the write requests: Tags with an ID and three
// fields each, every field with attributes and data.
void BM_BuildWriteRequest(benchmark::State &state) {
  const int64_t n = state.range(0);
  for (auto _ : state) {
    XMLDoc doc;
    doc.AddElement(u"WriteTags");
    int64_t elements = 1;
    for (int32_t tag = 0; elements < n; ++tag) {
      doc.AddChildElement(u"Tag");
      doc.SetAttributeAt(doc.GetChildPosition(), u"ID", tag);
      ++elements;
      doc.StepIntoElement();
      for (int32_t field = 0; field < 3 && elements < n; ++field, ++elements) {
        doc.AddChildElement(u"MEMField");
        doc.SetAttributeAt(doc.GetChildPosition(), u"MemStart", field * 8);
        doc.SetAttributeAt(doc.GetChildPosition(), u"MemType", u"Hex");
        doc.SetDataAt(doc.GetChildPosition(), u"0102030405060708", false);
      }
      doc.StepOutOfElement();
    }
    benchmark::DoNotOptimize(doc.GetDoc().data());
    if (doc.GetNextFreeIndex() != n + 1) state.SkipWithError("element count differs");
  }
  state.SetComplexityN(n);
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_BuildWriteRequest)->Apply(Sizes);

// Parsing what was built, for scale.
void BM_ParseBuilt(benchmark::State &state) {
  const int64_t n = state.range(0);
  XMLDoc built;
  built.AddElement(u"ReadTags");
  for (int64_t i = 1; i < n; ++i) built.AddChildElement(u"Field", u"0123456789ABCDEF");
  const std::u16string text = built.GetDoc();
  for (auto _ : state) {
    XMLDoc doc(text);
    if (!doc.IsWellFormed()) state.SkipWithError("does not parse");
  }
  state.SetComplexityN(n);
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_ParseBuilt)->Apply(Sizes);

}  // namespace

// Large blocks would otherwise come fresh from the kernel on every
// iteration, and first-touch page faults (costly on virtual machines) would
// swamp the time of the edits themselves.  Keeping freed memory in the heap
// lets the iterations reuse it.
int main(int argc, char **argv) {
#if defined(__GLIBC__)
  mallopt(M_MMAP_THRESHOLD, 256 * 1024 * 1024);
  mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
#endif
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
