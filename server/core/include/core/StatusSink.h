#pragma once
// Where the communication thread reports: the main window, which handles each report before the
// call returns (the thread waits for it), or whatever stands in for it.

#include <vector>

#include "core/PlcList.h"
#include "core/S7Plc.h"
#include "process/OwnerWindow.h"

namespace orva::core {

class StatusSink {
public:
    virtual ~StatusSink() = default;
    // The status code of the last transport operation on the PLC (0 = no error any more).
    virtual void reportPlcStatus(int code, const S7Plc* plc) = 0;
    // The PLC list is empty: the thread has ended without doing anything.
    virtual void reportNoPlc() = 0;
};

// Forgets every report (servers without a window in tests).
class NullStatusSink final : public StatusSink {
public:
    void reportPlcStatus(int, const S7Plc*) override {}
    void reportNoPlc() override {}
};

// Hands the reports to the server's main window (WM_PLC_STATUS, WM_NO_PLC); the window names a
// PLC by its S7Plc object, as plcLinesOf gives it.
class WindowStatusSink final : public StatusSink {
public:
    explicit WindowStatusSink(process::OwnerWindow& window) : window_(window) {}
    void reportPlcStatus(int code, const S7Plc* plc) override { window_.reportPlcStatus(code, plc); }
    void reportNoPlc() override { window_.reportNoPlc(); }

private:
    process::OwnerWindow& window_;
};

// The main window's status lines: one per PLC in configuration order.
inline std::vector<process::PlcLine> plcLinesOf(const PlcList& plcs)
{
    std::vector<process::PlcLine> lines;
    for (std::size_t i = 0; i < plcs.size(); ++i)
        lines.push_back({plcs.at(i), plcs.at(i)->name});
    return lines;
}

}  // namespace orva::core
