#include "events/EventFilter.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace orva::opcua {

namespace {
constexpr uint32_t kElementOperand = 594, kLiteralOperand = 597, kSimpleAttributeOperand = 603,
                   kEventFilterResult = 736;
constexpr size_t kMaxElements = 64;  // a where clause larger than this is refused
constexpr StatusCode BadTypeDefinitionInvalid = 0x80630000;

Reader bodyReader(const ExtensionObject& e)
{
    return Reader(std::span(reinterpret_cast<const uint8_t*>(e.body.data()), e.body.size()));
}

EventFieldOperand readFieldOperand(Reader& r)
{
    EventFieldOperand f;
    f.typeDefinition = r.nodeId();
    f.browsePath = r.array<QualifiedName>([](Reader& x) { return x.qualifiedName(); }, 6);
    f.attributeId = r.u32();
    f.indexRange = r.string();
    return f;
}

FilterOperand readOperand(const ExtensionObject& e)
{
    FilterOperand o;
    if (e.encoding != 1) return o;
    Reader r = bodyReader(e);
    if (e.typeId.isNumeric(kElementOperand)) {
        o.kind = FilterOperand::Kind::Element;
        o.element = r.u32();
    } else if (e.typeId.isNumeric(kLiteralOperand)) {
        o.kind = FilterOperand::Kind::Literal;
        o.literal = r.variant();
    } else if (e.typeId.isNumeric(kSimpleAttributeOperand)) {
        o.kind = FilterOperand::Kind::Field;
        o.field = readFieldOperand(r);
    } else {
        return o;  // AttributeOperand and unknown operands are not supported
    }
    if (!r.ok()) o.kind = FilterOperand::Kind::Unsupported;
    return o;
}

NodeId typeOf(const EventFieldOperand& f)
{
    return f.typeDefinition.isNull() ? NodeId::num(id::BaseEventType) : f.typeDefinition;
}

// The status of a select clause or a field operand.
StatusCode checkField(const EventFieldOperand& f, const AddressSpace& space)
{
    const NodeId type = typeOf(f);
    const auto node = space.find(type);
    if (!node || node->nodeClass != NodeClass::ObjectType ||
        !space.isSubtypeOf(type, NodeId::num(id::BaseEventType)))
        return BadTypeDefinitionInvalid;
    if (f.attributeId != attr::Value && f.attributeId != attr::NodeId) return status::BadAttributeIdInvalid;
    if (!f.indexRange.empty()) return status::BadIndexRangeInvalid;
    if (f.browsePath.empty()) return status::Good;  // the event itself (no ConditionId here): Null
    if (f.browsePath.size() > 1 || f.browsePath.front().name.empty()) return status::BadBrowseNameInvalid;
    return space.typeFamilyHasProperty(type, f.browsePath.front()) ? status::Good : status::BadNodeIdUnknown;
}

size_t operandCount(FilterOperator op)
{
    switch (op) {
        case FilterOperator::IsNull:
        case FilterOperator::Not:
        case FilterOperator::OfType:
            return 1;
        default:
            return 2;
    }
}

bool supported(int32_t op)
{
    switch (static_cast<FilterOperator>(op)) {
        case FilterOperator::Equals:
        case FilterOperator::IsNull:
        case FilterOperator::GreaterThan:
        case FilterOperator::LessThan:
        case FilterOperator::GreaterThanOrEqual:
        case FilterOperator::LessThanOrEqual:
        case FilterOperator::Not:
        case FilterOperator::And:
        case FilterOperator::Or:
        case FilterOperator::OfType:
            return true;
    }
    return false;
}

std::optional<double> numberOf(const Variant& v)
{
    if (v.isArray) return std::nullopt;
    switch (v.type) {
        case BuiltinType::SByte:
        case BuiltinType::Int16:
        case BuiltinType::Int32:
        case BuiltinType::Int64:
        case BuiltinType::Byte:
        case BuiltinType::UInt16:
        case BuiltinType::UInt32:
        case BuiltinType::UInt64:
        case BuiltinType::Float:
        case BuiltinType::Double:
            break;
        default:
            return std::nullopt;
    }
    if (const auto* i = std::get_if<int64_t>(&v.scalar)) return static_cast<double>(*i);
    if (const auto* u = std::get_if<uint64_t>(&v.scalar)) return static_cast<double>(*u);
    if (const auto* d = std::get_if<double>(&v.scalar)) return *d;
    return std::nullopt;
}

std::vector<uint8_t> encoded(const Variant& v)
{
    std::vector<uint8_t> out;
    Writer w(out);
    w.variant(v);
    return out;
}

Variant fieldValue(const EventFieldOperand& f, const EventRecord& event, const AddressSpace& space)
{
    if (f.browsePath.size() != 1 || f.attributeId != attr::Value) return {};
    if (!space.isSubtypeOf(event.eventType, typeOf(f))) return {};  // not an event of that type
    const Variant* v = event.field(f.browsePath.front());
    return v != nullptr ? *v : Variant{};
}

// Evaluates where clause elements. Operands only point to later elements, and each element is
// evaluated once per event, so a clause whose elements share operands stays linear.
struct Evaluator {
    const EventFilter& filter;
    const EventRecord& event;
    const AddressSpace& space;
    mutable std::vector<int8_t> results = std::vector<int8_t>(filter.where.size(), -1);  // -1: not yet

    Variant operandValue(const FilterOperand& o, size_t depth) const
    {
        switch (o.kind) {
            case FilterOperand::Kind::Literal:
                return o.literal;
            case FilterOperand::Kind::Field:
                return fieldValue(o.field, event, space);
            case FilterOperand::Kind::Element:
                return Variant::boolean(element(o.element, depth + 1));
            default:
                return {};
        }
    }

    bool truth(const FilterOperand& o, size_t depth) const
    {
        const Variant v = operandValue(o, depth);
        const auto* b = std::get_if<int64_t>(&v.scalar);
        return v.type == BuiltinType::Boolean && b != nullptr && *b != 0;
    }

    bool compare(FilterOperator op, const Variant& a, const Variant& b) const
    {
        const auto x = numberOf(a);
        const auto y = numberOf(b);
        if (x && y) {
            switch (op) {
                case FilterOperator::Equals:
                    return *x == *y;
                case FilterOperator::GreaterThan:
                    return *x > *y;
                case FilterOperator::LessThan:
                    return *x < *y;
                case FilterOperator::GreaterThanOrEqual:
                    return *x >= *y;
                case FilterOperator::LessThanOrEqual:
                    return *x <= *y;
                default:
                    return false;
            }
        }
        return op == FilterOperator::Equals && !a.isNull() && encoded(a) == encoded(b);
    }

    bool element(size_t index, size_t depth) const
    {
        if (index >= filter.where.size() || depth > kMaxElements) return false;
        if (results[index] < 0) results[index] = evaluate(filter.where[index], depth) ? 1 : 0;
        return results[index] == 1;
    }

    bool evaluate(const FilterElement& e, size_t depth) const
    {
        const auto op = static_cast<FilterOperator>(e.op);
        const auto& ops = e.operands;
        if (!supported(e.op) || ops.size() != operandCount(op)) return false;  // refused when checked
        switch (op) {
            case FilterOperator::OfType: {
                const auto* type = std::get_if<NodeId>(&ops[0].literal.scalar);
                return type != nullptr && space.isSubtypeOf(event.eventType, *type);
            }
            case FilterOperator::Not:
                return !truth(ops[0], depth);
            case FilterOperator::And:
                return truth(ops[0], depth) && truth(ops[1], depth);
            case FilterOperator::Or:
                return truth(ops[0], depth) || truth(ops[1], depth);
            case FilterOperator::IsNull:
                return operandValue(ops[0], depth).isNull();
            default:
                return compare(op, operandValue(ops[0], depth), operandValue(ops[1], depth));
        }
    }
};
}  // namespace

const Variant* EventRecord::field(const QualifiedName& name) const
{
    for (const auto& [n, v] : fields)
        if (n == name) return &v;
    return nullptr;
}

bool decodeEventFilter(const ExtensionObject& filter, EventFilter& out)
{
    if (!filter.typeId.isNumeric(kEventFilterEncoding) || filter.encoding != 1) return false;
    Reader r = bodyReader(filter);
    out.select = r.array<EventFieldOperand>(readFieldOperand, 10);
    // ContentFilter: elements, each an operator and its operands as extension objects.
    const size_t elements = r.arrayLength(8);
    if (elements > kMaxElements) return false;
    out.where.clear();
    for (size_t i = 0; i < elements && r.ok(); ++i) {
        FilterElement e;
        e.op = r.i32();
        const auto operands = r.array<ExtensionObject>([](Reader& x) { return x.extensionObject(); }, 5);
        for (const auto& o : operands)
            e.operands.push_back(readOperand(o));
        out.where.push_back(std::move(e));
    }
    return r.ok();
}

bool EventFilterCheck::allGood() const
{
    const auto good = [](StatusCode s) { return s == status::Good; };
    return status == status::Good && std::all_of(selectResults.begin(), selectResults.end(), good) &&
           std::all_of(elementResults.begin(), elementResults.end(), good);
}

EventFilterCheck checkEventFilter(const EventFilter& filter, const AddressSpace& space)
{
    EventFilterCheck check;
    bool anySelected = false;
    for (const auto& f : filter.select) {
        check.selectResults.push_back(checkField(f, space));
        anySelected = anySelected || check.selectResults.back() == status::Good;
    }
    for (size_t i = 0; i < filter.where.size(); ++i) {
        const FilterElement& e = filter.where[i];
        StatusCode result = status::Good;
        std::vector<StatusCode> operands;
        if (!supported(e.op)) {
            result = status::BadFilterOperatorUnsupported;
        } else if (e.operands.size() != operandCount(static_cast<FilterOperator>(e.op))) {
            result = status::BadFilterOperandCountMismatch;
        } else {
            for (const auto& o : e.operands) {
                StatusCode s = status::Good;
                if (o.kind == FilterOperand::Kind::Unsupported)
                    s = status::BadFilterOperandInvalid;
                else if (o.kind == FilterOperand::Kind::Element &&
                         (o.element <= i || o.element >= filter.where.size()))
                    s = status::BadFilterOperandInvalid;  // only later elements: no cycles
                else if (o.kind == FilterOperand::Kind::Field)
                    s = checkField(o.field, space);
                operands.push_back(s);
                if (isBad(s)) result = status::BadFilterOperandInvalid;
            }
            if (e.op == static_cast<int32_t>(FilterOperator::OfType) && result == status::Good) {
                const FilterOperand& o = e.operands.front();
                const auto* type = std::get_if<NodeId>(&o.literal.scalar);
                if (o.kind != FilterOperand::Kind::Literal || type == nullptr ||
                    !space.isSubtypeOf(*type, NodeId::num(id::BaseEventType))) {
                    result = status::BadFilterOperandInvalid;
                    operands = {status::BadFilterOperandInvalid};
                }
            }
        }
        check.elementResults.push_back(result);
        check.operandResults.push_back(std::move(operands));
    }
    const bool whereGood = std::all_of(check.elementResults.begin(), check.elementResults.end(),
                                       [](StatusCode s) { return s == status::Good; });
    if (!anySelected || !whereGood) check.status = status::BadEventFilterInvalid;
    return check;
}

ExtensionObject eventFilterResult(const EventFilterCheck& check)
{
    std::vector<uint8_t> body;
    Writer w(body);
    w.arrayLength(check.selectResults.size());
    for (const StatusCode s : check.selectResults)
        w.statusCode(s);
    w.emptyArray();  // select clause diagnostics
    w.arrayLength(check.elementResults.size());
    for (size_t i = 0; i < check.elementResults.size(); ++i) {
        w.statusCode(check.elementResults[i]);
        w.arrayLength(check.operandResults[i].size());
        for (const StatusCode s : check.operandResults[i])
            w.statusCode(s);
        w.emptyArray();  // operand diagnostics
    }
    w.emptyArray();  // element diagnostics
    ExtensionObject e;
    e.typeId = NodeId::num(kEventFilterResult);
    e.encoding = 1;
    e.body.assign(body.begin(), body.end());
    return e;
}

bool passes(const EventFilter& filter, const EventRecord& event, const AddressSpace& space)
{
    if (filter.where.empty()) return true;
    return Evaluator{filter, event, space}.element(0, 0);
}

std::vector<Variant> selectFields(const EventFilter& filter, const EventRecord& event,
                                  const AddressSpace& space)
{
    std::vector<Variant> out;
    out.reserve(filter.select.size());
    for (const auto& f : filter.select)
        out.push_back(fieldValue(f, event, space));
    return out;
}

}  // namespace orva::opcua
