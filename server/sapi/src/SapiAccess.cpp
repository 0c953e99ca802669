#include "sapi/SapiAccess.h"

#include <algorithm>

#include "core/PlcList.h"
#include "process/StatusText.h"

namespace orva::sapi {
namespace {

// Repeats a call the library answers with -1 ("busy, call again"), within a bound.
template <class Call>
int retrying(Call call)
{
    int result = call();
    for (int i = 1; result == -1 && i < kBusyRetries; ++i)
        result = call();
    return result;
}

}  // namespace

SapiAccess::SapiAccess(std::unique_ptr<SapiLibrary> library, std::string interfaceName)
    : library_(std::move(library)), interfaceName_(std::move(interfaceName))
{
}

int SapiAccess::open(core::PlcList& plcs)
{
    plcNames_.clear();
    for (std::size_t i = 0; i < plcs.size(); ++i)
        plcNames_.push_back(plcs.at(i)->name);
    return openInterface(static_cast<uint16_t>(plcNames_.size()));
}

int SapiAccess::openInterface(uint16_t plcCount)
{
    connected_.assign(plcCount, 0);
    descriptor_ = 0;
    uint16_t count = 0;
    char device[sapis7::kDeviceNameCapacity] = {};
    const char* name = interfaceName_.c_str();
    if (retrying([&] { return library_->sapiQueryDevice(name, 0, &count, device); }) != 0)
        return count == 0 ? kNoDevice : failure();
    if (count == 0) return kNoDevice;
    device[sizeof device - 1] = '\0';
    if (retrying([&] { return library_->sapiOpen(name, device, &descriptor_); }) != 0) return failure();
    return 0;
}

int SapiAccess::selectPlc(uint16_t plcNumber, uint16_t)
{
    static const std::string unnamed;
    const bool known = plcNumber >= 1 && plcNumber <= plcNames_.size();
    return select(known ? plcNames_[plcNumber - 1] : unnamed, plcNumber);
}

void SapiAccess::setConnected(uint16_t index, uint8_t value)
{
    if (index < connected_.size()) connected_[index] = value;
}

int SapiAccess::select(const std::string& connectionName, uint16_t plcNumber)
{
    if (retrying([&] {
            return library_->sapiGetConnection(descriptor_, connectionName.c_str(), &connectionRef_);
        }) != 0) {
        // The entry cleared is that of the PLC selected before: the new index is not taken yet.
        // Every code but 124 reopens the interface anyway, which clears all entries.
        setConnected(currentIndex_, 0);
        return failure();
    }
    currentIndex_ = static_cast<uint16_t>(plcNumber - 1);
    if (currentIndex_ < connected_.size() && connected_[currentIndex_] == 1) return 0;
    if (retrying([&] { return library_->sapiConnect(descriptor_, connectionRef_); }) != 0) return failure();
    const int event = pollEvent(kConnectPolls, kConnectPollMs);
    if (event == 0) {
        retrying([&] { return library_->sapiAbort(descriptor_, connectionRef_); });
        return kNoAnswer;
    }
    if (event != sapis7::kEventConnectConfirm) return otherEvent(event);
    if (retrying([&] { return library_->sapiConnectConfirm(); }) != 0) return failure();
    setConnected(currentIndex_, 1);
    return 0;
}

int SapiAccess::otherEvent(int event)
{
    if (event == sapis7::kEventAbortIndication) {
        retrying([&] { return library_->sapiAbortIndication(); });
        return failure();
    }
    if (event == sapis7::kSapiReceiveError) return failure();
    retrying([&] { return library_->sapiDiscard(); });
    return kNoDevice;
}

int SapiAccess::pollEvent(int polls, int pollMs)
{
    for (int i = 0; i < polls; ++i) {
        library_->sapiWaitEvent(descriptor_, connectionRef_, pollMs);
        uint16_t ref = connectionRef_;
        const int event = library_->sapiReceive(descriptor_, &ref, receiveBuffer_);
        if (event != 0 && event != -1) return event;
    }
    return 0;
}

int SapiAccess::abortSilent()
{
    retrying([&] { return library_->sapiAbort(descriptor_, connectionRef_); });
    setConnected(currentIndex_, 0);
    return kNoAnswer;
}

int SapiAccess::readBytes(uint16_t dataBlock, plc::ByteOffset start, plc::ByteCount count,
                          uint8_t* destination)
{
    VariableRecord record;
    sapis7::makeVariableRecord(record, dataBlock, static_cast<uint16_t>(start.value),
                               static_cast<uint16_t>(count.value));
    if (retrying([&] { return library_->sapiReadRequest(descriptor_, connectionRef_, 0, &record); }) != 0)
        return failure();
    const int event = pollEvent(kReadPolls, kReadPollMs);
    if (event == 0) return abortSilent();
    if (event != sapis7::kEventReadConfirm) return otherEvent(event);
    // The library delivers at most count bytes into the destination.
    uint16_t delivered = static_cast<uint16_t>(count.value);
    return retrying([&] { return library_->sapiReadConfirm(0, &delivered, destination); }) == 0 ? 0
                                                                                                : failure();
}

int SapiAccess::writeBytes(uint16_t dataBlock, plc::ByteOffset start, plc::ByteCount count,
                           const uint8_t* source)
{
    VariableRecord record;
    sapis7::makeVariableRecord(record, dataBlock, static_cast<uint16_t>(start.value),
                               static_cast<uint16_t>(count.value), source);
    if (retrying([&] { return library_->sapiWriteRequest(descriptor_, connectionRef_, 0, &record, 0); }) != 0)
        return failure();
    const int event = pollEvent(kWritePolls, kWritePollMs);
    if (event == 0) return abortSilent();
    if (event != sapis7::kEventWriteConfirm) return otherEvent(event);
    return retrying([&] { return library_->sapiWriteConfirm(); }) == 0 ? 0 : failure();
}

int SapiAccess::closeInterface()
{
    connected_.clear();
    const uint32_t descriptor = descriptor_;
    descriptor_ = 0;
    return retrying([&] { return library_->sapiClose(descriptor); }) == 0 ? 0 : failure();
}

bool SapiAccess::anyConnected() const
{
    return std::any_of(connected_.begin(), connected_.end(), [](uint8_t c) { return c == 1; });
}

core::PlcTransport::Recovery SapiAccess::recoveryAfter(int code, bool mustReopen) const
{
    Recovery plan;
    plan.openFirst = mustReopen;
    plan.markPlc = mustReopen || leavesPlc(code);
    // A silent partner costs only its own connection while others are still up.
    plan.closeAndOpen = code != kNoAnswer || !anyConnected();
    plan.pauseMs = kReopenPauseMs;
    return plan;
}

std::string SapiAccess::errorText(int code)
{
    const auto text = process::vardelErrorText([this] {
        char buffer[sapis7::kErrorTextCapacity] = {};
        library_->sapiErrorText(buffer);
        buffer[sizeof buffer - 1] = '\0';
        return std::string(buffer);
    });
    return text(code);
}

}  // namespace orva::sapi
