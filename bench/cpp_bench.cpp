// The C++ layer's cost over the bare C calls: a read of 1,000 tags with
// six fields each, as typed tags from volneda::Reader::read, beside the C
// calls that give the same values: VOLNEDA_Command, VOLNEDA_GetXMLData and
// a walk with the XMLreader functions, either over every attribute name a
// Field may have (c-walk) or over exactly the calls the layer makes
// (c-walk-lean: the attributes each kind of field has, and the counts); and beside the
// command and the fetch alone.  Timed, as the other workloads, by the CPU
// time of the working thread: the wall clock of a busy machine varies by
// more than the difference measured.  The layer's status thread takes
// three messages a read (two and the marker), which that time leaves out.
#include <cstdio>
#include <memory>
#include <vector>

#include <unistd.h>

#include "bench_setup.h"
#include "volneda.hpp"

namespace {

constexpr const char kSelect[] = "field(0,1,2,3) mem(raw,0,8,h) mem(label,20,12,s)";

volneda::Reader &LayerReader(int64_t tags) {
  static std::unique_ptr<volneda::Reader> reader;
  static int64_t opened = -1;
  if (opened != tags) {
    reader.reset();
    bench::BenchField files = bench::WriteField(tags);
    reader = std::make_unique<volneda::Reader>("", "R1");
    std::remove(files.field.c_str());
    std::remove(files.templates.c_str());
    rmdir(files.dir.c_str());
    opened = tags;
  }
  return *reader;
}

// Every attribute of every element and every value of the document, into
// buffers (lean: only the attributes each kind of field has, as the layer
// asks for them).
size_t WalkAll(const VOLNEDA_WCHAR *text, bool lean) {
  static const char16_t *const kTagAttributes[] = {u"ID", u"SWTT", u"HWTAGTYPE", u"Antenna"};
  static const char16_t *const kFieldAttributes[] = {u"Type",    u"EntryNr", u"SWTTmask",    u"Name",   u"DataType",
                                                     u"DataStart", u"DataLen", u"FieldStatus", u"Warning"};
  VOLNEDA_WCHAR buffer[520];
  size_t values = 0;
  XMLREADER_HANDLE doc = nullptr;
  XMLreader_OpenDoc(&doc, text);
  if (XMLreader_GetElement(doc) == 2) {
    if (lean) XMLreader_GetAttribute(doc, u"TagCount", buffer, 520);
    while (XMLreader_FindChildElement(doc, u"Tag")) {
      for (const char16_t *a : kTagAttributes) values += XMLreader_GetChildAttribute(doc, a, buffer, 520);
      if (lean) values += XMLreader_GetChildAttribute(doc, u"NrFields", buffer, 520);
      XMLreader_StepIntoElement(doc);
      while (XMLreader_FindChildElement(doc, u"Field")) {
        if (!lean) {
          for (const char16_t *a : kFieldAttributes) values += XMLreader_GetChildAttribute(doc, a, buffer, 520);
        } else {
          values += XMLreader_GetChildAttribute(doc, u"Type", buffer, 520);
          const bool mem = buffer[0] == u'M';
          for (const char16_t *a : {u"EntryNr", u"SWTTmask", u"Name", u"DataType", u"DataStart", u"DataLen",
                                    u"FieldStatus"})
            if (!mem || (a[0] != u'E' && a[0] != u'S' && a[0] != u'F'))
              values += XMLreader_GetChildAttribute(doc, a, buffer, 520);
        }
        XMLreader_GetChildData(doc, buffer, 520);
        ++values;
      }
      XMLreader_StepOutOfElement(doc);
    }
  }
  XMLreader_CloseDoc(doc);
  return values;
}

enum Walk { kNoWalk, kWalkAll, kWalkLean };

void ReadC(benchmark::State &state, Walk walk) {
  bench::Reader &reader = bench::ReaderWithTags(state.range(0));
  std::vector<VOLNEDA_WCHAR> text;
  for (auto _ : state) {
    int32_t length = 0, count = 0;
    if (VOLNEDA_Command(reader.handle, bench::kReadCommand, &length, &count) != 0 || count != state.range(0))
      state.SkipWithError("the read command failed");
    text.resize(static_cast<size_t>(length) + 1);
    VOLNEDA_GetXMLData(reader.handle, text.data(), length + 1);
    if (walk != kNoWalk) benchmark::DoNotOptimize(WalkAll(text.data(), walk == kWalkLean));
    benchmark::DoNotOptimize(text.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void ReadCFetch(benchmark::State &state) { ReadC(state, kNoWalk); }
void ReadCWalk(benchmark::State &state) { ReadC(state, kWalkAll); }
void ReadCWalkLean(benchmark::State &state) { ReadC(state, kWalkLean); }

void ReadCpp(benchmark::State &state) {
  volneda::Reader &reader = LayerReader(state.range(0));
  for (auto _ : state) {
    std::vector<volneda::Tag> tags = reader.read(kSelect);
    if (tags.size() != static_cast<size_t>(state.range(0)) || tags[0].fields.size() != 6)
      state.SkipWithError("the layer's read gave other tags");
    benchmark::DoNotOptimize(tags.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(ReadCFetch)->Name("cpp-layer/c-fetch")->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(ReadCWalk)->Name("cpp-layer/c-walk")->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(ReadCWalkLean)->Name("cpp-layer/c-walk-lean")->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(ReadCpp)->Name("cpp-layer/cpp")->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
