#include "process/ServerIdentity.h"

namespace orva::process {
namespace {

using config::ServerKind;

constexpr ServerIdentity kIdentities[] = {
    {ServerKind::Tornel, "Tornel", "{6A0C2E51-3B7D-4F19-9C42-7E5D1B8A0F31}",
     "Orva.TcpIpS7EmulatedOPCServerDA.1.1", "Orva.TcpIpS7EmulatedOPCServerDA",
     "Orva TcpIp S7Emulated OPC DA Server v1.1", "Orva TcpIp S7Emulated OPC DA Server - ",
     "Orva Tcp/Ip S7Emulated OPC DA Server", "SOFTWARE\\ORVAAutomation\\Tornel", "Tcp/Ip S7 OPC Server",
     "No Tcp/Ip S7 PLC configured. OPC Server being closed.", "OPC TcpIp S7 Server",
     "About Siemens Tcp/Ip S7 OPC DA Server", "Siemens Tcp/Ip S7 OPC DA Server - Ver. 1.1.0.0  Win32 ",
     "Tcp/Ip Network", 1, 10, 100, 4840},
    {ServerKind::Vardel, "Vardel", "{1D4B7F20-8E63-4A5C-B0D9-2F6E91C3A742}", "Orva.S7OPCServerDA.1.1",
     "Orva.S7OPCServerDA", "Orva Siemens S7 OPC DA Server v1.1", "Orva Siemens S7 OPC DA Server - ",
     "Orva Siemens S7 OPC DA Server", "SOFTWARE\\ORVAAutomation\\Vardel", "Siemens S7 OPC Server",
     "No S7 PLC configured. OPC Server being closed.", "OPC Siemens S7 Server",
     "About Siemens S7 OPC DA Server", "Siemens S7 OPC DA Server - Ver. 1.1.0.0  Win32 ", "Tcp/Ip Network", 1,
     10, 100, 4841},
    {ServerKind::Lorvik, "Lorvik", "{C85E3A19-0F2B-4D7E-8A61-5B9D04E7F213}",
     "Orva.MPIEmulatedOPCServerDA.1.1", "Orva.MPIEmulatedOPCServerDA", "Orva MPIEmulated OPC DA Server v1.1",
     "Orva MPIEmulated OPC DA Server - ", "Orva MPI-Emulated OPC DA Server",
     "SOFTWARE\\ORVAAutomation\\Lorvik", "S7 MPI OPC Server",
     "No MPI PLC configured. OPC Server being closed.", "OPC MPI Server",
     "About Orva MPI-Emulated OPC DA Server", "Orva MPI-Emulated OPC DA Server - Ver. 1.1.0.0  Win32 ",
     "MPI Network", 1, 10, 100, 4842},
    {ServerKind::Pennat, "Pennat", "{3F92D6B4-5C18-4E0A-9D37-A1B8C62E5F90}", "Orva.MPIOPCServerDA.1.1",
     "Orva.MPIOPCServerDA", "Orva MPI OPC DA Server v1.1", "Orva MPI OPC DA Server - ",
     "Orva S7 MPI OPC DA Server", "SOFTWARE\\ORVAAutomation\\Pennat", "OPC Siemens MPI Server",
     "No MPI PLC configured. OPC Server being closed.", "OPC MPI Server",
     "About Siemens S7 MPI OPC DA Server", "Siemens S7 MPI OPC DA Server - Ver. 1.1.0.0  Win32 ",
     "MPI Network", 1, 10, 100, 4843},
};

}  // namespace

const ServerIdentity& serverIdentity(config::ServerKind kind)
{
    for (const auto& identity : kIdentities)
        if (identity.kind == kind) return identity;
    return kIdentities[0];  // unreachable: every kind has an identity
}

std::string vendorText(const ServerIdentity& identity)
{
    std::string text(identity.vendorTextStart);
    text += kMakerName;
    return text;
}

}  // namespace orva::process
