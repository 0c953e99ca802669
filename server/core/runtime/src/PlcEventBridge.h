#pragma once
// The communication thread's status reports go to the main window and, while the OPC UA endpoint
// runs, to its clients as PLC connection events (lost, back, error changed). The thread never
// waits for the network thread: the endpoint queues each event for it.

#include <mutex>

#include "core/StatusSink.h"
#include "opcua/PlcConnectionEvents.h"
#include "opcua/Server.h"
#include "process/StatusText.h"

namespace orva::process {

class StatusFanOut final : public core::StatusSink {
public:
    explicit StatusFanOut(core::StatusSink& window) : window_(window) {}

    void reportPlcStatus(int code, const core::S7Plc* plc) override;
    void reportNoPlc() override { window_.reportNoPlc(); }

    // The endpoint that gets the events from now on, or null; returns once no report is on its way
    // to the endpoint set before.
    void setEventServer(opcua::Server* server, ErrorTextFunction errorText);

private:
    core::StatusSink& window_;
    std::mutex lock_;
    opcua::Server* server_ = nullptr;
    ErrorTextFunction errorText_;
    opcua::PlcConnectionTracker tracker_;  // also while no endpoint runs, so none sees a stale change
};

}  // namespace orva::process
