#pragma once
// Events the server reports through its Server object, and the event types an application adds
// below SystemEventType (or another standard event type) for them.

#include <string>
#include <vector>

#include "opcua/Types.h"

namespace orva::opcua {

// A property of an application's event type: a variable below the type (HasProperty), in the
// application's namespace.
struct EventPropertyDefinition {
    NodeId nodeId;
    std::string name;  // browse name (namespace of nodeId) and display name
    NodeId dataType;
    std::string description;
};

// An event type node: an ObjectType below superType with its own properties (the standard fields
// of BaseEventType are inherited).
struct EventTypeDefinition {
    NodeId nodeId;
    std::string name;
    NodeId superType;  // e.g. SystemEventType (i=2130)
    std::string description;
    std::vector<EventPropertyDefinition> properties;
};

struct EventField {
    QualifiedName name;  // browse name of the property
    Variant value;
};

// One event as its source reports it. EventId and ReceiveTime are set by the server.
struct Event {
    NodeId eventType;
    NodeId sourceNode;  // null: the Server object
    std::string sourceName;
    DateTime time = 0;  // when it happened; 0: when the server received it
    LocalizedText message;
    uint16_t severity = 1;           // 1 (lowest) .. 1000 (highest)
    std::vector<EventField> fields;  // the event type's own properties
};

}  // namespace orva::opcua
