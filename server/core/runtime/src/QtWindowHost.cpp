#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>

#include "WindowHost.h"
#include "windows/MainWindow.h"

namespace orva::process {
namespace {

class QtHost final : public WindowHost {
public:
    QtHost(const ServerIdentity& identity, ErrorTextFunction errorText, int& argc, char** argv,
           ShutdownSignals* shutdownSignals)
        : app_(argc, argv), window_(identity, std::move(errorText))
    {
        QApplication::setQuitOnLastWindowClosed(false);  // the window's close ends the loop itself
        if (shutdownSignals == nullptr) return;
        // A warning box waits for a click that may never come (a service manager stopping the
        // server): a shutdown signal closes it, and is left pending for run() to take up.
        const int signalFd = shutdownSignals->fd();
        window_.setWarningPresenter([signalFd](QWidget* owner, const QString& title, const QString& text) {
            QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, owner);
            QSocketNotifier pending(signalFd, QSocketNotifier::Read);
            QObject::connect(&pending, &QSocketNotifier::activated, &box, &QMessageBox::reject);
            box.exec();
        });
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
                                             int& argc, char** argv, ShutdownSignals* shutdownSignals)
{
    return std::make_unique<QtHost>(identity, std::move(errorText), argc, argv, shutdownSignals);
}

}  // namespace orva::process
