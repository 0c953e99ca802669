#include "mpie/MpiTransport.h"

#include <algorithm>
#include <cstring>

#include "core/S7Plc.h"
#include "mpi/MpiErrorCodes.h"
#include "mpi/MpiS7Tool.h"
#include "process/Environment.h"
#include "process/SystemFolders.h"

namespace orva::mpie {
namespace {

class LorvikLibrary final : public SerialMpiLibrary {
public:
    void mpiSetSerial(const char* com, int baudrate, int dataBits, int parity, int stopBits,
                      int master) override
    {
        tool_.setSerial(com, baudrate, dataBits, parity, stopBits, master);
    }
    int mpiOpen(int firstPlc, int reserved, const uint8_t* stations) override
    {
        return tool_.open(firstPlc, reserved, stations);
    }
    void mpiClose() override { tool_.close(); }
    int mpiSelectPlc(int plcNumber) override { return tool_.selectPlc(plcNumber); }
    int mpiReadBytes(int dataBlock, int startByte, int byteCount, void* destination) override
    {
        return tool_.readBytes(dataBlock, startByte, byteCount, destination);
    }
    int mpiWriteBytes(int dataBlock, int startByte, int byteCount, const void* source) override
    {
        return tool_.writeBytes(dataBlock, startByte, byteCount, source);
    }
    int mpiErrorText(int code, char* buffer) override { return tool_.errorText(code, buffer); }
    size_t errorTextCapacity() const override { return mpi::kMpiErrorTextCapacity; }

private:
    mpi::MpiS7Tool tool_;
};

}  // namespace

std::shared_ptr<SerialMpiLibrary> makeLorvikLibrary()
{
    return std::make_shared<LorvikLibrary>();
}

std::vector<uint8_t> buildStationTable(const core::PlcList& plcs)
{
    std::vector<uint8_t> table;
    table.reserve(4 * (plcs.size() + 1));
    for (std::size_t i = 0; i < plcs.size(); ++i) {
        const core::S7Plc& plc = *plcs.at(i);
        table.insert(table.end(), {static_cast<uint8_t>(plc.mpiAddress & 0xFF), 0,
                                   static_cast<uint8_t>(plc.cpuSlot & 0xFF), 0});
    }
    table.insert(table.end(), {0, 0, 1, 0});
    return table;
}

std::string dataFilePathFor(const std::string& name, const std::string& executablePath,
                            const std::string& stateFolder)
{
    const std::string path = process::dataFilePath(name, executablePath, stateFolder);
    return path.size() < mpi::kMpiDataFilePathCapacity ? path : name;
}

std::string dataFileBesideExecutable(const std::string& name)
{
    return dataFilePathFor(name, process::currentExecutablePath(), process::stateFolder());
}

MpiTransport::MpiTransport(std::shared_ptr<MpiLibrary> library, std::string dataFilePath)
    : library_(std::move(library)), dataFilePath_(std::move(dataFilePath))
{
}

int MpiTransport::open(core::PlcList& plcs)
{
    const std::vector<uint8_t> table = buildStationTable(plcs);
    char path[mpi::kMpiDataFilePathCapacity] = {};
    std::memcpy(path, dataFilePath_.data(), std::min(dataFilePath_.size(), sizeof path - 1));
    library_->mpiErrorText(0, path);
    return library_->mpiOpen(1, 0, table.data());
}

int MpiTransport::selectPlc(uint16_t plcNumber, uint16_t /*side*/)
{
    return library_->mpiSelectPlc(plcNumber & 0xFF);
}

int MpiTransport::readBytes(uint16_t dataBlock, plc::ByteOffset start, plc::ByteCount count,
                            uint8_t* destination)
{
    return library_->mpiReadBytes(dataBlock, static_cast<int>(start.value), static_cast<int>(count.value),
                                  destination);
}

int MpiTransport::writeBytes(uint16_t dataBlock, plc::ByteOffset start, plc::ByteCount count,
                             const uint8_t* source)
{
    return library_->mpiWriteBytes(dataBlock, static_cast<int>(start.value), static_cast<int>(count.value),
                                   source);
}

void MpiTransport::close()
{
    library_->mpiClose();
}

bool MpiTransport::isConnectionLevel(int code) const
{
    return mpi::isLinkLevel(code);
}

std::string MpiTransport::errorText(int code)
{
    // Code 0 would hand the library a new data file path; there is no error to describe.
    if (code == 0) return {};
    std::vector<char> buffer(library_->errorTextCapacity(), '\0');
    library_->mpiErrorText(code, buffer.data());
    buffer.back() = '\0';
    return buffer.data();
}

void SerialSettingsSink::openSerialPort(const core::SerialSettings& settings)
{
    library_->mpiSetSerial(settings.com.c_str(), static_cast<int>(settings.baudrate), settings.databits,
                           settings.parity, settings.stopbits, settings.master);
}

}  // namespace orva::mpie
