#include "plc/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string>

namespace orva::plc {
namespace {

IoStatus statusFromErrno(int error)
{
    switch (error) {
        case ECONNREFUSED:
            return IoStatus::Refused;
        case ENETUNREACH:
        case EHOSTUNREACH:
        case ENETDOWN:
        case EHOSTDOWN:
            return IoStatus::Unreachable;
        case ECONNRESET:
        case EPIPE:
        case ECONNABORTED:
        case ENOTCONN:
            return IoStatus::Reset;
        case ETIMEDOUT:
            return IoStatus::Timeout;
        default:
            return IoStatus::Error;
    }
}

// Waits until fd is ready for events or the deadline passes.
IoStatus waitFor(int fd, short events, const Deadline& deadline)
{
    for (;;) {
        const int timeout = deadline.remainingMs();
        if (timeout == 0) return IoStatus::Timeout;
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, timeout);
        if (n > 0) return IoStatus::Ok;
        if (n == 0) return IoStatus::Timeout;
        if (errno != EINTR) return statusFromErrno(errno);
    }
}

}  // namespace

int Deadline::remainingMs() const
{
    const auto left = end_ - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(ms);
}

bool parseEndpoint(std::string_view text, uint16_t defaultPort, sockaddr_in& out)
{
    std::string_view host = text;
    uint16_t port = defaultPort;
    if (const auto colon = text.find(':'); colon != std::string_view::npos) {
        host = text.substr(0, colon);
        const std::string_view portText = text.substr(colon + 1);
        unsigned value = 0;
        const auto [end, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), value);
        if (ec != std::errc{} || end != portText.data() + portText.size() || value == 0 || value > 65535) {
            return false;
        }
        port = static_cast<uint16_t>(value);
    }
    if (host.empty() || host.size() > 15) return false;
    const std::string hostText(host);
    out = sockaddr_in{};
    out.sin_family = AF_INET;
    out.sin_port = htons(port);
    return ::inet_pton(AF_INET, hostText.c_str(), &out.sin_addr) == 1;
}

void setAbortiveClose(int fd)
{
    const linger l{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
}

void setNoDelay(int fd)
{
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

void setNonBlocking(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

IoStatus beginConnectTcp(const sockaddr_in& remote, const sockaddr_in* local, UniqueFd& fd)
{
    fd.reset();
    UniqueFd s(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!s.valid()) return IoStatus::Error;
    setNoDelay(s.get());
    if (local != nullptr && ::bind(s.get(), reinterpret_cast<const sockaddr*>(local), sizeof *local) != 0) {
        return IoStatus::BindFailed;
    }
    if (::connect(s.get(), reinterpret_cast<const sockaddr*>(&remote), sizeof remote) != 0 &&
        errno != EINPROGRESS && errno != EINTR) {
        return statusFromErrno(errno);
    }
    fd = std::move(s);
    return IoStatus::Ok;
}

IoStatus finishConnectTcp(int fd)
{
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return IoStatus::Error;
    return error == 0 ? IoStatus::Ok : statusFromErrno(error);
}

IoStatus connectTcp(const sockaddr_in& remote, const sockaddr_in* local, const Deadline& deadline,
                    UniqueFd& fd)
{
    fd.reset();
    UniqueFd s;
    if (const IoStatus begun = beginConnectTcp(remote, local, s); begun != IoStatus::Ok) return begun;
    if (const IoStatus ready = waitFor(s.get(), POLLOUT, deadline); ready != IoStatus::Ok) return ready;
    if (const IoStatus outcome = finishConnectTcp(s.get()); outcome != IoStatus::Ok) return outcome;
    fd = std::move(s);
    return IoStatus::Ok;
}

IoStatus sendAvailable(int fd, std::span<const uint8_t> bytes, size_t& sent)
{
    sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return IoStatus::Ok;
        return statusFromErrno(errno);
    }
    return IoStatus::Ok;
}

IoStatus receiveAvailable(int fd, std::span<uint8_t> buffer, size_t& received)
{
    received = 0;
    for (;;) {
        const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (n > 0) {
            received = static_cast<size_t>(n);
            return IoStatus::Ok;
        }
        if (n == 0) return buffer.empty() ? IoStatus::Ok : IoStatus::Closed;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return IoStatus::Ok;
        return statusFromErrno(errno);
    }
}

IoStatus sendAll(int fd, std::span<const uint8_t> bytes, const Deadline& deadline)
{
    for (size_t done = 0;;) {
        size_t sent = 0;
        if (const IoStatus status = sendAvailable(fd, bytes.subspan(done), sent); status != IoStatus::Ok)
            return status;
        done += sent;
        if (done == bytes.size()) return IoStatus::Ok;
        if (const IoStatus ready = waitFor(fd, POLLOUT, deadline); ready != IoStatus::Ok) return ready;
    }
}

IoStatus receiveExact(int fd, std::span<uint8_t> bytes, const Deadline& deadline)
{
    for (size_t done = 0; done < bytes.size();) {
        size_t received = 0;
        if (const IoStatus status = receiveAvailable(fd, bytes.subspan(done), received);
            status != IoStatus::Ok)
            return status;
        done += received;
        if (received == 0 && done < bytes.size()) {
            if (const IoStatus ready = waitFor(fd, POLLIN, deadline); ready != IoStatus::Ok) return ready;
        }
    }
    return IoStatus::Ok;
}

IoStatus listenTcp(const sockaddr_in& local, int backlog, UniqueFd& fd)
{
    fd.reset();
    UniqueFd s(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!s.valid()) return IoStatus::Error;
    const int one = 1;
    ::setsockopt(s.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(s.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
        return IoStatus::BindFailed;
    if (::listen(s.get(), backlog) != 0) return IoStatus::Error;
    fd = std::move(s);
    return IoStatus::Ok;
}

uint16_t localPort(int fd)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
    return ntohs(address.sin_port);
}

}  // namespace orva::plc
