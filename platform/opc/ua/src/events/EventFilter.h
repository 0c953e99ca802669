#pragma once
// Event filters of monitored items on an event notifier: which fields each event notification
// carries (select clauses) and which events pass (where clause). Decoded from the client's
// EventFilter, checked against the address space's event types, evaluated per event.

#include <cstdint>
#include <string>
#include <vector>

#include "opcua/AddressSpace.h"
#include "opcua/Binary.h"
#include "opcua/Types.h"

namespace orva::opcua {

inline constexpr uint32_t kEventFilterEncoding = 727;

// A SimpleAttributeOperand: the value of a property of an event type, named by browse path.
struct EventFieldOperand {
    NodeId typeDefinition;  // null: BaseEventType
    std::vector<QualifiedName> browsePath;
    uint32_t attributeId = attr::Value;
    std::string indexRange;
};

struct FilterOperand {
    enum class Kind { Element, Literal, Field, Unsupported };
    Kind kind = Kind::Unsupported;
    uint32_t element = 0;  // Element: index of another element of the where clause
    Variant literal;       // Literal
    EventFieldOperand field;
};

// Operators of a where clause element (ContentFilter FilterOperator).
enum class FilterOperator : int32_t {
    Equals = 0,
    IsNull = 1,
    GreaterThan = 2,
    LessThan = 3,
    GreaterThanOrEqual = 4,
    LessThanOrEqual = 5,
    Not = 7,
    And = 10,
    Or = 11,
    OfType = 14,
};

struct FilterElement {
    int32_t op = 0;
    std::vector<FilterOperand> operands;
};

struct EventFilter {
    std::vector<EventFieldOperand> select;
    std::vector<FilterElement> where;  // empty: every event passes
};

// One event as the filters see it: its type and every field by browse name.
struct EventRecord {
    NodeId eventType;
    std::vector<std::pair<QualifiedName, Variant>> fields;
    const Variant* field(const QualifiedName& name) const;
};

// Decodes an EventFilter extension object; false when it is none or malformed.
bool decodeEventFilter(const ExtensionObject& filter, EventFilter& out);

// What the checks found: the item's status and the EventFilterResult to return.
struct EventFilterCheck {
    StatusCode status = status::Good;
    std::vector<StatusCode> selectResults;
    std::vector<StatusCode> elementResults;
    std::vector<std::vector<StatusCode>> operandResults;
    bool allGood() const;
};
// Checks the select clauses and the where clause against the event types of the address space.
// Bad status: BadEventFilterInvalid (no usable select clause, a bad where clause element).
EventFilterCheck checkEventFilter(const EventFilter& filter, const AddressSpace& space);
// The EventFilterResult of a check, for the monitored item's result.
ExtensionObject eventFilterResult(const EventFilterCheck& check);

// True when the event passes the where clause.
bool passes(const EventFilter& filter, const EventRecord& event, const AddressSpace& space);
// The event's fields in the order of the select clauses; Null for fields it does not have.
std::vector<Variant> selectFields(const EventFilter& filter, const EventRecord& event,
                                  const AddressSpace& space);

}  // namespace orva::opcua
