#pragma once
// The joint between the server core and the process: the communication thread's reports go to
// the main window (the loader's warnings reach the window directly, it is their owner).

#include <vector>

#include "core/OwnerWindow.h"
#include "core/PlcList.h"
#include "core/StatusSink.h"
#include "process/OwnerWindow.h"

namespace orva::process {

// The main window's status lines: one per PLC in configuration order; the window names a PLC by
// its S7Plc object, as the communication thread reports it.
std::vector<PlcLine> plcLines(const core::PlcList& plcs);

// Hands the communication thread's reports to the main window's status lines.
class WindowStatusSink final : public core::StatusSink {
public:
    explicit WindowStatusSink(OwnerWindow& window) : window_(window) {}
    void reportPlcStatus(int code, const core::S7Plc* plc) override { window_.reportPlcStatus(code, plc); }
    void reportNoPlc() override { window_.reportNoPlc(); }

private:
    OwnerWindow& window_;
};

}  // namespace orva::process
