#pragma once
// The life of a server process, the same for Tornel, Vardel, Lorvik and Pennat: the command line
// and registration, the toolkit entry with the server's creator and identity, the event handler
// that notices the last client leaving, locating and loading the configuration, the
// communication thread, the OPC UA endpoint, the main window (or the log where no display is
// available) and the orderly shutdown. A server supplies its identity and its PLC transport.

#include <functional>
#include <memory>

#include "core/PlcTransport.h"
#include "core/TransportSettings.h"
#include "process/ServerIdentity.h"

namespace orva::process {

// What a server brings of its own: its PLC access library behind the communication thread's
// interface, and where the configuration file's transport settings go (null: the kind has none).
struct ServerTransport {
    std::unique_ptr<core::PlcTransport> plc;
    std::unique_ptr<core::TransportSettings> settings;
};

// Called once the command line asks for a running server (not for registration).
using TransportFactory = std::function<ServerTransport()>;

// Runs the server until its window closes (by the user, a shutdown signal, a missing PLC
// configuration or the last client of an "-Embedding" start leaving); the process exit code.
int runServer(const ServerIdentity& identity, const TransportFactory& makeTransport, int argc, char** argv);

}  // namespace orva::process
