// Finding tree nodes by the beginning of their text, in the order the nodes were added.
#include "editor/EditorModel.h"
#include "editor/Text.h"

namespace orva::editor {

namespace {

bool matches(const std::string& nodeText, std::string_view search, const std::string& upperSearch)
{
    return nodeText.size() >= search.size() &&
           upperText(std::string_view(nodeText).substr(0, search.size())) == upperSearch;
}

}  // namespace

std::optional<std::string> EditorModel::find(std::string_view text)
{
    if (text.empty()) return std::nullopt;
    const std::string upper = upperText(text);
    if (matches(tree.root().text(), text, upper)) return tree.root().key();
    for (const TreeNode* node : tree.nodesInOrder())
        if (matches(node->text(), text, upper)) return node->key();
    return std::nullopt;
}

std::optional<std::string> EditorModel::findNext(std::string_view text)
{
    if (text.empty()) return std::nullopt;
    const int wanted = ++findCounter_;
    const std::string upper = upperText(text);
    std::optional<std::string> selected;
    int found = 0;
    const auto visit = [&](const TreeNode& node) {
        if (!matches(node.text(), text, upper)) return false;
        selected = node.key();
        return ++found > wanted;
    };
    if (visit(tree.root())) return selected;
    for (const TreeNode* node : tree.nodesInOrder())
        if (visit(*node)) break;
    return selected;
}

}  // namespace orva::editor
