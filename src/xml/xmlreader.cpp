// xmlreader.cpp -- the exported flat interface over XMLDoc.  A handle is the
// address of a cell holding the document; each handle owns its document,
// position and saved positions.
#include <algorithm>
#include <cstring>
#include <new>

#include "volneda.h"
#include "xml/scan.h"
#include "xml/xmldoc.h"

namespace {

XMLDoc *Doc(XMLREADER_HANDLE handle) { return handle ? *static_cast<XMLDoc **>(handle) : nullptr; }

const char16_t *In(const VOLNEDA_WCHAR *text) { return reinterpret_cast<const char16_t *>(text); }

// At most size - 1 units of the value, NULs up to size - 1, then the
// terminator: the buffer is always terminated within its size.
void CopyPadded(std::u16string_view value, VOLNEDA_WCHAR *buffer, int32_t size) {
  if (!buffer || size <= 0) return;
  size_t room = static_cast<size_t>(size) - 1;
  size_t count = value.size() < room ? value.size() : room;
  static_assert(sizeof(VOLNEDA_WCHAR) == sizeof(char16_t), "UTF-16 units");
  xmlscan::CopyPadded(reinterpret_cast<char16_t *>(buffer), value.data(), count, room + 1);
}

const char16_t *MemTypeName(int32_t code) {
  switch (code) {
    case 104: return u"Hex";
    case 105: return u"Int";
    default: return u"String";  // 115, and every code without a name of its own
  }
}

// Adds one field element under the current Tag; the position comes back to
// the Tag as the current child whatever happened on the way.
template <typename SetAttributes>
VOLNEDA_BOOL AddField(XMLDoc &doc, const char16_t *element, SetAttributes setAttributes, const char16_t *data) {
  doc.StepIntoElement();
  if (doc.AddChildElement(element)) {
    setAttributes(doc, doc.GetChildPosition());
    doc.SetDataAt(doc.GetChildPosition(), data, false);
  }
  return doc.StepOutOfElement() ? 1 : 0;
}

}  // namespace

extern "C" {

VOLNEDA_API void VOLNEDA_CALL XMLreader_OpenDoc(XMLREADER_HANDLE *handleOut, const VOLNEDA_WCHAR *text) {
  if (!handleOut) return;
  *handleOut = nullptr;
  try {
    auto *cell = new (std::nothrow) XMLDoc *(nullptr);
    if (!cell) return;
    try {
      *cell = new XMLDoc(In(text));
    } catch (...) {
      *cell = nullptr;
    }
    *handleOut = cell;
  } catch (...) {
  }
}

VOLNEDA_API void VOLNEDA_CALL XMLreader_CloseDoc(XMLREADER_HANDLE handle) {
  if (!handle) return;
  auto *cell = static_cast<XMLDoc **>(handle);
  delete *cell;
  delete cell;
}

VOLNEDA_API int32_t VOLNEDA_CALL XMLreader_GetElement(XMLREADER_HANDLE handle) {
  try {
    XMLDoc *doc = Doc(handle);
    if (!doc || !doc->FindElement(nullptr)) return 0;
    if (doc->TagNameIs(doc->GetMainPosition(), u"IdentifyTags")) return 1;
    if (doc->TagNameIs(doc->GetMainPosition(), u"ReadTags")) return 2;
  } catch (...) {
  }
  return 0;
}

VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL XMLreader_FindTag(XMLREADER_HANDLE handle, const VOLNEDA_WCHAR *id) {
  try {
    XMLDoc *doc = Doc(handle);
    if (!doc) return 0;
    std::u16string_view wanted = id ? std::u16string_view(In(id)) : std::u16string_view();
    std::u16string scratch;
    while (doc->FindChildElement(u"Tag"))
      if (doc->AttributeView(doc->GetChildPosition(), u"ID", scratch) == wanted) return 1;
  } catch (...) {
  }
  return 0;
}

VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL XMLreader_FindChildElement(XMLREADER_HANDLE handle, const VOLNEDA_WCHAR *name) {
  try {
    XMLDoc *doc = Doc(handle);
    if (!doc) return 0;
    return doc->FindChildNamed(In(name)) ? 1 : 0;
  } catch (...) {
  }
  return 0;
}

VOLNEDA_API void VOLNEDA_CALL XMLreader_GetAttribute(XMLREADER_HANDLE handle, const VOLNEDA_WCHAR *name,
                                                     VOLNEDA_WCHAR *buffer, int32_t size) {
  try {
    XMLDoc *doc = Doc(handle);
    std::u16string scratch;
    CopyPadded(doc ? doc->AttributeView(doc->GetMainPosition(), In(name), scratch) : std::u16string_view(), buffer,
               size);
  } catch (...) {
  }
}

VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL XMLreader_GetChildAttribute(XMLREADER_HANDLE handle, const VOLNEDA_WCHAR *name,
                                                                  VOLNEDA_WCHAR *buffer, int32_t size) {
  try {
    XMLDoc *doc = Doc(handle);
    if (!doc) return 0;
    std::u16string_view value = doc->ChildAttributeView(In(name), doc->ReadScratch());
    if (value.empty()) return 0;
    CopyPadded(value, buffer, size);
    return 1;
  } catch (...) {
  }
  return 0;
}

VOLNEDA_API void VOLNEDA_CALL XMLreader_GetChildData(XMLREADER_HANDLE handle, VOLNEDA_WCHAR *buffer, int32_t size) {
  try {
    XMLDoc *doc = Doc(handle);
    CopyPadded(doc ? doc->ChildDataView(doc->ReadScratch()) : std::u16string_view(), buffer, size);
  } catch (...) {
  }
}

VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL XMLreader_Push(XMLREADER_HANDLE handle) {
  try {
    XMLDoc *doc = Doc(handle);
    if (!doc) return 0;
    doc->PushPosition();
    return 1;
  } catch (...) {
  }
  return 0;
}

VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL XMLreader_Pop(XMLREADER_HANDLE handle) {
  try {
    XMLDoc *doc = Doc(handle);
    return doc && doc->PopPosition() ? 1 : 0;
  } catch (...) {
  }
  return 0;
}

VOLNEDA_API void VOLNEDA_CALL XMLreader_Rewind(XMLREADER_HANDLE handle) {
  if (XMLDoc *doc = Doc(handle)) doc->Rewind();
}

VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL XMLreader_StepIntoElement(XMLREADER_HANDLE handle) {
  XMLDoc *doc = Doc(handle);
  return doc && doc->StepIntoElement() ? 1 : 0;
}

VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL XMLreader_StepOutOfElement(XMLREADER_HANDLE handle) {
  XMLDoc *doc = Doc(handle);
  return doc && doc->StepOutOfElement() ? 1 : 0;
}

VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL XMLreader_WriteXMLHeader(XMLREADER_HANDLE handle) {
  try {
    XMLDoc *doc = Doc(handle);
    if (!doc) return 0;
    doc->SetDoc();
    return doc->AddElement(u"WriteTags") ? 1 : 0;
  } catch (...) {
  }
  return 0;
}

VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL XMLreader_WriteXMLAddTag(XMLREADER_HANDLE handle, const VOLNEDA_WCHAR *id) {
  try {
    XMLDoc *doc = Doc(handle);
    if (!doc) return 0;
    doc->AddChildElement(u"Tag");
    return doc->SetAttributeAt(doc->GetChildPosition(), u"ID", In(id)) ? 1 : 0;
  } catch (...) {
  }
  return 0;
}

VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL XMLreader_WriteXMLAddSWTTFieldInfo(XMLREADER_HANDLE handle, int32_t entry,
                                                                         const VOLNEDA_WCHAR *data) {
  try {
    XMLDoc *doc = Doc(handle);
    if (!doc) return 0;
    return AddField(
        *doc, u"SWTTField", [&](XMLDoc &d, int32_t at) { d.SetAttributeAt(at, u"EntryNr", entry); }, In(data));
  } catch (...) {
  }
  return 0;
}

VOLNEDA_API VOLNEDA_BOOL VOLNEDA_CALL XMLreader_WriteXMLAddMEMFieldInfo(XMLREADER_HANDLE handle, int32_t memStart,
                                                                        int32_t memLength, int32_t memType,
                                                                        const VOLNEDA_WCHAR *data) {
  try {
    XMLDoc *doc = Doc(handle);
    if (!doc) return 0;
    return AddField(
        *doc, u"MEMField",
        [&](XMLDoc &d, int32_t at) {
          d.SetAttributeAt(at, u"MemStart", memStart);
          d.SetAttributeAt(at, u"MemLen", memLength);
          d.SetAttributeAt(at, u"MemType", MemTypeName(memType));
        },
        In(data));
  } catch (...) {
  }
  return 0;
}

VOLNEDA_API int32_t VOLNEDA_CALL GetCurrentDocLen(XMLREADER_HANDLE handle) {
  XMLDoc *doc = Doc(handle);
  return doc ? static_cast<int32_t>(doc->GetDoc().size()) : 0;
}

// Copied as wcsncpy copies: the text, then NULs up to size characters in
// all.  A size of GetCurrentDocLen gives the whole text and no terminator;
// GetCurrentDocLen + 1 gives the text and its terminator.
VOLNEDA_API void VOLNEDA_CALL GetCurrentDoc(XMLREADER_HANDLE handle, VOLNEDA_WCHAR *buffer, int32_t size) {
  if (!buffer || size <= 0) return;
  XMLDoc *doc = Doc(handle);
  const std::u16string empty;
  const std::u16string &text = doc ? doc->GetDoc() : empty;
  const size_t room = static_cast<size_t>(size);
  const size_t count = text.size() < room ? text.size() : room;
  for (size_t i = 0; i < count; ++i) buffer[i] = static_cast<VOLNEDA_WCHAR>(text[i]);
  for (size_t i = count; i < room; ++i) buffer[i] = 0;
}

}  // extern "C"
