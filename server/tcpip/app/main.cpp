// Tornel: serves S7 PLCs reached over TCP/IP to OPC clients.
#include "process/ServerRuntime.h"
#include "tcpip/TcpIpTransport.h"

int main(int argc, char** argv)
{
    using namespace orva;
    const auto& identity = process::serverIdentity(config::ServerKind::Tornel);
    return process::runServer(
        identity,
        [] {
            return process::ServerTransport{std::make_unique<tcpip::TcpIpTransport>(), nullptr};
        },
        argc, argv);
}
