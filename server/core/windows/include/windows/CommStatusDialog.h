#pragma once
// "Comm. Status ...": the PLCs, the read blocks of each, and for the block selected the value
// and quality of every tag it covers. It works on snapshots taken at each selection change and
// each "&Refresh"; nothing refreshes by itself.

#include <QDialog>
#include <unordered_map>

#include "process/ServerIdentity.h"
#include "process/StatusSnapshot.h"

class QGroupBox;
class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace orva::windows {

class CommStatusDialog : public QDialog {
    Q_OBJECT
public:
    CommStatusDialog(const process::ServerIdentity& identity, process::StatusSnapshotProvider snapshots,
                     process::QualityTextFunction qualityText = process::qualityText,
                     QWidget* parent = nullptr);

    QTreeWidget* statusTree() const { return statusTree_; }
    QTreeWidget* tagList() const { return tagList_; }
    QPushButton* refreshButton() const { return refreshButton_; }
    QGroupBox* groupBox() const { return groupBox_; }
    QTreeWidgetItem* rootNode() const { return root_; }
    QLabel* brokerLink() const { return brokerLink_; }

public slots:
    void refresh();  // "&Refresh"

private slots:
    void selectionChanged(QTreeWidgetItem* current);

private:
    enum NodeKind { RootNode, PlcNode, BlockNode };

    void buildTree(const process::StatusSnapshot& snapshot);
    void showBrokerLink(const process::StatusSnapshot& snapshot);
    QTreeWidgetItem* addPlcNode(const process::PlcSnapshot& plc);
    QTreeWidgetItem* addBlockNode(QTreeWidgetItem* plcNode, const process::BlockSnapshot& block);
    // Deletes a block node without reporting the selection change it causes; true when the
    // current item was the node (the caller then handles the new current item).
    bool deleteBlockNode(QTreeWidgetItem* node);
    const process::BlockSnapshot* blockOf(QTreeWidgetItem* node,
                                          const process::StatusSnapshot& snapshot) const;
    void refreshStatusView(QTreeWidgetItem* selected, bool clear, const process::StatusSnapshot& snapshot);
    void clearList();
    void addRow(const process::TagSnapshot& tag);
    void setRowTexts(QTreeWidgetItem* row, const process::TagSnapshot& tag) const;

    process::StatusSnapshotProvider snapshots_;
    process::QualityTextFunction qualityText_;
    QGroupBox* groupBox_ = nullptr;
    QTreeWidget* statusTree_ = nullptr;
    QTreeWidget* tagList_ = nullptr;
    QPushButton* refreshButton_ = nullptr;
    QLabel* brokerLink_ = nullptr;
    QTreeWidgetItem* root_ = nullptr;
    QTreeWidgetItem* selected_ = nullptr;  // the item of the last selection change, if any
    std::unordered_map<process::ObjectId, QTreeWidgetItem*> plcNodes_;
    std::unordered_map<process::ObjectId, QTreeWidgetItem*> blockNodes_;
    std::unordered_map<process::ObjectId, QTreeWidgetItem*> rows_;  // tag -> its row in the list
};

}  // namespace orva::windows
