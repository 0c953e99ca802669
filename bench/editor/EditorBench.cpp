// Import and save of a configuration of 100,000 items (10 PLCs, each with 10 branches of 10
// sub-branches of 100 items), generated here. Goal: each well under a second. Also the rename
// of a PLC, which re-keys a tenth of the items, and items added one by one through the dialog.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "editor/EditorModel.h"

namespace {

using namespace orva::editor;

constexpr int kPlcs = 10, kBranches = 10, kSubBranches = 10, kItemsPerBranch = 100;

const std::string& generatedFile()
{
    static const std::string text = [] {
        std::string out =
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<ORVATcpIpS7Cfg>\r\n\t<OPC_DA>\r\n"
            "\t\t<INTERFACE name=\"SAPIS7\">\r\n";
        for (int p = 0; p < kPlcs; ++p) {
            out += "\t\t\t<PLC name=\"Line" + std::to_string(p) + "\" address = \"10.0.0." +
                   std::to_string(p) + "\" CPUSlot=\"2\" RackNr=\"0\">\r\n\t\t\t\t<tags>\r\n";
            for (int b = 0; b < kBranches; ++b) {
                out += "\t\t\t\t\t<AREA" + std::to_string(b) + ">\r\n";
                for (int s = 0; s < kSubBranches; ++s) {
                    out += "\t\t\t\t\t\t<UNIT" + std::to_string(s) + ">\r\n";
                    for (int i = 0; i < kItemsPerBranch; ++i) {
                        const std::string t(7, '\t'), u(8, '\t');
                        out += t + "<tag>\r\n" + u + "<name>Value" + std::to_string(i) + "</name>\r\n" + u +
                               "<comment>Measured value " + std::to_string(i) + "</comment>\r\n" + u +
                               "<databyte>" + std::to_string(2 * i) + "</databyte>\r\n" + u +
                               "<datatype>VT_I2</datatype>\r\n" + u + "<datablock>" +
                               std::to_string(100 + b) + "</datablock>\r\n" + u +
                               "<accessrights>READWRITE</accessrights>\r\n" + t + "</tag>\r\n";
                    }
                    out += "\t\t\t\t\t\t</UNIT" + std::to_string(s) + ">\r\n";
                }
                out += "\t\t\t\t\t</AREA" + std::to_string(b) + ">\r\n";
            }
            out += "\t\t\t\t</tags>\r\n\t\t\t</PLC>\r\n";
        }
        out += "\t\t</INTERFACE>\r\n\t</OPC_DA>\r\n</ORVATcpIpS7Cfg>\r\n";
        return out;
    }();
    return text;
}

void BM_Import100kItems(benchmark::State& state)
{
    const std::string& text = generatedFile();
    UnattendedUi ui{Answer::Yes};
    for (auto _ : state) {
        auto model = std::make_unique<EditorModel>(ui);
        if (!model->importXmlBytes(text) || model->items.size() != 100000 || !ui.messages.empty())
            state.SkipWithError("import failed");
        benchmark::DoNotOptimize(model->items.size());
        state.PauseTiming();
        model.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
// The first iteration pays for fresh memory; later ones reuse what the allocator kept.
BENCHMARK(BM_Import100kItems)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_Save100kItems(benchmark::State& state)
{
    UnattendedUi ui{Answer::Yes};
    EditorModel model(ui);
    model.importXmlBytes(generatedFile());
    const auto path =
        std::filesystem::temp_directory_path() / ("kalder-bench-" + std::to_string(::getpid()) + ".xml");
    for (auto _ : state) {
        if (!model.CreateXML(path.string())) state.SkipWithError("save failed");
    }
    if (std::filesystem::file_size(path) != generatedFile().size())
        state.SkipWithError("saved file differs in size");
    std::filesystem::remove(path);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * generatedFile().size()));
}
BENCHMARK(BM_Save100kItems)->Unit(benchmark::kMillisecond);

void BM_RenamePlcOf10kItems(benchmark::State& state)
{
    UnattendedUi ui{Answer::Yes};
    EditorModel model(ui);
    model.importXmlBytes(generatedFile());
    bool flip = false;
    for (auto _ : state) {
        PlcForm form = model.plcFormFor(flip ? "Renamed" : "Line0");
        form.name = flip ? "Line0" : "Renamed";
        if (!model.applyPlcForm(flip ? "Renamed" : "Line0", form, true).done)
            state.SkipWithError("rename failed");
        flip = !flip;
    }
}
BENCHMARK(BM_RenamePlcOf10kItems)->Unit(benchmark::kMillisecond);

void BM_Add100kItemsThroughTheDialog(benchmark::State& state)
{
    for (auto _ : state) {
        UnattendedUi ui{Answer::Yes};
        EditorModel model(ui);
        model.newConfiguration(ServerKind::Pennat, "bench.xml");
        PlcForm plc = model.newPlcForm();
        plc.name = "P";
        model.applyPlcForm("", plc, false);
        model.addBranch("P", "B");
        ItemForm form;
        EditorModel::changeDataType(form, "boolean");  // eight items per byte keeps the addresses in range
        form.name = "First";
        form.address = "0";
        form.block = "1";
        for (int i = 0; i < 4; ++i)
            model.addGroup("P.B", form, "25000");
        if (model.items.size() != 100000) state.SkipWithError("items missing");
    }
}
BENCHMARK(BM_Add100kItemsThroughTheDialog)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
