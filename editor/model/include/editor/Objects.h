#pragma once
// The objects of an open configuration: PLCs, branches and items, the interface settings, and
// the data-type display names the editor shows.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/ServerKind.h"

namespace orva::editor {

using config::ServerKind;

// Interface settings, one set per configuration.
struct InterfaceSettings {
    std::string interfaceName = "SAPIS7";
    std::string comPort = "COM1";
    uint8_t master = 1;
    int32_t baudRate = 9600;
    std::string parity = "NO";
    uint8_t dataBits = 8;
    uint8_t stopBits = 1;
};

// One row of the main window's list, as data: key, text, further columns, icons.
struct ListRow {
    std::string key;
    std::string text;
    std::vector<std::string> columns;  // column 1 onwards
    std::string icon;
    std::string smallIcon;
};

// The key of the level above: everything before the last full stop, or "" without one.
std::string parentKeyOf(std::string_view key);

class clsPLC {
public:
    std::string sName;
    uint8_t nSlot = 0;
    uint8_t nRack = 0;
    std::string sAddress;
    bool bRedundant = false;
    std::string sSlave;
    std::string sSourceMaster;
    std::string sSourceSlave;
    int32_t nRedBlock = 0;
    int32_t nStatusByte = 0;
    uint8_t nStatusBit = 0;
    int32_t nCmdByte = 0;
    uint8_t nCmdBit = 0;
    std::string sKey;

    // The PLC's opening line, and for a redundant Tornel PLC the whole redundancy block.
    std::string GetXmlTag(ServerKind kind) const;
    ListRow AddToListView(ServerKind kind, const InterfaceSettings& settings) const;
};

class clsBranch {
public:
    const std::string& sName() const { return sName_; }
    void sName(std::string value) { sName_ = std::move(value); }
    const std::string& sKey() const { return sKey_; }
    void sKey(std::string value) { sKey_ = std::move(value); }

    std::string getParentKey() const { return parentKeyOf(sKey_); }

private:
    std::string sName_;
    std::string sKey_;
};

class clsItem {
public:
    const std::string& sName() const { return sName_; }
    void sName(std::string value) { sName_ = std::move(value); }
    const std::string& sKey() const { return sKey_; }
    void sKey(std::string value) { sKey_ = std::move(value); }
    int32_t nAddress() const { return nAddress_; }
    void nAddress(int32_t value) { nAddress_ = value; }
    const std::string& sComment() const { return sComment_; }
    void sComment(std::string value) { sComment_ = std::move(value); }
    const std::string& sAccessRight() const { return sAccessRight_; }
    void sAccessRight(std::string value) { sAccessRight_ = std::move(value); }
    const std::string& sDataType() const { return sDataType_; }
    void sDataType(std::string value) { sDataType_ = std::move(value); }
    int32_t nBitNumber() const { return nBitNumber_; }
    void nBitNumber(int32_t value) { nBitNumber_ = value; }
    int32_t nBlock() const { return nBlock_; }
    void nBlock(int32_t value) { nBlock_ = value; }
    int32_t nElements() const { return nElements_; }
    void nElements(int32_t value) { nElements_ = value; }

    std::string getParentKey() const { return parentKeyOf(sKey_); }
    std::string GetVtType() const;

    // Copies every field of the source; pasting into the source's own parent appends "_" and
    // the copy counter to the name. The key is the parent key, a full stop and the name.
    void SetByCopy(const clsItem& source, std::string_view parentKey, int copyCount);

    // The complete tag element for nesting level nt, without a line end after its last line.
    std::string GetXmlTag(int nt) const;
    ListRow AddToListView(bool bIndex) const;

private:
    std::string sName_;
    std::string sKey_;
    int32_t nAddress_ = 0;
    std::string sComment_;
    std::string sAccessRight_;
    std::string sDataType_;
    int32_t nBitNumber_ = 0;
    int32_t nBlock_ = 0;
    int32_t nElements_ = 0;
};

// Display name <-> VT name; a value outside the table gives "".
std::string VtToDisplayType(std::string_view vtName);
std::string DisplayToVtType(std::string_view displayName);

// Type tests on display names.
bool isBooleanType(std::string_view displayName);  // contains "boolean"
bool isArrayType(std::string_view displayName);    // contains "array"
bool hasElements(std::string_view displayName);    // contains "array" or is "string"

}  // namespace orva::editor
