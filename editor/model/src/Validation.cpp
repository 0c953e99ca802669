// Checks of names and dialog fields before anything changes in the model.
#include "Validation.h"

#include "Guard.h"
#include "XmlText.h"
#include "config/ElementNames.h"
#include "editor/Text.h"
#include "plc/Socket.h"

namespace orva::editor {

namespace {

std::string characterMessage(std::string_view character, std::string_view name)
{
    return "Character (" + std::string(character) + ") not acceptable in string " + std::string(name);
}

// Letters of ASCII and Latin-1, and the underscore, may start an element name; digits, the
// hyphen, the full stop and the middle dot may follow.
bool nameStartChar(char32_t c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
           (c >= 0xC0 && c <= 0xFF && c != 0xD7 && c != 0xF7);
}

bool nameChar(char32_t c)
{
    return nameStartChar(c) || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == 0xB7;
}

// For a branch name: the first character that cannot stand in it, with whether it is the first.
std::optional<std::pair<std::string, bool>> elementNameProblem(std::string_view name)
{
    for (std::size_t pos = 0; pos < name.size();) {
        char32_t c = 0;
        const std::size_t length = decodeUtf8(name, pos, c);
        if (length == 0) return std::make_pair(std::string(name.substr(pos, 1)), pos == 0);
        const bool ok = pos == 0 ? nameStartChar(c) : nameChar(c);
        if (!ok) return std::make_pair(std::string(name.substr(pos, length)), pos == 0);
        pos += length;
    }
    return std::nullopt;
}

// Characters, not bytes, of UTF-8 text.
std::size_t characterCount(std::string_view utf8)
{
    std::size_t count = 0;
    for (const char c : utf8)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
    return count;
}

// A text the servers can hold where they keep an IP address or a local source.
bool fitsTcpIpText(std::string_view text)
{
    return characterCount(text) <= config::xml::MAX_TCPIP_TEXT;
}

// A number the servers can hold in a data block, byte or address field.
bool fitsServerNumber(std::string_view text)
{
    const double value = leadingNumber(text);
    return value >= 0 && value <= 65535;
}

// An address the server's access library can connect to: "a.b.c.d" with an optional ":port".
bool connectableAddress(std::string_view text)
{
    sockaddr_in endpoint{};
    return plc::parseEndpoint(text, 102, endpoint);
}

constexpr std::string_view kAddressRule =
    " It must be an IP address (a.b.c.d), optionally followed by :port (1 to 65535).";

constexpr std::string_view kCheckedChars[] = {" ", ".", ",", ":", ";", "\\", "/", "|"};
// A full stop would split the key; the markup characters are kept out of typed names. Spaces
// are fine in PLC and item names (the proposed default names hold one) but not in a branch,
// whose name is an element name.
constexpr std::string_view kKeyChars[] = {".", "<", ">", "&", "\""};

}  // namespace

std::optional<std::string> enteredNameProblem(ObjectKind kind, std::string_view name)
{
    if (name.empty())
        return std::string(kind == ObjectKind::Item ? "Item name field is empty." : "Name field is empty.");
    for (const auto character : kKeyChars)
        if (name.find(character) != std::string_view::npos) return characterMessage(character, name);
    if (kind == ObjectKind::Branch) {
        if (equalNoCase(name, "tag")) return "Name (" + std::string(name) + ") not acceptable for a branch";
        if (const auto problem = elementNameProblem(name)) {
            if (problem->second)
                return "Character (" + problem->first + ") not acceptable at the beginning of string " +
                       std::string(name);
            return characterMessage(problem->first, name);
        }
    }
    return std::nullopt;
}

bool importedNameAcceptable(ObjectKind kind, std::string_view name)
{
    if (name.empty() || name.find('.') != std::string_view::npos) return false;
    if (kind == ObjectKind::Branch) return !equalNoCase(name, "tag") && !elementNameProblem(name);
    return true;
}

void EditorModel::tell(std::string_view text)
{
    if (checkMessage_ != nullptr) {
        if (checkMessage_->empty()) *checkMessage_ = std::string(text);
        return;
    }
    ui_.message(text, Icon::None);
}

bool EditorModel::CheckName(ObjectKind kind, std::string_view name)
{
    if (const auto problem = enteredNameProblem(kind, name)) {
        tell(*problem);
        return false;
    }
    return true;
}

bool EditorModel::CheckDuplNames(ObjectKind kind, std::string_view name, std::string_view selectedKey,
                                 bool add)
{
    static_cast<void>(kind);  // PLCs, branches and items are all found through their keys
    bool unique = false;
    guarded("CheckDuplNames", [&] {
        const TreeNode* selected = tree.find(selectedKey);
        if (selected == nullptr) raise(ErrorCode::ElementNotFound, std::string(selectedKey));
        const TreeNode* reference = add ? selected : selected->parent();
        if (reference == nullptr) raise(ErrorCode::ElementNotFound, std::string(selectedKey));
        // Keys are the parent's key and the name, compared without regard to case, so the key
        // index finds a sibling of the same name at once. Branches and items share that key
        // space below a parent, so they are compared together.
        const std::string key =
            reference->key().empty() ? std::string(name) : reference->key() + "." + std::string(name);
        const TreeNode* sibling = tree.find(key);
        if (sibling != nullptr && sibling->parent() == reference && (add || sibling != selected)) {
            tell("Name already existing. Please use a different name");
            return;
        }
        unique = true;
    });
    return unique;
}

bool EditorModel::CheckChars(std::string_view name)
{
    for (const auto character : kCheckedChars) {
        if (name.find(character) != std::string_view::npos) {
            tell(characterMessage(character, name));
            return false;
        }
    }
    return true;
}

bool EditorModel::itemNameKeyFilter(char c)
{
    return c == '-' || c == '_' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
           (c >= 'a' && c <= 'z') || c == '\b';
}

bool EditorModel::numberKeyFilter(char c)
{
    return (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '\b' || c == '\t' || c == '\n' ||
           c == '\r' || c == ' ';
}

bool EditorModel::CheckFields(const ItemForm& form)
{
    bool ok = false;
    const bool ran = guarded("CheckFields", [&] {
        const auto fail = [&](const std::string& text) { tell(text); };
        if (form.name.empty()) return fail("Item name field is empty.");
        if (!CheckName(ObjectKind::Item, form.name)) return;
        const auto ranged = [&](std::string_view label, const std::string& text, double hi) {
            if (text.empty()) {
                fail(std::string(label) + " field is empty.");
                return false;
            }
            const double value = leadingNumber(text);
            if (value < 0 || value > hi) {
                fail(std::string(label) + " field is not valid. It must be between 0 and " +
                     std::to_string(static_cast<int>(hi)) + ".");
                return false;
            }
            return true;
        };
        if (!ranged("Data Byte", form.address, 65535)) return;
        if (!ranged("Data Block", form.block, 65535)) return;
        if (form.bitEnabled && !ranged("Bit number", form.bit, 15)) return;
        if (form.elementsEnabled) {
            if (form.elements.empty()) return fail("Number of elements field is empty.");
            // The file holds at most 65535 elements.
            const double value = leadingNumber(form.elements);
            if (value < 0 || value > 65535) return fail("Number of elements field is not valid.");
        }
        ok = true;
    });
    return ran && ok;
}

bool EditorModel::CheckFields(const PlcForm& form)
{
    const auto fail = [&](std::string_view text) {
        tell(text);
        return false;
    };
    try {
        if (form.name.empty()) return fail("Name field is empty.");
        if (!CheckName(ObjectKind::Plc, form.name)) return false;
        if (serverType == ServerKind::Vardel) return true;
        if (form.address.empty()) return fail("Address field is empty.");
        if (!isNumeric(form.slot)) return fail("Slot number is not valid.");
        const double slot = leadingNumber(form.slot);
        if (slot < 0 || slot > 127) return fail("Slot number must be between 0 and 127.");
        if (serverType != ServerKind::Tornel) {
            // The servers read an MPI address as a number; any other text would lose the PLC.
            if (!isNumeric(form.address) || !fitsServerNumber(form.address))
                return fail("Address field is not valid.");
            return true;
        }
        if (!isNumeric(form.rack)) return fail("Rack number is not valid.");
        const double rack = leadingNumber(form.rack);
        if (rack < 0 || rack > 127) return fail("rack number must be between 0 and 127.");
        // Longer addresses and sources make the server skip the PLC.
        if (!fitsTcpIpText(form.address))
            return fail("Address field is not valid. It must be at most 15 characters.");
        if (!connectableAddress(form.address))
            return fail("Address field is not valid." + std::string(kAddressRule));
        if (!fitsTcpIpText(form.source))
            return fail("Source field is not valid. It must be at most 15 characters.");
        return true;
    } catch (...) {
        return fail("Error. Check fields.");
    }
}

bool EditorModel::checkRedundancy(const RedundancyForm& form)
{
    if (!form.chkRed) return true;
    const auto fail = [&](std::string_view text) {
        tell(text);
        return false;
    };
    if (trimSpaces(form.address).empty()) return fail("Missing Slave Address.");
    // The server ignores the whole redundancy when an address, a source, the block or a byte is
    // beyond what it can hold, so such values are refused here with the field's message.
    if (!fitsTcpIpText(trimSpaces(form.address)))
        return fail("Slave Address is not valid. It must be at most 15 characters.");
    if (!connectableAddress(trimSpaces(form.address)))
        return fail("Slave Address is not valid." + std::string(kAddressRule));
    if (!fitsTcpIpText(trimSpaces(form.source)))
        return fail("Slave Source is not valid. It must be at most 15 characters.");
    if (!isNumeric(form.block) || !fitsServerNumber(form.block)) return fail("Check Status Word Block.");
    if (!isNumeric(form.statusByte) || !fitsServerNumber(form.statusByte))
        return fail("Check Status Word Byte.");
    if (!isNumeric(form.statusBit)) return fail("Check Status Word Bit.");
    if (!isNumeric(form.cmdByte) || !fitsServerNumber(form.cmdByte)) return fail("Check Command Word Byte.");
    if (!isNumeric(form.cmdBit)) return fail("Check Command Word Bit.");
    return true;
}

bool EditorModel::checkSettings(const SettingsForm& form)
{
    if (serverType == ServerKind::Lorvik && !isNumeric(form.master)) {
        tell("Invalid master Id");
        return false;
    }
    if ((serverType == ServerKind::Tornel || serverType == ServerKind::Vardel) &&
        trimSpaces(form.iface).empty()) {
        tell("Empty Interface field name");
        return false;
    }
    return serverType != ServerKind::Pennat;
}

}  // namespace orva::editor
