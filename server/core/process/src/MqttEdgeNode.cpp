#include "EdgeNode.h"
#include "mqtt/Publisher.h"

namespace orva::process {
namespace {

class MqttEdgeNode final : public EdgeNode {
public:
    explicit MqttEdgeNode(std::unique_ptr<mqtt::Publisher> publisher) : publisher_(std::move(publisher)) {}
    std::string linkState() const override { return "MQTT: " + publisher_->linkState(); }
    void stop() override { publisher_->stop(); }

private:
    std::unique_ptr<mqtt::Publisher> publisher_;
};

}  // namespace

std::unique_ptr<EdgeNode> startEdgeNode(const ServerIdentity& identity, const registry::Registry& registry,
                                        opc::SODaSEntry& entry, LogSink& log)
{
    std::string problem;
    auto settings = mqtt::readMqttSettings(registry, identity.registryKey, identity.name, &problem);
    if (!problem.empty()) log.log(LogPriority::Warning, "MQTT: " + problem);
    if (!settings) return nullptr;
    auto publisher = std::make_unique<mqtt::Publisher>(
        entry, std::move(*settings), std::string(identity.name),
        [&log](mqtt::Publisher::LogLevel level, const std::string& line) {
            log.log(level == mqtt::Publisher::LogLevel::Warning ? LogPriority::Warning : LogPriority::Info,
                    line);
        });
    if (!publisher->start()) return nullptr;
    return std::make_unique<MqttEdgeNode>(std::move(publisher));
}

}  // namespace orva::process
