#include "windows/MainWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QMenuBar>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QStyle>

#include "process/WindowIds.h"
#include "windows/AboutDialog.h"
#include "windows/CommStatusDialog.h"
#include "windows/StatusTextView.h"

namespace orva::windows {
namespace {

QString fromStd(std::string_view text)
{
    return toQString(text);
}

}  // namespace

MainWindow::MainWindow(const process::ServerIdentity& identity, process::ErrorTextFunction errorText,
                       QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint),
      identity_(identity),
      status_(std::move(errorText))
{
    setObjectName(fromStd(process::kMainWindowClass));
    setWindowTitle(fromStd(identity.windowTitle));
    setWindowIcon(style()->standardIcon(QStyle::SP_ComputerIcon));
    setContextMenuPolicy(Qt::NoContextMenu);  // right and middle clicks do nothing

    view_ = new StatusTextView(this);
    setCentralWidget(view_);

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    addCommand(file, QStringLiteral("Comm. Status ..."), process::kCommandCommStatus);
    file->addSeparator();
    addCommand(file, QStringLiteral("E&xit"), process::kCommandExit);
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    addCommand(help, QStringLiteral("&About ..."), process::kCommandAbout);

    resize(process::kMainWindowWidth, process::kMainWindowHeight);

    presenter_ = [](QWidget* owner, const QString& title, const QString& text) {
        QMessageBox::warning(owner, title, text);
    };
    // A report still waiting when the event loop has ended would wait for ever.
    if (QCoreApplication::instance() != nullptr)
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
                [this] { gate_.close(); });
}

MainWindow::~MainWindow()
{
    gate_.close();
}

QAction* MainWindow::addCommand(QMenu* menu, const QString& text, int commandId)
{
    QAction* action = menu->addAction(text);
    action->setData(commandId);
    switch (commandId) {
        case process::kCommandExit:
            connect(action, &QAction::triggered, this, &QWidget::close);
            break;
        case process::kCommandAbout:
            connect(action, &QAction::triggered, this, &MainWindow::openAbout);
            break;
        case process::kCommandCommStatus:
            connect(action, &QAction::triggered, this, &MainWindow::openCommStatus);
            break;
        default:
            break;
    }
    return action;
}

QAction* MainWindow::commandAction(int commandId) const
{
    for (QMenu* menu : menuBar()->findChildren<QMenu*>())
        for (QAction* action : menu->actions())
            if (!action->isSeparator() && action->data().toInt() == commandId) return action;
    return nullptr;
}

void MainWindow::setPlcs(std::vector<process::PlcLine> plcs)
{
    gate_.call(this, [this, plcs = std::move(plcs)]() mutable { status_.setPlcs(std::move(plcs)); });
}

void MainWindow::showWarning(std::string_view title, std::string_view text)
{
    // The loader's texts end with a line feed, which would show as an empty line in the box.
    while (text.ends_with('\n') || text.ends_with('\r'))
        text.remove_suffix(1);
    gate_.call(this, [this, title = fromStd(title), text = fromStd(text)] { presenter_(this, title, text); });
}

void MainWindow::reportPlcStatus(int code, process::PlcHandle plc)
{
    gate_.call(this, [this, code, plc] {
        if (status_.report(code, plc)) view_->setText(QString::fromStdString(status_.text()));
    });
}

void MainWindow::reportNoPlc()
{
    gate_.call(this, [this] {
        presenter_(this, fromStd(identity_.noPlcTitle), fromStd(identity_.noPlcMessage));
        close();
    });
}

void MainWindow::requestClose()
{
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void MainWindow::setStatusSnapshotProvider(process::StatusSnapshotProvider snapshots,
                                           process::QualityTextFunction qualityText)
{
    snapshots_ = std::move(snapshots);
    qualityText_ = std::move(qualityText);
}

void MainWindow::setWarningPresenter(WarningPresenter presenter)
{
    presenter_ = std::move(presenter);
}

void MainWindow::closeOnShutdownSignals(process::ShutdownSignals& shutdownSignals)
{
    signalNotifier_ = std::make_unique<QSocketNotifier>(shutdownSignals.fd(), QSocketNotifier::Read);
    connect(signalNotifier_.get(), &QSocketNotifier::activated, this, [this, &shutdownSignals] {
        if (shutdownSignals.takeSignal() != 0) close();
    });
}

QString MainWindow::statusText() const
{
    return view_->text();
}

void MainWindow::openAbout()
{
    AboutDialog about(identity_, this);
    about.exec();
}

void MainWindow::openCommStatus()
{
    CommStatusDialog dialog(identity_, snapshots_, qualityText_, this);
    dialog.exec();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (closed_) return;
    closed_ = true;
    gate_.close();
    emit closed();
    QCoreApplication::exit(0);
}

}  // namespace orva::windows
