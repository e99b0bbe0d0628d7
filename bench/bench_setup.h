// What the benchmarks share: the ReadTags documents they parse and walk, a
// simulated reader holding n tags, and the peer's build of the same
// document.
//
// Every tag has the shape a real read gives: four template fields (hex,
// string, two integers) and two MEM fields (hex, string), read with
//   read field(0,1,2,3) mem(raw,0,8,h) mem(label,20,12,s)
#ifndef VOLNEDA_BENCH_SETUP_H
#define VOLNEDA_BENCH_SETUP_H

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "api/command.h"
#include "api/context.h"
#include "volneda.h"

namespace bench {

extern const char16_t kReadCommand[];

// Tag counts of every sized workload.
void Sizes(benchmark::internal::Benchmark *b);

// A ReadTags document of n tags in the library's own layout, with a value
// in every field, as UTF-16 and as UTF-8 (the same characters: the text is
// ASCII).  Made once per size.
struct ReadDoc {
  std::u16string utf16;
  std::string utf8;
};
const ReadDoc &ReadDocument(int64_t tags);

// A reader context opened on a simulated reader whose field holds n tags
// (files in a directory of its own).  Made once per size and kept, since
// opening a large field takes a while.
struct Reader {
  VOLNEDA_HANDLE handle = nullptr;
  ReaderContext *context = nullptr;
  CommandRequest request{};  // the parsed read command
  std::string traceFile;     // where its driver calls are traced, if they are
};
Reader &ReaderWithTags(int64_t tags);
// The same, with every driver call traced by the driver host.
Reader &TracedReaderWithTags(int64_t tags);
// The files of such a reader in a new directory, the tag field (reader
// R1) made the driver's: open R1 next, then remove them.
struct BenchField {
  std::string dir, templates, field;
};
BenchField WriteField(int64_t tags);
// Closes them all (their threads must end before the process does).
void CloseReaders();

// Time spent in the driver's identify and read since the last reset, in
// nanoseconds of the thread's CPU time (the driver calls are wrapped at
// link time).
void ResetDriverTime();
int64_t DriverTime();

// The document BuildReadDoc makes from the context's control block, built
// as a pugixml tree from the same block and saved as UTF-8 into out.
// Returns the number of elements.
size_t PugixmlBuildRead(ReaderContext *context, const CommandRequest &request, std::string &out);

}  // namespace bench

#endif
