// What the PLC, redundancy, settings, branch and item dialogs do when confirmed.
#include <cmath>
#include <limits>

#include "Guard.h"
#include "ItemFromForm.h"
#include "RecordedEdit.h"
#include "config/DataTypes.h"
#include "editor/Text.h"

namespace orva::editor {

namespace {

int64_t numberIn(std::string_view text, int64_t lo, int64_t hi)
{
    return roundInRange(leadingNumber(text), lo, hi);
}

std::string counterName(std::string_view prefix, int32_t counter)
{
    return std::string(prefix) + std::to_string(counter);
}

}  // namespace

// ----- PLC dialog -----

PlcForm EditorModel::newPlcForm() const
{
    PlcForm form;
    form.name = counterName("New Plc ", newPlcNumber);
    switch (serverType) {
        case ServerKind::Tornel:
            form.address = "192.168.0.1";
            form.rack = "0";
            form.slot = "2";
            break;
        case ServerKind::Lorvik:
        case ServerKind::Pennat:
            form.rackEnabled = false;
            form.address = "2";
            form.slot = "2";
            break;
        case ServerKind::Vardel:
            form.rackEnabled = false;
            break;
    }
    return form;
}

PlcForm EditorModel::plcFormFor(std::string_view plcKey) const
{
    PlcForm form;
    const auto plc = plcs.get(plcKey);
    if (!plc) return form;
    form.name = plc->sName;
    form.rackEnabled = serverType == ServerKind::Tornel;
    if (serverType != ServerKind::Vardel) {
        form.address = plc->sAddress;
        form.slot = std::to_string(plc->nSlot);
    }
    if (serverType == ServerKind::Tornel) {
        form.rack = std::to_string(plc->nRack);
        form.source = plc->sSourceMaster;
        form.bRedundant = plc->bRedundant;
        form.sSlave = plc->sSlave;
        form.sSourceSlave = plc->sSourceSlave;
        form.nRedBlock = plc->nRedBlock;
        form.nStatusByte = plc->nStatusByte;
        form.nStatusBit = plc->nStatusBit;
        form.nCmdByte = plc->nCmdByte;
        form.nCmdBit = plc->nCmdBit;
    }
    return form;
}

EditResult EditorModel::applyPlcForm(std::string_view selectedKey, const PlcForm& form, bool modify)
{
    EditResult result;
    if (!CheckFields(form)) return result;
    EditRecorder recorder(*this);
    if (modify) recorder.mayChange({std::string(selectedKey)});
    if (!CheckDuplNames(ObjectKind::Plc, form.name, modify ? selectedKey : std::string_view{}, !modify))
        return result;
    guarded("cmdApply_Click", [&] {
        auto plc = std::make_shared<clsPLC>();
        plc->sName = form.name;
        plc->sAddress = form.address;
        plc->nSlot = static_cast<uint8_t>(numberIn(form.slot, 0, 255));
        plc->nRack = static_cast<uint8_t>(numberIn(form.rack, 0, 255));
        plc->sSourceMaster = form.source;
        plc->bRedundant = form.bRedundant;
        plc->sSlave = form.sSlave;
        plc->sSourceSlave = form.sSourceSlave;
        plc->nRedBlock = form.nRedBlock;
        plc->nStatusByte = form.nStatusByte;
        plc->nStatusBit = form.nStatusBit;
        plc->nCmdByte = form.nCmdByte;
        plc->nCmdBit = form.nCmdBit;
        plc->sKey = plc->sName;
        if (!modify) {
            if (tree.containsKey(plc->sKey)) raise(ErrorCode::KeyNotUnique, plc->sKey);
            if (!plcs.add(plc->sKey, plc)) raise(ErrorCode::DuplicateKey, plc->sKey);
            tree.add(tree.root(), plc->sKey, plc->sName, NodeKind::Plc);
            ++newPlcNumber;
            result.added.push_back(plc->sKey);
        } else {
            TreeNode* node = tree.find(selectedKey);
            if (node == nullptr || node->kind() != NodeKind::Plc)
                raise(ErrorCode::ElementNotFound, std::string(selectedKey));
            const std::string oldKey = node->key();
            // The PLC keeps its place, so that the file lists the PLCs in the order of the tree.
            if (!plcs.replace(oldKey, plc->sKey, plc)) raise(ErrorCode::DuplicateKey, plc->sKey);
            if (!tree.setKey(*node, plc->sKey)) raise(ErrorCode::KeyNotUnique, plc->sKey);
            tree.setText(*node, plc->sName);
            result.rekeyed.push_back({oldKey, plc->sKey});
            RekeyChildren(*node, &result.rekeyed);
        }
        isSaved = false;
        result.done = true;
        result.select = plc->sKey;
        result.refreshList = plc->sKey;
    });
    recorder.commit(result, modify ? "Change" : "Add");
    return result;
}

// ----- Redundancy dialog -----

RedundancyForm EditorModel::redundancyFormFor(const PlcForm& plc) const
{
    RedundancyForm form;
    if (!plc.bRedundant) return form;
    form.chkRed = true;
    form.address = plc.sSlave;
    form.source = plc.sSourceSlave;
    form.block = std::to_string(plc.nRedBlock);
    form.statusByte = std::to_string(plc.nStatusByte);
    form.statusBit = std::to_string(plc.nStatusBit);
    form.cmdByte = std::to_string(plc.nCmdByte);
    form.cmdBit = std::to_string(plc.nCmdBit);
    return form;
}

bool EditorModel::applyRedundancy(const RedundancyForm& form, PlcForm& plc)
{
    if (!form.chkRed) {
        plc.bRedundant = false;
        plc.sSlave.clear();
        plc.sSourceSlave.clear();
        return true;
    }
    if (!checkRedundancy(form)) return false;
    return guarded("cmdOK_Click", [&] {
        // Converted first, so that an out-of-range value leaves the PLC dialog's values as they were.
        const auto block = static_cast<int32_t>(numberIn(form.block, kInt32Min, kInt32Max));
        const auto statusByte = static_cast<int32_t>(numberIn(form.statusByte, kInt32Min, kInt32Max));
        const auto statusBit = static_cast<uint8_t>(numberIn(form.statusBit, 0, 255));
        const auto cmdByte = static_cast<int32_t>(numberIn(form.cmdByte, kInt32Min, kInt32Max));
        const auto cmdBit = static_cast<uint8_t>(numberIn(form.cmdBit, 0, 255));
        plc.bRedundant = true;
        plc.sSlave = trimSpaces(form.address);
        plc.sSourceSlave = trimSpaces(form.source);
        plc.nRedBlock = block;
        plc.nStatusByte = statusByte;
        plc.nStatusBit = statusBit;
        plc.nCmdByte = cmdByte;
        plc.nCmdBit = cmdBit;
    });
}

// ----- Interface-settings dialog -----

SettingsForm EditorModel::settingsForm() const
{
    SettingsForm form;
    form.iface = settings.interfaceName;
    form.port = settings.comPort;
    form.baud = std::to_string(settings.baudRate);
    form.parity = settings.parity;
    form.dataBits = std::to_string(settings.dataBits);
    form.stopBits = std::to_string(settings.stopBits);
    form.master = std::to_string(settings.master);
    return form;
}

bool EditorModel::applySettings(const SettingsForm& form)
{
    if (!checkSettings(form)) return false;
    EditRecorder recorder(*this);
    recorder.mayChangeSettings();
    const bool applied = guarded("cmdOk_Click", [&] {
        InterfaceSettings next = settings;
        if (serverType == ServerKind::Lorvik) {
            next.master = static_cast<uint8_t>(numberIn(form.master, 0, 255));
            next.comPort = form.port;
            next.baudRate = static_cast<int32_t>(numberIn(form.baud, 0, kInt32Max));
            next.parity = form.parity;
            next.dataBits = static_cast<uint8_t>(numberIn(form.dataBits, 0, 255));
            next.stopBits = static_cast<uint8_t>(numberIn(form.stopBits, 0, 255));
        } else {
            next.interfaceName = trimSpaces(form.iface);
        }
        // A changed setting is a change of the configuration like any other.
        if (!(settings.interfaceName == next.interfaceName && settings.comPort == next.comPort &&
              settings.master == next.master && settings.baudRate == next.baudRate &&
              settings.parity == next.parity && settings.dataBits == next.dataBits &&
              settings.stopBits == next.stopBits))
            isSaved = false;
        settings = std::move(next);
    });
    recorder.commit(EditResult{.done = applied}, "Change settings");
    return applied;
}

// ----- Branch dialog -----

std::string EditorModel::newBranchName() const
{
    return counterName("NewBranch", newBranchNumber);
}

EditResult EditorModel::addBranch(std::string_view selectedKey, std::string_view name)
{
    EditResult result;
    const TreeNode* parent = tree.find(selectedKey);
    if (parent == nullptr || (parent->kind() != NodeKind::Plc && parent->kind() != NodeKind::Branch))
        return result;
    if (!CheckName(ObjectKind::Branch, name)) return result;
    if (!CheckDuplNames(ObjectKind::Branch, name, selectedKey, true)) return result;
    EditRecorder recorder(*this);
    guarded("cmdOk_Click", [&] {
        auto branch = std::make_shared<clsBranch>();
        branch->sName(std::string(name));
        branch->sKey(MakeChildKey(name, selectedKey, false));
        TreeNode* node = tree.find(selectedKey);
        if (tree.containsKey(branch->sKey())) raise(ErrorCode::KeyNotUnique, branch->sKey());
        if (!branches.add(branch->sKey(), branch)) raise(ErrorCode::DuplicateKey, branch->sKey());
        tree.add(*node, branch->sKey(), branch->sName(), NodeKind::Branch);
        isSaved = false;
        ++newBranchNumber;
        result.done = true;
        result.added.push_back(branch->sKey());
        result.select = branch->sKey();
        result.refreshList = branch->sKey();
    });
    recorder.commit(result, "Add");
    return result;
}

EditResult EditorModel::renameBranch(std::string_view selectedKey, std::string_view name)
{
    EditResult result;
    TreeNode* node = tree.find(selectedKey);
    if (node == nullptr || node->kind() != NodeKind::Branch) return result;
    if (!CheckName(ObjectKind::Branch, name)) return result;
    if (!CheckDuplNames(ObjectKind::Branch, name, selectedKey, false)) return result;
    EditRecorder recorder(*this);
    recorder.mayChange({std::string(selectedKey)});
    guarded("cmdOk_Click", [&] {
        auto branch = std::make_shared<clsBranch>();
        branch->sName(std::string(name));
        branch->sKey(MakeChildKey(name, selectedKey, true));
        const std::string oldKey = node->key();
        auto old = branches.remove(oldKey);
        if (!branches.add(branch->sKey(), branch)) {
            if (old) branches.add(oldKey, old);
            raise(ErrorCode::DuplicateKey, branch->sKey());
        }
        if (!tree.setKey(*node, branch->sKey())) raise(ErrorCode::KeyNotUnique, branch->sKey());
        tree.setText(*node, branch->sName());
        result.rekeyed.push_back({oldKey, branch->sKey()});
        result.select = branch->sKey();
        isSaved = false;
        result.done = true;
        RekeyChildren(*node, &result.rekeyed);
    });
    recorder.commit(result, "Rename");
    return result;
}

// ----- Item dialog -----

ItemForm EditorModel::newItemForm() const
{
    ItemForm form;
    form.name = counterName("New Item ", newItemNumber);
    return form;
}

ItemForm EditorModel::itemFormFor(std::string_view itemKey) const
{
    ItemForm form;
    const auto item = items.get(itemKey);
    if (!item) return form;
    form.name = item->sName();
    form.comment = item->sComment();
    form.dataType = item->sDataType();
    form.address = std::to_string(item->nAddress());
    form.block = std::to_string(item->nBlock());
    form.elementsEnabled = hasElements(item->sDataType());
    form.elements = form.elementsEnabled ? std::to_string(item->nElements()) : "0";
    form.bitEnabled = isBooleanType(item->sDataType());
    form.bit = form.bitEnabled ? std::to_string(item->nBitNumber()) : "0";
    form.accessRight = item->sAccessRight();
    return form;
}

void EditorModel::changeDataType(ItemForm& form, std::string_view dataType)
{
    form.dataType = std::string(dataType);
    form.elementsEnabled = hasElements(dataType);
    form.elements = "0";
    form.bitEnabled = isBooleanType(dataType);
    form.bit = "0";
}

// The item the dialog's controls describe.
std::shared_ptr<clsItem> SetByForm(const ItemForm& form, std::string key)
{
    auto item = std::make_shared<clsItem>();
    item->sName(form.name);
    item->sComment(form.comment);
    item->sDataType(form.dataType);
    if (hasElements(form.dataType)) item->nElements(static_cast<int32_t>(numberIn(form.elements, 0, 65535)));
    item->nAddress(static_cast<int32_t>(numberIn(form.address, kInt32Min, kInt32Max)));
    item->nBlock(static_cast<int32_t>(numberIn(form.block, 0, 65535)));
    item->nBitNumber(isBooleanType(form.dataType) ? static_cast<int32_t>(numberIn(form.bit, 0, 65535)) : 0);
    item->sAccessRight(form.accessRight);
    item->sKey(std::move(key));
    return item;
}

EditResult EditorModel::AddItemToColl(std::string_view selectedKey, const ItemForm& form, bool modify)
{
    EditResult result;
    TreeNode* selected = tree.find(selectedKey);
    if (selected == nullptr) return result;
    if (modify ? selected->kind() != NodeKind::Item
               : selected->kind() != NodeKind::Plc && selected->kind() != NodeKind::Branch)
        return result;
    if (!CheckFields(form)) return result;
    if (!CheckDuplNames(ObjectKind::Item, form.name, selectedKey, !modify)) return result;
    EditRecorder recorder(*this);
    if (modify) recorder.mayChange({std::string(selectedKey)});
    guarded("AddItemToColl", [&] {
        auto item = SetByForm(form, MakeChildKey(form.name, selectedKey, modify));
        if (!modify) {
            if (tree.containsKey(item->sKey())) raise(ErrorCode::KeyNotUnique, item->sKey());
            if (!items.add(item->sKey(), item)) raise(ErrorCode::DuplicateKey, item->sKey());
            tree.add(*selected, item->sKey(), item->sName(), NodeKind::Item);
            ++newItemNumber;
            result.added.push_back(item->sKey());
            result.refreshList = std::string(selectedKey);
        } else {
            const std::string oldKey = selected->key();
            auto old = items.remove(oldKey);
            if (!items.add(item->sKey(), item)) {
                if (old) items.add(oldKey, old);
                raise(ErrorCode::DuplicateKey, item->sKey());
            }
            if (!tree.setKey(*selected, item->sKey())) raise(ErrorCode::KeyNotUnique, item->sKey());
            tree.setText(*selected, item->sName());
            result.rekeyed.push_back({oldKey, item->sKey()});
            result.select = item->sKey();
            if (selected->parent() != nullptr) result.refreshList = selected->parent()->key();
        }
        isSaved = false;
        result.done = true;
    });
    recorder.commit(result, modify ? "Change" : "Add");
    return result;
}

namespace {

void merge(EditResult& into, EditResult&& from)
{
    into.done = into.done || from.done;
    for (auto& key : from.added)
        into.added.push_back(std::move(key));
    if (from.refreshList) into.refreshList = std::move(from.refreshList);
}

// Byte and bit of the next item after one of the form's type at the form's address. Byte-wide
// arrays and strings leave one byte free after their elements.
void advanceAddress(ItemForm& form)
{
    const config::DataTypeName* type = config::offeredDataType(form.dataType);
    const auto byte = static_cast<int64_t>(std::llround(leadingNumber(form.address)));
    const auto bit = static_cast<int64_t>(std::llround(leadingNumber(form.bit)));
    const auto n = static_cast<int64_t>(std::llround(leadingNumber(form.elements)));
    const int64_t elementBytes = type == nullptr ? 0 : config::elementBits(*type) / 8;
    int64_t next = byte;
    if (type == nullptr) {
        // unknown text: the address stays
    } else if (type->varType == VT_BOOL) {
        if (form.bit == "7") {
            next = byte + 1;
            form.bit = "0";
        } else {
            form.bit = std::to_string(bit + 1);
        }
    } else if (type->varType == (VT_ARRAY | VT_BOOL)) {
        next = byte + (bit + n) / 8;
        form.bit = std::to_string((bit + n) % 8);
    } else if (!hasElements(type->displayName)) {
        next = byte + elementBytes;
    } else if (elementBytes == 1) {
        next = byte + n + 1;
    } else {
        next = byte + elementBytes * n;
    }
    form.address = std::to_string(next);
}

}  // namespace

EditResult EditorModel::addAndIncrement(std::string_view selectedKey, ItemForm& form)
{
    EditResult result = AddItemToColl(selectedKey, form, false);
    if (!result.done) return result;
    guarded("cmdAdd_Click", [&] {
        form.name = counterName("New_Item_", newItemNumber);
        form.comment.clear();
        advanceAddress(form);
    });
    return result;
}

EditResult EditorModel::addGroup(std::string_view selectedKey, ItemForm& form, std::string_view countText)
{
    EditResult result;
    if (!isNumeric(countText)) {
        ui_.message("Number of items is not valid.", Icon::None);
        return result;
    }
    int64_t count = 0;
    if (!guarded("cmdOkNumber_Click", [&] { count = numberIn(countText, -32768, 32767); })) return result;
    // The whole group is one step to undo.
    EditRecorder recorder(*this);
    for (int64_t i = 0; i < count; ++i) {
        EditResult one = addAndIncrement(selectedKey, form);
        const bool added = one.done;
        merge(result, std::move(one));
        if (!added) break;
    }
    recorder.commit(result, "Add");
    return result;
}

}  // namespace orva::editor
