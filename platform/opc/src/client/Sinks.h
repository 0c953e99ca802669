#pragma once
// The toolkit's sinks of one client connection: they forward completions, data changes and
// shutdown requests to the client's callbacks through its ConnectionState.

#include <memory>

#include "ConnectionState.h"
#include "opc/SODaSServer.h"
#include "opc/client/ClientTypes.h"

namespace orva::opc::client {

class RequestSink : public opc::SODaSRequestSink {
public:
    explicit RequestSink(std::shared_ptr<Request> request) : request_(std::move(request)) {}
    void onRequestCompleted(const opc::SODaSRequestResult& result, bool notify) noexcept override
    {
        request_->finish(result, notify);
    }

private:
    std::shared_ptr<Request> request_;
};

class DataChangeSink : public opc::SODaSDataChangeSink {
public:
    DataChangeSink(std::weak_ptr<ConnectionState> state, DataChangeCallback callback)
        : state_(std::move(state)), callback_(std::move(callback))
    {
    }
    void onDataChange(const std::vector<opc::SODaSItemValue>& values) noexcept override
    {
        if (auto state = state_.lock()) state->invoke([&] { callback_(values); });
    }

private:
    std::weak_ptr<ConnectionState> state_;
    DataChangeCallback callback_;
};

class ShutdownSink : public opc::SOSrvShutdownSink {
public:
    ShutdownSink(std::weak_ptr<ConnectionState> state, ShutdownCallback callback)
        : state_(std::move(state)), callback_(std::move(callback))
    {
    }
    void onShutdownRequest(const std::string& reason) noexcept override
    {
        if (auto state = state_.lock()) state->invoke([&] { callback_(reason); });
    }

private:
    std::weak_ptr<ConnectionState> state_;
    ShutdownCallback callback_;
};

}  // namespace orva::opc::client
