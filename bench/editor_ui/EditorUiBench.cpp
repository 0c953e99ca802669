// Kalder's main window with a configuration of 100,000 items (10 PLCs, each with one branch of
// 10,000 items), on the offscreen platform. Goals: opening the file stays within a few seconds,
// and selecting a branch of 10,000 items fills and lays out the list well under a second.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "editor/ui/ConfigTree.h"
#include "editor/ui/DialogRunner.h"
#include "editor/ui/FrmEditing.h"
#include "editor/ui/GuiUserInterface.h"
#include "editor/ui/RowListModel.h"

namespace {

using namespace orva::editor;
using namespace orva::editor::ui;

constexpr int kPlcs = 10, kItemsPerBranch = 10000;

// Chooses the generated file and keeps every message to itself.
class BenchUi final : public GuiUserInterface {
public:
    using GuiUserInterface::GuiUserInterface;
    std::string file;
    int messages = 0;
    void message(std::string_view, Icon) override { ++messages; }
    Answer answer = Answer::No;
    Answer question(std::string_view, Buttons) override { return answer; }
    std::optional<std::string> chooseFile(const FileChoice&) override { return file; }
};

std::string generatedFile()
{
    const auto path =
        std::filesystem::temp_directory_path() / ("kalder-bench-" + std::to_string(::getpid()) + ".xml");
    std::ofstream out(path, std::ios::binary);
    out << "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<ORVATcpIpS7Cfg>\r\n\t<OPC_DA>\r\n"
           "\t\t<INTERFACE name=\"SAPIS7\">\r\n";
    for (int p = 0; p < kPlcs; ++p) {
        out << "\t\t\t<PLC name=\"Line" << p << "\" address = \"10.0.0." << p
            << "\" CPUSlot=\"2\" RackNr=\"0\">\r\n\t\t\t\t<tags>\r\n\t\t\t\t\t<AREA>\r\n";
        for (int i = 0; i < kItemsPerBranch; ++i)
            out << "\t\t\t\t\t\t<tag>\r\n\t\t\t\t\t\t\t<name>Value" << i << "</name>\r\n"
                << "\t\t\t\t\t\t\t<comment>Measured value " << i << "</comment>\r\n"
                << "\t\t\t\t\t\t\t<databyte>" << 2 * (i % 30000) << "</databyte>\r\n"
                << "\t\t\t\t\t\t\t<datatype>VT_I2</datatype>\r\n"
                << "\t\t\t\t\t\t\t<datablock>" << 100 + i / 30000 << "</datablock>\r\n"
                << "\t\t\t\t\t\t\t<accessrights>READWRITE</accessrights>\r\n\t\t\t\t\t\t</tag>\r\n";
        out << "\t\t\t\t\t</AREA>\r\n\t\t\t\t</tags>\r\n\t\t\t</PLC>\r\n";
    }
    out << "\t\t</INTERFACE>\r\n\t</OPC_DA>\r\n</ORVATcpIpS7Cfg>\r\n";
    return path.string();
}

// One application, one window and the generated file for every benchmark.
// Hands each modal dialog to a script instead of a nested event loop.
class ScriptRunner final : public DialogRunner {
public:
    std::function<void(QDialog&)> script;
    int run(QDialog& dialog) override
    {
        if (script) script(dialog);
        if (dialog.isVisible()) dialog.reject();
        return dialog.result();
    }
};

struct Fixture {
    ScriptRunner runner;
    BenchUi ui{runner};
    std::unique_ptr<FrmEditing> window;

    Fixture()
    {
        ui.file = generatedFile();
        window = std::make_unique<FrmEditing>(ui);
        window->show();
        QCoreApplication::processEvents();
    }
    ~Fixture() { std::filesystem::remove(ui.file); }

    bool open()
    {
        window->onOpenConfiguration();
        return window->model().items.size() == static_cast<std::size_t>(kPlcs) * kItemsPerBranch &&
               ui.messages == 0;
    }
};

std::unique_ptr<Fixture> gFixture;

Fixture& fixture()
{
    if (!gFixture) gFixture = std::make_unique<Fixture>();
    return *gFixture;
}

void BM_OpenConfiguration100kItems(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state) {
        if (!f.open()) state.SkipWithError("open failed");
        QCoreApplication::processEvents();
    }
    state.counters["tree_nodes"] = static_cast<double>(f.window->model().tree.size());
}
BENCHMARK(BM_OpenConfiguration100kItems)->Unit(benchmark::kMillisecond)->Iterations(3);

// Selecting a branch: the list is filled, laid out and painted.
void BM_SelectBranchOf10kItems(benchmark::State& state)
{
    Fixture& f = fixture();
    if (f.window->model().items.empty() && !f.open()) state.SkipWithError("open failed");
    int next = 0;
    for (auto _ : state) {
        f.window->selectNode("Line" + std::to_string(next++ % kPlcs) + ".AREA");
        QCoreApplication::processEvents();
        if (f.window->listModel()->rowCount() != kItemsPerBranch) state.SkipWithError("list not filled");
    }
}
BENCHMARK(BM_SelectBranchOf10kItems)->Unit(benchmark::kMillisecond);

// A click on a column header sorts 10,000 rows.
void BM_SortListOf10kItems(benchmark::State& state)
{
    Fixture& f = fixture();
    if (f.window->model().items.empty() && !f.open()) state.SkipWithError("open failed");
    f.window->selectNode("Line0.AREA");
    int column = 0;
    for (auto _ : state) {
        f.window->listModel()->sort(column, Qt::AscendingOrder);
        column = column == 0 ? 3 : 0;
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_SortListOf10kItems)->Unit(benchmark::kMillisecond);

// Rebuilding the tree's 100,011 nodes from the model.
void BM_RebuildTree100kNodes(benchmark::State& state)
{
    Fixture& f = fixture();
    if (f.window->model().items.empty() && !f.open()) state.SkipWithError("open failed");
    for (auto _ : state) {
        f.window->tree()->rebuild();
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_RebuildTree100kNodes)->Unit(benchmark::kMillisecond)->Iterations(3);

// "Add Group..." of 1,000 items in the item dialog, into a branch of 10,000 items.
void BM_AddGroupOf1000Items(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state) {
        state.PauseTiming();
        if (!f.open()) state.SkipWithError("open failed");
        f.window->selectNode("Line0.AREA");
        int group = 0;
        f.runner.script = [&group](QDialog& dialog) {
            dialog.findChild<QLineEdit*>("txtItemName")->setText(QStringLiteral("Added%1").arg(group++));
            dialog.findChild<QLineEdit*>("txtAddress")->setText(QStringLiteral("0"));
            dialog.findChild<QLineEdit*>("txtBlock")->setText(QStringLiteral("1"));
            dialog.findChild<QPushButton*>("cmdGroup")->click();
            dialog.findChild<QLineEdit*>("txtNumbItems")->setText(QStringLiteral("1000"));
            dialog.findChild<QPushButton*>("cmdOkNumber")->click();
        };
        state.ResumeTiming();
        f.window->onAddItem();
        QCoreApplication::processEvents();
        state.PauseTiming();
        f.runner.script = nullptr;
        if (f.window->listModel()->rowCount() != kItemsPerBranch + 1000)
            state.SkipWithError("group not added");
        f.window->model().isSaved = true;
        state.ResumeTiming();
    }
}
BENCHMARK(BM_AddGroupOf1000Items)->Unit(benchmark::kMillisecond)->Iterations(3);

// Deleting half of the rows of a branch of 10,000 items from the list.
void BM_DeleteHalfOfABranchFromTheList(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state) {
        state.PauseTiming();
        if (!f.open()) state.SkipWithError("open failed");
        f.window->selectNode("Line0.AREA");
        QItemSelection half;
        for (int row = 0; row < kItemsPerBranch; row += 2)
            half.select(f.window->listModel()->index(row, 0), f.window->listModel()->index(row, 0));
        f.window->reportView()->selectionModel()->select(
            half, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        f.window->reportView()->setFocus();
        f.ui.answer = Answer::Yes;
        state.ResumeTiming();
        f.window->onDelete();
        QCoreApplication::processEvents();
        state.PauseTiming();
        f.ui.answer = Answer::No;
        if (f.window->listModel()->rowCount() != kItemsPerBranch / 2) state.SkipWithError("rows not deleted");
        f.window->model().isSaved = true;
        state.ResumeTiming();
    }
}
BENCHMARK(BM_DeleteHalfOfABranchFromTheList)->Unit(benchmark::kMillisecond)->Iterations(2);

// Undo of deleting every item of a branch of 10,000 from the list: the model's undo and the
// tree view's update together (the delete itself outside the timing).
void BM_UndoDeleteOf10kItemsInWindow(benchmark::State& state)
{
    Fixture& f = fixture();
    if (!f.open()) state.SkipWithError("open failed");
    for (auto _ : state) {
        state.PauseTiming();
        f.window->selectNode("Line0.AREA");
        f.window->reportView()->selectAll();
        f.window->reportView()->setFocus();
        f.ui.answer = Answer::Yes;
        f.window->onDelete();
        QCoreApplication::processEvents();
        f.ui.answer = Answer::No;
        if (f.window->listModel()->rowCount() != 0) state.SkipWithError("rows not deleted");
        state.ResumeTiming();
        f.window->onUndo();
        QCoreApplication::processEvents();
        state.PauseTiming();
        if (f.window->model().items.size() != static_cast<std::size_t>(kPlcs) * kItemsPerBranch)
            state.SkipWithError("undo failed");
        f.window->model().isSaved = true;
        state.ResumeTiming();
    }
}
BENCHMARK(BM_UndoDeleteOf10kItemsInWindow)->Unit(benchmark::kMillisecond)->Iterations(5);

// Dragging a branch of 10,000 items into another branch, as a move and as a copy.
void BM_DragBranchOf10kItems(benchmark::State& state)
{
    Fixture& f = fixture();
    const bool copy = state.range(0) != 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (!f.open()) state.SkipWithError("open failed");
        f.window->selectNode("Line1.AREA");
        state.ResumeTiming();
        emit f.window->tree()->dropRequested(QStringLiteral("Line0.AREA"), QStringLiteral("Line1.AREA"),
                                             copy);
        QCoreApplication::processEvents();
        state.PauseTiming();
        if (!f.window->tree()->node("Line1.AREA.AREA.Value9999").isValid())
            state.SkipWithError("not dropped");
        f.window->model().isSaved = true;
        state.ResumeTiming();
    }
}
BENCHMARK(BM_DragBranchOf10kItems)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    gFixture.reset();  // the window goes before the application
    return 0;
}
