#pragma once
// Tornel's binding of the communication thread to the TCP/IP S7 access library: the connection
// table built from the PLC list, the data file handed to the library before every opening, the
// library's six operations and its reading of status codes (below 64: the connection).

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/PlcList.h"
#include "core/PlcTransport.h"
#include "plc/TcpIpS7Tool.h"

namespace orva::tcpip {

// The six operations of the access library, as the server calls them.
class TcpIpLibrary {
public:
    virtual ~TcpIpLibrary() = default;
    virtual int s7Open(const plc::PlcConnectionEntry* entries, int count) = 0;
    virtual int s7SelectPlc(int plcNumber, int addressSelector) = 0;
    virtual int s7ReadBytes(int dataBlock, int byteCount, int startByte, void* destination) = 0;
    virtual int s7WriteBytes(int dataBlock, int byteCount, int startByte, const void* source) = 0;
    virtual void s7Close() = 0;
    // Thread-safe; code 0 hands over the data file path in buffer.
    virtual int s7ErrorText(int code, char* buffer) = 0;
};

// One instance of the library of its own (several servers may live in one process).
std::unique_ptr<TcpIpLibrary> makeTcpIpLibrary(plc::S7Timeouts timeouts = {});
// Makes library instances: one per PLC when the PLCs are polled concurrently.
using TcpIpLibraryFactory = std::function<std::unique_ptr<TcpIpLibrary>()>;
TcpIpLibraryFactory tcpIpLibraryFactory(plc::S7Timeouts timeouts = {});

// The connection table, one entry per PLC in list order.
std::vector<plc::PlcConnectionEntry> buildConnectionTable(const core::PlcList& plcs);

// "Tornel.dat" in the directory of the running executable, or in the state folder
// (/var/lib/orva) when the server may not write beside its executable; the bare name when the
// executable's path cannot be found (the library then resolves it against the current directory).
std::string tornelDataFilePath();
// The data file path for an executable path ("" when unknown) and a state folder.
std::string dataFilePathFor(const std::string& executablePath, const std::string& stateFolder = {});

class TcpIpTransport final : public core::PlcTransport {
public:
    // Every PLC polled in turn through this one library instance.
    explicit TcpIpTransport(std::unique_ptr<TcpIpLibrary> library = makeTcpIpLibrary(),
                            std::string dataFilePath = tornelDataFilePath());
    // Every PLC polled on its own through a library instance of its own (each PLC has its own
    // TCP connection anyway), so that a slow PLC never holds up the others.
    TcpIpTransport(TcpIpLibraryFactory makeLibrary, std::string dataFilePath);

    int open(core::PlcList& plcs) override;
    int selectPlc(uint16_t plcNumber, uint16_t side) override;
    int readBytes(uint16_t dataBlock, plc::ByteOffset, plc::ByteCount, uint8_t* destination) override;
    int writeBytes(uint16_t dataBlock, plc::ByteOffset, plc::ByteCount, const uint8_t* source) override;
    void close() override;
    bool isConnectionLevel(int code) const override { return code != 0 && code < 64; }
    std::string errorText(int code) override;
    bool pollsConcurrently() const override { return static_cast<bool>(makeLibrary_); }
    std::unique_ptr<core::PlcTransport> connectionFor(const core::S7Plc& plc) override;

    const std::string& dataFilePath() const noexcept { return dataFilePath_; }

private:
    TcpIpLibraryFactory makeLibrary_;
    std::unique_ptr<TcpIpLibrary> library_;
    std::string dataFilePath_;
};

}  // namespace orva::tcpip
