// Loading a large configuration: 100,000 tags over 100 PLCs (10 branches of 100 tags each).
// Reports the load time and the heap the loaded PLCs, address space and tags occupy per tag.
// Goal on the development machine: under 0.5 s and under 1 KiB per tag.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/ConfigLoader.h"
#include "opc/SODaSEntry.h"

using namespace orva::opc;

using namespace orva;

namespace {

constexpr int kPlcs = 100;
constexpr int kBranches = 10;
constexpr int kTagsPerBranch = 100;
constexpr int kTags = kPlcs * kBranches * kTagsPerBranch;

const char* const kTypes[] = {"VT_I2", "VT_R4", "VT_BOOL", "VT_UI4", "VT_BSTR", "VT_I2 ARRAY"};

std::string generate()
{
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<ORVATcpIpS7Cfg>\r\n\t<OPC_DA>\r\n"
        "\t\t<INTERFACE name=\"SAPIS7\">\r\n";
    for (int p = 0; p < kPlcs; ++p) {
        xml += "\t\t\t<PLC name=\"Line" + std::to_string(p) + "\" address=\"10.0." + std::to_string(p) +
               ".1\" CPUSlot=\"2\" RackNr=\"0\">\r\n\t\t\t\t<tags>\r\n";
        for (int b = 0; b < kBranches; ++b) {
            xml += "\t\t\t\t\t<AREA" + std::to_string(b) + ">\r\n";
            for (int t = 0; t < kTagsPerBranch; ++t) {
                const std::string type = kTypes[t % 6];
                xml += "\t\t\t\t\t\t<tag>\r\n\t\t\t\t\t\t\t<name>Tag" + std::to_string(t) +
                       "</name>\r\n\t\t\t\t\t\t\t<comment>Measurement " + std::to_string(t) + " of area " +
                       std::to_string(b) + "</comment>\r\n\t\t\t\t\t\t\t<databyte>" + std::to_string(t * 4) +
                       "</databyte>\r\n\t\t\t\t\t\t\t<datatype>" + type +
                       "</datatype>\r\n\t\t\t\t\t\t\t<datablock>" + std::to_string(100 + b) +
                       "</datablock>\r\n\t\t\t\t\t\t\t<accessrights>READWRITE</accessrights>\r\n";
                if (type == "VT_BOOL") xml += "\t\t\t\t\t\t\t<databit>3</databit>\r\n";
                if (type == "VT_BSTR" || type == "VT_I2 ARRAY")
                    xml += "\t\t\t\t\t\t\t<elements>8</elements>\r\n";
                xml += "\t\t\t\t\t\t</tag>\r\n";
            }
            xml += "\t\t\t\t\t</AREA" + std::to_string(b) + ">\r\n";
        }
        xml += "\t\t\t\t</tags>\r\n\t\t\t</PLC>\r\n";
    }
    xml += "\t\t</INTERFACE>\r\n\t</OPC_DA>\r\n</ORVATcpIpS7Cfg>\r\n";
    return xml;
}

const std::filesystem::path& configFile()
{
    static const std::filesystem::path path = [] {
        auto p = std::filesystem::temp_directory_path() / "orva_bench_100k_tags.xml";
        std::ofstream(p, std::ios::binary) << generate();
        return p;
    }();
    return path;
}

class QuietOwner : public core::OwnerWindow {
public:
    void showWarning(std::string_view, std::string_view) override {}
};

void BM_LoadConfiguration(benchmark::State& state)
{
    const auto& path = configFile();
    double bytesPerTag = 0;
    for (auto _ : state) {
        state.PauseTiming();
        SOCmnPointer<SODaSEntry> entry(new SODaSEntry);
        auto root = entry->getNameSpaceRoot();
        core::configureNameSpaceRoot(*root);
        core::PlcList plcs;
        QuietOwner owner;
        const core::LoadContext context{config::ServerKind::Tornel, plcs,
                                        std::make_shared<core::CoreQueues>(), owner, nullptr};
        malloc_trim(0);
        const std::size_t before = mallinfo2().uordblks;
        state.ResumeTiming();

        core::loadConfiguration(context, path, *root);

        state.PauseTiming();
        const std::size_t after = mallinfo2().uordblks;
        bytesPerTag = static_cast<double>(after - before) / kTags;
        if (plcs.size() != kPlcs) state.SkipWithError("not every PLC loaded");
        entry->terminate();
        plcs.clear();
        state.ResumeTiming();
    }
    state.counters["tags"] = kTags;
    state.counters["bytes_per_tag"] = bytesPerTag;
}

}  // namespace

BENCHMARK(BM_LoadConfiguration)->Unit(benchmark::kMillisecond)->Iterations(5);

BENCHMARK_MAIN();
