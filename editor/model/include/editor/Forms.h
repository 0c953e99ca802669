#pragma once
// The contents of the editor's dialogs as the user typed them: texts of boxes and lists,
// and which boxes are enabled. The model checks and applies them.

#include <cstdint>
#include <string>

namespace orva::editor {

// "Item Properties".
struct ItemForm {
    std::string name;
    std::string comment;
    std::string dataType = "signed 16 bit";
    std::string address;    // "Data Byte"
    std::string bit = "0";  // "Bit number"
    std::string block;      // "Data Block"
    std::string elements = "0";
    std::string accessRight = "READWRITE";
    bool bitEnabled = false;
    bool elementsEnabled = false;
};

// "PLC Properties", with the redundancy values it carries for the redundancy dialog.
struct PlcForm {
    std::string name;
    std::string address;
    std::string slot;
    std::string rack;
    std::string source;
    bool rackEnabled = true;
    bool bRedundant = false;
    std::string sSlave;
    std::string sSourceSlave;
    int32_t nRedBlock = 0;
    int32_t nStatusByte = 0;
    uint8_t nStatusBit = 0;
    int32_t nCmdByte = 0;
    uint8_t nCmdBit = 0;
};

// "Communication Software Redundancy".
struct RedundancyForm {
    bool chkRed = false;
    std::string address;  // "Secondary CPU Address"
    std::string source;   // "Secondary CPU Source"
    std::string block;
    std::string statusByte;
    std::string statusBit;
    std::string cmdByte;
    std::string cmdBit;
};

// "Global settings".
struct SettingsForm {
    std::string iface;
    std::string port = "COM1";
    std::string baud = "9600";
    std::string parity = "NO";
    std::string dataBits = "8";
    std::string stopBits = "1";
    std::string master = "1";
};

}  // namespace orva::editor
