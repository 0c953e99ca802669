// 222-byte reads per second over the serial MPI link. The simulated adapter paces the
// pseudo-terminal to the baud rate (every byte both ways booked at bits per character / baud), so
// the rate means what it would on a cable. Counters:
//   reads_per_s   measured
//   wire_bytes    bytes on the line per read (both directions: handshakes, blocks, Ack)
//   limit_per_s   baud / bits per character / wire_bytes: the line's physical limit
//   of_limit      reads_per_s / limit_per_s (goal: at least 0.8)
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "mpi/MpiLink.h"
#include "plcsim/SerialAdapter.h"

namespace {

void BM_Read222(benchmark::State& state)
{
    orva::mpi::LineSettings line;
    line.baudrate = static_cast<uint32_t>(state.range(0));
    const std::string link =
        (std::filesystem::temp_directory_path() /
         ("orva-mpi-bench-" + std::to_string(::getpid()) + "-" + std::to_string(line.baudrate)))
            .string();
    orva::plcsim::SimulatorOptions plcOptions;
    plcOptions.dataBlocks[1] = 1024;
    auto plc = std::make_shared<orva::plcsim::PlcSimulator>(plcOptions);
    orva::plcsim::SerialOptions options;
    options.link = link;
    options.line = line;
    options.paced = true;
    orva::plcsim::SerialAdapter adapter(options, {{2, 2, plc}});
    std::string error;
    if (!adapter.start(&error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    line.port = link;
    orva::mpi::MpiLink mpiLink;
    if (mpiLink.open(line, 0, {{2, 2}}) != 0 || mpiLink.select(1) != 0) {
        state.SkipWithError("the link does not open");
        return;
    }
    std::vector<uint8_t> buffer(222);
    if (mpiLink.read(1, 0, buffer) != 0) {  // the first read settles the line
        state.SkipWithError("read failed");
        return;
    }
    const uint64_t bytesBefore = mpiLink.wireBytes();
    uint64_t reads = 0;
    const auto begin = std::chrono::steady_clock::now();
    for (auto _ : state) {
        if (mpiLink.read(1, 0, buffer) != 0) {
            state.SkipWithError("read failed");
            break;
        }
        ++reads;
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - begin;
    if (reads == 0) return;
    const double wireBytes =
        static_cast<double>(mpiLink.wireBytes() - bytesBefore) / static_cast<double>(reads);
    const double limit = line.baudrate / static_cast<double>(line.bitsPerCharacter()) / wireBytes;
    const double rate = static_cast<double>(reads) / elapsed.count();
    state.counters["reads_per_s"] = rate;
    state.counters["wire_bytes"] = wireBytes;
    state.counters["limit_per_s"] = limit;
    state.counters["of_limit"] = rate / limit;
    mpiLink.close();
    adapter.stop();
}

BENCHMARK(BM_Read222)->Arg(38400)->Arg(115200)->MinTime(3.0)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
