#include "mpi/MpiS7Tool.h"

#include <algorithm>
#include <cstring>

#include "mpi/MpiErrorCodes.h"
#include "plc/S7ErrorCodes.h"

namespace mpi {
namespace {

constexpr uint8_t kTableEnd[4] = {0, 0, 1, 0};

void copyText(char* buffer, size_t capacity, const std::string& text)
{
    const size_t n = std::min(text.size(), capacity - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

}  // namespace

MpiS7Tool::MpiS7Tool(LinkTimeouts timeouts) : link_(timeouts) {}

void MpiS7Tool::setSerial(const char* com, int baudrate, int dataBits, int parity, int stopBits, int master)
{
    if (com != nullptr) line_.port = com;
    line_.baudrate = static_cast<uint32_t>(baudrate);
    line_.dataBits = static_cast<uint8_t>(dataBits);
    line_.parity = parity == 0 ? Parity::None : parity == 2 ? Parity::Even : Parity::Odd;
    line_.stopBits = stopBits == 0 ? 1 : 2;
    localAddress_ = static_cast<uint8_t>(master);
}

std::string MpiS7Tool::subject(int plcNumber) const
{
    const size_t index = static_cast<size_t>(plcNumber - firstPlc_);
    const MpiStation& station = link_.stations()[index];
    return "PLC " + std::to_string(plcNumber) + " MPI " + std::to_string(station.address) + " slot " +
           std::to_string(station.slot);
}

int MpiS7Tool::note(int plcNumber, int code, bool access)
{
    if (plcNumber < firstPlc_ || static_cast<size_t>(plcNumber - firstPlc_) >= records_.size()) return code;
    StationRecord& record = records_[static_cast<size_t>(plcNumber - firstPlc_)];
    const char* text = mpiErrorMessage(code);
    const std::string message = text != nullptr ? text : "Unknown error";
    if (code == 0 || isLinkLevel(code)) {
        if (record.connection != code) dataFile_.recordState(subject(plcNumber), code, message);
        record.connection = code;
        if (code != 0) record.access = 0;
    } else if (record.access != code) {
        dataFile_.recordState(subject(plcNumber), code, message);
        record.access = code;
    }
    // A selection says nothing about the accesses: only a successful one ends an access error.
    if (code == 0 && access) record.access = 0;
    return code;
}

int MpiS7Tool::open(int firstPlc, int /*reserved*/, const uint8_t* stations)
{
    link_.close();
    if (stations == nullptr || firstPlc < 1) return plc::kS7BadArgument;
    std::vector<MpiStation> table;
    for (int i = 0;; ++i) {
        if (i > kMpiMaxStations) return plc::kS7BadArgument;
        const uint8_t* entry = stations + 4 * i;
        if (std::equal(entry, entry + 4, kTableEnd)) break;
        table.push_back(MpiStation{entry[0], entry[2]});
    }
    firstPlc_ = firstPlc;
    records_.assign(table.size(), StationRecord{});
    const int code = link_.open(line_, localAddress_, std::move(table));
    {
        const std::lock_guard lock(textMutex_);
        portProblem_ = link_.portProblem();
    }
    if (code != adapterRecord_) {
        const char* text = mpiErrorMessage(code);
        std::string message = text != nullptr ? text : "Unknown error";
        if (code == kMpiPortError) message += ": " + link_.portProblem();
        dataFile_.recordState("adapter on " + devicePathFor(line_.port) + " (" +
                                  describeLine(line_.baudrate, line_.dataBits, line_.parity, line_.stopBits) +
                                  ")",
                              code, message);
        adapterRecord_ = code;
    }
    return code;
}

void MpiS7Tool::close()
{
    link_.close();
}

int MpiS7Tool::selectPlc(int plcNumber)
{
    return note(plcNumber, link_.select(plcNumber - firstPlc_ + 1), false);
}

int MpiS7Tool::readBytes(int dataBlock, int startByte, int byteCount, void* destination)
{
    if (destination == nullptr || byteCount < 1 || byteCount > kMpiMaxReadCount || dataBlock < 0 ||
        dataBlock > 0xFFFF || startByte < 0 || startByte > 0xFFFF)
        return plc::kS7BadArgument;
    const int code =
        link_.read(static_cast<uint16_t>(dataBlock), static_cast<uint16_t>(startByte),
                   std::span<uint8_t>(static_cast<uint8_t*>(destination), static_cast<size_t>(byteCount)));
    return note(link_.selected() + firstPlc_ - 1, code, true);
}

int MpiS7Tool::writeBytes(int dataBlock, int startByte, int byteCount, const void* source)
{
    if (source == nullptr || byteCount < 1 || byteCount > kMpiMaxWriteCount || dataBlock < 0 ||
        dataBlock > 0xFFFF || startByte < 0 || startByte > 0xFFFF)
        return plc::kS7BadArgument;
    const int code = link_.write(
        static_cast<uint16_t>(dataBlock), static_cast<uint16_t>(startByte),
        std::span<const uint8_t>(static_cast<const uint8_t*>(source), static_cast<size_t>(byteCount)));
    return note(link_.selected() + firstPlc_ - 1, code, true);
}

int MpiS7Tool::errorText(int code, char* buffer)
{
    if (buffer == nullptr) return plc::kS7BadArgument;
    if (code == 0) {
        const size_t n = strnlen(buffer, kMpiDataFilePathCapacity);
        dataFile_.setPath(std::string(buffer, n < kMpiDataFilePathCapacity ? n : 0));
        return 0;
    }
    const char* text = mpiErrorMessage(code);
    std::string message = text != nullptr ? text : "Unknown error " + std::to_string(code);
    if (code == kMpiPortError) {
        const std::lock_guard lock(textMutex_);
        if (!portProblem_.empty()) message += ": " + portProblem_;
    }
    copyText(buffer, kMpiErrorTextCapacity, message);
    return 0;
}

}  // namespace mpi
