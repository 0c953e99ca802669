// Adding, copying, pasting, deleting and moving nodes.
#include <map>

#include "TestModel.h"
#include "config/DataTypes.h"

namespace orva::editor::test {
namespace {

class EditingTest : public ModelTest {
protected:
    void SetUp() override
    {
        newPlcWithBranch(ServerKind::Tornel, "x");
        addBranch(model, "P", "C");
        addBranch(model, "P.B", "Inner");
        addItem(model, "P.B", "Level");
        addItem(model, "P.B.Inner", "Deep");
    }

    std::vector<std::string> childTexts(const std::string& key) const
    {
        std::vector<std::string> texts;
        for (const auto& child : model.tree.find(key)->children())
            texts.push_back(child->text());
        return texts;
    }

    static Selection tree(std::string node) { return Selection{std::move(node), false, {}}; }
    static Selection list(std::string node, std::vector<std::string> rows)
    {
        return Selection{std::move(node), true, std::move(rows)};
    }
};

TEST_F(EditingTest, DefaultNamesAreRefusedForCopying)
{
    addItem(model, "P.B", "New_Item_4");
    addItem(model, "P.B", "Copied_Item7");
    model.copy(tree("P.B.New_Item_4"));
    EXPECT_EQ(ui.lastMessage(), "Please change Item name (do not use default name) before copying");
    model.copy(tree("P.B.Level"));
    ASSERT_EQ(model.clipboard.value().size(), 1u);
    ui.messages.clear();
    model.copy(list("P.B", {"P.B.Copied_Item7"}));
    EXPECT_EQ(ui.lastMessage(), "Please change Item name (do not use default name) before copying");
    EXPECT_EQ(model.clipboard.value().at(0)->sName(), "Level") << "a refused first row keeps the clipboard";
    model.copy(tree("P.B"));
    EXPECT_EQ(ui.lastMessage(), "Please use Drag&Drop to copy and paste branches");
}

TEST_F(EditingTest, ListCopyTakesTheRowsBeforeARefusedOne)
{
    addItem(model, "P.B", "Flow");
    addItem(model, "P.B", "New_Item_9");
    model.copy(list("P.B", {"P.B.Flow", "P.B.Level", "P.B.New_Item_9", "P.B.Deep"}));
    ASSERT_EQ(model.clipboard.value().size(), 2u);
    EXPECT_EQ(model.clipboard.value().at(0)->sName(), "Flow");
    EXPECT_EQ(model.clipboard.value().at(1)->sName(), "Level");
    // The copy was incomplete: cutting the same rows deletes none of them.
    EXPECT_FALSE(model.cut(list("P.B", {"P.B.Flow", "P.B.Level", "P.B.New_Item_9"})).done);
    EXPECT_TRUE(model.items.contains("P.B.Flow"));
}

TEST_F(EditingTest, PastingNamesCopiesByTheCopyCounter)
{
    model.copy(tree("P.B.Level"));
    EXPECT_EQ(model.copyCount, 0);
    ASSERT_TRUE(model.paste("P.B").done);
    ASSERT_TRUE(model.paste("P.B").done);
    EXPECT_EQ(childTexts("P.B"), (std::vector<std::string>{"Inner", "Level", "Level_0", "Level_1"}));

    model.copy(tree("P.B.Level"));
    const EditResult first = model.paste("P.C");
    EXPECT_EQ(first.added, std::vector<std::string>{"P.C.Level"});
    EXPECT_EQ(first.refreshList, "P.C");
    EXPECT_EQ(model.copyCount, 1);
    ASSERT_TRUE(model.paste("P.C").done);
    EXPECT_EQ(model.copyCount, 3);
    EXPECT_EQ(childTexts("P.C"), (std::vector<std::string>{"Level", "Level_2"}));
    EXPECT_EQ(model.items.get("P.C.Level_2")->sKey(), "P.C.Level_2");
    // Copies are independent objects.
    model.items.get("P.C.Level")->sComment("copy");
    EXPECT_EQ(model.items.get("P.B.Level")->sComment(), "");
}

TEST_F(EditingTest, PasteAvoidsNamesOfBranchesToo)
{
    addBranch(model, "P.C", "Level");
    model.copy(tree("P.B.Level"));
    ASSERT_TRUE(model.paste("P.C").done);
    EXPECT_EQ(childTexts("P.C"), (std::vector<std::string>{"Level", "Level_1"}));
}

TEST_F(EditingTest, PasteOnlyIntoBranchesAndOnlyWhatTheClipboardHolds)
{
    model.copy(tree("P.B.Level"));
    EXPECT_FALSE(model.paste("P").done);
    EXPECT_FALSE(model.paste("").done);
    EXPECT_TRUE(ui.messages.empty());
    model.InitObjects();
    model.tree.reset("x");
    ScriptedUi fresh;
    EditorModel untouched(fresh);
    untouched.newConfiguration(ServerKind::Vardel, "y");
    addPlc(untouched, "P");
    addBranch(untouched, "P", "B");
    EXPECT_FALSE(untouched.paste("P.B").done);
    EXPECT_TRUE(fresh.messages.empty()) << "a reset clipboard pastes nothing silently";
    untouched.clipboard.reset();
    EXPECT_FALSE(untouched.paste("P.B").done);
    EXPECT_EQ(fresh.lastMessage(), "No items to paste.");
    untouched.clipboard = {nullptr};
    EXPECT_FALSE(untouched.paste("P.B").done);
    EXPECT_EQ(fresh.lastMessage(), "Copied object can not be added here ");
}

TEST_F(EditingTest, CutThenPasteMovesAnItem)
{
    const EditResult cut = model.cut(tree("P.B.Level"));
    ASSERT_TRUE(cut.done);
    EXPECT_EQ(ui.questions, std::vector<std::string>{"Are you sure you want to delete Level ?"});
    EXPECT_FALSE(model.items.contains("P.B.Level"));
    ASSERT_TRUE(model.paste("P.C").done);
    EXPECT_TRUE(model.items.contains("P.C.Level"));
}

TEST_F(EditingTest, CutDeletesNothingWhenTheCopyWasRefused)
{
    addItem(model, "P.B", "New_Item_2");
    EXPECT_FALSE(model.cut(tree("P.B.New_Item_2")).done);
    EXPECT_TRUE(ui.questions.empty());
    EXPECT_TRUE(model.items.contains("P.B.New_Item_2"));
}

TEST_F(EditingTest, DeletingABranchRemovesEverythingBelowIt)
{
    ui.answers = {Answer::No};
    EXPECT_FALSE(model.deleteSelection(tree("P.B")).done);
    EXPECT_EQ(ui.questions.back(), "Are you sure you want to delete B and all its items?");
    EXPECT_TRUE(model.branches.contains("P.B"));
    model.isSaved = true;
    const EditResult result = model.deleteSelection(tree("P.B"));
    ASSERT_TRUE(result.done);
    EXPECT_EQ(result.removed, std::vector<std::string>{"P.B"});
    EXPECT_EQ(result.select, "P");
    EXPECT_FALSE(model.isSaved);
    EXPECT_EQ(model.items.size(), 0u);
    EXPECT_EQ(model.branches.size(), 1u);
    EXPECT_EQ(model.tree.find("P.B.Inner.Deep"), nullptr);
    const std::string text = written(model);
    EXPECT_EQ(text.find("Level"), std::string::npos);
    EXPECT_EQ(text.find("INNER"), std::string::npos);
    ui.answers = {Answer::No};
    EXPECT_FALSE(model.deleteSelection(tree("P")).done) << "a PLC goes only when the user confirms";
    EXPECT_EQ(ui.questions.back(), "Are you sure you want to delete PLC P and its 0 items?");
}

TEST_F(EditingTest, DeletingListRowsAsksOnceAndSkipsNonItems)
{
    addItem(model, "P.B", "Flow");
    const EditResult result = model.deleteSelection(list("P.B", {"P.B.Level", "P", "P.B.Flow"}));
    EXPECT_EQ(ui.questions, std::vector<std::string>{"Are you sure you want to delete the selected items ?"});
    EXPECT_EQ(result.removed, (std::vector<std::string>{"P.B.Level", "P.B.Flow"}));
    EXPECT_EQ(childTexts("P.B"), std::vector<std::string>{"Inner"});
    EXPECT_TRUE(model.plcs.contains("P"));
}

TEST_F(EditingTest, DraggingABranchMovesItsWholeSubtree)
{
    const EditResult result = model.dragDrop("P.B", "P.C", false);
    ASSERT_TRUE(result.done);
    EXPECT_EQ(result.removed, std::vector<std::string>{"P.B"});
    EXPECT_EQ(result.added,
              (std::vector<std::string>{"P.C.B", "P.C.B.Inner", "P.C.B.Inner.Deep", "P.C.B.Level"}));
    EXPECT_EQ(model.tree.find("P.B"), nullptr);
    EXPECT_FALSE(model.items.contains("P.B.Level"));
    EXPECT_FALSE(model.branches.contains("P.B.Inner"));
    EXPECT_EQ(model.items.get("P.C.B.Inner.Deep")->sKey(), "P.C.B.Inner.Deep");
    EXPECT_EQ(model.branches.get("P.C.B")->sKey(), "P.C.B");
    EXPECT_EQ(model.items.size(), 2u);
    EXPECT_EQ(model.branches.size(), 3u);
    EXPECT_TRUE(model.tree.find("P.C.B")->expanded());
}

TEST_F(EditingTest, DraggingWithCtrlMakesIndependentCopies)
{
    ASSERT_TRUE(model.dragDrop("P.B", "P.C", true).done);
    EXPECT_TRUE(model.items.contains("P.B.Level"));
    ASSERT_TRUE(model.items.contains("P.C.B.Level"));
    model.items.get("P.C.B.Level")->sComment("changed");
    EXPECT_EQ(model.items.get("P.B.Level")->sComment(), "");
    EXPECT_EQ(model.items.get("P.B.Inner.Deep")->sKey(), "P.B.Inner.Deep");
    ASSERT_TRUE(model.dragDrop("P.B.Level", "P", true).done);
    EXPECT_TRUE(model.items.contains("P.Level"));
    EXPECT_TRUE(model.items.contains("P.B.Level"));
}

TEST_F(EditingTest, RefusedDrops)
{
    const auto refused = [&](std::string source, std::string target, std::string text) {
        ui.messages.clear();
        EXPECT_FALSE(model.dragDrop(source, target, false).done) << source << " -> " << target;
        EXPECT_EQ(ui.lastMessage(), text) << source << " -> " << target;
    };
    refused("P.B", "P.B.Level", "Unable to drag nodes here");
    refused("P.B", "P.B.Inner", "Unable to drag nodes here");
    refused("P.B", "P.B", "Unable to drag nodes here");
    refused("P.B", "", "Unable to drag nodes here");
    refused("P", "P.C", "Unable to drag nodes here");
    refused("P.B.Inner", "P.B", "");  // dropped into its own parent: nothing happens
    addBranch(model, "P.C", "level");
    refused("P.B.Level", "P.C", "Name already in use at this level. Move not allowed");
    EXPECT_EQ(model.items.size(), 2u);
    EXPECT_EQ(model.branches.size(), 4u);
}

TEST_F(EditingTest, AddIncrementProposesTheNextAddress)
{
    const auto next = [&](std::string type, int byte, int bit, int elements) {
        ItemForm form = itemForm("N" + std::to_string(model.items.size()), type, byte, 1, bit, elements);
        EXPECT_TRUE(model.addAndIncrement("P.C", form).done) << ui.lastMessage();
        return std::make_pair(form.address, form.bit);
    };
    EXPECT_EQ(next("boolean", 10, 7, 0), std::make_pair(std::string("11"), std::string("0")));
    EXPECT_EQ(next("boolean", 10, 6, 0), std::make_pair(std::string("10"), std::string("7")));
    EXPECT_EQ(next("boolean array", 4, 3, 10), std::make_pair(std::string("5"), std::string("5")));
    EXPECT_EQ(next("string", 0, 0, 20).first, "21");
    EXPECT_EQ(next("signed 32 bit array", 0, 0, 5).first, "20");
    EXPECT_EQ(next("unsigned 16 bit", 3, 0, 0).first, "5");
    EXPECT_EQ(next("32 bit float", 3, 0, 0).first, "7");
    // Every type the dialog offers, at byte 100 bit 3 with 3 elements.
    const std::map<std::string, std::pair<std::string, std::string>> expected{
        {"boolean", {"100", "4"}},
        {"unsigned 8 bit", {"101", "3"}},
        {"unsigned 16 bit", {"102", "3"}},
        {"unsigned 32 bit", {"104", "3"}},
        {"signed 8 bit", {"101", "3"}},
        {"signed 16 bit", {"102", "3"}},
        {"signed 32 bit", {"104", "3"}},
        {"32 bit float", {"104", "3"}},
        {"boolean array", {"100", "6"}},
        {"unsigned 8 bit array", {"104", "3"}},
        {"unsigned 16 bit array", {"106", "3"}},
        {"unsigned 32 bit array", {"112", "3"}},
        {"signed 8 bit array", {"104", "3"}},
        {"signed 16 bit array", {"106", "3"}},
        {"signed 32 bit array", {"112", "3"}},
        {"32 bit float array", {"112", "3"}},
        {"string", {"104", "3"}}};
    ASSERT_EQ(config::offeredDataTypes().size(), expected.size());
    for (const auto& type : config::offeredDataTypes()) {
        const std::string name(type.displayName);
        ASSERT_TRUE(expected.contains(name)) << name;
        EXPECT_EQ(next(name, 100, 3, 3), expected.at(name)) << name;
    }
    ItemForm form = itemForm("X", "signed 8 bit", 0, 1);
    ASSERT_TRUE(model.addAndIncrement("P.C", form).done);
    EXPECT_EQ(form.name, "New_Item_" + std::to_string(model.newItemNumber));
    EXPECT_EQ(form.comment, "");
}

TEST_F(EditingTest, AddGroupAddsUntilACheckFails)
{
    ItemForm form = itemForm("First", "unsigned 16 bit", 0, 1);
    const EditResult five = model.addGroup("P.C", form, "5");
    EXPECT_EQ(five.added.size(), 5u);
    EXPECT_EQ(childTexts("P.C")[0], "First");
    EXPECT_EQ(model.items.get("P.C.First")->nAddress(), 0);
    const std::string second = childTexts("P.C")[1];
    EXPECT_EQ(second.rfind("New_Item_", 0), 0u);
    EXPECT_EQ(model.items.get("P.C." + second)->nAddress(), 2);

    // The third add of the next group collides with an existing name.
    ItemForm again = itemForm("Other", "unsigned 8 bit", 100, 1);
    addItem(model, "P.C", "New_Item_" + std::to_string(model.newItemNumber + 3));
    const EditResult group = model.addGroup("P.C", again, "5");
    EXPECT_EQ(group.added.size(), 2u);
    EXPECT_EQ(ui.lastMessage(), "Name already existing. Please use a different name");

    EXPECT_FALSE(model.addGroup("P.C", again, "x").done);
    EXPECT_EQ(ui.lastMessage(), "Number of items is not valid.");
    ui.messages.clear();
    EXPECT_FALSE(model.addGroup("P.C", again, "0").done);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(EditingTest, DataTypeChangeResetsElementsAndBit)
{
    ItemForm form = itemForm("X", "boolean array", 0, 1, 3, 9);
    EXPECT_TRUE(form.bitEnabled);
    EXPECT_TRUE(form.elementsEnabled);
    EditorModel::changeDataType(form, "string");
    EXPECT_EQ(form.bit, "0");
    EXPECT_EQ(form.elements, "0");
    EXPECT_FALSE(form.bitEnabled);
    EXPECT_TRUE(form.elementsEnabled);
    EditorModel::changeDataType(form, "signed 16 bit");
    EXPECT_FALSE(form.elementsEnabled);
}

TEST_F(EditingTest, TheDefaultTornelPlcAndItsFileEntry)
{
    addPlc(model, "Q");
    const auto q = model.plcs.get("Q");
    EXPECT_EQ(q->sAddress, "192.168.0.1");
    EXPECT_EQ(q->nSlot, 2);
    EXPECT_EQ(q->nRack, 0);
    EXPECT_TRUE(q->sSourceMaster.empty());
    EXPECT_FALSE(q->bRedundant);
    EXPECT_EQ(q->GetXmlTag(ServerKind::Tornel),
              "<PLC name=\"Q\" address = \"192.168.0.1\" CPUSlot=\"2\" RackNr=\"0\">");
    // Redundancy given and taken back again: no redundancy element.
    PlcForm form = model.plcFormFor("Q");
    ASSERT_TRUE(model.applyRedundancy({true, "1.1.1.1", "", "1", "2", "3", "4", "5"}, form));
    ASSERT_TRUE(model.applyRedundancy({false}, form));
    ASSERT_TRUE(model.applyPlcForm("Q", form, true).done);
    EXPECT_EQ(model.plcs.get("Q")->GetXmlTag(ServerKind::Tornel).find("redundancy"), std::string::npos);
    EXPECT_FALSE(model.applyPlcForm("", model.plcFormFor("Q"), false).done);
    EXPECT_EQ(ui.lastMessage(), "Name already existing. Please use a different name");
}

}  // namespace
}  // namespace orva::editor::test
