// Tornel: serves S7 PLCs reached over TCP/IP to OPC clients.
#include "runtime/ServerRuntime.h"
#include "tcpip/TornelCommunication.h"

namespace {

using namespace orva;

// Tornel's communication (TCP/IP library, redundancy supervision, communication thread) as the
// runtime drives it.
class TornelParts final : public process::ServerCommunication {
public:
    TornelParts(core::PlcList& plcs, std::shared_ptr<core::CoreQueues> queues, core::StatusSink& sink)
        : communication_(plcs, std::move(queues), sink)
    {
    }
    void start() override { communication_.start(); }
    void stop() override { communication_.stop(); }
    process::StatusSnapshot snapshot() override { return communication_.thread().snapshot(); }
    std::string errorText(int code) override { return communication_.transport().errorText(code); }
    std::vector<core::PollFigures> figures() override { return communication_.thread().figures(); }
    std::optional<std::uint64_t> progress() override { return communication_.thread().iterations(); }

private:
    tcpip::TornelCommunication communication_;
};

}  // namespace

int main(int argc, char** argv)
{
    return process::runServer(
        process::serverIdentity(config::ServerKind::Tornel),
        [] {
            return process::ServerTransport{
                nullptr,
                [](core::PlcList& plcs, std::shared_ptr<core::CoreQueues> queues, core::StatusSink& sink) {
                    return std::make_unique<TornelParts>(plcs, std::move(queues), sink);
                }};
        },
        argc, argv);
}
