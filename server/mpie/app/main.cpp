// Lorvik: serves S7 PLCs reached over MPI through a serial adapter to OPC clients.
#include "mpie/MpiTransport.h"
#include "runtime/ServerRuntime.h"

int main(int argc, char** argv)
{
    using namespace orva;
    return process::runServer(
        process::serverIdentity(config::ServerKind::Lorvik),
        [] {
            // One library for the loader's serial settings and the communication thread.
            std::shared_ptr<mpie::SerialMpiLibrary> library = mpie::makeLorvikLibrary();
            return process::ServerTransport{
                std::make_unique<mpie::SerialSettingsSink>(library),
                process::plainCommunication(config::ServerKind::Lorvik, [library] {
                    return std::make_unique<mpie::MpiTransport>(library,
                                                                mpie::dataFileBesideExecutable("Lorvik.err"));
                })};
        },
        argc, argv);
}
