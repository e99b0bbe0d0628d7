#include "gateway.h"

#include <mosquitto.h>

#include <chrono>
#include <memory>
#include <thread>

#include "console.h"
#include "gateway_config.h"
#include "gateway_mqtt.h"
#include "gateway_queue.h"
#include "gateway_reader.h"
#include "presence_json.h"
#include "format.h"
#include "tool.h"

namespace cli {
namespace {

// How long a stop (and --once) keeps sending what is queued before it
// leaves the rest in the queue for the next start.
constexpr auto kDrain = std::chrono::seconds(10);

void Log(const std::string &text) { Emit(stderr, "volneda gateway: " + text + "\n"); }

int Usage(const std::string &problem) {
  Emit(stderr, "volneda gateway: " + problem + "\nTry 'volneda gateway --help'.\n");
  return kExitUsage;
}

std::string Health(const GatewayConfig &c, const DiskQueue &q, const MqttLink &link,
                   const std::vector<std::unique_ptr<ReaderWatch>> &readers) {
  LinkStats l = link.Stats();
  std::string line = "health: broker " + std::string(l.connected ? "connected" : "not connected") + ", sent " +
                     std::to_string(l.sent) + ", acknowledged " + std::to_string(l.acknowledged) + ", requests " +
                     std::to_string(l.requests) + "; queue " + std::to_string(q.Next() - q.Acked()) + " entries (" +
                     std::to_string((q.Bytes() + 1023) / 1024) + " KiB), dropped " + std::to_string(q.Dropped());
  for (size_t i = 0; i < readers.size(); ++i) {
    ReaderStats s = readers[i]->Stats();
    line += "; " + c.readers[i].name + " " + s.status + ", " + std::to_string(s.rounds) + " rounds, " +
            std::to_string(s.events) + " events, " + std::to_string(s.present) + " present";
  }
  return line;
}

}  // namespace

int Gateway(const std::vector<std::string> &args) {
  std::string path;
  bool once = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string &a = args[i];
    if (a == "--help" || a == "-h") {
      std::string text;
      VerbHelp("gateway", text);
      Emit(stdout, text);
      return kExitOk;
    } else if (a == "--once") {
      once = true;
    } else if (a == "--config" && i + 1 < args.size()) {
      path = args[++i];
    } else if (a.rfind("--config=", 0) == 0) {
      path = a.substr(9);
    } else {
      return Usage("unknown argument '" + a + "'");
    }
  }
  if (path.empty()) return Usage("--config FILE is needed (the gateway's configuration)");
  GatewayConfig config;
  std::string problem = LoadGatewayConfig(path, config);
  if (!problem.empty()) {
    Emit(stderr, "volneda gateway: " + problem + "\n");
    return kExitUsage;
  }

  mosquitto_lib_init();
  int status = kExitOk;
  {
    DiskQueue queue;
    problem = queue.Open(config.queueDir, config.queueLimit, config.fsync,
                         [&config](uint64_t count, uint64_t first, uint64_t last) {
                           nlohmann::ordered_json j = {{"event", "dropped"}, {"gateway", config.name},
                                                       {"time", UtcTime(std::chrono::system_clock::now())},
                                                       {"count", count}, {"first", first}, {"last", last}};
                           Log("the queue is full: " + std::to_string(count) + " oldest events dropped");
                           return QueueEntry{0, GatewayTopic(config, "event/dropped"), Dump(j)};
                         });
    if (!problem.empty()) {
      Log(problem);
      mosquitto_lib_cleanup();
      return kExitFailed;
    }
    if (queue.Next() > queue.Acked())
      Log("the queue holds " + std::to_string(queue.Next() - queue.Acked()) + " events from before; they go first");

    std::vector<std::unique_ptr<ReaderWatch>> readers;
    MqttLink link(config, queue, [&readers](size_t i, MqttRequest r) { readers[i]->Request(std::move(r)); });
    Options defaults;
    defaults.config = config.readerList;
    const std::string libraryConfig = ConfigForLibrary(ConfigPath(defaults));
    for (size_t i = 0; i < config.readers.size(); ++i)
      readers.push_back(std::make_unique<ReaderWatch>(config, i, libraryConfig, queue, link));

    CatchInterrupt();
    Log("started: " + std::to_string(readers.size()) + " readers, broker " + config.host + ":" +
        std::to_string(config.port) + ", topics " + config.prefix + "/READER/..., queue " + config.queueDir);
    link.Start();
    for (auto &r : readers) r->Start(once);

    using Clock = std::chrono::steady_clock;
    auto nextHealth = Clock::now() + std::chrono::seconds(config.health);
    auto drainUntil = Clock::time_point::max();
    while (!Interrupted()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      if (config.health > 0 && Clock::now() >= nextHealth) {
        Log(Health(config, queue, link, readers));
        nextHealth += std::chrono::seconds(config.health);
      }
      if (!once) continue;
      bool done = true;
      for (auto &r : readers) done = done && r->RoundDone();
      if (!done) continue;
      if (drainUntil == Clock::time_point::max()) drainUntil = Clock::now() + kDrain;
      if (link.Drained() || Clock::now() >= drainUntil) break;
    }
    for (auto &r : readers) {
      if (r->Failed()) status = kExitFailed;
      r->Stop();
    }
    const bool drained = link.Stop(once ? std::chrono::milliseconds(0) : kDrain);
    if (!drained) {
      Log(std::to_string(queue.Next() - queue.Acked()) + " events stay in the queue for the next start");
      if (once) status = kExitFailed;
    }
    Log(Health(config, queue, link, readers));
    Log("stopped");
  }
  mosquitto_lib_cleanup();
  return status;
}

}  // namespace cli
