// Parsing a ReadTags document and walking it: the engine against pugixml
// and RapidXML on the same document.  Throughput is counted in bytes of the
// document's UTF-8 form for every system (the engine reads the UTF-16 form,
// twice as many bytes).
#include <cstring>
#include <vector>

#include <pugixml.hpp>
#include <rapidxml/rapidxml.hpp>

#include "bench_setup.h"
#include "volneda.h"

namespace {

using bench::ReadDocument;

void Count(benchmark::State &state, int64_t tags) {
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(ReadDocument(tags).utf8.size()));
  state.SetItemsProcessed(state.iterations() * tags);
}

// XMLreader_OpenDoc on the UTF-16 text (copied and parsed), then closed.
void ParseVolneda(benchmark::State &state) {
  const auto &doc = ReadDocument(state.range(0));
  for (auto _ : state) {
    XMLREADER_HANDLE handle = nullptr;
    XMLreader_OpenDoc(&handle, doc.utf16.c_str());
    benchmark::DoNotOptimize(handle);
    XMLreader_CloseDoc(handle);
  }
  Count(state, state.range(0));
}

void ParsePugixmlUtf8(benchmark::State &state) {
  const auto &doc = ReadDocument(state.range(0));
  for (auto _ : state) {
    pugi::xml_document parsed;
    if (!parsed.load_buffer(doc.utf8.data(), doc.utf8.size(), pugi::parse_default, pugi::encoding_utf8))
      state.SkipWithError("does not parse");
    benchmark::DoNotOptimize(parsed.first_child());
  }
  Count(state, state.range(0));
}

// The same characters as UTF-16, which pugixml converts to UTF-8 on load.
void ParsePugixmlUtf16(benchmark::State &state) {
  const auto &doc = ReadDocument(state.range(0));
  for (auto _ : state) {
    pugi::xml_document parsed;
    if (!parsed.load_buffer(doc.utf16.data(), doc.utf16.size() * 2, pugi::parse_default, pugi::encoding_utf16_le))
      state.SkipWithError("does not parse");
    benchmark::DoNotOptimize(parsed.first_child());
  }
  Count(state, state.range(0));
}

// RapidXML parses in place, so each run copies the text first, as the
// others do.
void ParseRapidxml(benchmark::State &state) {
  const auto &doc = ReadDocument(state.range(0));
  std::vector<char> text(doc.utf8.size() + 1);
  for (auto _ : state) {
    std::memcpy(text.data(), doc.utf8.c_str(), doc.utf8.size() + 1);
    rapidxml::xml_document<> parsed;
    parsed.parse<0>(text.data());
    benchmark::DoNotOptimize(parsed.first_node());
  }
  Count(state, state.range(0));
}

// Every Tag's ID and every Field's data, copied out as a caller gets them:
// into 64-character buffers, which the interface pads with NULs to their
// size on every copy.
constexpr int32_t kWalkBuffer = 64;

int64_t WalkOnce(XMLREADER_HANDLE handle, benchmark::State &state) {
  VOLNEDA_WCHAR id[kWalkBuffer], value[kWalkBuffer];
  int64_t seen = 0;
  if (XMLreader_GetElement(handle) != 2) state.SkipWithError("not a ReadTags document");
  while (XMLreader_FindChildElement(handle, u"Tag")) {
    XMLreader_GetChildAttribute(handle, u"ID", id, kWalkBuffer);
    seen += id[0];
    XMLreader_StepIntoElement(handle);
    while (XMLreader_FindChildElement(handle, u"Field")) {
      XMLreader_GetChildData(handle, value, kWalkBuffer);
      seen += value[0];
    }
    XMLreader_StepOutOfElement(handle);
  }
  return seen;
}

void WalkVolneda(benchmark::State &state) {
  const auto &doc = ReadDocument(state.range(0));
  XMLREADER_HANDLE handle = nullptr;
  XMLreader_OpenDoc(&handle, doc.utf16.c_str());
  for (auto _ : state) {
    XMLreader_Rewind(handle);
    benchmark::DoNotOptimize(WalkOnce(handle, state));
  }
  XMLreader_CloseDoc(handle);
  Count(state, state.range(0));
}

size_t WalkOnce(const pugi::xml_document &parsed) {
  size_t seen = 0;
  pugi::xml_node root = parsed.child("ReadTags");
  for (pugi::xml_node tag = root.child("Tag"); tag; tag = tag.next_sibling("Tag")) {
    seen += std::strlen(tag.attribute("ID").value());
    for (pugi::xml_node field = tag.child("Field"); field; field = field.next_sibling("Field"))
      seen += std::strlen(field.child_value());
  }
  return seen;
}

void WalkPugixml(benchmark::State &state) {
  const auto &doc = ReadDocument(state.range(0));
  pugi::xml_document parsed;
  parsed.load_buffer(doc.utf8.data(), doc.utf8.size(), pugi::parse_default, pugi::encoding_utf8);
  for (auto _ : state) benchmark::DoNotOptimize(WalkOnce(parsed));
  Count(state, state.range(0));
}

size_t WalkOnce(rapidxml::xml_document<> &parsed) {
  size_t seen = 0;
  rapidxml::xml_node<> *root = parsed.first_node("ReadTags");
  for (auto *tag = root->first_node("Tag"); tag; tag = tag->next_sibling("Tag")) {
    rapidxml::xml_attribute<> *id = tag->first_attribute("ID");
    seen += id ? id->value_size() : 0;
    for (auto *field = tag->first_node("Field"); field; field = field->next_sibling("Field"))
      seen += std::strlen(field->value());
  }
  return seen;
}

void WalkRapidxml(benchmark::State &state) {
  const auto &doc = ReadDocument(state.range(0));
  std::vector<char> text(doc.utf8.begin(), doc.utf8.end());
  text.push_back(0);
  rapidxml::xml_document<> parsed;
  parsed.parse<0>(text.data());
  for (auto _ : state) benchmark::DoNotOptimize(WalkOnce(parsed));
  Count(state, state.range(0));
}

// A document read the way an application reads a result: opened (parsed)
// and walked once.  The walk above repeats over one parsed document, which
// the read cache serves from the second walk on; here every walk is a
// first one.
void OpenWalkVolneda(benchmark::State &state) {
  const auto &doc = ReadDocument(state.range(0));
  for (auto _ : state) {
    XMLREADER_HANDLE handle = nullptr;
    XMLreader_OpenDoc(&handle, doc.utf16.c_str());
    benchmark::DoNotOptimize(WalkOnce(handle, state));
    XMLreader_CloseDoc(handle);
  }
  Count(state, state.range(0));
}

void OpenWalkPugixml(benchmark::State &state) {
  const auto &doc = ReadDocument(state.range(0));
  for (auto _ : state) {
    pugi::xml_document parsed;
    parsed.load_buffer(doc.utf8.data(), doc.utf8.size(), pugi::parse_default, pugi::encoding_utf8);
    benchmark::DoNotOptimize(WalkOnce(parsed));
  }
  Count(state, state.range(0));
}

void OpenWalkRapidxml(benchmark::State &state) {
  const auto &doc = ReadDocument(state.range(0));
  std::vector<char> text(doc.utf8.size() + 1);
  for (auto _ : state) {
    std::memcpy(text.data(), doc.utf8.c_str(), doc.utf8.size() + 1);
    rapidxml::xml_document<> parsed;
    parsed.parse<0>(text.data());
    benchmark::DoNotOptimize(WalkOnce(parsed));
  }
  Count(state, state.range(0));
}

BENCHMARK(ParseVolneda)->Name("parse/volneda")->Apply(bench::Sizes);
BENCHMARK(ParsePugixmlUtf8)->Name("parse/pugixml-utf8")->Apply(bench::Sizes);
BENCHMARK(ParsePugixmlUtf16)->Name("parse/pugixml-utf16")->Apply(bench::Sizes);
BENCHMARK(ParseRapidxml)->Name("parse/rapidxml-utf8")->Apply(bench::Sizes);
BENCHMARK(WalkVolneda)->Name("walk/volneda")->Apply(bench::Sizes);
BENCHMARK(WalkPugixml)->Name("walk/pugixml")->Apply(bench::Sizes);
BENCHMARK(WalkRapidxml)->Name("walk/rapidxml")->Apply(bench::Sizes);
BENCHMARK(OpenWalkVolneda)->Name("open+walk/volneda")->Apply(bench::Sizes);
BENCHMARK(OpenWalkPugixml)->Name("open+walk/pugixml")->Apply(bench::Sizes);
BENCHMARK(OpenWalkRapidxml)->Name("open+walk/rapidxml")->Apply(bench::Sizes);

}  // namespace
