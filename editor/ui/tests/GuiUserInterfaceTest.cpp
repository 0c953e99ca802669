// The real message boxes, questions and file dialogs of the editor, driven through the runner.
#include <QFileDialog>
#include <QMessageBox>

#include "UiTestSupport.h"

namespace orva::editor::ui::test {
namespace {

class GuiUi : public ::testing::Test {
protected:
    ScriptedRunner runner;
    GuiUserInterface ui{runner};

    // Clicks one standard button of the next message box, after checking its text.
    void answerWith(QMessageBox::StandardButton button, const std::string& expectedText)
    {
        runner.scripts.push_back([=](QDialog& d) {
            auto* box = qobject_cast<QMessageBox*>(&d);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->text().toStdString(), expectedText);
            EXPECT_EQ(box->windowTitle(), "Kalder");
            ASSERT_NE(box->button(button), nullptr);
            box->button(button)->click();
        });
    }
};

TEST_F(GuiUi, QuestionsMapTheButtonsClicked)
{
    answerWith(QMessageBox::Yes, "Save?");
    EXPECT_EQ(ui.question("Save?", Buttons::YesNo), Answer::Yes);
    answerWith(QMessageBox::No, "Overwrite?");
    EXPECT_EQ(ui.question("Overwrite?", Buttons::YesNoCancel), Answer::No);
    answerWith(QMessageBox::Cancel, "Overwrite?");
    EXPECT_EQ(ui.question("Overwrite?", Buttons::YesNoCancel), Answer::Cancel);
    // A box closed without a button gives the safe answer.
    runner.scripts.push_back([](QDialog& d) { d.reject(); });
    EXPECT_EQ(ui.question("Overwrite?", Buttons::YesNoCancel), Answer::Cancel);
    // Escape, or the box's close button, calls the whole operation off rather than answering No.
    runner.scripts.push_back([](QDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); });
    EXPECT_EQ(ui.question("Save?", Buttons::YesNo), Answer::Cancel);
    runner.scripts.push_back([](QDialog& d) { d.close(); });
    EXPECT_EQ(ui.question("Delete?", Buttons::YesNo), Answer::Cancel);
    answerWith(QMessageBox::Ok, " Error n. 53  File not found in mnuOpenCfg_Click");
    ui.error(ErrorCode::FileNotFound, "mnuOpenCfg_Click", "x.xml");
}

TEST_F(GuiUi, FileDialogsCarryTitleFilterAndProposedName)
{
    EXPECT_EQ(qtNameFilter("configuration files |*.xml"), "configuration files (*.xml)");
    const auto dir =
        std::filesystem::temp_directory_path() / ("kalder-ui-files-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "a.xml") << "<x/>";

    runner.scripts.push_back([&](QDialog& d) {
        auto* dialog = qobject_cast<QFileDialog*>(&d);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "Open as existing configuration");
        EXPECT_EQ(dialog->nameFilters(), QStringList{"configuration files (*.xml)"});
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
        dialog->setDirectory(QString::fromStdString(dir.string()));
        dialog->selectFile(QStringLiteral("a.xml"));
        d.accept();  // the dialog's own accept, as its Open button does
    });
    const auto opened =
        ui.chooseFile(FileChoice{false, "Open as existing configuration", "configuration files |*.xml", {}});
    ASSERT_TRUE(opened.has_value());
    EXPECT_EQ(std::filesystem::path(*opened), dir / "a.xml");

    runner.scripts.push_back([&](QDialog& d) {
        auto* dialog = qobject_cast<QFileDialog*>(&d);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(dialog->selectedFiles().value(0).section('/', -1), "Tornel.xml");
        dialog->reject();
    });
    EXPECT_FALSE(
        ui.chooseFile(FileChoice{true, "Save configuration", "configuration files |*.xml", "Tornel.xml"}));
    std::filesystem::remove_all(dir);
}

TEST_F(GuiUi, ClipboardTextAndReplaceConfirmation)
{
    QGuiApplication::clipboard()->setText("A\r\nB\r\n");
    EXPECT_EQ(ui.clipboardText(), "A\r\nB\r\n");
    ui.clearClipboard();
    EXPECT_EQ(ui.clipboardText(), "");
    runner.scripts.push_back([](QDialog& d) { click(d, "cmdYes"); });
    EXPECT_TRUE(ui.confirmReplace(ReplaceTable{"Item name", "New Item name", {{"A", "B"}}}));
    runner.scripts.push_back([](QDialog& d) { d.reject(); });  // closed with the window's button
    EXPECT_FALSE(ui.confirmReplace(ReplaceTable{"Item name", "New Item name", {{"A", "B"}}}));
}

}  // namespace
}  // namespace orva::editor::ui::test
