// gateway_reader.h -- one reader of the gateway: a thread with its own
// library context that opens the reader, runs the watch's rounds, turns them
// into presence events for the queue, and answers the requests that come
// for the reader between rounds.
#ifndef VOLNEDA_CLI_GATEWAY_READER_H
#define VOLNEDA_CLI_GATEWAY_READER_H

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "gateway_config.h"
#include "gateway_mqtt.h"
#include "gateway_queue.h"
#include "session.h"

namespace cli {

struct ReaderStats {
  std::string status = "offline";  // online, offline or error
  uint64_t rounds = 0, events = 0;
  size_t present = 0;
};

class ReaderWatch {
 public:
  // `libraryConfig`: the reader list as the library takes it.
  ReaderWatch(const GatewayConfig &config, size_t index, std::string libraryConfig, DiskQueue &queue, MqttLink &link);
  ~ReaderWatch();
  ReaderWatch(const ReaderWatch &) = delete;
  ReaderWatch &operator=(const ReaderWatch &) = delete;

  // `once`: one round, then the thread ends (the reader stays open until
  // Stop, so that requests can still be answered).
  void Start(bool once);
  void Request(MqttRequest request);
  // Closes the reader, sets its status offline and ends the thread.
  void Stop();
  // Once: whether the round is done (or the reader could not be opened).
  bool RoundDone() const;
  bool Failed() const;
  ReaderStats Stats() const;

 private:
  void Run();
  bool Open();
  void Round();
  void Answer(const MqttRequest &request);
  void SetStatus(const std::string &status, const std::string &operation = {}, int32_t code = 0);
  // Waits up to `ms` for a request or Stop; answers the requests.
  void Rest(long ms);

  const GatewayConfig &config_;
  const GatewayReader &reader_;
  const std::string libraryConfig_;
  DiskQueue &queue_;
  MqttLink &link_;
  volneda::PresenceTracker tracker_;
  std::unique_ptr<ReaderSession> session_;  // the reader thread alone
  int32_t openCode_ = 0;
  std::string lastMessage_;
  bool once_ = false;
  std::thread thread_;

  mutable std::mutex lock_;
  std::condition_variable wake_;
  std::deque<MqttRequest> requests_;
  bool stop_ = false, roundDone_ = false, failed_ = false;
  ReaderStats stats_;
};

}  // namespace cli

#endif
