#pragma once
// The main window of the running server: the Qt window where a display is available, otherwise
// the headless stand-in that writes to the log. Both keep the process running until the window closes.

#include <memory>

#include "process/LogSink.h"
#include "process/OwnerWindow.h"
#include "process/ServerIdentity.h"
#include "process/ShutdownSignals.h"
#include "process/StatusSnapshot.h"
#include "process/StatusText.h"

namespace orva::process {

class WindowHost {
public:
    virtual ~WindowHost() = default;
    virtual OwnerWindow& window() = 0;
    virtual void setStatusSnapshotProvider(StatusSnapshotProvider snapshots) = 0;
    // Shows the window minimised and runs until it closes; the exit code (0).
    virtual int run(ShutdownSignals* shutdownSignals) = 0;
    // Reports return at once from now on, so the communication thread can be stopped.
    virtual void stopAcceptingReports() = 0;
};

std::unique_ptr<WindowHost> makeHeadlessWindowHost(const ServerIdentity& identity, LogSink& log,
                                                   ErrorTextFunction errorText);

// Null when the process was built without windows. A shutdown signal that arrives while a warning
// box is open (during start-up, say) closes the box and stays pending, so the server still stops
// in order once it runs.
std::unique_ptr<WindowHost> makeQtWindowHost(const ServerIdentity& identity, ErrorTextFunction errorText,
                                             int& argc, char** argv, ShutdownSignals* shutdownSignals);

}  // namespace orva::process
