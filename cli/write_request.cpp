#include "write_request.h"

#include "text.h"
#include "volneda.h"

namespace cli {

std::string WriteRequest(const std::string &tagId, const std::vector<WriteItem> &items) {
  XMLREADER_HANDLE doc = nullptr;
  XMLreader_OpenDoc(&doc, nullptr);
  if (!doc) return std::string();
  XMLreader_WriteXMLHeader(doc);
  XMLreader_WriteXMLAddTag(doc, Api(Utf8To16(tagId)));
  for (const WriteItem &w : items) {
    std::u16string value = Utf8To16(w.value);
    if (w.kind == WriteItem::kTemplateField)
      XMLreader_WriteXMLAddSWTTFieldInfo(doc, w.entryNr, Api(value));
    else
      XMLreader_WriteXMLAddMEMFieldInfo(doc, w.start, w.length, static_cast<unsigned char>(w.type), Api(value));
  }
  int32_t length = GetCurrentDocLen(doc);
  std::vector<VOLNEDA_WCHAR> text(static_cast<size_t>(length > 0 ? length : 0) + 1);
  GetCurrentDoc(doc, text.data(), static_cast<int32_t>(text.size()));
  XMLreader_CloseDoc(doc);
  return FromApi(text.data(), text.size());
}

}  // namespace cli
