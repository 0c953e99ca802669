#include "tcpip/TornelCommunication.h"

namespace orva::tcpip {

TornelCommunication::TornelCommunication(core::PlcList& plcs, std::shared_ptr<core::CoreQueues> queues,
                                         core::StatusSink& sink, TcpIpLibraryFactory makeLibrary,
                                         std::string dataFilePath)
    : transport_(std::move(makeLibrary), std::move(dataFilePath)),
      thread_(plcs, std::move(queues), transport_, sink, core::commSettingsFor(config::ServerKind::Tornel))
{
    thread_.setRedundancyHooks(&supervision_);
}

TornelCommunication::TornelCommunication(core::PlcList& plcs, std::shared_ptr<core::CoreQueues> queues,
                                         core::StatusSink& sink, std::unique_ptr<TcpIpLibrary> library,
                                         std::string dataFilePath)
    : transport_(std::move(library), std::move(dataFilePath)),
      thread_(plcs, std::move(queues), transport_, sink, core::commSettingsFor(config::ServerKind::Tornel))
{
    thread_.setRedundancyHooks(&supervision_);
}

TornelCommunication::~TornelCommunication()
{
    thread_.stop();
}

}  // namespace orva::tcpip
