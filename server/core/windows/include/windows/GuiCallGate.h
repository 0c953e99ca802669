#pragma once
// Runs a function on a window's thread and waits until it has run, the way a message sent to a
// window blocks its sender. Once the gate is closed (the window is closing or gone) calls return
// at once without running, so a thread that reports to the window can never hang the shutdown
// that waits for it.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class QObject;

namespace orva::windows {

class GuiCallGate {
public:
    GuiCallGate();

    // On the context's own thread the function runs directly; from any other thread it is queued
    // to that thread and the caller waits. The function must own what it uses (capture by value):
    // after a close, the caller may return while it is still queued. False when it did not run
    // (or is not known to have run) because the gate was closed.
    bool call(QObject* context, std::function<void()> function);

    void close();
    bool isClosed() const;

private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        bool closed = false;
    };
    std::shared_ptr<State> state_;
};

}  // namespace orva::windows
