#include <QApplication>

#include "WindowHost.h"
#include "windows/MainWindow.h"

namespace orva::process {
namespace {

class QtHost final : public WindowHost {
public:
    QtHost(const ServerIdentity& identity, ErrorTextFunction errorText, int& argc, char** argv)
        : app_(argc, argv), window_(identity, std::move(errorText))
    {
        QApplication::setQuitOnLastWindowClosed(false);  // the window's close ends the loop itself
    }
    OwnerWindow& window() override { return window_; }
    void setStatusSnapshotProvider(StatusSnapshotProvider snapshots) override
    {
        window_.setStatusSnapshotProvider(std::move(snapshots));
    }
    int run(ShutdownSignals* shutdownSignals) override
    {
        if (shutdownSignals != nullptr) window_.closeOnShutdownSignals(*shutdownSignals);
        if (window_.isClosed()) return 0;
        window_.showMinimized();
        return QApplication::exec();
    }
    void stopAcceptingReports() override { window_.stopAcceptingReports(); }

private:
    QApplication app_;
    windows::MainWindow window_;
};

}  // namespace

std::unique_ptr<WindowHost> makeQtWindowHost(const ServerIdentity& identity, ErrorTextFunction errorText,
                                             int& argc, char** argv)
{
    return std::make_unique<QtHost>(identity, std::move(errorText), argc, argv);
}

}  // namespace orva::process
