#pragma once
// Vardel's transport: the PLCs of the configuration reached through the connections of one
// SAPI-S7 interface, each PLC by the connection of its name.
//
// The library is event-driven; each step waits for its confirmation in a bounded number of
// polls, each poll waiting for an event for a few milliseconds and returning as soon as one is
// there: a connect 100 polls of 5 ms, a read 200 of 5 ms, a write 100 of 10 ms. A partner
// silent for all polls costs about 0.5 s, 1 s and 1 s; its connection is aborted and the step
// fails with 124. Status codes: 0 success, 124 no answer in time, -2 no device on the
// interface or an unexpected event, any other the library's last error number.
//
// End of a polling cycle with an error: codes 120 to 124 and -2 move the polling on to the next
// PLC and give every tag of the PLC the error's quality; every code but 124 closes the
// interface and opens it again after 10 ms, and so does 124 when no connection is left.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/PlcTransport.h"
#include "core/TransportSettings.h"
#include "sapi/SapiLibrary.h"

namespace orva::sapi {

inline constexpr int kNoAnswer = 124;
inline constexpr int kNoDevice = -2;

inline constexpr int kConnectPolls = 100;
inline constexpr int kConnectPollMs = 5;
inline constexpr int kReadPolls = 200;
inline constexpr int kReadPollMs = 5;
inline constexpr int kWritePolls = 100;
inline constexpr int kWritePollMs = 10;
// Pause between closing the interface and opening it again.
inline constexpr uint32_t kReopenPauseMs = 10;
// A call the library answers with -1 ("busy") is repeated at once, at most this often.
inline constexpr int kBusyRetries = 1000;

class SapiAccess final : public core::PlcTransport {
public:
    explicit SapiAccess(std::unique_ptr<SapiLibrary> library, std::string interfaceName = {});

    void setInterfaceName(std::string name) { interfaceName_ = std::move(name); }
    const std::string& interfaceName() const { return interfaceName_; }

    // The transport operations of the communication thread.
    int open(core::PlcList& plcs) override;
    int selectPlc(uint16_t plcNumber, uint16_t side) override;
    int readBytes(uint16_t dataBlock, plc::ByteOffset, plc::ByteCount, uint8_t* destination) override;
    int writeBytes(uint16_t dataBlock, plc::ByteOffset, plc::ByteCount, const uint8_t* source) override;
    void close() override { closeInterface(); }
    bool isConnectionLevel(int code) const override { return code != 0 && code != kNoAnswer; }
    bool leavesPlc(int code) const override { return (code >= 120 && code <= 124) || code == kNoDevice; }
    // Access errors count as connection-level here, yet a bad address leaves the PLC reachable:
    // only a silent partner and the connection failures numbered as the TCP/IP library's are.
    bool meansUnreachable(int code) const override { return code == kNoAnswer || (code > 0 && code < 64); }
    Recovery recoveryAfter(int code, bool mustReopen) const override;
    std::string errorText(int code) override;

    // The steps themselves, by PLC count and connection name.
    int openInterface(uint16_t plcCount);
    int select(const std::string& connectionName, uint16_t plcNumber);
    int closeInterface();
    bool anyConnected() const;

    uint32_t descriptor() const { return descriptor_; }
    uint16_t connectionRef() const { return connectionRef_; }
    const std::vector<uint8_t>& connected() const { return connected_; }

private:
    // The library's last error number after a failed call; a failure without a number is
    // reported as -2, never as success.
    int failure() const
    {
        const int error = library_->sapiLastError() & 0xFFFF;
        return error != 0 ? error : kNoDevice;
    }
    // The event that ends the wait for a confirmation, or 0 when all polls passed without one.
    int pollEvent(int polls, int pollMs);
    // The outcome of an event other than the awaited confirmation: an abort indication or a
    // failed receive give the library's error, anything else is discarded as unexpected (-2).
    int otherEvent(int event);
    // The end of a connection that did not answer in time.
    int abortSilent();
    void setConnected(uint16_t index, uint8_t value);

    std::unique_ptr<SapiLibrary> library_;
    std::string interfaceName_;
    std::vector<std::string> plcNames_;  // connection names by PLC number - 1
    uint32_t descriptor_ = 0;
    uint16_t connectionRef_ = 0;
    std::vector<uint8_t> connected_;
    uint16_t currentIndex_ = 0;
    uint8_t receiveBuffer_[sapis7::kReceiveBufferSize] = {};
};

// Hands the configuration's interface name to the transport made later.
class InterfaceNameSettings final : public core::TransportSettings {
public:
    explicit InterfaceNameSettings(std::shared_ptr<std::string> target) : target_(std::move(target)) {}
    void setInterfaceName(const std::string& name) override { *target_ = name; }
    void openSerialPort(const core::SerialSettings&) override {}

private:
    std::shared_ptr<std::string> target_;
};

}  // namespace orva::sapi
