// The driver host: which backend a driver configuration gives a reader, and
// the texts of what goes wrong on the way, asked for without a handle as
// the tool does after a failed open.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tagdrv.h"
#include "test_util.h"

namespace {

TEST(DriverHost, RoutesEachReaderOrSaysWhyNot) {
  WriteTextFile("host_field.ini", "[reader R1]\nversion = 2.3\n[tag a]\nid = 0123456789ABCDEF\n");
  // Through the variable: a vendor's library (the simulated reader built
  // on its own) has a control interface of its own.
  SetEnvVar("TAGDRV_FIELD", "host_field.ini");
  std::filesystem::create_directories("host_config_dir");
  struct Case {
    const char *config;  // null: no configuration file at all
    const char *reader;
    int32_t status;      // 0: opens
    std::string text;    // the error text without a handle
  } cases[] = {
      {nullptr, "R1", 0, ""},
      {"[reader R1]\nbackend = sim\n", "R1", 0, ""},
      {"[reader Gate]\nbackend = sim\nsim.reader = R1\n", "Gate", 0, ""},
      {"[default]\n", "R1", 0, ""},
      {"[reader R1]\n", "R2", -110, "reader not configured: R2 (in host_tagdrv.ini)"},
      {"[reader R1]\nbackend = radio\n", "R1", -111, "unknown backend \"radio\" for reader R1"},
      {"[reader R1]\nbackend = vendor\nlibrary = /no/such/libdriver.so\n", "R1", -120,
       "backend library not found: /no/such/libdriver.so"},
      {"[reader R1]\nbackend = vendor\n", "R1", -122, "reader R1 has backend vendor but no library setting"},
      {"[reader R1]\ntrace = /no/such/dir/t.trace\n", "R1", -113, "trace file cannot be written: /no/such/dir/t.trace"},
      {"[reader R3]\n", "R3", -100, "No such reader in the tag field file: name one of its [reader NAME] sections"},  // the backend's own text
#if !defined(_WIN32)
      {"[reader R1]\nbackend = vendor\nlibrary = " VOLNEDA_TAGDRV_SIM "\n", "R1", 0, ""},
      {"[reader V]\nbackend = vendor\nlibrary = " VOLNEDA_TAGDRV_SIM "\nvendor.reader = R1\n", "V", 0, ""},
      {"[reader V]\nbackend = vendor\nlibrary = " VOLNEDA_TAGDRV_SIM "\n", "V", -100, "No such reader in the tag field file: name one of its [reader NAME] sections"},
#endif
  };
  for (const Case &c : cases) {
    if (c.config) WriteTextFile("host_tagdrv.ini", c.config);
    SetEnvVar("TAGDRV_CONFIG", c.config ? "host_tagdrv.ini" : "host_no_such_config.ini");
    int32_t status = 1;
    G4HANDLE h = G4Open(c.reader, &status, nullptr, 0, 0);
    EXPECT_EQ(status, c.status) << c.config;
    if (c.status == 0) {
      // The backend's reader behind the host's handle: its version, its tags.
      ASSERT_NE(h, nullptr);
      EXPECT_EQ(h->majorVersion * 10 + h->minorVersion, 23u);
      RfidControl *control = RFIDAllocateControl(h, &status);
      ASSERT_NE(control, nullptr);
      EXPECT_EQ(G4Identify(h, control), 0);
      EXPECT_EQ(control->foundCount, 1u);
      RFIDFreeControl(h, control, &status);
      G4Close(h, &status);
    } else {
      EXPECT_EQ(h, nullptr);
      char text[TAGDRV_ERROR_TEXT_MAX + 1] = {};
      EXPECT_EQ(G4GetErrorString(nullptr, status, text), 0) << c.config;
      EXPECT_EQ(text, c.text);
    }
  }
  // A configuration that is no file, or too big, is refused whole.
  SetEnvVar("TAGDRV_CONFIG", "host_config_dir");
  int32_t status = 0;
  EXPECT_EQ(G4Open("R1", &status, nullptr, 0, 0), nullptr);
  EXPECT_EQ(status, -112);
  SetEnvVar("TAGDRV_CONFIG", nullptr);
  SetEnvVar("TAGDRV_FIELD", nullptr);
  std::filesystem::remove_all("host_config_dir");
  for (const char *f : {"host_field.ini", "host_tagdrv.ini"}) std::remove(f);
}

}  // namespace
