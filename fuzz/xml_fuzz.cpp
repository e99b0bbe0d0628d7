// XML documents: XMLreader_OpenDoc on the input's text, then a walk and
// edits through every XMLreader function, driven by the input's remaining
// bytes, with copy buffers of 0, 1, 2, a few and the document's size.
#include <fuzzer/FuzzedDataProvider.h>

#include <iterator>

#include "fuzz_support.h"

namespace {

using fuzz::Buffer;
using fuzz::Terminated;

const char16_t *const kNames[] = {u"Tag",  u"ID",      u"Field", u"ReadTags", u"IdentifyTags", u"WriteTags",
                                  u"SWTT", u"EntryNr", u"Type",  u"a",        u""};

// What a walk sees of the current child: the start of its data and its ID.
std::u16string Seen(XMLREADER_HANDLE doc) {
  auto data = Buffer(256), id = Buffer(256);
  XMLreader_GetChildData(doc, data.get(), 256);
  id[0] = 0;
  XMLreader_GetChildAttribute(doc, W(u"ID"), id.get(), 256);
  return U(data.get()) + u'|' + U(id.get());
}

// An edited document and the same text parsed afresh have the same tree:
// the same children everywhere, with the same data and IDs.
void SameTree(XMLREADER_HANDLE edited, XMLREADER_HANDLE parsed) {
  for (;;) {
    const bool more = XMLreader_FindChildElement(edited, nullptr);
    FUZZ_CHECK(more == (XMLreader_FindChildElement(parsed, nullptr) != 0));
    if (!more) return;
    FUZZ_CHECK(Seen(edited) == Seen(parsed));
    XMLreader_StepIntoElement(edited);
    XMLreader_StepIntoElement(parsed);
    SameTree(edited, parsed);
    XMLreader_StepOutOfElement(edited);
    XMLreader_StepOutOfElement(parsed);
  }
}

struct Walk {
  FuzzedDataProvider &in;
  XMLREADER_HANDLE doc;
  std::u16string own = fuzz::Latin1(in.ConsumeRandomLengthString(16));

  // A name of the result documents, one from the input, or null.
  const VOLNEDA_WCHAR *Name() {
    size_t i = in.ConsumeIntegralInRange<size_t>(0, std::size(kNames) + 1);
    if (i == std::size(kNames)) return W(own);
    return i > std::size(kNames) ? nullptr : W(kNames[i]);
  }
  int32_t Size() {
    switch (in.ConsumeIntegralInRange(0, 3)) {
      case 0: return in.ConsumeIntegralInRange(0, 2);
      case 1: return in.ConsumeIntegralInRange(3, 40);
      case 2: return GetCurrentDocLen(doc);
      default: return GetCurrentDocLen(doc) + 1;
    }
  }
  std::u16string text{};
  const VOLNEDA_WCHAR *Text() {
    if (in.ConsumeBool()) return nullptr;
    text = fuzz::Latin1(in.ConsumeRandomLengthString(64));
    return W(text);
  }

  // Copy-out: at most size - 1 units, NULs up to size - 1, terminated.
  template <typename Copy>
  void Padded(Copy copy) {
    const int32_t size = Size();
    auto buf = Buffer(size);
    bool wrote = copy(buf.get(), size);
    if (size == 0) return;
    if (wrote) FUZZ_CHECK(buf[size - 1] == 0);
    else FUZZ_CHECK(buf[0] == static_cast<VOLNEDA_WCHAR>(0xFFFF));  // left untouched
  }

  void Step() {
    switch (in.ConsumeIntegralInRange(0, 17)) {
      case 0: XMLreader_GetElement(doc); break;
      case 1: XMLreader_FindTag(doc, Name()); break;
      case 2: XMLreader_FindChildElement(doc, Name()); break;
      case 3: Padded([&](VOLNEDA_WCHAR *b, int32_t n) { return XMLreader_GetAttribute(doc, Name(), b, n), true; }); break;
      case 4: Padded([&](VOLNEDA_WCHAR *b, int32_t n) { return XMLreader_GetChildAttribute(doc, Name(), b, n) != 0; }); break;
      case 5: Padded([&](VOLNEDA_WCHAR *b, int32_t n) { return XMLreader_GetChildData(doc, b, n), true; }); break;
      case 6: XMLreader_Push(doc); break;
      case 7: XMLreader_Pop(doc); break;
      case 8: XMLreader_Rewind(doc); break;
      case 9: XMLreader_StepIntoElement(doc); break;
      case 10: XMLreader_StepOutOfElement(doc); break;
      case 11: XMLreader_WriteXMLHeader(doc); break;
      case 12: XMLreader_WriteXMLAddTag(doc, Text()); break;
      case 13: XMLreader_WriteXMLAddSWTTFieldInfo(doc, in.ConsumeIntegral<int32_t>(), Text()); break;
      case 14: {
        const int32_t types[] = {104, 105, 115, in.ConsumeIntegral<int32_t>()};
        const int32_t start = in.ConsumeIntegral<int32_t>(), length = in.ConsumeIntegral<int32_t>();
        XMLreader_WriteXMLAddMEMFieldInfo(doc, start, length, types[in.ConsumeIntegralInRange(0, 3)], Text());
        break;
      }
      case 15: {
        const int32_t length = GetCurrentDocLen(doc), size = Size();
        auto buf = Buffer(size);
        GetCurrentDoc(doc, buf.get(), size);
        // As wcsncpy: the text, then zeros up to size; no terminator when
        // the text fills the buffer.
        if (size > length)
          FUZZ_CHECK(Terminated(buf.get(), size) == length &&
                     std::all_of(buf.get() + length, buf.get() + size, [](VOLNEDA_WCHAR c) { return c == 0; }));
        else
          FUZZ_CHECK(Terminated(buf.get(), size) == -1 &&
                     std::none_of(buf.get(), buf.get() + size, [](VOLNEDA_WCHAR c) { return c == 0xFFFF; }));
        break;
      }
      case 16: {
        // The edited text parsed afresh has the tree the edits built; the
        // walk goes on in the new document.
        const int32_t size = GetCurrentDocLen(doc) + 1;
        auto buf = Buffer(size);
        GetCurrentDoc(doc, buf.get(), size);
        XMLREADER_HANDLE parsed = nullptr;
        XMLreader_OpenDoc(&parsed, buf.get());
        FUZZ_CHECK(GetCurrentDocLen(parsed) == size - 1);
        XMLreader_Rewind(doc);
        FUZZ_CHECK(XMLreader_GetElement(doc) == XMLreader_GetElement(parsed));
        SameTree(doc, parsed);
        XMLreader_CloseDoc(doc);
        doc = parsed;
        break;
      }
      default: {
        XMLREADER_HANDLE other = nullptr;  // a second handle, of its own
        XMLreader_OpenDoc(&other, Text());
        XMLreader_CloseDoc(other);
        break;
      }
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzedDataProvider in(data, size);
  std::u16string text = fuzz::Latin1(in.ConsumeRandomLengthString(size));
  XMLREADER_HANDLE doc = nullptr;
  XMLreader_OpenDoc(&doc, text.empty() && in.ConsumeBool() ? nullptr : W(text));
  FUZZ_CHECK(doc != nullptr);
  Walk walk{in, doc};
  for (int steps = 0; steps < 256 && in.remaining_bytes() > 0; ++steps) walk.Step();
  XMLreader_CloseDoc(walk.doc);
  return 0;
}
