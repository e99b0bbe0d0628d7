// xmldoc.cpp -- the document object and its element table.
#include "xml/xmldoc.h"

#include <cstring>

#include "xml/scan.h"

XMLDoc::XMLDoc() { SetDoc(); }

XMLDoc::XMLDoc(const char16_t *text) { SetDoc(text); }

XMLDoc::XMLDoc(std::u16string_view text) { SetDoc(text); }

XMLDoc::~XMLDoc() {
  ClearSavedPositions();
  if (segments_) {
    int32_t used = capacity_ > 0 ? ((capacity_ - 1) >> 16) + 1 : 0;
    for (int32_t i = 0; i < used; ++i) delete[] segments_[i];
    delete[] segments_;
  }
}

bool XMLDoc::SetDoc(const char16_t *text) {
  if (text) doc_.assign(text, xmlscan::TextLength(text));
  else doc_.clear();
  error_.clear();
  return ParseDoc();
}

bool XMLDoc::SetDoc(std::u16string_view text) {
  doc_.assign(text);
  error_.clear();
  return ParseDoc();
}

bool XMLDoc::IsWellFormed() const { return segments_ && capacity_ > 0 && Rec(0).firstChild != 0; }

// The table grows by at most one segment per call, so that a huge request
// never allocates more than 2 MiB at once; every segment but the last is
// kept full.  New records are not cleared: every field is written when a
// record is taken into use, and a parse reserves far more than it fills.
bool XMLDoc::ReserveElements(int32_t size) {
  if (size == 0) size = nextFree_ + nextFree_ / 2;
  if (capacity_ >= size) return true;
  int32_t lastSegment = capacity_ > 0 ? (capacity_ - 1) >> 16 : 0;
  int32_t newSegment = (size - 1) >> 16;
  if (newSegment > lastSegment + 1) {
    newSegment = lastSegment + 1;
    size = (newSegment + 1) * kElementSegmentSize;
  }
  if (segmentSlots_ <= newSegment) {
    int32_t slots = 2 * newSegment + 4;
    auto **fresh = new ElementRecord *[slots]();
    int32_t used = capacity_ > 0 ? ((capacity_ - 1) >> 16) + 1 : 0;
    for (int32_t i = 0; i < used; ++i) fresh[i] = segments_[i];
    delete[] segments_;
    segments_ = fresh;
    segmentSlots_ = slots;
  }
  int32_t kept = capacity_ - lastSegment * kElementSegmentSize;
  if (newSegment > lastSegment && kept < kElementSegmentSize) {
    auto *full = new ElementRecord[kElementSegmentSize];
    if (segments_[lastSegment] && kept > 0)
      std::memcpy(full, segments_[lastSegment], sizeof(ElementRecord) * static_cast<size_t>(kept));
    delete[] segments_[lastSegment];
    segments_[lastSegment] = full;
  }
  int32_t count = size - newSegment * kElementSegmentSize;
  auto *segment = new ElementRecord[static_cast<size_t>(count)];
  if (newSegment == lastSegment) {
    if (segments_[lastSegment] && kept > 0)
      std::memcpy(segment, segments_[lastSegment], sizeof(ElementRecord) * static_cast<size_t>(kept));
    delete[] segments_[lastSegment];
  }
  segments_[newSegment] = segment;
  capacity_ = size;
  return true;
}

bool XMLDoc::ParseDoc() {
  Edited();
  readNames_.clear();
  Rewind();
  fresh_.index = 0;
  ClearSavedPositions();
  positionStack_.clear();
  nextFree_ = 1;
  ReserveElements(static_cast<int32_t>(doc_.size() / 64) + 8);
  error_.clear();
  bool ok = false;
  if (!doc_.empty()) {
    Rec(0) = ElementRecord{};
    TokenSpan token;
    token.text = &doc_;
    int32_t root = ParseElements(0, token);
    if (root > 0) {
      Rec(0).firstChild = root;
      Rec(0).length = static_cast<int32_t>(doc_.size());
      ok = true;
    }
  }
  if (!ok) {
    // Records of a failed attempt stay allocated but are unreachable.
    Rec(0) = ElementRecord{};
    nextFree_ = 1;
  }
  Rewind();
  return ok;
}
