#pragma once
// The configuration's tree: a view over the model's tree, nodes found by key, and drag and drop
// started with the right mouse button (Ctrl held for a copy), the node under the pointer
// highlighted as the drop target.

#include <QPersistentModelIndex>
#include <QTreeView>
#include <functional>
#include <string>
#include <string_view>

#include "editor/Tree.h"
#include "editor/ui/ConfigTreeModel.h"

class QDrag;
class QMimeData;

namespace orva::editor::ui {

class ConfigTree : public QTreeView {
    Q_OBJECT
public:
    static constexpr int KeyRole = ConfigTreeModel::KeyRole;
    static constexpr int KindRole = ConfigTreeModel::KindRole;
    static constexpr const char* kMimeType = "text/plain";

    // Shows `tree`, which must outlive this view's model (see detach()).
    explicit ConfigTree(Tree& tree, QWidget* parent = nullptr);

    ConfigTreeModel* treeModel() const { return model_; }
    // Stops following the model's tree, before the tree goes.
    void detach();
    // Reads the whole tree again, expanding the nodes marked expanded.
    void rebuild();
    // The index of a node's key; invalid when there is none.
    QModelIndex node(std::string_view key) const;
    static std::string keyOf(const QModelIndex& index);
    static NodeKind kindOf(const QModelIndex& index);
    std::string currentKey() const { return keyOf(currentIndex()); }

    QModelIndex dropTarget() const { return model_ != nullptr ? model_->highlighted() : QModelIndex(); }

    // How a started drag is carried out; tests replace it to deliver the drop events themselves.
    std::function<Qt::DropAction(QDrag&, Qt::DropActions)> dragRunner;

signals:
    // A node was dropped on another; copy when Ctrl was held at the start.
    void dropRequested(const QString& sourceKey, const QString& targetKey, bool copy);
    void focusEntered();
    // Enter on a node: the modify dialog, as a double click.
    void modifyRequested();
    // A right click on a node that did not turn into a drag; the node is selected.
    void contextMenuRequested(const QPoint& globalPosition);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void highlight(const QModelIndex& index);
    bool ownDrag(const QMimeData* mime) const;
    // Expands the nodes the model marks expanded, among `first`..`last` below `parent` and down.
    void expandMarked(const QModelIndex& parent, int first, int last);

    ConfigTreeModel* model_ = nullptr;
    std::string dragSource_;
    bool dragCopy_ = false;
    bool dropped_ = false;
};

}  // namespace orva::editor::ui
