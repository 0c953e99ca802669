// Undo and redo of every kind of edit, and a long random run of edits against a model rebuilt
// from its own saved file.
#include <functional>
#include <random>

#include "TestModel.h"

namespace orva::editor::test {
namespace {

class UndoTest : public ModelTest {
protected:
    void SetUp() override
    {
        newPlcWithBranch(ServerKind::Tornel, "x");
        addPlc(model, "Q");
        addBranch(model, "P", "C");
        addBranch(model, "P.B", "IN");
        for (int i = 0; i < 5; ++i)
            addItem(model, "P.B", "Level" + std::to_string(i), "signed 16 bit", 2 * i);
        addItem(model, "P.B.IN", "Deep");
        addItem(model, "Q", "Speed", "32 bit float", 4, 7);
    }

    static Selection tree(std::string node) { return Selection{std::move(node), false, {}}; }
    static Selection list(std::string node, std::vector<std::string> rows)
    {
        return Selection{std::move(node), true, std::move(rows)};
    }
};

// The tree and the three collections describe the same objects under the same keys.
void expectConsistent(const EditorModel& model)
{
    std::size_t plcs = 0, branches = 0, items = 0;
    for (const TreeNode* node : model.tree.nodesInOrder()) {
        ASSERT_EQ(model.tree.find(node->key()), node) << node->key();
        const std::string expectedKey =
            node->parent()->key().empty() ? node->text() : node->parent()->key() + "." + node->text();
        EXPECT_EQ(node->key(), expectedKey);
        switch (node->kind()) {
            case NodeKind::Plc: {
                ++plcs;
                const auto plc = model.plcs.get(node->key());
                ASSERT_TRUE(plc) << node->key();
                EXPECT_EQ(plc->sKey, node->key());
                EXPECT_EQ(plc->sName, node->text());
                break;
            }
            case NodeKind::Branch: {
                ++branches;
                const auto branch = model.branches.get(node->key());
                ASSERT_TRUE(branch) << node->key();
                EXPECT_EQ(branch->sKey(), node->key());
                EXPECT_EQ(branch->sName(), node->text());
                break;
            }
            case NodeKind::Item: {
                ++items;
                const auto item = model.items.get(node->key());
                ASSERT_TRUE(item) << node->key();
                EXPECT_EQ(item->sKey(), node->key());
                EXPECT_EQ(item->sName(), node->text());
                break;
            }
            case NodeKind::Config:
                ADD_FAILURE() << "a second root";
        }
    }
    EXPECT_EQ(model.plcs.size(), plcs);
    EXPECT_EQ(model.branches.size(), branches);
    EXPECT_EQ(model.items.size(), items);
}

TEST_F(UndoTest, EveryKindOfEditIsUndoneAndRedoneToTheSameFile)
{
    struct Edit {
        const char* name;
        std::function<EditResult()> apply;
        const char* undoText;
    };
    const std::vector<Edit> edits = {
        {"add PLC",
         [&] {
             PlcForm form = model.newPlcForm();
             form.name = "R";
             return model.applyPlcForm("", form, false);
         },
         "Add PLC R"},
        {"rename PLC with its items",
         [&] {
             PlcForm form = model.plcFormFor("P");
             form.name = "P9";
             form.address = "10.0.0.9";
             return model.applyPlcForm("P", form, true);
         },
         "Change PLC P9"},
        {"delete PLC", [&] { return model.deleteSelection(tree("P")); }, "Delete PLC P"},
        {"add branch", [&] { return model.addBranch("P.B", "New"); }, "Add branch New"},
        {"rename branch", [&] { return model.renameBranch("P.B", "Renamed"); }, "Rename branch Renamed"},
        {"delete branch", [&] { return model.deleteSelection(tree("P.B")); }, "Delete branch B"},
        {"add item", [&] { return model.AddItemToColl("P.C", itemForm("Flow", "boolean", 3, 2, 5), false); },
         "Add item Flow"},
        {"modify item",
         [&] { return model.AddItemToColl("P.B.Level2", itemForm("Level2b", "string", 8, 3, 0, 12), true); },
         "Change item Level2b"},
        {"delete list rows",
         [&] {
             return model.deleteSelection(list("P.B", {"P.B.Level3", "P.B.Level0", "P.B.Level1"}));
         },
         "Delete 3 items"},
        {"cut", [&] { return model.cut(tree("P.B.Level4")); }, "Cut item Level4"},
        {"paste",
         [&] {
             model.copy(list("P.B", {"P.B.Level1", "P.B.Level2"}));
             return model.paste("P.B");
         },
         "Paste 2 items"},
        {"move branch", [&] { return model.dragDrop("P.B", "P.C", false); }, "Move branch B"},
        {"copy branch", [&] { return model.dragDrop("P.B", "Q", true); }, "Copy branch B"},
        {"move item to another PLC", [&] { return model.dragDrop("P.B.Level0", "Q", false); },
         "Move item Level0"},
        {"paste names, two exchanged",
         [&] {
             ui.clipboard = "Level1\r\nLevel0\r\nFresh\r\n";
             return model.pasteName(list("P.B", {"P.B.Level0", "P.B.Level1", "P.B.Level2"}));
         },
         "Rename 3 items"},
        {"paste comments",
         [&] {
             ui.clipboard = "one\r\ntwo\r\n";
             return model.pasteComment(list("P.B", {"P.B.Level0", "P.B.Level4"}));
         },
         "Change comment of 2 items"},
        {"settings",
         [&] {
             SettingsForm form = model.settingsForm();
             form.iface = "CP1";
             return EditResult{.done = model.applySettings(form)};
         },
         "Change settings"},
        {"add group",
         [&] {
             ItemForm form = itemForm("G", "boolean", 0, 4, 6);
             return model.addGroup("P.C", form, "4");
         },
         "Add 4 items"},
    };
    for (const auto& edit : edits) {
        SCOPED_TRACE(edit.name);
        SetUp();
        model.markSaved();
        const std::string before = written(model);
        ASSERT_TRUE(edit.apply().done);
        const std::string after = written(model);
        ASSERT_NE(after, before);
        EXPECT_FALSE(model.isSaved);
        EXPECT_EQ(model.undoStack.undoText(), edit.undoText);

        ASSERT_TRUE(model.undo().done);
        EXPECT_EQ(written(model), before);
        EXPECT_TRUE(model.isSaved) << "undone back to the saved state";
        expectConsistent(model);
        EXPECT_EQ(model.undoStack.redoText(), edit.undoText);

        ASSERT_TRUE(model.redo().done);
        EXPECT_EQ(written(model), after);
        EXPECT_FALSE(model.isSaved);
        expectConsistent(model);
    }
}

TEST_F(UndoTest, AnEditAfterUndoDropsTheRedoAndTheSavedStateBeyondIt)
{
    addItem(model, "P.C", "A");
    model.markSaved();
    ASSERT_TRUE(model.undo().done);
    EXPECT_FALSE(model.isSaved);
    addItem(model, "P.C", "B");
    EXPECT_FALSE(model.undoStack.canRedo());
    ASSERT_TRUE(model.undo().done);
    EXPECT_FALSE(model.isSaved) << "the saved state can no longer be reached";
    EXPECT_FALSE(model.items.contains("P.C.A"));
}

TEST_F(UndoTest, RandomEditsAndUndosKeepTheModelEqualToItsReloadedFile)
{
    std::mt19937 random(20261207);
    const auto pick = [&](const std::vector<std::string>& keys) {
        return keys[std::uniform_int_distribution<std::size_t>(0, keys.size() - 1)(random)];
    };
    const std::string initial = written(model);
    model.undoStack.clear(false);  // the run starts from the fixture
    const std::size_t start = model.undoStack.index();
    // The file each position of the undo stack stands for: undo and redo must land on it again.
    std::vector<std::string> fileAt(start + 1);
    fileAt[start] = initial;
    int counter = 0;
    for (int step = 0; step < 600; ++step) {
        std::vector<std::string> holders, branches, items;
        for (const TreeNode* node : model.tree.nodesInOrder()) {
            if (node->kind() == NodeKind::Item)
                items.push_back(node->key());
            else
                holders.push_back(node->key());
            if (node->kind() == NodeKind::Branch) branches.push_back(node->key());
        }
        const std::string name = "N" + std::to_string(++counter);
        ui.answers.clear();  // every question answered Yes
        const int choice = std::uniform_int_distribution<int>(0, 9)(random);
        switch (choice) {
            case 0:
                model.addBranch(pick(holders), name);
                break;
            case 1:
            case 2:
                model.AddItemToColl(pick(holders), itemForm(name, "boolean array", counter % 100, 1, 2, 9),
                                    false);
                break;
            case 3:
                if (!branches.empty()) model.renameBranch(pick(branches), name);
                break;
            case 4:
                if (!items.empty()) model.deleteSelection(tree(pick(items)));
                break;
            case 5:
                if (!branches.empty()) model.dragDrop(pick(branches), pick(holders), counter % 3 == 0);
                break;
            case 6:
                if (!items.empty()) {
                    model.copy(tree(pick(items)));
                    if (!branches.empty()) model.paste(pick(branches));
                }
                break;
            case 7:
            case 8:
                model.undo();
                break;
            case 9:
                model.redo();
                break;
        }
        const std::size_t position = model.undoStack.index();
        if (choice < 7) {
            fileAt.resize(position + 1);
            fileAt[position] = written(model);
        } else {
            ASSERT_EQ(written(model), fileAt.at(position)) << "step " << step << " choice " << choice;
        }
        if (step % 25 == 0 || step == 599) {
            SCOPED_TRACE(step);
            expectConsistent(model);
            const std::string saved = written(model);
            ScriptedUi otherUi;
            EditorModel reloaded(otherUi);
            ASSERT_TRUE(reloaded.importXmlBytes(saved));
            EXPECT_TRUE(otherUi.messages.empty()) << otherUi.lastMessage();
            EXPECT_EQ(written(reloaded), saved);
        }
    }
    while (model.undoStack.index() > start)
        ASSERT_TRUE(model.undo().done);
    while (model.undoStack.index() < start)
        ASSERT_TRUE(model.redo().done);
    expectConsistent(model);
    EXPECT_EQ(written(model), initial);
}

}  // namespace
}  // namespace orva::editor::test
