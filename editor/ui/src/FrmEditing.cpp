// The main window's construction, its enabling groups, the tree selection and the list.
#include "editor/ui/FrmEditing.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>
#include <unordered_map>

#include "editor/ui/ConfigTree.h"
#include "editor/ui/FindDialog.h"
#include "editor/ui/GuiUserInterface.h"
#include "editor/ui/Icons.h"
#include "editor/ui/RowListModel.h"

namespace orva::editor::ui {

FrmEditing::FrmEditing(GuiUserInterface& ui, QWidget* parent)
    : QMainWindow(parent),
      ui_(ui),
      model_(ui),
      runner_(ui.runner()),
      programDir_(QCoreApplication::applicationDirPath())
{
    setObjectName(QStringLiteral("frmEditing"));
    ui_.setParentWidget(this);
    ui_.setProgressSink([this](int value) { importProgress(value); });
    setWindowIcon(editorIcon("config"));
    setCaption();
    buildActions();
    buildMenus();
    buildToolBar();
    buildCentre();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        resize(area.width() * 8 / 10, area.height() * 8 / 10);
    }
    splitter_->setSizes({width() * 4 / 10, width() * 6 / 10});

    InitObjects();
    enableCommands(CommandGroups{.newOpen = true});
    rebuildRecentMenu();
    refreshState();
}

FrmEditing::~FrmEditing()
{
    ui_.setProgressSink({});
    ui_.setParentWidget(nullptr);
    if (findDialog_) delete findDialog_.data();
    tree_->detach();  // the view's model follows model_.tree, which goes before the widgets
}

void FrmEditing::setCaption()
{
    setWindowTitle(QCoreApplication::organizationName() + QStringLiteral(" - ") +
                   QCoreApplication::applicationName());
}

QAction* FrmEditing::addCommand(const char* menuName, const char* key, const QString& text,
                                std::function<void()> command, const QKeySequence& shortcut)
{
    auto* action = new QAction(text, this);
    action->setObjectName(QString::fromUtf8(menuName));
    action->setProperty("key", QString::fromUtf8(key));
    if (!shortcut.isEmpty()) action->setShortcut(shortcut);
    connect(action, &QAction::triggered, this, [command = std::move(command)] { command(); });
    actions_[menuName] = action;
    return action;
}

void FrmEditing::buildActions()
{
    // Menu name, toolbar key, text, command, shortcut and picture ("" where it has none).
    struct Command {
        const char* menuName;
        const char* key;
        const char* text;
        std::function<void()> run;
        QKeySequence shortcut;
        const char* image;
    };
    const auto ctrl = [](Qt::Key key) { return QKeySequence(Qt::CTRL | key); };
    const auto ctrlShift = [](Qt::Key key) { return QKeySequence(Qt::CTRL | Qt::SHIFT | key); };
    const Command commands[] = {
        {"mnuNewCfg", "new", "&New", [this] { onNewConfiguration(); }, QKeySequence::New, "new"},
        {"mnuOpenCfg", "open", "&Open...", [this] { onOpenConfiguration(); }, QKeySequence::Open, "open"},
        {"mnuSaveCfg", "save", "&Save", [this] { onSave(); }, QKeySequence::Save, "save"},
        {"mnuSaveAs", "", "Save &As...", [this] { onSaveAs(); }, QKeySequence::SaveAs, ""},
        {"mnuCloseCfg", "close", "&Close", [this] { onCloseConfiguration(); }, ctrl(Qt::Key_W), "close"},
        {"mnuExit", "exit", "E&xit", [this] { onExit(); }, QKeySequence::Quit, "exit"},
        {"mnuSetts", "setts", "&Settings...", [this] { onSettings(); }, {}, "setts"},
        {"mnuAddPlc", "plc", "Add &PLC...", [this] { onAddPlc(); }, ctrl(Qt::Key_P), "plc"},
        {"mnuAddBranch", "branch", "Add &Branch...", [this] { onAddBranch(); }, ctrl(Qt::Key_B), "branch"},
        {"mnuAddItem", "item", "Add &Item...", [this] { onAddItem(); }, ctrl(Qt::Key_I), "item"},
        {"mnuDelete", "delete", "&Delete", [this] { onDelete(); }, QKeySequence::Delete, "delete"},
        {"mnuCopy", "copy", "&Copy", [this] { onCopy(); }, QKeySequence::Copy, "copy"},
        {"mnuCut", "cut", "Cu&t", [this] { onCut(); }, QKeySequence::Cut, "cut"},
        {"mnuPaste", "paste", "&Paste", [this] { onPaste(); }, QKeySequence::Paste, "paste"},
        {"mnuPasteName", "pastitem", "Paste &Name", [this] { onPasteName(); }, ctrlShift(Qt::Key_N),
         "pastename"},
        {"mnuPasteComment", "pastcomment", "Paste Co&mment", [this] { onPasteComment(); },
         ctrlShift(Qt::Key_M), "pastecomment"},
        {"mnuIcon", "icon", "&Icon", [this] { setListMode(ListMode::Icon); }, {}, "icon"},
        {"mnuSmallIcon",
         "smallicon",
         "&Small Icon",
         [this] { setListMode(ListMode::SmallIcon); },
         {},
         "smallicon"},
        {"mnuList", "list", "&List", [this] { setListMode(ListMode::List); }, {}, "list"},
        {"mnuReport", "report", "&Report", [this] { setListMode(ListMode::Report); }, {}, "report"},
        {"mnuFind", "find", "&Find...", [this] { onFind(); }, QKeySequence::Find, "find"},
        {"undo", "", "&Undo", [this] { onUndo(); }, QKeySequence::Undo, ""},
        {"redo", "", "&Redo", [this] { onRedo(); }, ctrl(Qt::Key_Y), ""},
        {"exportTags", "", "&Export Tags...", [this] { onExportTags(); }, {}, ""},
        {"importTags", "", "&Import Tags...", [this] { onImportTags(); }, {}, ""},
        {"checkTags", "", "&Check Tags...", [this] { onCheckTags(); }, {}, ""},
        {"properties", "", "P&roperties...", [this] { modifySelected(); }, {}, ""}};
    for (const Command& command : commands) {
        QAction* action = addCommand(command.menuName, command.key, QString::fromUtf8(command.text),
                                     command.run, command.shortcut);
        if (*command.image != '\0') action->setIcon(editorIcon(command.image));
    }
    actions_.at("redo")->setShortcuts({ctrl(Qt::Key_Y), ctrlShift(Qt::Key_Z)});
    for (const auto& [name, action] : actions_)
        action->setToolTip(action->text().remove(QLatin1Char('&')).remove(QStringLiteral("...")));
}

void FrmEditing::buildMenus()
{
    const auto menu = [this](const char* name, const QString& title,
                             std::initializer_list<const char*> entries) {
        QMenu* m = menuBar()->addMenu(title);
        m->setObjectName(QString::fromUtf8(name));
        for (const char* entry : entries) {
            if (entry == nullptr)
                m->addSeparator();
            else
                m->addAction(actions_.at(entry));
        }
        return m;
    };
    QMenu* file = menu("mnuFile", QStringLiteral("&File"),
                       {"mnuNewCfg", "mnuOpenCfg", "mnuSaveCfg", "mnuSaveAs", "mnuCloseCfg", nullptr,
                        "exportTags", "importTags", nullptr});
    recentMenu_ = file->addMenu(QStringLiteral("Recent &Files"));
    recentMenu_->setObjectName(QStringLiteral("recentFiles"));
    file->addSeparator();
    file->addAction(actions_.at("mnuExit"));
    menu("mnuObjects", QStringLiteral("&Objects"),
         {"mnuSetts", nullptr, "mnuAddPlc", "mnuAddBranch", "mnuAddItem", nullptr, "mnuDelete"});
    menu("mnuEdit", QStringLiteral("&Edit"),
         {"undo", "redo", nullptr, "mnuCopy", "mnuCut", "mnuPaste", nullptr, "mnuPasteName",
          "mnuPasteComment"});
    viewMenu_ = menu("mnuView", QStringLiteral("&View"), {"mnuIcon", "mnuSmallIcon", "mnuList", "mnuReport"});
    toolsMenu_ = menu("mnuTools", QStringLiteral("&Tools"), {"mnuFind", "checkTags"});
    // A right click on a node without moving offers the node's commands.
    contextMenu_ = new QMenu(this);
    contextMenu_->setObjectName(QStringLiteral("nodeMenu"));
    for (const char* entry : {"mnuCut", "mnuCopy", "mnuPaste", "mnuDelete", "", "properties"}) {
        if (*entry == '\0')
            contextMenu_->addSeparator();
        else
            contextMenu_->addAction(actions_.at(entry));
    }
}

void FrmEditing::buildToolBar()
{
    toolBar_ = addToolBar(QStringLiteral("Toolbar1"));
    toolBar_->setObjectName(QStringLiteral("Toolbar1"));
    toolBar_->setIconSize(QSize(24, 24));
    const std::initializer_list<const char*> order = {
        "mnuNewCfg", "mnuOpenCfg",   "mnuSaveCfg", "mnuCloseCfg", nullptr,        "mnuSetts",
        "mnuAddPlc", "mnuAddBranch", "mnuAddItem", nullptr,       "mnuCopy",      "mnuCut",
        "mnuPaste",  "mnuDelete",    nullptr,      "mnuIcon",     "mnuSmallIcon", "mnuList",
        "mnuReport", nullptr,        "mnuFind",    nullptr,       "mnuPasteName", "mnuPasteComment",
        nullptr,     "mnuExit"};
    for (const char* name : order) {
        if (name == nullptr) {
            toolBar_->addSeparator();
            continue;
        }
        QAction* action = actions_.at(name);
        toolBar_->addAction(action);
        // Each button is known by its key.
        if (QWidget* button = toolBar_->widgetForAction(action))
            button->setObjectName(action->property("key").toString());
    }
}

void FrmEditing::buildCentre()
{
    auto* centre = new QWidget(this);
    auto* layout = new QVBoxLayout(centre);
    layout->setContentsMargins(2, 2, 2, 2);
    splitter_ = new QSplitter(Qt::Horizontal, centre);
    tree_ = new ConfigTree(model_.tree, splitter_);
    tree_->setObjectName(QStringLiteral("TreeView1"));
    listModel_ = new RowListModel(this);
    listStack_ = new QStackedWidget(splitter_);
    reportView_ = new QTreeView(listStack_);
    reportView_->setObjectName(QStringLiteral("ListView1"));
    reportView_->setRootIsDecorated(false);
    reportView_->setUniformRowHeights(true);
    reportView_->setItemsExpandable(false);
    reportView_->setAllColumnsShowFocus(true);
    reportView_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    reportView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    reportView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    reportView_->setModel(listModel_);
    reportView_->header()->setSectionsClickable(true);
    reportView_->header()->setStretchLastSection(false);
    iconView_ = new QListView(listStack_);
    iconView_->setObjectName(QStringLiteral("ListView1Icons"));
    iconView_->setModel(listModel_);
    iconView_->setSelectionModel(reportView_->selectionModel());
    iconView_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    iconView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    iconView_->setUniformItemSizes(true);
    iconView_->setLayoutMode(QListView::Batched);
    iconView_->setBatchSize(500);
    listStack_->addWidget(reportView_);
    listStack_->addWidget(iconView_);
    splitter_->addWidget(tree_);
    splitter_->addWidget(listStack_);
    splitter_->setStretchFactor(0, 4);
    splitter_->setStretchFactor(1, 6);
    layout->addWidget(splitter_, 1);

    importPanel_ = new QWidget(centre);
    importPanel_->setObjectName(QStringLiteral("fraImport"));
    auto* panelLayout = new QHBoxLayout(importPanel_);
    panelLayout->addWidget(new QLabel(QStringLiteral("Importing configuration..."), importPanel_));
    importBar_ = new QProgressBar(importPanel_);
    importBar_->setObjectName(QStringLiteral("prgImport"));
    importBar_->setRange(0, 99);
    panelLayout->addWidget(importBar_, 1);
    importPanel_->hide();
    layout->addWidget(importPanel_);
    setCentralWidget(centre);

    statusFile_ = new QLabel(this);
    statusFile_->setObjectName(QStringLiteral("lblFile"));
    statusModified_ = new QLabel(this);
    statusModified_->setObjectName(QStringLiteral("lblModified"));
    statusBar()->addWidget(statusFile_, 1);
    statusBar()->addPermanentWidget(statusModified_);

    connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current, const QModelIndex&) {
                // While the tree changes under an operation, the window shows the result afterwards.
                if (!tree_->treeModel()->changing()) nodeSelected(current);
            });
    // A click on the selected node selects it again, as a click on any other node does.
    connect(tree_, &QTreeView::clicked, this, [this](const QModelIndex& index) {
        if (index == tree_->currentIndex()) nodeSelected(index);
    });
    connect(tree_, &QTreeView::doubleClicked, this, [this](const QModelIndex&) { modifySelected(); });
    connect(tree_, &ConfigTree::modifyRequested, this, [this] { modifySelected(); });
    connect(tree_, &ConfigTree::contextMenuRequested, this, &FrmEditing::showContextMenu);
    connect(tree_, &ConfigTree::dropRequested, this,
            [this](const QString& source, const QString& target, bool copy) {
                applyEdit(model_.dragDrop(source.toStdString(), target.toStdString(), copy));
            });
    connect(tree_, &ConfigTree::focusEntered, this, [this] { listHasFocus_ = false; });
    for (QAbstractItemView* view :
         {static_cast<QAbstractItemView*>(reportView_), static_cast<QAbstractItemView*>(iconView_)}) {
        view->installEventFilter(this);
        view->viewport()->installEventFilter(this);
        connect(view, &QAbstractItemView::clicked, this, &FrmEditing::rowClicked);
        connect(view, &QAbstractItemView::doubleClicked, this, &FrmEditing::rowDoubleClicked);
    }
    tree_->viewport()->installEventFilter(this);
    listStack_->installEventFilter(this);
    connect(reportView_->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { listModel_->sort(column, Qt::AscendingOrder); });
}

bool FrmEditing::eventFilter(QObject* watched, QEvent* event)
{
    // The columns keep their shares of the list's width as the window is resized.
    if (watched == listStack_ && event->type() == QEvent::Resize) {
        applyColumnWidths();
        return false;
    }
    // Enter on a row does what a double click does.
    if (event->type() == QEvent::KeyPress && (watched == reportView_ || watched == iconView_)) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            rowDoubleClicked(currentListView()->currentIndex());
            return true;
        }
    }
    // The operations act on the list's rows when the list was the last of the two to be used.
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::MouseButtonPress) {
        if (watched == tree_->viewport())
            listHasFocus_ = false;
        else
            listHasFocus_ = true;
    }
    return QMainWindow::eventFilter(watched, event);
}

QAction* FrmEditing::action(const std::string& menuName) const
{
    const auto found = actions_.find(menuName);
    return found == actions_.end() ? nullptr : found->second;
}

QAbstractItemView* FrmEditing::currentListView() const
{
    return listMode_ == ListMode::Report ? static_cast<QAbstractItemView*>(reportView_) : iconView_;
}

void FrmEditing::enableCommands(const CommandGroups& groups)
{
    const auto enable = [this](std::initializer_list<const char*> names, bool on) {
        for (const char* name : names)
            actions_.at(name)->setEnabled(on);
    };
    enable({"mnuNewCfg", "mnuOpenCfg"}, groups.newOpen);
    enable({"mnuSaveCfg", "mnuSaveAs", "mnuCloseCfg"}, groups.saveClose);
    enable({"mnuSetts"}, groups.settings && model_.serverType != ServerKind::Pennat);
    enable({"mnuAddBranch"}, groups.addBranch);
    enable({"mnuAddItem"}, groups.addItem);
    enable({"mnuAddPlc"}, groups.addPlc);
    enable({"mnuCopy"}, groups.copy);
    enable({"mnuCut"}, groups.cut);
    enable({"mnuPaste"}, groups.paste);
    enable({"mnuDelete"}, groups.remove);
    enable({"mnuIcon", "mnuSmallIcon", "mnuList", "mnuReport"}, groups.view);
    viewMenu_->setEnabled(groups.view);
    enable({"mnuFind"}, groups.tools);
    toolsMenu_->setEnabled(groups.tools);
    enable({"mnuPasteName"}, groups.pasteName);
    enable({"mnuPasteComment"}, groups.pasteComment);
}

CommandGroups FrmEditing::commandsWhenOpen() const
{
    return CommandGroups{.newOpen = true, .saveClose = true, .settings = true, .addPlc = true, .tools = true};
}

CommandGroups FrmEditing::commandsForNode(const TreeNode& node) const
{
    CommandGroups groups{.newOpen = true, .saveClose = true, .settings = true, .view = true, .tools = true};
    switch (node.kind()) {
        case NodeKind::Config:
            groups.addPlc = groups.paste = true;
            break;
        case NodeKind::Plc:
            groups.addBranch = groups.addItem = groups.paste = groups.remove = true;
            break;
        case NodeKind::Branch: {
            groups.addBranch = groups.addItem = groups.paste = groups.remove = true;
            bool hasItem = false;
            for (const auto& child : node.children())
                if (child->kind() == NodeKind::Item) {
                    hasItem = true;
                    break;
                }
            groups.pasteName = groups.pasteComment = hasItem;
            break;
        }
        case NodeKind::Item:
            groups.copy = groups.cut = groups.remove = groups.pasteName = groups.pasteComment = true;
            break;
    }
    return groups;
}

CommandGroups FrmEditing::commandsForItemRow() const
{
    return CommandGroups{.newOpen = true,
                         .saveClose = true,
                         .settings = true,
                         .copy = true,
                         .cut = true,
                         .remove = true,
                         .view = true,
                         .tools = true,
                         .pasteName = true,
                         .pasteComment = true};
}

std::string FrmEditing::selectedNodeKey() const
{
    return tree_->currentKey();
}

Selection FrmEditing::selection() const
{
    Selection s;
    s.node = selectedNodeKey();
    s.listHasFocus = listHasFocus_;
    // The ranges themselves: asking the selection model row by row costs a pass over every range
    // for each row, too slow for thousands of selected rows.
    std::vector<bool> selected(static_cast<std::size_t>(listModel_->rowCount()), false);
    for (const QItemSelectionRange& range : reportView_->selectionModel()->selection())
        for (int row = range.top(); row <= range.bottom(); ++row)
            if (row >= 0 && static_cast<std::size_t>(row) < selected.size())
                selected[static_cast<std::size_t>(row)] = true;
    for (std::size_t row = 0; row < selected.size(); ++row)
        if (selected[row]) s.rows.push_back(listModel_->rows()[row].key);
    return s;
}

void FrmEditing::nodeSelected(const QModelIndex& index)
{
    if (applying_ || !index.isValid() || !model_.isOpen) return;
    const TreeNode* node = model_.tree.find(ConfigTree::keyOf(index));
    if (node == nullptr) return;
    showList(node->key());
    enableCommands(commandsForNode(*node));
}

void FrmEditing::showList(const std::string& nodeKey)
{
    listModel_->setContent(model_.listFor(nodeKey));
    applyColumnWidths();
    setListMode(ListMode::Report);
    // The row of a selected item is selected, so that Paste Name and Paste Comment find it.
    if (const TreeNode* node = model_.tree.find(nodeKey);
        node != nullptr && node->kind() == NodeKind::Item && listModel_->rowCount() == 1)
        reportView_->selectionModel()->select(
            listModel_->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void FrmEditing::applyColumnWidths()
{
    const int total = std::max(1, listStack_->width() - 4);
    // The shares add up to more than the width for items: the list then scrolls sideways.
    for (std::size_t c = 0; c < listModel_->columns().size(); ++c)
        reportView_->setColumnWidth(static_cast<int>(c), total * listModel_->columns()[c].percent / 100);
}

void FrmEditing::refreshCurrentList(const std::vector<KeyChange>& renamedRows)
{
    // Keep the selected rows selected, under their new keys when they were renamed.
    const Selection before = selection();
    const bool listFocus = listHasFocus_;
    const TreeNode* node = model_.tree.find(selectedNodeKey());
    if (node == nullptr) {
        listModel_->clear();
        return;
    }
    listModel_->setContent(model_.listFor(node->key()));
    if (before.rows.empty()) return;
    std::unordered_map<std::string_view, std::string_view, NoCaseHash, NoCaseEqual> renamed;
    for (const auto& change : renamedRows)
        renamed.emplace(change.oldKey, change.newKey);
    std::unordered_map<std::string_view, int, NoCaseHash, NoCaseEqual> rowOf;
    const auto& rows = listModel_->rows();
    for (std::size_t r = 0; r < rows.size(); ++r)
        rowOf.emplace(rows[r].key, static_cast<int>(r));
    QItemSelection keep;
    const int lastColumn = listModel_->columnCount() - 1;
    for (const std::string& key : before.rows) {
        const auto change = renamed.find(key);
        const auto row = rowOf.find(change == renamed.end() ? std::string_view(key) : change->second);
        if (row != rowOf.end())
            keep.select(listModel_->index(row->second, 0), listModel_->index(row->second, lastColumn));
    }
    reportView_->selectionModel()->select(keep, QItemSelectionModel::ClearAndSelect);
    listHasFocus_ = listFocus;
}

void FrmEditing::rowClicked(const QModelIndex& index)
{
    if (!index.isValid()) return;
    listHasFocus_ = true;
    const ListRow& row = listModel_->row(index.row());
    // Item rows offer what an item offers; PLC rows keep the groups of the node the list shows,
    // since adding acts on the tree's selection.
    if (model_.items.contains(row.key)) enableCommands(commandsForItemRow());
}

void FrmEditing::rowDoubleClicked(const QModelIndex& index)
{
    if (!index.isValid()) return;
    const std::string key = listModel_->row(index.row()).key;
    selectNode(key);
    listHasFocus_ = false;
    modifySelected();
}

void FrmEditing::selectNode(const std::string& key)
{
    const QModelIndex index = tree_->node(key);
    if (!index.isValid()) return;
    tree_->setCurrentIndex(index);
    tree_->scrollTo(index);
    if (index == tree_->currentIndex()) nodeSelected(index);
}

void FrmEditing::setListMode(ListMode mode)
{
    listMode_ = mode;
    listModel_->setLargeIcons(mode == ListMode::Icon);
    if (mode == ListMode::Report) {
        listStack_->setCurrentWidget(reportView_);
        return;
    }
    // Large icons in rows, small icons in rows, or small icons in columns.
    struct Look {
        QListView::ViewMode view;
        int iconSize;
        QSize grid;
        QListView::Flow flow;
    };
    const Look look =
        mode == ListMode::Icon        ? Look{QListView::IconMode, 32, QSize(110, 64), QListView::LeftToRight}
        : mode == ListMode::SmallIcon ? Look{QListView::ListMode, 16, QSize(160, 22), QListView::LeftToRight}
                                      : Look{QListView::ListMode, 16, QSize(), QListView::TopToBottom};
    iconView_->setViewMode(look.view);
    iconView_->setIconSize(QSize(look.iconSize, look.iconSize));
    iconView_->setGridSize(look.grid);
    iconView_->setFlow(look.flow);
    iconView_->setWrapping(true);
    listStack_->setCurrentWidget(iconView_);
}

void FrmEditing::applyEdit(const EditResult& result, bool refreshList, bool rebuildTree)
{
    if (!result.done && !result.select && !result.refreshList) return;
    // The tree's view follows the model's tree by itself; here only what to show and select.
    if (rebuildTree) {
        const std::string current = selectedNodeKey();
        const QSignalBlocker block(tree_->selectionModel());
        applying_ = true;
        tree_->rebuild();
        const QModelIndex keep = tree_->node(current);
        tree_->setCurrentIndex(keep.isValid() ? keep : tree_->node(""));
        applying_ = false;
    } else if (!result.added.empty()) {
        const QModelIndex last = tree_->node(result.added.back());
        if (last.isValid()) tree_->scrollTo(last);
    }
    if (result.select) {
        if (const QModelIndex index = tree_->node(*result.select); index.isValid()) {
            const QSignalBlocker block(tree_->selectionModel());
            tree_->setCurrentIndex(index);
            tree_->scrollTo(index);
        }
    }
    refreshState();
    if (!refreshList) return;
    const TreeNode* node = model_.tree.find(selectedNodeKey());
    if (node == nullptr) {
        listModel_->clear();
        return;
    }
    refreshCurrentList(result.rekeyed);
    enableCommands(commandsForNode(*node));
}

}  // namespace orva::editor::ui
