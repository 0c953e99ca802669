#pragma once
// What a payload format (plain JSON or Sparkplug B) makes of the publisher's events. The publisher
// owns the broker link, the queue and the toolkit side; a format turns births, updates and
// commands into topics and payloads. Everything runs on the publisher's thread.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mqtt/EdgeModel.h"
#include "mqtt/JsonWriteRequest.h"
#include "mqtt/MqttSettings.h"

namespace orva::mqtt {

struct OutgoingMessage {
    std::string topic;
    std::string payload;
    bool retain = false;
};

// A message from the broker, as the format understood it.
struct IncomingCommand {
    enum class Kind { Ignore, Rebirth, Write };
    Kind kind = Kind::Ignore;
    std::size_t plc = 0;             // Write: the PLC the items are below
    std::vector<WriteEntry> writes;  // Write: item IDs as the format names them (see resolve)
    std::string problem;             // why a message was not understood, for the log
    bool answerProblem = false;      // the sender waits for a result that says so
};

class EdgeFormat {
public:
    virtual ~EdgeFormat() = default;

    // The last will for the next connection (called before every connection attempt).
    virtual OutgoingMessage nextWill() = 0;
    // Topics to subscribe to once connected (with writes on or off).
    virtual std::vector<std::string> subscriptions(bool writes) const = 0;
    // What a new session publishes first, from the current state of every tag.
    virtual void births(const std::vector<TagState>& state, std::vector<OutgoingMessage>& out) = 0;
    // One update of a PLC; `historical` when it happened before the current session's births.
    virtual void update(const PlcUpdate& update, bool historical, const std::vector<TagState>& state,
                        std::vector<OutgoingMessage>& out) = 0;
    // The count of messages the queue dropped while the broker was out of reach.
    virtual void dropped(std::uint64_t count, opc::TimeStamp time, std::vector<OutgoingMessage>& out) = 0;
    // Published before an orderly disconnect: what the will would have said.
    virtual OutgoingMessage goodbye() = 0;
    virtual IncomingCommand decode(std::string_view topic, std::string_view payload) const = 0;
    // The result of a write, when the format answers writes.
    virtual bool writeResult(std::size_t plc,
                             const std::vector<std::pair<std::string, std::string_view>>& results,
                             OutgoingMessage& out) const = 0;
    // The tag an item ID of a write to `plc` names; nothing when there is none.
    virtual std::optional<std::size_t> resolve(std::size_t plc, const WriteEntry& entry) const = 0;
};

std::unique_ptr<EdgeFormat> makeJsonFormat(const EdgeModel& model, const MqttSettings& settings);
std::unique_ptr<EdgeFormat> makeSparkplugFormat(const EdgeModel& model, const MqttSettings& settings);

}  // namespace orva::mqtt
