#include "mqtt/BrokerLink.h"

#include <mosquitto.h>

#include <chrono>
#include <mutex>

namespace orva::mqtt {
namespace {

constexpr int kKeepAliveSeconds = 30;

void initialiseLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

// libmosquitto's text, without the full stop some of its texts end with.
std::string errorText(int rc)
{
    std::string text = mosquitto_strerror(rc);
    if (!text.empty() && text.back() == '.') text.pop_back();
    return text;
}

}  // namespace

BrokerLink::BrokerLink(const MqttSettings& settings, Listener& listener)
    : settings_(settings), listener_(listener)
{
    initialiseLibrary();
}

BrokerLink::~BrokerLink()
{
    if (client_ != nullptr) mosquitto_destroy(client_);
}

bool BrokerLink::connect(const std::string& willTopic, const std::string& willPayload, bool willRetain,
                         std::string& reason)
{
    if (client_ != nullptr) mosquitto_destroy(client_);
    connected_ = false;
    attempting_ = false;
    dropReason_.clear();
    lastError_.clear();
    client_ = mosquitto_new(settings_.clientId.c_str(), true, this);
    if (client_ == nullptr) {
        reason = "cannot create an MQTT client";
        return false;
    }
    mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(client_, &BrokerLink::connectCallback);
    mosquitto_disconnect_callback_set(client_, &BrokerLink::disconnectCallback);
    mosquitto_publish_callback_set(client_, &BrokerLink::publishCallback);
    mosquitto_message_callback_set(client_, &BrokerLink::messageCallback);
    // libmosquitto says what went wrong with TLS only in its log.
    mosquitto_log_callback_set(client_, [](mosquitto*, void* self, int level, const char* text) {
        if ((level & MOSQ_LOG_ERR) != 0 && text != nullptr) static_cast<BrokerLink*>(self)->lastError_ = text;
    });
    // Our own queue limits what is handed over; libmosquitto may send all of it at once.
    mosquitto_max_inflight_messages_set(client_, 0);
    int rc = mosquitto_will_set(client_, willTopic.c_str(), static_cast<int>(willPayload.size()),
                                willPayload.data(), 1, willRetain);
    if (rc == MOSQ_ERR_SUCCESS && !settings_.user.empty())
        rc = mosquitto_username_pw_set(client_, settings_.user.c_str(),
                                       settings_.password.empty() ? nullptr : settings_.password.c_str());
    if (rc == MOSQ_ERR_SUCCESS && settings_.tls) {
        // The broker's certificate and host name are always verified: against MqttCaFile, else
        // against the system's certificates.
        rc = settings_.caFile.empty()
                 ? mosquitto_int_option(client_, MOSQ_OPT_TLS_USE_OS_CERTS, 1)
                 : mosquitto_tls_set(client_, settings_.caFile.c_str(), nullptr, nullptr, nullptr, nullptr);
        if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_tls_opts_set(client_, 1, nullptr, nullptr);
        if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_tls_insecure_set(client_, false);
    }
    if (rc == MOSQ_ERR_SUCCESS)
        rc = mosquitto_connect_async(client_, settings_.host.c_str(), settings_.port, kKeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        reason = errorText(rc) + (lastError_.empty() ? "" : " (" + lastError_ + ")");
        mosquitto_destroy(client_);
        client_ = nullptr;
        return false;
    }
    attempting_ = true;
    return true;
}

void BrokerLink::service(int timeoutMs)
{
    if (client_ == nullptr || !attempting_) return;
    const int rc = mosquitto_loop(client_, timeoutMs, 1);
    if (rc != MOSQ_ERR_SUCCESS && dropReason_.empty()) dropReason_ = errorText(rc);
    if (!dropReason_.empty()) drop();
}

// Callbacks only note why the session ended: the client is destroyed once its loop has returned.
void BrokerLink::noteDrop(std::string reason)
{
    if (dropReason_.empty()) dropReason_ = std::move(reason);
    connected_ = false;
}

void BrokerLink::drop()
{
    const std::string reason = lastError_.empty() ? dropReason_ : dropReason_ + " (" + lastError_ + ")";
    dropReason_.clear();
    lastError_.clear();
    const bool wasUp = attempting_;
    attempting_ = false;
    connected_ = false;
    if (client_ != nullptr) {
        mosquitto_destroy(client_);
        client_ = nullptr;
    }
    if (wasUp) listener_.onDisconnected(reason);
}

int BrokerLink::publish(const std::string& topic, const std::string& payload, bool retain)
{
    if (!connected_) return -1;
    int mid = 0;
    const int rc = mosquitto_publish(client_, &mid, topic.c_str(), static_cast<int>(payload.size()),
                                     payload.data(), 1, retain);
    return rc == MOSQ_ERR_SUCCESS ? mid : -1;
}

bool BrokerLink::subscribe(const std::string& pattern)
{
    return connected_ && mosquitto_subscribe(client_, nullptr, pattern.c_str(), 1) == MOSQ_ERR_SUCCESS;
}

bool BrokerLink::wantsWrite() const
{
    return client_ != nullptr && mosquitto_want_write(client_);
}

void BrokerLink::disconnect(int timeoutMs)
{
    if (client_ == nullptr) return;
    if (connected_) {
        // Let queued messages (the goodbye among them) reach the broker first.
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (connected_ && mosquitto_want_write(client_) && std::chrono::steady_clock::now() < end)
            service(20);
        if (connected_) {
            mosquitto_disconnect(client_);
            for (int i = 0; i < 10 && client_ != nullptr && mosquitto_want_write(client_); ++i)
                mosquitto_loop(client_, 20, 1);
        }
    }
    attempting_ = false;
    connected_ = false;
    if (client_ != nullptr) {
        mosquitto_destroy(client_);
        client_ = nullptr;
    }
}

void BrokerLink::connectCallback(mosquitto*, void* self, int rc)
{
    auto* link = static_cast<BrokerLink*>(self);
    if (rc != 0) {
        link->noteDrop(std::string("broker refused the connection: ") + mosquitto_connack_string(rc));
        return;
    }
    link->connected_ = true;
    link->listener_.onConnected();
}

void BrokerLink::disconnectCallback(mosquitto*, void* self, int rc)
{
    auto* link = static_cast<BrokerLink*>(self);
    if (link->attempting_) link->noteDrop(rc == 0 ? "disconnected" : "connection lost: " + errorText(rc));
}

void BrokerLink::publishCallback(mosquitto*, void* self, int mid)
{
    static_cast<BrokerLink*>(self)->listener_.onPublished(mid);
}

void BrokerLink::messageCallback(mosquitto*, void* self, const mosquitto_message* message)
{
    if (message == nullptr || message->topic == nullptr) return;
    const std::string_view payload(
        static_cast<const char*>(message->payload),
        message->payload != nullptr ? static_cast<std::size_t>(message->payloadlen) : 0);
    static_cast<BrokerLink*>(self)->listener_.onMessage(message->topic, payload);
}

}  // namespace orva::mqtt
