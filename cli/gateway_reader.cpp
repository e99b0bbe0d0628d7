#include "gateway_reader.h"

#include <chrono>

#include "console.h"
#include "format.h"
#include "hints.h"
#include "meanings.h"
#include "presence_json.h"
#include "result_doc.h"
#include "text.h"
#include "write_request.h"

namespace cli {
namespace {

using Json = nlohmann::ordered_json;

// A write request's items: [{"field": N, "value": V}, {"start": S,
// "length": L, "type": "h"|"i"|"s", "value": V}].
std::string WriteItems(const nlohmann::json &fields, std::vector<WriteItem> &items) {
  if (!fields.is_array() || fields.empty()) return "\"fields\" must be a list of fields to write";
  for (const nlohmann::json &f : fields) {
    WriteItem item;
    if (!f.is_object() || !f.contains("value")) return "each field needs a \"value\"";
    const nlohmann::json &v = f["value"];
    item.value = v.is_string() ? v.get<std::string>() : v.dump();
    if (f.contains("field") && f["field"].is_number_integer()) {
      item.entryNr = f["field"].get<int32_t>();
    } else if (f.contains("start") && f["start"].is_number_integer() && f.contains("length") &&
               f["length"].is_number_integer()) {
      item.kind = WriteItem::kMemory;
      item.start = f["start"].get<int32_t>();
      item.length = f["length"].get<int32_t>();
      std::string type = f.value("type", std::string("s"));
      if (type != "h" && type != "i" && type != "s") return "\"type\" is h, i or s";
      item.type = type[0];
    } else {
      return "each field needs \"field\", or \"start\" and \"length\"";
    }
    items.push_back(std::move(item));
  }
  return {};
}

}  // namespace

ReaderWatch::ReaderWatch(const GatewayConfig &config, size_t index, std::string libraryConfig, DiskQueue &queue,
                         MqttLink &link)
    : config_(config),
      reader_(config.readers[index]),
      libraryConfig_(std::move(libraryConfig)),
      queue_(queue),
      link_(link),
      tracker_(config.readers[index].rules) {}

ReaderWatch::~ReaderWatch() { Stop(); }

void ReaderWatch::Start(bool once) {
  once_ = once;
  SetStatus("offline");
  thread_ = std::thread([this] { Run(); });
}

void ReaderWatch::Request(MqttRequest request) {
  {
    std::lock_guard<std::mutex> g(lock_);
    // A reader that does not keep up is not flooded without end.
    if (requests_.size() >= 64) {
      Emit(stderr, "volneda gateway: " + reader_.name + ": too many requests waiting; one dropped\n");
      return;
    }
    requests_.push_back(std::move(request));
  }
  wake_.notify_all();
}

void ReaderWatch::Stop() {
  {
    std::lock_guard<std::mutex> g(lock_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool ReaderWatch::RoundDone() const {
  std::lock_guard<std::mutex> g(lock_);
  return roundDone_;
}

bool ReaderWatch::Failed() const {
  std::lock_guard<std::mutex> g(lock_);
  return failed_;
}

ReaderStats ReaderWatch::Stats() const {
  std::lock_guard<std::mutex> g(lock_);
  return stats_;
}

void ReaderWatch::SetStatus(const std::string &status, const std::string &operation, int32_t code) {
  Json j = {{"status", status}, {"reader", reader_.name}, {"gateway", config_.name},
            {"time", UtcTime(std::chrono::system_clock::now())}};
  if (status == "error") {
    j["operation"] = operation;
    j["code"] = code;
    j["meaning"] = session_ ? session_->Meaning(code) : CodeMeaning(code);
  }
  {
    std::lock_guard<std::mutex> g(lock_);
    if (stats_.status == status && status != "error") return;
    stats_.status = status;
  }
  link_.SetStatus(ReaderTopic(config_, reader_.name, "status"), Dump(j));
}

bool ReaderWatch::Open() {
  session_ = std::make_unique<ReaderSession>(libraryConfig_, [this](const StatusMessage &m) {
    // Warnings and errors; the same message again and again (a warning
    // of every round) once.
    if (m.level < 1) return;
    std::string line = StatusLine(m);
    if (line == lastMessage_) return;
    lastMessage_ = line;
    Emit(stderr, "volneda gateway: " + reader_.name + ": " + line);
  });
  openCode_ = session_->Open(reader_.name);
  if (openCode_ == 0) {
    Emit(stderr, "volneda gateway: " + reader_.name + ": open\n");
    SetStatus("online");
    return true;
  }
  Emit(stderr, "volneda gateway: " + reader_.name + ": cannot open: " + std::to_string(openCode_) + " (" +
                   session_->Meaning(openCode_) + "); trying again in " + std::to_string(config_.retry) + " s\n");
  SetStatus("error", "open", openCode_);
  session_.reset();
  return false;
}

void ReaderWatch::Round() {
  CommandResult r = session_->Command(reader_.command);
  ResultDoc doc;
  if (r.code == 0 && !ParseResultDoc(r.xml, doc)) r.code = -1;
  if (r.code != 0) {
    Emit(stderr, "volneda gateway: " + reader_.name + ": " + reader_.command + ": " + CodeText(r.code) +
                     "; the reader is opened again in " + std::to_string(config_.retry) + " s\n");
    SetStatus("error", reader_.command, r.code);
    session_.reset();
    return;
  }
  std::vector<volneda::PresenceEvent> events = tracker_.update(SightingsOf(doc), std::chrono::system_clock::now());
  std::vector<QueueEntry> entries;
  for (const volneda::PresenceEvent &e : events) {
    QueueEntry q;
    q.topic = ReaderTopic(config_, reader_.name, std::string("event/") + volneda::PresenceEventName(e.kind));
    q.payload = Dump(PresenceEventJson(e, reader_.name, doc));
    entries.push_back(std::move(q));
  }
  std::string problem;
  if (!entries.empty() && !queue_.Append(entries, problem))
    Emit(stderr, "volneda gateway: " + reader_.name + ": " + std::to_string(entries.size()) +
                     " events lost: " + problem + "\n");
  std::lock_guard<std::mutex> g(lock_);
  ++stats_.rounds;
  stats_.events += events.size();
  stats_.present = tracker_.present().size();
}

void ReaderWatch::Run() {
  using Clock = std::chrono::steady_clock;
  while (true) {
    {
      std::lock_guard<std::mutex> g(lock_);
      if (stop_) break;
    }
    if (!session_ && !Open()) {
      if (once_) {
        std::lock_guard<std::mutex> g(lock_);
        roundDone_ = failed_ = true;
      }
      Rest(config_.retry * 1000);
      continue;
    }
    if (once_ && RoundDone()) {
      Rest(1000);
      continue;
    }
    Rest(0);
    const auto started = Clock::now();
    Round();
    if (once_) {
      std::lock_guard<std::mutex> g(lock_);
      roundDone_ = true;
      failed_ = !session_;
    }
    if (!session_) {
      Rest(config_.retry * 1000);
      continue;
    }
    const long spent = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count());
    Rest(reader_.rules.interval - spent);
  }
  session_.reset();
  SetStatus("offline");
}

void ReaderWatch::Rest(long ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(0L, ms));
  while (true) {
    MqttRequest request;
    {
      std::unique_lock<std::mutex> g(lock_);
      wake_.wait_until(g, until, [this] { return stop_ || !requests_.empty(); });
      if (stop_ || requests_.empty()) return;
      request = std::move(requests_.front());
      requests_.pop_front();
    }
    Answer(request);
  }
}

void ReaderWatch::Answer(const MqttRequest &request) {
  Json reply;
  auto refuse = [&](const std::string &problem) {
    reply["code"] = -1;
    reply["error"] = problem;
  };
  nlohmann::json j = nlohmann::json::parse(request.payload, nullptr, false);
  if (j.is_object() && j.contains("ref")) reply["ref"] = j["ref"];
  reply["reader"] = reader_.name;
  const bool trim = j.is_object() && j.value("trim", false) == true;
  if (!j.is_object() || (j.contains("command") == j.contains("write"))) {
    refuse("a request is a JSON object with \"command\" or \"write\"");
  } else if (j.contains("command")) {
    const std::string command = j["command"].is_string() ? j["command"].get<std::string>() : std::string();
    reply["command"] = command;
    if (command.empty()) {
      refuse("\"command\" is the text of a command (read ..., identify ...)");
    } else if (!UnholdableCharacters(command).empty()) {
      refuse("the reader's code page (" + CodePageName() + ") cannot hold " +
             DescribeCharacters(UnholdableCharacters(command)));
    } else if (!session_) {
      reply["code"] = openCode_;
      reply["meaning"] = CodeMeaning(openCode_);
      reply["error"] = "the reader is not open";
    } else {
      CommandResult r = session_->Command(command);
      ResultDoc doc;
      reply["code"] = r.code;
      if (r.code != 0) {
        reply["meaning"] = session_->Meaning(r.code);
        std::string cause = CommandCause(command, r.code);
        if (!cause.empty()) reply["cause"] = cause;
      } else if (ParseResultDoc(r.xml, doc)) {
        reply.update(DocJson(doc, trim));
      }
    }
  } else {
    const nlohmann::json &w = j["write"];
    std::string text, problem;
    if (w.is_string()) {
      text = w.get<std::string>();
      // '@FILE' would have the library read a file of this machine.
      if (!text.empty() && text[0] == '@') problem = "\"write\" is the request document itself, not a file";
    } else if (w.is_object() && w.contains("id") && w["id"].is_string()) {
      std::vector<WriteItem> items;
      problem = WriteItems(w.value("fields", nlohmann::json()), items);
      if (problem.empty()) text = WriteRequest(w["id"].get<std::string>(), items);
    } else {
      problem = "\"write\" is a WriteTags document, or {\"id\": ..., \"fields\": [...]}";
    }
    reply["operation"] = "write";
    if (problem.empty() && !UnholdableCharacters(text, true).empty())
      problem = "the reader's code page (" + CodePageName() + ") cannot hold " +
                DescribeCharacters(UnholdableCharacters(text, true));
    if (!problem.empty()) {
      refuse(problem);
    } else if (!session_) {
      reply["code"] = openCode_;
      reply["meaning"] = CodeMeaning(openCode_);
      reply["error"] = "the reader is not open";
    } else {
      int32_t code = session_->Write(text);
      reply["code"] = code;
      reply["meaning"] = session_->Meaning(code);
    }
  }
  MqttReply r;
  r.topic = request.responseTopic.empty() ? ReaderTopic(config_, reader_.name, "reply") : request.responseTopic;
  r.payload = Dump(reply);
  r.correlation = request.correlation;
  link_.Reply(std::move(r));
}

}  // namespace cli
