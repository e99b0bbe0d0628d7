// A reader against the simulated driver: opening and closing, attributes,
// error texts, templates, the reader list, with every status message.

#include "config/swtt.h"
#include "sim_reader.h"

namespace {

TEST_F(SimReader, FromOpenToClose) {
  const std::string bare = swttPath.substr(2);  // completed with the reader list's directory
  Templates("[0123456789AB]\nID=Pallet\nf_00=Serial,0,8,h\n[0456xxxxxxxx]\n");
  WriteTextFile(fieldPath, "[reader DOCK1]\nattr.RFID_SWTT_FILE_NAME = " + bare + "\nattr.Power = 30\n"
                           "[reader GATE2]\nfail.allocate = -202\n[reader NOTPL]\nattr.RFID_SWTT_FILE_NAME = none.ini\n");
  auto attribute = [this](const char16_t *name, int32_t want) {
    VOLNEDA_WCHAR buf[64] = {};
    EXPECT_EQ(VOLNEDA_GetAttribute(handle, W(name), buf), want) << Narrow(name);
    return U(buf);
  };
  ASSERT_EQ(Open(u"DOCK1"), 0);
  EXPECT_EQ(Context()->templateCount, 2);
#if defined(_WIN32)
  EXPECT_EQ(attribute(u"RFID_SWTT_FILE_NAME", 0), Wide("./\\" + bare));
#else
  EXPECT_EQ(attribute(u"RFID_SWTT_FILE_NAME", 0), Wide(".//" + bare));
#endif
  EXPECT_EQ(attribute(u"Power", 0), u"30");
  EXPECT_EQ(VOLNEDA_SetAttribute(handle, W(u"Power"), W(std::u16string(100, u'v'))), 0);
  EXPECT_EQ(attribute(u"Power", 0), std::u16string(63, u'v'));  // cut to the 64-character buffer
  EXPECT_EQ(attribute(u"Nope", -60), u"");
  EXPECT_EQ(VOLNEDA_SetAttribute(handle, W(u""), W(u"x")), -60);
  VOLNEDA_WCHAR text[112];
  for (auto [code, want] : {std::pair{-60, u"Unknown attribute"}, {-9999, u"Unable to retieve Errorstring detail"}}) {
    EXPECT_EQ(VOLNEDA_GetErrorString(handle, code, text), 1);
    EXPECT_EQ(U(text), want);
  }
  EXPECT_EQ(SetUseScanTrigger(handle, 1), -3400);
  EXPECT_EQ(SetCommTimeOut(handle, 500), -3450);
  EXPECT_EQ(Open(u"DOCK1"), -3303);
  EXPECT_EQ(VOLNEDA_Close(handle), 0);
  EXPECT_TRUE(Context()->templates == nullptr && Context()->control == nullptr);
  // The control block fails: the reader stays open for Close to release.
  EXPECT_EQ(Open(u"GATE2"), -202);
  EXPECT_EQ(VOLNEDA_Close(handle), 0);
  EXPECT_EQ(Open(u"NOTPL"), 0);  // without a template file the open still succeeds
  EXPECT_EQ(VOLNEDA_Close(handle), 0);
  TagdrvSetFault(TAGDRV_FAULT_OPEN, -200);  // the driver refuses: nothing stays open
  EXPECT_EQ(Open(u"DOCK1"), -200);
  EXPECT_EQ(VOLNEDA_Close(handle), -3300);
  const Status opening{0, 5, 0, u"Opening reader..."}, templateName{0, 12, 0, u"RFID_SWTT_FILE_NAME"};
  EXPECT_EQ(Drain(), (Messages{opening, templateName, {0, 4, 0, u"SWTT.INI read"}, templateName, {0, 12, 0, u"Power"},
                               {0, 11, 0, u"Power"}, {0, 12, 0, u"Power"}, {2, 12, -60, u"Nope"}, {2, 11, -60, u""}, {0, 13, -3400, u""},
                               {1, 24, -3450, u""}, {1, 5, -3303, u"Reader is already open"}, opening,
                               {2, 5, -202, u""}, opening, templateName, {1, 4, 0, u"No SWTT.INI file"}, opening,
                               {3, 5, -200, u"Reader failed to open"}, {2, 6, -3300, u""}}));
}

// Which driver calls an open and the close after it make, by how the open
// fails: a handle with a failing status gets no further call, and a failed
// control block is still "freed" (null) before the driver is closed.
TEST_F(SimReader, DriverCallsOfOpenAndClose) {
  Field("");
  const char *functions[] = {"G4Open", "RFIDAllocateControl", "RFIDFreeControl", "G4Close"};
  auto calls = [&] {
    std::vector<int32_t> counts;
    for (const char *f : functions) counts.push_back(TagdrvCallCount(f));
    return counts;
  };
  // One digit a function: how many calls it got between two counts.
  auto delta = [](const std::vector<int32_t> &before, const std::vector<int32_t> &after) {
    std::string d;
    for (size_t i = 0; i < before.size(); ++i) d += std::to_string(after[i] - before[i]);
    return d;
  };
  struct Case { int32_t fault, value, open; const char *openCalls, *closeCalls; int32_t close; } cases[] = {
      {0, 0, 0, "1100", "0011", 0},
      {TAGDRV_FAULT_OPEN, -200, -200, "1000", "0000", -3300},
      {TAGDRV_FAULT_OPEN_STATUS, -201, -201, "1000", "0000", -3300},
      {TAGDRV_FAULT_ALLOCATE, -202, -202, "1100", "0011", 0},
  };
  for (const Case &c : cases) {
    TagdrvClearFaults();
    if (c.fault) TagdrvSetFault(c.fault, c.value);
    const auto before = calls();
    EXPECT_EQ(Open(), c.open);
    const auto opened = calls();
    EXPECT_EQ(delta(before, opened), c.openCalls) << c.fault;
    EXPECT_EQ(VOLNEDA_Close(handle), c.close);
    EXPECT_EQ(delta(opened, calls()), c.closeCalls) << c.fault;
  }
  EXPECT_EQ(TagdrvCallCount("G4Nothing"), -1);
}

TEST_F(SimReader, ClosedReaderAndTemplates) {
  VOLNEDA_WCHAR buf[128] = {u'Z', 0};
  EXPECT_EQ(VOLNEDA_GetErrorString(handle, -1, buf), 0);
  EXPECT_EQ(VOLNEDA_GetXMLData(handle, buf, 128), 0);
  EXPECT_EQ(U(buf), u"Z");  // no document, no text: both untouched
  EXPECT_EQ(VOLNEDA_SetAttribute(handle, W(u"a"), W(u"b")), -3300);
  EXPECT_EQ(VOLNEDA_GetAttribute(handle, W(u"a"), buf), -3300);
  EXPECT_EQ(VOLNEDA_LoadSWTT(handle, W(u"x")), -3300);
  VOLNEDA_UnloadSWTT(handle);  // posted with no table and no reader too
  Field("");
  ASSERT_EQ(Open(), 0);
  Templates("; nothing but a comment\n");
  EXPECT_EQ(VOLNEDA_LoadSWTT(handle, W(Wide(swttPath))), 0);
  EXPECT_NE(Context()->templates, nullptr);  // present and empty
  EXPECT_EQ(VOLNEDA_LoadSWTT(handle, W(u"missing.ini")), -3304);
  EXPECT_EQ(Context()->templates, nullptr);
  const Status unload{0, 4, 0, u"Unload SWTT.ini"};
  EXPECT_EQ(Drain(), (Messages{{2, 11, -3300, u"SetAttribute"}, {2, 12, -3300, u"GetAttribute"}, {2, 4, -3300, u""},
                               unload, {0, 5, 0, u"Opening reader..."}, {0, 12, 0, u"RFID_SWTT_FILE_NAME"},
                               {1, 4, 0, u"No SWTT.INI file"}, {0, 4, 0, u"SWTT.INI loaded"}, {2, 4, -3304, u""}}));
  Templates("[0123456789ABCDE]\nID=0123456789012345678901234567890123456789\nf_00=Serial,0,8,h\n"
            "f_01=,,Name,,4,,6,,s,,\nf_02=OnlyName\nf_03= Blank,0x10,-3, i,extra\nf_16=Ignored,1,1,h\n"
            "f_4=Ignored,1,1,h\nf_05=" + std::string(70, 'n') + ",1,1,h\nf_06=Big,4294967296,-4294967297,h\n"
            "; [COMMENTED]\n[0456xxxxxxxx]\n[0123456789ABCDE]\nf_00=Second,1,2,h\n");
  ASSERT_EQ(VOLNEDA_LoadSWTT(handle, W(Wide(swttPath))), 0);
  ASSERT_EQ(Context()->templateCount, 3);
  const SwttTemplate &t = Context()->templates[0];
  EXPECT_EQ(std::string(t.mask) + "|" + t.id, "0123456789AB|0123456789012345678901234567890123");
  // Each field as defined|name|start|length|type; numbers saturate.
  const std::string want[16] = {"1|Serial|0|8|h", "1|Name|4|6|s", "1|OnlyName|0|0|", "1| Blank|0|-3| ", "0||0|0|",
                                "1|" + std::string(31, 'n') + "|0|0|", "1|Big|2147483647|-2147483648|h"};
  for (int n = 0; n < 16; ++n) {
    const SwttField &f = t.fields[n];
    std::string got = std::to_string(f.defined) + "|" + f.name + "|" + std::to_string(f.dataStart) + "|" +
                      std::to_string(f.dataLen) + "|" + (f.dataType ? std::string(1, f.dataType) : "");
    EXPECT_EQ(got, want[n].empty() ? "0||0|0|" : want[n]) << n;
  }
  for (const SwttField &f : Context()->templates[1].fields) EXPECT_EQ(f.defined, 0);
  EXPECT_STREQ(Context()->templates[2].fields[0].name, "Serial");  // a second section of a name reads the first
}

TEST_F(SimReader, ReaderDiscovery) {
  WriteTextFile(configPath, "[R1]\n;[HIDDEN]\n[R2]\n[R1]\n[" + std::string(40, 'L') + "]\n");
  VOLNEDA_WCHAR name[32];
  EXPECT_EQ(VOLNEDA_FindFirstReader(handle, name, nullptr), 0);
  std::vector<std::u16string> seen{U(name)};
  while (VOLNEDA_FindNextReader(handle, name) == 0) seen.push_back(U(name));
  EXPECT_EQ(seen, (std::vector<std::u16string>{u"R1", u"R2", u"R1", std::u16string(31, u'L')}));
  EXPECT_EQ(VOLNEDA_FindNextReader(handle, name), -3253);
  // Loading a template file ends the enumeration: they share one INI state.
  EXPECT_EQ(VOLNEDA_FindFirstReader(handle, name, nullptr), 0);
  Field("");
  Templates("[0123456789AB]\n");
  ASSERT_EQ(Open(), 0);
  EXPECT_EQ(VOLNEDA_FindNextReader(handle, name), -3253);
  Drain();
  // An explicit file wins over the configuration path.
  WriteTextFile(fieldPath, "; no sections\n");
  name[0] = u'Z';
  EXPECT_EQ(VOLNEDA_FindFirstReader(handle, name, W(Wide(fieldPath))), -3252);
  EXPECT_EQ(name[0], u'Z');
  EXPECT_EQ(VOLNEDA_FindFirstReader(handle, name, W(u"missing-list.ini")), -3251);
  EXPECT_EQ(Drain(), (Messages{{2, 3, -3251, u"missing-list.ini"}}));
  // Without a configuration path or a context: the current directory.
  SetEnvVar("RF_RFID_CONFIG", nullptr);
  ASSERT_TRUE(WriteTextFile("rfconfig.ini", "[LOCAL]\n"));
  EXPECT_EQ(VOLNEDA_FindFirstReader(nullptr, name, W(u"")), 0);
  EXPECT_EQ(U(name), u"LOCAL");
  EXPECT_EQ(VOLNEDA_FindNextReader(nullptr, name), -3253);
  std::remove("rfconfig.ini");
}

}  // namespace
