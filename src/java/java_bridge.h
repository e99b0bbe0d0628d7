// java_bridge.h -- what the native methods of VOLNEDAProxy share: Java
// exceptions, the converted copies of Java strings, text result buffers,
// the stores into Java arrays and the int handles the Java side holds.
//
// Every entry point converts its arguments, calls one exported function and
// converts the results back; nothing here outlives one call except the
// handle table.
#ifndef VOLNEDA_JAVA_BRIDGE_H
#define VOLNEDA_JAVA_BRIDGE_H

#include <jni.h>

#include <cstdint>
#include <vector>

#include "volneda.h"

namespace jbridge {

// Exception codes, each raised as the Java class of the same line in
// Raise's table.
enum ExceptionCode : int {
  kOutOfMemory = 1,
  kIo = 2,
  kRuntime = 3,
  kIndexOutOfBounds = 4,
  kArithmetic = 5,
  kIllegalArgument = 6,
  kNullPointer = 7,
  kUnknown = 8,
};

// Replaces any pending exception by one of the class for `code` with the
// message.  When the class cannot be found nothing is left pending.
void Raise(JNIEnv *env, int code, const char *message);

// A guarded int[]: not null and at least one element; raises otherwise.
bool CheckGuardedArray(JNIEnv *env, jintArray array);

// Element 0 of an array whose length was not checked by the caller: arrays
// that are null or empty are skipped without an exception, so that a
// careless Java caller gets no value rather than a crashed VM.
bool HasElement(JNIEnv *env, jarray array);
void StoreInt(JNIEnv *env, jintArray array, int32_t value);
int32_t LoadInt(JNIEnv *env, jintArray array);
// Stores the text of `buffer` up to its first 0 unit as a new String.
void StoreText(JNIEnv *env, jobjectArray array, const VOLNEDA_WCHAR *buffer);

// The converted copy of one Java string argument.
struct JavaWideString {
  JNIEnv *env;
  jstring javaString;
  const jchar *chars;  // from the VM; null when not obtained
  int32_t length;      // UTF-16 units; -1 until known
  VOLNEDA_WCHAR *copy; // chars + terminating 0; null when not made
};

// Creates the copy; null (with "string convert failed" raised by StringArgs)
// only when there was no memory for the record itself.  A null Java string,
// and one whose characters or copy could not be had, give a record whose
// copy is null, which the called function receives as an absent text.
JavaWideString *WideStringCreate(JNIEnv *env, jstring string);
void WideStringRelease(JavaWideString *ws);

// Owns the copies of one entry point's string arguments, in parameter
// order, and releases them all on the way out.
class StringArgs {
 public:
  explicit StringArgs(JNIEnv *env) : env_(env) {}
  ~StringArgs();
  StringArgs(const StringArgs &) = delete;
  StringArgs &operator=(const StringArgs &) = delete;
  // Converts the next argument; false (exception raised, earlier copies
  // already released) when it could not be converted.
  bool Add(jstring string);
  const VOLNEDA_WCHAR *operator[](size_t i) const { return items_[i]->copy; }

 private:
  void ReleaseAll();
  JNIEnv *env_;
  std::vector<JavaWideString *> items_;
};

// A zero-filled UTF-16 result buffer.  Fixed-size results use 128 units;
// where the Java method takes a length the buffer has length + 1 units.
constexpr int32_t kFixedTextUnits = 128;
class TextBuffer {
 public:
  // False (OutOfMemoryError raised) when the buffer cannot be had.
  bool Allocate(JNIEnv *env, int32_t units);
  VOLNEDA_WCHAR *data() { return units_.data(); }

 private:
  std::vector<VOLNEDA_WCHAR> units_;
};

// The units for a caller's length: length + 1.  A negative length is taken
// as 0, so that the buffer never has fewer than one unit.
int32_t LengthArgument(jint length);
int32_t UnitsForLength(jint length);

// ---- Int handles ---------------------------------------------------------
//
// Java holds reader contexts and XML documents as 32-bit ints.  Where a
// pointer fits into 32 bits the int is the address itself; where it does
// not, a table maps small ints to pointers.  0 always means none, and an int
// the table does not know (or one of the other kind) maps to null, which the
// called functions reject like a null handle.
enum class HandleKind { kReader, kDocument };

// The int for a new pointer (0 for null, and 0 when the table is full).
int32_t HandleAdd(HandleKind kind, void *pointer);
void *HandleGet(HandleKind kind, int32_t id);
void HandleRemove(HandleKind kind, int32_t id);

inline VOLNEDA_HANDLE Reader(jint id) { return HandleGet(HandleKind::kReader, id); }
inline XMLREADER_HANDLE Document(jint id) { return HandleGet(HandleKind::kDocument, id); }

inline jboolean ToJava(VOLNEDA_BOOL value) { return value ? JNI_TRUE : JNI_FALSE; }

}  // namespace jbridge

#endif
