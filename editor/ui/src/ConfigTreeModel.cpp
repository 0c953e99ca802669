#include "editor/ui/ConfigTreeModel.h"

#include <algorithm>

#include "editor/ui/Icons.h"

namespace orva::editor::ui {

ConfigTreeModel::ConfigTreeModel(Tree& tree, QObject* parent) : QAbstractItemModel(parent), tree_(tree)
{
    tree_.setObserver(this);
}

ConfigTreeModel::~ConfigTreeModel()
{
    tree_.setObserver(nullptr);
}

const TreeNode* ConfigTreeModel::nodeOf(const QModelIndex& index)
{
    return index.isValid() ? static_cast<const TreeNode*>(index.internalPointer()) : nullptr;
}

const std::vector<const TreeNode*>& ConfigTreeModel::childrenOf(const TreeNode& node) const
{
    auto [entry, made] = children_.try_emplace(&node);
    if (made) {
        entry->second.reserve(node.childCount());
        for (const auto& child : node.children())
            entry->second.push_back(child.get());
    }
    return entry->second;
}

int ConfigTreeModel::rowOf(const TreeNode& node) const
{
    if (node.parent() == nullptr) return 0;
    const auto& siblings = childrenOf(*node.parent());
    // A node added last, the usual case, is found without a search; so is one just after the
    // node found before (an undo or a rename walks the siblings in order).
    if (!siblings.empty() && siblings.back() == &node) return static_cast<int>(siblings.size() - 1);
    constexpr std::size_t kNear = 4;
    for (std::size_t row = lastRow_; row < siblings.size() && row < lastRow_ + kNear; ++row)
        if (siblings[row] == &node) return static_cast<int>(lastRow_ = row);
    const auto found = std::find(siblings.begin(), siblings.end(), &node);
    if (found == siblings.end()) return -1;
    lastRow_ = static_cast<std::size_t>(found - siblings.begin());
    return static_cast<int>(lastRow_);
}

QModelIndex ConfigTreeModel::indexOf(const TreeNode& node) const
{
    const int row = rowOf(node);
    return row < 0 ? QModelIndex() : createIndex(row, 0, const_cast<TreeNode*>(&node));
}

QModelIndex ConfigTreeModel::indexOf(std::string_view key) const
{
    const TreeNode* node = tree_.find(key);
    return node == nullptr ? QModelIndex() : indexOf(*node);
}

QModelIndex ConfigTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || row < 0) return {};
    if (!parent.isValid())
        return row == 0 && bulkDepth_ == 0 ? createIndex(0, 0, const_cast<TreeNode*>(&tree_.root()))
                                           : QModelIndex();
    const auto& children = childrenOf(*nodeOf(parent));
    if (static_cast<std::size_t>(row) >= children.size()) return {};
    return createIndex(row, 0, const_cast<TreeNode*>(children[static_cast<std::size_t>(row)]));
}

QModelIndex ConfigTreeModel::parent(const QModelIndex& index) const
{
    const TreeNode* node = nodeOf(index);
    if (node == nullptr || node->parent() == nullptr) return {};
    return indexOf(*node->parent());
}

int ConfigTreeModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid()) return bulkDepth_ > 0 ? 0 : 1;
    if (parent.column() != 0) return 0;
    const TreeNode* node = nodeOf(parent);
    const auto cached = children_.find(node);
    return static_cast<int>(cached != children_.end() ? cached->second.size() : node->childCount());
}

bool ConfigTreeModel::hasChildren(const QModelIndex& parent) const
{
    return rowCount(parent) > 0;
}

int ConfigTreeModel::columnCount(const QModelIndex&) const
{
    return 1;
}

QVariant ConfigTreeModel::data(const QModelIndex& index, int role) const
{
    const TreeNode* node = nodeOf(index);
    if (node == nullptr) return {};
    switch (role) {
        case Qt::DisplayRole:
            return QString::fromStdString(node->text());
        case Qt::DecorationRole:
            return editorIcon(node->image());
        case KeyRole:
            return QString::fromStdString(node->key());
        case KindRole:
            return static_cast<int>(node->kind());
        case Qt::BackgroundRole:
            return index == highlighted_ ? QVariant(highlightBackground_) : QVariant();
        case Qt::ForegroundRole:
            return index == highlighted_ ? QVariant(highlightForeground_) : QVariant();
        default:
            return {};
    }
}

Qt::ItemFlags ConfigTreeModel::flags(const QModelIndex& index) const
{
    const TreeNode* node = nodeOf(index);
    if (node == nullptr) return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (node->kind() == NodeKind::Item) flags |= Qt::ItemNeverHasChildren;
    return flags;
}

void ConfigTreeModel::setHighlighted(const QModelIndex& index, const QBrush& background,
                                     const QBrush& foreground)
{
    if (QModelIndex(highlighted_) == index) return;
    const QModelIndex before = highlighted_;
    highlighted_ = index;
    highlightBackground_ = background;
    highlightForeground_ = foreground;
    if (before.isValid()) emit dataChanged(before, before, {Qt::BackgroundRole, Qt::ForegroundRole});
    if (index.isValid()) emit dataChanged(index, index, {Qt::BackgroundRole, Qt::ForegroundRole});
}

void ConfigTreeModel::refreshAll()
{
    beginResetModel();
    children_.clear();
    endResetModel();
}

ConfigTreeModel::BulkChange::BulkChange(ConfigTreeModel& model) : model_(model)
{
    if (model_.bulkDepth_++ > 0) return;
    model_.refreshAll();  // now empty
}

ConfigTreeModel::BulkChange::~BulkChange()
{
    if (--model_.bulkDepth_ > 0) return;
    model_.refreshAll();
}

void ConfigTreeModel::nodeAboutToBeAdded(const TreeNode& parent, const TreeNode* before)
{
    if (bulkDepth_ > 0) return;
    pendingRow_ = before != nullptr ? rowOf(*before) : static_cast<int>(parent.childCount());
    ++changing_;
    beginInsertRows(indexOf(parent), pendingRow_, pendingRow_);
}

void ConfigTreeModel::nodeAdded(const TreeNode& node)
{
    if (bulkDepth_ > 0) return;
    if (const auto cached = children_.find(node.parent()); cached != children_.end())
        cached->second.insert(cached->second.begin() + pendingRow_, &node);
    endInsertRows();
    --changing_;
}

void ConfigTreeModel::nodeAboutToBeRemoved(const TreeNode& node)
{
    if (bulkDepth_ > 0) {
        // The nodes go; so must any arrays of their children built before the bulk change.
        forgetSubtree(node);
        return;
    }
    pendingRemoval_.parent = node.parent();
    pendingRemoval_.row = rowOf(node);
    pendingRemoval_.subtree.clear();
    ++changing_;
    beginRemoveRows(indexOf(*node.parent()), pendingRemoval_.row, pendingRemoval_.row);
    // Collected only now: the views may have looked into the subtree while being told.
    std::vector<const TreeNode*> pending{&node};
    while (!pending.empty()) {
        const TreeNode* current = pending.back();
        pending.pop_back();
        if (children_.contains(current)) pendingRemoval_.subtree.push_back(current);
        for (const auto& child : current->children())
            pending.push_back(child.get());
    }
}

void ConfigTreeModel::nodeRemoved()
{
    if (bulkDepth_ > 0) return;
    if (const auto cached = children_.find(pendingRemoval_.parent); cached != children_.end())
        cached->second.erase(cached->second.begin() + pendingRemoval_.row);
    for (const TreeNode* gone : pendingRemoval_.subtree)
        children_.erase(gone);
    pendingRemoval_ = {};
    endRemoveRows();
    --changing_;
}

void ConfigTreeModel::forgetSubtree(const TreeNode& top)
{
    std::vector<const TreeNode*> pending{&top};
    while (!pending.empty()) {
        const TreeNode* current = pending.back();
        pending.pop_back();
        children_.erase(current);
        for (const auto& child : current->children())
            pending.push_back(child.get());
    }
}

void ConfigTreeModel::nodeChanged(const TreeNode& node)
{
    if (bulkDepth_ > 0) return;
    const QModelIndex index = indexOf(node);
    if (index.isValid()) emit dataChanged(index, index, {Qt::DisplayRole, KeyRole});
}

void ConfigTreeModel::treeAboutToBeReset()
{
    if (bulkDepth_ > 0) return;
    ++changing_;
    beginResetModel();
}

void ConfigTreeModel::treeReset()
{
    children_.clear();
    if (bulkDepth_ > 0) return;
    endResetModel();
    --changing_;
}

}  // namespace orva::editor::ui
