#pragma once
// The joint between the server core and the process: the communication thread's reports go to
// the main window (the loader's warnings reach the window directly, it is their owner).

#include "core/OwnerWindow.h"
#include "core/StatusSink.h"
#include "process/OwnerWindow.h"

namespace orva::process {

class WindowStatusSink final : public core::StatusSink {
public:
    explicit WindowStatusSink(OwnerWindow& window) : window_(window) {}
    void reportPlcStatus(int code, const core::S7Plc* plc) override { window_.reportPlcStatus(code, plc); }
    void reportNoPlc() override { window_.reportNoPlc(); }

private:
    OwnerWindow& window_;
};

}  // namespace orva::process
