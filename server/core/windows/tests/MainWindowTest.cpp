#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <atomic>
#include <csignal>
#include <future>
#include <thread>

#include "QtTestApp.h"
#include "process/WindowIds.h"
#include "windows/AboutDialog.h"
#include "windows/MainWindow.h"

#include <QLabel>
#include <QPushButton>

using namespace orva;
using namespace orva::windows;
using orva::config::ServerKind;
using test::pumpUntil;
using test::qtApp;

namespace {

const int plcA = 1, plcB = 2, plcC = 3;

class MainWindowFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        qtApp();
        window = std::make_unique<MainWindow>(process::serverIdentity(ServerKind::Tornel),
                                              [](int code) { return "S7 error " + std::to_string(code); });
        window->setWarningPresenter([this](QWidget* owner, const QString& title, const QString& text) {
            warnings.push_back({owner, title, text});
        });
        window->setPlcs({{&plcA, "Press"}, {&plcB, "Oven"}, {&plcC, "Crane"}});
    }

    // Runs the call on another thread while this (the window's) thread handles events.
    void fromOtherThread(const std::function<void()>& call)
    {
        std::atomic<bool> done{false};
        std::thread reporter([&] {
            call();
            done = true;
        });
        const bool finished = pumpUntil([&] { return done.load(); });
        reporter.join();
        ASSERT_TRUE(finished);
    }

    struct Warning {
        QWidget* owner;
        QString title;
        QString text;
    };
    std::vector<Warning> warnings;
    std::unique_ptr<MainWindow> window;
};

}  // namespace

TEST_F(MainWindowFixture, WindowTitleSizeAndMenus)
{
    EXPECT_EQ(window->windowTitle(), "Orva Tcp/Ip S7Emulated OPC DA Server");
    EXPECT_EQ(window->objectName(), "OrvaOPCServer");
    EXPECT_EQ(window->size(), QSize(506, 100));
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(window->centralWidget()->font().pixelSize(), 16);
    EXPECT_EQ(window->centralWidget()->font().family(), "Arial");

    const QList<QAction*> menus = window->menuBar()->actions();
    ASSERT_EQ(menus.size(), 2);
    EXPECT_EQ(menus[0]->text(), "&File");
    EXPECT_EQ(menus[1]->text(), "&Help");
    const QList<QAction*> file = menus[0]->menu()->actions();
    ASSERT_EQ(file.size(), 3);
    EXPECT_EQ(file[0]->text(), "Comm. Status ...");
    EXPECT_EQ(file[0]->data().toInt(), 40003);
    EXPECT_TRUE(file[1]->isSeparator());
    EXPECT_EQ(file[2]->text(), "E&xit");
    EXPECT_EQ(file[2]->data().toInt(), 40001);
    const QList<QAction*> help = menus[1]->menu()->actions();
    ASSERT_EQ(help.size(), 1);
    EXPECT_EQ(help[0]->text(), "&About ...");
    EXPECT_EQ(help[0]->data().toInt(), 40002);
    EXPECT_EQ(window->commandAction(process::kCommandAbout), help[0]);
}

TEST_F(MainWindowFixture, ReportsFromTheCommunicationThreadAreHandledBeforeTheCallReturns)
{
    QString seenByReporter;
    fromOtherThread([&] {
        window->reportPlcStatus(7, &plcB);
        seenByReporter = window->statusText();  // the window has already handled it
    });
    EXPECT_EQ(seenByReporter, "\nS7 error 7 on Oven\n\n");

    window->reportPlcStatus(0, &plcB);  // on the window's own thread: handled directly
    EXPECT_EQ(window->statusText(), "\n\n\n");
}

TEST_F(MainWindowFixture, NoPlcShowsItsWarningThenClosesAndLaterReportsDoNotBlock)
{
    bool closedSignal = false;
    QObject::connect(window.get(), &MainWindow::closed, [&] { closedSignal = true; });
    fromOtherThread([&] { window->reportNoPlc(); });
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].owner, window.get());
    EXPECT_EQ(warnings[0].title, "OPC TcpIp S7 Server");
    EXPECT_EQ(warnings[0].text, "No Tcp/Ip S7 PLC configured. OPC Server being closed.");
    EXPECT_TRUE(window->isClosed());
    EXPECT_TRUE(closedSignal);

    // A report after the close returns at once even though nobody handles events.
    auto late = std::async(std::launch::async, [&] { window->reportPlcStatus(5, &plcA); });
    ASSERT_EQ(late.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(window->statusText(), "");
}

TEST_F(MainWindowFixture, AReportWaitingWhenTheWindowClosesIsReleased)
{
    // The reporter waits for the window's thread, which is busy and then closes the window.
    auto waiting = std::async(std::launch::async, [&] { window->reportPlcStatus(3, &plcC); });
    EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    window->stopAcceptingReports();
    ASSERT_EQ(waiting.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    QCoreApplication::processEvents();  // the queued report is dropped
    EXPECT_EQ(window->statusText(), "");
}

TEST_F(MainWindowFixture, WarningsFromAnyThreadAreOwnedByTheWindow)
{
    window->showWarning("Tcp/Ip S7 OPC Server", "The configuration file couldn't be loaded !");
    fromOtherThread([&] { window->showWarning("Other", "From the communication thread"); });
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_EQ(warnings[0].title, "Tcp/Ip S7 OPC Server");
    EXPECT_EQ(warnings[0].text, "The configuration file couldn't be loaded !");
    EXPECT_EQ(warnings[1].owner, window.get());
    EXPECT_EQ(warnings[1].text, "From the communication thread");
}

TEST_F(MainWindowFixture, CloseRequestsExitAndSignalsAllCloseTheWindow)
{
    std::thread([&] { window->requestClose(); }).join();  // returns without waiting for the window
    EXPECT_FALSE(window->isClosed());
    EXPECT_TRUE(pumpUntil([&] { return window->isClosed(); }));

    SetUp();
    window->commandAction(process::kCommandExit)->trigger();
    EXPECT_TRUE(window->isClosed());

    SetUp();
    auto shutdown = process::ShutdownSignals::install();
    ASSERT_NE(shutdown, nullptr);
    window->closeOnShutdownSignals(*shutdown);
    ::raise(SIGTERM);
    EXPECT_TRUE(pumpUntil([&] { return window->isClosed(); }));
    window.reset();
}

TEST(AboutDialog, ShowsTheServersTitleProductLineMakerAndOk)
{
    qtApp();
    AboutDialog about(process::serverIdentity(ServerKind::Lorvik));
    EXPECT_EQ(about.windowTitle(), "About Orva MPI-Emulated OPC DA Server");
    EXPECT_EQ(about.findChild<QLabel*>("productLine")->text(),
              "Orva MPI-Emulated OPC DA Server - Ver. 1.1.0.0  Win32 ");
    EXPECT_EQ(about.findChild<QLabel*>("makerName")->text(), "ORVA Automation");
    QPushButton* ok = about.findChild<QPushButton*>("okButton");
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), "OK");
    about.open();
    ok->click();
    EXPECT_EQ(about.result(), QDialog::Accepted);
    EXPECT_FALSE(about.isVisible());
}
