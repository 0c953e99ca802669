// Undo and redo in the window, tags imported from a spreadsheet, and the check against a PLC.
#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTreeWidget>

#include "UiTestSupport.h"
#include "editor/ui/TagCheckDialog.h"
#include "plcsim/PlcSimulator.h"

namespace orva::editor::ui::test {
namespace {

using namespace std::chrono_literals;

class UndoTags : public WindowTest {
protected:
    void build()
    {
        newConfiguration("optTcpIpS7");
        addPlc("P1");
        addBranch("P1", "A");
        addBranch("P1", "B");
        addItem("P1.A", "X");
        addItem("P1.A", "Y", "2");
    }
};

TEST_F(UndoTags, UndoPutsADeletedBranchBackInItsPlaceAndClearsTheModifiedMarkAtTheSavedState)
{
    build();
    press("save");
    EXPECT_TRUE(window->statusModified()->text().isEmpty());
    EXPECT_EQ(window->action("undo")->text().toStdString(), "&Undo Add item Y") << "saving keeps the history";
    EXPECT_EQ(window->action("undo")->shortcuts(), QList<QKeySequence>{QKeySequence::Undo});
    EXPECT_EQ(window->action("redo")->shortcuts(),
              (QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_Y),
                                   QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)}));

    const QPersistentModelIndex untouched = node("P1.B");
    clickNode("P1.A");
    press("delete");
    EXPECT_EQ(childTexts("P1"), std::vector<std::string>{"B"});
    EXPECT_EQ(window->statusModified()->text(), "Modified");
    EXPECT_EQ(window->action("undo")->text().toStdString(), "&Undo Delete branch A");
    trigger("undo");
    EXPECT_EQ(childTexts("P1"), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(childTexts("P1.A"), (std::vector<std::string>{"X", "Y"}));
    ASSERT_TRUE(untouched.isValid()) << "only what the step changed is shown anew";
    EXPECT_EQ(QModelIndex(untouched), node("P1.B"));
    EXPECT_TRUE(window->statusModified()->text().isEmpty());
    EXPECT_TRUE(window->model().isSaved) << "closing now asks nothing";
    EXPECT_EQ(window->action("redo")->text().toStdString(), "&Redo Delete branch A");
    trigger("redo");
    EXPECT_EQ(childTexts("P1"), std::vector<std::string>{"B"});
    EXPECT_FALSE(window->model().isSaved);
}

TEST_F(UndoTags, UndoAndRedoTellTheTreeViewOnlyOfTheRowsTheyChange)
{
    build();
    const QPersistentModelIndex plc = node("P1");
    const QPersistentModelIndex untouched = node("P1.B");
    clickNode("P1.A");
    press("delete");
    const QAbstractItemModel* treeModel = window->tree()->model();
    QSignalSpy resets(treeModel, &QAbstractItemModel::modelReset);
    QSignalSpy layouts(treeModel, &QAbstractItemModel::layoutChanged);
    QSignalSpy inserted(treeModel, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(treeModel, &QAbstractItemModel::rowsRemoved);

    trigger("undo");  // branch A comes back with its two items
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(layouts.count(), 0);
    EXPECT_EQ(removed.count(), 0);
    ASSERT_EQ(inserted.count(), 3);
    EXPECT_EQ(inserted[0][0].value<QModelIndex>(), node("P1"));
    EXPECT_EQ(inserted[0][1].toInt(), 0) << "A goes back in front of B";
    ASSERT_TRUE(untouched.isValid());
    EXPECT_EQ(QModelIndex(untouched), node("P1.B"));
    EXPECT_EQ(untouched.row(), 1);
    EXPECT_EQ(QModelIndex(plc), node("P1"));

    inserted.clear();
    trigger("redo");
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(inserted.count(), 0);
    ASSERT_EQ(removed.count(), 1) << "the branch goes with its items in one removal";
    EXPECT_EQ(removed[0][1].toInt(), 0);
    EXPECT_EQ(QModelIndex(untouched), node("P1.B"));
    EXPECT_EQ(untouched.row(), 0);
}

TEST_F(UndoTags, ImportShowsTheRefusedRowsFirstAndIsOneStepToUndo)
{
    build();
    const auto csv = path("tags.csv");
    std::ofstream(csv, std::ios::binary) << "Path;Name;DataType;DataBlock;DataByte\n"
                                            "B;Flow;VT_R4;5;0\n"
                                            "B;Bad;VT_R4;5;70000\n"
                                            "B/NEW;Level;VT_I2;5;4\n";
    clickNode("P1");
    gui.files.push_back(csv.string());
    gui.answers.push_back(Answer::No);
    trigger("importTags");
    EXPECT_EQ(gui.questions.back(),
              "1 rows are refused:\nLine 3: Data Byte field is not valid. It must be between 0 and 65535.\n"
              "Import the 2 other rows?");
    EXPECT_EQ(childTexts("P1.B"), std::vector<std::string>{}) << "nothing before the answer";

    gui.files.push_back(csv.string());
    trigger("importTags");
    EXPECT_EQ(childTexts("P1.B"), (std::vector<std::string>{"Flow", "NEW"}));
    EXPECT_TRUE(node("P1.B.NEW.Level").isValid());
    EXPECT_EQ(window->action("undo")->text().toStdString(), "&Undo Import 2 objects");
    trigger("undo");
    EXPECT_EQ(childTexts("P1.B"), std::vector<std::string>{});
    EXPECT_FALSE(node("P1.B.NEW").isValid());
}

TEST_F(UndoTags, CheckShowsValuesAccessErrorsAndAStoppedPlcOnce)
{
    plcsim::SimulatorOptions options;
    options.dataBlocks = {{1, 16}, {2, 16}};
    plcsim::PlcSimulator sim(options);
    ASSERT_TRUE(sim.start());
    const uint8_t level[] = {0x01, 0x02};
    ASSERT_TRUE(sim.writeMemory(1, 0, level));
    plcsim::Faults faults;
    faults.accessError = 0x05;
    faults.accessErrorBlock = 2;
    sim.setFaults(faults);
    plcsim::PlcSimulator stopped;
    ASSERT_TRUE(stopped.start());
    const std::string deadEndpoint = stopped.endpoint();
    stopped.stop();

    newConfiguration("optTcpIpS7");
    for (const auto& [name, address] : {std::pair{"P1", sim.endpoint()}, std::pair{"P2", deadEndpoint}}) {
        clickNode("");
        runner.scripts.push_back([name, address](QDialog& d) {
            type(d, "txtName", name);
            type(d, "txtAddress", QString::fromStdString(address));
            click(d, "cmdApply");
        });
        press("plc");
    }
    addItem("P1", "Level", "0", "1");
    addItem("P1", "Guarded", "0", "2");
    addItem("P1", "Also", "2", "2");
    addItem("P2", "Far", "0", "1");
    addItem("P2", "Away", "2", "1");

    window->checkTimeouts = {1000ms, 1000ms};
    clickNode("");
    std::map<std::string, std::string> rows;
    runner.scripts.push_back([&](QDialog& d) {
        auto& dialog = dynamic_cast<TagCheckDialog&>(d);
        EXPECT_EQ(dialog.windowTitle(), "Check Tags");
        // The reads run on the dialog's own thread; wait for them with a generous bound.
        ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.finished(); }, 30000));
        auto* bar = child<QProgressBar>(d, "prgCheck");
        EXPECT_EQ(bar->value(), bar->maximum());
        for (int i = 0; i < dialog.results()->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* row = dialog.results()->topLevelItem(i);
            rows[row->text(0).toStdString()] = row->text(1).toStdString();
        }
        click(d, "cmdCancel");  // "Close" once done
    });
    trigger("checkTags");
    EXPECT_EQ(rows["P1.Level"], "258");
    EXPECT_NE(rows["P1.Guarded"].find("(81)"), std::string::npos) << rows["P1.Guarded"];
    EXPECT_NE(rows["P1.Also"].find("(81)"), std::string::npos) << rows["P1.Also"];
    EXPECT_NE(rows["PLC P2"].find("Not reachable"), std::string::npos) << rows["PLC P2"];
    EXPECT_FALSE(rows.contains("P2.Far")) << "a stopped PLC is reported once, not per item";
    EXPECT_EQ(rows.size(), 4u);
    for (const auto& request : sim.requests())
        EXPECT_FALSE(request.write);
}

}  // namespace
}  // namespace orva::editor::ui::test
