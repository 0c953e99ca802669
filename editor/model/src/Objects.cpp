#include "editor/Objects.h"

#include "XmlText.h"
#include "config/DataTypes.h"
#include "editor/Text.h"

namespace orva::editor {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

std::string number(int64_t value)
{
    return std::to_string(value);
}

std::string element(int tabs, std::string_view name, std::string_view escapedValue)
{
    std::string line = Tabs(tabs);
    line += '<';
    line += name;
    line += '>';
    line += escapedValue;
    line += "</";
    line += name;
    line += '>';
    return line;
}

}  // namespace

std::string parentKeyOf(std::string_view key)
{
    const auto dot = key.rfind('.');
    return dot == std::string_view::npos ? std::string() : std::string(key.substr(0, dot));
}

std::string VtToDisplayType(std::string_view vtName)
{
    return config::displayNameFromVtName(vtName);
}

std::string DisplayToVtType(std::string_view displayName)
{
    return config::vtNameFromDisplayName(displayName);
}

bool isBooleanType(std::string_view displayName)
{
    return displayName.find("boolean") != std::string_view::npos;
}

bool isArrayType(std::string_view displayName)
{
    return displayName.find("array") != std::string_view::npos;
}

bool hasElements(std::string_view displayName)
{
    return isArrayType(displayName) || displayName == "string";
}

std::string clsPLC::GetXmlTag(ServerKind kind) const
{
    std::string text = "<PLC name=\"" + escapeAttribute(sName);
    if (kind == ServerKind::Vardel) return text + "\">";
    text += "\" address = \"" + escapeAttribute(sAddress) + "\" CPUSlot=\"" + number(nSlot);
    if (kind != ServerKind::Tornel) return text + "\">";
    text += "\" RackNr=\"" + number(nRack);
    if (!sSourceMaster.empty()) text += "\" source=\"" + escapeAttribute(sSourceMaster);
    text += "\">";
    if (!bRedundant) return text;

    const auto line = [&text](int tabs, std::string_view name, std::string_view value) {
        text += kLineEnd;
        text += element(tabs, name, value);
    };
    text += kLineEnd;
    text += Tabs(4) + "<redundancy>";
    line(5, "addressB", escapeText(sSlave));
    if (!sSourceSlave.empty()) line(5, "sourceB", escapeText(sSourceSlave));
    line(5, "Block", number(nRedBlock));
    line(5, "StatusByte", number(nStatusByte));
    line(5, "StatusBit", number(nStatusBit));
    line(5, "CmdByte", number(nCmdByte));
    line(5, "CmdBit", number(nCmdBit));
    text += kLineEnd;
    text += Tabs(4) + "</redundancy>";
    return text;
}

ListRow clsPLC::AddToListView(ServerKind kind, const InterfaceSettings& settings) const
{
    std::string address;
    if (kind == ServerKind::Vardel)
        address = settings.interfaceName.empty() ? std::string("S7 ACCESS POINT")
                                                 : trimSpaces(settings.interfaceName);
    else if (kind == ServerKind::Tornel && bRedundant)
        address = trimSpaces(sAddress) + " / " + trimSpaces(sSlave);
    else
        address = trimSpaces(sAddress);
    return ListRow{sName, sName, {address}, "plc", "plc"};
}

std::string clsItem::GetVtType() const
{
    return DisplayToVtType(sDataType_);
}

void clsItem::SetByCopy(const clsItem& source, std::string_view parentKey, int copyCount)
{
    *this = source;
    if (equalNoCase(source.getParentKey(), parentKey)) sName_ += "_" + std::to_string(copyCount);
    sKey_ = std::string(parentKey) + "." + sName_;
}

std::string clsItem::GetXmlTag(int nt) const
{
    const std::string vt = GetVtType();
    std::string text = Tabs(nt) + "<tag>";
    const auto line = [&text, nt](std::string_view name, std::string_view value) {
        text += kLineEnd;
        text += element(nt + 1, name, value);
    };
    line("name", escapeText(sName_));
    line("comment", escapeText(sComment_));
    line("databyte", number(nAddress_));
    line("datatype", vt);
    line("datablock", number(nBlock_));
    line("accessrights", escapeText(sAccessRight_));
    if (vt.find("VT_BOOL") != std::string::npos) line("databit", number(nBitNumber_));
    if (vt.find("ARRAY") != std::string::npos || vt.find("VT_BSTR") != std::string::npos)
        line("elements", number(nElements_));
    text += kLineEnd;
    text += Tabs(nt) + "</tag>";
    return text;
}

ListRow clsItem::AddToListView(bool bIndex) const
{
    std::string byteText = number(nAddress_);
    if (isBooleanType(sDataType_)) byteText += "/BIT" + zeroPadded(nBitNumber_, 2);
    if (hasElements(sDataType_)) byteText += "/LEN" + number(nElements_);
    ListRow row{
        sKey_, sName_, {sComment_, sDataType_, byteText, zeroPadded(nBlock_, 4), sAccessRight_}, {}, "item"};
    if (bIndex)
        row.columns.push_back(zeroPadded(nBlock_, 4) + zeroPadded(nAddress_, 6) + zeroPadded(nBitNumber_, 1));
    row.icon = sDataType_;
    constexpr std::string_view suffix = " array";
    if (isArrayType(sDataType_) && row.icon.ends_with(suffix))
        row.icon.resize(row.icon.size() - suffix.size());
    return row;
}

}  // namespace orva::editor
