#include "windows/GuiCallGate.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

namespace orva::windows {

GuiCallGate::GuiCallGate() : state_(std::make_shared<State>()) {}

bool GuiCallGate::call(QObject* context, std::function<void()> function)
{
    if (isClosed()) return false;
    if (QThread::currentThread() == context->thread()) {
        function();
        return true;
    }
    auto done = std::make_shared<bool>(false);
    const std::shared_ptr<State> state = state_;
    // Queued to the context: the event is discarded if the context is destroyed first.
    QMetaObject::invokeMethod(
        context,
        [state, done, function = std::move(function)] {
            {
                const std::lock_guard lock(state->mutex);
                if (state->closed) return;
            }
            function();
            const std::lock_guard lock(state->mutex);
            *done = true;
            state->changed.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(state->mutex);
    state->changed.wait(lock, [&] { return *done || state->closed; });
    return *done;
}

void GuiCallGate::close()
{
    const std::lock_guard lock(state_->mutex);
    state_->closed = true;
    state_->changed.notify_all();
}

bool GuiCallGate::isClosed() const
{
    const std::lock_guard lock(state_->mutex);
    return state_->closed;
}

}  // namespace orva::windows
