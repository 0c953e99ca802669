#include "mpi/MpiStations.h"

#include <algorithm>

#include "mpi/MpiErrorCodes.h"
#include "plc/S7ErrorCodes.h"

namespace orva::mpi {
namespace {

constexpr uint8_t kTableEnd[4] = {0, 0, 1, 0};

std::string messageOf(int code)
{
    const char* text = mpiErrorMessage(code);
    return text != nullptr ? text : "Unknown error";
}

}  // namespace

std::string MpiStations::portProblem() const
{
    const std::lock_guard lock(problemMutex_);
    return portProblem_;
}

std::string MpiStations::subject(int plcNumber) const
{
    const MpiStation& station = link_.stations()[static_cast<size_t>(plcNumber - firstPlc_)];
    return "PLC " + std::to_string(plcNumber) + " MPI " + std::to_string(station.address) + " slot " +
           std::to_string(station.slot);
}

int MpiStations::note(int plcNumber, int code, bool access)
{
    if (plcNumber < firstPlc_ || static_cast<size_t>(plcNumber - firstPlc_) >= records_.size()) return code;
    StationRecord& record = records_[static_cast<size_t>(plcNumber - firstPlc_)];
    if (code == 0 || isLinkLevel(code)) {
        if (record.connection != code) dataFile_.recordState(subject(plcNumber), code, messageOf(code));
        record.connection = code;
        if (code != 0) record.access = 0;
    } else if (record.access != code) {
        dataFile_.recordState(subject(plcNumber), code, messageOf(code));
        record.access = code;
    }
    // A selection says nothing about the accesses: only a successful one ends an access error.
    if (code == 0 && access) record.access = 0;
    return code;
}

int MpiStations::open(const LineSettings& line, uint8_t localAddress, int firstPlc, const uint8_t* stations)
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
    const int code = link_.open(line, localAddress, std::move(table));
    {
        const std::lock_guard lock(problemMutex_);
        portProblem_ = link_.portProblem();
    }
    if (code != adapterRecord_) {
        std::string message = messageOf(code);
        if (code == kMpiPortError) message += ": " + link_.portProblem();
        dataFile_.recordState("adapter on " + devicePathFor(line.port) + " (" +
                                  describeLine(line.baudrate, line.dataBits, line.parity, line.stopBits) +
                                  ")",
                              code, message);
        adapterRecord_ = code;
    }
    return code;
}

int MpiStations::select(int plcNumber)
{
    const int code = note(plcNumber, link_.select(plcNumber - firstPlc_ + 1), false);
    if (code == kMpiPortError) {
        const std::lock_guard lock(problemMutex_);
        portProblem_ = link_.portProblem();
    }
    return code;
}

int MpiStations::read(int dataBlock, int startByte, int byteCount, void* destination)
{
    if (destination == nullptr || byteCount < 1 || byteCount > kMpiMaxReadCount || dataBlock < 0 ||
        dataBlock > 0xFFFF || startByte < 0 || startByte > 0xFFFF)
        return plc::kS7BadArgument;
    const int code =
        link_.read(static_cast<uint16_t>(dataBlock), static_cast<uint16_t>(startByte),
                   std::span<uint8_t>(static_cast<uint8_t*>(destination), static_cast<size_t>(byteCount)));
    return note(link_.selected() + firstPlc_ - 1, code, true);
}

int MpiStations::write(int dataBlock, int startByte, int byteCount, const void* source)
{
    if (source == nullptr || byteCount < 1 || byteCount > kMpiMaxWriteCount || dataBlock < 0 ||
        dataBlock > 0xFFFF || startByte < 0 || startByte > 0xFFFF)
        return plc::kS7BadArgument;
    const int code = link_.write(
        static_cast<uint16_t>(dataBlock), static_cast<uint16_t>(startByte),
        std::span<const uint8_t>(static_cast<const uint8_t*>(source), static_cast<size_t>(byteCount)));
    return note(link_.selected() + firstPlc_ - 1, code, true);
}

}  // namespace orva::mpi
