#include "editor/EditorModel.h"

#include "Guard.h"
#include "RecordedEdit.h"

namespace orva::editor {

std::string_view objectKindText(ObjectKind kind)
{
    switch (kind) {
        case ObjectKind::Plc:
            return "plc";
        case ObjectKind::Branch:
            return "branch";
        case ObjectKind::Item:
            return "item";
    }
    return {};
}

EditorModel::EditorModel(UserInterface& ui) : ui_(ui) {}

void EditorModel::report(ErrorCode code, std::string_view routine, std::string_view detail)
{
    ui_.error(code, routine, detail);
}

void EditorModel::clearItemClipboard()
{
    clipboard.emplace();
    copyCount = 1;
}

void EditorModel::InitObjects()
{
    tree.reset({});
    clearItemClipboard();
}

void EditorModel::resetCollections()
{
    plcs.clear();
    items.clear();
    branches.clear();
    branchesUpperCased.clear();
}

void EditorModel::newConfiguration(ServerKind kind, std::string path)
{
    InitObjects();
    serverType = kind;
    filePath = std::move(path);
    isOpen = true;
    isSaved = false;
    tree.reset(filePath);
    resetCollections();
    newPlcNumber = newBranchNumber = newItemNumber = 0;
    settings = InterfaceSettings{};
    undoStack.clear(false);  // a new configuration matches no file yet
}

bool EditorModel::openConfiguration(const std::string& path)
{
    resetCollections();
    filePath = path;
    tree.reset(path);
    settings = InterfaceSettings{};
    undoStack.clear(false);
    if (!ImportXML(path)) return false;
    newItemNumber = static_cast<int32_t>(items.size() + 1);
    newBranchNumber = static_cast<int32_t>(branches.size() + 1);
    newPlcNumber = static_cast<int32_t>(plcs.size() + 1);
    isOpen = true;
    isSaved = true;
    undoStack.clear(true);
    return true;
}

void EditorModel::closeConfiguration()
{
    isOpen = false;
    InitObjects();
    resetCollections();
    undoStack.clear(false);
}

void EditorModel::markSaved()
{
    isSaved = true;
    undoStack.setClean();
}

EditResult EditorModel::undo()
{
    return stepUndoStack(true);
}

EditResult EditorModel::redo()
{
    return stepUndoStack(false);
}

EditResult EditorModel::stepUndoStack(bool back)
{
    EditResult result;
    if (!isOpen) return result;
    EditCommand* command = back ? undoStack.stepBack() : undoStack.stepForward();
    if (command == nullptr) return result;
    guarded(back ? "Undo" : "Redo", [&] { result = back ? command->undo(*this) : command->redo(*this); });
    // Back at the state of the file: nothing left to save.
    isSaved = undoStack.isClean();
    result.done = true;
    return result;
}

std::vector<std::string> EditorModel::selectedKeys(const Selection& selection)
{
    if (selection.listHasFocus) return selection.rows;
    return {selection.node};
}

std::string EditorModel::MakeChildKey(std::string_view name, std::string_view selectedKey, bool modify) const
{
    std::string parent(selectedKey);
    if (modify) {
        const TreeNode* node = tree.find(selectedKey);
        parent =
            node != nullptr && node->parent() != nullptr ? node->parent()->key() : parentKeyOf(selectedKey);
    }
    if (parent.empty()) return std::string(name);
    return parent + "." + std::string(name);
}

void EditorModel::RekeyChildren(TreeNode& node, std::vector<KeyChange>* changes)
{
    // Depth first with an explicit stack, children in tree order.
    std::vector<TreeNode*> pending{&node};
    while (!pending.empty()) {
        TreeNode* current = pending.back();
        pending.pop_back();
        std::vector<TreeNode*> childBranches;
        for (const auto& child : current->children()) {
            const std::string oldKey = child->key();
            std::string newKey = current->key() + "." + child->text();
            if (child->kind() == NodeKind::Item) {
                auto item = items.remove(oldKey);
                if (!item) raise(ErrorCode::InvalidCall, oldKey);
                item->sKey(newKey);
                if (!items.add(newKey, item)) raise(ErrorCode::DuplicateKey, newKey);
            } else if (child->kind() == NodeKind::Branch) {
                auto branch = branches.remove(oldKey);
                if (!branch) raise(ErrorCode::InvalidCall, oldKey);
                branch->sKey(newKey);
                if (!branches.add(newKey, branch)) raise(ErrorCode::DuplicateKey, newKey);
                childBranches.push_back(child.get());
            } else {
                continue;
            }
            if (!tree.setKey(*child, newKey)) raise(ErrorCode::KeyNotUnique, newKey);
            if (changes != nullptr) changes->push_back({oldKey, newKey});
        }
        for (auto it = childBranches.rbegin(); it != childBranches.rend(); ++it)
            pending.push_back(*it);
    }
}

ListContent EditorModel::listFor(std::string_view nodeKey) const
{
    ListContent content;
    const TreeNode* node = tree.find(nodeKey);
    if (node == nullptr) return content;
    switch (node->kind()) {
        case NodeKind::Config:
        case NodeKind::Plc:
            content.columns = {{"Plc Name", 50}, {"Address", 40}};
            if (node->kind() == NodeKind::Config) {
                for (const auto& entry : plcs)
                    content.rows.push_back(entry.value->AddToListView(serverType, settings));
            } else if (auto plc = plcs.get(node->key())) {
                content.rows.push_back(plc->AddToListView(serverType, settings));
            }
            break;
        case NodeKind::Branch:
            content.columns = {{"Item Name", 20},  {"Comment", 30},       {"Datatype", 20}, {"Data Byte", 30},
                               {"Data Block", 20}, {"Access Rights", 20}, {"Index", 30}};
            for (const auto& child : node->children())
                if (child->kind() == NodeKind::Item)
                    if (auto item = items.get(child->key()))
                        content.rows.push_back(item->AddToListView(true));
            break;
        case NodeKind::Item:
            content.columns = {{"Item Name", 20}, {"Comment", 30},    {"Datatype", 20},
                               {"data Byte", 30}, {"Data Block", 20}, {"Access Rights", 20}};
            if (auto item = items.get(node->key())) content.rows.push_back(item->AddToListView(false));
            break;
    }
    return content;
}

}  // namespace orva::editor
