// Reading a configuration file of any server kind into the model: the kind from the root
// element, the interface settings, then PLC by PLC the branches and items, each added to its
// collection and to the tree as it is read. A faulty PLC or element is reported and skipped.
#include "XmlImport.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>

#include "Guard.h"
#include "Validation.h"
#include "config/Limits.h"
#include "config/ServerKind.h"
#include "editor/Text.h"

namespace orva::editor {

namespace {

using config::kMaxBranchDepth;

int64_t numberOf(std::string_view text, int64_t lo, int64_t hi)
{
    return roundInRange(leadingNumber(text), lo, hi);
}

int64_t numberAttribute(const pugi::xml_node& element, const char* name, int64_t lo, int64_t hi)
{
    return numberOf(element.attribute(name).value(), lo, hi);
}

bool named(const pugi::xml_node& node, std::string_view upperName)
{
    return upperText(node.name()) == upperName;
}

// The last child element of the given name (compared in upper case), or an empty node.
pugi::xml_node childNamed(const pugi::xml_node& element, std::string_view upperName)
{
    pugi::xml_node found;
    for (const auto& child : element.children())
        if (child.type() == pugi::node_element && named(child, upperName)) found = child;
    return found;
}

constexpr int64_t kFileNumberMax = 65535;

}  // namespace

std::string textOf(const pugi::xml_node& element)
{
    std::string text;
    for (const auto& child : element.children())
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) text += child.value();
    return text;
}

std::string XmlPathOf(pugi::xml_node element, const pugi::xml_node& tags)
{
    std::string path;
    while (element && element != tags && element.type() == pugi::node_element) {
        path.insert(0, upperText(element.name()) + ".");
        element = element.parent();
    }
    return path;
}

void SetByXml(clsPLC& plc, const pugi::xml_node& element, ServerKind kind)
{
    const auto name = element.attribute("name");
    if (!name) raise(ErrorCode::InvalidUseOfNull, "PLC without name");
    plc.sName = name.value();
    if (kind == ServerKind::Tornel) {
        plc.sAddress = element.attribute("address").value();
        plc.nSlot = static_cast<uint8_t>(numberAttribute(element, "CPUSlot", 0, 255));
        plc.nRack = static_cast<uint8_t>(numberAttribute(element, "RackNr", 0, 255));
        if (const auto source = element.attribute("source")) plc.sSourceMaster = source.value();
        if (const auto red = childNamed(element, "REDUNDANCY")) {
            plc.bRedundant = true;
            plc.sSlave = textOf(childNamed(red, "ADDRESSB"));
            if (const auto sourceB = childNamed(red, "SOURCEB")) plc.sSourceSlave = textOf(sourceB);
            const auto num = [&](std::string_view child, int64_t lo, int64_t hi) {
                return numberOf(textOf(childNamed(red, child)), lo, hi);
            };
            plc.nRedBlock = static_cast<int32_t>(num("BLOCK", kInt32Min, kInt32Max));
            plc.nStatusByte = static_cast<int32_t>(num("STATUSBYTE", kInt32Min, kInt32Max));
            plc.nStatusBit = static_cast<uint8_t>(num("STATUSBIT", 0, 255));
            plc.nCmdByte = static_cast<int32_t>(num("CMDBYTE", kInt32Min, kInt32Max));
            plc.nCmdBit = static_cast<uint8_t>(num("CMDBIT", 0, 255));
        }
    } else if (kind == ServerKind::Lorvik || kind == ServerKind::Pennat) {
        plc.sAddress = element.attribute("address").value();
        plc.nSlot = static_cast<uint8_t>(numberAttribute(element, "CPUSlot", 0, 255));
    }
    plc.sKey = plc.sName;
}

void SetByXml(clsItem& item, const pugi::xml_node& element, std::string_view parentKey)
{
    // One pass over the children; a child given twice takes its last value.
    pugi::xml_node name, comment, databyte, datatype, datablock, accessrights, databit, elements;
    for (const auto& child : element.children()) {
        if (child.type() != pugi::node_element) continue;
        if (named(child, "NAME"))
            name = child;
        else if (named(child, "COMMENT"))
            comment = child;
        else if (named(child, "DATABYTE"))
            databyte = child;
        else if (named(child, "DATATYPE"))
            datatype = child;
        else if (named(child, "DATABLOCK"))
            datablock = child;
        else if (named(child, "ACCESSRIGHTS"))
            accessrights = child;
        else if (named(child, "DATABIT"))
            databit = child;
        else if (named(child, "ELEMENTS"))
            elements = child;
    }
    if (!name) raise(ErrorCode::ObjectNotSet, "tag without name");
    item.sName(textOf(name));
    item.sComment(textOf(comment));
    item.sDataType(VtToDisplayType(textOf(datatype)));
    item.nElements(elements ? static_cast<int32_t>(numberOf(textOf(elements), 0, kFileNumberMax)) : 0);
    item.nAddress(static_cast<int32_t>(numberOf(textOf(databyte), 0, kFileNumberMax)));
    item.nBlock(static_cast<int32_t>(numberOf(textOf(datablock), 0, kFileNumberMax)));
    item.nBitNumber(databit ? static_cast<int32_t>(numberOf(textOf(databit), 0, kFileNumberMax)) : 0);
    item.sAccessRight(textOf(accessrights));
    item.sKey(std::string(parentKey) + "." + item.sName());
}

void build(clsBranch& branch, const pugi::xml_node& element, const pugi::xml_node& tags,
           std::string_view plcName)
{
    branch.sName(upperText(element.name()));
    branch.sKey(std::string(plcName) + "." + XmlPathOf(element.parent(), tags) + branch.sName());
}

namespace {

// "Tornel.xml, line 12, column 5: Start-end tags mismatch"; the column counts characters.
std::string whereParsingFailed(std::string_view bytes, std::ptrdiff_t offset, std::string_view file)
{
    const auto end = static_cast<std::size_t>(
        std::clamp<std::ptrdiff_t>(offset, 0, static_cast<std::ptrdiff_t>(bytes.size())));
    std::size_t line = 1;
    std::size_t column = 1;
    for (std::size_t i = 0; i < end; ++i) {
        if (bytes[i] == '\n') {
            ++line;
            column = 1;
        } else if ((static_cast<unsigned char>(bytes[i]) & 0xC0) != 0x80) {
            ++column;
        }
    }
    std::string where(file.empty() ? std::string_view("the file") : file);
    return where + ", line " + std::to_string(line) + ", column " + std::to_string(column);
}

}  // namespace

std::string EditorModel::parseProblem(std::string_view bytes, const pugi::xml_parse_result& parsed) const
{
    return whereParsingFailed(bytes, parsed.offset, importPath_) + ": " + parsed.description();
}

bool EditorModel::ImportXML(const std::string& path)
{
    importPath_ = path;
    struct Forget {
        std::string& path;
        ~Forget() { path.clear(); }
    } forget{importPath_};
    std::string bytes;
    const bool read = guarded("ImportXML", [&] {
        std::error_code ec;
        if (!std::filesystem::exists(path, ec)) raise(ErrorCode::FileNotFound, path);
        if (std::filesystem::is_directory(path, ec)) raise(ErrorCode::PathFileAccess, path);
        std::ifstream in(path, std::ios::binary);
        if (!in) raise(errno == EACCES ? ErrorCode::PermissionDenied : ErrorCode::PathFileAccess, path);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad()) raise(ErrorCode::DeviceIo, path);
    });
    return read && importDocument(bytes);
}

bool EditorModel::importXmlBytes(std::string_view bytes)
{
    return importDocument(bytes);
}

bool EditorModel::importDocument(std::string_view bytes)
{
    bool recognised = false;
    const bool ok = guarded("ImportXML", [&] {
        pugi::xml_document doc;
        const auto parsed =
            doc.load_buffer(bytes.data(), bytes.size(), pugi::parse_default | pugi::parse_ws_pcdata_single,
                            pugi::encoding_auto);
        if (!parsed) raise(ErrorCode::XmlNotWellFormed, parseProblem(bytes, parsed));
        const auto root = doc.document_element();
        const auto kind = config::serverKindFromRootElementNoCase(root.name());
        if (!root || !kind) {
            ui_.message("The configuration file is not valid.", Icon::None);
            return;
        }
        recognised = true;
        serverType = *kind;
        for (const auto& child : root.children()) {
            if (child.type() != pugi::node_element) continue;
            const std::string name = upperText(child.name());
            if (name == "SETTINGS") {
                settings.comPort = child.attribute("com").value();
                settings.master = static_cast<uint8_t>(numberAttribute(child, "master", 0, 255));
                settings.baudRate = static_cast<int32_t>(numberAttribute(child, "baudrate", 0, kInt32Max));
                settings.parity = child.attribute("parity").value();
                settings.stopBits = static_cast<uint8_t>(numberAttribute(child, "stopbits", 0, 255));
                settings.dataBits = static_cast<uint8_t>(numberAttribute(child, "databits", 0, 255));
            } else if (name == "OPC_DA") {
                for (const auto& device : child.children()) {
                    if (device.type() != pugi::node_element) continue;
                    if (named(device, "INTERFACE")) {
                        settings.interfaceName = device.attribute("name").value();
                        for (const auto& plc : device.children())
                            if (plc.type() == pugi::node_element && named(plc, "PLC")) BrowsePlc(plc);
                    } else if (named(device, "PLC")) {
                        BrowsePlc(device);
                    }
                }
            }
        }
    });
    return ok && recognised;
}

void EditorModel::BrowsePlc(const pugi::xml_node& element)
{
    guarded("BrowsePlc", [&] {
        auto plc = std::make_shared<clsPLC>();
        SetByXml(*plc, element, serverType);
        if (!importedNameAcceptable(ObjectKind::Plc, plc->sName)) raise(ErrorCode::InvalidName, plc->sName);
        if (plcs.contains(plc->sKey)) raise(ErrorCode::DuplicateKey, plc->sKey);
        if (tree.containsKey(plc->sKey)) raise(ErrorCode::KeyNotUnique, plc->sKey);
        plcs.add(plc->sKey, plc);
        tree.add(tree.root(), plc->sKey, plc->sName, NodeKind::Plc);
        for (const auto& tags : element.children()) {
            if (tags.type() != pugi::node_element || !named(tags, "TAGS")) continue;
            for (const auto& child : tags.children())
                if (child.type() == pugi::node_element) BrowseBranch(child, tags, plc->sName, plc->sName, 1);
        }
    });
}

void EditorModel::BrowseBranch(const pugi::xml_node& element, const pugi::xml_node& tags,
                               const std::string& plcName, const std::string& parentKey, int depth)
{
    guarded("BrowseBranch", [&] {
        if (!named(element, "TAG")) {
            if (depth > kMaxBranchDepth) raise(ErrorCode::XmlTooDeep, element.name());
            auto branch = std::make_shared<clsBranch>();
            build(*branch, element, tags, plcName);
            if (!importedNameAcceptable(ObjectKind::Branch, branch->sName()))
                raise(ErrorCode::InvalidName, branch->sKey());
            if (branches.contains(branch->sKey())) raise(ErrorCode::DuplicateKey, branch->sKey());
            TreeNode* parent = tree.find(branch->getParentKey());
            if (parent == nullptr) raise(ErrorCode::ElementNotFound, branch->getParentKey());
            if (tree.containsKey(branch->sKey())) raise(ErrorCode::KeyNotUnique, branch->sKey());
            branches.add(branch->sKey(), branch);
            tree.add(*parent, branch->sKey(), branch->sName(), NodeKind::Branch);
            if (branch->sName() != element.name())
                branchesUpperCased.push_back(parentKey + "." + element.name());
            for (const auto& child : element.children())
                if (child.type() == pugi::node_element)
                    BrowseBranch(child, tags, plcName, branch->sKey(), depth + 1);
            return;
        }
        auto item = std::make_shared<clsItem>();
        // The parent's key is the PLC name and XmlPathOf the parent, known from the level above.
        SetByXml(*item, element, parentKey);
        if (!importedNameAcceptable(ObjectKind::Item, item->sName()))
            raise(ErrorCode::InvalidName, item->sKey());
        if (items.contains(item->sKey())) raise(ErrorCode::DuplicateKey, item->sKey());
        TreeNode* parent = tree.find(item->getParentKey());
        if (parent == nullptr) raise(ErrorCode::ElementNotFound, item->getParentKey());
        if (tree.containsKey(item->sKey())) raise(ErrorCode::KeyNotUnique, item->sKey());
        items.add(item->sKey(), item);
        tree.add(*parent, item->sKey(), item->sName(), NodeKind::Item);
        importProgress_ = (importProgress_ + 1) % 100;
        ui_.importProgress(importProgress_);
    });
}

}  // namespace orva::editor
