// Conversions between Java arguments and the C interface: exceptions,
// string copies, result buffers and the stores into Java arrays.
#include <cstdlib>
#include <cstring>
#include <new>

#include "java/java_bridge.h"

namespace jbridge {

void Raise(JNIEnv *env, int code, const char *message) {
  const char *name;
  switch (code) {
    case kOutOfMemory: name = "java/lang/OutOfMemoryError"; break;
    case kIo: name = "java/io/IOException"; break;
    case kRuntime: name = "java/lang/RuntimeException"; break;
    case kIndexOutOfBounds: name = "java/lang/IndexOutOfBoundsException"; break;
    case kArithmetic: name = "java/lang/ArithmeticException"; break;
    case kIllegalArgument: name = "java/lang/IllegalArgumentException"; break;
    case kNullPointer: name = "java/lang/NullPointerException"; break;
    default: name = "java/lang/UnknownError"; break;
  }
  env->ExceptionClear();
  jclass cls = env->FindClass(name);
  if (!cls) {
    // FindClass leaves its own error pending; the caller gets none.
    env->ExceptionClear();
    return;
  }
  env->ThrowNew(cls, message);
  env->DeleteLocalRef(cls);
}

bool CheckGuardedArray(JNIEnv *env, jintArray array) {
  if (!array) {
    Raise(env, kNullPointer, "array null");
    return false;
  }
  if (env->GetArrayLength(array) < 1) {
    Raise(env, kIndexOutOfBounds, "Array must contain at least 1 element");
    return false;
  }
  return true;
}

bool HasElement(JNIEnv *env, jarray array) { return array && env->GetArrayLength(array) > 0; }

void StoreInt(JNIEnv *env, jintArray array, int32_t value) {
  if (!HasElement(env, array)) return;
  jint v = value;
  env->SetIntArrayRegion(array, 0, 1, &v);
}

int32_t LoadInt(JNIEnv *env, jintArray array) {
  jint v = 0;
  if (HasElement(env, array)) env->GetIntArrayRegion(array, 0, 1, &v);
  return v;
}

void StoreText(JNIEnv *env, jobjectArray array, const VOLNEDA_WCHAR *buffer) {
  if (!HasElement(env, array)) return;
  jsize length = 0;
  while (buffer[length] != 0) ++length;
  static_assert(sizeof(jchar) == sizeof(VOLNEDA_WCHAR), "UTF-16 units on both sides");
  jstring text = env->NewString(reinterpret_cast<const jchar *>(buffer), length);
  // Without memory for the string the VM's OutOfMemoryError stays pending:
  // that is the one exception the caller cannot be spared.
  if (!text) return;
  env->SetObjectArrayElement(array, 0, text);
  // An array of another element type than String refuses the store; the
  // element is then simply not set.
  if (env->ExceptionCheck()) env->ExceptionClear();
  env->DeleteLocalRef(text);
}

JavaWideString *WideStringCreate(JNIEnv *env, jstring string) {
  auto *ws = static_cast<JavaWideString *>(std::malloc(sizeof(JavaWideString)));
  if (!ws) return nullptr;
  ws->env = env;
  ws->javaString = string;
  ws->chars = nullptr;
  ws->length = -1;
  ws->copy = nullptr;
  if (!env || !string) return ws;
  // Characters or a copy that cannot be had leave the copy absent: the
  // called function receives no text, as for a null string, and nothing is
  // raised.  A pending OutOfMemoryError of the VM is cleared with it.
  ws->chars = env->GetStringChars(string, nullptr);
  if (!ws->chars) {
    env->ExceptionClear();
    return ws;
  }
  ws->length = env->GetStringLength(string);
  ws->copy = static_cast<VOLNEDA_WCHAR *>(std::malloc((static_cast<size_t>(ws->length) + 1) * sizeof(VOLNEDA_WCHAR)));
  if (!ws->copy) return ws;
  if (ws->length > 0) std::memcpy(ws->copy, ws->chars, static_cast<size_t>(ws->length) * sizeof(VOLNEDA_WCHAR));
  ws->copy[ws->length] = 0;
  return ws;
}

void WideStringRelease(JavaWideString *ws) {
  if (!ws) return;
  std::free(ws->copy);
  if (ws->env && ws->javaString && ws->chars) ws->env->ReleaseStringChars(ws->javaString, ws->chars);
  std::free(ws);
}

StringArgs::~StringArgs() { ReleaseAll(); }

void StringArgs::ReleaseAll() {
  for (JavaWideString *ws : items_) WideStringRelease(ws);
  items_.clear();
}

bool StringArgs::Add(jstring string) {
  JavaWideString *ws = WideStringCreate(env_, string);
  if (ws) {
    try {
      items_.push_back(ws);
      return true;
    } catch (...) {
      WideStringRelease(ws);
    }
  }
  ReleaseAll();
  Raise(env_, kNullPointer, "string convert failed");
  return false;
}

bool TextBuffer::Allocate(JNIEnv *env, int32_t units) {
  try {
    units_.assign(static_cast<size_t>(units), 0);
    return true;
  } catch (...) {
    Raise(env, kOutOfMemory, "no memory for the text buffer");
    return false;
  }
}

int32_t LengthArgument(jint length) { return length < 0 ? 0 : length; }

// Computed in 64 bits: a length of 2^31 - 1 must not wrap to a negative
// size.  The unit count is capped so that it still fits an int32.
int32_t UnitsForLength(jint length) {
  int64_t units = static_cast<int64_t>(LengthArgument(length)) + 1;
  return units > INT32_MAX ? INT32_MAX : static_cast<int32_t>(units);
}

}  // namespace jbridge
