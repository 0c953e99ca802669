// Pennat: serves S7 PLCs reached over MPI to OPC clients; the serial set-up is machine-wide.
#include "mpi_server/PennatLibrary.h"
#include "runtime/ServerRuntime.h"

int main(int argc, char** argv)
{
    using namespace orva;
    return process::runServer(
        process::serverIdentity(config::ServerKind::Pennat),
        [] {
            // The configuration carries no serial settings: nothing is handed over while loading.
            return process::ServerTransport{
                nullptr, process::plainCommunication(config::ServerKind::Pennat, [] {
                    return std::make_unique<mpie::MpiTransport>(std::make_shared<mpi_server::PennatLibrary>(),
                                                                mpie::dataFileBesideExecutable("error.dat"));
                })};
        },
        argc, argv);
}
