// The configuration's life in the main window: New, Open, Save, Save As, Close and Exit.
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QProgressBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QTreeView>
#include <filesystem>

#include "editor/ui/ConfigTree.h"
#include "editor/ui/DialogRunner.h"
#include "editor/ui/FindDialog.h"
#include "editor/ui/FrmEditing.h"
#include "editor/ui/GuiUserInterface.h"
#include "editor/ui/RowListModel.h"
#include "editor/ui/ServerKindDialog.h"
#include "registry/Registry.h"

namespace orva::editor::ui {

namespace {

constexpr const char* kSaveActive = "Do you want to save active configuration?";
constexpr const char* kSaveThis = "Do you want to save this configuration?";
const std::string kFilter = "configuration files |*.xml";

}  // namespace

void FrmEditing::InitObjects()
{
    model_.InitObjects();
    listModel_->clear();
    splitter_->hide();
}

void FrmEditing::showRoot()
{
    {
        const QSignalBlocker block(tree_->selectionModel());
        tree_->setCurrentIndex(tree_->node(""));
    }
    splitter_->show();
}

bool FrmEditing::offerSave(const char* question)
{
    if (!model_.isOpen || model_.isSaved) return true;
    switch (ui_.question(question, Buttons::YesNo)) {
        case Answer::No:
            return true;
        case Answer::Cancel:
            // Escape or a closed box: "not now". The configuration stays open as it is.
            return false;
        case Answer::Yes:
            break;
    }
    onSave();
    return model_.isSaved;
}

void FrmEditing::onNewConfiguration()
{
    if (!offerSave(kSaveActive)) return;
    ServerKindDialog dialog(this);
    // Closing the dialog without "Ok" leaves everything as it was.
    if (runner_.run(dialog) != QDialog::Accepted) return;
    InitObjects();
    const ServerKind kind = dialog.kind();
    const QString path =
        QDir(programDir_)
            .filePath(QString::fromUtf8(config::serverKindName(kind).data(),
                                        static_cast<qsizetype>(config::serverKindName(kind).size())) +
                      QStringLiteral(".xml"));
    model_.newConfiguration(kind, path.toStdString());
    showRoot();
    enableCommands(commandsWhenOpen());
    refreshState();
}

void FrmEditing::onOpenConfiguration()
{
    if (!offerSave(kSaveActive)) return;
    const auto path = ui_.chooseFile(FileChoice{false, "Open as existing configuration", kFilter, {}});
    if (!path) return;
    openFile(*path);
}

void FrmEditing::openOffered(const std::string& path)
{
    if (!offerSave(kSaveActive)) return;
    openFile(path);
}

void FrmEditing::openFile(const std::string& path)
{
    listModel_->clear();
    importBar_->setValue(0);
    importPanel_->show();
    enableCommands(CommandGroups{});
    lastProgressPaint_ = 0;
    bool opened = false;
    {
        // The tree shows nothing while it is read, and the whole of it once read.
        const ConfigTreeModel::BulkChange loading(*tree_->treeModel());
        opened = model_.openConfiguration(path);
    }
    importPanel_->hide();
    if (!opened) {
        // What was read is incomplete; nothing of it may be saved over a file.
        model_.closeConfiguration();
        InitObjects();
        enableCommands(CommandGroups{.newOpen = true});
        refreshState();
        return;
    }
    showRoot();
    showList("");
    enableCommands(commandsWhenOpen());
    addRecentFile(path);
    refreshState();
    tellUpperCasedBranches();
}

void FrmEditing::tellUpperCasedBranches()
{
    const auto& names = model_.branchesUpperCased;
    if (names.empty()) return;
    constexpr std::size_t kNamed = 5;
    std::string text = "Branch names are saved in upper case; OPC item IDs that clients use will change: ";
    for (std::size_t i = 0; i < names.size() && i < kNamed; ++i) {
        if (i > 0) text += ", ";
        text += names[i];
    }
    if (names.size() > kNamed) text += " and " + std::to_string(names.size() - kNamed) + " more";
    text += ".";
    ui_.message(text, Icon::Information);
}

void FrmEditing::importProgress(int value)
{
    // Painting once per item would cost more than the import itself.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - lastProgressPaint_ < 50) return;
    lastProgressPaint_ = now;
    importBar_->setValue(value);
    importPanel_->repaint();
}

bool FrmEditing::saveTo(const std::string& path)
{
    if (!model_.CreateXML(path)) return false;
    // The server finds the file it was last saved for through this value. A failed registry
    // write is not reported: the file itself has been saved.
    (void)WriteRegistryString(
        "Software\\ORVAAutomation\\" + std::string(config::serverKindName(model_.serverType)), "ConfigFile",
        path);
    model_.markSaved();
    addRecentFile(path);
    refreshState();
    return true;
}

bool FrmEditing::WriteRegistryString(std::string_view subKey, std::string_view valueName,
                                     std::string_view text)
{
    registry::RegistryKey key;
    if (registry::Registry::machine().createKey(subKey, key) != registry::Status::Ok) return false;
    return key.writeString(valueName, text) == registry::Status::Ok;
}

bool FrmEditing::onSave()
{
    if (!model_.isOpen) return false;
    const std::string path = model_.filePath;
    Answer answer = Answer::Yes;
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::path(path), error))
        answer = ui_.question("File " + path + " already existing. Overwrite?", Buttons::YesNoCancel);
    if (answer == Answer::Yes) {
        if (!saveTo(path)) return false;
        ui_.message(path + " saved", Icon::None);
        return true;
    }
    if (answer == Answer::No) onSaveAs();
    return model_.isSaved;
}

void FrmEditing::onSaveAs()
{
    if (!model_.isOpen) return;
    const std::string proposed = std::string(config::serverKindName(model_.serverType)) + ".xml";
    const auto path = ui_.chooseFile(FileChoice{true, "Save configuration", kFilter, proposed});
    if (!path) return;
    model_.filePath = *path;
    model_.tree.setText(model_.tree.root(), *path);
    saveTo(*path);
}

void FrmEditing::onCloseConfiguration()
{
    if (!offerSave(kSaveThis)) return;
    model_.closeConfiguration();
    InitObjects();
    enableCommands(CommandGroups{.newOpen = true});
    refreshState();
}

void FrmEditing::onExit()
{
    close();
}

void FrmEditing::closeEvent(QCloseEvent* event)
{
    // Whatever closes the window, unsaved work is offered for saving; a save that does not
    // happen after "Yes" keeps the window open.
    if (!offerSave(kSaveActive)) {
        event->ignore();
        return;
    }
    model_.closeConfiguration();
    if (findDialog_) findDialog_->close();
    event->accept();
}

}  // namespace orva::editor::ui
