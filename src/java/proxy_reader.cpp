// Native methods of VOLNEDAProxy for the reader: context, dispatcher,
// connection, attributes, commands, templates and reader discovery.
//
// Each converts its Java arguments, calls the exported function of the same
// name and hands the results back.  C++ exceptions never reach the VM: a
// failure inside the bridge returns 0 or false and writes nothing.
#include "java/java_bridge.h"

using namespace jbridge;

#define PROXY(name) Java_com_korvanel_datacollection_rfid_VOLNEDAProxy_##name

extern "C" {

// ---- Reader context ------------------------------------------------------

JNIEXPORT void JNICALL PROXY(VOLNEDA_1StartAll)(JNIEnv *env, jclass, jintArray handle, jstring configPath) {
  try {
    if (!CheckGuardedArray(env, handle)) return;
    StringArgs args(env);
    if (!args.Add(configPath)) return;
    VOLNEDA_HANDLE context = nullptr;
    VOLNEDA_StartAll(&context, args[0]);
    int32_t id = HandleAdd(HandleKind::kReader, context);
    // A context Java could never name again is stopped at once.
    if (context && id == 0) VOLNEDA_StopAll(&context);
    StoreInt(env, handle, id);
  } catch (...) {
  }
}

// The Java array keeps the old number: only the context is gone, and the
// number now finds nothing.
JNIEXPORT void JNICALL PROXY(VOLNEDA_1StopAll)(JNIEnv *env, jclass, jintArray handle) {
  try {
    if (!CheckGuardedArray(env, handle)) return;
    jint id = 0;
    env->GetIntArrayRegion(handle, 0, 1, &id);
    VOLNEDA_HANDLE context = Reader(id);
    VOLNEDA_StopAll(&context);
    if (!context) HandleRemove(HandleKind::kReader, id);
  } catch (...) {
  }
}

// ---- Status dispatcher ---------------------------------------------------

JNIEXPORT void JNICALL PROXY(StartDispatcher)(JNIEnv *, jclass, jint handle) {
  try {
    StartDispatcher(Reader(handle));
  } catch (...) {
  }
}

JNIEXPORT void JNICALL PROXY(StopDispatcher)(JNIEnv *, jclass, jint handle) {
  try {
    StopDispatcher(Reader(handle));
  } catch (...) {
  }
}

// The last argument is not used.  All four outputs are written, also when
// the dispatcher was stopped and nothing arrived.
JNIEXPORT jboolean JNICALL PROXY(DispatcherGetData)(JNIEnv *env, jclass, jint handle, jintArray level,
                                                     jintArray source, jintArray code, jobjectArray text, jint) {
  try {
    TextBuffer buffer;
    if (!buffer.Allocate(env, kFixedTextUnits)) return JNI_FALSE;
    int32_t l = 0, s = 0, c = 0;
    VOLNEDA_BOOL result = DispatcherGetData(Reader(handle), &l, &s, &c, buffer.data(), kFixedTextUnits);
    StoreInt(env, level, l);
    StoreInt(env, source, s);
    StoreInt(env, code, c);
    StoreText(env, text, buffer.data());
    return ToJava(result);
  } catch (...) {
    return JNI_FALSE;
  }
}

// ---- Reader connection ---------------------------------------------------

JNIEXPORT jint JNICALL PROXY(VOLNEDA_1Open)(JNIEnv *env, jclass, jint handle, jstring readerName) {
  try {
    StringArgs args(env);
    if (!args.Add(readerName)) return 0;
    return VOLNEDA_Open(Reader(handle), args[0]);
  } catch (...) {
    return 0;
  }
}

JNIEXPORT jint JNICALL PROXY(VOLNEDA_1Close)(JNIEnv *, jclass, jint handle) {
  try {
    return VOLNEDA_Close(Reader(handle));
  } catch (...) {
    return 0;
  }
}

// The text is stored only when there is one.
JNIEXPORT jboolean JNICALL PROXY(VOLNEDA_1GetErrorString)(JNIEnv *env, jclass, jint handle, jint errorCode,
                                                           jobjectArray text) {
  try {
    TextBuffer buffer;
    if (!buffer.Allocate(env, kFixedTextUnits)) return JNI_FALSE;
    VOLNEDA_BOOL result = VOLNEDA_GetErrorString(Reader(handle), errorCode, buffer.data());
    if (result) StoreText(env, text, buffer.data());
    return ToJava(result);
  } catch (...) {
    return JNI_FALSE;
  }
}

JNIEXPORT jint JNICALL PROXY(VOLNEDA_1GetXMLData)(JNIEnv *env, jclass, jint handle, jobjectArray document,
                                                   jint length) {
  try {
    TextBuffer buffer;
    if (!buffer.Allocate(env, UnitsForLength(length))) return 0;
    int32_t result = VOLNEDA_GetXMLData(Reader(handle), buffer.data(), LengthArgument(length));
    StoreText(env, document, buffer.data());
    return result;
  } catch (...) {
    return 0;
  }
}

JNIEXPORT void JNICALL PROXY(VOLNEDA_1Version)(JNIEnv *env, jclass, jintArray major, jintArray minor) {
  try {
    if (!CheckGuardedArray(env, major) || !CheckGuardedArray(env, minor)) return;
    int32_t ma = 0, mi = 0;
    VOLNEDA_Version(&ma, &mi);
    StoreInt(env, major, ma);
    StoreInt(env, minor, mi);
  } catch (...) {
  }
}

JNIEXPORT jint JNICALL PROXY(SetCommTimeOut)(JNIEnv *, jclass, jint handle, jint timeOut) {
  try {
    return SetCommTimeOut(Reader(handle), timeOut);
  } catch (...) {
    return 0;
  }
}

JNIEXPORT jint JNICALL PROXY(SetUseScanTrigger)(JNIEnv *, jclass, jint handle, jboolean use) {
  try {
    return SetUseScanTrigger(Reader(handle), use ? 1 : 0);
  } catch (...) {
    return 0;
  }
}

// ---- Attributes ----------------------------------------------------------

JNIEXPORT jint JNICALL PROXY(VOLNEDA_1GetAttribute)(JNIEnv *env, jclass, jint handle, jstring name,
                                                     jobjectArray value) {
  try {
    StringArgs args(env);
    if (!args.Add(name)) return 0;
    TextBuffer buffer;
    if (!buffer.Allocate(env, kFixedTextUnits)) return 0;
    int32_t result = VOLNEDA_GetAttribute(Reader(handle), args[0], buffer.data());
    StoreText(env, value, buffer.data());
    return result;
  } catch (...) {
    return 0;
  }
}

JNIEXPORT jint JNICALL PROXY(VOLNEDA_1SetAttribute)(JNIEnv *env, jclass, jint handle, jstring name,
                                                     jstring value) {
  try {
    StringArgs args(env);
    if (!args.Add(name) || !args.Add(value)) return 0;
    return VOLNEDA_SetAttribute(Reader(handle), args[0], args[1]);
  } catch (...) {
    return 0;
  }
}

// ---- Commands and writes -------------------------------------------------

JNIEXPORT jint JNICALL PROXY(VOLNEDA_1Command)(JNIEnv *env, jclass, jint handle, jstring command,
                                                jintArray documentLength, jintArray tagCount) {
  try {
    StringArgs args(env);
    if (!args.Add(command)) return 0;
    int32_t length = 0, count = 0;
    VOLNEDA_HANDLE context = Reader(handle);
    int32_t result = VOLNEDA_Command(context, args[0], &length, &count);
    StoreInt(env, documentLength, length);
    StoreInt(env, tagCount, count);
    return result;
  } catch (...) {
    return 0;
  }
}

JNIEXPORT jint JNICALL PROXY(VOLNEDA_1Write)(JNIEnv *env, jclass, jint handle, jstring request) {
  try {
    StringArgs args(env);
    if (!args.Add(request)) return 0;
    VOLNEDA_HANDLE context = Reader(handle);
    return VOLNEDA_Write(context, args[0]);
  } catch (...) {
    return 0;
  }
}

// ---- Reader discovery ----------------------------------------------------

// No file name is handed on (the context's configuration path is used);
// the last argument is not used.
JNIEXPORT jint JNICALL PROXY(VOLNEDA_1FindFirstReader)(JNIEnv *env, jclass, jint handle, jobjectArray readerName,
                                                        jint) {
  try {
    TextBuffer buffer;
    if (!buffer.Allocate(env, kFixedTextUnits)) return 0;
    int32_t result = VOLNEDA_FindFirstReader(Reader(handle), buffer.data(), nullptr);
    StoreText(env, readerName, buffer.data());
    return result;
  } catch (...) {
    return 0;
  }
}

JNIEXPORT jint JNICALL PROXY(VOLNEDA_1FindNextReader)(JNIEnv *env, jclass, jint handle, jobjectArray readerName) {
  try {
    TextBuffer buffer;
    if (!buffer.Allocate(env, kFixedTextUnits)) return 0;
    int32_t result = VOLNEDA_FindNextReader(Reader(handle), buffer.data());
    StoreText(env, readerName, buffer.data());
    return result;
  } catch (...) {
    return 0;
  }
}

// ---- Tag template --------------------------------------------------------

JNIEXPORT jint JNICALL PROXY(VOLNEDA_1LoadSWTT)(JNIEnv *env, jclass, jint handle, jstring fileName) {
  try {
    StringArgs args(env);
    if (!args.Add(fileName)) return 0;
    return VOLNEDA_LoadSWTT(Reader(handle), args[0]);
  } catch (...) {
    return 0;
  }
}

JNIEXPORT void JNICALL PROXY(VOLNEDA_1UnloadSWTT)(JNIEnv *, jclass, jint handle) {
  try {
    VOLNEDA_UnloadSWTT(Reader(handle));
  } catch (...) {
  }
}

}  // extern "C"
