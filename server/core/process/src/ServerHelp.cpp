#include "process/ServerHelp.h"

#include "common/ProgramInfo.h"
#include "process/SystemFolders.h"

namespace orva::process {
namespace {

std::string_view reachedOver(config::ServerKind kind)
{
    switch (kind) {
        case config::ServerKind::Tornel:
            return "S7 PLCs reached over TCP/IP (ISO-on-TCP)";
        case config::ServerKind::Vardel:
            return "S7 PLCs reached through SAPI-S7 connections";
        case config::ServerKind::Lorvik:
            return "S7 PLCs reached over MPI emulated on a serial port";
        case config::ServerKind::Pennat:
            return "S7 PLCs reached over MPI";
    }
    return "S7 PLCs";
}

}  // namespace

std::string serverUsage(const ServerIdentity& identity)
{
    const std::string name(identity.name);
    std::string text = "Usage: " + name + " [-RegServer | -UnregServer | -Embedding | -ctt]\n";
    text += "Serve the data of " + std::string(reachedOver(identity.kind)) +
            " to OPC UA clients\n(by default on opc.tcp://127.0.0.1:" +
            std::to_string(identity.defaultOpcUaPort) + ").\n\n";
    text +=
        "  -RegServer     register the server in the registry and exit\n"
        "  -UnregServer   remove the server's registration and exit\n"
        "  -Embedding     end when the last client session closes\n"
        "  -ctt           ctt mode: the smallest update rate is 1000 ms instead of 50 ms\n"
        "      --help     display this help and exit\n"
        "      --version  output version information and exit\n\n"
        "An option may start with '/' instead of '-', is matched without regard to case and\n"
        "counts only alone on the command line.\n\n";
    text += "The configuration is " + name + ".xml beside the executable, else the file named by the\n" +
            "registry value ConfigFile of " + std::string(identity.registryKey) + ", else " +
            std::string(kDefaultConfigFolder) + "/" + name + ".xml.\n" +
            "SIGTERM and SIGINT stop the server in order.\n\n";
    text += kBugReportLine;
    return text;
}

}  // namespace orva::process
