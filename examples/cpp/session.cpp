// session.cpp -- a whole session with the C++ layer: the reader list, open,
// identify, read, write, read back, attributes, a failed command; every
// status message printed as it comes, on the layer's status thread.
//
//   session [READER-LIST [READER]]
#include <cstdio>
#include <iostream>
#include <string>

#include "volneda.hpp"

namespace {

void PrintMessage(const volneda::StatusMessage &m) {
  std::printf("  %-13s %-14s %5d%s%s\n", ("[" + std::string(m.levelName()) + "]").c_str(), m.sourceName(), m.code,
              m.text.empty() ? "" : "  ", m.text.c_str());
}

void PrintTags(const char *what, const std::vector<volneda::Tag> &tags) {
  std::printf("%s: %zu tags\n", what, tags.size());
  for (const volneda::Tag &t : tags) {
    std::printf("  tag %s  swtt %s  type %s  antenna %d\n", t.id.c_str(), t.swtt.c_str(), t.type.c_str(), t.antenna);
    for (const volneda::Field &f : t.fields) {
      if (f.exists())
        std::printf("    %-8s %-6s [%s] status %d\n", f.name.c_str(), f.type.c_str(), f.value.c_str(), f.status);
      else
        std::printf("    field %d: %s\n", f.entryNr, f.warning.c_str());
    }
  }
}

}  // namespace

int main(int argc, char **argv) {
  const std::string list = argc > 1 ? argv[1] : "./rfconfig.ini";
  try {
    std::printf("readers:");
    for (const std::string &name : volneda::readers(list)) std::printf(" %s", name.c_str());
    std::printf("\n");

    volneda::Reader reader(list, argc > 2 ? argv[2] : "DOCK1", PrintMessage);
    std::printf("open %s\n", reader.name().c_str());

    PrintTags("identify", reader.identify());
    PrintTags("read field(0,1,2,7)", reader.read("field(0,1,2,7)", "tagid=0123456789ABCDEF"));

    // Template field 1 (Product) through the tag's template, and text
    // outside ASCII into raw memory: UTF-8 here, the reader's code page there.
    volneda::WriteRequest request;
    request.tag("0123456789ABCDEF").field(1, "WIDGET-Z").mem(48, "Müller");
    request.tag("0FFF000000000000").field(1, "NOBODY");
    volneda::WriteResult written = reader.write(request);
    std::printf("write: %d, %zu Tag elements\n", written.code, written.tags.size());
    for (const volneda::WriteOutcome &o : written.tags) std::printf("  %s\n", volneda::outcomeName(o.status));

    PrintTags("read back", reader.read("field(1) mem(name,48,6,s)", "tagid=0123456789ABCDEF"));

    std::printf("attribute Power: %s\n", reader.attribute("Power").c_str());
    reader.setAttribute("Power", "25");
    std::printf("attribute Power: %s\n", reader.attribute("Power").c_str());

    try {
      reader.command("frobnicate");
    } catch (const volneda::Error &e) {
      std::printf("error: %s\n", e.what());
      std::printf("  category %s, code %d, %zu status message\n", e.code().category().name(), e.code().value(),
                  e.messages().size());
    }
    std::printf("close\n");
  } catch (const volneda::Error &e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
