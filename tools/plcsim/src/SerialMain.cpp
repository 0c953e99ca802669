// plcsim --serial: the MPI adapter and its stations on a pseudo-terminal.
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "Arguments.h"
#include "common/ProgramInfo.h"
#include "plcsim/ConfigTags.h"
#include "plcsim/SerialAdapter.h"
#include "plcsim/TagAnimation.h"

namespace {

constexpr const char* kSerialUsage = R"(Usage: plcsim --serial LINK [options]

An MPI adapter with simulated S7 stations behind it, on a pseudo-terminal. LINK becomes a
symbolic link to the pseudo-terminal's device (removed at exit); a server opens LINK as its
serial port. The adapter answers only while the other side's line settings equal its own.

Options:
  --station ADDR[:SLOT]  a station at MPI address ADDR (0..126) with its CPU in SLOT (default
                         2) (repeatable; default: one station, address 2, slot 2)
  --config FILE          one station per PLC of a Lorvik or Pennat file, at its MPI address and
                         slot, with data blocks laid out and animated after its tags (as in TCP
                         mode; see plcsim --help)
  --db N:SIZE            data block N with SIZE bytes in every station (repeatable; default
                         DB1 with 1024 bytes)
  --pattern              fill the data blocks with byte i = i & 0xFF instead of zeros
  --baud N               the adapter's baud rate (default 38400)
  --databits N           7 or 8 (default 8)
  --parity P             N, O or E (also NO, ODD, EVEN; default O)
  --stopbits N           1 or 2 (default 1)
  --no-pacing            answer at once instead of at the pace of the baud rate
  --animate-ms MS        animation step of --config tags (default 200)
  --log FILE             request log, one line per item ("-" = standard output)
  --duration S           stop after S seconds
Faults, for tests:
  --silent               answer nothing (an adapter switched off)
  --drop-after N         after N data requests the adapter restarts, losing the request, its
                         connections and its initialisation
  --access-error RC[:DB] fail every access (or those to DB) with S7 return code RC
  --bad-check-every N    send every Nth block with a wrong block check
)";

// "A:B" or, when the second part may be left out, "A" (b keeps its value).
bool pair(std::string_view text, unsigned long long maxA, unsigned long long maxB, unsigned long long& a,
          unsigned long long& b, bool secondOptional)
{
    if (text.find(':') == std::string_view::npos)
        return secondOptional && orva::plcsim::parseNumber(text, maxA, a);
    return orva::plcsim::parsePair(text, maxA, maxB, a, b);
}

bool parity(std::string_view text, orva::mpi::Parity& out)
{
    if (text == "N" || text == "NO" || text == "n")
        out = orva::mpi::Parity::None;
    else if (text == "O" || text == "ODD" || text == "o")
        out = orva::mpi::Parity::Odd;
    else if (text == "E" || text == "EVEN" || text == "e")
        out = orva::mpi::Parity::Even;
    else
        return false;
    return true;
}

int serialUsageError(const std::string& message)
{
    std::fprintf(stderr, "plcsim: %s\n(see plcsim --serial LINK --help)\n", message.c_str());
    return 2;
}

std::mutex outputMutex;

void say(const std::string& text)
{
    const std::lock_guard lock(outputMutex);
    std::printf("plcsim: %s\n", text.c_str());
    std::fflush(stdout);
}

}  // namespace

namespace orva::plcsim {

int runSerialMode(int argc, char** argv)
{
    SerialOptions options;
    SerialFaults faults;
    Faults plcFaults;
    std::vector<std::pair<uint8_t, uint8_t>> stationAddresses;
    std::map<uint16_t, size_t> dataBlocks;
    std::string configPath;
    std::string logPath;
    bool pattern = false;
    unsigned long long durationSeconds = 0;
    std::chrono::milliseconds animationPeriod{200};

    if (orva::plcsim::printedProgramInfo(argc, argv, kSerialUsage)) return 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        unsigned long long a = 0;
        unsigned long long b = 2;
        if (arg == "--pattern") {
            pattern = true;
            continue;
        }
        if (arg == "--no-pacing") {
            options.paced = false;
            continue;
        }
        if (arg == "--silent") {
            faults.silent = true;
            continue;
        }
        if (i + 1 >= argc) return serialUsageError("unknown option or missing value: " + std::string(arg));
        const std::string_view value = argv[++i];
        if (arg == "--serial") {
            options.link = value;
        } else if (arg == "--station" && pair(value, 126, 31, a, b, true)) {
            stationAddresses.emplace_back(static_cast<uint8_t>(a), static_cast<uint8_t>(b));
        } else if (arg == "--config") {
            configPath = value;
        } else if (arg == "--db" && pair(value, 65535, 65536, a, b, false) && a > 0) {
            dataBlocks[static_cast<uint16_t>(a)] = static_cast<size_t>(b);
        } else if (arg == "--baud" && plcsim::parseNumber(value, 4000000, a) &&
                   mpi::speedFor(static_cast<uint32_t>(a)) != 0) {
            options.line.baudrate = static_cast<uint32_t>(a);
        } else if (arg == "--databits" && plcsim::parseNumber(value, 8, a) && a >= 7) {
            options.line.dataBits = static_cast<uint8_t>(a);
        } else if (arg == "--parity" && parity(value, options.line.parity)) {
        } else if (arg == "--stopbits" && plcsim::parseNumber(value, 2, a) && a >= 1) {
            options.line.stopBits = static_cast<uint8_t>(a);
        } else if (arg == "--animate-ms" && plcsim::parseNumber(value, 3600000, a) && a > 0) {
            animationPeriod = std::chrono::milliseconds(a);
        } else if (arg == "--log") {
            logPath = value;
        } else if (arg == "--duration" && plcsim::parseNumber(value, 86400ull * 365, a)) {
            durationSeconds = a;
        } else if (arg == "--drop-after" && plcsim::parseNumber(value, 1000000000, a)) {
            faults.dropAfter = static_cast<int>(a);
        } else if (arg == "--bad-check-every" && plcsim::parseNumber(value, 1000000, a)) {
            faults.badCheckEvery = static_cast<int>(a);
        } else if (arg == "--access-error") {
            unsigned long long block = 0;
            if (!pair(value, 254, 65535, a, block, true) || a == 0)
                return serialUsageError("bad return code: " + std::string(value));
            plcFaults.accessError = static_cast<uint8_t>(a);
            plcFaults.accessErrorBlock = static_cast<uint16_t>(block);
        } else {
            return serialUsageError("bad value for " + std::string(arg) + ": " + std::string(value));
        }
    }
    if (options.link.empty()) return serialUsageError("--serial needs the path of the link to create");

    std::vector<ConfigPlc> configured;
    if (!configPath.empty()) {
        std::string error;
        std::vector<std::string> warnings;
        const bool loaded = loadConfigStations(configPath, configured, error, &warnings);
        for (const auto& warning : warnings)
            std::fprintf(stderr, "plcsim: %s: %s\n", configPath.c_str(), warning.c_str());
        if (!loaded) return serialUsageError(configPath + ": " + error);
    } else {
        if (stationAddresses.empty()) stationAddresses.emplace_back(2, 2);
        for (const auto& [address, slot] : stationAddresses) {
            ConfigPlc plc;
            plc.name = "station " + std::to_string(address);
            plc.mpiAddress = address;
            plc.cpuSlot = slot;
            configured.push_back(std::move(plc));
        }
    }

    std::FILE* log = nullptr;
    if (logPath == "-") {
        log = stdout;
    } else if (!logPath.empty() && (log = std::fopen(logPath.c_str(), "a")) == nullptr) {
        return serialUsageError("cannot open the log file " + logPath);
    }

    std::vector<SerialStation> stations;
    std::vector<TagAnimation> animations;
    for (const ConfigPlc& plc : configured) {
        SimulatorOptions plcOptions;
        plcOptions.dataBlocks = dataBlocks;
        for (const auto& [blockNumber, size] : plc.dataBlocks) {
            size_t& blockSize = plcOptions.dataBlocks[blockNumber];
            blockSize = std::max(blockSize, size);
        }
        if (plcOptions.dataBlocks.empty()) plcOptions.dataBlocks[1] = 1024;
        const unsigned address = plc.mpiAddress & 0xFF;
        if (log != nullptr) {
            plcOptions.log = [log, address](const RequestRecord& record) {
                const std::lock_guard lock(outputMutex);
                std::fprintf(log, "MPI %u: %s\n", address, formatRecord(record).c_str());
                std::fflush(log);
            };
        }
        auto simulator = std::make_shared<PlcSimulator>(plcOptions);
        simulator->setFaults(plcFaults);
        if (pattern) {
            for (const auto& [blockNumber, size] : plcOptions.dataBlocks) {
                std::vector<uint8_t> bytes(size);
                for (size_t i = 0; i < size; ++i)
                    bytes[i] = static_cast<uint8_t>(i);
                simulator->writeMemory(blockNumber, 0, bytes);
            }
        }
        std::printf("plcsim station %s at MPI address %u slot %u\n", plc.name.c_str(), address,
                    plc.cpuSlot & 0xFF);
        for (const auto& [blockNumber, size] : plcOptions.dataBlocks)
            std::printf("  DB%u: %zu bytes\n", blockNumber, size);
        for (const auto& tag : plc.tags)
            std::printf("  %-32s %s\n", tag.itemId.c_str(), describeAddress(tag).c_str());
        animations.emplace_back(plc.tags, animationPeriod);
        animations.back().seed(*simulator);
        stations.push_back(SerialStation{static_cast<uint8_t>(address),
                                         static_cast<uint8_t>(plc.cpuSlot & 0xFF), std::move(simulator)});
    }

    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    options.say = say;
    std::vector<std::shared_ptr<PlcSimulator>> plcs;
    for (const auto& station : stations)
        plcs.push_back(station.plc);
    SerialAdapter adapter(options, std::move(stations));
    adapter.setFaults(faults);
    std::string error;
    if (!adapter.start(&error)) return serialUsageError(error);
    say("adapter on " + options.link + " -> " + adapter.devicePath() + " at " +
        mpi::describeLine(options.line.baudrate, options.line.dataBits, options.line.parity,
                          options.line.stopBits) +
        (options.paced ? "" : " (not paced)"));

    const auto begin = std::chrono::steady_clock::now();
    const auto wake = std::min(animationPeriod, std::chrono::milliseconds(200));
    const timespec step{static_cast<time_t>(wake.count() / 1000),
                        static_cast<long>(wake.count() % 1000) * 1000000};
    uint64_t lastStep = 0;
    for (;;) {
        if (sigtimedwait(&signals, nullptr, &step) > 0) break;
        const auto now = std::chrono::steady_clock::now();
        if (durationSeconds > 0 && now - begin >= std::chrono::seconds(durationSeconds)) break;
        const auto current = static_cast<uint64_t>((now - begin) / animationPeriod);
        if (current != lastStep) {
            for (size_t i = 0; i < animations.size(); ++i)
                animations[i].apply(*plcs[i], current);
        }
        lastStep = current;
    }
    adapter.stop();
    if (log != nullptr && log != stdout) std::fclose(log);
    say("stopped");
    return 0;
}

}  // namespace orva::plcsim
