#pragma once
// The tags of one PLC of a server configuration file, read with the server's own loader, so that
// the simulator lays out its data blocks exactly as the server will read them.
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/ValueConversion.h"

namespace orva::plcsim {

struct ConfigTag {
    std::string itemId;  // as clients see it, e.g. "Line1.DRIVES.Speed"
    uint16_t dataBlock = 0;
    uint16_t dataByte = 0;
    orva::core::TagLayout layout;
    bool writable = false;  // the access rights include writing
};

struct ConfigPlc {
    std::string name;
    std::string address;      // as the file gives it, e.g. "127.0.0.1:10102"
    uint16_t mpiAddress = 0;  // Lorvik and Pennat files
    uint16_t cpuSlot = 0;
    std::vector<ConfigTag> tags;
    // Every data block the tags touch, sized to hold the furthest of them.
    std::map<uint16_t, size_t> dataBlocks;
    // Tags the server never reads (unsupported type, data block 0): listed, not simulated.
    std::vector<std::string> skipped;
};

// Which PLC of the file to simulate: the one named plcName; without a name, the one whose
// address is endpoint ("ip:port"; an address without port means port 102), else the first.
struct PlcChoice {
    std::string plcName;
    std::string endpoint;
};

// Loads a Tornel or Vardel configuration file (a Vardel file's PLC addresses come from the
// connection database of its interface; "" for a PLC without a connection there). False with the reason in error when the file configures no
// PLC or the named PLC is missing. The loader's warnings (skipped elements) go to warnings.
bool loadConfigPlc(const std::filesystem::path& path, const PlcChoice& choice, ConfigPlc& plc,
                   std::string& error, std::vector<std::string>* warnings = nullptr);
// The same for the file's bytes.
bool loadConfigPlcFromMemory(std::string_view bytes, const PlcChoice& choice, ConfigPlc& plc,
                             std::string& error, std::vector<std::string>* warnings = nullptr);

// Every PLC of a Lorvik or Pennat file (MPI address and slot, tags), in file order. False with
// the reason in error when the file configures no PLC.
bool loadConfigStations(const std::filesystem::path& path, std::vector<ConfigPlc>& plcs, std::string& error,
                        std::vector<std::string>* warnings = nullptr);

// "DB10.DBW0", "DB10.DBX6.1", "DB10.DBB20[16]" style address of a tag, for listings.
std::string describeAddress(const ConfigTag& tag);

}  // namespace orva::plcsim
