// What the main window shows of the configuration's state: undo and redo with their texts, the
// file and its modified mark in the status bar, the recent files, and the node's context menu.
#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QSettings>

#include "QtText.h"
#include "editor/ui/ConfigTree.h"
#include "editor/ui/FrmEditing.h"

namespace orva::editor::ui {

namespace {

constexpr int kRecentFiles = 8;
const QString kRecentKey = QStringLiteral("recentFiles");

}  // namespace

void FrmEditing::onUndo()
{
    // The tree shows exactly what the step changed, nodes put back at their places.
    applyEdit(model_.undo());
}

void FrmEditing::onRedo()
{
    applyEdit(model_.redo());
}

void FrmEditing::refreshState()
{
    const bool open = model_.isOpen;
    QAction* undo = actions_.at("undo");
    QAction* redo = actions_.at("redo");
    undo->setEnabled(open && model_.undoStack.canUndo());
    redo->setEnabled(open && model_.undoStack.canRedo());
    undo->setText(undo->isEnabled() ? QStringLiteral("&Undo ") + qs(model_.undoStack.undoText())
                                    : QStringLiteral("&Undo"));
    redo->setText(redo->isEnabled() ? QStringLiteral("&Redo ") + qs(model_.undoStack.redoText())
                                    : QStringLiteral("&Redo"));
    actions_.at("exportTags")->setEnabled(open);
    actions_.at("importTags")->setEnabled(open);
    actions_.at("checkTags")->setEnabled(open && model_.serverType == ServerKind::Tornel);
    statusFile_->setText(open ? qs(model_.filePath) : QString());
    statusModified_->setText(open && !model_.isSaved ? QStringLiteral("Modified") : QString());
}

QStringList FrmEditing::recentFiles() const
{
    return QSettings().value(kRecentKey).toStringList();
}

void FrmEditing::addRecentFile(const std::string& path)
{
    const QString file = QFileInfo(qs(path)).absoluteFilePath();
    QStringList files = recentFiles();
    files.removeAll(file);
    files.prepend(file);
    while (files.size() > kRecentFiles)
        files.removeLast();
    QSettings().setValue(kRecentKey, files);
    rebuildRecentMenu();
}

void FrmEditing::rebuildRecentMenu()
{
    recentMenu_->clear();
    const QStringList files = recentFiles();
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QString file = files[i];
        QAction* entry = recentMenu_->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(file));
        connect(entry, &QAction::triggered, this, [this, file] { openOffered(file.toStdString()); });
    }
    recentMenu_->setEnabled(!files.isEmpty());
}

void FrmEditing::showContextMenu(const QPoint& globalPosition)
{
    // The tree's selection changed with the click; the commands are enabled for that node.
    listHasFocus_ = false;
    const TreeNode* node = model_.tree.find(selectedNodeKey());
    actions_.at("properties")
        ->setEnabled(model_.isOpen && node != nullptr && node->kind() != NodeKind::Config);
    contextMenu_->popup(globalPosition);
}

}  // namespace orva::editor::ui
