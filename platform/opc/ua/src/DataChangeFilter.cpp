#include "opcua/DataChangeFilter.h"

#include <cmath>
#include <span>

#include "opcua/Binary.h"

namespace orva::opcua {
namespace {

bool isNumeric(BuiltinType t)
{
    return t >= BuiltinType::SByte && t <= BuiltinType::Double;
}

// The scalar as a number; false for elements that hold none.
bool asNumber(const Scalar& s, double& out)
{
    if (const auto* i = std::get_if<int64_t>(&s)) {
        out = static_cast<double>(*i);
    } else if (const auto* u = std::get_if<uint64_t>(&s)) {
        out = static_cast<double>(*u);
    } else if (const auto* d = std::get_if<double>(&s)) {
        out = *d;
    } else {
        return false;
    }
    return true;
}

std::vector<uint8_t> encoded(const Scalar& s, BuiltinType type)
{
    std::vector<uint8_t> out;
    Writer w(out);
    w.variant(Variant::of(type, s));
    return out;
}

bool sameScalar(const Scalar& a, const Scalar& b, BuiltinType type)
{
    if (a.index() != b.index()) return false;
    if (const auto* x = std::get_if<double>(&a)) {
        const double y = std::get<double>(b);
        return *x == y || (std::isnan(*x) && std::isnan(y));
    }
    if (const auto* x = std::get_if<int64_t>(&a)) return *x == std::get<int64_t>(b);
    if (const auto* x = std::get_if<uint64_t>(&a)) return *x == std::get<uint64_t>(b);
    if (const auto* x = std::get_if<std::string>(&a)) return *x == std::get<std::string>(b);
    if (std::holds_alternative<std::monostate>(a)) return true;
    return encoded(a, type) == encoded(b, type);  // structured types: compare their encodings
}

// A change of a number beyond the deadband; a NaN appearing or going counts as a change.
bool exceedsDeadband(const Scalar& a, const Scalar& b, double deadband)
{
    double x = 0;
    double y = 0;
    if (!asNumber(a, x) || !asNumber(b, y)) return !sameScalar(a, b, BuiltinType::Null);
    if (std::isnan(x) || std::isnan(y)) return std::isnan(x) != std::isnan(y);
    return std::fabs(x - y) > deadband;
}

bool valueChanged(const DataChangeRule& rule, const DataValue& last, const DataValue& sample)
{
    if (last.hasValue != sample.hasValue) return true;
    if (!sample.hasValue) return false;
    const Variant& a = last.value;
    const Variant& b = sample.value;
    const bool deadband = rule.deadband == DeadbandType::Absolute && rule.deadbandValue > 0 &&
                          isNumeric(b.type) && a.type == b.type;
    if (!deadband) return !sameValue(a, b);
    if (a.isArray != b.isArray || a.dimensions != b.dimensions) return true;
    if (!b.isArray) return exceedsDeadband(a.scalar, b.scalar, rule.deadbandValue);
    if (a.array.size() != b.array.size()) return true;
    for (size_t i = 0; i < b.array.size(); ++i)
        if (exceedsDeadband(a.array[i], b.array[i], rule.deadbandValue)) return true;
    return false;
}

}  // namespace

StatusCode decodeDataChangeFilter(const ExtensionObject& filter, DataChangeRule& out)
{
    out = DataChangeRule{};
    if (filter.typeId.isNull() && filter.encoding == 0) return status::Good;
    if (!filter.typeId.isNumeric(kDataChangeFilterEncoding)) return status::BadMonitoredItemFilterUnsupported;
    if (filter.encoding != 1) return status::BadMonitoredItemFilterInvalid;
    Reader r(std::span(reinterpret_cast<const uint8_t*>(filter.body.data()), filter.body.size()));
    const int32_t trigger = r.i32();
    const uint32_t deadbandType = r.u32();
    const double deadbandValue = r.f64();
    if (!r.ok() || trigger < 0 || trigger > 2 || deadbandType > 2)
        return status::BadMonitoredItemFilterInvalid;
    out.trigger = static_cast<DataChangeTrigger>(trigger);
    out.deadband = static_cast<DeadbandType>(deadbandType);
    out.deadbandValue = deadbandValue;
    if (out.deadband == DeadbandType::Percent) return status::BadMonitoredItemFilterUnsupported;
    if (out.deadband == DeadbandType::Absolute && !(std::isfinite(deadbandValue) && deadbandValue >= 0))
        return status::BadDeadbandFilterInvalid;
    return status::Good;
}

StatusCode checkRuleFor(const DataChangeRule& rule, bool valueAttribute, BuiltinType dataType)
{
    const bool isDefault =
        rule.trigger == DataChangeTrigger::StatusValue && rule.deadband == DeadbandType::None;
    if (!valueAttribute) return isDefault ? status::Good : status::BadFilterNotAllowed;
    if (rule.deadband == DeadbandType::Absolute && rule.deadbandValue > 0 && !isNumeric(dataType))
        return status::BadFilterNotAllowed;
    return status::Good;
}

bool passesFilter(const DataChangeRule& rule, const DataValue& lastReported, const DataValue& sample)
{
    if (lastReported.status != sample.status) return true;
    if (rule.trigger == DataChangeTrigger::Status) return false;
    if (valueChanged(rule, lastReported, sample)) return true;
    return rule.trigger == DataChangeTrigger::StatusValueTimestamp &&
           lastReported.sourceTimestamp != sample.sourceTimestamp;
}

bool sameValue(const Variant& a, const Variant& b)
{
    if (a.type != b.type || a.isArray != b.isArray || a.dimensions != b.dimensions) return false;
    if (!a.isArray) return sameScalar(a.scalar, b.scalar, a.type);
    if (a.array.size() != b.array.size()) return false;
    for (size_t i = 0; i < a.array.size(); ++i)
        if (!sameScalar(a.array[i], b.array[i], a.type)) return false;
    return true;
}

}  // namespace orva::opcua
