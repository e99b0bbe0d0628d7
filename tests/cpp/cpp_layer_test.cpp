// The C++ layer (include/volneda.hpp) against the simulated reader: errors,
// teardown with messages still coming, stopping a watch, text outside
// ASCII, moves.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>
#include <type_traits>

#include "tagdrv_control.h"
#include "test_util.h"
#include "volneda.hpp"

namespace {

using volneda::Error;
using volneda::Reader;
using volneda::StatusMessage;

class CppLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto *test = ::testing::UnitTest::GetInstance()->current_test_info();
    // Short names: the template's path is an attribute of at most 63 characters.
    base = "cpp_" + std::to_string(std::hash<std::string>{}(test->name()) % 1000000);
    field = base + "_field.ini";
    templates = "./" + base + "_swtt.ini";
    WriteTextFile(templates, "[0123xxxxxxxx]\nf_00=Serial,0,8,h\nf_01=Product,20,12,s\n");
    WriteTextFile(field, "[reader R1]\nversion = 2.0\nattr.RFID_SWTT_FILE_NAME = " + templates +
                             "\nattr.Power = 30\n[tag pallet]\nid = 0123456789ABCDEF\nswtt = 0123456789AB\n"
                             "type = I2\nantenna = 10\nmem.0 = 0123456789ABCDEF\ntext.20 = WIDGET-A\n");
    TagdrvSetFieldFile(field.c_str());
  }
  void TearDown() override {
    TagdrvSetFieldFile(nullptr);
    std::remove(field.c_str());
    std::remove(templates.c_str());
  }
  Reader Open(volneda::MessageHandler handler = {}) { return Reader("./" + base + "_rfconfig.ini", "R1", handler); }

  std::string base, field, templates;
};

TEST_F(CppLayer, ErrorsCarryCodeMeaningAndTheMessagesOfTheFailedCall) {
  struct Case {
    const char *what;
    std::function<void(Reader &)> call;
    int32_t code;  // 1: any status of the driver
    const char *meaning;
    int32_t messageSource, messageCode;  // one of the call's messages
  } cases[] = {
      {"unknown command", [](Reader &r) { r.command("frobnicate"); }, VOLNEDA_ERR_CMD_UNKNOWN,
       "the command begins with neither \"read\" nor \"identify\"", 2, VOLNEDA_ERR_CMD_UNKNOWN},
      {"bad tag id", [](Reader &r) { r.identify("tagid=0123"); }, VOLNEDA_ERR_CMD_TAGID_LENGTH,
       "a tagid value that is not 16 characters long", 2, VOLNEDA_ERR_CMD_TAGID_LENGTH},
      {"write request root", [](Reader &r) { r.write(std::string_view("<ReadTags/>")); }, VOLNEDA_ERR_DOC_ROOT,
       "the root element of the write request is not WriteTags", 1, VOLNEDA_ERR_DOC_ROOT},
      {"template file", [](Reader &r) { r.loadTemplate("./no_such_template.ini"); }, VOLNEDA_ERR_TEMPLATE_LOAD,
       "the tag template file failed to load", 4, VOLNEDA_ERR_TEMPLATE_LOAD},
      {"driver attribute", [](Reader &r) { r.attribute("NoSuchAttribute"); }, 1, "reader driver: ", 12, 1},
  };
  Reader reader = Open();
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    try {
      c.call(reader);
      ADD_FAILURE() << "no error";
    } catch (const Error &e) {
      EXPECT_EQ(&e.code().category(), &volneda::category());
      EXPECT_STREQ(e.code().category().name(), "volneda");
      if (c.code == 1) {
        EXPECT_LT(e.result(), 0);
        EXPECT_STREQ(volneda::codeName(e.result()), "");
      } else {
        EXPECT_EQ(e.result(), c.code);
        EXPECT_EQ(e.code().message(), c.meaning);
      }
      EXPECT_EQ(e.meaning().rfind(c.meaning, 0), 0u) << e.meaning();
      EXPECT_NE(std::string(e.what()).find(std::to_string(e.result()) + " (" + e.meaning() + ")"), std::string::npos);
      const int32_t code = c.messageCode == 1 ? e.result() : c.messageCode;
      bool found = false;
      for (const StatusMessage &m : e.messages()) found |= m.source == c.messageSource && m.code == code;
      EXPECT_TRUE(found) << "no message of source " << c.messageSource << " with code " << code;
    }
  }
  // A failed open leaves nothing behind and says why.
  try {
    Reader("./" + base + "_rfconfig.ini", "R9");
    ADD_FAILURE() << "R9 opened";
  } catch (const Error &e) {
    EXPECT_NE(e.result(), 0);
    EXPECT_EQ(e.operation(), "open R9");
  }
}

TEST_F(CppLayer, EveryMessageReachesASlowHandlerBeforeItsCallReturnsAndTeardownLosesNone) {
  std::vector<std::string> seen;
  {
    Reader reader = Open([&](const StatusMessage &m) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      seen.push_back(std::string(m.sourceName()) + " " + std::to_string(m.code) + " " + m.text);
    });
    reader.read("field(0,7)");
    EXPECT_EQ(seen.size(), 6u);  // the read's messages, before it returned
    reader.write(std::string_view("<WriteTags><Tag ID=\"0FFF000000000000\"/></WriteTags>"));
  }  // the teardown drains before it stops the dispatcher: nothing lost, nothing after it
  EXPECT_EQ(seen, (std::vector<std::string>{
                      "open 0 Opening reader...", "get-attribute 0 RFID_SWTT_FILE_NAME", "template 0 SWTT.INI read",
                      "identify 0 Identifying", "read 0 Read OK", "read -3302 Field 7", "request-check 0 XML document passed test",
                      "identify 0 Identifying", "write -3350 "}));
}

TEST_F(CppLayer, WatchStopsWithinAFractionOfItsInterval) {
  Reader reader = Open();
  for (long interval : {300L, 2000L}) {
    SCOPED_TRACE(interval);
    volneda::PresenceRules rules;
    rules.interval = interval;
    volneda::Watch watch(reader, rules);
    auto first = watch.next();  // the pallet arrives in round 1
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->kind, volneda::PresenceEvent::Kind::arrived);
    EXPECT_EQ(first->tag.antenna, 10);
    const auto start = std::chrono::steady_clock::now();
    std::thread stopper([&] { watch.stop(); });
    EXPECT_FALSE(watch.next().has_value());  // a blocked next() ends too
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(interval / 4));
  }
}

TEST_F(CppLayer, TextOutsideAsciiRoundTrips) {
  struct Case {
    std::string utf8, expect;
    size_t units;
  } cases[] = {
      {"", "", 0},
      {"WIDGET", "WIDGET", 6},
      {"Müller €", "Müller €", 8},
      {"Łódź 日本", "Łódź 日本", 7},
      {"😀", "😀", 2},                    // a surrogate pair
      {"a\xff" "b", "a\xEF\xBF\xBD" "b", 3},  // not UTF-8: U+FFFD
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD", 2},  // overlong
  };
  for (const Case &c : cases) {
    const auto wide = volneda::detail::ToApi(c.utf8);
    EXPECT_EQ(wide.size(), c.units) << c.utf8;
    EXPECT_EQ(volneda::detail::FromApi(wide.c_str(), wide.size() + 1), c.expect);
  }
  // Through the reader: what the reader's code page holds comes back as written.
  Reader reader = Open();
  auto result = reader.write(volneda::WriteRequest().tag("0123456789ABCDEF").mem(48, "Müller €<&>"));
  ASSERT_EQ(result.code, 0);
  ASSERT_EQ(result.tags.size(), 1u);
  EXPECT_EQ(result.tags[0].status, volneda::WriteOutcome::Status::written);
  auto tags = reader.read("mem(name,48,11,s)", "tagid=0123456789ABCDEF");
  ASSERT_EQ(tags.size(), 1u);
  ASSERT_NE(tags[0].field("name"), nullptr);
  EXPECT_EQ(tags[0].field("name")->value, "Müller €<&>");
}

TEST_F(CppLayer, MovesHandTheContextOver) {
  static_assert(!std::is_copy_constructible_v<Reader> && !std::is_copy_assignable_v<Reader>);
  static_assert(std::is_nothrow_move_constructible_v<Reader> && std::is_nothrow_move_assignable_v<Reader>);
  Reader a = Open();
  Reader b(std::move(a));
  EXPECT_FALSE(a.isOpen());
  EXPECT_EQ(b.identify().size(), 1u);
  try {
    a.identify();
    ADD_FAILURE() << "a moved-from reader identified";
  } catch (const Error &e) {
    EXPECT_EQ(e.result(), VOLNEDA_ERR_NOT_OPEN);
  }
  Reader c = Open();
  c = std::move(b);  // c's own reader is closed first
  EXPECT_EQ(c.name(), "R1");
  EXPECT_EQ(c.read("field(1)")[0].field("Product")->value, "WIDGET-A");
  c = Reader();
  EXPECT_FALSE(c.isOpen());
}

}  // namespace
