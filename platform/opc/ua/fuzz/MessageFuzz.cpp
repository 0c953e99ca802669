// Feeds arbitrary service requests to the service layer inside an activated session. The input is
// a list of records: service encoding id (u16), length (u16), that many bytes of request fields;
// the request header with the session's token is put in front of each. A record with id 0 is
// handed over as a whole message, header included.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "FakeBackend.h"
#include "UaTestClient.h"
#include "opcua/Engine.h"

namespace {
orva::opcua::test::FakeBackend& backend()
{
    static orva::opcua::test::FakeBackend instance;
    return instance;
}

struct Collector {
    std::vector<std::vector<uint8_t>> responses;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Collector sink;
    orva::opcua::ServerLimits limits;
    limits.maxNodesPerRead = 200;
    limits.maxMonitoredItemsPerSession = 200;
    orva::opcua::Engine engine(
        backend(), orva::opcua::ServerInfo{}, limits,
        [&](uint32_t, uint32_t, std::vector<uint8_t> body) { sink.responses.push_back(std::move(body)); });
    uint32_t handle = 1;
    engine.handleMessage(1, handle,
                         orva::opcua::test::makeRequest(461, {}, handle, [](orva::opcua::Writer& w) {
                             orva::opcua::test::writeCreateSession(w);
                         }));
    ++handle;
    orva::opcua::NodeId token;
    if (!sink.responses.empty()) {
        const auto created = orva::opcua::test::parseResponse(sink.responses.back());
        orva::opcua::Reader r = created.body();
        r.nodeId();
        token = r.nodeId();
    }
    engine.handleMessage(1, handle,
                         orva::opcua::test::makeRequest(467, token, handle, [](orva::opcua::Writer& w) {
                             orva::opcua::test::writeAnonymousActivate(w);
                         }));

    size_t offset = 0;
    for (int records = 0; records < 64 && offset + 4 <= size; ++records) {
        const uint16_t typeId = static_cast<uint16_t>(data[offset] | (data[offset + 1] << 8));
        const size_t length = std::min<size_t>(
            static_cast<size_t>(data[offset + 2] | (data[offset + 3] << 8)), size - offset - 4);
        const std::span<const uint8_t> fields(data + offset + 4, length);
        offset += 4 + length;
        ++handle;
        if (typeId == 0) {
            engine.handleMessage(1, handle, fields);
        } else {
            engine.handleMessage(
                1, handle, orva::opcua::test::makeRequest(typeId, token, handle, [&](orva::opcua::Writer& w) {
                    w.bytes(fields);
                }));
        }
        engine.processInbox();
        engine.tick(orva::opcua::Engine::Clock::now() + std::chrono::milliseconds(100 * records));
    }
    engine.processInbox();
    return 0;
}
