// orva-addrspace: loads a configuration file with the servers' loader and prints the address
// space it publishes, the PLCs, the transport settings and the loader's warnings.
//
//   orva-addrspace CONFIG.xml [--kind Tornel|Vardel|Lorvik|Pennat]
//
// Without --kind the kind is taken from the file's root element.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "AddressSpacePrinter.h"
#include "config/ServerKind.h"
#include "core/ConfigLoader.h"
#include "opc/SODaSEntry.h"

using namespace orva::opc;

using namespace orva;

namespace {

class RecordingOwner : public core::OwnerWindow {
public:
    std::vector<std::string> lines;
    void showWarning(std::string_view text, std::string_view caption) override
    {
        std::string line = std::string(caption) + ": " + std::string(text);
        while (!line.empty() && line.back() == '\n')
            line.pop_back();
        lines.push_back(line);
    }
};

class PrintingTransport : public core::TransportSettings {
public:
    std::vector<std::string> lines;
    void setInterfaceName(const std::string& name) override { lines.push_back("SAPI-S7 interface: " + name); }
    void openSerialPort(const core::SerialSettings& s) override
    {
        lines.push_back("serial port: " + s.com + ", " + std::to_string(s.baudrate) + " bit/s, " +
                        std::to_string(s.databits) + " data bits, parity code " + std::to_string(s.parity) +
                        ", stop-bit code " + std::to_string(s.stopbits) + ", master " +
                        std::to_string(s.master));
    }
};

std::optional<config::ServerKind> kindOfFile(const std::filesystem::path& path)
{
    pugi::xml_document doc;
    if (!doc.load_file(path.c_str())) return std::nullopt;
    return config::serverKindFromRootElement(doc.document_element().name());
}

int usage()
{
    std::fprintf(stderr, "usage: orva-addrspace CONFIG.xml [--kind Tornel|Vardel|Lorvik|Pennat]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    std::optional<std::filesystem::path> path;
    std::optional<config::ServerKind> kind;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--kind" && i + 1 < argc) {
            kind = config::serverKindFromName(argv[++i]);
            if (!kind) return usage();
        } else if (!path && !arg.starts_with("--")) {
            path = arg;
        } else {
            return usage();
        }
    }
    if (!path) return usage();
    if (!kind) kind = kindOfFile(*path);
    if (!kind) {
        std::fprintf(stderr, "orva-addrspace: %s is not a configuration file of a known kind; use --kind\n",
                     path->c_str());
        return 1;
    }

    SOCmnPointer<SODaSEntry> entry(new SODaSEntry);
    auto root = entry->getNameSpaceRoot();
    core::configureNameSpaceRoot(*root);
    core::PlcList plcs;
    RecordingOwner owner;
    PrintingTransport transport;
    const core::LoadContext context{*kind, plcs, std::make_shared<core::CoreQueues>(), owner, &transport};
    const bool ok = core::loadConfiguration(context, *path, *root);

    std::string out =
        "Configuration " + path->string() + " (" + std::string(config::serverKindName(*kind)) + ")\n";
    out += tools::describePlcs(*kind, plcs);
    for (const auto& line : transport.lines)
        out += line + "\n";
    out += "\nAddress space:\n";
    out += tools::describeAddressSpace(*root);
    out += "\nMessages:\n";
    if (owner.lines.empty()) out += "  (none)\n";
    for (const auto& line : owner.lines)
        out += "  " + line + "\n";
    std::fputs(out.c_str(), stdout);

    entry->terminate();
    plcs.clear();
    return ok ? 0 : 1;
}
