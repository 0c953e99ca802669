#pragma once
// The server as an MQTT edge node. The publisher is an OPC client of the server's own toolkit: it
// creates one group at MqttUpdateRate with every tag of the address space, so the ordinary
// polling rules apply, and publishes what the group's data changes carry in the configured
// payload format. Writes from the broker go through the same group's write, like any OPC write.
//
// Its own thread owns the broker link: data changes and write completions arrive on the toolkit's
// worker and are only handed over, so neither the communication thread nor OPC UA clients ever
// wait for the broker. While the broker is out of reach, updates wait in a bounded queue (the
// oldest dropped first, and the count of dropped messages logged and published once the link is
// back); connection attempts follow each other with a growing back-off.

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "mqtt/BrokerLink.h"
#include "mqtt/EdgeFormat.h"
#include "mqtt/EdgeModel.h"
#include "mqtt/MqttSettings.h"
#include "opc/SODaSEntry.h"
#include "opc/client/ServerConnection.h"

namespace orva::mqtt {

struct PublisherLimits {
    std::size_t maxQueuedMessages = 10000;
    std::size_t maxQueuedBytes = 64u << 20;
    std::size_t maxInFlight = 200;             // handed to the broker link, not yet acknowledged
    std::size_t maxPendingWriteMessages = 16;  // write messages waiting for their completions
    std::chrono::milliseconds firstRetry{1000};
    std::chrono::milliseconds maxRetry{30000};
};

class Publisher final : public BrokerLink::Listener {
public:
    enum class LogLevel { Info, Warning };
    using LogFunction = std::function<void(LogLevel, const std::string&)>;

    Publisher(opc::SODaSEntry& entry, MqttSettings settings, std::string serverName, LogFunction log,
              PublisherLimits limits = {});
    ~Publisher() override;  // stop()
    Publisher(const Publisher&) = delete;
    Publisher& operator=(const Publisher&) = delete;

    // Connects to the toolkit (which must be running), builds the group and starts the thread;
    // false (and why, in the log) when there is nothing to publish or the toolkit refused.
    bool start();
    // Says goodbye to the broker ("offline" or NDEATH), disconnects, and leaves the toolkit.
    void stop();

    // The broker link's state in one line, for the status window; any thread.
    std::string linkState() const;

private:
    struct WriteBatch;
    using QueueEntry = std::variant<PlcUpdate, OutgoingMessage>;

    bool buildModel(opc::client::ServerConnection& connection);
    void run();
    void attempt();
    void takeInbox();
    void applyDataChange(const std::vector<opc::client::ItemValue>& values);
    void enqueue(QueueEntry entry);
    void flush();
    void publishNow(const OutgoingMessage& message, std::optional<QueueEntry> requeue);
    void handleLinkEvents();
    void startSession();
    void handleMessage(std::string_view topic, std::string_view payload);
    void startWrites(IncomingCommand command);
    void setState(std::string state);
    void note(const std::string& line) { log_(LogLevel::Info, line); }
    void warn(const std::string& line) { log_(LogLevel::Warning, line); }

    void onConnected() override;
    void onDisconnected(const std::string& reason) override;
    void onPublished(int messageId) override;
    void onMessage(std::string_view topic, std::string_view payload) override;

    opc::SOCmnPointer<opc::SODaSEntry> entry_;
    const MqttSettings settings_;
    const PublisherLimits limits_;
    LogFunction log_;
    EdgeModel model_;

    std::unique_ptr<opc::client::ServerConnection> connection_;
    std::shared_ptr<opc::client::Group> group_;

    // Handed over from the toolkit's worker.
    std::mutex inboxLock_;
    std::condition_variable inboxSignal_;
    std::vector<std::vector<opc::client::ItemValue>> dataChanges_;
    std::vector<std::shared_ptr<WriteBatch>> finishedWrites_;
    std::size_t pendingWriteMessages_ = 0;
    bool stopping_ = false;

    // The publisher's thread alone.
    std::unique_ptr<EdgeFormat> format_;
    std::unique_ptr<BrokerLink> link_;
    std::vector<TagState> tagStates_;
    std::deque<QueueEntry> queue_;
    std::size_t queuedBytes_ = 0;
    std::map<int, std::optional<QueueEntry>> inFlight_;
    std::uint64_t birth_ = 0;
    std::uint64_t droppedUnreported_ = 0;
    bool everConnected_ = false;
    bool sessionStarted_ = false;                                // noted by a callback
    std::vector<std::pair<std::string, std::string>> received_;  // noted by a callback
    std::chrono::milliseconds retryDelay_;
    std::chrono::steady_clock::time_point nextAttempt_{};

    mutable std::mutex stateLock_;
    std::string state_;

    std::thread thread_;
};

}  // namespace orva::mqtt
