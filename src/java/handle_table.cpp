// The int handles that Java holds for reader contexts and XML documents.
//
// With 32-bit pointers the int is the address, as the C interface hands it
// out.  With wider pointers an address cut to 32 bits would point anywhere,
// so each pointer gets a number of its own from a table instead.  Numbers
// are handed out in rising order and not reused until the counter wraps, so
// a handle kept after StopAll or CloseDoc finds nothing rather than a newer
// context or document; a number also remembers its kind, so a document
// handle given where a reader is expected finds nothing too.  The table has
// a lock of its own: a Java program typically fetches status messages on a
// thread of its own while another thread works the reader.
#include <mutex>
#include <unordered_map>

#include "java/java_bridge.h"

namespace jbridge {

namespace {

constexpr bool kAddressFitsInt = sizeof(void *) <= sizeof(int32_t);

struct Entry {
  HandleKind kind;
  void *pointer;
};

struct Table {
  std::mutex lock;
  std::unordered_map<int32_t, Entry> entries;
  int32_t next = 1;
};

Table &TheTable() {
  // Never destroyed: entry points may still run while the process exits.
  static Table *table = new Table;
  return *table;
}

}  // namespace

int32_t HandleAdd(HandleKind kind, void *pointer) {
  if (!pointer) return 0;
  if constexpr (kAddressFitsInt) {
    return static_cast<int32_t>(reinterpret_cast<intptr_t>(pointer));
  } else {
    Table &t = TheTable();
    std::lock_guard<std::mutex> guard(t.lock);
    try {
      // Positive numbers only; after 2^31 - 1 the count starts again at 1,
      // skipping numbers still in use.
      for (int64_t tries = 0; tries < INT32_MAX; ++tries) {
        int32_t id = t.next;
        t.next = (t.next == INT32_MAX) ? 1 : t.next + 1;
        if (t.entries.find(id) == t.entries.end()) {
          t.entries.emplace(id, Entry{kind, pointer});
          return id;
        }
      }
    } catch (...) {
      // No memory for the entry: the pointer gets no number.
    }
    return 0;
  }
}

void *HandleGet(HandleKind kind, int32_t id) {
  if (id == 0) return nullptr;
  if constexpr (kAddressFitsInt) {
    return reinterpret_cast<void *>(static_cast<intptr_t>(id));
  } else {
    Table &t = TheTable();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.entries.find(id);
    if (it == t.entries.end() || it->second.kind != kind) return nullptr;
    return it->second.pointer;
  }
}

void HandleRemove(HandleKind kind, int32_t id) {
  if constexpr (!kAddressFitsInt) {
    Table &t = TheTable();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.entries.find(id);
    if (it != t.entries.end() && it->second.kind == kind) t.entries.erase(it);
  } else {
    (void)kind;
    (void)id;
  }
}

}  // namespace jbridge
