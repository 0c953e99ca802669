#pragma once
// One MQTT client connection over libmosquitto, driven by a single thread (the publisher's): a
// connection attempt, then service() pumps the socket and reports through the listener. A new
// libmosquitto client is made for every attempt, so nothing of a lost session (its unacknowledged
// messages, its will) leaks into the next one; the publisher keeps what must be sent again.

#include <cstdint>
#include <string>
#include <string_view>

#include "mqtt/MqttSettings.h"

struct mosquitto;
struct mosquitto_message;

namespace orva::mqtt {

class BrokerLink {
public:
    class Listener {
    public:
        virtual ~Listener() = default;
        virtual void onConnected() = 0;
        // The session ended or the attempt failed; `reason` for the log.
        virtual void onDisconnected(const std::string& reason) = 0;
        virtual void onPublished(int messageId) = 0;
        virtual void onMessage(std::string_view topic, std::string_view payload) = 0;
    };

    BrokerLink(const MqttSettings& settings, Listener& listener);
    ~BrokerLink();
    BrokerLink(const BrokerLink&) = delete;
    BrokerLink& operator=(const BrokerLink&) = delete;

    // Starts an attempt with this will (QoS 1); false (and `reason`) when it failed at once.
    bool connect(const std::string& willTopic, const std::string& willPayload, bool willRetain,
                 std::string& reason);
    // Waits up to timeoutMs for traffic and handles it; reports a lost connection.
    void service(int timeoutMs);
    // QoS 1; the message id, or -1 when the client refused it.
    int publish(const std::string& topic, const std::string& payload, bool retain);
    bool subscribe(const std::string& pattern);
    // Sends DISCONNECT and flushes what is queued, for at most timeoutMs.
    void disconnect(int timeoutMs);

    bool connected() const { return connected_; }
    // An attempt or a session is under way.
    bool active() const { return attempting_; }
    // libmosquitto's queued outgoing data is still being written.
    bool wantsWrite() const;

private:
    static void connectCallback(mosquitto*, void* self, int rc);
    static void disconnectCallback(mosquitto*, void* self, int rc);
    static void publishCallback(mosquitto*, void* self, int mid);
    static void messageCallback(mosquitto*, void* self, const mosquitto_message* message);
    void noteDrop(std::string reason);
    void drop();

    const MqttSettings& settings_;
    Listener& listener_;
    mosquitto* client_ = nullptr;
    bool connected_ = false;
    bool attempting_ = false;
    std::string dropReason_;  // set by a callback when the session ended
    std::string lastError_;   // libmosquitto's last error log line
};

}  // namespace orva::mqtt
