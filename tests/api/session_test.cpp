// Whole sessions as an application runs them: configuration files on disk,
// the reader list, the automatic template load, attributes, error texts and
// the failure paths of opening, each with every status message it posts.
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "api/context.h"
#include "sim_reader.h"

namespace {

using Messages = std::vector<Status>;
namespace fs = std::filesystem;

std::u16string Wide(const std::string &s) { return std::u16string(s.begin(), s.end()); }

// A session whose configuration lives in a directory of its own and whose
// tag field is found through the environment, as an installation has it.
class Session : public SimReader {
 protected:
  void StartIn(const std::string &configPath, const std::string &fieldFile) {
    StopDispatcher(handle);
    VOLNEDA_StopAll(&handle);
    TagdrvSetFieldFile(nullptr);
    SetEnvVar("TAGDRV_FIELD", fieldFile.c_str());
    VOLNEDA_StartAll(&handle, W(Wide(configPath)));
    StartDispatcher(handle);
  }
  void TearDown() override {
    SetEnvVar("TAGDRV_FIELD", nullptr);
    SimReader::TearDown();
    if (!dir.empty()) fs::remove_all(dir);
  }
  // Relative to the working directory: the completed template name has to
  // fit the 64 characters that the open reads it into.
  std::string MakeDir() {
    dir = Name("_d") + "/";
    fs::create_directories(dir);
    return dir;
  }
  std::u16string GetAttr(const char16_t *name, int32_t want) {
    VOLNEDA_WCHAR buf[64] = {};
    EXPECT_EQ(VOLNEDA_GetAttribute(handle, W(name), buf), want);
    return U(buf);
  }
  std::string dir;
};

TEST_F(Session, FromTheConfigurationFiles) {
  std::string d = MakeDir();
  WriteTextFile(d + "rfconfig.ini", "; readers of this site\n[DOCK1]\n[GATE2]\n");
  WriteTextFile(d + "SWTT.INI", "[0123456789AB]\nID=Pallet\nf_00=Serial,0,8,h\n[0456xxxxxxxx]\n");
  WriteTextFile(d + "tagfield.ini",
                "[reader DOCK1]\nattr.RFID_SWTT_FILE_NAME = SWTT.INI\nattr.Power = 30\n"
                "[reader GATE2]\nfail.allocate = -202\n");
  StartIn(d + "rfconfig.ini", d + "tagfield.ini");

  VOLNEDA_WCHAR name[32];
  ASSERT_EQ(VOLNEDA_FindFirstReader(handle, name, nullptr), 0);
  EXPECT_EQ(U(name), u"DOCK1");
  ASSERT_EQ(VOLNEDA_FindNextReader(handle, name), 0);
  EXPECT_EQ(U(name), u"GATE2");
  EXPECT_EQ(VOLNEDA_FindNextReader(handle, name), -3253);

  // The bare template name is completed with the configuration directory.
  ASSERT_EQ(VOLNEDA_Open(handle, W(u"DOCK1")), 0);
  ReaderContext *c = ToContext(handle);
  EXPECT_EQ(c->templateCount, 2);
#if defined(_WIN32)
  EXPECT_EQ(GetAttr(u"RFID_SWTT_FILE_NAME", 0), Wide(d + "\\SWTT.INI"));
#else
  EXPECT_EQ(GetAttr(u"RFID_SWTT_FILE_NAME", 0), Wide(d + "/SWTT.INI"));
#endif
  EXPECT_EQ(GetAttr(u"Power", 0), u"30");
  EXPECT_EQ(VOLNEDA_SetAttribute(handle, W(u"Power"), W(u"27")), 0);
  EXPECT_EQ(GetAttr(u"Power", 0), u"27");
  EXPECT_EQ(GetAttr(u"Nope", -60), u"");
  EXPECT_EQ(VOLNEDA_SetAttribute(handle, W(u""), W(u"x")), -60);
  VOLNEDA_WCHAR text[112];
  EXPECT_EQ(VOLNEDA_GetErrorString(handle, -60, text), 1);
  EXPECT_EQ(U(text), u"Unknown attribute");
  EXPECT_EQ(SetUseScanTrigger(handle, 1), -3400);
  EXPECT_EQ(SetCommTimeOut(handle, 500), -3450);
  EXPECT_EQ(VOLNEDA_Close(handle), 0);
  EXPECT_EQ(Drain(), (Messages{
                         {0, 5, 0, u"Opening reader..."},
                         {0, 12, 0, u"RFID_SWTT_FILE_NAME"},
                         {0, 4, 0, u"SWTT.INI read"},
                         {0, 12, 0, u"RFID_SWTT_FILE_NAME"},
                         {0, 12, 0, u"Power"},
                         {0, 11, 0, u"Power"},
                         {0, 12, 0, u"Power"},
                         {2, 12, -60, u"Nope"},
                         {2, 11, -60, u""},
                         {0, 13, -3400, u""},
                         {1, 24, -3450, u""},
                     }));
  EXPECT_EQ(c->templates, nullptr);

  // The control block fails: the reader stays open for Close to release.
  EXPECT_EQ(VOLNEDA_Open(handle, W(u"GATE2")), -202);
  EXPECT_EQ(c->openFlag, 1);
  EXPECT_EQ(VOLNEDA_Open(handle, W(u"GATE2")), -3303);
  EXPECT_EQ(VOLNEDA_Close(handle), 0);
  EXPECT_EQ(c->openFlag, 0);
  // The driver refuses the open: nothing stays open.
  TagdrvSetFault(TAGDRV_FAULT_OPEN, -200);
  EXPECT_EQ(VOLNEDA_Open(handle, W(u"DOCK1")), -200);
  EXPECT_EQ(c->openFlag, 0);
  EXPECT_EQ(VOLNEDA_Close(handle), -3300);
  EXPECT_EQ(Drain(), (Messages{
                         {0, 5, 0, u"Opening reader..."},
                         {2, 5, -202, u""},
                         {1, 5, -3303, u"Reader is already open"},
                         {0, 5, 0, u"Opening reader..."},
                         {3, 5, -200, u"Reader failed to open"},
                         {2, 6, -3300, u""},
                     }));
}

// The files in examples/ are what the demo runs on: every reader of the
// list opens and finds its template.
TEST_F(Session, ExamplesFitTogether) {
  std::string d = MakeDir();
  for (const char *file : {"rfconfig.ini", "SWTT.INI", "tagfield.ini"})
    fs::copy_file(std::string(VOLNEDA_SOURCE_DIR) + "/examples/" + file, d + file);
  StartIn(d + "rfconfig.ini", d + "tagfield.ini");
  VOLNEDA_WCHAR name[32];
  std::vector<std::u16string> readers;
  for (int32_t r = VOLNEDA_FindFirstReader(handle, name, nullptr); r == 0; r = VOLNEDA_FindNextReader(handle, name))
    readers.push_back(U(name));
  ASSERT_FALSE(readers.empty());
  for (const std::u16string &reader : readers) {
    ASSERT_EQ(VOLNEDA_Open(handle, W(reader)), 0);
    EXPECT_GT(ToContext(handle)->templateCount, 0);
    EXPECT_EQ(VOLNEDA_Close(handle), 0);
  }
  for (const Status &s : Drain()) EXPECT_EQ(s.level, 0) << s;
}

TEST_F(SimReader, ReaderNameIsCutTo31Bytes) {
  std::string name31(31, 'L');
  WriteTextFile(fieldPath, "[reader " + name31 + "]\n");
  std::u16string longer(40, u'L');
  EXPECT_EQ(VOLNEDA_Open(handle, W(longer)), 0);
  EXPECT_EQ(std::string(ToContext(handle)->readerName), name31);
}

TEST_F(SimReader, ResultDocumentText) {
  Field("");
  ASSERT_EQ(Open(), 0);
  ReaderContext *c = ToContext(handle);
  const char doc[] = "<IdentifyTags Reader=\"R1\"/>";
  c->docText = static_cast<char *>(std::malloc(sizeof doc));
  std::memcpy(c->docText, doc, sizeof doc);
  VOLNEDA_WCHAR buf[64];
  EXPECT_EQ(VOLNEDA_GetXMLData(handle, buf, 64), 0);
  EXPECT_EQ(U(buf), u"<IdentifyTags Reader=\"R1\"/>");
  EXPECT_EQ(VOLNEDA_GetXMLData(handle, buf, 5), 0);  // cut to the capacity
  EXPECT_EQ(U(buf), u"<Ide");
  // Close frees the document: afterwards the buffer is left alone.
  ASSERT_EQ(VOLNEDA_Close(handle), 0);
  EXPECT_EQ(c->docText, nullptr);
  buf[0] = u'Z';
  buf[1] = 0;
  EXPECT_EQ(VOLNEDA_GetXMLData(handle, buf, 64), 0);
  EXPECT_EQ(U(buf), u"Z");
}

}  // namespace
