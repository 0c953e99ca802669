#include "plcsim/ConfigTags.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <sstream>

#include "ConfigAddresses.h"
#include "core/ConfigLoader.h"
#include "core/S7Plc.h"
#include "core/S7Tag.h"
#include "opc/SODaSEntry.h"

namespace orva::plcsim {
namespace {

using orva::core::S7Plc;
using orva::core::S7Tag;

class CollectingOwner : public orva::core::OwnerWindow {
public:
    explicit CollectingOwner(std::vector<std::string>* warnings) : warnings_(warnings) {}
    void showWarning(std::string_view text, std::string_view caption) override
    {
        if (warnings_ == nullptr) return;
        std::string line(caption);
        line += ": ";
        line += text;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        warnings_->push_back(std::move(line));
    }

private:
    std::vector<std::string>* warnings_;
};

// "127.0.0.1" and "127.0.0.1:102" name the same PLC.
std::string withPort(const std::string& address)
{
    return address.find(':') == std::string::npos ? address + ":102" : address;
}

// Keeps the interface name a Vardel file hands to its transport.
class InterfaceName : public orva::core::TransportSettings {
public:
    std::string name;
    void setInterfaceName(const std::string& value) override { name = value; }
    void openSerialPort(const orva::core::SerialSettings&) override {}
};

void collectTags(const opc::SODaSNode& node, std::vector<S7Tag*>& tags)
{
    for (const auto& leaf : node.getLeaves()) {
        if (auto* tag = dynamic_cast<S7Tag*>(leaf.get())) tags.push_back(tag);
    }
    for (const auto& branch : node.getBranches())
        collectTags(*branch, tags);
}

S7Plc* choosePlc(const orva::core::PlcList& plcs, const PlcChoice& choice, std::string& error)
{
    if (plcs.size() == 0) {
        error = "the configuration holds no PLC";
        return nullptr;
    }
    if (!choice.plcName.empty()) {
        for (std::size_t i = 0; i < plcs.size(); ++i) {
            if (plcs.at(i)->name == choice.plcName) return plcs.at(i);
        }
        error = "the configuration holds no PLC named " + choice.plcName;
        return nullptr;
    }
    for (std::size_t i = 0; i < plcs.size(); ++i) {
        if (!choice.endpoint.empty() && withPort(plcs.at(i)->address) == withPort(choice.endpoint))
            return plcs.at(i);
    }
    return plcs.at(0);
}

// The tags of one loaded PLC, and the data blocks they touch.
ConfigPlc describePlc(const opc::SODaSNode& root, const S7Plc& chosen)
{
    ConfigPlc plc;
    plc.name = chosen.name;
    plc.address = chosen.address;
    plc.mpiAddress = chosen.mpiAddress;
    plc.cpuSlot = chosen.cpuSlot;
    std::vector<S7Tag*> tags;
    collectTags(root, tags);
    for (S7Tag* tag : tags) {
        if (tag->plc.get() != &chosen) continue;
        ConfigTag simulated{tag->getItemID(), tag->dataBlock, tag->dataByte, orva::core::layoutOf(*tag),
                            (tag->getAccessRights() & opc::OPC_WRITEABLE) != 0};
        const std::size_t length = orva::core::tagByteLength(simulated.layout);
        if (length == 0 || simulated.dataBlock == 0) {
            plc.skipped.push_back(simulated.itemId);
            continue;
        }
        size_t& size = plc.dataBlocks[simulated.dataBlock];
        size = std::max(size, size_t{simulated.dataByte} + length);
        plc.tags.push_back(std::move(simulated));
    }
    return plc;
}

}  // namespace

bool loadConfigPlcFromMemory(std::string_view bytes, const PlcChoice& choice, ConfigPlc& plc,
                             std::string& error, std::vector<std::string>* warnings)
{
    plc = {};
    opc::SOCmnPointer<opc::SODaSEntry> entry(new opc::SODaSEntry);
    opc::SOCmnPointer<opc::SODaSNameSpaceRoot> root = entry->getNameSpaceRoot();
    orva::core::configureNameSpaceRoot(*root);
    orva::core::PlcList plcs;
    CollectingOwner owner(warnings);
    InterfaceName interfaceName;
    const orva::config::ServerKind kind = configKind(bytes);
    const orva::core::LoadContext context{kind, plcs, std::make_shared<orva::core::CoreQueues>(), owner,
                                          &interfaceName};
    orva::core::loadConfigurationFromMemory(context, bytes, *root);
    // A Vardel file names connections; their addresses are in the connection database.
    if (kind == orva::config::ServerKind::Vardel) {
        for (std::size_t i = 0; i < plcs.size(); ++i)
            plcs.at(i)->address = connectionAddress(interfaceName.name, plcs.at(i)->name);
    }

    bool found = false;
    if (S7Plc* chosen = choosePlc(plcs, choice, error)) {
        found = true;
        plc = describePlc(*root, *chosen);
    }
    // The tags hold their PLC and the PLCs their run-time state: let everything go in order.
    entry->terminate();
    plcs.clear();
    return found;
}

bool loadConfigPlc(const std::filesystem::path& path, const PlcChoice& choice, ConfigPlc& plc,
                   std::string& error, std::vector<std::string>* warnings)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read the configuration file " + path.string();
        return false;
    }
    const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    return loadConfigPlcFromMemory(bytes, choice, plc, error, warnings);
}

bool loadConfigStations(const std::filesystem::path& path, std::vector<ConfigPlc>& plcs, std::string& error,
                        std::vector<std::string>* warnings)
{
    plcs.clear();
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read the configuration file " + path.string();
        return false;
    }
    const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    // A file of the other kind configures nothing, so trying both finds the file's own.
    for (const auto kind : {orva::config::ServerKind::Lorvik, orva::config::ServerKind::Pennat}) {
        opc::SOCmnPointer<opc::SODaSEntry> entry(new opc::SODaSEntry);
        opc::SOCmnPointer<opc::SODaSNameSpaceRoot> root = entry->getNameSpaceRoot();
        orva::core::configureNameSpaceRoot(*root);
        orva::core::PlcList loaded;
        CollectingOwner owner(warnings);
        const orva::core::LoadContext context{kind, loaded, std::make_shared<orva::core::CoreQueues>(), owner,
                                              nullptr};
        orva::core::loadConfigurationFromMemory(context, bytes, *root);
        for (std::size_t i = 0; i < loaded.size(); ++i)
            plcs.push_back(describePlc(*root, *loaded.at(i)));
        entry->terminate();
        loaded.clear();
        if (!plcs.empty()) return true;
    }
    error = "the configuration holds no PLC with an MPI address (not a Lorvik or Pennat file?)";
    return false;
}

std::string describeAddress(const ConfigTag& tag)
{
    std::ostringstream out;
    out << "DB" << tag.dataBlock << '.';
    const orva::VarType type = tag.layout.type;
    const std::size_t length = orva::core::tagByteLength(tag.layout);
    if (type == orva::VT_BOOL) {
        out << "DBX" << tag.dataByte << '.' << tag.layout.dataBit;
    } else if (orva::isArrayType(type) || type == orva::VT_BSTR) {
        out << "DBB" << tag.dataByte << '[' << length << ']';
    } else {
        out << (length == 1 ? "DBB" : length == 2 ? "DBW" : "DBD") << tag.dataByte;
    }
    return out.str();
}

}  // namespace orva::plcsim
