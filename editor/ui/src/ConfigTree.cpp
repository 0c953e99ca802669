#include "editor/ui/ConfigTree.h"

#include <QApplication>
#include <QCursor>
#include <QDrag>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <algorithm>
#include <unordered_set>

#include "editor/ui/Icons.h"

namespace orva::editor::ui {

ConfigTree::ConfigTree(QWidget* parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setUniformRowHeights(true);
    setExpandsOnDoubleClick(false);  // a double click opens the modify dialog
    setSelectionMode(QAbstractItemView::SingleSelection);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setDropIndicatorShown(false);
    dragRunner = [](QDrag& drag, Qt::DropActions actions) { return drag.exec(actions); };
}

std::string ConfigTree::keyOf(const QTreeWidgetItem* item)
{
    return item == nullptr ? std::string() : item->data(0, KeyRole).toString().toStdString();
}

NodeKind ConfigTree::kindOf(const QTreeWidgetItem* item)
{
    return item == nullptr ? NodeKind::Config : static_cast<NodeKind>(item->data(0, KindRole).toInt());
}

QTreeWidgetItem* ConfigTree::node(std::string_view key) const
{
    const auto found = nodes_.find(key);
    return found == nodes_.end() ? nullptr : found->second;
}

QTreeWidgetItem* ConfigTree::makeItem(const TreeNode& modelNode)
{
    auto* item = new QTreeWidgetItem;
    item->setText(0, QString::fromStdString(modelNode.text()));
    item->setIcon(0, editorIcon(modelNode.image()));
    item->setData(0, KeyRole, QString::fromStdString(modelNode.key()));
    item->setData(0, KindRole, static_cast<int>(modelNode.kind()));
    nodes_[modelNode.key()] = item;
    return item;
}

void ConfigTree::clearNodes()
{
    dropTarget_ = nullptr;
    nodes_.clear();
    clear();
}

void ConfigTree::rebuild(const Tree& tree)
{
    clearNodes();
    nodes_.reserve(tree.size());
    // Built apart from the view and handed over at once: a large tree costs no per-node signals.
    QTreeWidgetItem* root = makeItem(tree.root());
    std::vector<std::pair<const TreeNode*, QTreeWidgetItem*>> pending{{&tree.root(), root}};
    std::vector<QTreeWidgetItem*> expand{root};
    while (!pending.empty()) {
        const auto [modelNode, item] = pending.back();
        pending.pop_back();
        QList<QTreeWidgetItem*> children;
        children.reserve(static_cast<qsizetype>(modelNode->childCount()));
        for (const auto& child : modelNode->children()) {
            QTreeWidgetItem* childItem = makeItem(*child);
            children.push_back(childItem);
            if (child->childCount() > 0) pending.emplace_back(child.get(), childItem);
            if (child->expanded()) expand.push_back(childItem);
        }
        item->addChildren(children);
    }
    addTopLevelItem(root);
    for (QTreeWidgetItem* item : expand)
        item->setExpanded(true);
}

QTreeWidgetItem* ConfigTree::addNode(const TreeNode& modelNode)
{
    if (modelNode.parent() == nullptr) return nullptr;
    QTreeWidgetItem* parentItem = node(modelNode.parent()->key());
    if (parentItem == nullptr) return nullptr;
    if (QTreeWidgetItem* existing = node(modelNode.key())) forget(existing);
    QTreeWidgetItem* item = makeItem(modelNode);
    // At the model node's place among its siblings (undo puts nodes back in the middle); a node
    // added last, the usual case, costs no search.
    const auto& siblings = modelNode.parent()->children();
    int row = parentItem->childCount();
    if (siblings.back().get() != &modelNode) {
        row = 0;
        for (const auto& sibling : siblings) {
            if (sibling.get() == &modelNode) break;
            ++row;
        }
    }
    parentItem->insertChild(std::min(row, parentItem->childCount()), item);
    if (modelNode.expanded()) item->setExpanded(true);
    return item;
}

void ConfigTree::forget(QTreeWidgetItem* item)
{
    std::vector<QTreeWidgetItem*> pending{item};
    while (!pending.empty()) {
        QTreeWidgetItem* current = pending.back();
        pending.pop_back();
        if (current == dropTarget_) dropTarget_ = nullptr;
        const auto found = nodes_.find(keyOf(current));
        if (found != nodes_.end() && found->second == current) nodes_.erase(found);
        for (int i = 0; i < current->childCount(); ++i)
            pending.push_back(current->child(i));
    }
}

void ConfigTree::removeNode(std::string_view key)
{
    QTreeWidgetItem* item = node(key);
    if (item == nullptr || item->parent() == nullptr) return;  // the root stays
    forget(item);
    delete item;
}

void ConfigTree::removeNodes(const std::vector<std::string>& keys)
{
    // Removing children one by one costs a search among their siblings and a view update each;
    // a parent that loses many has its children taken out and the survivors put back at once.
    constexpr std::size_t kBatch = 32;
    std::unordered_map<QTreeWidgetItem*, std::unordered_set<QTreeWidgetItem*>> byParent;
    for (const auto& key : keys) {
        QTreeWidgetItem* item = node(key);
        if (item != nullptr && item->parent() != nullptr) byParent[item->parent()].insert(item);
    }
    for (auto& [parent, doomed] : byParent) {
        if (doomed.size() < kBatch) {
            for (QTreeWidgetItem* item : doomed) {
                forget(item);
                delete item;
            }
            continue;
        }
        // Expansion is kept by the view, not the items: note it below the survivors, restore it after.
        std::vector<QTreeWidgetItem*> expanded;
        std::vector<QTreeWidgetItem*> pending;
        for (int i = 0; i < parent->childCount(); ++i)
            if (QTreeWidgetItem* child = parent->child(i); !doomed.contains(child)) pending.push_back(child);
        while (!pending.empty()) {
            QTreeWidgetItem* current = pending.back();
            pending.pop_back();
            if (!current->isExpanded()) continue;
            expanded.push_back(current);
            for (int i = 0; i < current->childCount(); ++i)
                pending.push_back(current->child(i));
        }
        const QList<QTreeWidgetItem*> children = parent->takeChildren();
        QList<QTreeWidgetItem*> keep;
        keep.reserve(children.size());
        for (QTreeWidgetItem* child : children) {
            if (doomed.contains(child)) {
                forget(child);
                delete child;
            } else {
                keep.push_back(child);
            }
        }
        parent->addChildren(keep);
        for (QTreeWidgetItem* item : expanded)
            item->setExpanded(true);
    }
}

void ConfigTree::rekey(const std::vector<std::pair<std::string, std::string>>& changes, const Tree& tree)
{
    std::vector<std::pair<QTreeWidgetItem*, const std::string*>> found;
    for (const auto& [oldKey, newKey] : changes)
        if (QTreeWidgetItem* item = node(oldKey)) found.emplace_back(item, &newKey);
    for (const auto& [item, newKey] : found)
        nodes_.erase(keyOf(item));
    for (const auto& [item, newKey] : found) {
        item->setData(0, KeyRole, QString::fromStdString(*newKey));
        if (const TreeNode* modelNode = tree.find(*newKey))
            item->setText(0, QString::fromStdString(modelNode->text()));
        nodes_[*newKey] = item;
    }
}

void ConfigTree::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::RightButton) {
        QTreeWidget::mousePressEvent(event);
        return;
    }
    QTreeWidgetItem* source = itemAt(event->position().toPoint());
    if (source == nullptr) return;  // over empty space nothing starts
    dragSource_ = keyOf(source);
    dragCopy_ = (event->modifiers() & Qt::ControlModifier) != 0;
    auto* drag = new QDrag(this);
    auto* mime = new QMimeData;
    mime->setText(QString::fromStdString(dragSource_));
    drag->setMimeData(mime);
    drag->setPixmap(source->icon(0).pixmap(16, 16));
    const Qt::DropAction allowed = dragCopy_ ? Qt::CopyAction : Qt::MoveAction;
    const QPoint pressedAt = event->globalPosition().toPoint();
    dropped_ = false;
    dragRunner(*drag, allowed);
    dragSource_.clear();
    highlight(nullptr);
    drag->deleteLater();
    // Released where it was pressed, without a drop: a right click, which opens the node's menu.
    const bool moved = (QCursor::pos() - pressedAt).manhattanLength() >= QApplication::startDragDistance();
    if (!dropped_ && !moved && source->treeWidget() == this) {
        setCurrentItem(source);
        emit contextMenuRequested(pressedAt);
    }
}

void ConfigTree::highlight(QTreeWidgetItem* item)
{
    if (item == dropTarget_) return;
    if (dropTarget_ != nullptr) {
        dropTarget_->setBackground(0, QBrush());
        dropTarget_->setForeground(0, QBrush());
    }
    dropTarget_ = item;
    if (dropTarget_ != nullptr) {
        dropTarget_->setBackground(0, palette().highlight());
        dropTarget_->setForeground(0, palette().highlightedText());
    }
}

bool ConfigTree::ownDrag(const QMimeData* mime) const
{
    // Only a drag this tree started, carrying the key of its source node.
    return !dragSource_.empty() && mime != nullptr && mime->hasText() &&
           mime->text().toStdString() == dragSource_;
}

void ConfigTree::dragEnterEvent(QDragEnterEvent* event)
{
    if (ownDrag(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void ConfigTree::dragMoveEvent(QDragMoveEvent* event)
{
    if (!ownDrag(event->mimeData())) {
        event->ignore();
        return;
    }
    highlight(itemAt(event->position().toPoint()));
    event->setDropAction(dragCopy_ ? Qt::CopyAction : Qt::MoveAction);
    event->accept();
}

void ConfigTree::dragLeaveEvent(QDragLeaveEvent* event)
{
    highlight(nullptr);
    event->accept();
}

void ConfigTree::dropEvent(QDropEvent* event)
{
    QTreeWidgetItem* target = dropTarget_;
    highlight(nullptr);
    if (!ownDrag(event->mimeData()) || target == nullptr) {
        event->ignore();
        return;
    }
    event->setDropAction(dragCopy_ ? Qt::CopyAction : Qt::MoveAction);
    event->accept();
    dropped_ = true;
    // The model's answer changes the tree; let the drag finish first.
    const QString source = event->mimeData()->text();
    const QString targetKey = QString::fromStdString(keyOf(target));
    const bool copy = dragCopy_;
    QMetaObject::invokeMethod(
        this, [this, source, targetKey, copy] { emit dropRequested(source, targetKey, copy); },
        Qt::QueuedConnection);
}

void ConfigTree::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem() != nullptr) {
        emit modifyRequested();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void ConfigTree::focusInEvent(QFocusEvent* event)
{
    emit focusEntered();
    QTreeWidget::focusInEvent(event);
}

}  // namespace orva::editor::ui
