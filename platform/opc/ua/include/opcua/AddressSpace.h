#pragma once
// The nodes a client can browse and read: the standard nodes of namespace 0 that clients rely on
// (kept in a small fixed table) and the configured folders and tags of namespace 1 (looked up in
// the backend on demand, so the table never goes stale against the toolkit's address space).

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "opcua/Backend.h"
#include "opcua/Events.h"
#include "opcua/Types.h"

namespace orva::opcua {

enum class NodeClass : int32_t {
    Unspecified = 0,
    Object = 1,
    Variable = 2,
    Method = 4,
    ObjectType = 8,
    VariableType = 16,
    ReferenceType = 32,
    DataType = 64,
    View = 128,
};

namespace attr {
inline constexpr uint32_t NodeId = 1, NodeClass = 2, BrowseName = 3, DisplayName = 4, Description = 5,
                          WriteMask = 6, UserWriteMask = 7, IsAbstract = 8, Symmetric = 9, InverseName = 10,
                          ContainsNoLoops = 11, EventNotifier = 12, Value = 13, DataType = 14, ValueRank = 15,
                          ArrayDimensions = 16, AccessLevel = 17, UserAccessLevel = 18,
                          MinimumSamplingInterval = 19, Historizing = 20, Executable = 21,
                          UserExecutable = 22;
}

// Well-known node ids of namespace 0.
namespace id {
inline constexpr uint32_t Root = 84, Objects = 85, Types = 86, Views = 87, ObjectTypes = 88,
                          VariableTypes = 89, DataTypes = 90, ReferenceTypes = 91, FolderType = 61,
                          BaseDataVariableType = 63, PropertyType = 68, References = 31,
                          HierarchicalReferences = 33, HasChild = 34, Organizes = 35, HasTypeDefinition = 40,
                          Aggregates = 44, HasSubtype = 45, HasProperty = 46, HasComponent = 47,
                          HasEventSource = 36, HasNotifier = 48, GeneratesEvent = 41, BaseObjectType = 58,
                          ServerType = 2004, BaseEventType = 2041, EventId = 2042, EventType = 2043,
                          SourceNode = 2044, SourceName = 2045, Time = 2046, ReceiveTime = 2047,
                          Message = 2050, Severity = 2051, SystemEventType = 2130,
                          EventQueueOverflowEventType = 3035, ServerDiagnostics = 2274, EnabledFlag = 2294,
                          VendorServerInfo = 2295, ServerRedundancy = 2296, RedundancySupport = 3709,
                          Auditing = 2994, MaxQueryContinuationPoints = 2736,
                          MaxHistoryContinuationPoints = 2737, SoftwareCertificates = 3704,
                          MaxNodesPerMethodCall = 11709, EnumStrings = 7612, GetMonitoredItems = 11492,
                          GetMonitoredItemsInputArguments = 11493, GetMonitoredItemsOutputArguments = 11494,
                          Argument = 296, ServerStateType = 852, Server = 2253, ServerArray = 2254,
                          NamespaceArray = 2255, ServerStatus = 2256, StartTime = 2257, CurrentTime = 2258,
                          State = 2259, BuildInfo = 2260, ProductName = 2261, ProductUri = 2262,
                          ManufacturerName = 2263, SoftwareVersion = 2264, BuildNumber = 2265,
                          BuildDate = 2266, ServiceLevel = 2267, ServerCapabilities = 2268,
                          ServerProfileArray = 2269, LocaleIdArray = 2271, MinSupportedSampleRate = 2272,
                          MaxBrowseContinuationPoints = 2735, SecondsTillShutdown = 2992,
                          ShutdownReason = 2993, MaxArrayLength = 11702, MaxStringLength = 11703,
                          OperationLimits = 11704, MaxNodesPerRead = 11705, MaxNodesPerWrite = 11707,
                          MaxNodesPerBrowse = 11710, MaxNodesPerRegisterNodes = 11711,
                          MaxNodesPerTranslateBrowsePathsToNodeIds = 11712, MaxMonitoredItemsPerCall = 11714;
}

// The namespace of the server's own nodes (Backend::ownNodes), when it has any.
inline constexpr uint16_t kOwnNamespace = 2;

struct Reference {
    NodeId referenceType;
    bool isForward = true;
    NodeId target;
};

// Everything about one node except its value.
struct Node {
    NodeId nodeId;
    NodeClass nodeClass = NodeClass::Object;
    QualifiedName browseName;
    LocalizedText displayName;
    LocalizedText description;
    NodeId typeDefinition;  // objects and variables
    // Variables and variable types.
    NodeId dataType;
    int32_t valueRank = -1;
    std::vector<uint32_t> arrayDimensions;
    uint8_t accessLevel = 1;
    uint8_t eventNotifier = 0;  // objects: 1 SubscribeToEvents
    bool executable = false;    // methods
    // Types.
    bool isAbstract = false;
    bool symmetric = false;
    LocalizedText inverseName;
    double minimumSamplingInterval = 0;
    // Tags of namespace 1.
    bool isTag = false;
    std::string itemId;
};

// The built-in type of a DataType node id of namespace 0 that names one (Boolean .. DiagnosticInfo);
// Null otherwise.
BuiltinType builtinOfDataType(const NodeId& dataType);

class AddressSpace {
public:
    // eventTypes: the application's event types, added below their standard super types.
    AddressSpace(Backend& backend, const std::vector<EventTypeDefinition>& eventTypes = {});

    std::optional<Node> find(const NodeId& id) const;
    // All references of a node, forward and inverse; nullopt when the node does not exist.
    std::optional<std::vector<Reference>> references(const NodeId& id) const;
    // True when type equals base or derives from it through HasSubtype.
    bool isSubtypeOf(const NodeId& type, const NodeId& base) const;
    bool isReferenceType(const NodeId& id) const;
    // The property (HasProperty) of a type or one of its super types with this browse name; null
    // when there is none.
    NodeId propertyOfType(const NodeId& type, const QualifiedName& name) const;
    // True when the type, one of its super types or one of its subtypes has the property: a field
    // named below a general event type may come from the events of a more special one.
    bool typeFamilyHasProperty(const NodeId& type, const QualifiedName& name) const;

    // A node's attribute other than Value. BadAttributeIdInvalid when the node class lacks it.
    DataValue readAttribute(const Node& node, uint32_t attributeId) const;

private:
    Node& add(const NodeId& nodeId, NodeClass cls, const QualifiedName& name, const NodeId& parent,
              uint32_t referenceType, uint32_t typeDefinition = 0);
    Node& add(uint32_t nodeId, NodeClass cls, const std::string& name, uint32_t parent,
              uint32_t referenceType, uint32_t typeDefinition = 0);
    // A variable; its type definition is PropertyType for properties and BaseDataVariableType for
    // components unless given.
    Node& addVariable(uint32_t nodeId, const std::string& name, uint32_t parent, uint32_t referenceType,
                      uint32_t dataType, int32_t valueRank = -1, uint32_t typeDefinition = 0);
    void link(const NodeId& from, uint32_t referenceType, const NodeId& to);
    void addEventType(const EventTypeDefinition& type);
    const Node* staticNode(const NodeId& id) const;
    const std::vector<Reference>* staticReferences(const NodeId& id) const;
    Node nodeOfEntry(const BrowseEntry& entry) const;
    void addOwnNodes();
    std::string parentOf(const std::string& itemId) const;

    Backend& backend_;
    // Fixed nodes with numeric ids: namespace 0 and the application's types in namespace 1.
    std::unordered_map<uint64_t, Node> static_;
    std::unordered_map<uint64_t, std::vector<Reference>> staticRefs_;
    // The server's own nodes (namespace kOwnNamespace), fixed when the space is made.
    std::unordered_map<std::string, Node> own_;
    std::unordered_map<std::string, std::vector<Reference>> ownRefs_;
};

}  // namespace orva::opcua
