#include "core/CommunicationThread.h"
#include "runtime/ServerRuntime.h"

namespace orva::process {
namespace {

class PlainCommunication final : public ServerCommunication {
public:
    PlainCommunication(config::ServerKind kind, std::unique_ptr<core::PlcTransport> transport,
                       core::PlcList& plcs, std::shared_ptr<core::CoreQueues> queues, core::StatusSink& sink)
        : transport_(std::move(transport)),
          thread_(plcs, std::move(queues), *transport_, sink, core::commSettingsFor(kind))
    {
    }
    ~PlainCommunication() override { thread_.stop(); }
    void start() override { thread_.start(); }
    void stop() override { thread_.stop(); }
    StatusSnapshot snapshot() override { return thread_.snapshot(); }
    std::string errorText(int code) override { return transport_->errorText(code); }
    std::vector<core::PollFigures> figures() override { return thread_.figures(); }
    std::optional<std::uint64_t> progress() override { return thread_.iterations(); }

private:
    std::unique_ptr<core::PlcTransport> transport_;
    core::CommunicationThread thread_;
};

}  // namespace

CommunicationFactory plainCommunication(config::ServerKind kind,
                                        std::function<std::unique_ptr<core::PlcTransport>()> makeTransport)
{
    return [kind, makeTransport = std::move(makeTransport)](
               core::PlcList& plcs, std::shared_ptr<core::CoreQueues> queues,
               core::StatusSink& sink) -> std::unique_ptr<ServerCommunication> {
        return std::make_unique<PlainCommunication>(kind, makeTransport(), plcs, std::move(queues), sink);
    };
}

}  // namespace orva::process
