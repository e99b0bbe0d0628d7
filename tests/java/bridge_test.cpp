// The Java entry points under a virtual machine of the test's own making:
// one that refuses a string's characters, which no real one does on demand.
#if defined(VOLNEDA_JNI_TESTS)
#include <jni.h>
#include <gtest/gtest.h>

#include <string>

#define PROXY(name) Java_com_korvanel_datacollection_rfid_VOLNEDAProxy_##name
extern "C" {
JNIEXPORT void JNICALL PROXY(XMLreader_1OpenDoc)(JNIEnv *, jclass, jintArray, jstring);
JNIEXPORT void JNICALL PROXY(XMLreader_1CloseDoc)(JNIEnv *, jclass, jint);
JNIEXPORT jboolean JNICALL PROXY(XMLreader_1WriteXMLHeader)(JNIEnv *, jclass, jint);
JNIEXPORT void JNICALL PROXY(XMLreader_1WriteXMLAddTag)(JNIEnv *, jclass, jint, jstring);
JNIEXPORT jint JNICALL PROXY(GetCurrentDocLen)(JNIEnv *, jclass, jint);
JNIEXPORT void JNICALL PROXY(GetCurrentDoc)(JNIEnv *, jclass, jint, jobjectArray, jint);
}

namespace {

// What the machine saw: the exception thrown, the int and the text stored.
struct Seen { std::string thrown; jint stored = 0; std::u16string text; } seen;

jsize JNICALL ArrayLength(JNIEnv *, jarray) { return 1; }
void JNICALL SetInts(JNIEnv *, jintArray, jsize, jsize, const jint *buf) { seen.stored = *buf; }
const jchar *JNICALL RefuseChars(JNIEnv *, jstring, jboolean *) { return nullptr; }
void JNICALL Nothing(JNIEnv *) {}
jclass JNICALL FindClass(JNIEnv *, const char *name) { return reinterpret_cast<jclass>(const_cast<char *>(name)); }
jint JNICALL ThrowNew(JNIEnv *, jclass cls, const char *message) {
  seen.thrown = std::string(reinterpret_cast<const char *>(cls)) + ": " + message;
  return 0;
}
jstring JNICALL NewString(JNIEnv *, const jchar *units, jsize length) {
  seen.text.assign(reinterpret_cast<const char16_t *>(units), static_cast<size_t>(length));
  return reinterpret_cast<jstring>(&seen);
}
void JNICALL DeleteRef(JNIEnv *, jobject) {}
void JNICALL SetElement(JNIEnv *, jobjectArray, jsize, jobject) {}
jboolean JNICALL NoException(JNIEnv *) { return JNI_FALSE; }

TEST(JavaBridge, StringWhoseCharactersAreRefusedIsAnAbsentText) {
  JNINativeInterface_ table{};
  table.GetArrayLength = ArrayLength;
  table.SetIntArrayRegion = SetInts;
  table.GetStringChars = RefuseChars;
  table.ExceptionClear = Nothing;
  table.ExceptionCheck = NoException;
  table.FindClass = FindClass;
  table.ThrowNew = ThrowNew;
  table.NewString = NewString;
  table.DeleteLocalRef = DeleteRef;
  table.SetObjectArrayElement = SetElement;
  JNIEnv env{};
  env.functions = &table;
  auto text = reinterpret_cast<jstring>(&table);  // any reference: the machine never looks into them
  PROXY(XMLreader_1OpenDoc)(&env, nullptr, reinterpret_cast<jintArray>(&table), text);
  const jint doc = seen.stored;
  ASSERT_NE(doc, 0) << "the document is opened without a text; thrown: " << seen.thrown;
  ASSERT_EQ(PROXY(XMLreader_1WriteXMLHeader)(&env, nullptr, doc), JNI_TRUE);
  PROXY(XMLreader_1WriteXMLAddTag)(&env, nullptr, doc, text);
  EXPECT_EQ(seen.thrown, "");
  // The length GetCurrentDocLen gives brings the whole text, line end included.
  PROXY(GetCurrentDoc)(&env, nullptr, doc, reinterpret_cast<jobjectArray>(&table),
                       PROXY(GetCurrentDocLen)(&env, nullptr, doc));
  EXPECT_EQ(seen.text, u"<WriteTags>\r\n<Tag ID=\"\"/>\r\n</WriteTags>\r\n");
  PROXY(XMLreader_1CloseDoc)(&env, nullptr, doc);
}

}  // namespace
#endif
