#pragma once
// The listening socket of the endpoint: binds the address and port it is told (never beyond what
// it is told) and hands out accepted connections, non-blocking.

#include <cstdint>
#include <string>

namespace orva::opcua {

class Acceptor {
public:
    Acceptor() = default;
    ~Acceptor();
    Acceptor(const Acceptor&) = delete;
    Acceptor& operator=(const Acceptor&) = delete;

    // Binds and listens; on failure returns false and error says why.
    bool listen(const std::string& address, uint16_t port, std::string& error);
    void close();

    int fd() const { return fd_; }
    uint16_t port() const { return port_; }
    // The next waiting connection, non-blocking with TCP_NODELAY; -1 when none waits.
    int acceptOne() const;

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

}  // namespace orva::opcua
