#pragma once
// The joints between the server core and the process: the communication thread's reports go to
// the main window, the loader's warnings to the window's message boxes.

#include <vector>

#include "core/OwnerWindow.h"
#include "core/PlcList.h"
#include "core/StatusSink.h"
#include "process/OwnerWindow.h"

namespace orva::process {

// The main window's status lines: one per PLC in configuration order; the window names a PLC by
// its S7Plc object, as the communication thread reports it.
std::vector<PlcLine> plcLines(const core::PlcList& plcs);

// Hands the communication thread's reports to the main window (WM_PLC_STATUS, WM_NO_PLC).
class WindowStatusSink final : public core::StatusSink {
public:
    explicit WindowStatusSink(OwnerWindow& window) : window_(window) {}
    void reportPlcStatus(int code, const core::S7Plc* plc) override { window_.reportPlcStatus(code, plc); }
    void reportNoPlc() override { window_.reportNoPlc(); }

private:
    OwnerWindow& window_;
};

class LoaderWarnings final : public core::OwnerWindow {
public:
    explicit LoaderWarnings(process::OwnerWindow& window) : window_(window) {}
    // The loader's texts end with a line feed; a message box or log line does not need it.
    void showWarning(std::string_view text, std::string_view caption) override;

private:
    process::OwnerWindow& window_;
};

}  // namespace orva::process
