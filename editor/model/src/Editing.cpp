// Copy, cut, paste, delete and drag and drop in the tree and the list.
#include "Guard.h"
#include "RecordedEdit.h"
#include "editor/Text.h"

namespace orva::editor {

namespace {

constexpr std::string_view kDefaultNameRefused =
    "Please change Item name (do not use default name) before copying";
constexpr std::string_view kUnableToDrag = "Unable to drag nodes here";

}  // namespace

// ----- Copy and cut -----

void EditorModel::copy(const Selection& selection)
{
    copyItems(selection);
}

bool EditorModel::copyItems(const Selection& selection)
{
    bool complete = false;
    guarded("mnuCopy_Click", [&] {
        copyCount = 0;
        if (selection.listHasFocus) {
            std::vector<std::shared_ptr<clsItem>> taken;
            for (const auto& key : selection.rows) {
                const auto item = items.get(key);
                if (!item) continue;  // a PLC row
                if (startsWith(item->sName(), "New_Item") || startsWith(item->sName(), "Copied_Item")) {
                    ui_.message(kDefaultNameRefused, Icon::None);
                    // The rows before it are copied, yet the copy is incomplete: Cut deletes nothing.
                    if (!taken.empty()) clipboard = std::move(taken);
                    return;
                }
                taken.push_back(item);
            }
            complete = !taken.empty();
            if (complete) clipboard = std::move(taken);
            return;
        }
        const TreeNode* node = tree.find(selection.node);
        if (node == nullptr) return;
        if (node->kind() == NodeKind::Branch) {
            ui_.message("Please use Drag&Drop to copy and paste branches", Icon::None);
        } else if (node->kind() == NodeKind::Item) {
            if (startsWith(node->text(), "New_Item")) {
                ui_.message(kDefaultNameRefused, Icon::None);
                return;
            }
            const auto item = items.get(node->key());
            if (!item) raise(ErrorCode::InvalidCall, node->key());
            clipboard = {item};
            complete = true;
        }
    });
    return complete;
}

EditResult EditorModel::cut(const Selection& selection)
{
    // Nothing is deleted unless everything selected went into the clipboard.
    if (!copyItems(selection)) return {};
    EditRecorder recorder(*this);
    recorder.mayRemove(selectedKeys(selection));
    EditResult result = deleteSelection(selection);
    recorder.commit(result, "Cut");
    return result;
}

// ----- Paste -----

EditResult EditorModel::paste(std::string_view selectedKey)
{
    EditRecorder recorder(*this);
    EditResult result;
    guarded("mnuPaste_Click", [&] {
        TreeNode* branch = tree.find(selectedKey);
        if (branch == nullptr || branch->kind() != NodeKind::Branch) return;
        if (!clipboard) {
            ui_.message("No items to paste.", Icon::None);
            return;
        }
        for (const auto& source : *clipboard) {
            if (!source) {
                ui_.message("Copied object can not be added here ", Icon::None);
                continue;
            }
            if (source->sName().empty()) continue;
            auto item = std::make_shared<clsItem>();
            item->SetByCopy(*source, branch->key(), copyCount);
            // Branches and items share the key space, so the tree decides what is taken.
            while (items.contains(item->sKey()) || tree.containsKey(item->sKey())) {
                ++copyCount;
                const std::string suffix = "_" + std::to_string(copyCount);
                item->sName(item->sName() + suffix);
                item->sKey(item->sKey() + suffix);
            }
            items.add(item->sKey(), item);
            tree.add(*branch, item->sKey(), item->sName(), NodeKind::Item);
            result.added.push_back(item->sKey());
            result.done = true;
            result.refreshList = branch->key();
        }
        ++copyCount;
    });
    if (result.done) isSaved = false;
    recorder.commit(result, "Paste");
    return result;
}

// ----- Delete -----

void EditorModel::RemoveBranch(TreeNode& node)
{
    guarded("RemoveBranch", [&] {
        for (const auto& child : node.children())
            if (child->kind() == NodeKind::Item) items.remove(child->key());
        for (const auto& child : node.children()) {
            if (child->kind() != NodeKind::Branch) continue;
            branches.remove(child->key());
            RemoveBranch(*child);
        }
    });
}

namespace {

std::size_t itemsBelow(const TreeNode& top)
{
    std::size_t count = 0;
    std::vector<const TreeNode*> pending{&top};
    while (!pending.empty()) {
        const TreeNode* node = pending.back();
        pending.pop_back();
        for (const auto& child : node->children()) {
            if (child->kind() == NodeKind::Item) ++count;
            pending.push_back(child.get());
        }
    }
    return count;
}

}  // namespace

EditResult EditorModel::deleteSelection(const Selection& selection)
{
    EditRecorder recorder(*this);
    recorder.mayRemove(selectedKeys(selection));
    EditResult result;
    guarded("mnuDelete_Click", [&] {
        if (selection.listHasFocus) {
            if (selection.rows.empty()) return;
            if (ui_.question("Are you sure you want to delete the selected items ?", Buttons::YesNo) !=
                Answer::Yes)
                return;
            for (const auto& key : selection.rows) {
                TreeNode* node = tree.find(key);
                if (node == nullptr || node->kind() != NodeKind::Item)
                    continue;  // only items are listed for deletion
                items.remove(key);
                result.removed.push_back(node->key());
                tree.remove(*node);
                result.done = true;
            }
            result.refreshList = selection.node;
            return;
        }
        TreeNode* node = tree.find(selection.node);
        if (node == nullptr) return;
        const std::string parentKey = node->parent() != nullptr ? node->parent()->key() : std::string();
        if (node->kind() == NodeKind::Branch) {
            if (ui_.question("Are you sure you want to delete " + node->text() + " and all its items?",
                             Buttons::YesNo) != Answer::Yes)
                return;
            RemoveBranch(*node);
            branches.remove(node->key());
        } else if (node->kind() == NodeKind::Item) {
            if (ui_.question("Are you sure you want to delete " + node->text() + " ?", Buttons::YesNo) !=
                Answer::Yes)
                return;
            items.remove(node->key());
        } else if (node->kind() == NodeKind::Plc) {
            const std::size_t itemCount = itemsBelow(*node);
            if (ui_.question("Are you sure you want to delete PLC " + node->text() + " and its " +
                                 std::to_string(itemCount) + (itemCount == 1 ? " item?" : " items?"),
                             Buttons::YesNo) != Answer::Yes)
                return;
            RemoveBranch(*node);
            plcs.remove(node->key());
        } else {
            return;  // the root is not deleted
        }
        result.removed.push_back(node->key());
        tree.remove(*node);
        result.done = true;
        result.select = parentKey;
        result.refreshList = parentKey;
    });
    if (result.done) isSaved = false;
    recorder.commit(result, "Delete");
    return result;
}

// ----- Drag and drop -----

void EditorModel::CopySubTree(TreeNode& source, TreeNode& destination, bool copy, EditResult& result)
{
    guarded("CopySubTree", [&] {
        for (const auto& child : source.children()) {
            const std::string oldKey = child->key();
            const std::string newKey = destination.key() + "." + child->text();
            TreeNode* node = tree.add(destination, newKey, child->text(), child->kind());
            if (node == nullptr) raise(ErrorCode::KeyNotUnique, newKey);
            result.added.push_back(newKey);
            if (child->kind() == NodeKind::Item) {
                auto item = copy ? std::make_shared<clsItem>(*items.get(oldKey)) : items.remove(oldKey);
                item->sKey(newKey);
                if (!items.add(newKey, item)) raise(ErrorCode::DuplicateKey, newKey);
            } else if (child->kind() == NodeKind::Branch) {
                auto branch =
                    copy ? std::make_shared<clsBranch>(*branches.get(oldKey)) : branches.remove(oldKey);
                branch->sKey(newKey);
                if (!branches.add(newKey, branch)) raise(ErrorCode::DuplicateKey, newKey);
                CopySubTree(*child, *node, copy, result);
            }
        }
    });
}

EditResult EditorModel::dragDrop(std::string_view sourceKey, std::string_view targetKey, bool copyWithCtrl)
{
    EditRecorder recorder(*this);
    recorder.mayRemove({std::string(sourceKey)});
    EditResult result;
    guarded("TreeView1_OLEDragDrop", [&] {
        TreeNode* source = tree.find(sourceKey);
        TreeNode* target = tree.find(targetKey);
        if (source == nullptr || target == nullptr) return;
        // Only branches and items move; they belong below a PLC or a branch.
        const bool movable = source->kind() == NodeKind::Branch || source->kind() == NodeKind::Item;
        const bool holds = target->kind() == NodeKind::Plc || target->kind() == NodeKind::Branch;
        if (!movable || !holds) {
            ui_.message(kUnableToDrag, Icon::Exclamation);
            return;
        }
        if (source->parent() != nullptr && equalNoCase(target->key(), source->parent()->key())) return;
        if (source->isAncestorOf(*target)) {
            ui_.message(kUnableToDrag, Icon::Exclamation);
            return;
        }
        const std::string oldKey = source->key();
        const std::string newKey = target->key() + "." + source->text();
        if (tree.containsKey(newKey)) {
            ui_.message("Name already in use at this level. Move not allowed", Icon::None);
            return;
        }
        if (source->kind() == NodeKind::Item) {
            const auto original = items.get(oldKey);
            if (!original) raise(ErrorCode::InvalidCall, oldKey);
            auto item = copyWithCtrl ? std::make_shared<clsItem>(*original) : original;
            if (items.contains(newKey)) raise(ErrorCode::DuplicateKey, newKey);
            TreeNode* node = tree.add(*target, newKey, source->text(), source->kind());
            result.added.push_back(newKey);
            if (!copyWithCtrl) items.remove(oldKey);
            item->sKey(newKey);
            items.add(newKey, item);
            node->setExpanded(true);
        } else {
            const auto original = branches.get(oldKey);
            if (!original) raise(ErrorCode::InvalidCall, oldKey);
            auto branch = copyWithCtrl ? std::make_shared<clsBranch>(*original) : original;
            if (branches.contains(newKey)) raise(ErrorCode::DuplicateKey, newKey);
            TreeNode* node = tree.add(*target, newKey, source->text(), source->kind());
            result.added.push_back(newKey);
            if (!copyWithCtrl) branches.remove(oldKey);
            branch->sKey(newKey);
            branches.add(newKey, branch);
            CopySubTree(*source, *node, copyWithCtrl, result);
            node->setExpanded(true);
        }
        result.done = true;
        if (!copyWithCtrl) {
            result.removed.push_back(oldKey);
            tree.remove(*source);
        }
    });
    if (result.done) isSaved = false;
    recorder.commit(result, copyWithCtrl ? "Copy" : "Move");
    return result;
}

}  // namespace orva::editor
