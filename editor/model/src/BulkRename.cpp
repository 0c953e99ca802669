// Renaming and re-commenting many items at once from lines of clipboard text.
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "Guard.h"
#include "RecordedEdit.h"
#include "Validation.h"
#include "editor/Text.h"

namespace orva::editor {

std::vector<std::string> EditorModel::splitClipboardLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t found = text.find("\r\n", pos);
        if (found == std::string_view::npos) break;
        lines.push_back(trimSpaces(text.substr(pos, found - pos)));
        pos = found + 2;
    }
    if (lines.empty() && !text.empty()) lines.emplace_back(text);
    return lines;
}

namespace {

struct RenameRow {
    TreeNode* node;
    std::shared_ptr<clsItem> item;
};

// The clipboard's lines, one for each selected row; nothing (and the user told why) when the
// clipboard is empty or holds another number of lines.
std::optional<std::vector<std::string>> clipboardLinesFor(UserInterface& ui, const Selection& selection)
{
    const std::string text = ui.clipboardText();
    if (text.empty()) {
        ui.message("Empty clipboard !", Icon::None);
        return std::nullopt;
    }
    auto lines = EditorModel::splitClipboardLines(text);
    if (lines.size() != selection.rows.size()) {
        ui.message("Invalid selection", Icon::None);
        return std::nullopt;
    }
    return lines;
}

}  // namespace

EditResult EditorModel::pasteName(const Selection& selection)
{
    EditRecorder recorder(*this);
    recorder.mayChange(selection.rows);
    EditResult result;
    guarded("Paste_Name_Click", [&] {
        const auto pasted = clipboardLinesFor(ui_, selection);
        if (!pasted) return;
        const std::vector<std::string>& lines = *pasted;
        std::vector<RenameRow> rows;
        std::unordered_set<const TreeNode*> selected;
        for (const auto& key : selection.rows) {
            TreeNode* node = tree.find(key);
            auto item = items.get(key);
            if (node == nullptr || !item || node->kind() != NodeKind::Item)
                raise(ErrorCode::InvalidCall, key);
            rows.push_back({node, std::move(item)});
            selected.insert(node);
        }
        // The names the rows will carry afterwards (a refused new name leaves the old one), which
        // must be unique below each parent among themselves and against the unselected siblings.
        std::unordered_map<const TreeNode*, std::unordered_set<std::string>> finalNames;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const bool acceptable = !enteredNameProblem(ObjectKind::Item, lines[i]) &&
                                    lines[i].find_first_of(" .,:;\\/|") == std::string::npos;
            const std::string& name = acceptable ? lines[i] : rows[i].node->text();
            const TreeNode* parent = rows[i].node->parent();
            bool taken = !finalNames[parent].insert(upperText(name)).second;
            const TreeNode* sibling = tree.find(parent->key() + "." + name);
            if (sibling != nullptr && sibling->parent() == parent && !selected.contains(sibling))
                taken = true;
            if (taken) {
                ui_.message("Name already existing", Icon::None);
                return;
            }
        }
        ReplaceTable table{"Item name", "New Item name", {}};
        for (std::size_t i = 0; i < rows.size(); ++i)
            table.rows.emplace_back(rows[i].item->sName(), lines[i]);
        if (!ui_.confirmReplace(table)) return;

        std::vector<std::pair<TreeNode*, std::string>> keys;
        std::vector<std::size_t> accepted;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (!CheckChars(lines[i]) || !CheckName(ObjectKind::Item, lines[i])) continue;
            accepted.push_back(i);
            keys.emplace_back(rows[i].node, rows[i].item->getParentKey() + "." + lines[i]);
        }
        // All at once, so that names may be exchanged between selected items. The tree takes the
        // new keys first: when it refuses them, neither it nor the collection has changed.
        std::vector<std::string> oldKeys;
        for (const std::size_t i : accepted)
            oldKeys.push_back(rows[i].node->key());
        if (!tree.setKeys(keys)) raise(ErrorCode::KeyNotUnique);
        for (const auto& oldKey : oldKeys)
            items.remove(oldKey);
        for (std::size_t n = 0; n < accepted.size(); ++n) {
            const RenameRow& row = rows[accepted[n]];
            row.item->sKey(keys[n].second);
            row.item->sName(lines[accepted[n]]);
            items.add(keys[n].second, row.item);
            tree.setText(*row.node, lines[accepted[n]]);
            result.rekeyed.push_back({oldKeys[n], keys[n].second});
        }
        result.done = !accepted.empty();
        result.refreshList = selection.node;
        isSaved = false;
        ui_.clearClipboard();
    });
    recorder.commit(result, "Rename");
    return result;
}

EditResult EditorModel::pasteComment(const Selection& selection)
{
    EditRecorder recorder(*this);
    recorder.mayChange(selection.rows);
    EditResult result;
    guarded("Paste_Comment_Click", [&] {
        const auto pasted = clipboardLinesFor(ui_, selection);
        if (!pasted) return;
        const std::vector<std::string>& lines = *pasted;
        std::vector<std::shared_ptr<clsItem>> selectedItems;
        for (const auto& key : selection.rows) {
            auto item = items.get(key);
            if (!item) raise(ErrorCode::InvalidCall, key);
            selectedItems.push_back(std::move(item));
        }
        ReplaceTable table{"Item comment", "New Item comment", {}};
        for (std::size_t i = 0; i < selectedItems.size(); ++i)
            table.rows.emplace_back(selectedItems[i]->sComment(), lines[i]);
        if (!ui_.confirmReplace(table)) return;
        for (std::size_t i = 0; i < selectedItems.size(); ++i)
            selectedItems[i]->sComment(lines[i]);
        result.done = !selectedItems.empty();
        result.refreshList = selection.node;
        if (selectedItems.size() > 1) ui_.clearClipboard();
        isSaved = false;
    });
    recorder.commit(result, "Change comment of");
    return result;
}

}  // namespace orva::editor
