// The values of the Server object's variables, read from the engine's own state.

#include "EngineInternal.h"

namespace opcua {

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
        case id::NamespaceArray:
            return strings({"http://opcfoundation.org/UA/", info_.namespaceUri});
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
            w.u32(0);
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
            return u32(0);
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
        default:
            return {};
    }
}

DataValue Engine::readNonTagValue(const Node& node) const
{
    if (node.nodeClass != NodeClass::Variable && node.nodeClass != NodeClass::VariableType)
        return DataValue::ofStatus(status::BadAttributeIdInvalid);
    if (node.nodeClass == NodeClass::VariableType) return DataValue::ofValue(Variant{});
    const DateTime t = now();
    return DataValue::ofValue(serverValue(node.nodeId.numeric), t, t);
}

}  // namespace opcua
