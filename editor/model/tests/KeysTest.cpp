// Keys, re-keying and the list rows of PLCs and items.
#include "TestModel.h"

namespace orva::editor::test {
namespace {

class KeysTest : public ModelTest {
protected:
    void SetUp() override
    {
        model.newConfiguration(ServerKind::Tornel, "/cfg/Tornel.xml");
        addPlc(model, "P");
        addBranch(model, "P", "A");
        addBranch(model, "P.A", "Inner");
        addItem(model, "P.A", "Speed");
        addItem(model, "P.A.Inner", "Deep");
        addItem(model, "P", "Top");
    }

    // Every key resolves in the tree and in its collection, and names the node's parent chain.
    void expectConsistent()
    {
        for (const TreeNode* node : model.tree.nodesInOrder()) {
            const std::string expected =
                node->parent()->key().empty() ? node->text() : node->parent()->key() + "." + node->text();
            EXPECT_EQ(node->key(), expected);
            EXPECT_EQ(model.tree.find(node->key()), node);
            if (node->kind() == NodeKind::Item) {
                EXPECT_EQ(model.items.get(node->key())->sKey(), node->key());
            }
            if (node->kind() == NodeKind::Branch) {
                EXPECT_EQ(model.branches.get(node->key())->sKey(), node->key());
            }
        }
        EXPECT_EQ(model.items.size() + model.branches.size() + model.plcs.size() + 1, model.tree.size());
    }
};

TEST_F(KeysTest, ParentKeysAndChildKeys)
{
    EXPECT_EQ(parentKeyOf("Line1"), "");
    EXPECT_EQ(parentKeyOf("Line1.Motor.Speed"), "Line1.Motor");
    EXPECT_EQ(model.items.get("P.A.Speed")->getParentKey(), "P.A");
    EXPECT_EQ(model.MakeChildKey("X", "P.A", false), "P.A.X");
    EXPECT_EQ(model.MakeChildKey("X", "P.A.Speed", true), "P.A.X");
    EXPECT_EQ(model.MakeChildKey("X", "P", true), "X");
    expectConsistent();
}

TEST_F(KeysTest, RenamingABranchRekeysEverythingBelowIt)
{
    model.isSaved = true;
    const EditResult result = model.renameBranch("P.A", "B");
    ASSERT_TRUE(result.done);
    EXPECT_FALSE(model.isSaved);
    EXPECT_EQ(result.select, "P.B");
    EXPECT_EQ(result.rekeyed.size(), 4u);
    EXPECT_EQ(model.tree.find("P.A"), nullptr);
    EXPECT_EQ(model.items.get("P.A.Inner.Deep"), nullptr);
    EXPECT_EQ(model.items.get("P.B.Inner.Deep")->sName(), "Deep");
    EXPECT_EQ(model.branches.get("P.B")->sName(), "B");
    EXPECT_EQ(model.tree.find("P.B.Speed")->text(), "Speed");
    expectConsistent();
    // A change of letter case only is a rename too.
    ASSERT_TRUE(model.renameBranch("P.B", "b").done);
    EXPECT_EQ(model.tree.find("P.b")->key(), "P.b");
    EXPECT_EQ(model.items.get("P.b.Speed")->sKey(), "P.b.Speed");
    expectConsistent();
}

TEST_F(KeysTest, RenamingAPlcRekeysItsWholeTree)
{
    addPlc(model, "Second");
    PlcForm form = model.plcFormFor("P");
    form.name = "P2";
    const EditResult result = model.applyPlcForm("P", form, true);
    ASSERT_TRUE(result.done);
    EXPECT_FALSE(model.plcs.contains("P"));
    EXPECT_EQ(model.plcs.get("P2")->sKey, "P2");
    EXPECT_TRUE(model.items.contains("P2.A.Inner.Deep"));
    EXPECT_TRUE(model.items.contains("P2.Top"));
    expectConsistent();
    const std::string text = written(model);
    EXPECT_LT(text.find("<PLC name=\"P2\""), text.find("<PLC name=\"Second\"")) << "the PLC keeps its place";
}

TEST_F(KeysTest, ModifyingAnItemReplacesItUnderItsNewKey)
{
    ItemForm form = model.itemFormFor("P.A.Speed");
    EXPECT_EQ(form.name, "Speed");
    EXPECT_FALSE(form.bitEnabled);
    form.name = "Rate";
    form.comment = "changed";
    const EditResult result = model.AddItemToColl("P.A.Speed", form, true);
    ASSERT_TRUE(result.done);
    EXPECT_EQ(result.rekeyed[0].newKey, "P.A.Rate");
    EXPECT_EQ(result.refreshList, "P.A");
    EXPECT_EQ(model.items.get("P.A.Rate")->sComment(), "changed");
    EXPECT_FALSE(model.items.contains("P.A.Speed"));
    expectConsistent();
}

TEST_F(KeysTest, PastingIntoTheSameParentAppendsTheCopyCounter)
{
    clsItem source;
    source.sName("Level");
    source.sKey("P.A.Level");
    source.sComment("c");
    clsItem copy;
    copy.SetByCopy(source, "P.A", 3);
    EXPECT_EQ(copy.sName(), "Level_3");
    EXPECT_EQ(copy.sKey(), "P.A.Level_3");
    EXPECT_EQ(copy.sComment(), "c");
    copy.SetByCopy(source, "P.Other", 3);
    EXPECT_EQ(copy.sName(), "Level");
    EXPECT_EQ(copy.sKey(), "P.Other.Level");
}

TEST(DataTypeNames, ConvertBothWaysAndUnknownBecomesEmpty)
{
    EXPECT_EQ(VtToDisplayType("VT_BOOL ARRAY"), "boolean array");
    EXPECT_EQ(DisplayToVtType("string"), "VT_BSTR");
    EXPECT_EQ(VtToDisplayType("VT_R8"), "");
    EXPECT_EQ(VtToDisplayType("vt_bool"), "");
    EXPECT_EQ(VtToDisplayType("VT_I2  ARRAY"), "");
    EXPECT_EQ(DisplayToVtType("Boolean"), "");
    EXPECT_TRUE(isBooleanType("boolean array"));
    EXPECT_TRUE(hasElements("string"));
    EXPECT_FALSE(hasElements("signed 16 bit"));
}

TEST_F(KeysTest, ListRowsOfPlcsAndItems)
{
    clsPLC plc;
    plc.sName = "A";
    plc.sAddress = " 10.0.0.1 ";
    plc.sSlave = "10.0.0.2 ";
    EXPECT_EQ(plc.AddToListView(ServerKind::Tornel, model.settings).columns[0], "10.0.0.1");
    plc.bRedundant = true;
    EXPECT_EQ(plc.AddToListView(ServerKind::Tornel, model.settings).columns[0], "10.0.0.1 / 10.0.0.2");
    EXPECT_EQ(plc.AddToListView(ServerKind::Lorvik, model.settings).columns[0], "10.0.0.1");
    InterfaceSettings settings;
    settings.interfaceName = " CP ";
    EXPECT_EQ(plc.AddToListView(ServerKind::Vardel, settings).columns[0], "CP");
    settings.interfaceName.clear();
    const ListRow row = plc.AddToListView(ServerKind::Vardel, settings);
    EXPECT_EQ(row.columns[0], "S7 ACCESS POINT");
    EXPECT_EQ(row.icon, "plc");

    clsItem item;
    item.sKey("P.A.V");
    item.sName("V");
    item.sDataType("boolean array");
    item.nAddress(52);
    item.nBitNumber(3);
    item.nElements(12);
    item.nBlock(7);
    item.sAccessRight("READ");
    const ListRow indexed = item.AddToListView(true);
    EXPECT_EQ(indexed.columns, (std::vector<std::string>{"", "boolean array", "52/BIT03/LEN12", "0007",
                                                         "READ", "00070000523"}));
    EXPECT_EQ(indexed.icon, "boolean");
    EXPECT_EQ(indexed.smallIcon, "item");
    item.sDataType("unsigned 16 bit");
    EXPECT_EQ(item.AddToListView(false).columns.size(), 5u);
    EXPECT_EQ(item.AddToListView(false).columns[2], "52");
    EXPECT_EQ(item.AddToListView(false).icon, "unsigned 16 bit");
}

TEST_F(KeysTest, ListContentBySelectedNode)
{
    const ListContent root = model.listFor("");
    ASSERT_EQ(root.columns.size(), 2u);
    EXPECT_EQ(root.columns[0].title, "Plc Name");
    EXPECT_EQ(root.rows.size(), 1u);
    const ListContent branch = model.listFor("P.A");
    EXPECT_EQ(branch.columns.back().title, "Index");
    ASSERT_EQ(branch.rows.size(), 1u) << "only the item children of the branch";
    EXPECT_EQ(branch.rows[0].key, "P.A.Speed");
    const ListContent item = model.listFor("P.A.Speed");
    EXPECT_EQ(item.columns[3].title, "data Byte");
    EXPECT_EQ(item.rows[0].columns.size(), 5u);
}

TEST_F(KeysTest, NewCloseAndDefaults)
{
    EXPECT_EQ(model.newPlcForm().name, "New Plc 1");
    EXPECT_EQ(model.newBranchName(), "NewBranch2");
    EXPECT_EQ(model.newItemForm().name, "New Item 3");
    EXPECT_EQ(model.newItemForm().dataType, "signed 16 bit");
    model.copy({"P.Top"});
    model.closeConfiguration();
    EXPECT_FALSE(model.isOpen);
    ASSERT_TRUE(model.clipboard.has_value());
    EXPECT_TRUE(model.clipboard.value().empty());
    EXPECT_EQ(model.items.size(), 0u);
    model.newConfiguration(ServerKind::Lorvik, "/cfg/Lorvik.xml");
    EXPECT_EQ(model.newPlcNumber, 0);
    EXPECT_EQ(model.settings.interfaceName, "SAPIS7");
    EXPECT_EQ(model.settings.baudRate, 9600);
    EXPECT_EQ(model.tree.root().text(), "/cfg/Lorvik.xml");
    EXPECT_EQ(model.tree.size(), 1u);
    EXPECT_FALSE(model.isSaved);
    PlcForm plc = model.newPlcForm();
    EXPECT_EQ(plc.address, "2");
    EXPECT_FALSE(plc.rackEnabled);
}

}  // namespace
}  // namespace orva::editor::test
