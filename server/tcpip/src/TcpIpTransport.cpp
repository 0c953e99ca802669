#include "tcpip/TcpIpTransport.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "process/Environment.h"
#include "process/SystemFolders.h"

namespace orva::tcpip {
namespace {

class ToolLibrary final : public TcpIpLibrary {
public:
    explicit ToolLibrary(plc::S7Timeouts timeouts) : tool_(timeouts) {}
    int s7Open(const plc::PlcConnectionEntry* entries, int count) override
    {
        return tool_.open(entries, count);
    }
    int s7SelectPlc(int plcNumber, int side) override { return tool_.selectPlc(plcNumber, side); }
    int s7ReadBytes(int db, int count, int start, void* destination) override
    {
        return tool_.readBytes(db, count, start, destination);
    }
    int s7WriteBytes(int db, int count, int start, const void* source) override
    {
        return tool_.writeBytes(db, count, start, source);
    }
    void s7Close() override { tool_.close(); }
    int s7ErrorText(int code, char* buffer) override { return tool_.errorText(code, buffer); }

private:
    plc::TcpIpS7Tool tool_;
};

// Copies at most 15 characters and the terminating NUL into a 16-byte field.
void copyField(char (&field)[16], const std::string& text)
{
    const std::size_t n = std::min(text.size(), sizeof field - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

}  // namespace

std::unique_ptr<TcpIpLibrary> makeTcpIpLibrary(plc::S7Timeouts timeouts)
{
    return std::make_unique<ToolLibrary>(timeouts);
}

TcpIpLibraryFactory tcpIpLibraryFactory(plc::S7Timeouts timeouts)
{
    return [timeouts] { return makeTcpIpLibrary(timeouts); };
}

std::vector<plc::PlcConnectionEntry> buildConnectionTable(const core::PlcList& plcs)
{
    std::vector<plc::PlcConnectionEntry> table(plcs.size());
    for (std::size_t i = 0; i < plcs.size(); ++i) {
        const core::S7Plc& plc = *plcs.at(i);
        plc::PlcConnectionEntry& entry = table[i];
        std::memset(&entry, 0, sizeof entry);
        copyField(entry.address, plc.address);
        if (plc.addressB) copyField(entry.addressB, *plc.addressB);
        if (plc.source) {
            copyField(entry.source, *plc.source);
            entry.hasSource = 1;
        }
        if (plc.addressB && plc.sourceB) {
            copyField(entry.sourceB, *plc.sourceB);
            entry.hasSourceB = 1;
        }
        entry.cpuSlot = static_cast<uint8_t>(plc.cpuSlot & 0xFF);
        entry.rackNr = static_cast<uint8_t>(plc.rackNr & 0xFF);
    }
    return table;
}

std::string dataFilePathFor(const std::string& executablePath, const std::string& stateFolder)
{
    constexpr const char* name = "Tornel.dat";
    const std::string path = process::dataFilePath(name, executablePath, stateFolder);
    // The library takes the path in a buffer of fixed size; a longer one falls back to the name.
    return path.size() < plc::kS7DataFilePathCapacity ? path : name;
}

std::string tornelDataFilePath()
{
    return dataFilePathFor(process::currentExecutablePath(), process::stateFolder());
}

TcpIpTransport::TcpIpTransport(std::unique_ptr<TcpIpLibrary> library, std::string dataFilePath)
    : library_(std::move(library)), dataFilePath_(std::move(dataFilePath))
{
}

TcpIpTransport::TcpIpTransport(TcpIpLibraryFactory makeLibrary, std::string dataFilePath)
    : makeLibrary_(std::move(makeLibrary)), library_(makeLibrary_()), dataFilePath_(std::move(dataFilePath))
{
}

std::unique_ptr<core::PlcTransport> TcpIpTransport::connectionFor(const core::S7Plc&)
{
    // The context opens the whole table but is only ever asked for its own PLC, whose number
    // and record lines stay as they are without concurrent polling.
    if (!makeLibrary_) return nullptr;
    return std::make_unique<TcpIpTransport>(makeLibrary_(), dataFilePath_);
}

int TcpIpTransport::open(core::PlcList& plcs)
{
    auto table = buildConnectionTable(plcs);
    char path[plc::kS7DataFilePathCapacity] = {};
    std::memcpy(path, dataFilePath_.data(), std::min(dataFilePath_.size(), sizeof path - 1));
    library_->s7ErrorText(0, path);
    return library_->s7Open(table.data(), static_cast<int>(table.size()));
}

int TcpIpTransport::selectPlc(uint16_t plcNumber, uint16_t side)
{
    return library_->s7SelectPlc(plcNumber, side);
}

// The TCP/IP library takes the count before the start.
int TcpIpTransport::readBytes(uint16_t dataBlock, plc::ByteOffset start, plc::ByteCount count,
                              uint8_t* destination)
{
    return library_->s7ReadBytes(dataBlock, static_cast<int>(count.value), static_cast<int>(start.value),
                                 destination);
}

int TcpIpTransport::writeBytes(uint16_t dataBlock, plc::ByteOffset start, plc::ByteCount count,
                               const uint8_t* source)
{
    return library_->s7WriteBytes(dataBlock, static_cast<int>(count.value), static_cast<int>(start.value),
                                  source);
}

void TcpIpTransport::close()
{
    library_->s7Close();
}

std::string TcpIpTransport::errorText(int code)
{
    // Code 0 would hand the library a new data file path; there is no error to describe.
    if (code == 0) return {};
    char buffer[plc::kS7ErrorTextCapacity] = {};
    library_->s7ErrorText(code, buffer);
    buffer[sizeof buffer - 1] = '\0';
    return buffer;
}

}  // namespace orva::tcpip
