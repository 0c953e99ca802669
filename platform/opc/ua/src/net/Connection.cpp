#include "net/Connection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace orva::opcua {

std::string Connection::peerAddressOf(int socket)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) return {};
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&address)->sin_addr, text, sizeof text);
    else if (address.ss_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(&address)->sin6_addr, text, sizeof text);
    return text;
}

Connection::~Connection()
{
    if (fd < 0) return;
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
}

StatusCode Connection::hello(std::span<const uint8_t> chunk, const ServerLimits& lim,
                             const ServerSecurity* security, std::string& reason)
{
    if (helloDone) {
        reason = "second Hello";
        return status::BadTcpMessageTypeInvalid;
    }
    Hello h;
    if (const StatusCode s = decodeHello(chunk, h); isBad(s)) {
        reason = "malformed Hello";
        return s;
    }
    if (h.receiveBufferSize < kMinBufferSize || h.sendBufferSize < kMinBufferSize) {
        reason = "buffers below 8192 bytes";
        return status::BadTcpNotEnoughResources;
    }
    Acknowledge ack;
    ack.protocolVersion = 0;
    ack.receiveBufferSize = std::min(lim.receiveBufferSize, h.sendBufferSize);
    ack.sendBufferSize = std::min(lim.sendBufferSize, h.receiveBufferSize);
    ack.maxMessageSize = lim.maxMessageSize;
    // Without an explicit chunk limit, as many chunks as the largest message needs.
    ack.maxChunkCount =
        lim.maxChunkCount != 0 ? lim.maxChunkCount : lim.maxMessageSize / (ack.receiveBufferSize - 24) + 1;
    peer.bufferSize = ack.sendBufferSize;
    peer.maxMessageSize =
        h.maxMessageSize == 0 ? lim.maxMessageSize : std::min(h.maxMessageSize, lim.maxMessageSize);
    peer.maxChunkCount = h.maxChunkCount;
    channel = std::make_unique<SecureChannel>(
        ChunkLimits{ack.receiveBufferSize, lim.maxMessageSize, ack.maxChunkCount}, security);
    channel->setPeerAddress(peerAddress);
    helloDone = true;
    receiveBufferSize = ack.receiveBufferSize;
    endpointUrl = h.endpointUrl;
    const auto bytes = encodeAcknowledge(ack);
    out.insert(out.end(), bytes.begin(), bytes.end());
    return status::Good;
}

Connection::Flush Connection::flush()
{
    while (outPos < out.size()) {
        const ssize_t n = ::send(fd, out.data() + outPos, out.size() - outPos, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                // Drop what was sent, so that a client that reads slowly but steadily never fills
                // the buffer with bytes it already has.
                if (outPos > 65536 && outPos * 2 > out.size()) {
                    out.erase(out.begin(), out.begin() + static_cast<ptrdiff_t>(outPos));
                    outPos = 0;
                }
                return Flush::Pending;
            }
            out.clear();
            outPos = 0;
            return Flush::Failed;
        }
        outPos += static_cast<size_t>(n);
    }
    out.clear();
    outPos = 0;
    return Flush::Done;
}

void Connection::queueError(StatusCode error, const std::string& reason)
{
    const auto bytes = encodeError(error, reason);
    out.insert(out.end(), bytes.begin(), bytes.end());
}

}  // namespace orva::opcua
