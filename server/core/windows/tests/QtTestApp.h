#pragma once
// One QApplication for all tests of this program, on Qt's offscreen platform.

#include <QApplication>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

namespace orva::windows::test {

inline QApplication& qtApp()
{
    static int argc = 1;
    static char name[] = "server_windows_test";
    static char* argv[] = {name, nullptr};
    static const std::unique_ptr<QApplication> app = [] {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        return std::make_unique<QApplication>(argc, argv);
    }();
    return *app;
}

// Processes events until the condition holds or ten seconds have passed; the condition's result.
inline bool pumpUntil(const std::function<bool()>& condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace orva::windows::test
