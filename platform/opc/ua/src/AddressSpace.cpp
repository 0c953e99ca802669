#include "opcua/AddressSpace.h"

#include <tuple>

namespace orva::opcua {

namespace {
constexpr uint16_t kTagNamespace = 1;

// Fixed nodes are kept by namespace and number.
uint64_t keyOf(const NodeId& id)
{
    return (uint64_t{id.ns} << 32) | id.numeric;
}
bool isStaticId(const NodeId& id)
{
    return id.kind == NodeId::Kind::Numeric && (id.ns == 0 || id.ns == kTagNamespace);
}

// Data type node ids of namespace 0 that equal the built-in type numbers for these types.
constexpr uint32_t kUtcTime = 294, kLocaleId = 295, kDuration = 290, kServerState = 852,
                   kServerStatusType = 862, kBuildInfoType = 338, kNumber = 26, kInteger = 27, kUInteger = 28,
                   kBaseDataType = 24, kStructure = 22, kEnumeration = 29;
}  // namespace

BuiltinType builtinOfDataType(const NodeId& dataType)
{
    // The DataType node ids of the built-in types equal their type numbers.
    if (dataType.ns != 0 || dataType.kind != NodeId::Kind::Numeric || dataType.numeric == 0 ||
        dataType.numeric > static_cast<uint32_t>(BuiltinType::DiagnosticInfo))
        return BuiltinType::Null;
    return static_cast<BuiltinType>(dataType.numeric);
}

AddressSpace::AddressSpace(Backend& backend, const std::vector<EventTypeDefinition>& eventTypes)
    : backend_(backend)
{
    using NC = NodeClass;
    add(id::Root, NC::Object, "Root", 0, 0, id::FolderType);
    add(id::Objects, NC::Object, "Objects", id::Root, id::Organizes, id::FolderType);
    add(id::Types, NC::Object, "Types", id::Root, id::Organizes, id::FolderType);
    add(id::Views, NC::Object, "Views", id::Root, id::Organizes, id::FolderType);
    add(id::ObjectTypes, NC::Object, "ObjectTypes", id::Types, id::Organizes, id::FolderType);
    add(id::VariableTypes, NC::Object, "VariableTypes", id::Types, id::Organizes, id::FolderType);
    add(id::DataTypes, NC::Object, "DataTypes", id::Types, id::Organizes, id::FolderType);
    add(id::ReferenceTypes, NC::Object, "ReferenceTypes", id::Types, id::Organizes, id::FolderType);

    // Reference types.
    const auto refType = [&](uint32_t nodeId, const char* name, uint32_t parent, const char* inverse,
                             bool abstract) {
        Node& n = add(nodeId, NC::ReferenceType, name, parent, parent == 0 ? 0 : id::HasSubtype);
        n.isAbstract = abstract;
        if (inverse != nullptr) n.inverseName = LocalizedText{"", inverse};
        n.symmetric = nodeId == id::References;
    };
    refType(id::References, "References", 0, nullptr, true);
    link(NodeId::num(id::ReferenceTypes), id::Organizes, NodeId::num(id::References));
    refType(id::HierarchicalReferences, "HierarchicalReferences", id::References, nullptr, true);
    refType(32, "NonHierarchicalReferences", id::References, nullptr, true);
    refType(id::HasChild, "HasChild", id::HierarchicalReferences, nullptr, true);
    refType(id::Organizes, "Organizes", id::HierarchicalReferences, "OrganizedBy", false);
    refType(id::Aggregates, "Aggregates", id::HasChild, nullptr, true);
    refType(id::HasSubtype, "HasSubtype", id::HasChild, "SubtypeOf", false);
    refType(id::HasProperty, "HasProperty", id::Aggregates, "PropertyOf", false);
    refType(id::HasComponent, "HasComponent", id::Aggregates, "ComponentOf", false);
    refType(id::HasTypeDefinition, "HasTypeDefinition", 32, "TypeDefinitionOf", false);

    // Object and variable types.
    add(58, NC::ObjectType, "BaseObjectType", 0, 0);
    link(NodeId::num(id::ObjectTypes), id::Organizes, NodeId::num(58));
    add(id::FolderType, NC::ObjectType, "FolderType", 58, id::HasSubtype);
    add(2004, NC::ObjectType, "ServerType", 58, id::HasSubtype);
    add(2013, NC::ObjectType, "ServerCapabilitiesType", 58, id::HasSubtype);
    add(11564, NC::ObjectType, "OperationLimitsType", id::FolderType, id::HasSubtype);
    add(2020, NC::ObjectType, "ServerDiagnosticsType", 58, id::HasSubtype);
    add(2033, NC::ObjectType, "VendorServerInfoType", 58, id::HasSubtype);
    add(2034, NC::ObjectType, "ServerRedundancyType", 58, id::HasSubtype);

    // The base event model: every event carries the properties of BaseEventType.
    add(id::BaseEventType, NC::ObjectType, "BaseEventType", 58, id::HasSubtype).isAbstract = true;
    for (const auto& [fieldId, name, type] :
         std::initializer_list<std::tuple<uint32_t, const char*, uint32_t>>{
             {id::EventId, "EventId", 15},
             {id::EventType, "EventType", 17},
             {id::SourceNode, "SourceNode", 17},
             {id::SourceName, "SourceName", 12},
             {id::Time, "Time", kUtcTime},
             {id::ReceiveTime, "ReceiveTime", kUtcTime},
             {id::Message, "Message", 21},
             {id::Severity, "Severity", 5}})
        addVariable(fieldId, name, id::BaseEventType, id::HasProperty, type);
    add(id::SystemEventType, NC::ObjectType, "SystemEventType", id::BaseEventType, id::HasSubtype)
        .isAbstract = true;
    add(id::EventQueueOverflowEventType, NC::ObjectType, "EventQueueOverflowEventType", id::BaseEventType,
        id::HasSubtype)
        .isAbstract = true;
    Node& baseVariableType = add(62, NC::VariableType, "BaseVariableType", 0, 0);
    baseVariableType.isAbstract = true;
    baseVariableType.dataType = NodeId::num(kBaseDataType);
    link(NodeId::num(id::VariableTypes), id::Organizes, NodeId::num(62));
    add(id::BaseDataVariableType, NC::VariableType, "BaseDataVariableType", 62, id::HasSubtype).dataType =
        NodeId::num(kBaseDataType);
    add(id::PropertyType, NC::VariableType, "PropertyType", 62, id::HasSubtype).dataType =
        NodeId::num(kBaseDataType);
    add(2138, NC::VariableType, "ServerStatusType", id::BaseDataVariableType, id::HasSubtype).dataType =
        NodeId::num(kServerStatusType);
    add(3051, NC::VariableType, "BuildInfoType", id::BaseDataVariableType, id::HasSubtype).dataType =
        NodeId::num(kBuildInfoType);

    // Data types.
    const auto dataType = [&](uint32_t nodeId, const char* name, uint32_t parent, bool abstract = false) {
        add(nodeId, NC::DataType, name, parent, parent == 0 ? 0 : id::HasSubtype).isAbstract = abstract;
    };
    dataType(kBaseDataType, "BaseDataType", 0, true);
    link(NodeId::num(id::DataTypes), id::Organizes, NodeId::num(kBaseDataType));
    dataType(1, "Boolean", kBaseDataType);
    dataType(kNumber, "Number", kBaseDataType, true);
    dataType(kInteger, "Integer", kNumber, true);
    dataType(kUInteger, "UInteger", kNumber, true);
    dataType(2, "SByte", kInteger);
    dataType(4, "Int16", kInteger);
    dataType(6, "Int32", kInteger);
    dataType(8, "Int64", kInteger);
    dataType(3, "Byte", kUInteger);
    dataType(5, "UInt16", kUInteger);
    dataType(7, "UInt32", kUInteger);
    dataType(9, "UInt64", kUInteger);
    dataType(10, "Float", kNumber);
    dataType(11, "Double", kNumber);
    dataType(kDuration, "Duration", 11);
    dataType(12, "String", kBaseDataType);
    dataType(kLocaleId, "LocaleId", 12);
    dataType(13, "DateTime", kBaseDataType);
    dataType(kUtcTime, "UtcTime", 13);
    dataType(15, "ByteString", kBaseDataType);
    dataType(17, "NodeId", kBaseDataType);
    dataType(19, "StatusCode", kBaseDataType);
    dataType(20, "QualifiedName", kBaseDataType);
    dataType(21, "LocalizedText", kBaseDataType);
    dataType(kStructure, "Structure", kBaseDataType, true);
    dataType(kEnumeration, "Enumeration", kBaseDataType, true);
    dataType(kServerStatusType, "ServerStatusDataType", kStructure);
    dataType(kBuildInfoType, "BuildInfo", kStructure);
    dataType(kServerState, "ServerState", kEnumeration);
    addVariable(id::EnumStrings, "EnumStrings", kServerState, id::HasProperty, 21, 1);
    dataType(851, "RedundancySupport", kEnumeration);
    dataType(id::Argument, "Argument", kStructure);
    dataType(344, "SignedSoftwareCertificate", kStructure);

    // The Server object.
    add(id::Server, NC::Object, "Server", id::Objects, id::Organizes, 2004).eventNotifier = 1;
    addVariable(id::ServerArray, "ServerArray", id::Server, id::HasProperty, 12, 1);
    addVariable(id::NamespaceArray, "NamespaceArray", id::Server, id::HasProperty, 12, 1);
    addVariable(id::ServiceLevel, "ServiceLevel", id::Server, id::HasProperty, 3);
    addVariable(id::ServerStatus, "ServerStatus", id::Server, id::HasComponent, kServerStatusType, -1, 2138);
    addVariable(id::StartTime, "StartTime", id::ServerStatus, id::HasComponent, kUtcTime);
    addVariable(id::CurrentTime, "CurrentTime", id::ServerStatus, id::HasComponent, kUtcTime);
    addVariable(id::State, "State", id::ServerStatus, id::HasComponent, kServerState);
    addVariable(id::BuildInfo, "BuildInfo", id::ServerStatus, id::HasComponent, kBuildInfoType, -1, 3051);
    addVariable(id::ProductUri, "ProductUri", id::BuildInfo, id::HasComponent, 12);
    addVariable(id::ManufacturerName, "ManufacturerName", id::BuildInfo, id::HasComponent, 12);
    addVariable(id::ProductName, "ProductName", id::BuildInfo, id::HasComponent, 12);
    addVariable(id::SoftwareVersion, "SoftwareVersion", id::BuildInfo, id::HasComponent, 12);
    addVariable(id::BuildNumber, "BuildNumber", id::BuildInfo, id::HasComponent, 12);
    addVariable(id::BuildDate, "BuildDate", id::BuildInfo, id::HasComponent, kUtcTime);
    addVariable(id::SecondsTillShutdown, "SecondsTillShutdown", id::ServerStatus, id::HasComponent, 7);
    addVariable(id::ShutdownReason, "ShutdownReason", id::ServerStatus, id::HasComponent, 21);
    add(id::ServerCapabilities, NC::Object, "ServerCapabilities", id::Server, id::HasComponent, 2013);
    addVariable(id::ServerProfileArray, "ServerProfileArray", id::ServerCapabilities, id::HasProperty, 12, 1);
    addVariable(id::LocaleIdArray, "LocaleIdArray", id::ServerCapabilities, id::HasProperty, kLocaleId, 1);
    addVariable(id::MinSupportedSampleRate, "MinSupportedSampleRate", id::ServerCapabilities, id::HasProperty,
                kDuration);
    addVariable(id::MaxBrowseContinuationPoints, "MaxBrowseContinuationPoints", id::ServerCapabilities,
                id::HasProperty, 5);
    addVariable(id::MaxArrayLength, "MaxArrayLength", id::ServerCapabilities, id::HasProperty, 7);
    addVariable(id::MaxStringLength, "MaxStringLength", id::ServerCapabilities, id::HasProperty, 7);
    addVariable(id::MaxQueryContinuationPoints, "MaxQueryContinuationPoints", id::ServerCapabilities,
                id::HasProperty, 5);
    addVariable(id::MaxHistoryContinuationPoints, "MaxHistoryContinuationPoints", id::ServerCapabilities,
                id::HasProperty, 5);
    addVariable(id::SoftwareCertificates, "SoftwareCertificates", id::ServerCapabilities, id::HasProperty,
                344, 1);
    add(id::OperationLimits, NC::Object, "OperationLimits", id::ServerCapabilities, id::HasComponent, 11564);
    for (const auto& [limitId, name] : std::initializer_list<std::pair<uint32_t, const char*>>{
             {id::MaxNodesPerRead, "MaxNodesPerRead"},
             {id::MaxNodesPerWrite, "MaxNodesPerWrite"},
             {id::MaxNodesPerBrowse, "MaxNodesPerBrowse"},
             {id::MaxNodesPerRegisterNodes, "MaxNodesPerRegisterNodes"},
             {id::MaxNodesPerTranslateBrowsePathsToNodeIds, "MaxNodesPerTranslateBrowsePathsToNodeIds"},
             {id::MaxNodesPerMethodCall, "MaxNodesPerMethodCall"},
             {id::MaxMonitoredItemsPerCall, "MaxMonitoredItemsPerCall"}})
        addVariable(limitId, name, id::OperationLimits, id::HasProperty, 7);
    add(id::ServerDiagnostics, NC::Object, "ServerDiagnostics", id::Server, id::HasComponent, 2020);
    addVariable(id::EnabledFlag, "EnabledFlag", id::ServerDiagnostics, id::HasProperty, 1);
    add(id::VendorServerInfo, NC::Object, "VendorServerInfo", id::Server, id::HasComponent, 2033);
    add(id::ServerRedundancy, NC::Object, "ServerRedundancy", id::Server, id::HasComponent, 2034);
    addVariable(id::RedundancySupport, "RedundancySupport", id::ServerRedundancy, id::HasProperty, 851);
    addVariable(id::Auditing, "Auditing", id::Server, id::HasProperty, 1);
    Node& getMonitoredItems =
        add(id::GetMonitoredItems, NC::Method, "GetMonitoredItems", id::Server, id::HasComponent);
    getMonitoredItems.executable = true;
    addVariable(id::GetMonitoredItemsInputArguments, "InputArguments", id::GetMonitoredItems, id::HasProperty,
                id::Argument, 1);
    addVariable(id::GetMonitoredItemsOutputArguments, "OutputArguments", id::GetMonitoredItems,
                id::HasProperty, id::Argument, 1);

    for (const auto& type : eventTypes)
        addEventType(type);
    addOwnNodes();
}

void AddressSpace::addOwnNodes()
{
    if (backend_.ownNamespaceUri().empty()) return;
    for (const OwnNode& own : backend_.ownNodes()) {
        Node n;
        n.nodeId = NodeId::str(own.id, kOwnNamespace);
        n.browseName = QualifiedName{kOwnNamespace, own.name};
        n.displayName = LocalizedText{"", own.name};
        if (own.isFolder) {
            n.nodeClass = NodeClass::Object;
            n.typeDefinition = NodeId::num(id::FolderType);
        } else {
            n.nodeClass = NodeClass::Variable;
            n.typeDefinition = NodeId::num(id::BaseDataVariableType);
            n.dataType = NodeId::num(own.dataType);
            n.accessLevel = 1;
        }
        const NodeId parent =
            own.parentId.empty() ? NodeId::num(id::Server) : NodeId::str(own.parentId, kOwnNamespace);
        auto& refs = ownRefs_[own.id];
        refs.push_back(Reference{NodeId::num(id::HasComponent), false, parent});
        refs.push_back(Reference{NodeId::num(id::HasTypeDefinition), true, n.typeDefinition});
        const Reference down{NodeId::num(id::HasComponent), true, n.nodeId};
        if (own.parentId.empty())
            staticRefs_[keyOf(NodeId::num(id::Server))].push_back(down);
        else
            ownRefs_[own.parentId].push_back(down);
        own_[own.id] = std::move(n);
    }
}

Node& AddressSpace::add(const NodeId& nodeId, NodeClass cls, const QualifiedName& name, const NodeId& parent,
                        uint32_t referenceType, uint32_t typeDefinition)
{
    Node& n = static_[keyOf(nodeId)];
    n.nodeId = nodeId;
    n.nodeClass = cls;
    n.browseName = name;
    n.displayName = LocalizedText{"", name.name};
    if (typeDefinition != 0) {
        n.typeDefinition = NodeId::num(typeDefinition);
        staticRefs_[keyOf(nodeId)].push_back(
            Reference{NodeId::num(id::HasTypeDefinition), true, n.typeDefinition});
    }
    if (!parent.isNull()) link(parent, referenceType, nodeId);
    return n;
}

Node& AddressSpace::add(uint32_t nodeId, NodeClass cls, const std::string& name, uint32_t parent,
                        uint32_t referenceType, uint32_t typeDefinition)
{
    return add(NodeId::num(nodeId), cls, QualifiedName{0, name}, NodeId::num(parent), referenceType,
               typeDefinition);
}

Node& AddressSpace::addVariable(uint32_t nodeId, const std::string& name, uint32_t parent,
                                uint32_t referenceType, uint32_t dataType, int32_t valueRank,
                                uint32_t typeDefinition)
{
    if (typeDefinition == 0)
        typeDefinition = referenceType == id::HasProperty ? id::PropertyType : id::BaseDataVariableType;
    Node& n = add(nodeId, NodeClass::Variable, name, parent, referenceType, typeDefinition);
    n.dataType = NodeId::num(dataType);
    n.valueRank = valueRank;
    if (valueRank == 1) n.arrayDimensions = {0};
    n.accessLevel = 1;
    return n;
}

void AddressSpace::link(const NodeId& from, uint32_t referenceType, const NodeId& to)
{
    staticRefs_[keyOf(from)].push_back(Reference{NodeId::num(referenceType), true, to});
    staticRefs_[keyOf(to)].push_back(Reference{NodeId::num(referenceType), false, from});
}

void AddressSpace::addEventType(const EventTypeDefinition& type)
{
    Node& n = add(type.nodeId, NodeClass::ObjectType, QualifiedName{type.nodeId.ns, type.name},
                  type.superType, id::HasSubtype);
    n.description = LocalizedText{"", type.description};
    for (const auto& p : type.properties) {
        Node& v = add(p.nodeId, NodeClass::Variable, QualifiedName{p.nodeId.ns, p.name}, type.nodeId,
                      id::HasProperty, id::PropertyType);
        v.dataType = p.dataType;
        v.description = LocalizedText{"", p.description};
    }
}

const Node* AddressSpace::staticNode(const NodeId& nodeId) const
{
    if (!isStaticId(nodeId)) return nullptr;
    const auto it = static_.find(keyOf(nodeId));
    return it == static_.end() ? nullptr : &it->second;
}

const std::vector<Reference>* AddressSpace::staticReferences(const NodeId& nodeId) const
{
    if (!isStaticId(nodeId)) return nullptr;
    const auto it = staticRefs_.find(keyOf(nodeId));
    return it == staticRefs_.end() ? nullptr : &it->second;
}

Node AddressSpace::nodeOfEntry(const BrowseEntry& entry) const
{
    Node n;
    n.nodeId = NodeId::str(entry.itemId, kTagNamespace);
    n.browseName = QualifiedName{kTagNamespace, entry.name};
    n.displayName = LocalizedText{"", entry.name};
    n.description = LocalizedText{"", entry.description};
    if (entry.isFolder) {
        n.nodeClass = NodeClass::Object;
        n.typeDefinition = NodeId::num(id::FolderType);
        return n;
    }
    n.nodeClass = NodeClass::Variable;
    n.typeDefinition = NodeId::num(id::BaseDataVariableType);
    n.isTag = true;
    n.itemId = entry.itemId;
    n.dataType = entry.dataType.isNull() ? NodeId::num(kBaseDataType) : entry.dataType;
    n.valueRank = entry.valueRank;
    if (entry.valueRank == 1) n.arrayDimensions = {entry.arrayLength};
    n.accessLevel = entry.accessLevel & 0x03;
    n.minimumSamplingInterval = entry.minimumSamplingInterval;
    return n;
}

std::string AddressSpace::parentOf(const std::string& itemId) const
{
    const auto dot = itemId.rfind('.');
    return dot == std::string::npos ? std::string{} : itemId.substr(0, dot);
}

std::optional<Node> AddressSpace::find(const NodeId& nodeId) const
{
    if (isStaticId(nodeId)) {
        const Node* n = staticNode(nodeId);
        if (n == nullptr) return std::nullopt;
        return *n;
    }
    if (nodeId.ns == kOwnNamespace && nodeId.kind == NodeId::Kind::String) {
        const auto it = own_.find(nodeId.text);
        if (it == own_.end()) return std::nullopt;
        return it->second;
    }
    if (nodeId.ns != kTagNamespace || nodeId.kind != NodeId::Kind::String || nodeId.text.empty())
        return std::nullopt;
    const auto entry = backend_.lookup(nodeId.text);
    if (!entry) return std::nullopt;
    return nodeOfEntry(*entry);
}

std::optional<std::vector<Reference>> AddressSpace::references(const NodeId& nodeId) const
{
    if (isStaticId(nodeId)) {
        if (staticNode(nodeId) == nullptr) return std::nullopt;
        std::vector<Reference> refs;
        if (const auto* known = staticReferences(nodeId)) refs = *known;
        if (nodeId.isNumeric(id::Objects)) {
            std::vector<BrowseEntry> top;
            backend_.browse("", top);
            for (const auto& e : top)
                refs.push_back(
                    Reference{NodeId::num(id::Organizes), true, NodeId::str(e.itemId, kTagNamespace)});
        }
        return refs;
    }
    if (nodeId.ns == kOwnNamespace && nodeId.kind == NodeId::Kind::String) {
        if (!own_.contains(nodeId.text)) return std::nullopt;
        const auto it = ownRefs_.find(nodeId.text);
        return it != ownRefs_.end() ? it->second : std::vector<Reference>{};
    }
    const auto node = find(nodeId);
    if (!node) return std::nullopt;
    std::vector<Reference> refs;
    const std::string parent = parentOf(nodeId.text);
    const bool parentIsFolder = !parent.empty() && backend_.lookup(parent).has_value();
    refs.push_back(Reference{NodeId::num(id::Organizes), false,
                             parentIsFolder ? NodeId::str(parent, kTagNamespace) : NodeId::num(id::Objects)});
    refs.push_back(Reference{NodeId::num(id::HasTypeDefinition), true, node->typeDefinition});
    if (node->nodeClass == NodeClass::Object) {
        std::vector<BrowseEntry> children;
        backend_.browse(nodeId.text, children);
        for (const auto& e : children)
            refs.push_back(Reference{NodeId::num(id::Organizes), true, NodeId::str(e.itemId, kTagNamespace)});
    }
    return refs;
}

bool AddressSpace::isSubtypeOf(const NodeId& type, const NodeId& base) const
{
    if (type == base) return true;
    NodeId current = type;
    for (int depth = 0; depth < 16; ++depth) {  // the type tree is shallow; the bound guards loops
        const auto* refs = staticReferences(current);
        if (refs == nullptr) return false;
        const Reference* up = nullptr;
        for (const auto& r : *refs)
            if (!r.isForward && r.referenceType.isNumeric(id::HasSubtype)) up = &r;
        if (up == nullptr) return false;
        if (up->target == base) return true;
        current = up->target;
    }
    return false;
}

bool AddressSpace::isReferenceType(const NodeId& nodeId) const
{
    if (nodeId.ns != 0) return false;
    const Node* n = staticNode(nodeId);
    return n != nullptr && n->nodeClass == NodeClass::ReferenceType;
}

NodeId AddressSpace::propertyOfType(const NodeId& type, const QualifiedName& name) const
{
    NodeId current = type;
    for (int depth = 0; depth < 16; ++depth) {
        const auto* refs = staticReferences(current);
        if (refs == nullptr) return {};
        const Reference* up = nullptr;
        for (const auto& r : *refs) {
            if (!r.isForward && r.referenceType.isNumeric(id::HasSubtype)) up = &r;
            if (!r.isForward || !r.referenceType.isNumeric(id::HasProperty)) continue;
            const Node* p = staticNode(r.target);
            if (p != nullptr && p->browseName == name) return r.target;
        }
        if (up == nullptr) return {};
        current = up->target;
    }
    return {};
}

bool AddressSpace::typeFamilyHasProperty(const NodeId& type, const QualifiedName& name) const
{
    if (!propertyOfType(type, name).isNull()) return true;
    std::vector<NodeId> pending{type};
    for (size_t visited = 0; !pending.empty() && visited < 256; ++visited) {  // bounded: guards loops
        const NodeId current = pending.back();
        pending.pop_back();
        const auto* refs = staticReferences(current);
        if (refs == nullptr) continue;
        for (const auto& r : *refs) {
            if (!r.isForward) continue;
            if (r.referenceType.isNumeric(id::HasSubtype)) pending.push_back(r.target);
            if (!r.referenceType.isNumeric(id::HasProperty) || current == type) continue;
            const Node* p = staticNode(r.target);
            if (p != nullptr && p->browseName == name) return true;
        }
    }
    return false;
}

DataValue AddressSpace::readAttribute(const Node& n, uint32_t attributeId) const
{
    const auto value = [](Variant v) { return DataValue::ofValue(std::move(v)); };
    const bool isVariable = n.nodeClass == NodeClass::Variable || n.nodeClass == NodeClass::VariableType;
    const bool isType = n.nodeClass == NodeClass::ObjectType || n.nodeClass == NodeClass::VariableType ||
                        n.nodeClass == NodeClass::ReferenceType || n.nodeClass == NodeClass::DataType;
    switch (attributeId) {
        case attr::NodeId:
            return value(Variant::of(BuiltinType::NodeId, n.nodeId));
        case attr::NodeClass:
            return value(Variant::int32(static_cast<int32_t>(n.nodeClass)));
        case attr::BrowseName:
            return value(Variant::of(BuiltinType::QualifiedName, n.browseName));
        case attr::DisplayName:
            return value(Variant::of(BuiltinType::LocalizedText, n.displayName));
        case attr::Description:
            return value(Variant::of(BuiltinType::LocalizedText, n.description));
        case attr::WriteMask:
        case attr::UserWriteMask:
            return value(Variant::uint32(0));
        case attr::IsAbstract:
            if (!isType) break;
            return value(Variant::boolean(n.isAbstract));
        case attr::Symmetric:
            if (n.nodeClass != NodeClass::ReferenceType) break;
            return value(Variant::boolean(n.symmetric));
        case attr::InverseName:
            if (n.nodeClass != NodeClass::ReferenceType) break;
            return value(Variant::of(BuiltinType::LocalizedText, n.inverseName));
        case attr::EventNotifier:
            if (n.nodeClass != NodeClass::Object && n.nodeClass != NodeClass::View) break;
            return value(Variant::of(BuiltinType::Byte, uint64_t{n.eventNotifier}));
        case attr::DataType:
            if (!isVariable) break;
            return value(Variant::of(BuiltinType::NodeId, n.dataType));
        case attr::ValueRank:
            if (!isVariable) break;
            return value(Variant::int32(n.valueRank));
        case attr::ArrayDimensions: {
            if (!isVariable) break;
            if (n.arrayDimensions.empty()) return value(Variant{});
            std::vector<Scalar> dims;
            for (const uint32_t d : n.arrayDimensions)
                dims.emplace_back(uint64_t{d});
            return value(Variant::arrayOf(BuiltinType::UInt32, std::move(dims)));
        }
        case attr::AccessLevel:
        case attr::UserAccessLevel:
            if (n.nodeClass != NodeClass::Variable) break;
            return value(Variant::of(BuiltinType::Byte, uint64_t{n.accessLevel}));
        case attr::MinimumSamplingInterval:
            if (n.nodeClass != NodeClass::Variable) break;
            return value(Variant::dbl(n.isTag ? n.minimumSamplingInterval : 1000.0));
        case attr::Historizing:
            if (n.nodeClass != NodeClass::Variable) break;
            return value(Variant::boolean(false));
        case attr::Executable:
        case attr::UserExecutable:
            if (n.nodeClass != NodeClass::Method) break;
            return value(Variant::boolean(n.executable));
        default:
            break;
    }
    return DataValue::ofStatus(status::BadAttributeIdInvalid);
}

}  // namespace orva::opcua
