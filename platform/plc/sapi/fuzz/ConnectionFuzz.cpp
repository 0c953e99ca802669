// Feeds arbitrary bytes from a partner to a SAPI-S7 connection: connection confirm, set-up
// answer and the answers to its reads and writes, in whatever pieces the input splits into.
// Whatever arrives, a successful read confirmation carries data.
#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <span>

#include "sapis7/SapiConnection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace orva::sapis7;
    int pair[2];
    if (size > 60000 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair) != 0)
        return 0;
    orva::common::UniqueFd peer(pair[1]);
    std::deque<SapiEvent> events;
    SapiConnection connection(1, parseConnectionEntry("P", "127.0.0.1"), events);
    connection.adoptSocket(orva::common::UniqueFd(pair[0]));

    // The first byte sets the piece size; a read or write goes out whenever the connection is idle.
    const std::size_t piece = size > 0 ? (data[0] % 64) + 1 : 1;
    const uint8_t bytes[4] = {1, 2, 3, 4};
    int requests = 0;
    for (std::size_t at = size > 0 ? 1 : 0; at < size; at += piece) {
        connection.received(std::span<const uint8_t>(data + at, std::min(piece, size - at)));
        if (connection.established()) {
            if (requests % 2 == 0)
                connection.readRequest(1, 0, static_cast<uint16_t>(1 + requests % 200));
            else
                connection.writeRequest(1, 0, bytes);
            ++requests;
        }
        uint8_t drain[4096];
        while (::recv(peer.get(), drain, sizeof drain, 0) > 0) {
        }
    }
    for (const SapiEvent& event : events) {
        if (event.code == kEventReadConfirm && event.error == 0 && event.data.empty()) std::abort();
    }
    return 0;
}
