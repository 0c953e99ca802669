#pragma once
// Where the communication thread reports: the main window, which handles each report before the
// call returns (the thread waits for it), or whatever stands in for it.

#include "core/S7Plc.h"

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

}  // namespace orva::core
