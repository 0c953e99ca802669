#pragma once
// The binding of the communication thread to an MPI access library (Lorvik's serial-MPI
// library; Pennat's libraries present the same operations): the station table built from the
// PLC list, the data file handed over before every opening, start byte before count in reads and
// writes, and the five connection-level codes.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/PlcList.h"
#include "core/PlcTransport.h"
#include "core/TransportSettings.h"

namespace orva::mpie {

// The operations of an MPI access library, as the server calls them.
class MpiLibrary {
public:
    virtual ~MpiLibrary() = default;
    virtual int mpiOpen(int firstPlc, int reserved, const uint8_t* stations) = 0;
    virtual void mpiClose() = 0;
    virtual int mpiSelectPlc(int plcNumber) = 0;
    virtual int mpiReadBytes(int dataBlock, int startByte, int byteCount, void* destination) = 0;
    virtual int mpiWriteBytes(int dataBlock, int startByte, int byteCount, const void* source) = 0;
    // Thread-safe; code 0 hands over the data file path in buffer.
    virtual int mpiErrorText(int code, char* buffer) = 0;
    // Capacity of the buffer mpiErrorText fills.
    virtual size_t errorTextCapacity() const = 0;
};

// Lorvik's library: the MPI operations and the serial settings of the configuration file.
class SerialMpiLibrary : public MpiLibrary {
public:
    virtual void mpiSetSerial(const char* com, int baudrate, int dataBits, int parity, int stopBits,
                              int master) = 0;
};

std::shared_ptr<SerialMpiLibrary> makeLorvikLibrary();

// 4 bytes per PLC in list order (low byte of the MPI address, 0, low byte of the CPU slot, 0),
// then the end entry 0, 0, 1, 0.
std::vector<uint8_t> buildStationTable(const core::PlcList& plcs);

// Where the data file called name lies: beside the executable at executablePath when the server
// may write there, else in the state folder; the bare name when the path would not fit the
// library's buffer.
std::string dataFilePathFor(const std::string& name, const std::string& executablePath,
                            const std::string& stateFolder);
// The same for the running executable and the machine's state folder.
std::string dataFileBesideExecutable(const std::string& name);

class MpiTransport final : public core::PlcTransport {
public:
    MpiTransport(std::shared_ptr<MpiLibrary> library, std::string dataFilePath);

    int open(core::PlcList& plcs) override;
    int selectPlc(uint16_t plcNumber, uint16_t side) override;
    int readBytes(uint16_t dataBlock, plc::ByteOffset, plc::ByteCount, uint8_t* destination) override;
    int writeBytes(uint16_t dataBlock, plc::ByteOffset, plc::ByteCount, const uint8_t* source) override;
    void close() override;
    bool isConnectionLevel(int code) const override;
    std::string errorText(int code) override;

    const std::string& dataFilePath() const noexcept { return dataFilePath_; }

private:
    std::shared_ptr<MpiLibrary> library_;
    std::string dataFilePath_;
};

// Hands the SETTINGS of a Lorvik file to the library while the file is loaded.
class SerialSettingsSink final : public core::TransportSettings {
public:
    explicit SerialSettingsSink(std::shared_ptr<SerialMpiLibrary> library) : library_(std::move(library)) {}
    void setInterfaceName(const std::string&) override {}
    void openSerialPort(const core::SerialSettings& settings) override;

private:
    std::shared_ptr<SerialMpiLibrary> library_;
};

}  // namespace orva::mpie
