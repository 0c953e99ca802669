// Feeds arbitrary bytes as the body of an EventFilter: decoded, checked against the address space's
// event types and, when accepted, evaluated against a few events as the engine does.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FakeBackend.h"
#include "events/EventFilter.h"

namespace {
const opcua::AddressSpace& space()
{
    static opcua::test::FakeBackend backend;
    static const opcua::AddressSpace instance(backend);
    return instance;
}

opcua::EventRecord eventOf(uint32_t type, uint16_t severity)
{
    using opcua::QualifiedName;
    using opcua::Variant;
    opcua::EventRecord e;
    e.eventType = opcua::NodeId::num(type);
    e.fields = {{QualifiedName{0, "EventType"}, Variant::of(opcua::BuiltinType::NodeId, e.eventType)},
                {QualifiedName{0, "Severity"}, Variant::of(opcua::BuiltinType::UInt16, uint64_t{severity})},
                {QualifiedName{0, "SourceName"}, Variant::string("fuzz")}};
    return e;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    opcua::ExtensionObject filter;
    filter.typeId = opcua::NodeId::num(opcua::kEventFilterEncoding);
    filter.encoding = 1;
    filter.body.assign(reinterpret_cast<const char*>(data), size);
    opcua::EventFilter decoded;
    if (!opcua::decodeEventFilter(filter, decoded)) return 0;
    const opcua::EventFilterCheck check = opcua::checkEventFilter(decoded, space());
    opcua::eventFilterResult(check);
    if (opcua::isBad(check.status)) return 0;
    for (const auto& event :
         {eventOf(opcua::id::SystemEventType, 500), eventOf(opcua::id::BaseEventType, 1)}) {
        if (opcua::passes(decoded, event, space())) opcua::selectFields(decoded, event, space());
    }
    return 0;
}
