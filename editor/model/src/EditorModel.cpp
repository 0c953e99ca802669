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
    gaClipboard.assign(1, nullptr);
    gnCopyCount = 1;
}

void EditorModel::InitObjects()
{
    tree.reset({});
    clearItemClipboard();
}

void EditorModel::resetCollections()
{
    gcolPlc.clear();
    gcolItems.clear();
    gcolBranches.clear();
    branchesUpperCased.clear();
}

void EditorModel::newConfiguration(ServerKind kind, std::string path)
{
    InitObjects();
    gsServerType = kind;
    msConfigFileName = std::move(path);
    gbCfgOpen = true;
    gbCfgSaved = false;
    tree.reset(msConfigFileName);
    resetCollections();
    gnNewPlc = gnNewBranch = gnNewItem = 0;
    settings = InterfaceSettings{};
    undoStack.clear(false);  // a new configuration matches no file yet
}

bool EditorModel::openConfiguration(const std::string& path)
{
    resetCollections();
    msConfigFileName = path;
    tree.reset(path);
    settings = InterfaceSettings{};
    undoStack.clear(false);
    if (!ImportXML(path)) return false;
    gnNewItem = static_cast<int32_t>(gcolItems.size() + 1);
    gnNewBranch = static_cast<int32_t>(gcolBranches.size() + 1);
    gnNewPlc = static_cast<int32_t>(gcolPlc.size() + 1);
    gbCfgOpen = true;
    gbCfgSaved = true;
    undoStack.clear(true);
    return true;
}

void EditorModel::closeConfiguration()
{
    gbCfgOpen = false;
    InitObjects();
    resetCollections();
    undoStack.clear(false);
}

void EditorModel::markSaved()
{
    gbCfgSaved = true;
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
    if (!gbCfgOpen) return result;
    EditCommand* command = back ? undoStack.stepBack() : undoStack.stepForward();
    if (command == nullptr) return result;
    guarded(back ? "Undo" : "Redo", [&] { result = back ? command->undo(*this) : command->redo(*this); });
    // Back at the state of the file: nothing left to save.
    gbCfgSaved = undoStack.isClean();
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
        std::vector<TreeNode*> branches;
        for (const auto& child : current->children()) {
            const std::string oldKey = child->key();
            std::string newKey = current->key() + "." + child->text();
            if (child->kind() == NodeKind::Item) {
                auto item = gcolItems.remove(oldKey);
                if (!item) raise(ErrorCode::InvalidCall, oldKey);
                item->sKey(newKey);
                if (!gcolItems.add(newKey, item)) raise(ErrorCode::DuplicateKey, newKey);
            } else if (child->kind() == NodeKind::Branch) {
                auto branch = gcolBranches.remove(oldKey);
                if (!branch) raise(ErrorCode::InvalidCall, oldKey);
                branch->sKey(newKey);
                if (!gcolBranches.add(newKey, branch)) raise(ErrorCode::DuplicateKey, newKey);
                branches.push_back(child.get());
            } else {
                continue;
            }
            if (!tree.setKey(*child, newKey)) raise(ErrorCode::KeyNotUnique, newKey);
            if (changes != nullptr) changes->push_back({oldKey, newKey});
        }
        for (auto it = branches.rbegin(); it != branches.rend(); ++it)
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
                for (const auto& entry : gcolPlc)
                    content.rows.push_back(entry.value->AddToListView(gsServerType, settings));
            } else if (auto plc = gcolPlc.get(node->key())) {
                content.rows.push_back(plc->AddToListView(gsServerType, settings));
            }
            break;
        case NodeKind::Branch:
            content.columns = {{"Item Name", 20},  {"Comment", 30},       {"Datatype", 20}, {"Data Byte", 30},
                               {"Data Block", 20}, {"Access Rights", 20}, {"Index", 30}};
            for (const auto& child : node->children())
                if (child->kind() == NodeKind::Item)
                    if (auto item = gcolItems.get(child->key()))
                        content.rows.push_back(item->AddToListView(true));
            break;
        case NodeKind::Item:
            content.columns = {{"Item Name", 20}, {"Comment", 30},    {"Datatype", 20},
                               {"data Byte", 30}, {"Data Block", 20}, {"Access Rights", 20}};
            if (auto item = gcolItems.get(node->key())) content.rows.push_back(item->AddToListView(false));
            break;
    }
    return content;
}

}  // namespace orva::editor
