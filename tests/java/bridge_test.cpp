// The Java entry points called as a virtual machine calls them, under a
// machine of the test's own making: one that can refuse a string's
// characters, which no real one does on demand.
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
struct Seen {
  std::string thrown;
  jint stored = 0;
  std::u16string text;
} seen;

jsize JNICALL ArrayLength(JNIEnv *, jarray) { return 1; }
void JNICALL GetInts(JNIEnv *, jintArray, jsize, jsize, jint *buf) { *buf = 0; }
void JNICALL SetInts(JNIEnv *, jintArray, jsize, jsize, const jint *buf) { seen.stored = *buf; }
const jchar *JNICALL RefuseChars(JNIEnv *, jstring, jboolean *) { return nullptr; }
jsize JNICALL StringLength(JNIEnv *, jstring) { return 0; }
void JNICALL ReleaseChars(JNIEnv *, jstring, const jchar *) {}
void JNICALL Clear(JNIEnv *) {}
jboolean JNICALL Check(JNIEnv *) { return JNI_FALSE; }
jclass JNICALL FindClass(JNIEnv *, const char *name) { return reinterpret_cast<jclass>(const_cast<char *>(name)); }
jint JNICALL ThrowNew(JNIEnv *, jclass cls, const char *message) {
  seen.thrown = std::string(reinterpret_cast<const char *>(cls)) + ": " + message;
  return 0;
}
void JNICALL DeleteRef(JNIEnv *, jobject) {}
jstring JNICALL NewString(JNIEnv *, const jchar *units, jsize length) {
  seen.text.assign(reinterpret_cast<const char16_t *>(units), static_cast<size_t>(length));
  return reinterpret_cast<jstring>(&seen);
}
void JNICALL SetElement(JNIEnv *, jobjectArray, jsize, jobject) {}

class JavaBridge : public ::testing::Test {
 protected:
  void SetUp() override {
    seen = Seen();
    table.GetArrayLength = ArrayLength;
    table.GetIntArrayRegion = GetInts;
    table.SetIntArrayRegion = SetInts;
    table.GetStringChars = RefuseChars;
    table.GetStringLength = StringLength;
    table.ReleaseStringChars = ReleaseChars;
    table.ExceptionClear = Clear;
    table.ExceptionCheck = Check;
    table.FindClass = FindClass;
    table.ThrowNew = ThrowNew;
    table.DeleteLocalRef = DeleteRef;
    table.NewString = NewString;
    table.SetObjectArrayElement = SetElement;
    env.functions = &table;
  }
  // Any non-null reference: the machine never looks into them.
  template <typename Ref>
  Ref Some() {
    return reinterpret_cast<Ref>(&table);
  }
  JNINativeInterface_ table{};
  JNIEnv env{};
};

TEST_F(JavaBridge, StringWhoseCharactersAreRefusedIsAnAbsentText) {
  PROXY(XMLreader_1OpenDoc)(&env, nullptr, Some<jintArray>(), Some<jstring>());
  EXPECT_EQ(seen.thrown, "");
  const jint doc = seen.stored;
  ASSERT_NE(doc, 0) << "the document is opened without a text";
  EXPECT_EQ(PROXY(GetCurrentDocLen)(&env, nullptr, doc), 0);
  ASSERT_EQ(PROXY(XMLreader_1WriteXMLHeader)(&env, nullptr, doc), JNI_TRUE);
  PROXY(XMLreader_1WriteXMLAddTag)(&env, nullptr, doc, Some<jstring>());
  EXPECT_EQ(seen.thrown, "");
  // The length GetCurrentDocLen gives brings the whole text, line end included.
  PROXY(GetCurrentDoc)(&env, nullptr, doc, Some<jobjectArray>(), PROXY(GetCurrentDocLen)(&env, nullptr, doc));
  EXPECT_EQ(seen.text, u"<WriteTags>\r\n<Tag ID=\"\"/>\r\n</WriteTags>\r\n");
  PROXY(XMLreader_1CloseDoc)(&env, nullptr, doc);
}

}  // namespace
#endif
