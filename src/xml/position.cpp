// position.cpp -- positions saved by name, and the push/pop stack.
#include "xml/xmldoc.h"

namespace {

constexpr int kBuckets = 7;
constexpr uint32_t kSavedMain = 1, kSavedChild = 2, kSavedInUse = 4, kSavedLast = 8;

}  // namespace

void XMLDoc::ClearSavedPositions() {
  delete[] savedPositions_;
  savedPositions_ = nullptr;
}

bool XMLDoc::SavePosition(const char16_t *name) {
  if (!name) return false;
  int32_t index;
  uint32_t flags;
  if (childPos_) {
    index = childPos_;
    flags = kSavedChild;
  } else if (mainPos_) {
    index = mainPos_;
    flags = kSavedMain;
  } else {
    index = parentPos_;
    flags = 0;
  }
  std::u16string_view key(name);
  uint64_t sum = 0;
  for (char16_t c : key) sum += c;
  if (!savedPositions_) savedPositions_ = new std::vector<SavedPosition>[kBuckets];
  std::vector<SavedPosition> &bucket = savedPositions_[sum % kBuckets];
  if (bucket.empty()) {
    bucket.resize(2);
    bucket[1].flags = kSavedLast;
  }
  // Entries are never released, so the ones in use come first.
  size_t slot = bucket.size();
  for (size_t i = 0; i < bucket.size(); ++i) {
    if (!(bucket[i].flags & kSavedInUse) || bucket[i].name == key) {
      slot = i;
      break;
    }
  }
  if (slot == bucket.size()) {
    size_t last = bucket.size() - 1;
    bucket[last].flags &= ~kSavedLast;
    bucket.resize(2 * last + 12);
    bucket.back().flags |= kSavedLast;
    slot = last + 1;
  }
  SavedPosition &entry = bucket[slot];
  entry.name.assign(key);
  entry.index = index;
  entry.flags = (entry.flags & kSavedLast) | kSavedInUse | flags;
  return true;
}

bool XMLDoc::RestorePosition(const char16_t *name) {
  if (!name || !savedPositions_) return false;
  std::u16string_view key(name);
  uint64_t sum = 0;
  for (char16_t c : key) sum += c;
  const std::vector<SavedPosition> &bucket = savedPositions_[sum % kBuckets];
  for (const SavedPosition &entry : bucket) {
    if (!(entry.flags & kSavedInUse) || entry.name != key) continue;
    if (entry.flags & kSavedChild) {
      childPos_ = entry.index;
      mainPos_ = Rec(childPos_).parent;
      parentPos_ = Rec(mainPos_).parent;
    } else if (entry.flags & kSavedMain) {
      mainPos_ = entry.index;
      parentPos_ = Rec(mainPos_).parent;
      childPos_ = 0;
    } else {
      parentPos_ = entry.index;
      mainPos_ = childPos_ = 0;
    }
    return true;
  }
  return false;
}

void XMLDoc::PushPosition() { positionStack_.push_back(Position{parentPos_, mainPos_, childPos_}); }

bool XMLDoc::PopPosition() {
  if (positionStack_.empty()) return false;
  Position p = positionStack_.back();
  positionStack_.pop_back();
  parentPos_ = p.parent;
  mainPos_ = p.main;
  childPos_ = p.child;
  return true;
}
