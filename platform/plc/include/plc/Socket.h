#pragma once
// Non-blocking TCP sockets with deadlines: every connect, send and receive waits in poll() for
// at most the time left until its deadline, so a silent peer costs a bounded time.
#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "common/UniqueFd.h"

namespace orva::plc {

using orva::common::UniqueFd;

class Deadline {
public:
    explicit Deadline(std::chrono::milliseconds budget) : end_(std::chrono::steady_clock::now() + budget) {}
    // Milliseconds left, rounded up, 0 once expired.
    int remainingMs() const;
    bool expired() const { return remainingMs() == 0; }

private:
    std::chrono::steady_clock::time_point end_;
};

// Parses "a.b.c.d" or "a.b.c.d:port" (IPv4, port 1..65535); without a port, defaultPort.
bool parseEndpoint(std::string_view text, uint16_t defaultPort, sockaddr_in& out);

enum class IoStatus {
    Ok,
    Timeout,
    Closed,       // orderly end of stream from the peer
    Reset,        // reset or broken pipe
    Refused,      // connection refused
    Unreachable,  // no route to the host or network
    BindFailed,   // the local (source) address cannot be used
    Error,        // anything else the system reported (e.g. out of descriptors)
};

// Connects to remote, bound to local first when given. On success fd holds a non-blocking,
// close-on-exec socket with TCP_NODELAY; on failure nothing stays open.
IoStatus connectTcp(const sockaddr_in& remote, const sockaddr_in* local, const Deadline& deadline,
                    UniqueFd& fd);

IoStatus sendAll(int fd, std::span<const uint8_t> bytes, const Deadline& deadline);
IoStatus receiveExact(int fd, std::span<uint8_t> bytes, const Deadline& deadline);

// Non-blocking steps for callers that wait for many sockets at once (poll) and never block:
// beginConnectTcp starts a connect (Ok: under way or done; wait until fd is writable, then
// finishConnectTcp tells the outcome); the others move what the socket takes or holds now.
IoStatus beginConnectTcp(const sockaddr_in& remote, const sockaddr_in* local, UniqueFd& fd);
IoStatus finishConnectTcp(int fd);
// Ok with sent < bytes.size() when the socket's buffer is full.
IoStatus sendAvailable(int fd, std::span<const uint8_t> bytes, size_t& sent);
// Ok with received = 0 when nothing has arrived; Closed at the end of the stream.
IoStatus receiveAvailable(int fd, std::span<uint8_t> buffer, size_t& received);

// A listening socket on a loopback (or other local) address; port 0 picks a free port.
IoStatus listenTcp(const sockaddr_in& local, int backlog, UniqueFd& fd);
uint16_t localPort(int fd);

// Sets SO_LINGER to 0 so that closing sends a reset instead of an orderly close.
void setAbortiveClose(int fd);
void setNoDelay(int fd);
void setNonBlocking(int fd);

}  // namespace orva::plc
