// Taking in and checking a WriteTags request.
#include "tagdata/write_request.h"

#include "api/dispatcher.h"
#include "platform/platform.h"
#include "tagdata/codec.h"

namespace {

constexpr int32_t kErrFileUnreadable = -3000;
constexpr int32_t kErrNoDocument = -3002;
constexpr int32_t kErrNotWriteTags = -3003;
constexpr int32_t kErrIdLength = -3004;
constexpr int32_t kErrSwttLength = -3005;
constexpr int32_t kErrUnknownElement = -3006;
constexpr int32_t kErrSwttEmpty = -3007;
constexpr int32_t kErrEntryNrMissing = -3008;
constexpr int32_t kErrEntryNrRange = -3009;
constexpr int32_t kErrLocked = -3010;
constexpr int32_t kErrSwttDigits = -3011;
constexpr int32_t kErrIdDigits = -3012;
constexpr int32_t kErrValueEmpty = -3013;
constexpr int32_t kErrMemStartMissing = -3014;

bool LockedOk(const std::u16string &value) {
  if (value.empty()) return true;
  std::u16string up = value;
  for (char16_t &c : up)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
  return up == u"TRUE" || up == u"FALSE";
}

int32_t CheckTagChild(XMLDoc &doc) {
  switch (ElementKind(doc.GetChildTagName())) {
    case kElemSwtt: {
      std::u16string text = doc.GetChildData();
      if (text.empty()) return kErrSwttEmpty;
      if (text.size() != 12) return kErrSwttLength;
      if (!IsHexText(text)) return kErrSwttDigits;
      return 0;
    }
    case kElemSwttField: {
      std::u16string entry = doc.GetChildAttribute(u"EntryNr");
      if (entry.empty()) return kErrEntryNrMissing;
      int32_t n = DecimalValue(entry);
      if (n < 0 || n > 15) return kErrEntryNrRange;
      if (!LockedOk(doc.GetChildAttribute(u"Locked"))) return kErrLocked;
      if (doc.GetChildData().empty()) return kErrValueEmpty;
      return 0;
    }
    case kElemMemField:
      if (doc.GetChildAttribute(u"MemStart").empty()) return kErrMemStartMissing;
      if (!LockedOk(doc.GetChildAttribute(u"Locked"))) return kErrLocked;
      return 0;
    case kElemDtField:
      return 0;
    default:
      return kErrUnknownElement;
  }
}

int32_t CheckTag(XMLDoc &doc) {
  std::u16string id = doc.GetChildAttribute(u"ID");
  if (!id.empty()) {
    if (id.size() != 16) return kErrIdLength;
    if (!IsHexText(id)) return kErrIdDigits;
  }
  std::u16string swtt = doc.GetChildAttribute(u"SWTT");
  if (!swtt.empty()) {
    if (swtt.size() > 12) return kErrSwttLength;
    if (!IsHexText(swtt)) return kErrSwttDigits;
  }
  doc.StepIntoElement();
  int32_t rc = 0;
  while (rc == 0 && doc.FindChildElement()) rc = CheckTagChild(doc);
  doc.StepOutOfElement();
  return rc;
}

}  // namespace

int32_t ElementKind(const std::u16string &name) {
  if (name == u"SWTT") return kElemSwtt;
  if (name == u"SWTTField") return kElemSwttField;
  if (name == u"MEMField") return kElemMemField;
  if (name == u"DTField") return kElemDtField;
  return kElemOther;
}

int32_t LoadDocFile(const std::u16string &fileName, XMLDoc &doc) {
  std::string bytes;
  if (!plat::ReadWholeFileW(fileName, bytes)) return kErrFileUnreadable;
  // The text ends at the first zero byte, as a terminated text does.
  size_t nul = bytes.find('\0');
  if (nul != std::string::npos) bytes.resize(nul);
  // Editors put a byte-order mark in front of UTF-8; it is not part of the
  // document, and leaving it would shift every offset in parse messages.
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
  std::u16string text = plat::Utf8ToWide(bytes);
  std::u16string crlf;
  crlf.reserve(text.size() + text.size() / 16);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r')) crlf.push_back(u'\r');
    crlf.push_back(text[i]);
  }
  if (!doc.SetDoc(crlf) || !doc.IsWellFormed()) return kErrNoDocument;
  return 0;
}

int32_t ValidateWriteDoc(XMLDoc &doc) {
  doc.Rewind();
  if (!doc.FindElement()) return kErrNoDocument;
  if (doc.GetTagName() != u"WriteTags") return kErrNotWriteTags;
  while (doc.FindChildElement()) {
    if (doc.GetChildTagName() != u"Tag") continue;
    if (int32_t rc = CheckTag(doc)) return rc;
  }
  return 0;
}

int32_t TakeInWriteDoc(ReaderContext *context, const std::u16string &request, XMLDoc &doc) {
  if (!request.empty() && request[0] == u'@') {
    if (int32_t rc = LoadDocFile(request.substr(1), doc)) return rc;
  } else if (!doc.SetDoc(request) || !doc.IsWellFormed()) {
    Post(context, kLevelError, kSrcWriteDocCheck, kErrNoDocument, u"XML doc error");
    return kErrNoDocument;
  }
  doc.SavePosition(u"");
  int32_t rc = ValidateWriteDoc(doc);
  doc.RestorePosition(u"");
  if (rc != 0) {
    Post(context, kLevelError, kSrcWriteDocCheck, rc, u"XML doc error");
    return rc;
  }
  Post(context, kLevelInfo, kSrcWriteDocCheck, 0, u"XML document passed test");
  return 0;
}
