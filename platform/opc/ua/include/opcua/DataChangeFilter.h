#pragma once
// When a sampled value is worth a notification: the data-change filter of a monitored item
// (trigger and deadband) applied to the last value reported and the new sample.

#include <cstdint>

#include "opcua/Types.h"

namespace orva::opcua {

enum class DataChangeTrigger : int32_t { Status = 0, StatusValue = 1, StatusValueTimestamp = 2 };
enum class DeadbandType : uint32_t { None = 0, Absolute = 1, Percent = 2 };

struct DataChangeRule {
    DataChangeTrigger trigger = DataChangeTrigger::StatusValue;  // without a filter
    DeadbandType deadband = DeadbandType::None;
    double deadbandValue = 0;
};

inline constexpr uint32_t kDataChangeFilterEncoding = 724;  // binary encoding of DataChangeFilter

// The rule a monitored item's filter asks for; no filter (null extension object) is the default
// rule. BadMonitoredItemFilterUnsupported for other filter types and percent deadbands (no
// variable here has an EURange), BadMonitoredItemFilterInvalid for an unknown trigger or deadband
// type or an undecodable body, BadDeadbandFilterInvalid for a negative or non-finite deadband.
StatusCode decodeDataChangeFilter(const ExtensionObject& filter, DataChangeRule& out);

// Whether the rule may be used on the item: a data-change filter needs the Value attribute
// (BadFilterNotAllowed otherwise), a deadband other than 0 a numeric data type.
StatusCode checkRuleFor(const DataChangeRule& rule, bool valueAttribute, BuiltinType dataType);

// True when `sample` differs from `lastReported` enough for the rule: status always, the value
// unless the trigger is Status (by more than the absolute deadband for numbers; an array when any
// element does, or its length changed), the source time stamp with StatusValueTimestamp.
bool passesFilter(const DataChangeRule& rule, const DataValue& lastReported, const DataValue& sample);

// Equal values: same type, shape and elements (NaN equals NaN, so a NaN reading is reported once).
bool sameValue(const Variant& a, const Variant& b);

}  // namespace orva::opcua
