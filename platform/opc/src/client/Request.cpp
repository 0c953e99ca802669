#include "ConnectionState.h"
#include "opc/client/ClientTypes.h"

namespace orva::opc::client {

Request::Request(std::shared_ptr<ConnectionState> connection, CompletionCallback callback,
                 opc::SOCmnPointer<opc::SODaSEntry> entry)
    : connection_(std::move(connection)), callback_(std::move(callback)), entry_(std::move(entry))
{
}

bool Request::isDone() const
{
    std::lock_guard g(mutex_);
    return done_;
}

std::optional<RequestResult> Request::wait(std::chrono::milliseconds timeout) const
{
    std::unique_lock g(mutex_);
    if (!cv_.wait_for(g, timeout, [this] { return done_; })) return std::nullopt;
    return result_;
}

void Request::finish(const RequestResult& result, bool notify)
{
    CompletionCallback callback;
    {
        std::lock_guard g(mutex_);
        if (done_) return;
        done_ = true;
        result_ = result;
        callback = std::move(callback_);
    }
    cv_.notify_all();
    auto connection = connection_.lock();
    if (!notify || !callback || !connection || !entry_) return;
    // Never call the client on the completing (server) thread: the worker runs the callback.
    entry_->post([connection, callback = std::move(callback), result] {
        connection->invoke([&] { callback(result); });
    });
}

}  // namespace orva::opc::client
