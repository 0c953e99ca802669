// The plain JSON edge node: one topic per PLC with its changed values, a retained status topic
// that the will turns "offline", and write topics answered on their result topic.

#include "mqtt/EdgeFormat.h"
#include "mqtt/JsonFormat.h"

namespace orva::mqtt {
namespace {

class JsonEdgeFormat final : public EdgeFormat {
public:
    JsonEdgeFormat(const EdgeModel& model, const MqttSettings& settings)
        : model_(model), base_(settings.topicPrefix + "/" + topicLevel(model.serverName))
    {
    }

    OutgoingMessage nextWill() override { return goodbye(); }

    std::vector<std::string> subscriptions(bool writes) const override
    {
        if (!writes) return {};
        return {base_ + "/+/write"};
    }

    void births(const std::vector<TagState>&, std::vector<OutgoingMessage>& out) override
    {
        out.push_back({base_ + "/status", "online", true});
    }

    void update(const PlcUpdate& update, bool, const std::vector<TagState>&,
                std::vector<OutgoingMessage>& out) override
    {
        if (update.samples.empty()) return;
        out.push_back(
            {base_ + "/" + model_.plcs[update.plc].topicName, encodeJsonUpdate(model_, update), false});
    }

    void dropped(std::uint64_t count, opc::TimeStamp time, std::vector<OutgoingMessage>& out) override
    {
        out.push_back({base_ + "/dropped",
                       "{\"timestamp\":" + std::to_string(millisecondsSinceEpoch(time)) +
                           ",\"dropped\":" + std::to_string(count) + "}",
                       false});
    }

    OutgoingMessage goodbye() override { return {base_ + "/status", "offline", true}; }

    IncomingCommand decode(std::string_view topic, std::string_view payload) const override
    {
        IncomingCommand command;
        constexpr std::string_view kWrite = "/write";
        if (!topic.starts_with(base_) || topic.size() <= base_.size() + 1 || topic[base_.size()] != '/' ||
            !topic.ends_with(kWrite)) {
            command.problem = "not a write topic";
            return command;
        }
        const std::string_view level =
            topic.substr(base_.size() + 1, topic.size() - base_.size() - 1 - kWrite.size());
        const auto plc = model_.plcByTopic(level);
        if (!plc) {
            command.problem = "no PLC named " + std::string(level);
            return command;
        }
        command.plc = *plc;
        JsonWriteRequest request = decodeJsonWriteRequest(payload);
        if (!request.error.empty()) {
            command.problem = "write refused: " + request.error;
            command.answerProblem = true;
            command.kind = IncomingCommand::Kind::Write;
            return command;
        }
        command.kind = IncomingCommand::Kind::Write;
        command.writes = std::move(request.entries);
        return command;
    }

    bool writeResult(std::size_t plc, const std::vector<std::pair<std::string, std::string_view>>& results,
                     OutgoingMessage& out) const override
    {
        out = {base_ + "/" + model_.plcs[plc].topicName + "/write/result", encodeJsonWriteResult(results),
               false};
        return true;
    }

    // Item IDs below the PLC, as the PLC's topic shows them; a full item ID of the same PLC is
    // taken as well.
    std::optional<std::size_t> resolve(std::size_t plc, const WriteEntry& entry) const override
    {
        const std::string& name = model_.plcs[plc].name;
        for (const std::string& id : {name + "." + entry.itemId, entry.itemId}) {
            const auto it = model_.tagByItemId.find(id);
            if (it != model_.tagByItemId.end() && model_.tags[it->second].plc == plc) return it->second;
        }
        return std::nullopt;
    }

private:
    const EdgeModel& model_;
    std::string base_;
};

}  // namespace

std::unique_ptr<EdgeFormat> makeJsonFormat(const EdgeModel& model, const MqttSettings& settings)
{
    return std::make_unique<JsonEdgeFormat>(model, settings);
}

}  // namespace orva::mqtt
