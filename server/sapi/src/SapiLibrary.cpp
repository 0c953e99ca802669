#include "sapi/SapiLibrary.h"

namespace orva::sapi {
namespace {

class S7Library final : public SapiLibrary {
public:
    explicit S7Library(orva::registry::Registry registry) : library_(std::move(registry)) {}

    int sapiQueryDevice(const char* interfaceName, int index, uint16_t* count, char* deviceName) override
    {
        return library_.queryDevice(interfaceName, index, count, deviceName);
    }
    int sapiOpen(const char* interfaceName, const char* deviceName, uint32_t* descriptor) override
    {
        return library_.open(interfaceName, deviceName, descriptor);
    }
    int sapiGetConnection(uint32_t descriptor, const char* name, uint16_t* ref) override
    {
        return library_.getConnection(descriptor, name, ref);
    }
    int sapiConnect(uint32_t descriptor, uint16_t ref) override { return library_.connect(descriptor, ref); }
    int sapiReceive(uint32_t descriptor, uint16_t* ref, uint8_t* buffer) override
    {
        return library_.receive(descriptor, ref, buffer);
    }
    int sapiConnectConfirm() override { return library_.connectConfirm(); }
    int sapiAbortIndication() override { return library_.abortIndication(); }
    int sapiDiscard() override { return library_.discard(); }
    int sapiAbort(uint32_t descriptor, uint16_t ref) override { return library_.abort(descriptor, ref); }
    int sapiReadRequest(uint32_t descriptor, uint16_t ref, int reserved,
                        const VariableRecord* record) override
    {
        return library_.readRequest(descriptor, ref, reserved, record);
    }
    int sapiReadConfirm(int reserved, uint16_t* count, uint8_t* data) override
    {
        return library_.readConfirm(reserved, count, data);
    }
    int sapiWriteRequest(uint32_t descriptor, uint16_t ref, int reserved, const VariableRecord* record,
                         int reserved2) override
    {
        return library_.writeRequest(descriptor, ref, reserved, record, reserved2);
    }
    int sapiWriteConfirm() override { return library_.writeConfirm(); }
    int sapiClose(uint32_t descriptor) override { return library_.close(descriptor); }
    int sapiLastError() override { return library_.lastError(); }
    int sapiErrorText(char* buffer) override { return library_.errorText(buffer); }
    int sapiWaitEvent(uint32_t descriptor, uint16_t ref, int timeoutMs) override
    {
        return library_.waitEvent(descriptor, ref, timeoutMs);
    }

private:
    sapis7::SapiS7Library library_;
};

}  // namespace

std::unique_ptr<SapiLibrary> makeSapiLibrary(orva::registry::Registry registry)
{
    return std::make_unique<S7Library>(std::move(registry));
}

}  // namespace orva::sapi
