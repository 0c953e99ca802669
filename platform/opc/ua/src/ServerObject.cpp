// The values of the Server object's variables, read from the engine's own state.

#include "EngineInternal.h"

namespace orva::opcua {

namespace {
struct ArgumentDescription {
    const char* name;
    BuiltinType type;
    int32_t valueRank;
};

// The value of a method's InputArguments or OutputArguments property: Argument structures.
Variant methodArguments(std::initializer_list<ArgumentDescription> arguments)
{
    constexpr uint32_t kArgumentEncoding = 298;
    std::vector<Scalar> out;
    for (const auto& a : arguments) {
        std::vector<uint8_t> body;
        Writer w(body);
        w.string(a.name);
        w.nodeId(NodeId::num(static_cast<uint32_t>(a.type)));
        w.i32(a.valueRank);
        if (a.valueRank == 1) {
            w.arrayLength(1);
            w.u32(0);
        } else {
            w.nullArray();
        }
        w.localizedText(LocalizedText{});
        ExtensionObject e;
        e.typeId = NodeId::num(kArgumentEncoding);
        e.encoding = 1;
        e.body.assign(body.begin(), body.end());
        out.emplace_back(std::move(e));
    }
    return Variant::arrayOf(BuiltinType::ExtensionObject, std::move(out));
}
}  // namespace

uint32_t Engine::secondsTillShutdown() const
{
    if (state_ != ServerState::Shutdown) return 0;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(shutdownAt_ - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<uint32_t>((left + 999) / 1000);  // a part of a second counts as one
}

Variant Engine::serverValue(uint32_t nodeId) const
{
    const auto strings = [](std::initializer_list<std::string> list) {
        std::vector<Scalar> v;
        for (const auto& s : list)
            v.emplace_back(s);
        return Variant::arrayOf(BuiltinType::String, std::move(v));
    };
    const auto u32 = [](uint32_t v) { return Variant::uint32(v); };
    const auto buildInfo = [&](Writer& w) {
        w.string(info_.productUri);
        w.string(info_.manufacturerName);
        w.string(info_.applicationName);
        w.string(info_.softwareVersion);
        w.string(info_.buildNumber);
        w.dateTime(startTime_);
    };
    switch (nodeId) {
        case id::ServerArray:
            return strings({info_.applicationUri});
        case id::NamespaceArray: {
            // The server's own nodes, when it has any, are the namespace after the configured one.
            const std::string own = backend_.ownNamespaceUri();
            if (own.empty()) return strings({"http://opcfoundation.org/UA/", info_.namespaceUri});
            return strings({"http://opcfoundation.org/UA/", info_.namespaceUri, own});
        }
        case id::ServiceLevel:
            return Variant::of(BuiltinType::Byte, uint64_t{state_ == ServerState::Running ? 255u : 0u});
        case id::ServerStatus: {
            ExtensionObject e;
            e.typeId = NodeId::num(svc::ServerStatusDataType);
            e.encoding = 1;
            std::vector<uint8_t> body;
            Writer w(body);
            w.dateTime(startTime_);
            w.dateTime(now());
            w.i32(static_cast<int32_t>(state_));
            buildInfo(w);
            w.u32(secondsTillShutdown());
            w.localizedText(LocalizedText{"", shutdownReason_});
            e.body.assign(body.begin(), body.end());
            return Variant::of(BuiltinType::ExtensionObject, std::move(e));
        }
        case id::StartTime:
            return Variant::dateTime(startTime_);
        case id::CurrentTime:
            return Variant::dateTime(now());
        case id::State:
            return Variant::int32(static_cast<int32_t>(state_));
        case id::BuildInfo: {
            ExtensionObject e;
            e.typeId = NodeId::num(340);
            e.encoding = 1;
            std::vector<uint8_t> body;
            Writer w(body);
            buildInfo(w);
            e.body.assign(body.begin(), body.end());
            return Variant::of(BuiltinType::ExtensionObject, std::move(e));
        }
        case id::ProductUri:
            return Variant::string(info_.productUri);
        case id::ManufacturerName:
            return Variant::string(info_.manufacturerName);
        case id::ProductName:
            return Variant::string(info_.applicationName);
        case id::SoftwareVersion:
            return Variant::string(info_.softwareVersion);
        case id::BuildNumber:
            return Variant::string(info_.buildNumber);
        case id::BuildDate:
            return Variant::dateTime(startTime_);
        case id::SecondsTillShutdown:
            return u32(secondsTillShutdown());
        case id::ShutdownReason:
            return Variant::of(BuiltinType::LocalizedText, LocalizedText{"", shutdownReason_});
        case id::ServerProfileArray:
            return strings({"http://opcfoundation.org/UA-Profile/Server/StandardUA2017"});
        case id::LocaleIdArray:
            return strings({"en"});
        case id::MinSupportedSampleRate:
            return Variant::dbl(limits_.minPublishingInterval);
        case id::MaxBrowseContinuationPoints:
            return Variant::of(BuiltinType::UInt16, uint64_t{limits_.maxBrowseContinuationPoints});
        case id::MaxArrayLength:
            return u32(65535);
        case id::MaxStringLength:
            return u32(65535);
        case id::MaxNodesPerRead:
            return u32(limits_.maxNodesPerRead);
        case id::MaxNodesPerWrite:
            return u32(limits_.maxNodesPerWrite);
        case id::MaxNodesPerBrowse:
            return u32(limits_.maxNodesPerBrowse);
        case id::MaxNodesPerRegisterNodes:
            return u32(limits_.maxNodesPerRegisterNodes);
        case id::MaxNodesPerTranslateBrowsePathsToNodeIds:
            return u32(limits_.maxNodesPerTranslate);
        case id::MaxMonitoredItemsPerCall:
            return u32(limits_.maxMonitoredItemsPerCall);
        case id::MaxNodesPerMethodCall:
            return u32(limits_.maxNodesPerMethodCall);
        case id::MaxQueryContinuationPoints:  // neither queries nor history are offered
        case id::MaxHistoryContinuationPoints:
            return Variant::of(BuiltinType::UInt16, uint64_t{0});
        case id::SoftwareCertificates:
            return Variant::arrayOf(BuiltinType::ExtensionObject, {});
        case id::EnabledFlag:  // no diagnostics are collected
        case id::Auditing:     // no audit events are generated
            return Variant::boolean(false);
        case id::RedundancySupport:
            return Variant::int32(0);  // None: one server, no failover partner
        case id::EnumStrings: {
            std::vector<Scalar> names;
            for (const char* name : {"Running", "Failed", "NoConfiguration", "Suspended", "Shutdown", "Test",
                                     "CommunicationFault", "Unknown"})
                names.emplace_back(LocalizedText{"", name});
            return Variant::arrayOf(BuiltinType::LocalizedText, std::move(names));
        }
        case id::GetMonitoredItemsInputArguments:
            return methodArguments({{"SubscriptionId", BuiltinType::UInt32, -1}});
        case id::GetMonitoredItemsOutputArguments:
            return methodArguments(
                {{"ServerHandles", BuiltinType::UInt32, 1}, {"ClientHandles", BuiltinType::UInt32, 1}});
        default:
            return {};
    }
}

DataValue Engine::readNonTagValue(const Node& node) const
{
    if (node.nodeClass != NodeClass::Variable && node.nodeClass != NodeClass::VariableType)
        return DataValue::ofStatus(status::BadAttributeIdInvalid);
    const DateTime t = now();
    if (node.nodeId.ns == kOwnNamespace && node.nodeClass == NodeClass::Variable)
        return DataValue::ofValue(backend_.ownValue(node.nodeId.text), t, t);
    // Type nodes and the properties of types have no value of their own.
    if (node.nodeClass == NodeClass::VariableType || node.nodeId.ns != 0)
        return DataValue::ofValue(Variant{});
    return DataValue::ofValue(serverValue(node.nodeId.numeric), t, t);
}

}  // namespace orva::opcua
