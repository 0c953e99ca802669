#include "runtime/PollingVariables.h"

#include <map>
#include <memory>

namespace orva::process {
namespace {

enum class Figure { ReadsPerSecond, MeanAnswerMs, MaxAnswerMs, AchievedIntervalMs, ErrorCount };

struct FigureName {
    Figure figure;
    const char* name;
    uint32_t dataType;  // namespace-0 data type: 11 Double, 9 UInt64
};

constexpr FigureName kFigures[] = {
    {Figure::ReadsPerSecond, "ReadsPerSecond", 11}, {Figure::MeanAnswerMs, "MeanAnswerMs", 11},
    {Figure::MaxAnswerMs, "MaxAnswerMs", 11},       {Figure::AchievedIntervalMs, "AchievedIntervalMs", 11},
    {Figure::ErrorCount, "ErrorCount", 9},
};

opcua::Variant valueOf(const core::PollFigures& f, Figure figure)
{
    switch (figure) {
        case Figure::ReadsPerSecond:
            return opcua::Variant::dbl(f.readsPerSecond);
        case Figure::MeanAnswerMs:
            return opcua::Variant::dbl(f.meanAnswerMs);
        case Figure::MaxAnswerMs:
            return opcua::Variant::dbl(f.maxAnswerMs);
        case Figure::AchievedIntervalMs:
            return opcua::Variant::dbl(f.achievedIntervalMs);
        case Figure::ErrorCount:
            return opcua::Variant::of(opcua::BuiltinType::UInt64, f.errorCount);
    }
    return {};
}

}  // namespace

opcua::ToolkitBackend::OwnVariables pollingVariables(const std::vector<std::string>& plcNames,
                                                     std::function<std::vector<core::PollFigures>()> figures)
{
    opcua::ToolkitBackend::OwnVariables own;
    own.namespaceUri = kPollingNamespaceUri;
    own.nodes.push_back({"Polling", "", "Polling", true});
    auto where = std::make_shared<std::map<std::string, std::pair<std::size_t, Figure>>>();
    for (std::size_t i = 0; i < plcNames.size(); ++i) {
        const std::string folder = "Polling." + plcNames[i];
        own.nodes.push_back({folder, "Polling", plcNames[i], true});
        for (const auto& f : kFigures) {
            const std::string id = folder + "." + f.name;
            own.nodes.push_back({id, folder, f.name, false, f.dataType});
            (*where)[id] = {i, f.figure};
        }
    }
    own.value = [where, figures = std::move(figures)](const std::string& id) -> opcua::Variant {
        const auto found = where->find(id);
        if (found == where->end()) return {};
        const auto all = figures();
        if (found->second.first >= all.size()) return {};
        return valueOf(all[found->second.first], found->second.second);
    };
    return own;
}

}  // namespace orva::process
