#pragma once
// What the rest of the server needs from its main window: warning boxes during start-up (the
// loader's among them), the status line that the communication thread reports to, and closing.
// Implemented by the Qt main window and, where no display exists, by HeadlessWindow, which writes
// to the log instead.

#include <string>
#include <string_view>
#include <vector>

#include "core/OwnerWindow.h"

namespace orva::process {

// The communication thread names a PLC by its object; the window only compares it.
using PlcHandle = const void*;

struct PlcLine {
    PlcHandle plc = nullptr;
    std::string name;
};

// Besides the warning message boxes of core::OwnerWindow (title, text):
class OwnerWindow : public core::OwnerWindow {
public:
    // The PLCs in configuration order, one status line each. Called once after loading, before
    // the communication thread starts.
    virtual void setPlcs(std::vector<PlcLine> plcs) = 0;

    // The communication thread's report after a transport operation: rebuilds the status text
    // from its code (0 = no error) and the PLC concerned. Synchronous: returns once the window's
    // thread has handled it, or at once when the window is gone.
    virtual void reportPlcStatus(int code, PlcHandle plc) = 0;

    // The communication thread found no PLC: the no-PLC warning, then the window closes itself.
    // Synchronous like the above.
    virtual void reportNoPlc() = 0;

    // Asks the window to close, from any thread (last client gone, shutdown signal); the window's
    // thread closes it later, this returns at once.
    virtual void requestClose() = 0;
};

}  // namespace orva::process
