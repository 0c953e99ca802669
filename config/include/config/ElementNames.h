#pragma once
// Element and attribute names of the configuration file, as the editor writes them and the
// servers compare them (exactly; the editor's reader compares without regard to case).

#include <string_view>

namespace orva::config::xml {

inline constexpr std::string_view DECLARATION = R"(<?xml version="1.0" encoding="ISO-8859-1"?>)";

inline constexpr std::string_view OPC_DA = "OPC_DA";
inline constexpr std::string_view INTERFACE = "INTERFACE";
inline constexpr std::string_view SETTINGS = "SETTINGS";
inline constexpr std::string_view PLC = "PLC";
inline constexpr std::string_view TAGS = "tags";
inline constexpr std::string_view TAG = "tag";
inline constexpr std::string_view REDUNDANCY = "redundancy";

// Attributes of INTERFACE and PLC.
inline constexpr std::string_view NAME = "name";
inline constexpr std::string_view ADDRESS = "address";
inline constexpr std::string_view SOURCE = "source";
inline constexpr std::string_view CPU_SLOT = "CPUSlot";
inline constexpr std::string_view RACK_NR = "RackNr";

// Children of tag, in the order the editor writes them.
inline constexpr std::string_view TAG_NAME = "name";
inline constexpr std::string_view TAG_COMMENT = "comment";
inline constexpr std::string_view TAG_DATABYTE = "databyte";
inline constexpr std::string_view TAG_DATATYPE = "datatype";
inline constexpr std::string_view TAG_DATABLOCK = "datablock";
inline constexpr std::string_view TAG_ACCESSRIGHTS = "accessrights";
inline constexpr std::string_view TAG_DATABIT = "databit";
inline constexpr std::string_view TAG_ELEMENTS = "elements";

// Children of redundancy, in the order the editor writes them.
inline constexpr std::string_view RED_ADDRESS_B = "addressB";
inline constexpr std::string_view RED_SOURCE_B = "sourceB";
inline constexpr std::string_view RED_BLOCK = "Block";
inline constexpr std::string_view RED_STATUS_BYTE = "StatusByte";
inline constexpr std::string_view RED_STATUS_BIT = "StatusBit";
inline constexpr std::string_view RED_CMD_BYTE = "CmdByte";
inline constexpr std::string_view RED_CMD_BIT = "CmdBit";

// Attributes of SETTINGS.
inline constexpr std::string_view SET_COM = "com";
inline constexpr std::string_view SET_MASTER = "master";
inline constexpr std::string_view SET_BAUDRATE = "baudrate";
inline constexpr std::string_view SET_PARITY = "parity";
inline constexpr std::string_view SET_STOPBITS = "stopbits";
inline constexpr std::string_view SET_DATABITS = "databits";

// Limits of the servers' data model.
inline constexpr std::size_t MAX_TCPIP_TEXT = 15;  // Tornel address, source, addressB, sourceB

}  // namespace orva::config::xml
