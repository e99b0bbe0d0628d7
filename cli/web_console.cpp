#include "web_console.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>

#include "format.h"
#include "meanings.h"
#include "presence_json.h"
#include "result_doc.h"
#include "text.h"
#include "tool.h"

namespace cli {
namespace {

// Each watch round reads every template field of the tags in the field:
// one identify for the driver, and the template each tag matched comes
// with it.
constexpr const char *kWatchCommand = "read";
constexpr long kMinInterval = 100, kMaxInterval = 60000;
// The chart's history: the rounds of the last minutes.
constexpr auto kHistorySpan = std::chrono::minutes(5);
constexpr size_t kHistoryMax = 3000, kChangesMax = 50;
// The attributes set since the open that the state keeps, and the longest
// name the console takes.
constexpr size_t kAttributesMax = 32, kAttributeNameMax = 256;

long long EpochMs(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
}

bool IsTagId(const std::string &id) {
  if (id.size() != 16) return false;
  for (char c : id)
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

void CheckAttributeName(const std::string &name) {
  if (name.empty()) throw BadRequest("name: an attribute name is needed");
  if (name.size() > kAttributeNameMax)
    throw BadRequest("name: at most " + std::to_string(kAttributeNameMax) + " bytes");
}

// The characters 0x80 to 0x9F of Windows-1252 (the five it leaves undefined
// are the C1 controls of the same value), as the library converts them.
constexpr char16_t kCodePageHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

std::string CodePageMisses(const std::string &utf8) {
  std::u16string text = Utf8To16(utf8);
  std::string out;
  std::u16string seen;
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    size_t n = c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() ? 2 : 1;
    std::u16string one = text.substr(i, n);
    i += n - 1;
    bool held = c < 0x80 || (c >= 0xA0 && c <= 0xFF) ||
                std::find(std::begin(kCodePageHigh), std::end(kCodePageHigh), c) != std::end(kCodePageHigh);
    if (held || seen.find(one) != std::u16string::npos) continue;
    seen += one;
    char32_t code = n == 2 ? 0x10000 + ((c - 0xD800) << 10) + (text[i] - 0xDC00) : c;
    char hex[16];
    std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(code));
    out += (out.empty() ? "" : ", ") + Utf16To8(one) + " (" + hex + ")";
  }
  return out;
}

WebConsole::WebConsole(const std::string &configPath, const std::string &libraryPath, EventHub &hub)
    : config_(configPath), libraryPath_(libraryPath), hub_(hub) {
  session_ = std::make_unique<ReaderSession>(libraryPath, [this](const StatusMessage &m) { Arrive(m); });
  watcher_ = std::thread(&WebConsole::WatchLoop, this);
}

void WebConsole::Arrive(const StatusMessage &m) {
  std::lock_guard<std::mutex> g(arrivedLock_);
  arrived_.push_back({m, Clock::now()});
}

WebConsole::~WebConsole() { Shutdown(); }

void WebConsole::Shutdown() {
  {
    std::lock_guard<std::mutex> g(watchLock_);
    stop_ = true;
  }
  wake_.notify_all();
  if (watcher_.joinable()) watcher_.join();
  std::lock_guard<std::mutex> g(lib_);
  session_.reset();  // Close, StopDispatcher, StopAll
}

Json WebConsole::Result(int32_t code) { return {{"code", code}, {"meaning", session_->Meaning(code)}}; }

template <class F>
Json WebConsole::Run(const char *origin, F &&f) {
  std::lock_guard<std::mutex> g(lib_);
  if (!session_) throw BadRequest("the console is shutting down");
  Json reply = f();
  session_->Flush();
  std::vector<Arrived> got;
  {
    std::lock_guard<std::mutex> a(arrivedLock_);
    got.swap(arrived_);
  }
  Json messages = Json::array();
  for (const Arrived &a : got) {
    const StatusMessage &m = a.message;
    Json j = {{"time", IsoTime(a.at)},
              {"level", m.level},
              {"levelName", LevelName(m.level)},
              {"source", m.source},
              {"sourceName", SourceName(m.source)},
              {"code", m.code},
              {"meaning", session_->Meaning(m.code)},
              {"text", m.text},
              {"origin", origin}};
    hub_.Publish("status", Dump(j));
    messages.push_back(std::move(j));
  }
  reply["messages"] = std::move(messages);
  return reply;
}

void WebConsole::KeepAttribute(const Json &a) {
  for (Json &kept : attributes_)
    if (kept["name"] == a["name"]) {
      kept = a;
      return;
    }
  attributes_.push_back(a);
  if (attributes_.size() > kAttributesMax) attributes_.erase(attributes_.begin());
}

Json WebConsole::WatchJson() {
  std::lock_guard<std::mutex> g(watchLock_);
  return {{"running", running_}, {"interval", rules_.interval}, {"command", kWatchCommand},
          {"rules", PresenceRulesJson(rules_)}};
}

Json WebConsole::StateLocked() {
  Json history = Json::array(), changes = Json::array();
  for (const Json &h : history_) history.push_back(h);
  for (const Json &c : changes_) changes.push_back(c);
  return {{"tool", VOLNEDA_TOOL_VERSION},
          {"library", LibraryVersion()},
          {"config", config_},
          {"reader", session_ && session_->IsOpen() ? session_->Reader() : std::string()},
          {"attributes", attributes_},
          {"watch", WatchJson()},
          {"table", TagTableJson(table_)},
          {"history", std::move(history)},
          {"changes", std::move(changes)}};
}

Json WebConsole::State() {
  std::lock_guard<std::mutex> g(lib_);
  return StateLocked();
}

Json WebConsole::Readers() {
  return Run("request", [&] {
    ReaderList list = session_->Readers();
    Json j = {{"config", config_}};
    j.update(Result(list.code));
    j["readers"] = list.names;
    return j;
  });
}

Json WebConsole::Open(const std::string &reader) {
  if (reader.empty()) throw BadRequest("reader: a name is needed");
  Json reply = Run("request", [&] {
    // Another reader is opened in a context of its own, and takes the
    // place of the open one only once it is open.  The same reader is
    // opened afresh.
    std::unique_ptr<ReaderSession> fresh;
    if (session_->IsOpen() && session_->Reader() != reader)
      fresh = std::make_unique<ReaderSession>(libraryPath_, [this](const StatusMessage &m) { Arrive(m); });
    else if (session_->IsOpen())
      session_->Close();
    int32_t r = (fresh ? *fresh : *session_).Open(reader);
    Json j = {{"reader", reader}};
    if (r != 0) {
      // The meaning comes from the reader that stays open, if any: the
      // driver's own text for its codes.
      j.update(Result(r));
      j["open"] = session_->IsOpen() ? session_->Reader() : std::string();
      // Which readers there are, so that the page can offer them.
      ReaderList list = session_->Readers();
      Json readers = Result(list.code);
      readers["config"] = config_;
      readers["readers"] = list.names;
      j["readers"] = std::move(readers);
      if (!session_->IsOpen()) {
        std::lock_guard<std::mutex> w(watchLock_);
        running_ = false;
      }
      return j;
    }
    if (fresh) session_.swap(fresh);
    fresh.reset();  // the reader that was open: Close, StopDispatcher, StopAll
    {
      std::lock_guard<std::mutex> w(watchLock_);
      table_ = TagTable(rules_);
    }
    history_.clear();
    changes_.clear();
    attributes_ = Json::array();
    j.update(Result(r));
    std::string value;
    int32_t a = session_->GetAttribute("RFID_SWTT_FILE_NAME", value);
    Json attr = {{"name", "RFID_SWTT_FILE_NAME"}, {"value", value}};
    attr.update(Result(a));
    KeepAttribute(attr);
    j["attributes"] = attributes_;
    {
      std::lock_guard<std::mutex> w(watchLock_);
      running_ = true;
    }
    return j;
  });
  wake_.notify_all();
  hub_.Publish("state", Dump(State()));
  return reply;
}

Json WebConsole::Close() {
  Json reply = Run("request", [&] {
    {
      std::lock_guard<std::mutex> w(watchLock_);
      running_ = false;
    }
    return Result(session_->Close());
  });
  hub_.Publish("state", Dump(State()));
  return reply;
}

Json WebConsole::GetAttribute(const std::string &name) {
  CheckAttributeName(name);
  return Run("request", [&] {
    std::string value;
    int32_t r = session_->GetAttribute(name, value);
    Json j = {{"name", name}, {"value", value}};
    j.update(Result(r));
    return j;
  });
}

Json WebConsole::SetAttribute(const std::string &name, const std::string &value) {
  CheckAttributeName(name);
  return Run("request", [&] {
    Json j = {{"name", name}, {"value", value}};
    j.update(Result(session_->SetAttribute(name, value)));
    if (session_->IsOpen()) KeepAttribute(j);
    return j;
  });
}

Json WebConsole::Command(const std::string &command) {
  return Run("request", [&] {
    CommandResult r = session_->Command(command);
    Json j = {{"command", command}};
    j.update(Result(r.code));
    j["tagCount"] = r.tagCount;
    j["xml"] = r.xml;
    ResultDoc doc;
    if (r.code == 0 && ParseResultDoc(r.xml, doc)) j["result"] = DocJson(doc);
    return j;
  });
}

Json WebConsole::Tag(const std::string &id, long start, long length) {
  if (!IsTagId(id)) throw BadRequest("id: 16 hexadecimal digits");
  // A hexadecimal value of 256 bytes is the longest a document holds.
  if (start < 0 || start > 65535 || length < 1 || length > 256)
    throw BadRequest("memory: start 0 to 65535, length 1 to 256");
  return Run("request", [&] {
    Json j = {{"id", id}};
    CommandResult fields = session_->Command("read * where tagid=" + id);
    j.update(Result(fields.code));
    ResultDoc doc;
    if (fields.code != 0 || !ParseResultDoc(fields.xml, doc)) return j;
    j["present"] = !doc.tags.empty();
    if (doc.tags.empty()) return j;
    j["tag"] = TagJson(doc.tags[0], true);
    j["xml"] = fields.xml;
    CommandResult raw = session_->Command("read mem(raw," + std::to_string(start) + "," + std::to_string(length) +
                                          ",h) where tagid=" + id);
    Json memory = {{"start", start}, {"length", length}};
    memory.update(Result(raw.code));
    ResultDoc rawDoc;
    if (raw.code == 0 && ParseResultDoc(raw.xml, rawDoc) && !rawDoc.tags.empty() && !rawDoc.tags[0].fields.empty())
      memory["hex"] = rawDoc.tags[0].fields[0].value;
    j["memory"] = std::move(memory);
    return j;
  });
}

Json WebConsole::Write(const std::string &id, const std::vector<WriteItem> &items) {
  if (items.empty()) throw BadRequest("fields: nothing to write");
  return Run("request", [&] {
    std::string request = WriteRequest(id, items);
    Json j = Result(session_->Write(request));
    j["request"] = request;
    return j;
  });
}

Json WebConsole::Watch(std::optional<bool> running, const Json &rules) {
  {
    std::lock_guard<std::mutex> g(lib_);
    std::lock_guard<std::mutex> w(watchLock_);
    volneda::PresenceRules next = rules_;
    std::string problem = PresenceRulesFromJson(rules, next);
    if (!problem.empty()) throw BadRequest(problem);
    if (next.interval < kMinInterval || next.interval > kMaxInterval)
      throw BadRequest("interval: " + std::to_string(kMinInterval) + " to " + std::to_string(kMaxInterval) + " ms");
    volneda::PresenceRules sameInterval = next;
    sameInterval.interval = rules_.interval;
    const bool changed = PresenceRulesJson(sameInterval) != PresenceRulesJson(rules_);
    rules_ = std::move(next);
    if (changed) table_ = TagTable(rules_);
    // A watch needs an open reader.
    if (running) running_ = *running && session_ && session_->IsOpen();
  }
  wake_.notify_all();
  Json j = WatchJson();
  hub_.Publish("watch", Dump(j));
  if (!rules.empty()) hub_.Publish("state", Dump(State()));
  return j;
}

void WebConsole::WatchLoop() {
  auto last = std::chrono::steady_clock::now() - std::chrono::hours(1);
  std::unique_lock<std::mutex> w(watchLock_);
  while (!stop_) {
    if (!running_) {
      wake_.wait(w);
      continue;
    }
    auto due = last + std::chrono::milliseconds(rules_.interval);
    if (std::chrono::steady_clock::now() < due) {
      wake_.wait_until(w, due);
      continue;
    }
    last = std::chrono::steady_clock::now();
    w.unlock();
    Round();
    w.lock();
  }
}

void WebConsole::Round() {
  Run("watch", [&] {
    if (!session_->IsOpen()) return Json::object();
    CommandResult r = session_->Command(kWatchCommand);
    if (r.code != 0) {
      // A failing round stops the watch; the page shows why and can resume.
      {
        std::lock_guard<std::mutex> w(watchLock_);
        running_ = false;
      }
      Json j = WatchJson();
      j.update(Result(r.code));
      hub_.Publish("watch", Dump(j));
      return Json::object();
    }
    ResultDoc doc;
    ParseResultDoc(r.xml, doc);
    Clock::time_point now = Clock::now();
    Json events = Json::array();
    for (const volneda::PresenceEvent &e : table_.Update(doc, now)) {
      events.push_back(PresenceEventJson(e, session_->Reader(), doc));
      changes_.push_back(events.back());
      hub_.Publish("presence", Dump(events.back()));
    }
    while (changes_.size() > kChangesMax) changes_.pop_front();
    Json point = {{"round", table_.Round()}, {"time", EpochMs(now)}, {"count", table_.PresentCount()}};
    history_.push_back(point);
    while (!history_.empty() && (history_.size() > kHistoryMax ||
                                 history_.front()["time"].get<long long>() < EpochMs(now - kHistorySpan)))
      history_.pop_front();
    hub_.Publish("round", Dump({{"table", TagTableJson(table_)}, {"point", point}, {"events", events}}));
    return Json::object();
  });
}

}  // namespace cli
