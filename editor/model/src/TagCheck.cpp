#include "editor/TagCheck.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdio>
#include <optional>
#include <unordered_set>

#include "config/DataTypes.h"
#include "editor/EditorModel.h"
#include "plc/ByteReader.h"
#include "plc/TcpIpS7Tool.h"

namespace orva::editor {

namespace {

struct Layout {
    int bytes = 1;  // of one element; a bit counts as 0
    bool isSigned = false;
    bool isFloat = false;
    bool array = false;
    bool text = false;
};

std::optional<Layout> layoutOf(std::string_view displayName)
{
    const config::DataTypeName* type = config::offeredDataType(displayName);
    if (type == nullptr) return std::nullopt;
    const VarType base = baseType(type->varType);
    Layout layout;
    layout.bytes = config::elementBits(*type) / 8;
    layout.array = orva::isArrayType(type->varType);
    layout.text = base == VT_BSTR;
    layout.isSigned = base == VT_I1 || base == VT_I2 || base == VT_I4;
    layout.isFloat = base == VT_R4;
    return layout;
}

std::string numberText(const Layout& layout, uint32_t raw)
{
    if (layout.isFloat) {
        char buffer[32];
        const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, std::bit_cast<float>(raw));
        return ec == std::errc{} ? std::string(buffer, end) : std::string("?");
    }
    if (!layout.isSigned) return std::to_string(raw);
    switch (layout.bytes) {
        case 1:
            return std::to_string(static_cast<int8_t>(raw));
        case 2:
            return std::to_string(static_cast<int16_t>(raw));
        default:
            return std::to_string(static_cast<int32_t>(raw));
    }
}

uint32_t readElement(plc::ByteReader& reader, int bytes)
{
    switch (bytes) {
        case 2:
            return reader.u16();
        case 4:
            return reader.u32();
        default:
            return reader.u8();
    }
}

constexpr std::size_t kShownElements = 16;

std::string connectionText(plc::TcpIpS7Tool& tool, int code)
{
    char buffer[plc::kS7ErrorTextCapacity] = {};
    tool.errorText(code, buffer);
    return std::string(buffer) + " (" + std::to_string(code) + ")";
}

void copyText(char (&target)[16], const std::string& text)
{
    std::snprintf(target, sizeof target, "%s", text.c_str());
}

}  // namespace

std::size_t checkedByteLength(const CheckedItem& item)
{
    const auto layout = layoutOf(item.dataType);
    if (!layout) return 0;
    const auto n = static_cast<std::size_t>(std::max(item.elements, 0));
    if (layout->text) return n;
    if (layout->bytes == 0)
        return layout->array ? (static_cast<std::size_t>(std::max(item.bit, 0)) + n + 7) / 8 : 1;
    const auto size = static_cast<std::size_t>(layout->bytes);
    return layout->array ? size * n : size;
}

std::string valueText(const CheckedItem& item, std::span<const uint8_t> bytes)
{
    const auto layout = layoutOf(item.dataType);
    if (!layout || bytes.size() < checkedByteLength(item)) return {};
    plc::ByteReader reader(bytes);
    if (layout->text) {
        // One character per byte, as the server reads it; the unused tail of zeros is left out.
        std::string text = "\"";
        const auto chars = reader.bytes(static_cast<std::size_t>(item.elements));
        std::size_t used = chars.size();
        while (used > 0 && chars[used - 1] == 0)
            --used;
        for (std::size_t i = 0; i < used; ++i) {
            const uint8_t c = chars[i];
            if (c < 0x20 || c == 0x7F) {
                text += '?';
            } else if (c < 0x80) {
                text += static_cast<char>(c);
            } else {
                text += static_cast<char>(0xC0 | (c >> 6));
                text += static_cast<char>(0x80 | (c & 0x3F));
            }
        }
        return text + "\"";
    }
    if (layout->bytes == 0) {
        const auto bitAt = [&](int index) {
            const auto byte = static_cast<std::size_t>(index / 8);
            return byte < bytes.size() && (bytes[byte] >> (index % 8) & 1) != 0;
        };
        if (!layout->array) return bitAt(item.bit % 8) ? "TRUE" : "FALSE";
        std::string text = "[";
        for (int k = 0; k < item.elements; ++k) {
            if (static_cast<std::size_t>(k) == kShownElements) return text + ", …]";
            if (k > 0) text += ", ";
            text += bitAt(item.bit + k) ? "TRUE" : "FALSE";
        }
        return text + "]";
    }
    if (!layout->array) return numberText(*layout, readElement(reader, layout->bytes));
    std::string text = "[";
    for (int k = 0; k < item.elements; ++k) {
        if (static_cast<std::size_t>(k) == kShownElements) return text + ", …]";
        if (k > 0) text += ", ";
        text += numberText(*layout, readElement(reader, layout->bytes));
    }
    return reader.ok() ? text + "]" : std::string();
}

TagCheck TagCheck::forNodes(const EditorModel& model, const std::vector<std::string>& keys)
{
    TagCheck check;
    std::unordered_set<const TreeNode*> seen;
    std::vector<std::pair<const TreeNode*, const TreeNode*>> items;  // (item, its PLC)
    for (const auto& key : keys) {
        const TreeNode* top = model.tree.find(key);
        if (top == nullptr) continue;
        std::vector<const TreeNode*> pending{top};
        while (!pending.empty()) {
            const TreeNode* node = pending.back();
            pending.pop_back();
            if (node->kind() == NodeKind::Item) {
                if (!seen.insert(node).second) continue;
                const TreeNode* plc = node->parent();
                while (plc != nullptr && plc->kind() != NodeKind::Plc)
                    plc = plc->parent();
                if (plc != nullptr) items.emplace_back(node, plc);
                continue;
            }
            for (auto it = node->children().rbegin(); it != node->children().rend(); ++it)
                pending.push_back(it->get());
        }
    }
    // PLCs in the order of the configuration, items in tree order within each.
    for (const auto& entry : model.plcs) {
        CheckedPlc plc;
        const clsPLC& source = *entry.value;
        plc.name = source.sName;
        plc.address = source.sAddress;
        if (source.bRedundant) {
            plc.addressB = source.sSlave;
            plc.sourceB = source.sSourceSlave;
        }
        plc.source = source.sSourceMaster;
        plc.slot = source.nSlot;
        plc.rack = source.nRack;
        for (const auto& [node, owner] : items) {
            if (owner->key() != entry.key) continue;
            const auto object = model.items.get(node->key());
            if (!object) continue;
            plc.items.push_back({node->key(), object->sDataType(), object->nBlock(), object->nAddress(),
                                 object->nBitNumber(), object->nElements()});
        }
        if (!plc.items.empty()) check.plcs_.push_back(std::move(plc));
    }
    return check;
}

std::size_t TagCheck::itemCount() const
{
    std::size_t count = 0;
    for (const auto& plc : plcs_)
        count += plc.items.size();
    return count;
}

void TagCheck::run(const std::atomic<bool>& cancel, const std::function<void(const ItemCheck&)>& item,
                   const std::function<void(const std::string&, const std::string&)>& unreachable,
                   Timeouts timeouts) const
{
    std::vector<plc::PlcConnectionEntry> table(plcs_.size());
    for (std::size_t i = 0; i < plcs_.size(); ++i) {
        plc::PlcConnectionEntry& entry = table[i];
        copyText(entry.address, plcs_[i].address);
        copyText(entry.addressB, plcs_[i].addressB);
        copyText(entry.source, plcs_[i].source);
        copyText(entry.sourceB, plcs_[i].sourceB);
        entry.hasSource = plcs_[i].source.empty() ? 0 : 1;
        entry.hasSourceB = plcs_[i].sourceB.empty() ? 0 : 1;
        entry.cpuSlot = static_cast<uint8_t>(plcs_[i].slot);
        entry.rackNr = static_cast<uint8_t>(plcs_[i].rack);
    }
    plc::TcpIpS7Tool tool(plc::S7Timeouts{timeouts.connect, timeouts.request});
    if (const int code = tool.open(table.data(), static_cast<int>(table.size())); code != plc::kS7Ok) {
        for (const auto& plc : plcs_)
            unreachable(plc.name, connectionText(tool, code));
        return;
    }
    std::vector<uint8_t> buffer;
    for (std::size_t p = 0; p < plcs_.size() && !cancel.load(); ++p) {
        const CheckedPlc& plc = plcs_[p];
        const int number = static_cast<int>(p) + 1;
        int code = tool.selectPlc(number, 0);
        if (code != plc::kS7Ok && !plc.addressB.empty()) code = tool.selectPlc(number, 1);
        if (code != plc::kS7Ok) {
            unreachable(plc.name, connectionText(tool, code));
            continue;
        }
        for (const auto& checked : plc.items) {
            if (cancel.load()) break;
            const std::size_t length = checkedByteLength(checked);
            if (length == 0) {
                item({checked.key, false, "Not read: the data type is not one the server reads."});
                continue;
            }
            buffer.assign(length, 0);
            // Read in pieces of what one request carries, as the server's read blocks do.
            code = plc::kS7Ok;
            for (std::size_t offset = 0; offset < length && code == plc::kS7Ok;) {
                const auto count =
                    static_cast<int>(std::min<std::size_t>(length - offset, plc::kMaxReadPiece));
                code = tool.readBytes(checked.block, count, checked.byte + static_cast<int>(offset),
                                      buffer.data() + offset);
                offset += static_cast<std::size_t>(count);
            }
            if (code == plc::kS7Ok) {
                item({checked.key, true, valueText(checked, buffer)});
            } else if (code < plc::kS7BadArgument) {
                // The connection broke: the PLC is reported once and its other items are left.
                unreachable(plc.name, connectionText(tool, code));
                break;
            } else {
                item({checked.key, false, connectionText(tool, code)});
            }
        }
    }
    tool.close();
}

}  // namespace orva::editor
