#include "WindowHost.h"
#include "process/HeadlessWindow.h"

namespace orva::process {
namespace {

class HeadlessHost final : public WindowHost {
public:
    HeadlessHost(const ServerIdentity& identity, LogSink& log, ErrorTextFunction errorText)
        : window_(identity, log, std::move(errorText))
    {
    }
    OwnerWindow& window() override { return window_; }
    void setStatusSnapshotProvider(StatusSnapshotProvider) override {}
    int run(ShutdownSignals* shutdownSignals) override { return window_.run(shutdownSignals); }
    void stopAcceptingReports() override {}  // reports only write to the log

private:
    HeadlessWindow window_;
};

}  // namespace

std::unique_ptr<WindowHost> makeHeadlessWindowHost(const ServerIdentity& identity, LogSink& log,
                                                   ErrorTextFunction errorText)
{
    return std::make_unique<HeadlessHost>(identity, log, std::move(errorText));
}

}  // namespace orva::process
