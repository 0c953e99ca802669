#pragma once
// The server's main window: a small, minimised window whose client area shows the status text,
// with the menus "&File" ("Comm. Status ...", "E&xit") and "&Help" ("&About ..."). It is the
// owner of start-up message boxes and the receiver of the communication thread's reports, which
// it handles on its own thread while the reporting thread waits.

#include <QMainWindow>
#include <functional>
#include <memory>

#include "process/OwnerWindow.h"
#include "process/ServerIdentity.h"
#include "process/ShutdownSignals.h"
#include "process/StatusSnapshot.h"
#include "process/StatusText.h"
#include "windows/GuiCallGate.h"

class QSocketNotifier;

namespace orva::windows {

class StatusTextView;

class MainWindow : public QMainWindow, public process::OwnerWindow {
    Q_OBJECT
public:
    MainWindow(const process::ServerIdentity& identity, process::ErrorTextFunction errorText,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    // OwnerWindow: callable from any thread; each runs on the window's thread.
    void setPlcs(std::vector<process::PlcLine> plcs) override;
    void showWarning(std::string_view title, std::string_view text) override;
    void reportPlcStatus(int code, process::PlcHandle plc) override;
    void reportNoPlc() override;
    void requestClose() override;

    // What the communication-status dialog shows; until set, it shows no PLC.
    void setStatusSnapshotProvider(process::StatusSnapshotProvider snapshots,
                                   process::QualityTextFunction qualityText = process::qualityText);

    // How warnings are shown: a modal warning box unless replaced (tests record them instead).
    using WarningPresenter = std::function<void(QWidget* owner, const QString& title, const QString& text)>;
    void setWarningPresenter(WarningPresenter presenter);

    // SIGTERM and SIGINT close the window like its close box. The object must outlive
    // the window or be released with it.
    void closeOnShutdownSignals(process::ShutdownSignals& shutdownSignals);

    // From now on reports return at once without effect. Happens when the window closes and
    // when the application's event loop ends; call it before waiting for the communication
    // thread in any other case.
    void stopAcceptingReports() { gate_.close(); }

    QString statusText() const;
    QAction* commandAction(int commandId) const;  // 40001, 40002, 40003
    bool isClosed() const { return closed_; }

signals:
    void closed();  // the window was closed; the application's event loop has been told to end

public slots:
    void openAbout();
    void openCommStatus();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QAction* addCommand(QMenu* menu, const QString& text, int commandId);

    const process::ServerIdentity& identity_;
    process::StatusLine status_;
    StatusTextView* view_ = nullptr;
    GuiCallGate gate_;
    WarningPresenter presenter_;
    process::StatusSnapshotProvider snapshots_;
    process::QualityTextFunction qualityText_ = process::qualityText;
    std::unique_ptr<QSocketNotifier> signalNotifier_;
    bool closed_ = false;
};

}  // namespace orva::windows
