// Native methods of VOLNEDAProxy for XML documents: reading result
// documents and building write requests.
#include "java/java_bridge.h"

using namespace jbridge;

#define PROXY(name) Java_com_korvanel_datacollection_rfid_VOLNEDAProxy_##name

namespace {

// The shape of the copy-out methods that take a buffer length.
template <typename Call>
bool CopyOut(JNIEnv *env, jobjectArray out, jint length, Call call) {
  TextBuffer buffer;
  if (!buffer.Allocate(env, UnitsForLength(length))) return false;
  call(buffer.data(), LengthArgument(length));
  StoreText(env, out, buffer.data());
  return true;
}

}  // namespace

extern "C" {

// Without an element to receive it the new document could never be closed,
// so none is opened then.
JNIEXPORT void JNICALL PROXY(XMLreader_1OpenDoc)(JNIEnv *env, jclass, jintArray document, jstring text) {
  try {
    if (!HasElement(env, document)) return;
    StringArgs args(env);
    if (!args.Add(text)) return;
    XMLREADER_HANDLE handle = nullptr;
    XMLreader_OpenDoc(&handle, args[0]);
    int32_t id = HandleAdd(HandleKind::kDocument, handle);
    if (handle && id == 0) XMLreader_CloseDoc(handle);
    StoreInt(env, document, id);
  } catch (...) {
  }
}

JNIEXPORT void JNICALL PROXY(XMLreader_1CloseDoc)(JNIEnv *, jclass, jint document) {
  try {
    XMLREADER_HANDLE handle = Document(document);
    if (!handle) return;
    HandleRemove(HandleKind::kDocument, document);
    XMLreader_CloseDoc(handle);
  } catch (...) {
  }
}

JNIEXPORT jint JNICALL PROXY(XMLreader_1GetElement)(JNIEnv *, jclass, jint document) {
  try {
    return XMLreader_GetElement(Document(document));
  } catch (...) {
    return 0;
  }
}

JNIEXPORT jboolean JNICALL PROXY(XMLreader_1FindTag)(JNIEnv *env, jclass, jint document, jstring tagId) {
  try {
    StringArgs args(env);
    if (!args.Add(tagId)) return JNI_FALSE;
    return ToJava(XMLreader_FindTag(Document(document), args[0]));
  } catch (...) {
    return JNI_FALSE;
  }
}

JNIEXPORT jboolean JNICALL PROXY(XMLreader_1FindChildElement)(JNIEnv *env, jclass, jint document, jstring name) {
  try {
    StringArgs args(env);
    if (!args.Add(name)) return JNI_FALSE;
    return ToJava(XMLreader_FindChildElement(Document(document), args[0]));
  } catch (...) {
    return JNI_FALSE;
  }
}

JNIEXPORT void JNICALL PROXY(XMLreader_1GetAttribute)(JNIEnv *env, jclass, jint document, jstring name,
                                                      jobjectArray value, jint length) {
  try {
    StringArgs args(env);
    if (!args.Add(name)) return;
    XMLREADER_HANDLE handle = Document(document);
    CopyOut(env, value, length, [&](VOLNEDA_WCHAR *buffer, int32_t size) {
      XMLreader_GetAttribute(handle, args[0], buffer, size);
    });
  } catch (...) {
  }
}

// The value is stored also when the result is false: an empty string then.
JNIEXPORT jboolean JNICALL PROXY(XMLreader_1GetChildAttribute)(JNIEnv *env, jclass, jint document, jstring name,
                                                               jobjectArray value, jint length) {
  try {
    StringArgs args(env);
    if (!args.Add(name)) return JNI_FALSE;
    XMLREADER_HANDLE handle = Document(document);
    VOLNEDA_BOOL result = 0;
    CopyOut(env, value, length, [&](VOLNEDA_WCHAR *buffer, int32_t size) {
      result = XMLreader_GetChildAttribute(handle, args[0], buffer, size);
    });
    return ToJava(result);
  } catch (...) {
    return JNI_FALSE;
  }
}

JNIEXPORT void JNICALL PROXY(XMLreader_1GetChildData)(JNIEnv *env, jclass, jint document, jobjectArray data,
                                                      jint length) {
  try {
    XMLREADER_HANDLE handle = Document(document);
    CopyOut(env, data, length,
            [&](VOLNEDA_WCHAR *buffer, int32_t size) { XMLreader_GetChildData(handle, buffer, size); });
  } catch (...) {
  }
}

JNIEXPORT jboolean JNICALL PROXY(XMLreader_1Push)(JNIEnv *, jclass, jint document) {
  try {
    return ToJava(XMLreader_Push(Document(document)));
  } catch (...) {
    return JNI_FALSE;
  }
}

JNIEXPORT jboolean JNICALL PROXY(XMLreader_1Pop)(JNIEnv *, jclass, jint document) {
  try {
    return ToJava(XMLreader_Pop(Document(document)));
  } catch (...) {
    return JNI_FALSE;
  }
}

JNIEXPORT void JNICALL PROXY(XMLreader_1Rewind)(JNIEnv *, jclass, jint document) {
  try {
    XMLreader_Rewind(Document(document));
  } catch (...) {
  }
}

JNIEXPORT jboolean JNICALL PROXY(XMLreader_1StepIntoElement)(JNIEnv *, jclass, jint document) {
  try {
    return ToJava(XMLreader_StepIntoElement(Document(document)));
  } catch (...) {
    return JNI_FALSE;
  }
}

JNIEXPORT jboolean JNICALL PROXY(XMLreader_1StepOutOfElement)(JNIEnv *, jclass, jint document) {
  try {
    return ToJava(XMLreader_StepOutOfElement(Document(document)));
  } catch (...) {
    return JNI_FALSE;
  }
}

// ---- Building a write request --------------------------------------------

JNIEXPORT jboolean JNICALL PROXY(XMLreader_1WriteXMLHeader)(JNIEnv *, jclass, jint document) {
  try {
    return ToJava(XMLreader_WriteXMLHeader(Document(document)));
  } catch (...) {
    return JNI_FALSE;
  }
}

// The three Add methods return nothing: the Java side learns of a failed
// addition from the document text.
JNIEXPORT void JNICALL PROXY(XMLreader_1WriteXMLAddTag)(JNIEnv *env, jclass, jint document, jstring tagId) {
  try {
    StringArgs args(env);
    if (!args.Add(tagId)) return;
    XMLreader_WriteXMLAddTag(Document(document), args[0]);
  } catch (...) {
  }
}

JNIEXPORT void JNICALL PROXY(XMLreader_1WriteXMLAddSWTTFieldInfo)(JNIEnv *env, jclass, jint document, jint entry,
                                                                  jstring data) {
  try {
    StringArgs args(env);
    if (!args.Add(data)) return;
    XMLreader_WriteXMLAddSWTTFieldInfo(Document(document), entry, args[0]);
  } catch (...) {
  }
}

JNIEXPORT void JNICALL PROXY(XMLreader_1WriteXMLAddMEMFieldInfo)(JNIEnv *env, jclass, jint document, jint memStart,
                                                                 jint memLength, jint memType, jstring data) {
  try {
    StringArgs args(env);
    if (!args.Add(data)) return;
    XMLreader_WriteXMLAddMEMFieldInfo(Document(document), memStart, memLength, memType, args[0]);
  } catch (...) {
  }
}

JNIEXPORT jint JNICALL PROXY(GetCurrentDocLen)(JNIEnv *, jclass, jint document) {
  try {
    return GetCurrentDocLen(Document(document));
  } catch (...) {
    return 0;
  }
}

// The buffer has length + 1 units but the function is told length: with
// the value of GetCurrentDocLen the whole text is copied without its
// terminator, and the buffer's last unit, still 0, ends it.
JNIEXPORT void JNICALL PROXY(GetCurrentDoc)(JNIEnv *env, jclass, jint document, jobjectArray text, jint length) {
  try {
    XMLREADER_HANDLE handle = Document(document);
    CopyOut(env, text, length, [&](VOLNEDA_WCHAR *buffer, int32_t size) { GetCurrentDoc(handle, buffer, size); });
  } catch (...) {
  }
}

}  // extern "C"
