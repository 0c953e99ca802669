// New, Open, Save, Save As, Close and Exit with their questions, files and the registry value.
#include <QCloseEvent>
#include <QProgressBar>

#include "UiTestSupport.h"
#include "registry/Registry.h"

namespace orva::editor::ui::test {
namespace {

using Files = WindowTest;

std::string registryValue(const char* server)
{
    std::string value;
    registry::Registry::machine().readString(std::string("SOFTWARE\\ORVAAutomation\\") + server, "ConfigFile",
                                             value);
    return value;
}

TEST_F(Files, SaveOfANewConfigurationWritesTheProgramFolderFileAndTheRegistry)
{
    newConfiguration("optTcpIpS7");
    addPlc("P1");
    const std::string file = path("Tornel.xml").string();
    ASSERT_FALSE(std::filesystem::exists(file));
    press("save");
    EXPECT_TRUE(gui.questions.empty());  // nothing to overwrite
    EXPECT_EQ(gui.lastMessage(), file + " saved");
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(registryValue("Tornel"), file);
    EXPECT_TRUE(window->model().isSaved);

    // Saving again asks before overwriting; Cancel does nothing.
    window->model().isSaved = false;
    gui.answers.push_back(Answer::Cancel);
    press("save");
    EXPECT_EQ(gui.questions.back(), "File " + file + " already existing. Overwrite?");
    EXPECT_FALSE(window->model().isSaved);
}

TEST_F(Files, NoAtTheOverwriteQuestionLeadsToSaveAs)
{
    newConfiguration("optMpiE");
    std::ofstream(path("Lorvik.xml")) << "old";
    gui.answers.push_back(Answer::No);
    gui.files.push_back(std::nullopt);  // the Save As dialog is cancelled
    press("save");
    ASSERT_EQ(gui.fileChoices.size(), 1u);
    EXPECT_TRUE(gui.fileChoices[0].save);
    EXPECT_EQ(gui.fileChoices[0].title, "Save configuration");
    EXPECT_EQ(gui.fileChoices[0].filter, "configuration files |*.xml");
    EXPECT_EQ(gui.fileChoices[0].proposedName, "Lorvik.xml");
    EXPECT_FALSE(window->model().isSaved);
    EXPECT_EQ(readBytes(path("Lorvik.xml")), "old");

    const std::string other = path("Line2.xml").string();
    gui.files.push_back(other);
    trigger("mnuSaveAs");
    EXPECT_TRUE(window->model().isSaved);
    EXPECT_EQ(node("").data().toString().toStdString(), other);
    EXPECT_EQ(window->model().filePath, other);
    EXPECT_EQ(registryValue("Lorvik"), other);
}

TEST_F(Files, OpenSaveAndReopenGiveTheSameFile)
{
    gui.files.push_back((sourceDir() / "samples" / "Tornel.xml").string());
    press("open");
    ASSERT_EQ(gui.fileChoices.size(), 1u);
    EXPECT_FALSE(gui.fileChoices[0].save);
    EXPECT_EQ(gui.fileChoices[0].title, "Open as existing configuration");
    EXPECT_FALSE(window->importPanel()->isVisible());
    EXPECT_EQ(window->model().serverType, ServerKind::Tornel);
    EXPECT_FALSE(window->listModel()->rows().empty());
    EXPECT_EQ(window->listModel()->columns()[0].title, "Plc Name");
    EXPECT_TRUE(enabled("mnuSaveCfg"));
    EXPECT_FALSE(enabled("mnuIcon"));
    EXPECT_EQ(window->tree()->model()->rowCount(node("")), static_cast<int>(window->model().plcs.size()));

    const std::string first = path("first.xml").string();
    gui.files.push_back(first);
    trigger("mnuSaveAs");
    gui.files.push_back(first);
    press("open");
    const std::string second = path("second.xml").string();
    gui.files.push_back(second);
    trigger("mnuSaveAs");
    EXPECT_FALSE(readBytes(first).empty());
    EXPECT_EQ(readBytes(first), readBytes(second));
    EXPECT_EQ(node("").data().toString().toStdString(), second);
}

TEST_F(Files, OpeningAnInvalidFileLeavesOnlyNewAndOpen)
{
    std::ofstream(path("bad.xml")) << "<?xml version=\"1.0\"?><Other/>";
    gui.files.push_back(path("bad.xml").string());
    press("open");
    EXPECT_EQ(gui.lastMessage(), "The configuration file is not valid.");
    EXPECT_TRUE(enabled("mnuNewCfg"));
    EXPECT_TRUE(enabled("mnuOpenCfg"));
    EXPECT_FALSE(enabled("mnuSaveCfg"));
    EXPECT_FALSE(enabled("mnuAddPlc"));
    EXPECT_FALSE(window->importPanel()->isVisible());
    EXPECT_FALSE(window->model().isOpen);
}

TEST_F(Files, UnsavedChangesAreOfferedForSaving)
{
    newConfiguration("optTcpIpS7");
    addPlc("P1");
    // New: No discards.
    gui.answers.push_back(Answer::No);
    newConfiguration("optS7");
    EXPECT_EQ(gui.questions.back(), "Do you want to save active configuration?");
    EXPECT_TRUE(window->model().plcs.empty());

    // Close: Yes, then Cancel at the overwrite question, keeps the configuration open.
    addPlc("P9");
    std::ofstream(path("Vardel.xml")) << "old";
    gui.answers = {Answer::Yes, Answer::Cancel};
    press("close");
    EXPECT_EQ(gui.questions.front() == "Do you want to save active configuration?", true);
    EXPECT_EQ(gui.questions[gui.questions.size() - 2], "Do you want to save this configuration?");
    EXPECT_TRUE(window->model().isOpen);
    EXPECT_TRUE(node("P9").isValid());

    // Closing the window: the same question; a save that does not happen keeps the window.
    gui.answers = {Answer::Yes, Answer::Cancel};
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(gui.questions[gui.questions.size() - 2], "Do you want to save active configuration?");

    // Exit with Yes saves, and the window closes.
    gui.answers = {Answer::Yes, Answer::Yes};
    press("exit");
    EXPECT_FALSE(window->isVisible());
    EXPECT_NE(readBytes(path("Vardel.xml")), "old");
    EXPECT_EQ(registryValue("Vardel"), path("Vardel.xml").string());
}

TEST_F(Files, CloseWithoutChangesAsksNothing)
{
    newConfiguration("optTcpIpS7");
    press("save");
    const auto asked = gui.questions.size();
    press("close");
    EXPECT_EQ(gui.questions.size(), asked);
    EXPECT_FALSE(window->model().isOpen);
    EXPECT_FALSE(window->tree()->isVisible());
    EXPECT_TRUE(enabled("mnuNewCfg"));
    EXPECT_FALSE(enabled("mnuCloseCfg"));
}

}  // namespace
}  // namespace orva::editor::ui::test
