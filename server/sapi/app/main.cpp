// Vardel: serves S7 PLCs reached through the connections of a SAPI-S7 interface to OPC clients.
#include "runtime/ServerRuntime.h"
#include "sapi/SapiAccess.h"

int main(int argc, char** argv)
{
    using namespace orva;
    return process::runServer(
        process::serverIdentity(config::ServerKind::Vardel),
        [] {
            // The loader hands the configuration's interface name over before the transport exists.
            auto interfaceName = std::make_shared<std::string>();
            return process::ServerTransport{
                std::make_unique<sapi::InterfaceNameSettings>(interfaceName),
                process::plainCommunication(config::ServerKind::Vardel, [interfaceName] {
                    return std::make_unique<sapi::SapiAccess>(sapi::makeSapiLibrary(), *interfaceName);
                })};
        },
        argc, argv);
}
