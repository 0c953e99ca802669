#pragma once
// The model's tree as a Qt item model: one column, each index pointing at its tree node. It
// follows the tree's own change notices, so a view over it repaints exactly the nodes an edit,
// an undo or a redo touched. Rows of a parent are looked up in a per-parent array built on
// first use and kept in step with each insertion and removal.

#include <QAbstractItemModel>
#include <QBrush>
#include <QPersistentModelIndex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "editor/Tree.h"

namespace orva::editor::ui {

class ConfigTreeModel : public QAbstractItemModel, private TreeObserver {
    Q_OBJECT
public:
    static constexpr int KeyRole = Qt::UserRole;
    static constexpr int KindRole = Qt::UserRole + 1;

    // Observes `tree` until destroyed; the tree must outlive this model.
    explicit ConfigTreeModel(Tree& tree, QObject* parent = nullptr);
    ~ConfigTreeModel() override;

    QModelIndex indexOf(const TreeNode& node) const;
    // Invalid when no node has the key; "" is the root.
    QModelIndex indexOf(std::string_view key) const;
    static const TreeNode* nodeOf(const QModelIndex& index);

    // Shows a node in the highlight colours (the target of a drag); an invalid index clears it.
    void setHighlighted(const QModelIndex& index, const QBrush& background, const QBrush& foreground);
    QModelIndex highlighted() const { return highlighted_; }

    // Tells the views to read the whole tree again.
    void refreshAll();

    // Loading a whole configuration: the views show an empty tree meanwhile and the whole tree
    // once the outermost guard ends, instead of a notice per node.
    class BulkChange {
    public:
        explicit BulkChange(ConfigTreeModel& model);
        ~BulkChange();
        BulkChange(const BulkChange&) = delete;
        BulkChange& operator=(const BulkChange&) = delete;

    private:
        ConfigTreeModel& model_;
    };

    // True while the tree is changing under an operation of the model (between its notices).
    bool changing() const { return changing_ > 0; }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;

private:
    void nodeAboutToBeAdded(const TreeNode& parent, const TreeNode* before) override;
    void nodeAdded(const TreeNode& node) override;
    void nodeAboutToBeRemoved(const TreeNode& node) override;
    void nodeRemoved() override;
    void nodeChanged(const TreeNode& node) override;
    void treeAboutToBeReset() override;
    void treeReset() override;

    const std::vector<const TreeNode*>& childrenOf(const TreeNode& node) const;
    int rowOf(const TreeNode& node) const;
    void forgetSubtree(const TreeNode& top);

    Tree& tree_;
    // Children of the parents a view has looked into, in the tree's order.
    mutable std::unordered_map<const TreeNode*, std::vector<const TreeNode*>> children_;
    mutable std::size_t lastRow_ = 0;  // where rowOf() found a node last
    int bulkDepth_ = 0;
    int changing_ = 0;
    int pendingRow_ = 0;  // where the node being added goes
    // What a removal in progress tidies up once the tree has let the nodes go.
    struct PendingRemoval {
        const TreeNode* parent = nullptr;
        int row = 0;
        std::vector<const TreeNode*> subtree;
    };
    PendingRemoval pendingRemoval_;
    QPersistentModelIndex highlighted_;
    QBrush highlightBackground_;
    QBrush highlightForeground_;
};

}  // namespace orva::editor::ui
