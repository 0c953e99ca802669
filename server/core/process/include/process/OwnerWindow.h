#pragma once
// What the rest of the server needs from its main window: warning boxes during start-up, the
// status line that the communication thread reports to, and closing. Implemented by the Qt main
// window and, where no display exists, by HeadlessWindow, which writes to the log instead.

#include <string>
#include <string_view>
#include <vector>

namespace orva::process {

// The communication thread names a PLC by its object; the window only compares it.
using PlcHandle = const void*;

struct PlcLine {
    PlcHandle plc = nullptr;
    std::string name;
};

class OwnerWindow {
public:
    virtual ~OwnerWindow() = default;

    // The PLCs in configuration order, one status line each. Called once after loading, before
    // the communication thread starts.
    virtual void setPlcs(std::vector<PlcLine> plcs) = 0;

    // A warning message box; returns when it has been dismissed (or logged).
    virtual void showWarning(std::string_view title, std::string_view text) = 0;

    // WM_PLC_STATUS: rebuilds the status text from the code of the last transport operation
    // (0 = no error) and the PLC concerned. Synchronous: returns once the window has handled it,
    // or at once when the window is gone.
    virtual void reportPlcStatus(int code, PlcHandle plc) = 0;

    // WM_NO_PLC: the no-PLC warning, then the window closes itself. Synchronous like the above.
    virtual void reportNoPlc() = 0;

    // WM_CLOSE posted from any thread (last client gone, shutdown signal); returns at once.
    virtual void requestClose() = 0;
};

}  // namespace orva::process
