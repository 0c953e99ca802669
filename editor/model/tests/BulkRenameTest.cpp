// Renaming and re-commenting items from lines of clipboard text.
#include "TestModel.h"

namespace orva::editor::test {
namespace {

class BulkRenameTest : public ModelTest {
protected:
    void SetUp() override
    {
        newPlcWithBranch(ServerKind::Tornel, "x");
        for (const char* name : {"X", "Y", "Z", "W"})
            addItem(model, "P.B", name);
        model.isSaved = true;
    }

    static Selection rows(std::vector<std::string> keys) { return Selection{"P.B", true, std::move(keys)}; }

    std::vector<std::string> names() const
    {
        std::vector<std::string> texts;
        for (const auto& child : model.tree.find("P.B")->children())
            texts.push_back(child->text());
        return texts;
    }
};

TEST(ClipboardLines, SplittingRules)
{
    using Lines = std::vector<std::string>;
    EXPECT_EQ(EditorModel::splitClipboardLines(" A \r\nB\r\n C\r\n"), (Lines{"A", "B", "C"}));
    EXPECT_EQ(EditorModel::splitClipboardLines("A\r\nB"), Lines{"A"});
    EXPECT_EQ(EditorModel::splitClipboardLines(" A B "), Lines{" A B "});
    EXPECT_EQ(EditorModel::splitClipboardLines("A\nB\n"), Lines{"A\nB\n"});
    EXPECT_EQ(EditorModel::splitClipboardLines("\r\n\r\n"), (Lines{"", ""}));
    EXPECT_EQ(EditorModel::splitClipboardLines(""), Lines{});
}

TEST_F(BulkRenameTest, ThreeLinesRenameThreeRows)
{
    ui.clipboard = "A1\r\nA2\r\nA3\r\n";
    const EditResult result = model.pasteName(rows({"P.B.X", "P.B.Y", "P.B.Z"}));
    ASSERT_TRUE(result.done);
    EXPECT_EQ(names(), (std::vector<std::string>{"A1", "A2", "A3", "W"}));
    EXPECT_EQ(model.items.get("P.B.A2")->sKey(), "P.B.A2");
    EXPECT_EQ(model.items.get("P.B.A2")->sName(), "A2");
    EXPECT_FALSE(model.items.contains("P.B.Y"));
    EXPECT_EQ(model.tree.find("P.B.A3")->text(), "A3");
    ASSERT_EQ(ui.tables.size(), 1u);
    EXPECT_EQ(ui.tables[0].oldTitle, "Item name");
    EXPECT_EQ(ui.tables[0].newTitle, "New Item name");
    EXPECT_EQ(ui.tables[0].rows[1], std::make_pair(std::string("Y"), std::string("A2")));
    EXPECT_TRUE(ui.clipboardCleared);
    EXPECT_FALSE(model.isSaved);
    EXPECT_EQ(result.rekeyed.size(), 3u);
}

TEST_F(BulkRenameTest, CountsMustMatchAndTheClipboardMustHoldText)
{
    ui.clipboard = "A1\r\nA2\r\nA3\r\n";
    EXPECT_FALSE(model.pasteName(rows({"P.B.X", "P.B.Y"})).done);
    EXPECT_EQ(ui.lastMessage(), "Invalid selection");
    ui.clipboard.clear();
    EXPECT_FALSE(model.pasteName(rows({"P.B.X"})).done);
    EXPECT_EQ(ui.lastMessage(), "Empty clipboard !");
    EXPECT_FALSE(model.pasteComment(rows({"P.B.X"})).done);
    EXPECT_EQ(ui.lastMessage(), "Empty clipboard !");
    EXPECT_TRUE(model.isSaved);
}

TEST_F(BulkRenameTest, ARefusedNameSkipsItsRowOnly)
{
    ui.clipboard = "A1\r\nA 2\r\nA3\r\n";
    ASSERT_TRUE(model.pasteName(rows({"P.B.X", "P.B.Y", "P.B.Z"})).done);
    EXPECT_EQ(ui.lastMessage(), "Character ( ) not acceptable in string A 2");
    EXPECT_EQ(names(), (std::vector<std::string>{"A1", "Y", "A3", "W"}));
}

TEST_F(BulkRenameTest, CollisionsAreRefusedBeforeAnythingChanges)
{
    ui.clipboard = "W\r\n";
    EXPECT_FALSE(model.pasteName(rows({"P.B.X"})).done);
    EXPECT_EQ(ui.lastMessage(), "Name already existing");
    ui.clipboard = "w\r\n";
    EXPECT_FALSE(model.pasteName(rows({"P.B.X"})).done) << "names are compared without regard to case";
    ui.clipboard = "Q\r\nQ\r\n";
    EXPECT_FALSE(model.pasteName(rows({"P.B.X", "P.B.Y"})).done);
    EXPECT_EQ(ui.lastMessage(), "Name already existing");
    // A refused new name leaves the old name, which another row may not take.
    ui.clipboard = "Y\r\nbad name\r\n";
    EXPECT_FALSE(model.pasteName(rows({"P.B.X", "P.B.Y"})).done);
    addBranch(model, "P.B", "SUB");
    model.isSaved = true;
    ui.clipboard = "sub\r\n";
    EXPECT_FALSE(model.pasteName(rows({"P.B.X"})).done) << "a sibling branch blocks the name too";
    EXPECT_TRUE(ui.tables.empty());
    EXPECT_EQ(names(), (std::vector<std::string>{"X", "Y", "Z", "W", "SUB"}));
    EXPECT_TRUE(model.isSaved);
}

TEST_F(BulkRenameTest, SelectedItemsMayExchangeNames)
{
    ui.clipboard = "Y\r\nX\r\n";
    ASSERT_TRUE(model.pasteName(rows({"P.B.X", "P.B.Y"})).done);
    EXPECT_EQ(names(), (std::vector<std::string>{"Y", "X", "Z", "W"}));
    EXPECT_EQ(model.tree.find("P.B.Y"), &*model.tree.find("P.B")->children().front());
    EXPECT_EQ(model.items.get("P.B.X")->sKey(), "P.B.X");
    EXPECT_EQ(model.items.size(), 4u);
}

TEST_F(BulkRenameTest, AnsweringNoChangesNothing)
{
    ui.clipboard = "A1\r\n";
    ui.replaceAnswer = false;
    EXPECT_FALSE(model.pasteName(rows({"P.B.X"})).done);
    EXPECT_EQ(ui.clipboard, "A1\r\n");
    EXPECT_FALSE(ui.clipboardCleared);
    EXPECT_EQ(names(), (std::vector<std::string>{"X", "Y", "Z", "W"}));
    EXPECT_TRUE(model.isSaved);
}

TEST_F(BulkRenameTest, CommentsFollowTheLines)
{
    model.items.get("P.B.X")->sComment("old");
    ui.clipboard = "first\r\nsecond, with spaces  \r\n";
    ASSERT_TRUE(model.pasteComment(rows({"P.B.X", "P.B.Z"})).done);
    EXPECT_EQ(model.items.get("P.B.X")->sComment(), "first");
    EXPECT_EQ(model.items.get("P.B.Z")->sComment(), "second, with spaces");
    EXPECT_EQ(ui.tables[0].rows[0], std::make_pair(std::string("old"), std::string("first")));
    EXPECT_EQ(ui.tables[0].oldTitle, "Item comment");
    EXPECT_TRUE(ui.clipboardCleared);
    ui.clipboardCleared = false;
    ui.clipboard = "one";
    ASSERT_TRUE(model.pasteComment(rows({"P.B.Y"})).done);
    EXPECT_FALSE(ui.clipboardCleared) << "a single row keeps the clipboard";
    EXPECT_FALSE(model.isSaved);
}

}  // namespace
}  // namespace orva::editor::test
