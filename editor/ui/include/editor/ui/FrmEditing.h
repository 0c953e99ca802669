#pragma once
// Kalder's main window: toolbar, menus, the configuration's tree on the left and the list of the
// objects below the selected node on the right. It owns the configuration's life (New, Open,
// Save, Save As, Close, Exit), enables the commands that fit the selection and routes them to
// the model and the dialogs.

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <map>
#include <string>

#include "editor/EditorModel.h"
#include "editor/TagCheck.h"
#include "editor/ui/FindDialog.h"

class QAbstractItemView;
class QAction;
class QModelIndex;
class QLabel;
class QListView;
class QMenu;
class QProgressBar;
class QSplitter;
class QStackedWidget;
class QTreeView;
class QToolBar;

namespace orva::editor::ui {

class ConfigTree;
class DialogRunner;
class GuiUserInterface;
class RowListModel;

// Which commands are enabled: each flag enables a group of menu entries with their toolbar buttons.
struct CommandGroups {
    bool newOpen = false;    // New, Open
    bool saveClose = false;  // Save, Save As, Close
    bool settings = false;   // interface settings
    bool addBranch = false;
    bool addItem = false;
    bool addPlc = false;
    bool copy = false;
    bool cut = false;
    bool paste = false;
    bool remove = false;        // Delete
    bool view = false;          // View menu and the view buttons
    bool tools = false;         // Tools menu and Find
    bool pasteName = false;     // Paste Name
    bool pasteComment = false;  // Paste Comment
};

enum class ListMode { Icon, SmallIcon, List, Report };

class FrmEditing : public QMainWindow {
    Q_OBJECT
public:
    FrmEditing(GuiUserInterface& ui, QWidget* parent = nullptr);
    ~FrmEditing() override;

    EditorModel& model() { return model_; }
    // The folder where a new configuration is proposed to be saved: the program's own by default.
    void setProgramDirectory(QString directory) { programDir_ = std::move(directory); }

    // A command by its menu name ("mnuNewCfg", ...); null when there is none.
    QAction* action(const std::string& menuName) const;
    QToolBar* toolBar() const { return toolBar_; }
    ConfigTree* tree() const { return tree_; }
    QTreeView* reportView() const { return reportView_; }
    QListView* iconView() const { return iconView_; }
    RowListModel* listModel() const { return listModel_; }
    QWidget* importPanel() const { return importPanel_; }
    QProgressBar* importBar() const { return importBar_; }
    FindDialog* findDialog() const { return findDialog_; }
    ListMode listMode() const { return listMode_; }
    // The list view shown in the current mode.
    QAbstractItemView* currentListView() const;
    bool listHasFocus() const { return listHasFocus_; }

    void enableCommands(const CommandGroups& groups);
    // The list for a node: its columns and rows, report view.
    void showList(const std::string& nodeKey);
    // Selects a node in the tree (and everything its selection brings).
    void selectNode(const std::string& key);

    // The commands; menus and toolbar buttons trigger them.
    void onNewConfiguration();
    void onOpenConfiguration();
    bool onSave();
    void onSaveAs();
    void onCloseConfiguration();
    void onExit();
    void onSettings();
    void onAddPlc();
    void onAddBranch();
    void onAddItem();
    void onDelete();
    void onCopy();
    void onCut();
    void onPaste();
    void onPasteName();
    void onPasteComment();
    void onFind();
    void setListMode(ListMode mode);
    // Double click: the modify dialog of the selected node.
    void modifySelected();

    // Opens a configuration file (from the command line, Recent Files or the open dialog); the
    // caller has offered to save the one open before.
    void openFile(const std::string& path);
    void onUndo();
    void onRedo();
    void onExportTags();
    void onImportTags();
    void onCheckTags();
    // The files opened or saved last, newest first (at most eight).
    QStringList recentFiles() const;
    QMenu* recentMenu() const { return recentMenu_; }
    QMenu* contextMenu() const { return contextMenu_; }
    QLabel* statusFile() const { return statusFile_; }
    QLabel* statusModified() const { return statusModified_; }
    // How the tag check reaches the PLCs; tests shorten the time-outs.
    TagCheck::Timeouts checkTimeouts;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildActions();
    void buildMenus();
    void buildToolBar();
    void buildCentre();

    QAction* addCommand(const char* menuName, const char* key, const QString& text,
                        std::function<void()> command, const QKeySequence& shortcut = {});
    void nodeSelected(const QModelIndex& index);
    void rowClicked(const QModelIndex& index);
    void rowDoubleClicked(const QModelIndex& index);
    CommandGroups commandsForNode(const TreeNode& node) const;
    CommandGroups commandsForItemRow() const;
    CommandGroups commandsWhenOpen() const;  // New, Open, Save, Close, settings, add PLC, Tools
    // A model operation on the selection, when a configuration is open, and what it changed shown.
    void editSelection(EditResult (EditorModel::*operation)(const Selection&));
    // Shows what an operation changed: selection, list and commands (the tree follows the model).
    void applyEdit(const EditResult& result, bool refreshList = true, bool rebuildTree = false);
    // Undo and Redo texts, the export, import and check commands, and the status bar.
    void refreshState();
    void addRecentFile(const std::string& path);
    // Opens a file after offering to save the configuration open now.
    void openOffered(const std::string& path);
    void rebuildRecentMenu();
    void showContextMenu(const QPoint& globalPosition);
    // Tells the user which branch names the file wrote in lower case: saving changes them.
    void tellUpperCasedBranches();
    void applyColumnWidths();
    void refreshCurrentList(const std::vector<KeyChange>& renamedRows = {});
    std::string selectedNodeKey() const;
    // The selected PLC or branch of the open configuration; null for anything else.
    const TreeNode* selectedContainer() const;
    Selection selection() const;
    void showRoot();
    void InitObjects();
    // Asks to save unsaved changes; false when the configuration stays unsaved after a Yes.
    bool offerSave(const char* question);
    bool saveTo(const std::string& path);
    // Sets a string value of a key of the machine-wide registry, creating the key; true on success.
    static bool WriteRegistryString(std::string_view subKey, std::string_view valueName,
                                    std::string_view text);
    void importProgress(int value);
    void setCaption();

    GuiUserInterface& ui_;
    EditorModel model_;
    DialogRunner& runner_;
    QString programDir_;
    std::map<std::string, QAction*> actions_;
    QToolBar* toolBar_ = nullptr;
    QMenu* viewMenu_ = nullptr;
    QMenu* toolsMenu_ = nullptr;
    QMenu* recentMenu_ = nullptr;
    QMenu* contextMenu_ = nullptr;
    QLabel* statusFile_ = nullptr;
    QLabel* statusModified_ = nullptr;
    QSplitter* splitter_ = nullptr;
    ConfigTree* tree_ = nullptr;
    RowListModel* listModel_ = nullptr;
    QStackedWidget* listStack_ = nullptr;
    QTreeView* reportView_ = nullptr;
    QListView* iconView_ = nullptr;
    QWidget* importPanel_ = nullptr;
    QProgressBar* importBar_ = nullptr;
    QPointer<FindDialog> findDialog_;
    ListMode listMode_ = ListMode::Report;
    bool listHasFocus_ = false;
    bool applying_ = false;  // the tree changes under a model operation: no selection handling
    qint64 lastProgressPaint_ = 0;
};

}  // namespace orva::editor::ui
