#pragma once
// Tornel's PLC traffic in one piece: the TCP/IP access library bound as the transport, the
// supervision of redundant PLCs and the communication thread. Made after the configuration has
// been loaded into the PLC list (the thread takes the list's PLCs as they are then).
//
// Shutdown order: stop the main window accepting reports (the thread waits for each report to be
// handled), then stop() (or destroy), then release the PLC list.

#include <memory>
#include <string>

#include "core/CommunicationThread.h"
#include "process/StatusSnapshot.h"
#include "process/StatusText.h"
#include "tcpip/Redundancy.h"
#include "tcpip/TcpIpTransport.h"

namespace orva::tcpip {

class TornelCommunication {
public:
    // Every PLC polled concurrently, over a library instance of its own.
    TornelCommunication(core::PlcList& plcs, std::shared_ptr<core::CoreQueues> queues, core::StatusSink& sink,
                        TcpIpLibraryFactory makeLibrary = tcpIpLibraryFactory(),
                        std::string dataFilePath = tornelDataFilePath());
    // The PLCs polled in turn through one library instance.
    TornelCommunication(core::PlcList& plcs, std::shared_ptr<core::CoreQueues> queues, core::StatusSink& sink,
                        std::unique_ptr<TcpIpLibrary> library,
                        std::string dataFilePath = tornelDataFilePath());
    ~TornelCommunication();
    TornelCommunication(const TornelCommunication&) = delete;
    TornelCommunication& operator=(const TornelCommunication&) = delete;

    // Starts the thread; with an empty PLC list it reports that to the window and ends at once.
    void start() { thread_.start(); }
    // Signals the thread and waits for it; the connection table is closed.
    void stop() { thread_.stop(); }

    // For the communication-status dialog (any thread).
    process::StatusSnapshotProvider snapshotProvider()
    {
        return [this] { return thread_.snapshot(); };
    }
    // The library's text for a status code, for the main window's status line (any thread).
    process::ErrorTextFunction errorText()
    {
        return [this](int code) { return transport_.errorText(code); };
    }

    core::CommunicationThread& thread() noexcept { return thread_; }
    TcpIpTransport& transport() noexcept { return transport_; }

private:
    TcpIpTransport transport_;
    RedundancySupervision supervision_;
    core::CommunicationThread thread_;
};

}  // namespace orva::tcpip
