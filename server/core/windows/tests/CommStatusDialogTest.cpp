#include <gtest/gtest.h>

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include "QtTestApp.h"
#include "windows/CommStatusDialog.h"

using namespace orva;
using namespace orva::process;
using namespace orva::windows;
using orva::config::ServerKind;

namespace {

TagSnapshot tag(ObjectId id, std::string name, VarType type, SnapshotValue value,
                std::uint16_t quality = 0xC0)
{
    TagSnapshot t;
    t.id = id;
    t.name = std::move(name);
    t.type = type;
    t.elements = 4;
    t.value = std::move(value);
    t.quality = quality;
    return t;
}

QStringList childTexts(const QTreeWidgetItem* node)
{
    QStringList texts;
    for (int i = 0; i < node->childCount(); ++i)
        texts << node->child(i)->text(0);
    return texts;
}

QTreeWidgetItem* childNamed(const QTreeWidgetItem* node, const QString& text)
{
    for (int i = 0; i < node->childCount(); ++i)
        if (node->child(i)->text(0) == text) return node->child(i);
    return nullptr;
}

class CommStatusFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::qtApp();
        snapshot.plcs = {PlcSnapshot{1, "beta", {}}, PlcSnapshot{2, "Gamma", {}},
                         PlcSnapshot{3, "Alpha", {}}};
    }

    void openDialog(ServerKind kind = ServerKind::Tornel)
    {
        dialog = std::make_unique<CommStatusDialog>(serverIdentity(kind), [this] {
            ++snapshotsTaken;
            return snapshot;
        });
    }

    // The list's rows as "name|value|quality".
    QStringList rows() const
    {
        QStringList out;
        QTreeWidget* list = dialog->tagList();
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* row = list->topLevelItem(i);
            out << row->text(0) + "|" + row->text(1) + "|" + row->text(2);
        }
        return out;
    }

    QTreeWidgetItem* plcNode(const QString& name) const { return childNamed(dialog->rootNode(), name); }
    void select(QTreeWidgetItem* node) const { dialog->statusTree()->setCurrentItem(node); }

    StatusSnapshot snapshot;
    int snapshotsTaken = 0;
    std::unique_ptr<CommStatusDialog> dialog;
};

}  // namespace

TEST_F(CommStatusFixture, PlcsWithoutActiveItemsShowSortedWithoutBlocks)
{
    openDialog();
    QTreeWidget* tree = dialog->statusTree();
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_EQ(dialog->rootNode()->text(0), "PLCs Network");
    EXPECT_TRUE(dialog->rootNode()->isExpanded());
    EXPECT_EQ(childTexts(dialog->rootNode()), (QStringList{"Alpha", "beta", "Gamma"}));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(dialog->rootNode()->child(i)->childCount(), 0);

    EXPECT_EQ(dialog->groupBox()->title(), "Tcp/Ip Network");
    QTreeWidget* list = dialog->tagList();
    ASSERT_EQ(list->columnCount(), 3);
    EXPECT_EQ(list->headerItem()->text(0), "Tag Name");
    EXPECT_EQ(list->headerItem()->text(1), "Value");
    EXPECT_EQ(list->headerItem()->text(2), "Quality");
    EXPECT_EQ(list->columnWidth(0), 120);
    EXPECT_EQ(list->columnWidth(1), 82);
    EXPECT_EQ(list->columnWidth(2), 100);
    EXPECT_EQ(dialog->refreshButton()->text(), "&Refresh");
    EXPECT_EQ(dialog->windowTitle(), "Communication Status");

    openDialog(ServerKind::Pennat);
    EXPECT_EQ(dialog->groupBox()->title(), "MPI Network");
}

TEST_F(CommStatusFixture, SelectingABlockListsItsTagsSortedWithValueAndQuality)
{
    snapshot.plcs[0].blocks = {
        BlockSnapshot{11,
                      20,
                      0,
                      10,
                      {tag(101, "speed", VT_R4, 1.5), tag(102, "Alarm", VT_BOOL, true, 0x18),
                       tag(103, "curve", VT_ARRAY | VT_I2, std::monostate{}),
                       tag(104, "Count", VT_I2, std::int64_t{-3})}},
        BlockSnapshot{12, 3, 100, 2, {tag(105, "Door", VT_BOOL, false)}}};
    openDialog();
    QTreeWidgetItem* beta = plcNode("beta");
    ASSERT_NE(beta, nullptr);
    // Sorted as text: "DB20..." before "DB3...".
    EXPECT_EQ(childTexts(beta), (QStringList{"DB20-DBB0-LEN10", "DB3-DBB100-LEN2"}));

    select(dialog->rootNode());
    EXPECT_TRUE(rows().isEmpty());
    select(beta);
    EXPECT_TRUE(rows().isEmpty());

    select(beta->child(0));
    EXPECT_EQ(rows(), (QStringList{"Alarm|TRUE|BAD (COMM_FAILURE)", "Count|-3|GOOD", "curve|[..]|GOOD",
                                   "speed|1.500000|GOOD"}));
    select(beta->child(1));
    EXPECT_EQ(rows(), (QStringList{"Door|FALSE|GOOD"}));
    select(plcNode("Alpha"));
    EXPECT_TRUE(rows().isEmpty());
}

TEST_F(CommStatusFixture, RefreshRelabelsAddsAndRemovesBlockNodes)
{
    snapshot.plcs[1].blocks = {BlockSnapshot{21, 5, 0, 4, {tag(201, "a", VT_I2, std::int64_t{1})}},
                               BlockSnapshot{22, 6, 0, 2, {tag(202, "b", VT_I2, std::int64_t{2})}}};
    openDialog();
    QTreeWidgetItem* gamma = plcNode("Gamma");
    select(childNamed(gamma, "DB5-DBB0-LEN4"));
    ASSERT_EQ(rows(), (QStringList{"a|1|GOOD"}));

    // A client added items: block 21 grew, block 22 went, block 23 is new.
    snapshot.plcs[1].blocks = {
        BlockSnapshot{
            21, 5, 0, 12, {tag(201, "a", VT_I2, std::int64_t{10}), tag(203, "c", VT_I2, std::int64_t{30})}},
        BlockSnapshot{23, 1, 8, 4, {}}};
    snapshot.plcs[2].blocks = {BlockSnapshot{31, 9, 0, 1, {}}};
    dialog->refresh();
    EXPECT_EQ(childTexts(gamma), (QStringList{"DB1-DBB8-LEN4", "DB5-DBB0-LEN12"}));
    EXPECT_EQ(childTexts(plcNode("Alpha")), (QStringList{"DB9-DBB0-LEN1"}));
    EXPECT_EQ(rows(), (QStringList{"a|10|GOOD", "c|30|GOOD"}));
    EXPECT_EQ(dialog->statusTree()->currentItem()->text(0), "DB5-DBB0-LEN12");
}

TEST_F(CommStatusFixture, RowsRemovedInOneRefreshDoNotKeepOthersFromFreshTexts)
{
    std::vector<TagSnapshot> tags;
    for (int i = 0; i < 6; ++i)
        tags.push_back(tag(300 + i, std::string(1, char('a' + i)), VT_UI1, std::int64_t{i}));
    snapshot.plcs[0].blocks = {BlockSnapshot{31, 1, 0, 6, tags}};
    openDialog();
    select(plcNode("beta")->child(0));
    ASSERT_EQ(rows().size(), 6);

    // b and c and e leave the block; every remaining value changes.
    snapshot.plcs[0].blocks[0].tags = {tag(300, "a", VT_UI1, std::int64_t{100}),
                                       tag(303, "d", VT_UI1, std::int64_t{103}),
                                       tag(305, "f", VT_UI1, std::int64_t{105}, 0x40)};
    dialog->refresh();
    EXPECT_EQ(rows(), (QStringList{"a|100|GOOD", "d|103|GOOD", "f|105|UNCERTAIN"}));
}

TEST_F(CommStatusFixture, ABlockThatVanishedLosesItsNodeAndRefreshWithoutABlockClearsTheList)
{
    snapshot.plcs[0].blocks = {BlockSnapshot{41, 1, 0, 2, {tag(401, "x", VT_I2, std::int64_t{1})}},
                               BlockSnapshot{42, 2, 0, 2, {tag(402, "y", VT_I2, std::int64_t{2})}}};
    openDialog();
    QTreeWidgetItem* beta = plcNode("beta");
    select(beta->child(0));
    ASSERT_EQ(rows(), (QStringList{"x|1|GOOD"}));

    // The selected block is gone by the next refresh: its node goes, the list follows the tree's new
    // selection, and a further refresh with no block selected clears the list.
    snapshot.plcs[0].blocks.erase(snapshot.plcs[0].blocks.begin());
    dialog->refresh();
    EXPECT_EQ(childTexts(beta), (QStringList{"DB2-DBB0-LEN2"}));
    dialog->refresh();
    EXPECT_TRUE(rows().isEmpty());

    // A block that vanished before it is selected loses its node on selection.
    select(beta);
    snapshot.plcs[0].blocks.clear();
    select(beta->child(0));
    EXPECT_EQ(beta->childCount(), 0);
    EXPECT_TRUE(rows().isEmpty());
}

TEST_F(CommStatusFixture, RefreshWithTheRootSelectedClearsTheList)
{
    snapshot.plcs[0].blocks = {BlockSnapshot{51, 1, 0, 2, {tag(501, "x", VT_I2, std::int64_t{1})}}};
    openDialog();
    select(plcNode("beta")->child(0));
    ASSERT_EQ(rows().size(), 1);
    select(dialog->rootNode());
    snapshot.plcs[0].blocks[0].tags.push_back(tag(502, "y", VT_I2, std::int64_t{2}));
    dialog->refresh();
    EXPECT_TRUE(rows().isEmpty());
    const int before = snapshotsTaken;
    select(plcNode("beta"));  // selecting a PLC needs no snapshot
    EXPECT_EQ(snapshotsTaken, before);
}

TEST_F(CommStatusFixture, ShowsTheMqttBrokerLinkOnlyWhenTheServerPublishesAndRefreshesIt)
{
    openDialog();
    EXPECT_TRUE(dialog->brokerLink()->isHidden());
    snapshot.brokerLink = "MQTT: cannot reach mqtt://broker:1883: Connection refused; retrying every 4 s";
    dialog->refresh();
    EXPECT_FALSE(dialog->brokerLink()->isHidden());
    EXPECT_EQ(dialog->brokerLink()->text().toStdString(), snapshot.brokerLink);
    snapshot.brokerLink = "MQTT: connected to mqtt://broker:1883";
    dialog->refresh();
    EXPECT_EQ(dialog->brokerLink()->text().toStdString(), snapshot.brokerLink);
}
