#include "result_doc.h"

#include <cstdlib>

#include "text.h"
#include "volneda.h"

namespace cli {
namespace {

// Attribute values are at most 513 characters; a value of 256 bytes of tag
// memory in hexadecimal is 512.
constexpr int32_t kBuffer = 1024;

class Walker {
 public:
  explicit Walker(const std::string &xml) {
    std::u16string text = Utf8To16(xml);
    XMLreader_OpenDoc(&doc_, Api(text));
  }
  ~Walker() {
    if (doc_) XMLreader_CloseDoc(doc_);
  }
  Walker(const Walker &) = delete;
  Walker &operator=(const Walker &) = delete;

  XMLREADER_HANDLE doc() const { return doc_; }
  std::string RootAttribute(const char *name) {
    VOLNEDA_WCHAR buffer[kBuffer] = {};
    XMLreader_GetAttribute(doc_, Api(Utf8To16(name)), buffer, kBuffer);
    return FromApi(buffer, kBuffer);
  }
  std::string Attribute(const char *name) {
    VOLNEDA_WCHAR buffer[kBuffer] = {};
    if (!XMLreader_GetChildAttribute(doc_, Api(Utf8To16(name)), buffer, kBuffer)) return std::string();
    return FromApi(buffer, kBuffer);
  }
  std::optional<int32_t> Number(const char *name) {
    std::string t = Attribute(name);
    if (t.empty()) return std::nullopt;
    return static_cast<int32_t>(std::strtol(t.c_str(), nullptr, 10));
  }
  std::string Data() {
    VOLNEDA_WCHAR buffer[kBuffer] = {};
    XMLreader_GetChildData(doc_, buffer, kBuffer);
    return FromApi(buffer, kBuffer);
  }
  bool Next(const char *name) { return XMLreader_FindChildElement(doc_, Api(Utf8To16(name))); }

 private:
  XMLREADER_HANDLE doc_ = nullptr;
};

}  // namespace

bool ParseResultDoc(const std::string &xml, ResultDoc &doc) {
  doc = ResultDoc();
  Walker w(xml);
  if (!w.doc()) return false;
  int32_t kind = XMLreader_GetElement(w.doc());
  if (kind != ResultDoc::kIdentify && kind != ResultDoc::kRead) return false;
  doc.kind = static_cast<ResultDoc::Kind>(kind);
  doc.reader = w.RootAttribute("Reader");
  doc.tagCount = static_cast<int32_t>(std::strtol(w.RootAttribute("TagCount").c_str(), nullptr, 10));
  doc.date = w.RootAttribute("Date");
  doc.time = w.RootAttribute("Time");
  doc.apiVersion = w.RootAttribute("ApiVersion");
  while (w.Next("Tag")) {
    DocTag tag;
    tag.id = w.Attribute("ID");
    tag.swtt = w.Attribute("SWTT");
    tag.hwTagType = w.Attribute("HWTAGTYPE");
    tag.antenna = w.Attribute("Antenna");
    if (XMLreader_StepIntoElement(w.doc())) {
      while (w.Next("Field")) {
        DocField f;
        f.type = w.Attribute("Type");
        f.entryNr = w.Number("EntryNr");
        f.swttMask = w.Attribute("SWTTmask");
        f.name = w.Attribute("Name");
        f.dataType = w.Attribute("DataType");
        f.dataStart = w.Number("DataStart");
        f.dataLen = w.Number("DataLen");
        f.fieldStatus = w.Number("FieldStatus");
        f.warning = w.Attribute("Warning");
        f.value = w.Data();
        tag.fields.push_back(std::move(f));
      }
      XMLreader_StepOutOfElement(w.doc());
    }
    doc.tags.push_back(std::move(tag));
  }
  return true;
}

std::string IsoDate(const std::string &d) {
  if (d.size() != 8 || d.find_first_not_of("0123456789") != std::string::npos) return d;
  return d.substr(4, 4) + "-" + d.substr(0, 2) + "-" + d.substr(2, 2);
}

}  // namespace cli
