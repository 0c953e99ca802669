// Editing commands of the main window: the dialogs, copy, cut, paste, delete, bulk rename and find.
#include <QTreeView>

#include "editor/ui/BranchDialog.h"
#include "editor/ui/ConfigTree.h"
#include "editor/ui/DialogRunner.h"
#include "editor/ui/FindDialog.h"
#include "editor/ui/FrmEditing.h"
#include "editor/ui/ItemDialog.h"
#include "editor/ui/PlcDialog.h"
#include "editor/ui/SettingsDialog.h"

namespace orva::editor::ui {

void FrmEditing::onSettings()
{
    if (!model_.isOpen || model_.serverType == ServerKind::Pennat) return;
    SettingsDialog dialog(model_, this);
    runner_.run(dialog);
    // The PLC rows of Vardel show the interface name.
    if (const TreeNode* node = model_.tree.find(selectedNodeKey())) showList(node->key());
}

void FrmEditing::onAddPlc()
{
    if (!model_.isOpen) return;
    PlcDialog dialog(model_, runner_, selectedNodeKey(), false, this);
    if (runner_.run(dialog) == QDialog::Accepted) applyEdit(dialog.result());
}

const TreeNode* FrmEditing::selectedContainer() const
{
    const TreeNode* node = model_.tree.find(selectedNodeKey());
    if (!model_.isOpen || node == nullptr) return nullptr;
    return node->kind() == NodeKind::Plc || node->kind() == NodeKind::Branch ? node : nullptr;
}

void FrmEditing::onAddBranch()
{
    const TreeNode* node = selectedContainer();
    if (node == nullptr) return;
    BranchDialog dialog(model_, node->key(), false, this);
    if (runner_.run(dialog) == QDialog::Accepted) applyEdit(dialog.result());
}

void FrmEditing::onAddItem()
{
    const TreeNode* node = selectedContainer();
    if (node == nullptr) return;
    const std::string key = node->key();
    ItemDialog dialog(
        model_, key, false, [this](const EditResult& r) { applyEdit(r, false); }, this);
    runner_.run(dialog);
    selectNode(key);
}

void FrmEditing::modifySelected()
{
    const TreeNode* node = model_.tree.find(selectedNodeKey());
    if (!model_.isOpen || node == nullptr) return;
    const std::string key = node->key();
    switch (node->kind()) {
        case NodeKind::Config:
            return;
        case NodeKind::Plc: {
            PlcDialog dialog(model_, runner_, key, true, this);
            if (runner_.run(dialog) == QDialog::Accepted) applyEdit(dialog.result());
            return;
        }
        case NodeKind::Branch: {
            BranchDialog dialog(model_, key, true, this);
            if (runner_.run(dialog) == QDialog::Accepted) applyEdit(dialog.result());
            return;
        }
        case NodeKind::Item: {
            ItemDialog dialog(
                model_, key, true, [this](const EditResult& r) { applyEdit(r, false); }, this);
            runner_.run(dialog);
            // The list of the item's parent, with the changed row.
            if (const TreeNode* item = model_.tree.find(selectedNodeKey()))
                if (item->parent() != nullptr) showList(item->parent()->key());
            return;
        }
    }
}

void FrmEditing::editSelection(EditResult (EditorModel::*operation)(const Selection&))
{
    if (model_.isOpen) applyEdit((model_.*operation)(selection()));
}

void FrmEditing::onDelete()
{
    editSelection(&EditorModel::deleteSelection);
}

void FrmEditing::onCopy()
{
    if (model_.isOpen) model_.copy(selection());
}

void FrmEditing::onCut()
{
    editSelection(&EditorModel::cut);
}

void FrmEditing::onPaste()
{
    if (model_.isOpen) applyEdit(model_.paste(selectedNodeKey()));
}

void FrmEditing::onPasteName()
{
    editSelection(&EditorModel::pasteName);
}

void FrmEditing::onPasteComment()
{
    editSelection(&EditorModel::pasteComment);
}

void FrmEditing::onFind()
{
    if (!model_.isOpen) return;
    if (!findDialog_) {
        findDialog_ = new FindDialog(
            model_,
            [this](const std::string& key) {
                tree_->setFocus();
                listHasFocus_ = false;
                selectNode(key);
            },
            this);
        findDialog_->setAttribute(Qt::WA_DeleteOnClose);
    }
    findDialog_->show();
    findDialog_->raise();
    findDialog_->activateWindow();
}

}  // namespace orva::editor::ui
