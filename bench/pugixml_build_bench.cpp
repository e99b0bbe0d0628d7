// The same flat list built with pugixml's DOM, for comparison.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <sstream>

#include <pugixml.hpp>

namespace {

void Sizes(benchmark::internal::Benchmark *b) {
  for (int64_t n = 12500; n <= 100000; n *= 2) b->Arg(n);
  b->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);
}

void BM_PugixmlAppendChildren(benchmark::State &state) {
  const int64_t n = state.range(0);
  for (auto _ : state) {
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child("ReadTags");
    for (int64_t i = 1; i < n; ++i) root.append_child("Field").text().set("0123456789ABCDEF");
    benchmark::DoNotOptimize(root);
  }
  state.SetComplexityN(n);
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_PugixmlAppendChildren)->Apply(Sizes);

// Building and then writing the text, which the engine above holds at
// every step anyway.
void BM_PugixmlAppendChildrenAndSave(benchmark::State &state) {
  const int64_t n = state.range(0);
  for (auto _ : state) {
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child("ReadTags");
    for (int64_t i = 1; i < n; ++i) root.append_child("Field").text().set("0123456789ABCDEF");
    std::ostringstream out;
    doc.save(out, "", pugi::format_raw);
    benchmark::DoNotOptimize(out.str().data());
  }
  state.SetComplexityN(n);
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_PugixmlAppendChildrenAndSave)->Apply(Sizes);

}  // namespace
