// The main window: caption, commands, enabling groups, the list and its views.
#include <QHeaderView>
#include <QListView>
#include <QMenuBar>

#include "UiTestSupport.h"
#include "editor/ui/Icons.h"

namespace orva::editor::ui::test {
namespace {

using MainWindow = WindowTest;

const char* const kAllCommands[] = {
    "mnuNewCfg",       "mnuOpenCfg", "mnuSaveCfg",   "mnuSaveAs", "mnuCloseCfg", "mnuSetts", "mnuAddPlc",
    "mnuAddBranch",    "mnuAddItem", "mnuDelete",    "mnuCopy",   "mnuCut",      "mnuPaste", "mnuPasteName",
    "mnuPasteComment", "mnuIcon",    "mnuSmallIcon", "mnuList",   "mnuReport",   "mnuFind"};

std::vector<std::string> enabledCommands(const FrmEditing& window)
{
    std::vector<std::string> names;
    for (const char* name : kAllCommands)
        if (window.action(name)->isEnabled()) names.emplace_back(name);
    return names;
}

std::vector<std::string> headers(const FrmEditing& window)
{
    std::vector<std::string> titles;
    for (const auto& column : window.listModel()->columns())
        titles.push_back(column.title);
    return titles;
}

TEST_F(MainWindow, StartsWithCaptionToolbarKeysAndOnlyNewAndOpen)
{
    EXPECT_EQ(window->windowTitle().toStdString(), "ORVA Automation - Kalder");
    for (const char* key : {"new",  "open",   "save", "close", "setts",    "plc",        "branch",
                            "item", "copy",   "cut",  "paste", "delete",   "icon",       "smallicon",
                            "list", "report", "find", "exit",  "pastitem", "pastcomment"})
        EXPECT_NE(window->toolBar()->findChild<QAbstractButton*>(key), nullptr) << key;
    std::vector<std::string> menus;
    for (QAction* action : window->menuBar()->actions())
        menus.push_back(action->text().remove('&').toStdString());
    EXPECT_EQ(menus, (std::vector<std::string>{"File", "Objects", "Edit", "View", "Tools"}));
    EXPECT_EQ(enabledCommands(*window), (std::vector<std::string>{"mnuNewCfg", "mnuOpenCfg"}));
    EXPECT_FALSE(window->tree()->isVisible());
    // The window takes 80 % of the screen, the tree 40 % of the window.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(window->width(), screen.width() * 8 / 10);
    newConfiguration("optTcpIpS7");
    EXPECT_NEAR(window->tree()->width(), window->width() * 0.4, window->width() * 0.05);
}

TEST_F(MainWindow, EveryImageTheTreeListAndToolbarNameIsDrawn)
{
    for (const char* name : {"config", "plc", "branch", "item", "boolean", "unsigned 8 bit",
                             "unsigned 16 bit", "unsigned 32 bit", "signed 8 bit", "signed 16 bit",
                             "signed 32 bit", "32 bit float", "string", "pastename", "pastecomment"})
        EXPECT_FALSE(editorIcon(name).isNull()) << name;
    for (QAction* action : window->toolBar()->actions()) {
        if (action->isSeparator()) continue;
        EXPECT_FALSE(action->icon().isNull()) << action->objectName().toStdString();
    }
    // An item row shows its data type in the icon view and the item image elsewhere.
    newConfiguration("optTcpIpS7");
    addPlc("P1");
    addItem("P1", "Flag");
    clickNode("P1.Flag");
    const QModelIndex index = window->listModel()->index(0, 0);
    const auto image = [&] {
        return qvariant_cast<QIcon>(index.data(Qt::DecorationRole)).pixmap(16).toImage();
    };
    EXPECT_EQ(image(), editorIcon("item").pixmap(16).toImage());
    press("icon");
    EXPECT_EQ(image(), editorIcon("signed 16 bit").pixmap(16).toImage());
}

TEST_F(MainWindow, NewConfigurationOfEachKind)
{
    const std::pair<const char*, std::string> kinds[] = {
        {"optS7", "Vardel"}, {"optMPI", "Pennat"}, {"optTcpIpS7", "Tornel"}, {"optMpiE", "Lorvik"}};
    for (const auto& [option, name] : kinds) {
        gui.answers.push_back(Answer::No);  // the previous one stays unsaved
        newConfiguration(option);
        EXPECT_EQ(std::string(config::serverKindName(window->model().serverType)), name);
        EXPECT_EQ(node("").data().toString().toStdString(), path(name + ".xml").string());
        EXPECT_EQ(ConfigTree::kindOf(node("")), NodeKind::Config);
        EXPECT_TRUE(window->tree()->isVisible());
        std::vector<std::string> expected{"mnuNewCfg", "mnuOpenCfg", "mnuSaveCfg", "mnuSaveAs",
                                          "mnuCloseCfg"};
        if (name != "Pennat") expected.push_back("mnuSetts");
        expected.insert(expected.end(), {"mnuAddPlc", "mnuFind"});
        EXPECT_EQ(enabledCommands(*window), expected) << name;
    }
    EXPECT_EQ(runner.titles.front(), "Select Siemens S7 interface");
    // Every New after the first asked about the unsaved one.
    EXPECT_EQ(gui.questions.size(), 3u);
}

TEST_F(MainWindow, EnablingGroupsFollowTheSelectedNodeAndRow)
{
    newConfiguration("optTcpIpS7");
    // The view commands come with the first selection of a node, the root included.
    EXPECT_FALSE(enabled("mnuIcon"));
    clickNode("");
    EXPECT_TRUE(enabled("mnuIcon"));
    addPlc("P1");
    addBranch("P1", "Empty");
    addBranch("P1", "Motors");
    addItem("P1.Motors", "Speed");

    clickNode("");
    EXPECT_EQ(enabledCommands(*window),
              (std::vector<std::string>{"mnuNewCfg", "mnuOpenCfg", "mnuSaveCfg", "mnuSaveAs", "mnuCloseCfg",
                                        "mnuSetts", "mnuAddPlc", "mnuPaste", "mnuIcon", "mnuSmallIcon",
                                        "mnuList", "mnuReport", "mnuFind"}));
    clickNode("P1");
    EXPECT_TRUE(enabled("mnuAddBranch"));
    EXPECT_TRUE(enabled("mnuAddItem"));
    EXPECT_FALSE(enabled("mnuAddPlc"));
    EXPECT_TRUE(enabled("mnuDelete")) << "a PLC can be deleted, after a confirmation";
    clickNode("P1.Empty");
    EXPECT_TRUE(enabled("mnuDelete"));
    EXPECT_FALSE(enabled("mnuPasteName"));
    EXPECT_FALSE(enabled("mnuPasteComment"));
    clickNode("P1.Motors");
    EXPECT_TRUE(enabled("mnuPasteName"));
    EXPECT_TRUE(enabled("mnuPasteComment"));
    EXPECT_FALSE(enabled("mnuCopy"));
    clickNode("P1.Motors.Speed");
    EXPECT_EQ(enabledCommands(*window),
              (std::vector<std::string>{"mnuNewCfg", "mnuOpenCfg", "mnuSaveCfg", "mnuSaveAs", "mnuCloseCfg",
                                        "mnuSetts", "mnuDelete", "mnuCopy", "mnuCut", "mnuPasteName",
                                        "mnuPasteComment", "mnuIcon", "mnuSmallIcon", "mnuList", "mnuReport",
                                        "mnuFind"}));
    // A click on an item row of a branch's list offers what an item offers.
    clickNode("P1.Motors");
    clickRows({"P1.Motors.Speed"});
    EXPECT_TRUE(enabled("mnuCopy"));
    EXPECT_FALSE(enabled("mnuPaste"));
    EXPECT_FALSE(enabled("mnuAddItem"));
}

TEST_F(MainWindow, ListColumnsRowsAndHeaderSorting)
{
    newConfiguration("optTcpIpS7");
    addPlc("P1");
    addPlc("A0");
    clickNode("");
    EXPECT_EQ(headers(*window), (std::vector<std::string>{"Plc Name", "Address"}));
    EXPECT_EQ(listTexts(), (std::vector<std::string>{"P1", "A0"}));
    EXPECT_EQ(window->listModel()->rows()[0].columns, (std::vector<std::string>{"192.168.0.1"}));

    addBranch("P1", "B");
    addItem("P1.B", "Zeta", "4", "2");
    addItem("P1.B", "Alpha", "8", "1");
    clickNode("P1.B");
    EXPECT_EQ(headers(*window), (std::vector<std::string>{"Item Name", "Comment", "Datatype", "Data Byte",
                                                          "Data Block", "Access Rights", "Index"}));
    EXPECT_EQ(listTexts(), (std::vector<std::string>{"Zeta", "Alpha"}));
    // The Item Name column takes 20 % of the list's width.
    const int listWidth = window->reportView()->parentWidget()->width();
    EXPECT_NEAR(window->reportView()->columnWidth(0), listWidth * 0.2, 3);
    // and keeps its share when the window grows.
    window->resize(window->width() + 200, window->height());
    QCoreApplication::processEvents();
    ASSERT_GT(window->reportView()->parentWidget()->width(), listWidth);
    EXPECT_NEAR(window->reportView()->columnWidth(0), window->reportView()->parentWidget()->width() * 0.2, 3);

    QHeaderView* header = window->reportView()->header();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
    EXPECT_EQ(listTexts(), (std::vector<std::string>{"Alpha", "Zeta"}));
    // Sorting by the Index column orders by block, byte and bit; a second click stays ascending.
    for (int i = 0; i < 2; ++i)
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(6) + 5, header->height() / 2));
    EXPECT_EQ(listTexts(), (std::vector<std::string>{"Alpha", "Zeta"}));
    EXPECT_EQ(window->listModel()->rows()[0].columns.back(), "00010000080");

    clickNode("P1.B.Zeta");
    EXPECT_EQ(headers(*window), (std::vector<std::string>{"Item Name", "Comment", "Datatype", "data Byte",
                                                          "Data Block", "Access Rights"}));
    EXPECT_EQ(listTexts(), (std::vector<std::string>{"Zeta"}));
}

TEST_F(MainWindow, ViewModesSwitchTheList)
{
    newConfiguration("optTcpIpS7");
    addPlc("P1");
    clickNode("");
    EXPECT_EQ(window->currentListView(), window->reportView());
    press("icon");
    EXPECT_EQ(window->listMode(), ListMode::Icon);
    EXPECT_EQ(window->currentListView(), window->iconView());
    EXPECT_EQ(window->iconView()->viewMode(), QListView::IconMode);
    press("smallicon");
    EXPECT_EQ(window->iconView()->iconSize(), QSize(16, 16));
    trigger("mnuList");
    EXPECT_EQ(window->iconView()->flow(), QListView::TopToBottom);
    trigger("mnuReport");
    EXPECT_EQ(window->currentListView(), window->reportView());
}

TEST_F(MainWindow, DoubleClickOnARowOpensTheModifyDialog)
{
    newConfiguration("optTcpIpS7");
    addPlc("P1");
    clickNode("");
    runner.scripts.push_back([](QDialog& d) {
        EXPECT_EQ(text(d, "txtName"), "P1");
        type(d, "txtName", "P2");
        click(d, "cmdApply");
    });
    const QModelIndex index = window->listModel()->index(0, 0);
    clickRows({"P1"});  // the first click of the double click selects the row
    QTest::mouseDClick(window->reportView()->viewport(), Qt::LeftButton, {},
                       window->reportView()->visualRect(index).center());
    EXPECT_EQ(runner.titles.back(), "PLC Properties");
    EXPECT_TRUE(node("P2").isValid());
    EXPECT_FALSE(node("P1").isValid());
    EXPECT_EQ(currentNode(), node("P2"));
}

TEST_F(MainWindow, KeyboardOpensTheModifyDialogAndSelectsAnItemsRow)
{
    newConfiguration("optTcpIpS7");
    addPlc("P1");
    addBranch("P1", "B");
    addItem("P1.B", "Level");
    clickNode("P1.B");
    runner.scripts.push_back([](QDialog& d) {
        EXPECT_EQ(text(d, "txtName"), "B");
        click(d, "cmdCancel");
    });
    QTest::keyClick(window->tree(), Qt::Key_Return);
    EXPECT_EQ(runner.titles.back(), "Branch");

    // The row of a selected item is selected: Paste Name renames it from the tree.
    clickNode("P1.B.Level");
    QGuiApplication::clipboard()->setText("Height");
    runner.scripts.push_back([](QDialog& d) { click(d, "cmdYes"); });
    press("pastitem");
    EXPECT_TRUE(node("P1.B.Height").isValid());
    EXPECT_EQ(listTexts(), (std::vector<std::string>{"Height"}));
}

}  // namespace
}  // namespace orva::editor::ui::test
