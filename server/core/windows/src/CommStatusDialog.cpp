#include "windows/CommStatusDialog.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <unordered_set>

#include "process/WindowIds.h"
#include "windows/AboutDialog.h"

namespace orva::windows {
namespace {

using process::ObjectId;

constexpr int kKindRole = Qt::UserRole;
constexpr int kIdRole = Qt::UserRole + 1;

ObjectId idOf(const QTreeWidgetItem* item)
{
    return item->data(0, kIdRole).toULongLong();
}

// Where a node with this text goes among sorted siblings: after every sibling that does not
// sort after it, comparing without regard to case.
int sortedIndex(int count, const std::function<QString(int)>& textAt, const QString& text)
{
    int index = 0;
    while (index < count && QString::compare(textAt(index), text, Qt::CaseInsensitive) <= 0)
        ++index;
    return index;
}

QTreeWidgetItem* makeItem(const QString& text, int kind, ObjectId id)
{
    auto item = std::make_unique<QTreeWidgetItem>(QStringList{text});
    item->setData(0, kKindRole, kind);
    item->setData(0, kIdRole, QVariant::fromValue<qulonglong>(id));
    return item.release();  // the tree takes ownership on insertion
}

}  // namespace

CommStatusDialog::CommStatusDialog(const process::ServerIdentity& identity,
                                   process::StatusSnapshotProvider snapshots,
                                   process::QualityTextFunction qualityText, QWidget* parent)
    : QDialog(parent), snapshots_(std::move(snapshots)), qualityText_(std::move(qualityText))
{
    if (!snapshots_) snapshots_ = [] { return process::StatusSnapshot{}; };
    if (!qualityText_) qualityText_ = process::qualityText;
    setWindowTitle(QStringLiteral("Communication Status"));
    setFixedSize(dialogUnitSize(373, 255));

    groupBox_ = new QGroupBox(toQString(identity.statusGroupCaption), this);
    groupBox_->setGeometry(dialogUnits(7, 7, 359, 220));

    statusTree_ = new QTreeWidget(this);
    statusTree_->setObjectName("statusTree");
    statusTree_->setProperty("controlId", process::kStatusTreeId);
    statusTree_->setGeometry(dialogUnits(12, 19, 146, 186));
    statusTree_->setHeaderHidden(true);
    statusTree_->setRootIsDecorated(true);
    statusTree_->setSelectionMode(QAbstractItemView::SingleSelection);
    statusTree_->setDragDropMode(QAbstractItemView::NoDragDrop);

    tagList_ = new QTreeWidget(this);
    tagList_->setObjectName("tagList");
    tagList_->setProperty("controlId", process::kTagListId);
    tagList_->setGeometry(dialogUnits(158, 19, 204, 186));
    tagList_->setRootIsDecorated(false);
    tagList_->setSelectionMode(QAbstractItemView::SingleSelection);
    tagList_->setHeaderLabels(
        {QStringLiteral("Tag Name"), QStringLiteral("Value"), QStringLiteral("Quality")});
    tagList_->setColumnWidth(0, 120);
    tagList_->setColumnWidth(1, 82);
    tagList_->setColumnWidth(2, 100);
    tagList_->header()->setSectionsClickable(false);

    refreshButton_ = new QPushButton(QStringLiteral("&Refresh"), this);
    refreshButton_->setObjectName("refreshButton");
    refreshButton_->setProperty("controlId", process::kRefreshButtonId);
    refreshButton_->setAutoDefault(false);
    refreshButton_->setGeometry(dialogUnits(316, 209, 42, 13));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName("okButton");
    ok->setProperty("controlId", process::kOkButtonId);
    ok->setDefault(true);
    ok->setGeometry(dialogUnits(157, 234, 50, 14));

    // The MQTT broker link, when the server publishes to one; refreshed with the rest.
    brokerLink_ = new QLabel(this);
    brokerLink_->setObjectName("brokerLink");
    brokerLink_->setGeometry(dialogUnits(12, 209, 300, 13));
    brokerLink_->setVisible(false);

    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(refreshButton_, &QPushButton::clicked, this, &CommStatusDialog::refresh);
    connect(statusTree_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem*) { selectionChanged(current); });

    const process::StatusSnapshot snapshot = snapshots_();
    showBrokerLink(snapshot);
    buildTree(snapshot);
}

void CommStatusDialog::showBrokerLink(const process::StatusSnapshot& snapshot)
{
    brokerLink_->setText(QString::fromStdString(snapshot.brokerLink));
    brokerLink_->setToolTip(brokerLink_->text());
    brokerLink_->setVisible(!snapshot.brokerLink.empty());
}

void CommStatusDialog::buildTree(const process::StatusSnapshot& snapshot)
{
    const QSignalBlocker blocker(statusTree_);
    root_ = makeItem(QStringLiteral("PLCs Network"), RootNode, 0);
    statusTree_->addTopLevelItem(root_);
    for (const auto& plc : snapshot.plcs) {
        QTreeWidgetItem* plcNode = addPlcNode(plc);
        for (const auto& block : plc.blocks)
            addBlockNode(plcNode, block);
    }
    root_->setExpanded(true);
}

QTreeWidgetItem* CommStatusDialog::addPlcNode(const process::PlcSnapshot& plc)
{
    const QString text = QString::fromStdString(plc.name);
    QTreeWidgetItem* node = makeItem(text, PlcNode, plc.id);
    root_->insertChild(sortedIndex(
                           root_->childCount(), [&](int i) { return root_->child(i)->text(0); }, text),
                       node);
    plcNodes_[plc.id] = node;
    return node;
}

QTreeWidgetItem* CommStatusDialog::addBlockNode(QTreeWidgetItem* plcNode, const process::BlockSnapshot& block)
{
    const QString text = QString::fromStdString(process::blockLabel(block));
    QTreeWidgetItem* node = makeItem(text, BlockNode, block.id);
    plcNode->insertChild(sortedIndex(
                             plcNode->childCount(), [&](int i) { return plcNode->child(i)->text(0); }, text),
                         node);
    blockNodes_[block.id] = node;
    return node;
}

bool CommStatusDialog::deleteBlockNode(QTreeWidgetItem* node)
{
    const bool wasCurrent = statusTree_->currentItem() == node;
    if (selected_ == node) selected_ = nullptr;
    blockNodes_.erase(idOf(node));
    {
        const QSignalBlocker blocker(statusTree_);
        QTreeWidgetItem* parent = node->parent();
        std::unique_ptr<QTreeWidgetItem> owned(parent->takeChild(parent->indexOfChild(node)));
    }
    return wasCurrent;
}

const process::BlockSnapshot* CommStatusDialog::blockOf(QTreeWidgetItem* node,
                                                        const process::StatusSnapshot& snapshot) const
{
    if (node == nullptr || node->data(0, kKindRole).toInt() != BlockNode || node->parent() == nullptr)
        return nullptr;
    return snapshot.findBlock(idOf(node->parent()), idOf(node));
}

void CommStatusDialog::selectionChanged(QTreeWidgetItem* current)
{
    selected_ = current;
    clearList();
    if (current == nullptr || current->parent() == nullptr || current->parent() == root_) return;

    const process::StatusSnapshot snapshot = snapshots_();
    if (const process::BlockSnapshot* block = blockOf(current, snapshot)) {
        for (const auto& tag : block->tags)
            addRow(tag);
        refreshStatusView(current, false, snapshot);
        return;
    }
    // The block is gone: its node goes, and the tree's new selection is handled like any other.
    if (deleteBlockNode(current)) selectionChanged(statusTree_->currentItem());
}

void CommStatusDialog::refresh()
{
    QTreeWidgetItem* parent = selected_ != nullptr ? selected_->parent() : nullptr;
    const process::StatusSnapshot snapshot = snapshots_();
    showBrokerLink(snapshot);
    if (parent == nullptr || parent == root_) {
        selected_ = nullptr;
        refreshStatusView(nullptr, true, snapshot);
        return;
    }
    if (blockOf(selected_, snapshot) != nullptr) {
        refreshStatusView(selected_, false, snapshot);
        return;
    }
    if (deleteBlockNode(selected_)) selectionChanged(statusTree_->currentItem());
    selected_ = nullptr;
    refreshStatusView(nullptr, false, snapshot);
}

void CommStatusDialog::refreshStatusView(QTreeWidgetItem* selected, bool clear,
                                         const process::StatusSnapshot& snapshot)
{
    // Tree: relabel the blocks that still exist, drop the others, add the new ones.
    bool currentLost = false;
    for (const auto& plc : snapshot.plcs) {
        const auto found = plcNodes_.find(plc.id);
        QTreeWidgetItem* plcNode = found != plcNodes_.end() ? found->second : addPlcNode(plc);
        std::vector<QTreeWidgetItem*> children;
        for (int i = 0; i < plcNode->childCount(); ++i)
            children.push_back(plcNode->child(i));
        for (QTreeWidgetItem* child : children) {
            if (const process::BlockSnapshot* block = snapshot.findBlock(plc.id, idOf(child)))
                child->setText(0, QString::fromStdString(process::blockLabel(*block)));
            else if (child != selected)
                currentLost = deleteBlockNode(child) || currentLost;
        }
        for (const auto& block : plc.blocks)
            if (blockNodes_.find(block.id) == blockNodes_.end()) addBlockNode(plcNode, block);
    }

    // List: every row gets fresh texts, rows of tags no longer covered go, new tags get rows.
    if (const process::BlockSnapshot* block = blockOf(selected, snapshot)) {
        std::unordered_map<ObjectId, const process::TagSnapshot*> covered;
        for (const auto& tag : block->tags)
            covered[tag.id] = &tag;
        for (auto it = rows_.begin(); it != rows_.end();) {
            const auto tag = covered.find(it->first);
            if (tag == covered.end()) {
                std::unique_ptr<QTreeWidgetItem> row(
                    tagList_->takeTopLevelItem(tagList_->indexOfTopLevelItem(it->second)));
                it = rows_.erase(it);
            } else {
                setRowTexts(it->second, *tag->second);
                ++it;
            }
        }
        for (const auto& tag : block->tags)
            if (rows_.find(tag.id) == rows_.end()) addRow(tag);
    } else if (clear) {
        clearList();
    }

    if (currentLost) selectionChanged(statusTree_->currentItem());
}

void CommStatusDialog::clearList()
{
    rows_.clear();
    tagList_->clear();
}

void CommStatusDialog::addRow(const process::TagSnapshot& tag)
{
    const QString name = QString::fromStdString(tag.name);
    auto row = std::make_unique<QTreeWidgetItem>(QStringList{name});
    row->setData(0, kIdRole, QVariant::fromValue<qulonglong>(tag.id));
    setRowTexts(row.get(), tag);
    const int index = sortedIndex(
        tagList_->topLevelItemCount(), [&](int i) { return tagList_->topLevelItem(i)->text(0); }, name);
    rows_[tag.id] = row.get();
    tagList_->insertTopLevelItem(index, row.release());
}

void CommStatusDialog::setRowTexts(QTreeWidgetItem* row, const process::TagSnapshot& tag) const
{
    const std::string value = process::valueDisplayText(tag);
    row->setText(1, QString::fromLatin1(value.data(), static_cast<qsizetype>(value.size())));
    row->setText(2, QString::fromStdString(qualityText_(tag.quality)));
}

}  // namespace orva::windows
