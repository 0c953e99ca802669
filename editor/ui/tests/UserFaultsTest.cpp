// What a new user met in the real window: work lost on Escape, Save As overwriting silently,
// unchecked PLC addresses, PLCs that could not be deleted, files not opened from the command
// line, load errors without a place, branch names changing case unannounced, no status and no
// menu on a right click.
#include <QCursor>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>

#include "UiTestSupport.h"

namespace orva::editor::ui::test {
namespace {

using UserFaults = WindowTest;

constexpr const char* kAddressRule =
    "Address field is not valid. It must be an IP address (a.b.c.d), optionally followed by :port (1 to "
    "65535).";

TEST_F(UserFaults, EscapeAtTheSaveQuestionKeepsTheConfigurationOpenAndModified)
{
    newConfiguration("optTcpIpS7");
    addPlc("P1");
    ASSERT_FALSE(window->model().isSaved);
    gui.realQuestions = true;
    for (const char* command : {"mnuCloseCfg", "mnuOpenCfg", "mnuNewCfg", "mnuExit", "window close"}) {
        SCOPED_TRACE(command);
        runner.scripts.push_back([](QDialog& d) {
            auto* box = qobject_cast<QMessageBox*>(&d);
            ASSERT_NE(box, nullptr);
            EXPECT_TRUE(box->text().startsWith("Do you want to save"));
            EXPECT_NE(box->button(QMessageBox::Yes), nullptr);
            EXPECT_NE(box->button(QMessageBox::No), nullptr);
            QTest::keyClick(&d, Qt::Key_Escape);
        });
        if (std::string_view(command) == "window close")
            EXPECT_FALSE(window->close());
        else
            trigger(command);
        EXPECT_TRUE(window->isVisible());
        EXPECT_TRUE(window->model().isOpen);
        EXPECT_FALSE(window->model().isSaved);
        EXPECT_TRUE(node("P1").isValid());
        EXPECT_TRUE(gui.fileChoices.empty()) << "no open dialog after Escape";
    }
    // Closing the box with its close button calls the operation off as well; No still discards.
    runner.scripts.push_back([](QDialog& d) { d.close(); });
    trigger("mnuCloseCfg");
    EXPECT_TRUE(window->model().isOpen);
    runner.scripts.push_back(
        [](QDialog& d) { qobject_cast<QMessageBox*>(&d)->button(QMessageBox::No)->click(); });
    trigger("mnuCloseCfg");
    EXPECT_FALSE(window->model().isOpen);
}

TEST_F(UserFaults, SaveAsOntoAnExistingFileAsksBeforeReplacingIt)
{
    newConfiguration("optTcpIpS7");
    addPlc("P1");
    const auto target = path("existing.xml");
    std::ofstream(target) << "keep me";
    gui.realFileDialogs = true;
    std::string asked;
    const auto saveAsAnswering = [&](QMessageBox::StandardButton answer) {
        asked.clear();
        runner.scripts.push_back([&, answer](QDialog& d) {
            auto* dialog = qobject_cast<QFileDialog*>(&d);
            ASSERT_NE(dialog, nullptr);
            dialog->setDirectory(QString::fromStdString(dir_.string()));
            dialog->selectFile(QString::fromStdString(target.string()));
            // The question comes in a box of its own while the dialog accepts.
            QTimer::singleShot(0, [&asked, answer] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (box == nullptr) return;
                asked = box->text().toStdString();
                box->button(answer)->click();
            });
            d.accept();  // QFileDialog checks the chosen file here
        });
        trigger("mnuSaveAs");
    };
    saveAsAnswering(QMessageBox::No);
    EXPECT_NE(asked.find("already exists"), std::string::npos) << asked;
    EXPECT_EQ(readBytes(target), "keep me");
    EXPECT_FALSE(window->model().isSaved);

    saveAsAnswering(QMessageBox::Yes);
    EXPECT_NE(asked.find("already exists"), std::string::npos) << asked;
    EXPECT_NE(readBytes(target).find("<PLC name=\"P1\""), std::string::npos);
    EXPECT_TRUE(window->model().isSaved);
}

TEST_F(UserFaults, APlcAddressTheServerCannotReadIsRefusedInTheDialog)
{
    newConfiguration("optTcpIpS7");
    clickNode("");
    runner.scripts.push_back([&](QDialog& d) {
        type(d, "txtName", "P1");
        type(d, "txtAddress", "999.1.1.1:abc");
        click(d, "cmdApply");
        EXPECT_TRUE(d.isVisible()) << "the dialog stays open with its input";
        EXPECT_EQ(gui.lastMessage(), kAddressRule);
        EXPECT_EQ(text(d, "txtAddress"), "999.1.1.1:abc");
        type(d, "txtAddress", "10.0.0.1:1102");
        click(d, "cmdApply");
        EXPECT_FALSE(d.isVisible());
    });
    press("plc");
    ASSERT_TRUE(node("P1").isValid());
    EXPECT_EQ(window->model().plcs.get("P1")->sAddress, "10.0.0.1:1102");
}

TEST_F(UserFaults, APlcIsDeletedWithItsItemsAfterAConfirmationAndComesBackWithUndo)
{
    newConfiguration("optTcpIpS7");
    addPlc("P1");
    addPlc("P2");
    addBranch("P1", "B");
    addItem("P1.B", "A");
    addItem("P1", "C");
    clickNode("P1");
    ASSERT_TRUE(enabled("mnuDelete"));
    gui.answers.push_back(Answer::No);
    press("delete");
    EXPECT_EQ(gui.questions.back(), "Are you sure you want to delete PLC P1 and its 2 items?");
    EXPECT_TRUE(node("P1").isValid());
    press("delete");
    EXPECT_FALSE(node("P1").isValid());
    EXPECT_EQ(childTexts(""), std::vector<std::string>{"P2"});
    EXPECT_EQ(window->action("undo")->text().toStdString(), "&Undo Delete PLC P1");
    trigger("undo");
    EXPECT_EQ(childTexts(""), (std::vector<std::string>{"P1", "P2"})) << "back in its place";
    EXPECT_TRUE(node("P1.B.A").isValid());
    EXPECT_EQ(window->model().plcs.begin()->key, "P1");
}

TEST_F(UserFaults, AFileGivenOnTheCommandLineOpensWithItsPathAndStateInTheStatusBar)
{
    const auto file = path("Line.xml");
    std::ofstream(file, std::ios::binary)
        << "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<ORVATcpIpS7Cfg><OPC_DA><INTERFACE name=\"S\">"
           "<PLC name=\"L1\" address = \"10.0.0.1\" CPUSlot=\"2\" "
           "RackNr=\"0\"><tags><Motor><Fast><tag><name>Run</name>"
           "<datatype>VT_BOOL</datatype></tag></Fast></Motor><PUMP/></tags></PLC></INTERFACE></OPC_DA></"
           "ORVATcpIpS7Cfg>";
    // What the command line `Kalder FILE` does with the file.
    window->openFile(file.string());
    ASSERT_TRUE(window->model().isOpen);
    EXPECT_TRUE(node("L1.MOTOR.FAST.Run").isValid());
    EXPECT_EQ(window->statusFile()->text().toStdString(), file.string());
    EXPECT_TRUE(window->statusModified()->text().isEmpty());
    // Told once, without a way to hide it: saving writes the branch names in upper case.
    EXPECT_EQ(gui.messages,
              std::vector<std::string>{"Branch names are saved in upper case; OPC item IDs that clients "
                                       "use will change: L1.Motor, L1.MOTOR.Fast."});
    EXPECT_EQ(window->recentFiles().front().toStdString(), file.string());
    ASSERT_FALSE(window->recentMenu()->actions().isEmpty());

    addItem("L1.PUMP", "Flow");
    EXPECT_EQ(window->statusModified()->text(), "Modified");
    trigger("undo");
    EXPECT_TRUE(window->statusModified()->text().isEmpty()) << "undone back to the file's state";
}

TEST_F(UserFaults, ALoadErrorNamesTheFileTheLineTheColumnAndTheReason)
{
    const auto file = path("broken.xml");
    std::ofstream(file, std::ios::binary)
        << "<ORVATcpIpS7Cfg>\n  <OPC_DA>\n    <INTERFACE name=\"x\">\n  </OPC_DA>\n";
    gui.files.push_back(file.string());
    trigger("mnuOpenCfg");
    EXPECT_FALSE(window->model().isOpen);
    ASSERT_FALSE(gui.messages.empty());
    EXPECT_EQ(gui.messages.back(), " Error n. 31037  XML document is not well formed in ImportXML");
    ASSERT_FALSE(gui.details.empty());
    EXPECT_EQ(gui.details.back(), file.string() + ", line 4, column 5: Start-end tags mismatch");
}

TEST_F(UserFaults, ARightClickWithoutMovingOpensTheNodesMenu)
{
    newConfiguration("optTcpIpS7");
    addPlc("P1");
    addBranch("P1", "B");
    addItem("P1.B", "Speed");
    clickNode("P1.B");
    ConfigTree* tree = window->tree();
    tree->dragRunner = [](QDrag&, Qt::DropActions) { return Qt::IgnoreAction; };  // released at once
    const QPoint at = nodeRect("P1.B.Speed").center();
    QCursor::setPos(tree->viewport()->mapToGlobal(at));
    QTest::mousePress(tree->viewport(), Qt::RightButton, {}, at);
    QTest::mouseRelease(tree->viewport(), Qt::RightButton, {}, at);
    QMenu* menu = window->contextMenu();
    ASSERT_TRUE(menu->isVisible());
    EXPECT_EQ(tree->currentIndex(), node("P1.B.Speed"));
    std::vector<std::string> entries;
    for (QAction* action : menu->actions())
        if (!action->isSeparator())
            entries.push_back(action->text().remove('&').toStdString() +
                              (action->isEnabled() ? "" : " (off)"));
    EXPECT_EQ(entries, (std::vector<std::string>{"Cut", "Copy", "Paste (off)", "Delete", "Properties..."}));
    menu->hide();
    menu->actions()[3]->trigger();
    EXPECT_EQ(gui.questions.back(), "Are you sure you want to delete Speed ?");
    EXPECT_FALSE(node("P1.B.Speed").isValid());
}

}  // namespace
}  // namespace orva::editor::ui::test
