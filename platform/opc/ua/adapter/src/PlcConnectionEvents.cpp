#include "opcua/PlcConnectionEvents.h"

namespace orva::opcua {

namespace {
constexpr uint16_t kNamespace = 1;
constexpr uint32_t kString = 12, kInt32 = 6, kSystemEventType = 2130;
}  // namespace

EventTypeDefinition plcConnectionEventType()
{
    EventTypeDefinition t;
    t.nodeId = NodeId::num(plcevent::Type, kNamespace);
    t.name = "PlcConnectionEventType";
    t.superType = NodeId::num(kSystemEventType);
    t.description = "A PLC's connection was lost, came back, or fails with another error";
    t.properties = {
        {NodeId::num(plcevent::PlcName, kNamespace), "PlcName", NodeId::num(kString),
         "The PLC's configured name"},
        {NodeId::num(plcevent::ErrorCode, kNamespace), "ErrorCode", NodeId::num(kInt32),
         "The transport's status code, 0 when connected"},
        {NodeId::num(plcevent::ErrorText, kNamespace), "ErrorText", NodeId::num(kString),
         "The transport's text for the code"},
    };
    return t;
}

Event plcConnectionEvent(PlcConnectionChange change, const std::string& plcName, int code,
                         const std::string& errorText)
{
    Event e;
    e.eventType = NodeId::num(plcevent::Type, kNamespace);
    e.sourceNode = NodeId::str(plcName, kNamespace);  // the PLC's folder
    e.sourceName = plcName;
    const std::string error = std::to_string(code) + (errorText.empty() ? "" : " " + errorText);
    switch (change) {
        case PlcConnectionChange::Lost:
            e.severity = plcevent::Lost;
            e.message.text = "PLC " + plcName + ": connection lost (error " + error + ")";
            break;
        case PlcConnectionChange::Changed:
            e.severity = plcevent::Changed;
            e.message.text = "PLC " + plcName + ": connection error now " + error;
            break;
        case PlcConnectionChange::Back:
            e.severity = plcevent::Back;
            e.message.text = "PLC " + plcName + ": connection back";
            break;
    }
    e.fields = {{QualifiedName{kNamespace, "PlcName"}, Variant::string(plcName)},
                {QualifiedName{kNamespace, "ErrorCode"}, Variant::int32(code)},
                {QualifiedName{kNamespace, "ErrorText"}, Variant::string(errorText)}};
    return e;
}

std::optional<PlcConnectionChange> PlcConnectionTracker::report(const std::string& plcName, int code)
{
    std::lock_guard guard(lock_);
    const auto [it, first] = last_.try_emplace(plcName, 0);
    const int previous = it->second;
    it->second = code;
    if (code == previous) return std::nullopt;
    if (previous == 0) return PlcConnectionChange::Lost;
    if (code == 0) return PlcConnectionChange::Back;
    return PlcConnectionChange::Changed;
}

}  // namespace orva::opcua
