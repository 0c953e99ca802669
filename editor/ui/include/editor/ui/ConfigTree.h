#pragma once
// The configuration's tree: nodes found by key, and drag and drop started with the right mouse
// button (Ctrl held for a copy), the node under the pointer highlighted as the drop target.

#include <QTreeWidget>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "editor/Text.h"
#include "editor/Tree.h"

class QDrag;
class QMimeData;

namespace orva::editor::ui {

class ConfigTree : public QTreeWidget {
    Q_OBJECT
public:
    static constexpr int KeyRole = Qt::UserRole;
    static constexpr int KindRole = Qt::UserRole + 1;
    static constexpr const char* kMimeType = "text/plain";

    explicit ConfigTree(QWidget* parent = nullptr);

    // Rebuilds every node from the model's tree.
    void rebuild(const Tree& tree);
    void clearNodes();
    QTreeWidgetItem* node(std::string_view key) const;
    static std::string keyOf(const QTreeWidgetItem* item);
    static NodeKind kindOf(const QTreeWidgetItem* item);

    // Adds the model node below its parent's item, at its place among the siblings shown; null
    // when the parent is not shown.
    QTreeWidgetItem* addNode(const TreeNode& modelNode);
    void removeNode(std::string_view key);
    // Removes many nodes at once; siblings of a large parent are taken out and put back in one step.
    void removeNodes(const std::vector<std::string>& keys);
    // Gives several nodes new keys at once (keys may be exchanged among them), texts from the model.
    void rekey(const std::vector<std::pair<std::string, std::string>>& changes, const Tree& tree);

    QTreeWidgetItem* dropTarget() const { return dropTarget_; }

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
    QTreeWidgetItem* makeItem(const TreeNode& modelNode);
    void forget(QTreeWidgetItem* item);
    void highlight(QTreeWidgetItem* item);
    bool ownDrag(const QMimeData* mime) const;

    std::unordered_map<std::string, QTreeWidgetItem*, NoCaseHash, NoCaseEqual> nodes_;
    QTreeWidgetItem* dropTarget_ = nullptr;
    std::string dragSource_;
    bool dragCopy_ = false;
    bool dropped_ = false;
};

}  // namespace orva::editor::ui
