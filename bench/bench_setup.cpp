#include "bench_setup.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <stdexcept>

#include <pugixml.hpp>

#include "config/swtt.h"
#include "platform/platform.h"
#include "tagdata/codec.h"
#include "tagdrv.h"
#include "tagdrv_control.h"
#include "xml/xmldoc.h"

namespace bench {

const char16_t kReadCommand[] = u"read field(0,1,2,3) mem(raw,0,8,h) mem(label,20,12,s)";

void Sizes(benchmark::internal::Benchmark *b) {
  for (int64_t n = 100; n <= 100000; n *= 10) b->Arg(n);
  b->Unit(benchmark::kMillisecond);
}

namespace {

// What tag i holds: its identifier, SWTT identifier, label and numbers.
struct TagValues {
  char id[17];
  char swtt[13];
  char label[13];
  int count, weight, antenna;
};

TagValues ValuesOf(int64_t i) {
  TagValues v;
  std::snprintf(v.id, sizeof v.id, "E2801160%08X", static_cast<unsigned>(i));
  std::snprintf(v.swtt, sizeof v.swtt, "0123%08X", static_cast<unsigned>(i * 7919));
  std::snprintf(v.label, sizeof v.label, "WIDGET-%05d", static_cast<int>(i % 100000));
  v.count = static_cast<int>(i % 30000);
  v.weight = static_cast<int>(i * 37 % 1000000);
  v.antenna = static_cast<int>(i % 4) + 1;
  return v;
}

const char kTemplates[] =
    "[0123xxxxxxxx]\r\nID=Bench tag\r\nf_00=Serial,0,8,h\r\nf_01=Product,20,12,s\r\n"
    "f_02=Count,32,2,i\r\nf_03=Weight,40,4,i\r\n";

std::u16string Wide(const char *s) { return std::u16string(s, s + std::strlen(s)); }

std::u16string Number(int n) { return Wide(std::to_string(n).c_str()); }

// One Field element as the read document builder writes it.
void AddField(XMLDoc &doc, const char16_t *type, int entry, const char16_t *name, const char16_t *dataType,
              int start, int length, const std::u16string &value) {
  doc.StepIntoElement();
  doc.AddChildElement(u"Field", value.c_str());
  const int32_t at = doc.GetChildPosition();
  doc.SetAttributeAt(at, u"Type", type);
  if (entry >= 0) {
    doc.SetAttributeAt(at, u"EntryNr", entry);
    doc.SetAttributeAt(at, u"SWTTmask", u"0123xxxxxxxx");
  }
  doc.SetAttributeAt(at, u"Name", name);
  doc.SetAttributeAt(at, u"DataType", dataType);
  doc.SetAttributeAt(at, u"DataStart", start);
  doc.SetAttributeAt(at, u"DataLen", length);
  if (entry >= 0) doc.SetAttributeAt(at, u"FieldStatus", 0);
  doc.StepOutOfElement();
}

std::unique_ptr<ReadDoc> MakeReadDoc(int64_t tags) {
  XMLDoc doc;
  doc.AddElement(u"ReadTags");
  int32_t root = doc.GetMainPosition();
  doc.SetAttributeAt(root, u"Reader", u"R1");
  doc.SetAttributeAt(root, u"TagCount", static_cast<int32_t>(tags));
  doc.SetAttributeAt(root, u"Date", u"03022006");
  doc.SetAttributeAt(root, u"Time", u"14:03:09");
  doc.SetAttributeAt(root, u"ApiVersion", u"2.0");
  for (int64_t i = 0; i < tags; ++i) {
    const TagValues v = ValuesOf(i);
    doc.AddChildElement(u"Tag");
    const int32_t at = doc.GetChildPosition();
    char antenna[3];
    std::snprintf(antenna, sizeof antenna, "%02X", v.antenna);
    doc.SetAttributeAt(at, u"ID", Wide(v.id).c_str());
    doc.SetAttributeAt(at, u"SWTT", Wide(v.swtt).c_str());
    doc.SetAttributeAt(at, u"HWTAGTYPE", u"I2");
    doc.SetAttributeAt(at, u"Antenna", Wide(antenna).c_str());
    AddField(doc, u"SWTT", 0, u"Serial", u"Hex", 0, 8, Wide(v.id));
    AddField(doc, u"SWTT", 1, u"Product", u"String", 20, 12, Wide(v.label));
    AddField(doc, u"SWTT", 2, u"Count", u"Int", 32, 2, Number(v.count));
    AddField(doc, u"SWTT", 3, u"Weight", u"Int", 40, 4, Number(v.weight));
    AddField(doc, u"MEM", -1, u"raw", u"Hex", 0, 8, Wide(v.id));
    AddField(doc, u"MEM", -1, u"label", u"String", 20, 12, Wide(v.label));
    doc.SetAttributeAt(at, u"NrFields", 6);
  }
  auto out = std::make_unique<ReadDoc>();
  out->utf16 = doc.GetDoc();
  out->utf8.assign(out->utf16.begin(), out->utf16.end());  // ASCII
  return out;
}

bool WriteFile(const std::string &path, const std::string &text) {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

std::string FieldFile(int64_t tags, const std::string &templates) {
  std::string out = "[reader R1]\nversion = 2.0\nattr.RFID_SWTT_FILE_NAME = " + templates + "\n";
  char buf[256];
  for (int64_t i = 0; i < tags; ++i) {
    const TagValues v = ValuesOf(i);
    std::snprintf(buf, sizeof buf,
                  "[tag t%lld]\nid = %s\nswtt = %s\ntype = I2\nantenna = %d\nmem.0 = %s\ntext.20 = %s\n"
                  "mem.32 = %02X %02X\nmem.40 = %02X %02X %02X %02X\n",
                  static_cast<long long>(i), v.id, v.swtt, v.antenna, v.id, v.label, v.count & 255,
                  (v.count >> 8) & 255, v.weight & 255, (v.weight >> 8) & 255, (v.weight >> 16) & 255,
                  (v.weight >> 24) & 255);
    out += buf;
  }
  return out;
}

// traced: the reader's driver calls are traced, through a driver
// configuration naming it, into a file beside its tag field.
std::unique_ptr<Reader> OpenReader(int64_t tags, bool traced) {
  BenchField files = WriteField(tags);
  const std::string dir = files.dir, templates = files.templates, field = files.field;
  auto reader = std::make_unique<Reader>();
  const std::string config = std::string(dir) + "/tagdrv.ini";
  if (traced) {
    reader->traceFile = std::string(dir) + "/bench.trace";
    if (!WriteFile(config, "[reader R1]\ntrace = " + reader->traceFile + "\n"))
      throw std::runtime_error("cannot write the driver configuration");
    setenv("TAGDRV_CONFIG", config.c_str(), 1);
  }
  VOLNEDA_StartAll(&reader->handle, u"");
  StartDispatcher(reader->handle);
  const int32_t rc = VOLNEDA_Open(reader->handle, u"R1");
  unsetenv("TAGDRV_CONFIG");
  // The driver and the template loader have read their files.
  std::remove(field.c_str());
  std::remove(templates.c_str());
  std::remove(config.c_str());
  if (!traced) rmdir(dir.c_str());
  if (rc != 0) throw std::runtime_error("the simulated reader did not open");
  reader->context = ToContext(reader->handle);
  if (ParseCommand(kReadCommand, &reader->request) != 0) throw std::runtime_error("bad read command");
  return reader;
}

std::atomic<int64_t> driverNanoseconds{0};

// The calling thread's CPU time, the clock the table reads the other
// figures by.
int64_t Now() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

}  // namespace

BenchField WriteField(int64_t tags) {
  char dir[] = "/tmp/volneda_bench_XXXXXX";
  if (!mkdtemp(dir)) throw std::runtime_error("no temporary directory");
  BenchField files{dir, std::string(dir) + "/SWTT.INI", std::string(dir) + "/tagfield.ini"};
  if (!WriteFile(files.templates, kTemplates) || !WriteFile(files.field, FieldFile(tags, files.templates)))
    throw std::runtime_error("cannot write the bench files");
  TagdrvSetFieldFile(files.field.c_str());
  return files;
}

const ReadDoc &ReadDocument(int64_t tags) {
  static std::map<int64_t, std::unique_ptr<ReadDoc>> made;
  auto &slot = made[tags];
  if (!slot) slot = MakeReadDoc(tags);
  return *slot;
}

namespace {
std::map<int64_t, std::unique_ptr<Reader>> &OpenReaders() {
  static std::map<int64_t, std::unique_ptr<Reader>> opened;
  return opened;
}
}  // namespace

Reader &ReaderWithTags(int64_t tags) {
  auto &slot = OpenReaders()[tags];
  if (!slot) slot = OpenReader(tags, false);
  return *slot;
}

// Kept apart from the others by a negative key.
Reader &TracedReaderWithTags(int64_t tags) {
  auto &slot = OpenReaders()[-tags];
  if (!slot) slot = OpenReader(tags, true);
  return *slot;
}

void CloseReaders() {
  for (auto &[tags, reader] : OpenReaders()) {
    VOLNEDA_Close(reader->handle);
    StopDispatcher(reader->handle);
    VOLNEDA_StopAll(&reader->handle);
    if (!reader->traceFile.empty()) {
      std::remove(reader->traceFile.c_str());
      rmdir(reader->traceFile.substr(0, reader->traceFile.rfind('/')).c_str());
    }
  }
  OpenReaders().clear();
}

void ResetDriverTime() { driverNanoseconds = 0; }
int64_t DriverTime() { return driverNanoseconds; }

namespace {

struct StringWriter : pugi::xml_writer {
  std::string &out;
  explicit StringWriter(std::string &o) : out(o) {}
  void write(const void *data, size_t size) override { out.append(static_cast<const char *>(data), size); }
};

const char kHex[] = "0123456789ABCDEF";

// The value text of one field, formatted as the library formats it.
const char *Format(char type, int32_t length, const uint8_t *value, size_t room, char *buf) {
  auto at = [&](int32_t k) -> uint8_t { return static_cast<size_t>(k) < room ? value[k] : 0; };
  switch (type) {
    case 'h': {
      char *p = buf;
      for (int32_t k = 0; k < length; ++k) {
        *p++ = kHex[at(k) >> 4];
        *p++ = kHex[at(k) & 15];
      }
      *p = 0;
      return buf;
    }
    case 'i': {
      int32_t n = length == 1   ? static_cast<int8_t>(at(0))
                  : length == 2 ? static_cast<int16_t>(at(0) | at(1) << 8)
                                : static_cast<int32_t>(at(0) | at(1) << 8 | at(2) << 16 | uint32_t(at(3)) << 24);
      std::snprintf(buf, 16, "%d", n);
      return buf;
    }
    default: {
      int32_t k = 0;
      for (; k < length && at(k); ++k) buf[k] = static_cast<char>(at(k));
      buf[k] = 0;
      return buf;
    }
  }
}

}  // namespace

size_t PugixmlBuildRead(ReaderContext *context, const CommandRequest &request, std::string &out) {
  const RfidControl *c = context->control;
  const uint32_t end = c->tagCount < c->tagCapacity ? c->tagCount : c->tagCapacity;
  const auto *version = static_cast<const G4DriverRecord *>(context->driverHandle);
  uint32_t good = 0;
  for (uint32_t t = c->firstTag; t < end; ++t) good += c->tagStatus[t] == 0;
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char date[40], clock[40], api[24], buf[600];
  std::snprintf(date, sizeof date, "%02d%02d%04d", local.tm_mon + 1, local.tm_mday, local.tm_year + 1900);
  std::snprintf(clock, sizeof clock, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
  std::snprintf(api, sizeof api, "%u.%u", version->majorVersion, version->minorVersion);

  pugi::xml_document doc;
  pugi::xml_node root = doc.append_child("ReadTags");
  root.append_attribute("Reader") = context->readerName;
  root.append_attribute("TagCount") = good;
  root.append_attribute("Date") = date;
  root.append_attribute("Time") = clock;
  root.append_attribute("ApiVersion") = api;
  size_t elements = 1;
  // Where the next tag's value starts in each slot.
  size_t offset[TAGDRV_MAX_SLOTS] = {};
  const uint32_t slots = c->slotCount < TAGDRV_MAX_SLOTS ? c->slotCount : TAGDRV_MAX_SLOTS;
  auto value = [&](uint32_t slot, size_t &room) {
    size_t at = offset[slot];
    room = at < TAGDRV_SLOT_DATA_SIZE ? TAGDRV_SLOT_DATA_SIZE - at : 0;
    return c->slotData[slot] + (at < TAGDRV_SLOT_DATA_SIZE ? at : TAGDRV_SLOT_DATA_SIZE);
  };
  for (uint32_t t = 0; t < end; ++t) {
    if (c->tagStatus[t] == 0) {
      const TagInfo *info = c->tagTable[t].info;
      pugi::xml_node tag = root.append_child("Tag");
      ++elements;
      char id[17];
      for (int k = 0; k < 8; ++k) {
        id[2 * k] = kHex[c->tagTable[t].id[k] >> 4];
        id[2 * k + 1] = kHex[c->tagTable[t].id[k] & 15];
      }
      id[16] = 0;
      char swtt[13] = {}, antenna[3] = {kHex[info->antenna >> 4], kHex[info->antenna & 15], 0};
      for (int k = 0; k < 12 && info->swtt[k]; ++k)
        swtt[k] = info->swtt[k] >= 'a' && info->swtt[k] <= 'z' ? static_cast<char>(info->swtt[k] - 32) : info->swtt[k];
      tag.append_attribute("ID") = id;
      tag.append_attribute("SWTT") = swtt;
      tag.append_attribute("HWTAGTYPE") = info->tagType;
      tag.append_attribute("Antenna") = antenna;
      const int32_t i = SwttFind(context, swtt);
      int fields = 0;
      for (int32_t k = 0; i >= 0 && k < request.swttCount; ++k) {
        const uint32_t slot = request.memCount + static_cast<uint32_t>(k);
        const SwttTemplate &tp = context->templates[i];
        const SwttField &f = tp.fields[request.swttFields[k]];
        size_t room;
        const uint8_t *v = value(slot, room);
        pugi::xml_node field = tag.append_child("Field");
        const char *text = Format(f.dataType, f.dataLen, v, room, buf);
        if (*text) field.append_child(pugi::node_pcdata).set_value(text);
        field.append_attribute("Type") = "SWTT";
        field.append_attribute("EntryNr") = request.swttFields[k];
        field.append_attribute("SWTTmask") = tp.mask;
        field.append_attribute("Name") = f.name;
        field.append_attribute("DataType") = TypeName(f.dataType);
        field.append_attribute("DataStart") = f.dataStart;
        field.append_attribute("DataLen") = f.dataLen;
        field.append_attribute("FieldStatus") = c->fieldStatus[slot][t];
        ++fields;
      }
      for (uint32_t m = 0; m < request.memCount; ++m) {
        const MemField &mf = request.memFields[m];
        size_t room;
        const uint8_t *v = value(m, room);
        pugi::xml_node field = tag.append_child("Field");
        const char *text = Format(mf.type, mf.length, v, room, buf);
        if (*text) field.append_child(pugi::node_pcdata).set_value(text);
        field.append_attribute("Type") = "MEM";
        field.append_attribute("Name") = mf.name;
        field.append_attribute("DataType") = TypeName(mf.type);
        field.append_attribute("DataStart") = mf.start;
        field.append_attribute("DataLen") = mf.length;
        ++fields;
      }
      tag.append_attribute("NrFields") = fields;
      elements += static_cast<size_t>(fields);
    }
    for (uint32_t s = 0; s < slots; ++s) {
      const SlotDescriptor &d = c->slotDesc[s][t];
      offset[s] += d.length >= 0 ? static_cast<size_t>(d.length) + 1 : 0;
    }
  }
  out.clear();
  StringWriter writer(out);
  doc.save(writer, "", pugi::format_indent | pugi::format_no_declaration, pugi::encoding_utf8);
  return elements;
}

}  // namespace bench

// The driver's identify and read, timed: what a command spends in them is
// driver time, the rest is the library's.
extern "C" {
int32_t __real_G4Identify(G4HANDLE handle, RfidControl *control);
int32_t __real_G4Read(G4HANDLE handle, RfidControl *control);

int32_t __wrap_G4Identify(G4HANDLE handle, RfidControl *control) {
  const int64_t start = bench::Now();
  const int32_t rc = __real_G4Identify(handle, control);
  bench::driverNanoseconds += bench::Now() - start;
  return rc;
}

int32_t __wrap_G4Read(G4HANDLE handle, RfidControl *control) {
  const int64_t start = bench::Now();
  const int32_t rc = __real_G4Read(handle, control);
  bench::driverNanoseconds += bench::Now() - start;
  return rc;
}
}
