#include "gateway_mqtt.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "console.h"
#include "format.h"
#include "presence_json.h"

namespace cli {
namespace {

// Entries sent and not yet acknowledged, at most.  libmosquitto holds back
// what the broker's receive maximum does not let through yet.
constexpr size_t kWindow = 256;

void Log(const std::string &text) { Emit(stderr, "volneda gateway: " + text + "\n"); }

std::string GatewayStatus(const GatewayConfig &c, const char *status, bool withTime) {
  nlohmann::ordered_json j = {{"status", status}, {"gateway", c.name}};
  if (withTime) j["time"] = UtcTime(std::chrono::system_clock::now());
  return Dump(j);
}

}  // namespace

std::string ReaderTopic(const GatewayConfig &c, const std::string &reader, const std::string &leaf) {
  return c.prefix + "/" + reader + "/" + leaf;
}

std::string GatewayTopic(const GatewayConfig &c, const std::string &leaf) {
  return c.prefix + "/gateway/" + c.name + "/" + leaf;
}

MqttLink::MqttLink(const GatewayConfig &config, DiskQueue &queue, RequestHandler onRequest)
    : config_(config), queue_(queue), onRequest_(std::move(onRequest)) {}

MqttLink::~MqttLink() {
  if (thread_.joinable()) Stop(std::chrono::milliseconds(0));
}

void MqttLink::Start() {
  SetStatus(GatewayTopic(config_, "status"), GatewayStatus(config_, "online", true));
  thread_ = std::thread([this] { Run(); });
}

void MqttLink::SetStatus(const std::string &topic, const std::string &payload) {
  std::lock_guard<std::mutex> g(lock_);
  statuses_[topic] = payload;
  statusDirty_[topic] = true;
}

void MqttLink::Reply(MqttReply reply) {
  std::lock_guard<std::mutex> g(lock_);
  replies_.push_back(std::move(reply));
}

LinkStats MqttLink::Stats() const {
  std::lock_guard<std::mutex> g(lock_);
  return stats_;
}

bool MqttLink::Drained() const { return queue_.Acked() >= queue_.Next(); }

bool MqttLink::Stop(std::chrono::milliseconds drain) {
  drainUntil_ = std::chrono::steady_clock::now() + drain;
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  return Drained();
}

void MqttLink::Run() {
  using Clock = std::chrono::steady_clock;
  bool finalSent = false, finalPublished = false;
  Clock::time_point finalUntil{};
  while (true) {
    if (stop_ && !finalSent) {
      // Stopping: the rest of the queue while the drain time lasts, then
      // the final statuses.
      if (!connected_ || (Drained() && inflight_.empty()) || Clock::now() >= drainUntil_) {
        if (!connected_) break;
        finalSent = true;
        SetStatus(GatewayTopic(config_, "status"), GatewayStatus(config_, "offline", true));
        finalUntil = Clock::now() + std::chrono::seconds(2);
      }
    }
    if (finalSent && (!connected_ || (finalPublished && finalMids_.empty()) || Clock::now() >= finalUntil)) break;
    if (!mosq_) {
      if (Clock::now() < nextAttempt_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        continue;
      }
      Connect();
      continue;
    }
    int rc = mosquitto_loop(mosq_, 10, 1);
    if (rc != MOSQ_ERR_SUCCESS || lost_) {
      Lose(lost_ ? lostWhy_ : mosquitto_strerror(rc));
      continue;
    }
    if (!connected_) continue;
    if (finalSent) {
      // The statuses still to send (a reader's offline, the gateway's),
      // each followed until acknowledged.
      std::map<std::string, std::string> send;
      {
        std::lock_guard<std::mutex> g(lock_);
        for (auto &[topic, dirty] : statusDirty_)
          if (dirty) send[topic] = statuses_[topic];
        statusDirty_.clear();
      }
      for (auto &[topic, payload] : send) {
        int mid = 0;
        if (PublishJson(topic, payload, true, &mid)) finalMids_[mid] = true;
      }
      finalPublished = true;
      continue;
    }
    Pump();
  }
  if (mosq_) {
    if (connected_) {
      mosquitto_disconnect_v5(mosq_, MQTT_RC_NORMAL_DISCONNECTION, nullptr);
      for (int i = 0; i < 10 && mosquitto_loop(mosq_, 10, 1) == MOSQ_ERR_SUCCESS; ++i) {
      }
    }
    mosquitto_destroy(mosq_);
    mosq_ = nullptr;
  }
}

void MqttLink::Connect() {
  mosq_ = mosquitto_new(config_.clientId.c_str(), true, this);
  if (!mosq_) {
    Lose("cannot make an MQTT client");
    return;
  }
  connected_ = lost_ = false;
  tlsWhy_.clear();
  mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
  mosquitto_connect_v5_callback_set(mosq_, OnConnect);
  mosquitto_disconnect_v5_callback_set(mosq_, OnDisconnect);
  mosquitto_publish_v5_callback_set(mosq_, OnPublish);
  mosquitto_message_v5_callback_set(mosq_, OnMessage);
  mosquitto_log_callback_set(mosq_, OnLog);
  int rc = MOSQ_ERR_SUCCESS;
  if (!config_.user.empty())
    rc = mosquitto_username_pw_set(mosq_, config_.user.c_str(), config_.password.empty() ? nullptr : config_.password.c_str());
  if (rc == MOSQ_ERR_SUCCESS && config_.Tls())
    rc = mosquitto_tls_set(mosq_, config_.caFile.c_str(), nullptr,
                           config_.certFile.empty() ? nullptr : config_.certFile.c_str(),
                           config_.keyFile.empty() ? nullptr : config_.keyFile.c_str(), nullptr);
  const std::string will = GatewayStatus(config_, "offline", false);
  if (rc == MOSQ_ERR_SUCCESS)
    rc = mosquitto_will_set_v5(mosq_, GatewayTopic(config_, "status").c_str(), static_cast<int>(will.size()),
                               will.data(), 1, true, nullptr);
  if (rc == MOSQ_ERR_SUCCESS)
    rc = mosquitto_connect_bind_v5(mosq_, config_.host.c_str(), config_.port, config_.keepalive, nullptr, nullptr);
  if (rc != MOSQ_ERR_SUCCESS) {
    std::string why = rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc);
    Lose("cannot connect to " + config_.host + ":" + std::to_string(config_.port) + ": " + why);
  }
}

void MqttLink::Lose(const std::string &cause) {
  // A failed TLS handshake comes back as MOSQ_ERR_TLS alone ("A TLS error
  // occurred."); what OpenSSL said (certificate verify failed, say) reaches
  // only libmosquitto's log callback.
  const std::string why = tlsWhy_.empty() ? cause : cause + " (" + tlsWhy_ + ")";
  tlsWhy_.clear();
  if (mosq_) mosquitto_destroy(mosq_);
  mosq_ = nullptr;
  const bool was = connected_;
  connected_ = lost_ = false;
  inflight_.clear();
  finalMids_.clear();
  {
    std::lock_guard<std::mutex> g(lock_);
    stats_.connected = false;
    // Retained statuses go again on the next connection; replies not sent
    // are given up (the asking client's request was not answered).
    for (auto &[topic, payload] : statuses_) statusDirty_[topic] = true;
    replies_.clear();
  }
  if (was || !failing_) Log("broker " + config_.host + ":" + std::to_string(config_.port) + ": " + why +
                            "; events are kept in the queue, trying again");
  failing_ = true;
  if (was) backoff_ = std::chrono::seconds(1);
  nextAttempt_ = std::chrono::steady_clock::now() + backoff_;
  backoff_ = std::min(backoff_ * 2, std::chrono::seconds(config_.reconnectMax));
}

bool MqttLink::PublishJson(const std::string &topic, const std::string &payload, bool retain, int *mid,
                           const std::string &correlation, uint64_t seq) {
  mosquitto_property *props = nullptr;
  mosquitto_property_add_byte(&props, MQTT_PROP_PAYLOAD_FORMAT_INDICATOR, 1);
  mosquitto_property_add_string(&props, MQTT_PROP_CONTENT_TYPE, "application/json");
  if (!correlation.empty())
    mosquitto_property_add_binary(&props, MQTT_PROP_CORRELATION_DATA, correlation.data(),
                                  static_cast<uint16_t>(correlation.size()));
  if (seq) mosquitto_property_add_string_pair(&props, MQTT_PROP_USER_PROPERTY, "seq", std::to_string(seq).c_str());
  int rc = mosquitto_publish_v5(mosq_, mid, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1, retain,
                                props);
  mosquitto_property_free_all(&props);
  if (rc == MOSQ_ERR_SUCCESS) return true;
  if (rc == MOSQ_ERR_NO_CONN || rc == MOSQ_ERR_CONN_LOST || rc == MOSQ_ERR_ERRNO) {
    lost_ = true;
    lostWhy_ = mosquitto_strerror(rc);
  } else {
    Log("cannot publish on " + topic + ": " + mosquitto_strerror(rc));
  }
  return false;
}

void MqttLink::Pump() {
  // Statuses and replies first: a reader's "online" comes before its events.
  std::map<std::string, std::string> statuses;
  std::deque<MqttReply> replies;
  {
    std::lock_guard<std::mutex> g(lock_);
    for (auto &[topic, dirty] : statusDirty_)
      if (dirty) statuses[topic] = statuses_[topic];
    statusDirty_.clear();
    replies.swap(replies_);
  }
  for (auto &[topic, payload] : statuses) PublishJson(topic, payload, true, nullptr);
  for (const MqttReply &r : replies) PublishJson(r.topic, r.payload, false, nullptr, r.correlation);

  // Entries dropped by a full queue are not waited for.
  const uint64_t acked = queue_.Acked();
  if (cursor_ < acked) cursor_ = acked;
  while (!inflight_.empty() && inflight_.front().seq < acked) inflight_.pop_front();
  uint64_t sent = 0;
  while (inflight_.size() < kWindow && !lost_) {
    std::vector<QueueEntry> entries = queue_.Read(cursor_, kWindow - inflight_.size());
    if (entries.empty()) break;
    for (const QueueEntry &e : entries) {
      int mid = 0;
      if (!PublishJson(e.topic, e.payload, false, &mid, {}, e.seq)) break;
      inflight_.push_back({e.seq, mid, false});
      cursor_ = e.seq + 1;
      ++sent;
    }
  }
  uint64_t ackTo = 0, acknowledged = 0;
  while (!inflight_.empty() && inflight_.front().acked) {
    ackTo = inflight_.front().seq + 1;
    inflight_.pop_front();
    ++acknowledged;
  }
  if (ackTo) queue_.Ack(ackTo);
  std::lock_guard<std::mutex> g(lock_);
  stats_.sent += sent;
  stats_.acknowledged += acknowledged;
}

void MqttLink::OnConnect(mosquitto *mosq, void *self, int rc, int, const mqtt5__property *) {
  auto *l = static_cast<MqttLink *>(self);
  if (rc != 0) {
    l->lost_ = true;
    l->lostWhy_ = std::string("the broker refused the connection: ") + mosquitto_reason_string(rc);
    return;
  }
  l->connected_ = true;
  l->backoff_ = std::chrono::seconds(1);
  if (l->failing_ || l->stats_.connections == 0)
    Log("connected to " + l->config_.host + ":" + std::to_string(l->config_.port) + " as " + l->config_.clientId);
  l->failing_ = false;
  l->cursor_ = l->queue_.Acked();
  for (const GatewayReader &r : l->config_.readers)
    mosquitto_subscribe_v5(mosq, nullptr, ReaderTopic(l->config_, r.name, "request").c_str(), 1, 0, nullptr);
  std::lock_guard<std::mutex> g(l->lock_);
  l->stats_.connected = true;
  ++l->stats_.connections;
}

void MqttLink::OnDisconnect(mosquitto *, void *self, int rc, const mqtt5__property *) {
  auto *l = static_cast<MqttLink *>(self);
  if (!l->lost_) {
    l->lost_ = true;
    l->lostWhy_ = rc == 0 ? "disconnected" : std::string("connection lost: ") + mosquitto_reason_string(rc);
  }
}

void MqttLink::OnPublish(mosquitto *, void *self, int mid, int reason, const mqtt5__property *) {
  auto *l = static_cast<MqttLink *>(self);
  l->finalMids_.erase(mid);
  for (Inflight &f : l->inflight_) {
    if (f.mid != mid) continue;
    // A refusal (not authorized, say) is final: sending it again would
    // stop the queue for good.  It is reported and passed.
    if (reason >= 0x80) Log("the broker refused entry " + std::to_string(f.seq) + ": " + mosquitto_reason_string(reason));
    f.acked = true;
    break;
  }
}

void MqttLink::OnLog(mosquitto *, void *self, int level, const char *text) {
  auto *l = static_cast<MqttLink *>(self);
  if (level == MOSQ_LOG_ERR && l->tlsWhy_.empty() && std::strncmp(text, "OpenSSL Error", 13) == 0) l->tlsWhy_ = text;
}

void MqttLink::OnMessage(mosquitto *, void *self, const mosquitto_message *m, const mqtt5__property *props) {
  auto *l = static_cast<MqttLink *>(self);
  for (size_t i = 0; i < l->config_.readers.size(); ++i) {
    if (ReaderTopic(l->config_, l->config_.readers[i].name, "request") != m->topic) continue;
    MqttRequest r;
    r.payload.assign(static_cast<const char *>(m->payload), static_cast<size_t>(m->payloadlen));
    char *topic = nullptr;
    if (mosquitto_property_read_string(props, MQTT_PROP_RESPONSE_TOPIC, &topic, false) && topic) {
      r.responseTopic = topic;
      free(topic);
    }
    void *data = nullptr;
    uint16_t len = 0;
    if (mosquitto_property_read_binary(props, MQTT_PROP_CORRELATION_DATA, &data, &len, false) && data) {
      r.correlation.assign(static_cast<const char *>(data), len);
      free(data);
    }
    {
      std::lock_guard<std::mutex> g(l->lock_);
      ++l->stats_.requests;
    }
    l->onRequest_(i, std::move(r));
    return;
  }
}

}  // namespace cli
