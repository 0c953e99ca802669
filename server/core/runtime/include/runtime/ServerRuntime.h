#pragma once
// The life of a server process, the same for Tornel, Vardel, Lorvik and Pennat: the command line
// and registration, the toolkit entry with the server's creator and identity, the event handler
// that notices the last client leaving, locating and loading the configuration, the
// communication thread, the OPC UA endpoint, the main window (or the log where no display is
// available) and the orderly shutdown. A server supplies its identity and its PLC traffic.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/CoreQueues.h"
#include "core/PlcList.h"
#include "core/PlcTransport.h"
#include "core/PollFigures.h"
#include "core/StatusSink.h"
#include "core/TransportSettings.h"
#include "process/ServerIdentity.h"
#include "process/StatusSnapshot.h"

namespace orva::process {

// A server's PLC traffic: its communication thread over its transport (with whatever supervision
// the transport has), made once the configuration is loaded.
class ServerCommunication {
public:
    virtual ~ServerCommunication() = default;
    // With an empty PLC list the thread reports that to the sink and ends at once.
    virtual void start() = 0;
    // Signals the thread and waits for it; the transport is closed.
    virtual void stop() = 0;
    // Any thread.
    virtual StatusSnapshot snapshot() = 0;
    // The transport's text for a status code, for the status line; any thread.
    virtual std::string errorText(int code) = 0;
    // Each PLC's polling figures, in configuration order; any thread.
    virtual std::vector<core::PollFigures> figures() { return {}; }
    // Iterations the communication thread has completed, for the service watchdog; any thread.
    // Null when not counted: the watchdog then only sees that the process lives.
    virtual std::optional<std::uint64_t> progress() { return std::nullopt; }
};

using CommunicationFactory = std::function<std::unique_ptr<ServerCommunication>(
    core::PlcList& plcs, std::shared_ptr<core::CoreQueues> queues, core::StatusSink& sink)>;

// The plain communication thread of the kind over a transport, for servers without supervision
// of their own.
CommunicationFactory plainCommunication(config::ServerKind kind,
                                        std::function<std::unique_ptr<core::PlcTransport>()> makeTransport);

struct ServerTransport {
    // Where the configuration file's transport settings go (null: the kind has none).
    std::unique_ptr<core::TransportSettings> settings;
    CommunicationFactory makeCommunication;
};

// Called once the command line asks for a running server (not for registration).
using TransportFactory = std::function<ServerTransport()>;

// Runs the server until its window closes (by the user, a shutdown signal, a missing PLC
// configuration or the last client of an "-Embedding" start leaving); the process exit code.
int runServer(const ServerIdentity& identity, const TransportFactory& makeTransport, int argc, char** argv);

}  // namespace orva::process
