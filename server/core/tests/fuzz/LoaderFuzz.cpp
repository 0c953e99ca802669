// Configuration bytes into the loader of every server kind: it must load or refuse them
// without crashing, whatever they hold.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "config/ServerKind.h"
#include "core/ConfigLoader.h"
#include "opc/SODaSEntry.h"

using namespace orva::opc;

namespace {

class SilentOwner : public orva::core::OwnerWindow {
public:
    void showWarning(std::string_view, std::string_view) override {}
};

class NoTransport : public orva::core::TransportSettings {
public:
    void setInterfaceName(const std::string&) override {}
    void openSerialPort(const orva::core::SerialSettings&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (auto kind : orva::config::allServerKinds) {
        SOCmnPointer<SODaSEntry> entry(new SODaSEntry);
        auto root = entry->getNameSpaceRoot();
        orva::core::configureNameSpaceRoot(*root);
        orva::core::PlcList plcs;
        SilentOwner owner;
        NoTransport transport;
        const orva::core::LoadContext context{kind, plcs, std::make_shared<orva::core::CoreQueues>(), owner,
                                              &transport};
        orva::core::loadConfigurationFromMemory(context, bytes, *root);
        entry->terminate();
        plcs.clear();
    }
    return 0;
}
