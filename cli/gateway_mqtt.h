// gateway_mqtt.h -- the gateway's link to the MQTT broker (MQTT 5, through
// libmosquitto): it sends the on-disk queue in order at QoS 1 and moves the
// queue's position on as the broker acknowledges, keeps the retained status
// topics, takes requests and sends their replies.  One thread does all of
// the talking to libmosquitto.
//
// A lost connection is given up whole: the client is made anew for the next
// attempt and sending starts again from the first entry not acknowledged,
// so an entry whose acknowledgment was lost goes twice (QoS 1 delivers at
// least once), and none goes missing or out of order.
#ifndef VOLNEDA_CLI_GATEWAY_MQTT_H
#define VOLNEDA_CLI_GATEWAY_MQTT_H

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "gateway_config.h"
#include "gateway_queue.h"

struct mosquitto;
struct mqtt5__property;
struct mosquitto_message;

namespace cli {

// PREFIX/READER/LEAF (the reader's topics) and PREFIX/gateway/NAME/LEAF.
std::string ReaderTopic(const GatewayConfig &c, const std::string &reader, const std::string &leaf);
std::string GatewayTopic(const GatewayConfig &c, const std::string &leaf);

struct MqttRequest {
  std::string payload, responseTopic, correlation;  // the last two empty when not given
};

struct MqttReply {
  std::string topic, payload, correlation;
};

struct LinkStats {
  bool connected = false;
  uint64_t sent = 0, acknowledged = 0, connections = 0, requests = 0;
};

class MqttLink {
 public:
  // Runs on the link's thread: a request for the reader config.readers[i].
  using RequestHandler = std::function<void(size_t, MqttRequest)>;

  MqttLink(const GatewayConfig &config, DiskQueue &queue, RequestHandler onRequest);
  ~MqttLink();
  MqttLink(const MqttLink &) = delete;
  MqttLink &operator=(const MqttLink &) = delete;

  void Start();
  // The retained status on `topic`: sent now, and again on every connection.
  void SetStatus(const std::string &topic, const std::string &payload);
  void Reply(MqttReply reply);
  // Stops: keeps sending for up to `drain` while the queue holds entries
  // not acknowledged, sends the final statuses (the gateway's offline among
  // them) and disconnects.  True when the queue was sent whole.
  bool Stop(std::chrono::milliseconds drain);
  LinkStats Stats() const;
  // Whether everything queued so far has been acknowledged.
  bool Drained() const;

 private:
  struct Inflight {
    uint64_t seq;
    int mid;
    bool acked;
  };
  void Run();
  void Connect();
  void Lose(const std::string &why);
  void Pump();
  bool PublishJson(const std::string &topic, const std::string &payload, bool retain, int *mid,
                   const std::string &correlation = {}, uint64_t seq = 0);
  static void OnConnect(mosquitto *, void *self, int rc, int flags, const mqtt5__property *);
  static void OnDisconnect(mosquitto *, void *self, int rc, const mqtt5__property *);
  static void OnPublish(mosquitto *, void *self, int mid, int reason, const mqtt5__property *);
  static void OnMessage(mosquitto *, void *self, const mosquitto_message *m, const mqtt5__property *props);
  static void OnLog(mosquitto *, void *self, int level, const char *text);

  const GatewayConfig &config_;
  DiskQueue &queue_;
  RequestHandler onRequest_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::chrono::steady_clock::time_point drainUntil_;

  // The link's thread alone.
  mosquitto *mosq_ = nullptr;
  bool connected_ = false, lost_ = false, failing_ = false;
  std::string lostWhy_;
  std::string tlsWhy_;  // libmosquitto's first OpenSSL error since the last attempt
  uint64_t cursor_ = 1;  // the next entry to send
  std::deque<Inflight> inflight_;
  std::map<int, bool> finalMids_;  // the final statuses, until acknowledged
  std::chrono::steady_clock::time_point nextAttempt_{};
  std::chrono::seconds backoff_{1};

  // Shared with the other threads.
  mutable std::mutex lock_;
  std::map<std::string, std::string> statuses_;
  std::map<std::string, bool> statusDirty_;
  std::deque<MqttReply> replies_;
  LinkStats stats_;
  bool drained_ = false;
};

}  // namespace cli

#endif
