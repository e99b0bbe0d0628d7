// Opening, closing, attributes, templates and reader discovery against the
// simulated driver, through the exported functions.
#include "sim_reader.h"

#include "api/context.h"
#include "config/swtt.h"

namespace {

using Messages = std::vector<Status>;

const char *kTag =
    "[tag t1]\nid = 0123456789ABCDEF\nswtt = 0123456789AB\ntype = I2\nantenna = 1\n";

TEST_F(SimReader, OpenLoadsTemplateAndCloseReleasesAll) {
  Field(kTag);
  Templates("[0123456789AB]\nID=Pallet\nf_00=Serial,0,8,h\n");
  EXPECT_EQ(Open(), 0);
  ReaderContext *c = ToContext(handle);
  EXPECT_EQ(c->openFlag, 1);
  EXPECT_STREQ(c->readerName, "R1");
  ASSERT_EQ(c->templateCount, 1);
  EXPECT_STREQ(c->templates[0].id, "Pallet");
  EXPECT_EQ(Drain(), (Messages{{0, 5, 0, u"Opening reader..."},
                               {0, 12, 0, u"RFID_SWTT_FILE_NAME"},
                               {0, 4, 0, u"SWTT.INI read"}}));
  EXPECT_EQ(Open(), -3303);
  EXPECT_EQ(Drain(), (Messages{{1, 5, -3303, u"Reader is already open"}}));
  EXPECT_EQ(VOLNEDA_Close(handle), 0);
  EXPECT_EQ(c->openFlag, 0);
  EXPECT_EQ(c->templates, nullptr);
  EXPECT_EQ(c->templateCount, 0);
  EXPECT_EQ(c->control, nullptr);
  EXPECT_EQ(VOLNEDA_Close(handle), -3300);
  EXPECT_EQ(Drain(), (Messages{{2, 6, -3300, u""}}));
}

TEST_F(SimReader, OpenWithoutTemplateStillSucceeds) {
  Field(kTag);
  EXPECT_EQ(Open(), 0);
  Messages m = Drain();
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(m[2], (Status{1, 4, 0, u"No SWTT.INI file"}));
  EXPECT_EQ(ToContext(handle)->templates, nullptr);
}

TEST_F(SimReader, OpenFailures) {
  struct Case {
    const char *what;
    int32_t fault, value;
    const char16_t *reader;
    int32_t want;
    Messages messages;
    uint8_t openAfter;
  } cases[] = {
      {"unknown reader", 0, 0, u"NOPE", -100, {{0, 5, 0, u"Opening reader..."}, {3, 5, -100, u"Reader failed to open"}}, 0},
      {"open fault", TAGDRV_FAULT_OPEN, -201, u"R1", -201,
       {{0, 5, 0, u"Opening reader..."}, {3, 5, -201, u"Reader failed to open"}}, 0},
      {"allocate fault", TAGDRV_FAULT_ALLOCATE, -202, u"R1", -202,
       {{0, 5, 0, u"Opening reader..."}, {2, 5, -202, u""}}, 1},
  };
  Field(kTag);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    TagdrvClearFaults();
    if (c.fault) TagdrvSetFault(c.fault, c.value);
    EXPECT_EQ(Open(c.reader), c.want);
    EXPECT_EQ(Drain(), c.messages);
    EXPECT_EQ(ToContext(handle)->openFlag, c.openAfter);
    // A failed allocation leaves the reader open, for Close to release.
    if (c.openAfter) {
      EXPECT_EQ(VOLNEDA_Close(handle), 0);
    }
    Drain();
  }
}

TEST_F(SimReader, NullContextAndClosedReader) {
  VOLNEDA_WCHAR buf[128] = {u'Z', 0};
  EXPECT_EQ(VOLNEDA_Open(nullptr, W(u"R1")), -3307);
  EXPECT_EQ(VOLNEDA_Close(nullptr), -3307);
  EXPECT_EQ(VOLNEDA_GetErrorString(nullptr, -1, buf), 1);
  EXPECT_EQ(buf[0], u'Z');
  EXPECT_EQ(VOLNEDA_GetXMLData(nullptr, buf, 128), -3307);
  EXPECT_EQ(VOLNEDA_SetAttribute(nullptr, W(u"a"), W(u"b")), -3307);
  EXPECT_EQ(VOLNEDA_GetAttribute(nullptr, W(u"a"), buf), -3307);
  EXPECT_EQ(VOLNEDA_LoadSWTT(nullptr, W(u"x")), -3307);
  VOLNEDA_UnloadSWTT(nullptr);

  EXPECT_EQ(VOLNEDA_GetErrorString(handle, -1, buf), 0);
  EXPECT_EQ(VOLNEDA_GetXMLData(handle, buf, 128), 0);
  EXPECT_EQ(buf[0], u'Z');  // no document: untouched
  EXPECT_EQ(VOLNEDA_SetAttribute(handle, W(u"a"), W(u"b")), -3300);
  EXPECT_EQ(VOLNEDA_GetAttribute(handle, W(u"a"), buf), -3300);
  EXPECT_EQ(VOLNEDA_LoadSWTT(handle, W(u"x")), -3300);
  VOLNEDA_UnloadSWTT(handle);
  EXPECT_EQ(Drain(), (Messages{{2, 11, -3300, u"SetAttribute"},
                               {2, 12, -3300, u"GetAttribute"},
                               {2, 4, -3300, u""},
                               {0, 4, 0, u"Unload SWTT.ini"}}));
}

TEST_F(SimReader, ErrorStrings) {
  Field(kTag);
  ASSERT_EQ(Open(), 0);
  VOLNEDA_WCHAR buf[112];
  EXPECT_EQ(VOLNEDA_GetErrorString(handle, -201, buf), 1);
  EXPECT_EQ(U(buf), u"Antenna fault");
  EXPECT_EQ(VOLNEDA_GetErrorString(handle, -9999, buf), 1);
  EXPECT_EQ(U(buf), u"Unable to retieve Errorstring detail");
}

TEST_F(SimReader, Attributes) {
  Field(kTag, "attr.Power = 30\n");
  ASSERT_EQ(Open(), 0);
  Drain();
  VOLNEDA_WCHAR buf[64];
  EXPECT_EQ(VOLNEDA_GetAttribute(handle, W(u"Power"), buf), 0);
  EXPECT_EQ(U(buf), u"30");
  EXPECT_EQ(VOLNEDA_SetAttribute(handle, W(u"Power"), W(u"27")), 0);
  EXPECT_EQ(VOLNEDA_GetAttribute(handle, W(u"Power"), buf), 0);
  EXPECT_EQ(U(buf), u"27");
  EXPECT_EQ(VOLNEDA_GetAttribute(handle, W(u"Missing"), buf), -60);
  // A value that does not fit 64 characters is cut to 63.
  std::u16string longValue(100, u'v');
  EXPECT_EQ(VOLNEDA_SetAttribute(handle, W(u"Long"), W(longValue)), 0);
  EXPECT_EQ(VOLNEDA_GetAttribute(handle, W(u"Long"), buf), 0);
  EXPECT_EQ(U(buf), std::u16string(63, u'v'));
  Messages m = Drain();
  ASSERT_EQ(m.size(), 6u);
  EXPECT_EQ(m[0], (Status{0, 12, 0, u"Power"}));
  EXPECT_EQ(m[1], (Status{0, 11, 0, u"Power"}));
  EXPECT_EQ(m[3], (Status{2, 12, -60, u"Missing"}));
}

TEST_F(SimReader, TemplatePathCompletion) {
  struct Case {
    const char *what;
    std::u16string config;
    std::string value;
    std::u16string want;
  } cases[] = {
#if defined(_WIN32)
      {"bare name takes the configuration directory", u"C:\\cfg\\rfconfig.ini", "SWTT.INI", u"C:\\cfg\\\\SWTT.INI"},
      {"the value's own drive is dropped", u"C:\\cfg\\rfconfig.ini", "D:SWTT.INI", u"C:\\cfg\\\\SWTT.INI"},
      {"empty configuration path", u"", "SWTT.INI", u"\\SWTT.INI"},
#else
      {"bare name takes the configuration directory", u"/etc/rf/rfconfig.ini", "SWTT.INI", u"/etc/rf//SWTT.INI"},
      {"backslash directory of the configuration", u"C:\\cfg\\rfconfig.ini", "SWTT.INI", u"C:\\cfg\\/SWTT.INI"},
      {"empty configuration path", u"", "SWTT.INI", u"/SWTT.INI"},
#endif
      {"value with a directory is kept", u"/etc/rf/rfconfig.ini", "/opt/t/SWTT.INI", u"/opt/t/SWTT.INI"},
      {"value with a backslash directory is kept", u"/etc/rf/rfconfig.ini", "t\\SWTT.INI", u"t\\SWTT.INI"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    VOLNEDA_HANDLE h = nullptr;
    VOLNEDA_StartAll(&h, W(c.config));
    WriteTextFile(fieldPath, "[reader R1]\nattr.RFID_SWTT_FILE_NAME = " + c.value + "\nattr.Other = plain.ini\n");
    ASSERT_EQ(VOLNEDA_Open(h, W(u"R1")), 0);
    VOLNEDA_WCHAR buf[64];
    EXPECT_EQ(VOLNEDA_GetAttribute(h, W(u"RFID_SWTT_FILE_NAME"), buf), 0);
    EXPECT_EQ(U(buf), c.want);
    EXPECT_EQ(VOLNEDA_GetAttribute(h, W(u"Other"), buf), 0);
    EXPECT_EQ(U(buf), u"plain.ini");  // only the template attribute is completed
    VOLNEDA_Close(h);
    VOLNEDA_StopAll(&h);
  }
}

TEST_F(SimReader, LoadAndUnloadTemplates) {
  Field(kTag);
  ASSERT_EQ(Open(), 0);
  Drain();
  std::u16string swtt(swttPath.begin(), swttPath.end());
  Templates("; nothing but a comment\n");
  EXPECT_EQ(VOLNEDA_LoadSWTT(handle, W(swtt)), 0);
  ReaderContext *c = ToContext(handle);
  EXPECT_NE(c->templates, nullptr);  // present and empty
  EXPECT_EQ(c->templateCount, 0);
  EXPECT_EQ(VOLNEDA_LoadSWTT(handle, W(u"missing.ini")), -3304);
  EXPECT_EQ(c->templates, nullptr);
  VOLNEDA_UnloadSWTT(handle);
  VOLNEDA_UnloadSWTT(handle);
  EXPECT_EQ(Drain(), (Messages{{0, 4, 0, u"SWTT.INI loaded"},
                               {2, 4, -3304, u""},
                               {0, 4, 0, u"Unload SWTT.ini"},
                               {0, 4, 0, u"Unload SWTT.ini"}}));
}

TEST_F(SimReader, TemplateItems) {
  Field(kTag);
  ASSERT_EQ(Open(), 0);
  std::u16string swtt(swttPath.begin(), swttPath.end());
  Templates(
      "[0123456789ABCDE]\n"
      "ID=0123456789012345678901234567890123456789\n"
      "f_00=Serial,0,8,h\n"
      "f_01=,,Name,,4,,6,,s,,\n"
      "f_02=OnlyName\n"
      "f_03= Blank,0x10,-3, i,extra\n"
      "f_16=Ignored,1,1,h\n"
      "f_4=Ignored,1,1,h\n"
      "f_05=" + std::string(70, 'n') + ",1,1,h\n"
      "f_06=Big,4294967296,-4294967297,h\n"
      "; [COMMENTED]\n"
      "[0456xxxxxxxx]\n");
  ASSERT_EQ(VOLNEDA_LoadSWTT(handle, W(swtt)), 0);
  ReaderContext *c = ToContext(handle);
  ASSERT_EQ(c->templateCount, 2);
  const SwttTemplate &t = c->templates[0];
  EXPECT_STREQ(t.mask, "0123456789AB");
  EXPECT_STREQ(t.id, "0123456789012345678901234567890123");
  struct Want {
    int n;
    uint8_t defined;
    const char *name;
    int32_t start, len;
    char type;
  } want[] = {
      {0, 1, "Serial", 0, 8, 'h'}, {1, 1, "Name", 4, 6, 's'},   {2, 1, "OnlyName", 0, 0, 0},
      {3, 1, " Blank", 0, -3, ' '}, {4, 0, "", 0, 0, 0},        {5, 1, "nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn", 0, 0, 0},
      {6, 1, "Big", INT32_MAX, INT32_MIN, 'h'},  // numbers saturate
      {15, 0, "", 0, 0, 0},
  };
  for (const Want &w : want) {
    SCOPED_TRACE(w.n);
    const SwttField &f = t.fields[w.n];
    EXPECT_EQ(f.defined, w.defined);
    EXPECT_STREQ(f.name, w.name);
    EXPECT_EQ(f.dataStart, w.start);
    EXPECT_EQ(f.dataLen, w.len);
    EXPECT_EQ(f.dataType, w.type);
  }
  for (const SwttField &f : c->templates[1].fields) EXPECT_EQ(f.defined, 0);
}

TEST_F(SimReader, ReaderDiscovery) {
  WriteTextFile(configPath, "[R1]\n;[HIDDEN]\n[R2]\n[R1]\n[" + std::string(40, 'L') + "]\n");
  VOLNEDA_WCHAR name[32];
  EXPECT_EQ(VOLNEDA_FindFirstReader(handle, name, nullptr), 0);
  EXPECT_EQ(U(name), u"R1");
  std::vector<std::u16string> rest;
  while (VOLNEDA_FindNextReader(handle, name) == 0) rest.push_back(U(name));
  EXPECT_EQ(rest, (std::vector<std::u16string>{u"R2", u"R1", std::u16string(31, u'L')}));
  EXPECT_EQ(VOLNEDA_FindNextReader(handle, name), -3253);
  // An explicit file wins over the configuration path.
  std::string other = Name("_other.ini");
  WriteTextFile(other, "; no sections\n");
  std::u16string wother(other.begin(), other.end());
  name[0] = u'Z';
  EXPECT_EQ(VOLNEDA_FindFirstReader(handle, name, W(wother)), -3252);
  EXPECT_EQ(name[0], u'Z');
  std::remove(other.c_str());
  EXPECT_EQ(Drain().size(), 0u);
  EXPECT_EQ(VOLNEDA_FindFirstReader(handle, name, W(u"missing-list.ini")), -3251);
  EXPECT_EQ(Drain(), (Messages{{2, 3, -3251, u"missing-list.ini"}}));
  EXPECT_EQ(VOLNEDA_FindNextReader(handle, name), -3253);
}

TEST_F(SimReader, TemplateLoadEndsAnEnumeration) {
  Field(kTag);
  Templates("[0123456789AB]\n");
  WriteTextFile(configPath, "[R1]\n[R2]\n");
  VOLNEDA_WCHAR name[32];
  ASSERT_EQ(VOLNEDA_FindFirstReader(handle, name, nullptr), 0);
  ASSERT_EQ(Open(), 0);  // loads the template through the same INI state
  EXPECT_EQ(VOLNEDA_FindNextReader(handle, name), -3253);
}

}  // namespace

namespace {

TEST_F(SimReader, ReaderListFallsBackToTheCurrentDirectory) {
  SetEnvVar("RF_RFID_CONFIG", nullptr);
  VOLNEDA_HANDLE h = nullptr;
  VOLNEDA_StartAll(&h, W(u""));
  ASSERT_STREQ(ToContext(h)->configPath, "");
  ASSERT_TRUE(WriteTextFile("rfconfig.ini", "[LOCAL]\n"));
  VOLNEDA_WCHAR name[32];
  EXPECT_EQ(VOLNEDA_FindFirstReader(h, name, nullptr), 0);
  EXPECT_EQ(U(name), u"LOCAL");
  EXPECT_EQ(VOLNEDA_FindFirstReader(nullptr, name, W(u"")), 0);  // no context either
  EXPECT_EQ(VOLNEDA_FindNextReader(nullptr, name), -3253);
  std::remove("rfconfig.ini");
  VOLNEDA_StopAll(&h);
}

TEST_F(SimReader, DuplicateTemplateSectionsReadTheFirst) {
  Field(kTag);
  Templates("[0123xxxxxxxx]\nf_00=A,1,2,h\n[0123xxxxxxxx]\nf_00=B,3,4,s\nf_01=C,5,6,i\n");
  ASSERT_EQ(Open(), 0);
  ReaderContext *c = ToContext(handle);
  ASSERT_EQ(c->templateCount, 2);
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    EXPECT_STREQ(c->templates[i].mask, "0123xxxxxxxx");
    EXPECT_STREQ(c->templates[i].fields[0].name, "A");
    EXPECT_EQ(c->templates[i].fields[0].dataLen, 2);
    EXPECT_EQ(c->templates[i].fields[1].defined, 0);
  }
}

TEST(Settings, NullContext) {
  EXPECT_EQ(SetUseScanTrigger(nullptr, 1), -3307);
  EXPECT_EQ(SetCommTimeOut(nullptr, 1), -3307);
  int32_t major = 0, minor = 0;
  VOLNEDA_Version(&major, &minor);
  EXPECT_EQ(major, 1);
  EXPECT_EQ(minor, 23);
}

}  // namespace
