#include "mqtt/Publisher.h"

#include "mqtt/StatusNames.h"

namespace orva::mqtt {
namespace {

using namespace std::chrono_literals;

// How long one turn of the thread waits for broker traffic; also the longest delay of an update.
constexpr int kServiceMs = 20;
constexpr int kGoodbyeFlushMs = 2000;

std::size_t sizeOf(const PlcUpdate& update)
{
    std::size_t bytes = sizeof update;
    for (const TagSample& sample : update.samples)
        bytes += sizeof sample + sample.value.getString().size() * 2 + sample.value.getArrayLength() * 8;
    return bytes;
}

std::size_t sizeOf(const OutgoingMessage& message)
{
    return sizeof message + message.topic.size() + message.payload.size();
}

}  // namespace

// The outcomes of one write message, gathered as its requests complete on the toolkit's worker.
struct Publisher::WriteBatch {
    std::size_t plc = 0;
    std::mutex lock;
    std::vector<std::pair<std::string, std::string_view>> results;
    std::size_t outstanding = 0;
};

Publisher::Publisher(opc::SODaSEntry& entry, MqttSettings settings, std::string serverName, LogFunction log,
                     PublisherLimits limits)
    : entry_(opc::shareRef(&entry)),
      settings_(std::move(settings)),
      limits_(limits),
      log_(std::move(log)),
      retryDelay_(limits.firstRetry)
{
    model_.serverName = std::move(serverName);
    state_ = "not started";
}

Publisher::~Publisher()
{
    stop();
}

bool Publisher::buildModel(opc::client::ServerConnection& connection)
{
    std::vector<opc::client::BrowseElement> plcs;
    if (opc::FAILED(connection.browse("", plcs))) return false;
    for (const auto& plcBranch : plcs) {
        if (!plcBranch.isBranch) continue;
        const std::size_t plc = model_.plcs.size();
        model_.plcs.push_back(PlcInfo{plcBranch.name, topicLevel(plcBranch.name), {}});
        // Depth first, in address-space order; the branch list is bounded by the configuration.
        std::vector<std::string> pending{plcBranch.itemId};
        while (!pending.empty()) {
            const std::string branch = std::move(pending.back());
            pending.pop_back();
            std::vector<opc::client::BrowseElement> children;
            if (opc::FAILED(connection.browse(branch, children))) continue;
            std::vector<std::string> subBranches;
            for (const auto& child : children) {
                if (child.isBranch) {
                    subBranches.push_back(child.itemId);
                    continue;
                }
                TagInfo tag;
                tag.itemId = child.itemId;
                tag.localId = child.itemId.size() > plcBranch.itemId.size() + 1
                                  ? child.itemId.substr(plcBranch.itemId.size() + 1)
                                  : child.name;
                tag.plc = plc;
                tag.type = child.nativeType;
                tag.accessRights = child.accessRights;
                model_.tagByItemId.emplace(tag.itemId, model_.tags.size());
                model_.plcs[plc].tags.push_back(model_.tags.size());
                model_.tags.push_back(std::move(tag));
            }
            pending.insert(pending.end(), subBranches.rbegin(), subBranches.rend());
        }
    }
    return true;
}

bool Publisher::start()
{
    if (thread_.joinable()) return true;
    opc::HRESULT hr = opc::S_OK;
    connection_ = opc::client::ServerConnection::connect(*entry_, {}, &hr);
    if (!connection_ || !buildModel(*connection_)) {
        warn("MQTT: the toolkit refused the publisher's connection");
        connection_.reset();
        return false;
    }
    group_ = connection_->addGroup(
        "mqtt", settings_.updateRateMs, true,
        [this](const std::vector<opc::client::ItemValue>& values) {
            {
                const std::lock_guard lock(inboxLock_);
                dataChanges_.push_back(values);
            }
            inboxSignal_.notify_one();
        },
        &hr);
    if (!group_) {
        warn("MQTT: cannot create the publishing group");
        connection_->disconnect();
        connection_.reset();
        return false;
    }
    std::size_t added = 0;
    for (std::size_t i = 0; i < model_.tags.size(); ++i) {
        const auto result = group_->addItem(model_.tags[i].itemId, true, static_cast<uint32_t>(i));
        if (opc::SUCCEEDED(result.result)) {
            model_.tags[i].handle = result.handle;
            ++added;
        }
    }
    tagStates_.resize(model_.tags.size());
    format_ = settings_.format == PayloadFormat::Sparkplug ? makeSparkplugFormat(model_, settings_)
                                                           : makeJsonFormat(model_, settings_);
    link_ = std::make_unique<BrokerLink>(settings_, *this);
    note("MQTT: publishing " + std::to_string(added) + " tags of " + std::to_string(model_.plcs.size()) +
         " PLCs every " + std::to_string(group_->updateRate()) + " ms to " + settings_.brokerUrl + " as " +
         (settings_.format == PayloadFormat::Sparkplug ? "Sparkplug B" : "JSON") +
         (settings_.writes ? ", writes on" : ""));
    setState("connecting to " + settings_.brokerUrl);
    thread_ = std::thread([this] { run(); });
    return true;
}

void Publisher::stop()
{
    if (thread_.joinable()) {
        {
            const std::lock_guard lock(inboxLock_);
            stopping_ = true;
        }
        inboxSignal_.notify_one();
        thread_.join();
    }
    group_.reset();
    if (connection_) connection_->disconnect();
    connection_.reset();
}

std::string Publisher::linkState() const
{
    const std::lock_guard lock(stateLock_);
    return state_;
}

void Publisher::setState(std::string state)
{
    const std::lock_guard lock(stateLock_);
    state_ = std::move(state);
}

void Publisher::run()
{
    nextAttempt_ = std::chrono::steady_clock::now();
    for (;;) {
        {
            const std::lock_guard lock(inboxLock_);
            if (stopping_) break;
        }
        takeInbox();
        if (link_->active()) {
            flush();
            link_->service(kServiceMs);
            handleLinkEvents();
            continue;
        }
        if (std::chrono::steady_clock::now() >= nextAttempt_) {
            attempt();
            continue;
        }
        std::unique_lock lock(inboxLock_);
        inboxSignal_.wait_until(lock, nextAttempt_, [this] {
            return stopping_ || !dataChanges_.empty() || !finishedWrites_.empty();
        });
    }
    takeInbox();
    if (link_->connected()) {
        flush();
        const OutgoingMessage goodbye = format_->goodbye();
        link_->publish(goodbye.topic, goodbye.payload, goodbye.retain);
        link_->disconnect(kGoodbyeFlushMs);
        note("MQTT: disconnected from " + settings_.brokerUrl +
             (queue_.empty() ? "" : ", " + std::to_string(queue_.size()) + " updates not sent"));
    }
    link_.reset();
    setState("stopped");
}

void Publisher::attempt()
{
    const OutgoingMessage will = format_->nextWill();
    std::string reason;
    if (!link_->connect(will.topic, will.payload, will.retain, reason)) onDisconnected(reason);
}

// libmosquitto calls back while it holds its own locks: the callbacks only note what happened,
// and the thread acts on it once the loop has returned.
void Publisher::onConnected()
{
    sessionStarted_ = true;
}

void Publisher::onMessage(std::string_view topic, std::string_view payload)
{
    received_.emplace_back(std::string(topic), std::string(payload));
}

void Publisher::handleLinkEvents()
{
    if (sessionStarted_ && link_->connected()) startSession();
    sessionStarted_ = false;
    std::vector<std::pair<std::string, std::string>> received;
    received.swap(received_);
    for (const auto& [topic, payload] : received)
        if (link_->connected()) handleMessage(topic, payload);
}

void Publisher::startSession()
{
    everConnected_ = true;
    retryDelay_ = limits_.firstRetry;
    for (const std::string& topic : format_->subscriptions(settings_.writes))
        if (!link_->subscribe(topic)) warn("MQTT: cannot subscribe to " + topic);
    ++birth_;
    std::vector<OutgoingMessage> births;
    format_->births(tagStates_, births);
    for (const auto& message : births)
        publishNow(message, std::nullopt);
    if (droppedUnreported_ > 0) {
        warn("MQTT: " + std::to_string(droppedUnreported_) +
             " messages were dropped while the broker was out of reach (queue full)");
        std::vector<OutgoingMessage> report;
        format_->dropped(droppedUnreported_, std::chrono::system_clock::now(), report);
        for (const auto& message : report)
            publishNow(message, std::nullopt);
        droppedUnreported_ = 0;
    }
    note("MQTT: connected to " + settings_.brokerUrl +
         (queue_.empty() ? "" : ", sending " + std::to_string(queue_.size()) + " queued updates"));
    setState("connected to " + settings_.brokerUrl);
}

void Publisher::onDisconnected(const std::string& reason)
{
    // What the broker has not acknowledged goes out again in the next session, in its order.
    for (auto it = inFlight_.rbegin(); it != inFlight_.rend(); ++it) {
        if (!it->second) continue;
        queuedBytes_ += std::visit([](const auto& e) { return sizeOf(e); }, *it->second);
        queue_.push_front(std::move(*it->second));
    }
    inFlight_.clear();
    sessionStarted_ = false;
    received_.clear();
    const auto delay = retryDelay_;
    nextAttempt_ = std::chrono::steady_clock::now() + delay;
    retryDelay_ = std::min(retryDelay_ * 2, limits_.maxRetry);
    const std::string seconds = std::to_string((delay.count() + 999) / 1000);
    warn("MQTT: " + settings_.brokerUrl + ": " + reason + "; next attempt in " + seconds + " s");
    setState((everConnected_ ? "link lost to " : "cannot reach ") + settings_.brokerUrl + ": " + reason +
             "; retrying every " + seconds + " s");
}

void Publisher::onPublished(int messageId)
{
    inFlight_.erase(messageId);
}

void Publisher::takeInbox()
{
    std::vector<std::vector<opc::client::ItemValue>> changes;
    std::vector<std::shared_ptr<WriteBatch>> writes;
    {
        const std::lock_guard lock(inboxLock_);
        changes.swap(dataChanges_);
        writes.swap(finishedWrites_);
        pendingWriteMessages_ -= writes.size();
    }
    for (const auto& values : changes)
        applyDataChange(values);
    for (const auto& batch : writes) {
        OutgoingMessage result;
        if (format_->writeResult(batch->plc, batch->results, result)) enqueue(std::move(result));
        for (const auto& [id, status] : batch->results)
            if (status != "Good") note("MQTT: write of " + id + ": " + std::string(status));
    }
}

void Publisher::applyDataChange(const std::vector<opc::client::ItemValue>& values)
{
    const opc::TimeStamp now = std::chrono::system_clock::now();
    std::vector<PlcUpdate> updates(model_.plcs.size());
    for (const auto& value : values) {
        const std::size_t tag = value.clientHandle;
        if (tag >= model_.tags.size()) continue;
        TagState& state = tagStates_[tag];
        state.value = value.value;
        state.quality = value.quality;
        state.time = value.timeStamp;
        updates[model_.tags[tag].plc].samples.push_back(
            TagSample{tag, value.value, value.quality, value.timeStamp});
    }
    for (std::size_t plc = 0; plc < updates.size(); ++plc) {
        PlcUpdate& update = updates[plc];
        if (update.samples.empty()) continue;
        update.plc = plc;
        update.time = now;
        update.birth = birth_;
        update.plcLost = !model_.plcs[plc].tags.empty();
        for (const std::size_t tag : model_.plcs[plc].tags)
            if (!isBadQuality(tagStates_[tag].quality)) update.plcLost = false;
        enqueue(std::move(update));
    }
}

void Publisher::enqueue(QueueEntry entry)
{
    queuedBytes_ += std::visit([](const auto& e) { return sizeOf(e); }, entry);
    queue_.push_back(std::move(entry));
    while (queue_.size() > 1 &&
           (queue_.size() > limits_.maxQueuedMessages || queuedBytes_ > limits_.maxQueuedBytes)) {
        queuedBytes_ -= std::visit([](const auto& e) { return sizeOf(e); }, queue_.front());
        queue_.pop_front();
        ++droppedUnreported_;
    }
}

void Publisher::flush()
{
    std::vector<OutgoingMessage> messages;
    while (link_->connected() && !queue_.empty() && inFlight_.size() < limits_.maxInFlight) {
        QueueEntry entry = std::move(queue_.front());
        queue_.pop_front();
        queuedBytes_ -= std::visit([](const auto& e) { return sizeOf(e); }, entry);
        if (auto* message = std::get_if<OutgoingMessage>(&entry)) {
            const OutgoingMessage copy = *message;
            publishNow(copy, std::move(entry));
            continue;
        }
        const PlcUpdate& update = std::get<PlcUpdate>(entry);
        messages.clear();
        format_->update(update, update.birth != birth_, tagStates_, messages);
        for (std::size_t i = 0; i < messages.size(); ++i)
            publishNow(messages[i],
                       i + 1 == messages.size() ? std::optional<QueueEntry>(std::move(entry)) : std::nullopt);
    }
}

void Publisher::publishNow(const OutgoingMessage& message, std::optional<QueueEntry> requeue)
{
    const int id = link_->publish(message.topic, message.payload, message.retain);
    if (id < 0) {
        // A message the client refuses (too large for MQTT) would be refused again: it is dropped.
        if (link_->connected()) warn("MQTT: the client refused a message on " + message.topic);
        return;
    }
    inFlight_[id] = std::move(requeue);
}

void Publisher::handleMessage(std::string_view topic, std::string_view payload)
{
    IncomingCommand command = format_->decode(topic, payload);
    if (!command.problem.empty()) note("MQTT: message on " + std::string(topic) + ": " + command.problem);
    if (command.kind == IncomingCommand::Kind::Rebirth) {
        note("MQTT: rebirth requested");
        ++birth_;
        std::vector<OutgoingMessage> births;
        format_->births(tagStates_, births);
        for (const auto& message : births)
            publishNow(message, std::nullopt);
        return;
    }
    if (command.kind == IncomingCommand::Kind::Write && settings_.writes) startWrites(std::move(command));
}

void Publisher::startWrites(IncomingCommand command)
{
    auto batch = std::make_shared<WriteBatch>();
    batch->plc = command.plc;
    const auto finish = [this](const std::shared_ptr<WriteBatch>& done) {
        {
            const std::lock_guard lock(inboxLock_);
            finishedWrites_.push_back(done);
        }
        inboxSignal_.notify_one();
    };
    {
        const std::lock_guard lock(inboxLock_);
        if (pendingWriteMessages_ >= limits_.maxPendingWriteMessages) {
            for (const auto& entry : command.writes)
                batch->results.emplace_back(entry.itemId, "BadTooManyOperations");
            command.writes.clear();
            command.answerProblem = false;
        }
        ++pendingWriteMessages_;
    }
    if (command.answerProblem) batch->results.emplace_back("", "BadDecodingError");
    batch->results.reserve(batch->results.size() + command.writes.size());
    // The batch answers once every request has completed; +1 until all have been issued.
    batch->outstanding = command.writes.size() + 1;
    const auto completeOne = [finish](const std::shared_ptr<WriteBatch>& b) {
        bool last = false;
        {
            const std::lock_guard lock(b->lock);
            last = --b->outstanding == 0;
        }
        if (last) finish(b);
    };
    for (auto& entry : command.writes) {
        std::size_t index = 0;
        {
            const std::lock_guard lock(batch->lock);
            index = batch->results.size();
            batch->results.emplace_back(entry.itemId, "Good");
        }
        const auto tag = format_->resolve(command.plc, entry);
        std::string_view refused;
        if (!tag || model_.tags[*tag].handle == 0)
            refused = "BadNodeIdUnknown";
        else if (entry.value.isEmpty())
            refused = "BadTypeMismatch";
        if (!refused.empty()) {
            {
                const std::lock_guard lock(batch->lock);
                batch->results[index].second = refused;
            }
            completeOne(batch);
            continue;
        }
        group_->write(model_.tags[*tag].handle, entry.value,
                      [batch, index, completeOne](const opc::client::RequestResult& r) {
                          {
                              const std::lock_guard lock(batch->lock);
                              batch->results[index].second = writeStatusName(r.result, r.quality);
                          }
                          completeOne(batch);
                      });
    }
    completeOne(batch);
}

}  // namespace orva::mqtt
