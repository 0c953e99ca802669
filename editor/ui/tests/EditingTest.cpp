// Copy and paste, drag and drop, delete, bulk rename and find through the main window.
#include <QClipboard>
#include <QDrag>
#include <QMimeData>
#include <QPushButton>
#include <QTableWidget>

#include "UiTestSupport.h"

namespace orva::editor::ui::test {
namespace {

class Editing : public WindowTest {
protected:
    // P1 with branches Drives (items Speed, Level) and Tanks (item Volume), Drives holding Sub.
    void build()
    {
        newConfiguration("optTcpIpS7");
        addPlc("P1");
        addBranch("P1", "Drives");
        addBranch("P1", "Tanks");
        addItem("P1.Drives", "Speed", "0");
        addItem("P1.Drives", "Level", "2");
        addItem("P1.Tanks", "Volume", "0");
        addBranch("P1.Drives", "Sub");
        addItem("P1.Drives.Sub", "Deep", "4");
    }

    // Starts a right-button drag on `source` and lets it travel to `target`, where it is dropped.
    void dragAndDrop(const std::string& source, const std::string& target, bool ctrl)
    {
        ConfigTree* tree = window->tree();
        for (const auto& key : {source, target})
            nodeRect(key);  // opens the node's parents
        bool highlighted = false;
        tree->dragRunner = [&](QDrag& drag, Qt::DropActions actions) {
            EXPECT_EQ(actions, ctrl ? Qt::DropActions(Qt::CopyAction) : Qt::DropActions(Qt::MoveAction));
            EXPECT_EQ(drag.mimeData()->text().toStdString(), source);
            const QPoint at = nodeRect(target).center();
            QDragEnterEvent enter(at, actions, drag.mimeData(), Qt::RightButton, {});
            QApplication::sendEvent(tree->viewport(), &enter);
            QDragMoveEvent move(at, actions, drag.mimeData(), Qt::RightButton, {});
            QApplication::sendEvent(tree->viewport(), &move);
            highlighted = tree->dropTarget() == node(target);
            QDropEvent drop(at, actions, drag.mimeData(), Qt::RightButton, {});
            QApplication::sendEvent(tree->viewport(), &drop);
            return drop.dropAction();
        };
        QTest::mousePress(tree->viewport(), Qt::RightButton, ctrl ? Qt::ControlModifier : Qt::NoModifier,
                          nodeRect(source).center());
        QTest::mouseRelease(tree->viewport(), Qt::RightButton, {}, nodeRect(source).center());
        EXPECT_TRUE(highlighted) << "the drop target was not highlighted";
        // The drop is carried out once the drag has finished.
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
};

TEST_F(Editing, CopyAnItemFromTheTreeAndPasteItTwice)
{
    build();
    clickNode("P1.Drives.Level");
    press("copy");
    clickNode("P1.Drives");
    press("paste");
    press("paste");
    EXPECT_EQ(childTexts("P1.Drives"),
              (std::vector<std::string>{"Speed", "Level", "Sub", "Level_0", "Level_1"}));
    EXPECT_EQ(listTexts(), (std::vector<std::string>{"Speed", "Level", "Level_0", "Level_1"}));
    clickNode("P1.Tanks");
    press("paste");
    EXPECT_EQ(childTexts("P1.Tanks"), (std::vector<std::string>{"Volume", "Level"}));
    // Pasting with a PLC selected does nothing.
    clickNode("P1");
    trigger("mnuPaste");
    EXPECT_EQ(childTexts("P1"), (std::vector<std::string>{"Drives", "Tanks"}));
}

TEST_F(Editing, CopyRowsOfTheListAndRefuseDefaultNames)
{
    build();
    clickNode("P1.Drives");
    clickRows({"P1.Drives.Speed", "P1.Drives.Level"});
    ASSERT_TRUE(window->listHasFocus());
    press("copy");
    clickNode("P1.Tanks");
    press("paste");
    EXPECT_EQ(childTexts("P1.Tanks"), (std::vector<std::string>{"Volume", "Speed", "Level"}));

    addItem("P1.Tanks", "New_Item_9", "8");
    clickNode("P1.Tanks.New_Item_9");
    press("copy");
    EXPECT_EQ(gui.lastMessage(), "Please change Item name (do not use default name) before copying");
    clickNode("P1.Drives");
    press("copy");  // a branch in the tree is not copied (the button is disabled there)
    EXPECT_EQ(gui.lastMessage(), "Please change Item name (do not use default name) before copying");
}

TEST_F(Editing, DragAndDropMovesABranchWithItsContents)
{
    build();
    dragAndDrop("P1.Drives", "P1.Tanks", false);
    EXPECT_FALSE(node("P1.Drives").isValid());
    ASSERT_TRUE(node("P1.Tanks.Drives.Sub.Deep").isValid());
    EXPECT_TRUE(window->tree()->isExpanded(node("P1.Tanks.Drives")));
    const EditorModel& model = window->model();
    EXPECT_TRUE(model.items.contains("P1.Tanks.Drives.Speed"));
    EXPECT_TRUE(model.branches.contains("P1.Tanks.Drives.Sub"));
    EXPECT_FALSE(model.items.contains("P1.Drives.Speed"));
    EXPECT_FALSE(model.branches.contains("P1.Drives"));
    EXPECT_EQ(childTexts("P1"), (std::vector<std::string>{"Tanks"}));
}

TEST_F(Editing, DragWithCtrlCopiesIndependently)
{
    build();
    dragAndDrop("P1.Drives.Speed", "P1.Tanks", true);
    ASSERT_TRUE(node("P1.Drives.Speed").isValid());
    ASSERT_TRUE(node("P1.Tanks.Speed").isValid());
    auto copy = window->model().items.get("P1.Tanks.Speed");
    copy->sComment("changed");
    EXPECT_EQ(window->model().items.get("P1.Drives.Speed")->sComment(), "");

    dragAndDrop("P1.Drives", "P1.Tanks", true);
    EXPECT_TRUE(node("P1.Drives.Sub.Deep").isValid());
    EXPECT_TRUE(node("P1.Tanks.Drives.Sub.Deep").isValid());
}

TEST_F(Editing, RefusedDrops)
{
    build();
    dragAndDrop("P1.Drives", "P1.Drives.Sub", false);
    EXPECT_EQ(gui.lastMessage(), "Unable to drag nodes here");
    dragAndDrop("P1.Tanks", "P1.Drives.Speed", false);
    EXPECT_EQ(gui.messages.size(), 2u);
    EXPECT_EQ(gui.lastMessage(), "Unable to drag nodes here");
    addItem("P1.Tanks", "Speed", "10");
    dragAndDrop("P1.Drives.Speed", "P1.Tanks", false);
    EXPECT_EQ(gui.lastMessage(), "Name already in use at this level. Move not allowed");
    EXPECT_TRUE(node("P1.Drives.Speed").isValid());
    EXPECT_TRUE(node("P1.Drives.Sub").isValid());
}

TEST_F(Editing, DeleteAsksFirst)
{
    build();
    clickNode("P1.Drives.Level");
    gui.answers = {Answer::No, Answer::Yes};
    press("delete");
    EXPECT_EQ(gui.questions.back(), "Are you sure you want to delete Level ?");
    EXPECT_TRUE(node("P1.Drives.Level").isValid());
    press("delete");
    EXPECT_FALSE(node("P1.Drives.Level").isValid());
    EXPECT_FALSE(window->model().items.contains("P1.Drives.Level"));
    EXPECT_EQ(listTexts(), (std::vector<std::string>{"Speed"}));

    clickNode("P1.Drives");
    trigger("mnuDelete");
    EXPECT_EQ(gui.questions.back(), "Are you sure you want to delete Drives and all its items?");
    EXPECT_FALSE(node("P1.Drives").isValid());
    EXPECT_FALSE(window->model().items.contains("P1.Drives.Sub.Deep"));
    EXPECT_FALSE(window->model().branches.contains("P1.Drives.Sub"));

    clickNode("P1.Tanks");
    clickRows({"P1.Tanks.Volume"});
    trigger("mnuDelete");
    EXPECT_EQ(gui.questions.back(), "Are you sure you want to delete the selected items ?");
    EXPECT_TRUE(childTexts("P1.Tanks").empty());
    EXPECT_TRUE(listTexts().empty());
}

TEST_F(Editing, DeletingManyRowsKeepsTheRestOfTheBranch)
{
    build();
    clickNode("P1.Drives");
    runner.scripts.push_back([](QDialog& d) {
        type(d, "txtItemName", "Many");
        type(d, "txtAddress", "10");
        type(d, "txtBlock", "1");
        click(d, "cmdGroup");
        type(d, "txtNumbItems", "40");
        click(d, "cmdOkNumber");
        click(d, "cmdCancel");
    });
    press("item");
    window->tree()->expand(node("P1.Drives.Sub"));
    ASSERT_EQ(window->listModel()->rowCount(), 42);
    // Every row but Speed and the last added one.
    QItemSelection rows;
    for (int r = 1; r < 41; ++r)
        rows.select(window->listModel()->index(r, 0), window->listModel()->index(r, 0));
    clickRows({"P1.Drives.Level"});
    window->reportView()->selectionModel()->select(rows,
                                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    press("delete");
    EXPECT_EQ(childTexts("P1.Drives"), (std::vector<std::string>{"Speed", "Sub", "New_Item_43"}));
    EXPECT_EQ(listTexts(), (std::vector<std::string>{"Speed", "New_Item_43"}));
    EXPECT_FALSE(node("P1.Drives.Level").isValid());
    EXPECT_FALSE(node("P1.Drives.Many").isValid());
    EXPECT_EQ(window->model().items.size(), 4u);  // Speed, New_Item_43, Deep and Volume
    EXPECT_TRUE(window->tree()->isExpanded(node("P1.Drives.Sub")));
    ASSERT_TRUE(node("P1.Drives.Sub.Deep").isValid());
    clickNode("P1.Drives.Sub.Deep");
}

TEST_F(Editing, CutCopiesThenDeletes)
{
    build();
    clickNode("P1.Drives.Speed");
    press("cut");
    EXPECT_FALSE(node("P1.Drives.Speed").isValid());
    clickNode("P1.Tanks");
    press("paste");
    EXPECT_TRUE(node("P1.Tanks.Speed").isValid());
}

TEST_F(Editing, PasteNameRenamesTheSelectedRowsAfterConfirmation)
{
    build();
    clickNode("P1.Drives");
    QGuiApplication::clipboard()->setText("Rpm\r\nHeight\r\n");
    clickRows({"P1.Drives.Speed", "P1.Drives.Level"});
    runner.scripts.push_back([](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Replace Text");
        auto* grid = child<QTableWidget>(d, "grdReplace");
        EXPECT_EQ(grid->item(0, 0)->text(), "Item name");
        EXPECT_EQ(grid->item(0, 2)->text(), "New Item name");
        EXPECT_EQ(grid->item(1, 0)->text(), "Speed");
        EXPECT_EQ(grid->item(1, 1)->text(), "<---");
        EXPECT_EQ(grid->item(2, 2)->text(), "Height");
        click(d, "cmdNo");
    });
    press("pastitem");
    EXPECT_TRUE(node("P1.Drives.Speed").isValid());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "Rpm\r\nHeight\r\n");

    runner.scripts.push_back([](QDialog& d) { click(d, "cmdYes"); });
    press("pastitem");
    EXPECT_EQ(childTexts("P1.Drives"), (std::vector<std::string>{"Rpm", "Height", "Sub"}));
    EXPECT_EQ(listTexts(), (std::vector<std::string>{"Rpm", "Height"}));
    EXPECT_TRUE(window->model().items.contains("P1.Drives.Rpm"));
    EXPECT_FALSE(window->model().items.contains("P1.Drives.Speed"));
    EXPECT_TRUE(QGuiApplication::clipboard()->text().isEmpty());
    EXPECT_FALSE(window->model().isSaved);

    // One line for two rows.
    QGuiApplication::clipboard()->setText("Only\r\n");
    clickRows({"P1.Drives.Rpm", "P1.Drives.Height"});
    press("pastitem");
    EXPECT_EQ(gui.lastMessage(), "Invalid selection");
}

TEST_F(Editing, PasteCommentChangesTheCommentColumn)
{
    build();
    clickNode("P1.Drives");
    QGuiApplication::clipboard()->setText("motor speed\r\nfill level\r\n");
    clickRows({"P1.Drives.Speed", "P1.Drives.Level"});
    runner.scripts.push_back([](QDialog& d) {
        auto* grid = child<QTableWidget>(d, "grdReplace");
        EXPECT_EQ(grid->item(0, 0)->text(), "Item comment");
        EXPECT_EQ(grid->item(0, 2)->text(), "New Item comment");
        click(d, "cmdYes");
    });
    press("pastcomment");
    EXPECT_EQ(window->model().items.get("P1.Drives.Level")->sComment(), "fill level");
    EXPECT_EQ(window->listModel()->rows()[0].columns[0], "motor speed");
    QGuiApplication::clipboard()->clear();
    press("pastcomment");
    EXPECT_EQ(gui.lastMessage(), "Empty clipboard !");
}

TEST_F(Editing, FindAndFindNext)
{
    newConfiguration("optTcpIpS7");
    addPlc("P1");
    addBranch("P1", "B");
    for (const char* name : {"MOTOR1", "PUMP", "MOTOR2", "MOTOR3"})
        addItem("P1.B", name);
    press("find");
    FindDialog* find = window->findDialog();
    ASSERT_NE(find, nullptr);
    EXPECT_EQ(find->windowTitle(), "Find Item");
    EXPECT_FALSE(find->isModal());
    type(*find, "txtFind", "motor");
    click(*find, "cmdFind");
    EXPECT_EQ(currentNode(), node("P1.B.MOTOR1"));
    click(*find, "cmdNext");
    EXPECT_EQ(currentNode(), node("P1.B.MOTOR2"));
    click(*find, "cmdNext");
    EXPECT_EQ(currentNode(), node("P1.B.MOTOR3"));
    click(*find, "cmdNext");
    EXPECT_EQ(currentNode(), node("P1.B.MOTOR3"));
    click(*find, "cmdFind");
    EXPECT_EQ(currentNode(), node("P1.B.MOTOR1"));
    // The selection brings the item's list and commands.
    EXPECT_EQ(listTexts(), (std::vector<std::string>{"MOTOR1"}));
    EXPECT_TRUE(enabled("mnuCopy"));
    click(*find, "cmdCancel");
    EXPECT_TRUE(window->findDialog() == nullptr || !window->findDialog()->isVisible());

    // Closing the main window closes an open find dialog as well.
    press("find");
    ASSERT_NE(window->findDialog(), nullptr);
    EXPECT_TRUE(window->findDialog()->isVisible());
    window->model().isSaved = true;
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(window->findDialog() == nullptr || !window->findDialog()->isVisible());
}

}  // namespace
}  // namespace orva::editor::ui::test
