#include "plc/TcpIpS7Tool.h"

#include <cstdio>
#include <new>

#include "plc/CommunicationRecord.h"
#include "plc/S7Protocol.h"

namespace orva::plc {
namespace {

// Copies a text field that should be NUL-terminated but may not be (the caller does not clear
// unused fields), never reading past its 16 bytes.
std::string fieldText(const char (&field)[16])
{
    return std::string(field, ::strnlen(field, sizeof field));
}

bool validNumber(int value)
{
    return value >= 0 && value <= 0xFFFF;
}

}  // namespace

TcpIpS7Tool::TcpIpS7Tool(S7Timeouts timeouts)
    : timeouts_(timeouts), record_(std::make_unique<CommunicationRecord>())
{
}

TcpIpS7Tool::~TcpIpS7Tool() = default;

int TcpIpS7Tool::open(const PlcConnectionEntry* entries, int count)
{
    close();
    // PLC numbers travel as 16-bit values, which bounds the table.
    if (count < 0 || count > 0xFFFF || (count > 0 && entries == nullptr)) return kS7NotOpen;
    try {
        copyTable(entries, count);
    } catch (const std::bad_alloc&) {
        close();
        return kS7NotOpen;
    }
    open_ = true;
    return kS7Ok;
}

void TcpIpS7Tool::copyTable(const PlcConnectionEntry* entries, int count)
{
    plcs_.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const PlcConnectionEntry& entry = entries[i];
        Plc& plc = plcs_[static_cast<size_t>(i)];
        plc.rack = entry.rackNr;
        plc.slot = entry.cpuSlot;
        for (int side = 0; side < 2; ++side) {
            auto s = std::make_unique<Side>();
            s->client = S7Client(timeouts_);
            s->address = fieldText(side == 0 ? entry.address : entry.addressB);
            s->hasSource = (side == 0 ? entry.hasSource : entry.hasSourceB) == 1;
            if (s->hasSource) s->source = fieldText(side == 0 ? entry.source : entry.sourceB);
            plc.sides[side] = std::move(s);
        }
    }
}

void TcpIpS7Tool::close()
{
    for (Plc& plc : plcs_) {
        for (auto& side : plc.sides) {
            if (side) side->client.close();
        }
    }
    plcs_.clear();
    open_ = false;
    selectedPlc_ = 0;
    selectedSide_ = 0;
}

int TcpIpS7Tool::note(int plcNumber, int side, int code)
{
    // The record holds changes, not every call: a connection's state when it changes (failed
    // with a new code, or connected), and a new access error once until it changes or the
    // connection is made again.
    Side& s = *plcs_[static_cast<size_t>(plcNumber - 1)].sides[side];
    if (isConnectionLevel(code) || s.lastConnection != kS7Ok) {
        if (isConnectionLevel(code) ? code != s.lastConnection : code == kS7Ok) {
            record_->record(plcNumber, side, s.address, code);
            s.lastConnection = code;
            s.lastAccess = kS7Ok;
        }
    } else if (code != kS7Ok && code != s.lastAccess) {
        record_->record(plcNumber, side, s.address, code);
        s.lastAccess = code;
    }
    return code;
}

int TcpIpS7Tool::connectSide(int plcNumber, int side)
{
    const Plc& plc = plcs_[static_cast<size_t>(plcNumber - 1)];
    Side& s = *plc.sides[side];
    if (s.client.checkAlive()) return kS7Ok;
    if (side == 1 && s.address.empty()) return kS7NoAddressB;
    S7Target target;
    target.rack = plc.rack;
    target.slot = plc.slot;
    if (!parseEndpoint(s.address, s7::kDefaultPort, target.remote))
        return note(plcNumber, side, kS7BadAddress);
    if (s.hasSource) {
        sockaddr_in local{};
        // The source names a local interface; the system picks the local port.
        if (!parseEndpoint(s.source, 0, local) || local.sin_port != 0)
            return note(plcNumber, side, kS7BadSource);
        target.source = local;
    }
    return note(plcNumber, side, s.client.connect(target));
}

int TcpIpS7Tool::selectPlc(int plcNumber, int addressSelector)
{
    if (!open_) return kS7NotOpen;
    selectedPlc_ = 0;
    if (plcNumber < 1 || static_cast<size_t>(plcNumber) > plcs_.size()) return kS7BadPlcNumber;
    if (addressSelector != 0 && addressSelector != 1) return kS7BadSelector;
    const int code = connectSide(plcNumber, addressSelector);
    if (code != kS7Ok) return code;
    selectedPlc_ = plcNumber;
    selectedSide_ = addressSelector;
    return kS7Ok;
}

int TcpIpS7Tool::access(int code)
{
    // Access errors are noted too; a connection error has already closed the connection, and
    // the next access or selection connects again.
    return note(selectedPlc_, selectedSide_, code);
}

int TcpIpS7Tool::readBytes(int dataBlock, int byteCount, int startByte, void* destination)
{
    if (!open_) return kS7NotOpen;
    if (selectedPlc_ == 0) return kS7NoPlcSelected;
    if (!validNumber(dataBlock) || dataBlock == 0 || byteCount < 1 || byteCount > kS7MaxReadCount ||
        !validNumber(startByte) || destination == nullptr) {
        return kS7BadArgument;
    }
    if (const int code = connectSide(selectedPlc_, selectedSide_); code != kS7Ok) return code;
    Side& side = *plcs_[static_cast<size_t>(selectedPlc_ - 1)].sides[selectedSide_];
    return access(
        side.client.readBytes(static_cast<uint16_t>(dataBlock), static_cast<uint32_t>(startByte),
                              {static_cast<uint8_t*>(destination), static_cast<size_t>(byteCount)}));
}

int TcpIpS7Tool::writeBytes(int dataBlock, int byteCount, int startByte, const void* source)
{
    if (!open_) return kS7NotOpen;
    if (selectedPlc_ == 0) return kS7NoPlcSelected;
    if (!validNumber(dataBlock) || dataBlock == 0 || byteCount < 1 || byteCount > kS7MaxWriteCount ||
        !validNumber(startByte) || source == nullptr) {
        return kS7BadArgument;
    }
    if (const int code = connectSide(selectedPlc_, selectedSide_); code != kS7Ok) return code;
    Side& side = *plcs_[static_cast<size_t>(selectedPlc_ - 1)].sides[selectedSide_];
    return access(
        side.client.writeBytes(static_cast<uint16_t>(dataBlock), static_cast<uint32_t>(startByte),
                               {static_cast<const uint8_t*>(source), static_cast<size_t>(byteCount)}));
}

int TcpIpS7Tool::errorText(int code, char* buffer)
{
    if (buffer == nullptr) return kS7BadArgument;
    if (code == 0) {
        record_->setPath(std::string(buffer, ::strnlen(buffer, kS7DataFilePathCapacity - 1)));
        return kS7Ok;
    }
    const char* text = s7ErrorMessage(code);
    if (text != nullptr) {
        std::snprintf(buffer, kS7ErrorTextCapacity, "%s", text);
    } else {
        std::snprintf(buffer, kS7ErrorTextCapacity, "Unknown error %d", code);
    }
    return kS7Ok;
}

int TcpIpS7Tool::connectionCount() const
{
    int count = 0;
    for (const Plc& plc : plcs_) {
        for (const auto& side : plc.sides)
            count += side && side->client.connected() ? 1 : 0;
    }
    return count;
}

namespace {
TcpIpS7Tool& library()
{
    static TcpIpS7Tool instance;
    return instance;
}
}  // namespace

int s7Open(const PlcConnectionEntry* entries, int count)
{
    return library().open(entries, count);
}
int s7SelectPlc(int plcNumber, int addressSelector)
{
    return library().selectPlc(plcNumber, addressSelector);
}
int s7ReadBytes(int dataBlock, int byteCount, int startByte, void* destination)
{
    return library().readBytes(dataBlock, byteCount, startByte, destination);
}
int s7WriteBytes(int dataBlock, int byteCount, int startByte, const void* source)
{
    return library().writeBytes(dataBlock, byteCount, startByte, source);
}
void s7Close()
{
    library().close();
}
int s7ErrorText(int code, char* buffer)
{
    return library().errorText(code, buffer);
}

}  // namespace orva::plc
