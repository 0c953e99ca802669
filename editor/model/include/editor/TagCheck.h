#pragma once
// Checking items against their PLCs: every item of a selection read once through the server's
// own TCP/IP access library, with its value as text or the library's error text. Nothing is
// written to a PLC. The check copies what it needs from the model, so that it can run on a
// thread of its own while the window stays responsive.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace orva::editor {

class EditorModel;

struct CheckedItem {
    std::string key;       // item key, "Line1.DRIVES.Speed"
    std::string dataType;  // display name
    int block = 0;
    int byte = 0;
    int bit = 0;
    int elements = 0;
};

struct CheckedPlc {
    std::string name;
    std::string address;
    std::string addressB;  // a redundant PLC's second CPU, tried when the first does not answer
    std::string source;
    std::string sourceB;
    int slot = 0;
    int rack = 0;
    std::vector<CheckedItem> items;
};

// What the check found for one item: the value, or why it could not be read.
struct ItemCheck {
    std::string key;
    bool ok = false;
    std::string text;
};

class TagCheck {
public:
    // The items of the given nodes (a PLC, a branch or the root takes every item below it), by PLC.
    static TagCheck forNodes(const EditorModel& model, const std::vector<std::string>& keys);

    const std::vector<CheckedPlc>& plcs() const { return plcs_; }
    std::size_t itemCount() const;

    struct Timeouts {
        std::chrono::milliseconds connect{2000};
        std::chrono::milliseconds request{2000};
    };
    // Reads every item once, PLC after PLC; `item` is called for each item read or refused, and
    // `unreachable` once for a PLC that cannot be reached (its items are then not reported).
    // Stops between two reads when `cancel` is set. Calls come from the calling thread.
    void run(const std::atomic<bool>& cancel, const std::function<void(const ItemCheck&)>& item,
             const std::function<void(const std::string& plc, const std::string& error)>& unreachable,
             Timeouts timeouts) const;

private:
    std::vector<CheckedPlc> plcs_;
};

// Bytes a PLC holds for an item of this type; 0 for a type that is never read.
std::size_t checkedByteLength(const CheckedItem& item);

// The value of an item from its bytes, as text: "TRUE", "-2", "1.5", "[1, 2, 3]", "\"ABC\"".
// Empty when the bytes are fewer than the item needs.
std::string valueText(const CheckedItem& item, std::span<const uint8_t> bytes);

}  // namespace orva::editor
