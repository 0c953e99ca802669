#pragma once
// The main window of a server that runs where no display is available: message boxes and
// status-line changes go to the log, and run() waits for a close request instead of an event loop.

#include <atomic>
#include <mutex>

#include "process/LogSink.h"
#include "process/OwnerWindow.h"
#include "process/ServerIdentity.h"
#include "process/ShutdownSignals.h"
#include "process/StatusText.h"

namespace orva::process {

class HeadlessWindow final : public OwnerWindow {
public:
    HeadlessWindow(const ServerIdentity& identity, LogSink& log, ErrorTextFunction errorText);
    HeadlessWindow(const HeadlessWindow&) = delete;
    HeadlessWindow& operator=(const HeadlessWindow&) = delete;
    ~HeadlessWindow() override;

    void setPlcs(std::vector<PlcLine> plcs) override;
    void showWarning(std::string_view title, std::string_view text) override;
    void reportPlcStatus(int code, PlcHandle plc) override;
    void reportNoPlc() override;
    void requestClose() override;

    // Waits until a close is requested or a shutdown signal arrives; the exit code (0).
    int run(ShutdownSignals* signals = nullptr);

    bool closeRequested() const { return closeRequested_.load(); }
    std::string statusText() const;

private:
    const ServerIdentity& identity_;
    LogSink& log_;
    mutable std::mutex mutex_;  // guards status_
    StatusLine status_;
    std::atomic<bool> closeRequested_{false};
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
};

}  // namespace orva::process
