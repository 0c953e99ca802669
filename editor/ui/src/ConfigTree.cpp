#include "editor/ui/ConfigTree.h"

#include <QApplication>
#include <QCursor>
#include <QDrag>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>

namespace orva::editor::ui {

ConfigTree::ConfigTree(Tree& tree, QWidget* parent)
    : QTreeView(parent), model_(new ConfigTreeModel(tree, this))
{
    setModel(model_);
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setExpandsOnDoubleClick(false);  // a double click opens the modify dialog
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setDropIndicatorShown(false);
    dragRunner = [](QDrag& drag, Qt::DropActions actions) { return drag.exec(actions); };
    // The view keeps expansion; the tree's nodes remember it for nodes that come back (undo).
    connect(this, &QTreeView::expanded, this, [](const QModelIndex& index) {
        if (auto* node = const_cast<TreeNode*>(ConfigTreeModel::nodeOf(index))) node->setExpanded(true);
    });
    connect(this, &QTreeView::collapsed, this, [](const QModelIndex& index) {
        if (auto* node = const_cast<TreeNode*>(ConfigTreeModel::nodeOf(index))) node->setExpanded(false);
    });
    connect(model_, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex& parentIndex, int first, int last) {
                expandMarked(parentIndex, first, last);
            });
    connect(model_, &QAbstractItemModel::modelReset, this, [this] {
        if (model_->rowCount() > 0) expandMarked({}, 0, 0);
    });
}

void ConfigTree::detach()
{
    setModel(nullptr);
    delete model_;
    model_ = nullptr;
}

void ConfigTree::rebuild()
{
    if (model_ != nullptr) model_->refreshAll();
}

std::string ConfigTree::keyOf(const QModelIndex& index)
{
    const TreeNode* node = ConfigTreeModel::nodeOf(index);
    return node == nullptr ? std::string() : node->key();
}

NodeKind ConfigTree::kindOf(const QModelIndex& index)
{
    const TreeNode* node = ConfigTreeModel::nodeOf(index);
    return node == nullptr ? NodeKind::Config : node->kind();
}

QModelIndex ConfigTree::node(std::string_view key) const
{
    return model_ != nullptr ? model_->indexOf(key) : QModelIndex();
}

void ConfigTree::expandMarked(const QModelIndex& parent, int first, int last)
{
    // The root is always open after a load; below it, what the nodes remember.
    std::vector<QModelIndex> pending;
    for (int row = first; row <= last; ++row)
        pending.push_back(model_->index(row, 0, parent));
    const bool wholeTree = !parent.isValid();
    while (!pending.empty()) {
        const QModelIndex index = pending.back();
        pending.pop_back();
        const TreeNode* node = ConfigTreeModel::nodeOf(index);
        if (node == nullptr || (!node->expanded() && !(wholeTree && node->parent() == nullptr))) continue;
        expand(index);
        for (int row = 0; row < static_cast<int>(node->childCount()); ++row)
            pending.push_back(model_->index(row, 0, index));
    }
}

void ConfigTree::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::RightButton) {
        QTreeView::mousePressEvent(event);
        return;
    }
    const QPersistentModelIndex source = indexAt(event->position().toPoint());
    if (!source.isValid()) return;  // over empty space nothing starts
    dragSource_ = keyOf(source);
    dragCopy_ = (event->modifiers() & Qt::ControlModifier) != 0;
    auto* drag = new QDrag(this);
    auto* mime = new QMimeData;
    mime->setText(QString::fromStdString(dragSource_));
    drag->setMimeData(mime);
    drag->setPixmap(source.data(Qt::DecorationRole).value<QIcon>().pixmap(16, 16));
    const Qt::DropAction allowed = dragCopy_ ? Qt::CopyAction : Qt::MoveAction;
    const QPoint pressedAt = event->globalPosition().toPoint();
    dropped_ = false;
    dragRunner(*drag, allowed);
    dragSource_.clear();
    highlight({});
    drag->deleteLater();
    // Released where it was pressed, without a drop: a right click, which opens the node's menu.
    const bool moved = (QCursor::pos() - pressedAt).manhattanLength() >= QApplication::startDragDistance();
    if (!dropped_ && !moved && source.isValid()) {
        setCurrentIndex(source);
        emit contextMenuRequested(pressedAt);
    }
}

void ConfigTree::highlight(const QModelIndex& index)
{
    if (model_ != nullptr) model_->setHighlighted(index, palette().highlight(), palette().highlightedText());
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
    highlight(indexAt(event->position().toPoint()));
    event->setDropAction(dragCopy_ ? Qt::CopyAction : Qt::MoveAction);
    event->accept();
}

void ConfigTree::dragLeaveEvent(QDragLeaveEvent* event)
{
    highlight({});
    event->accept();
}

void ConfigTree::dropEvent(QDropEvent* event)
{
    const QModelIndex target = dropTarget();
    const QString targetKey = QString::fromStdString(keyOf(target));
    highlight({});
    if (!ownDrag(event->mimeData()) || !target.isValid()) {
        event->ignore();
        return;
    }
    event->setDropAction(dragCopy_ ? Qt::CopyAction : Qt::MoveAction);
    event->accept();
    dropped_ = true;
    // The model's answer changes the tree; let the drag finish first.
    const QString source = event->mimeData()->text();
    const bool copy = dragCopy_;
    QMetaObject::invokeMethod(
        this, [this, source, targetKey, copy] { emit dropRequested(source, targetKey, copy); },
        Qt::QueuedConnection);
}

void ConfigTree::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentIndex().isValid()) {
        emit modifyRequested();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void ConfigTree::focusInEvent(QFocusEvent* event)
{
    emit focusEntered();
    QTreeView::focusInEvent(event);
}

}  // namespace orva::editor::ui
