// The Sparkplug B edge node: the server is the node, each PLC a device. A session starts with
// NBIRTH (bdSeq of the session's will, "Node Control/Rebirth") and a DBIRTH per reachable PLC
// with every tag as a metric (name = item ID, alias = the tag's number); changes follow as DDATA
// by alias; a PLC whose tags have all turned Bad gets DDEATH, and DBIRTH again once it answers.

#include "mqtt/EdgeFormat.h"
#include "mqtt/SparkplugPayload.h"
#include "mqtt/StatusNames.h"

namespace orva::mqtt {
namespace {

using sparkplug::Metric;
namespace datatype = sparkplug::datatype;

constexpr std::string_view kNamespace = "spBv1.0";
constexpr std::string_view kRebirth = "Node Control/Rebirth";
constexpr std::string_view kDropped = "Node Info/Dropped Messages";

class SparkplugEdgeFormat final : public EdgeFormat {
public:
    SparkplugEdgeFormat(const EdgeModel& model, const MqttSettings& settings)
        : model_(model),
          group_(std::string(kNamespace) + "/" + settings.groupId + "/"),
          node_(topicLevel(model.serverName)),
          born_(model.plcs.size(), false),
          publishedQuality_(model.tags.size(), opc::OPC_QUALITY_GOOD)
    {
    }

    OutgoingMessage nextWill() override
    {
        bdSeq_ = (bdSeq_ + 1) % 256;
        return goodbye();
    }

    std::vector<std::string> subscriptions(bool writes) const override
    {
        std::vector<std::string> topics{nodeTopic("NCMD")};
        if (writes) topics.push_back(group_ + "DCMD/" + node_ + "/+");
        return topics;
    }

    void births(const std::vector<TagState>& state, std::vector<OutgoingMessage>& out) override
    {
        seq_ = 0;
        const std::uint64_t now = millisecondsSinceEpoch(std::chrono::system_clock::now());
        std::vector<Metric> metrics(3);
        metrics[0] = nodeMetric("bdSeq", datatype::Int64, static_cast<std::uint64_t>(bdSeq_), now);
        metrics[1] = nodeMetric(std::string(kRebirth), datatype::Boolean, 0, now);
        metrics[1].longValue.reset();
        metrics[1].value.setBool(false);
        metrics[2] = nodeMetric(std::string(kDropped), datatype::UInt64, droppedTotal_, now);
        out.push_back({nodeTopic("NBIRTH"), sparkplug::encodePayload(now, 0, metrics), false});
        for (std::size_t plc = 0; plc < model_.plcs.size(); ++plc) {
            born_[plc] = reachable(plc, state);
            if (born_[plc]) out.push_back(deviceBirth(plc, state, now));
        }
    }

    void update(const PlcUpdate& update, bool historical, const std::vector<TagState>& state,
                std::vector<OutgoingMessage>& out) override
    {
        const std::size_t plc = update.plc;
        const std::uint64_t now = millisecondsSinceEpoch(update.time);
        if (historical) {
            if (born_[plc] && !update.samples.empty()) out.push_back(deviceData(update, true));
            return;
        }
        if (born_[plc] && update.plcLost) {
            born_[plc] = false;
            out.push_back({deviceTopic("DDEATH", plc), sparkplug::encodePayload(now, nextSeq(), {}), false});
        } else if (!born_[plc] && !update.plcLost) {
            born_[plc] = true;
            out.push_back(deviceBirth(plc, state, now));
        } else if (born_[plc] && !update.samples.empty()) {
            out.push_back(deviceData(update, false));
        }
    }

    void dropped(std::uint64_t count, opc::TimeStamp time, std::vector<OutgoingMessage>& out) override
    {
        droppedTotal_ += count;
        const std::uint64_t ms = millisecondsSinceEpoch(time);
        out.push_back(
            {nodeTopic("NDATA"),
             sparkplug::encodePayload(
                 ms, nextSeq(), {nodeMetric(std::string(kDropped), datatype::UInt64, droppedTotal_, ms)}),
             false});
    }

    OutgoingMessage goodbye() override
    {
        const std::uint64_t now = millisecondsSinceEpoch(std::chrono::system_clock::now());
        return {nodeTopic("NDEATH"),
                sparkplug::encodePayload(
                    now, std::nullopt,
                    {nodeMetric("bdSeq", datatype::Int64, static_cast<std::uint64_t>(bdSeq_), now)}),
                false};
    }

    IncomingCommand decode(std::string_view topic, std::string_view payload) const override
    {
        IncomingCommand command;
        const auto metrics = sparkplug::decodeCommand(payload);
        if (!metrics) {
            command.problem = "not a Sparkplug B payload";
            return command;
        }
        if (topic == nodeTopic("NCMD")) {
            for (const auto& m : *metrics) {
                const bool named = m.name == kRebirth || (m.alias && *m.alias == kRebirthAlias);
                if (named && m.value.toBool()) command.kind = IncomingCommand::Kind::Rebirth;
            }
            if (command.kind == IncomingCommand::Kind::Ignore)
                command.problem = "node command without rebirth";
            return command;
        }
        const std::string prefix = group_ + "DCMD/" + node_ + "/";
        if (!topic.starts_with(prefix)) {
            command.problem = "not a command topic";
            return command;
        }
        const auto plc = model_.plcByTopic(topic.substr(prefix.size()));
        if (!plc) {
            command.problem = "no device named " + std::string(topic.substr(prefix.size()));
            return command;
        }
        command.kind = IncomingCommand::Kind::Write;
        command.plc = *plc;
        for (const auto& m : *metrics) {
            WriteEntry entry;
            entry.itemId = m.name;
            if (entry.itemId.empty() && m.alias && *m.alias < model_.tags.size())
                entry.itemId = model_.tags[*m.alias].itemId;
            entry.value = m.value;
            command.writes.push_back(std::move(entry));
        }
        return command;
    }

    bool writeResult(std::size_t, const std::vector<std::pair<std::string, std::string_view>>&,
                     OutgoingMessage&) const override
    {
        return false;  // a write's effect comes back as DDATA
    }

    std::optional<std::size_t> resolve(std::size_t plc, const WriteEntry& entry) const override
    {
        const auto it = model_.tagByItemId.find(entry.itemId);
        if (it == model_.tagByItemId.end() || model_.tags[it->second].plc != plc) return std::nullopt;
        return it->second;
    }

private:
    // Tag aliases are the tags' numbers; the node's own metrics are sent by name only, except the
    // rebirth command, which a host may send by this alias too.
    static constexpr std::uint64_t kRebirthAlias = UINT64_MAX;

    std::string nodeTopic(std::string_view type) const { return group_ + std::string(type) + "/" + node_; }
    std::string deviceTopic(std::string_view type, std::size_t plc) const
    {
        return nodeTopic(type) + "/" + model_.plcs[plc].topicName;
    }
    std::uint64_t nextSeq()
    {
        seq_ = (seq_ + 1) % 256;
        return seq_;
    }

    static Metric nodeMetric(std::string name, std::uint32_t type, std::uint64_t value, std::uint64_t time)
    {
        Metric m;
        m.name = std::move(name);
        m.datatype = type;
        m.timestamp = time;
        m.longValue = value;
        return m;
    }

    bool reachable(std::size_t plc, const std::vector<TagState>& state) const
    {
        const auto& tags = model_.plcs[plc].tags;
        if (tags.empty()) return true;
        for (const std::size_t tag : tags)
            if (!isBadQuality(state[tag].quality)) return true;
        return false;
    }

    Metric tagMetric(std::size_t tag, const opc::SOCmnVariant& value, std::uint16_t quality,
                     opc::TimeStamp time)
    {
        Metric m;
        m.alias = tag;
        m.datatype = sparkplug::dataTypeOf(model_.tags[tag].type);
        m.timestamp = millisecondsSinceEpoch(time);
        m.value = value;
        // The quality goes along when it is not Good, and once more when it turns Good again.
        if (!isGoodQuality(quality) || !isGoodQuality(publishedQuality_[tag])) m.quality = quality & 0xFF;
        publishedQuality_[tag] = quality;
        return m;
    }

    OutgoingMessage deviceBirth(std::size_t plc, const std::vector<TagState>& state, std::uint64_t now)
    {
        std::vector<Metric> metrics;
        metrics.reserve(model_.plcs[plc].tags.size());
        for (const std::size_t tag : model_.plcs[plc].tags) {
            publishedQuality_[tag] = opc::OPC_QUALITY_GOOD;
            Metric m = tagMetric(tag, state[tag].value, state[tag].quality, state[tag].time);
            m.name = model_.tags[tag].itemId;
            if (m.timestamp == 0) m.timestamp = now;
            metrics.push_back(std::move(m));
        }
        return {deviceTopic("DBIRTH", plc), sparkplug::encodePayload(now, nextSeq(), metrics), false};
    }

    OutgoingMessage deviceData(const PlcUpdate& update, bool historical)
    {
        std::vector<Metric> metrics;
        metrics.reserve(update.samples.size());
        for (const TagSample& sample : update.samples) {
            Metric m = tagMetric(sample.tag, sample.value, sample.quality, sample.time);
            m.historical = historical;
            metrics.push_back(std::move(m));
        }
        return {deviceTopic("DDATA", update.plc),
                sparkplug::encodePayload(millisecondsSinceEpoch(update.time), nextSeq(), metrics), false};
    }

    const EdgeModel& model_;
    std::string group_;  // "spBv1.0/<group>/"
    std::string node_;
    int bdSeq_ = -1;
    std::uint64_t seq_ = 0;
    std::uint64_t droppedTotal_ = 0;
    std::vector<bool> born_;
    std::vector<std::uint16_t> publishedQuality_;
};

}  // namespace

std::unique_ptr<EdgeFormat> makeSparkplugFormat(const EdgeModel& model, const MqttSettings& settings)
{
    return std::make_unique<SparkplugEdgeFormat>(model, settings);
}

}  // namespace orva::mqtt
