#pragma once
// One undoable edit as recorded around a model operation: the subtrees it removed and added
// (with their places), the nodes it changed in place, the settings and the counters before and
// after. Undo and redo remove and insert those subtrees and re-key renamed nodes through the
// tree's and the collections' own operations, so keys, collections and tree stay in step.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "editor/EditorModel.h"
#include "editor/UndoStack.h"

namespace orva::editor {

using ObjectValue = std::variant<std::monostate, clsPLC, clsBranch, clsItem>;

// A node with its object: the shared object itself, so that it keeps its identity across undo
// and redo, and its fields as they were at that moment.
struct NodeImage {
    NodeKind kind = NodeKind::Item;
    std::string key;
    std::string text;
    bool expanded = false;
    std::shared_ptr<void> object;
    ObjectValue value;
    std::vector<NodeImage> children;
};

// A subtree and where it stands: below which node, at which child position, and for a PLC at
// which place of the PLC collection (the file lists PLCs in that order).
struct PlacedSubtree {
    std::string parentKey;
    std::size_t index = 0;
    std::size_t plcIndex = 0;
    NodeImage image;
};

// A node changed where it stands: its key, text and fields before and after.
struct InPlaceChange {
    NodeImage before;  // without children
    NodeImage after;
};

struct EditCounters {
    int32_t newPlc = 0;
    int32_t newBranch = 0;
    int32_t newItem = 0;
    int copyCount = 0;
};

class RecordedEdit final : public EditCommand {
public:
    std::string description;
    std::vector<PlacedSubtree> removed;
    std::vector<PlacedSubtree> added;
    std::vector<InPlaceChange> changed;
    std::optional<InterfaceSettings> settingsBefore;
    std::optional<InterfaceSettings> settingsAfter;
    EditCounters countersBefore;
    EditCounters countersAfter;

    std::string text() const override { return description; }
    EditResult undo(EditorModel& model) override;
    EditResult redo(EditorModel& model) override;
};

// Captures the state an operation is about to change and, when it has changed something,
// pushes one RecordedEdit. Recorders opened while another is open record nothing: the outer
// operation (Cut, Add Group, an import) is the one step.
class EditRecorder {
public:
    explicit EditRecorder(EditorModel& model);
    ~EditRecorder();
    EditRecorder(const EditRecorder&) = delete;
    EditRecorder& operator=(const EditRecorder&) = delete;

    bool active() const { return active_; }
    // Subtrees the operation may remove (delete, move).
    void mayRemove(const std::vector<std::string>& keys);
    // Nodes the operation may rename or change in place (their subtrees follow a rename).
    void mayChange(const std::vector<std::string>& keys);
    void mayChangeSettings();
    // Records what the operation did, described as `verb` and the objects concerned.
    void commit(const EditResult& result, std::string_view verb);

private:
    EditorModel& model_;
    bool active_ = false;
    std::vector<PlacedSubtree> removalCandidates_;
    std::vector<NodeImage> changeCandidates_;
    std::optional<InterfaceSettings> settings_;
    EditCounters counters_;
};

EditCounters countersOf(const EditorModel& model);

}  // namespace orva::editor
