// Undo of deleting 10,000 items of one branch (with the delete itself outside the timing), and
// the import of a spreadsheet of 100,000 rows into 10 PLCs with 100 branches each, checks and
// one undoable step included. Goal: each under 0.5 s.
#include <benchmark/benchmark.h>

#include <memory>
#include <optional>
#include <string>

#include "editor/EditorModel.h"

namespace {

using namespace orva::editor;

std::string configurationOf(int plcs, int itemsPerPlc)
{
    std::string out =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<ORVATcpIpS7Cfg>\r\n\t<OPC_DA>\r\n"
        "\t\t<INTERFACE name=\"SAPIS7\">\r\n";
    for (int p = 0; p < plcs; ++p) {
        out += "\t\t\t<PLC name=\"Line" + std::to_string(p) + "\" address = \"10.0.0." + std::to_string(p) +
               "\" CPUSlot=\"2\" RackNr=\"0\">\r\n\t\t\t\t<tags>\r\n\t\t\t\t\t<AREA>\r\n";
        for (int i = 0; i < itemsPerPlc; ++i)
            out += "\t\t\t\t\t\t<tag><name>Value" + std::to_string(i) + "</name><comment>Measured value " +
                   std::to_string(i) + "</comment><databyte>" + std::to_string(2 * (i % 30000)) +
                   "</databyte><datatype>VT_I2</datatype><datablock>" + std::to_string(100 + i / 30000) +
                   "</datablock><accessrights>READWRITE</accessrights></tag>\r\n";
        out += "\t\t\t\t\t</AREA>\r\n\t\t\t\t</tags>\r\n\t\t\t</PLC>\r\n";
    }
    return out + "\t\t</INTERFACE>\r\n\t</OPC_DA>\r\n</ORVATcpIpS7Cfg>\r\n";
}

void BM_UndoDeleteOf10kItems(benchmark::State& state)
{
    UnattendedUi ui{Answer::Yes};
    EditorModel model(ui);
    if (!model.importXmlBytes(configurationOf(1, 10000))) state.SkipWithError("import failed");
    model.isOpen = true;
    Selection rows{"Line0.AREA", true, {}};
    for (const auto& child : model.tree.find("Line0.AREA")->children())
        rows.rows.push_back(child->key());
    for (auto _ : state) {
        state.PauseTiming();
        if (!model.deleteSelection(rows).done || model.items.size() != 0)
            state.SkipWithError("delete failed");
        state.ResumeTiming();
        if (!model.undo().done || model.items.size() != 10000) state.SkipWithError("undo failed");
    }
}
BENCHMARK(BM_UndoDeleteOf10kItems)->Unit(benchmark::kMillisecond);

void BM_CsvImport100kRows(benchmark::State& state)
{
    UnattendedUi ui{Answer::Yes};
    // Spread over 100 branches of each PLC, as a plant's tag list would be.
    std::string csv = "Path,Name,Comment,DataType,DataBlock,DataByte,Bit,Elements,Access\r\n";
    for (int p = 0; p < 10; ++p)
        for (int i = 0; i < 10000; ++i)
            csv += "Line" + std::to_string(p) + "/AREA" + std::to_string(i % 100) + "/UNIT,Value" +
                   std::to_string(i) + ",Measured value " + std::to_string(i) + ",VT_I2,100," +
                   std::to_string(2 * (i % 30000)) + ",0,0,READWRITE\r\n";
    for (auto _ : state) {
        state.PauseTiming();
        auto model = std::make_unique<EditorModel>(ui);
        model->newConfiguration(ServerKind::Tornel, "bench.xml");
        for (int p = 0; p < 10; ++p) {
            PlcForm form = model->newPlcForm();
            form.name = "Line" + std::to_string(p);
            model->applyPlcForm("", form, false);
        }
        state.ResumeTiming();
        const TagImportPlan plan = model->planTagImport("", csv);
        if (!plan.refused.empty() || !model->applyTagImport(plan).done || model->items.size() != 100000)
            state.SkipWithError("import failed");
        state.PauseTiming();
        model.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 100000);
}
BENCHMARK(BM_CsvImport100kRows)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
