// Feeds arbitrary bytes as the body of an EventFilter: decoded, checked against the address space's
// event types and, when accepted, evaluated against a few events as the engine does.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FakeBackend.h"
#include "events/EventFilter.h"

namespace {
const orva::opcua::AddressSpace& space()
{
    static orva::opcua::test::FakeBackend backend;
    static const orva::opcua::AddressSpace instance(backend);
    return instance;
}

orva::opcua::EventRecord eventOf(uint32_t type, uint16_t severity)
{
    using orva::opcua::QualifiedName;
    using orva::opcua::Variant;
    orva::opcua::EventRecord e;
    e.eventType = orva::opcua::NodeId::num(type);
    e.fields = {
        {QualifiedName{0, "EventType"}, Variant::of(orva::opcua::BuiltinType::NodeId, e.eventType)},
        {QualifiedName{0, "Severity"}, Variant::of(orva::opcua::BuiltinType::UInt16, uint64_t{severity})},
        {QualifiedName{0, "SourceName"}, Variant::string("fuzz")}};
    return e;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    orva::opcua::ExtensionObject filter;
    filter.typeId = orva::opcua::NodeId::num(orva::opcua::kEventFilterEncoding);
    filter.encoding = 1;
    filter.body.assign(reinterpret_cast<const char*>(data), size);
    orva::opcua::EventFilter decoded;
    if (!orva::opcua::decodeEventFilter(filter, decoded)) return 0;
    const orva::opcua::EventFilterCheck check = orva::opcua::checkEventFilter(decoded, space());
    orva::opcua::eventFilterResult(check);
    if (orva::opcua::isBad(check.status)) return 0;
    for (const auto& event :
         {eventOf(orva::opcua::id::SystemEventType, 500), eventOf(orva::opcua::id::BaseEventType, 1)}) {
        if (orva::opcua::passes(decoded, event, space())) orva::opcua::selectFields(decoded, event, space());
    }
    return 0;
}
