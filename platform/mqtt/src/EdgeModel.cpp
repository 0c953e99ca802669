#include "mqtt/EdgeModel.h"

namespace orva::mqtt {

std::string topicLevel(std::string_view name)
{
    if (name.empty()) return std::string(1, '_');
    std::string level(name);
    for (char& c : level)
        if (c == '/' || c == '+' || c == '#') c = '_';
    return level;
}

std::optional<std::size_t> EdgeModel::plcByTopic(std::string_view level) const
{
    for (std::size_t i = 0; i < plcs.size(); ++i)
        if (plcs[i].topicName == level) return i;
    return std::nullopt;
}

std::uint64_t millisecondsSinceEpoch(opc::TimeStamp time)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
    return ms > 0 ? static_cast<std::uint64_t>(ms) : 0;
}

}  // namespace orva::mqtt
