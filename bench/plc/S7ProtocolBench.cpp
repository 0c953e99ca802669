// Costs of the access library's own work: encoding a read request, decoding a full 222-byte
// answer, and a whole 222-byte read through the library from the in-process simulator over
// loopback.
#include <benchmark/benchmark.h>

#include <cstring>

#include "plc/S7Protocol.h"
#include "plc/TcpIpS7Tool.h"
#include "plcsim/PlcSimulator.h"
#include "plcsim/S7Job.h"

namespace {

void BM_EncodeReadRequest(benchmark::State& state)
{
    uint16_t ref = 0;
    for (auto _ : state) {
        auto frame = orva::plc::s7::encodeDataFrame(orva::plc::s7::encodeReadRequest(++ref, 1, 0, 222));
        benchmark::DoNotOptimize(frame.data());
    }
}
BENCHMARK(BM_EncodeReadRequest);

void BM_DecodeReadResponse222(benchmark::State& state)
{
    orva::plcsim::ItemResult item;
    item.transportSize = orva::plc::s7::kDataByteBits;
    item.bytes.assign(222, 0x5A);
    const std::vector<uint8_t> pdu = orva::plcsim::encodeReadResponse(7, std::span(&item, 1));
    std::vector<uint8_t> destination(222);
    for (auto _ : state) {
        const auto status = orva::plc::s7::decodeReadResponse(pdu, 7, destination);
        benchmark::DoNotOptimize(status);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 222);
}
BENCHMARK(BM_DecodeReadResponse222);

void BM_ReadBytes222FromSimulator(benchmark::State& state)
{
    orva::plcsim::SimulatorOptions options;
    options.dataBlocks = {{1, 512}};
    orva::plcsim::PlcSimulator sim(options);
    if (!sim.start()) {
        state.SkipWithError("simulator did not start");
        return;
    }
    orva::plc::PlcConnectionEntry entry{};
    std::snprintf(entry.address, sizeof entry.address, "%s", sim.endpoint().c_str());
    orva::plc::TcpIpS7Tool tool;
    if (tool.open(&entry, 1) != orva::plc::kS7Ok || tool.selectPlc(1, 0) != orva::plc::kS7Ok) {
        state.SkipWithError("cannot connect to the simulator");
        return;
    }
    uint8_t buffer[222];
    for (auto _ : state) {
        if (tool.readBytes(1, 222, 0, buffer) != orva::plc::kS7Ok) {
            state.SkipWithError("read failed");
            break;
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_ReadBytes222FromSimulator)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
