// plcsim: a small S7 PLC on a loopback address, for the demo and for tests.
#include <arpa/inet.h>
#include <signal.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Arguments.h"
#include "common/ProgramInfo.h"
#include "plcsim/ConfigTags.h"
#include "plcsim/PlcSimulator.h"
#include "plcsim/TagAnimation.h"

namespace {

using orva::plcsim::parseNumber;
using orva::plcsim::parsePair;

constexpr const char* kUsage = R"(Usage: plcsim [options]

A simulated S7 PLC speaking S7 communication over ISO-on-TCP (RFC 1006) on a loopback
address. It serves byte, word and bit reads and writes of data blocks and answers any rack
and slot.

Options:
  --address IP           listening address, in 127.0.0.0/8 (default 127.0.0.1)
  --port N               listening port (default 10102; 0 = a free port, printed at start)
  --db N:SIZE            data block N with SIZE bytes, zero-filled (repeatable;
                         default: DB1 with 1024 bytes)
  --pattern              fill the data blocks with byte i = i & 0xFF instead of zeros
  --pdu N                largest PDU size granted, 240..960 (default 480)
  --max-connections N    connections served at once; more are reset (default 8)
  --animate N            animate data block N (repeatable): bytes 0-3 a DWORD counter,
                         bytes 4-7 a REAL sine (amplitude 100, period 10 s), byte 8 the
                         counter's low byte (bit n toggles every 2^n steps)
  --animate-ms MS        animation step (default 200)
  --config FILE          lay out and animate the data blocks after the tags of a Tornel
                         or Vardel configuration file, as the server reads it. The PLC
                         simulated is the one named by --plc, else the one whose address is
                         this simulator's address:port, else the first. A Vardel file's
                         PLCs are at the addresses of their connections in the SAPI-S7
                         connection database (the registry under ORVA_REGISTRY_ROOT).
                         Every data block its tags touch is created (large enough for the
                         furthest tag; --db may make it larger), and the tags get readable values by their type:
                         integers ramp and wrap (VT_I1 -100..100, VT_UI1 0..100, VT_I2
                         0..1500, VT_I4 0..10000), VT_UI2 and VT_UI4 count the steps, VT_R4
                         follow slow sines between 20 and 80, BOOLs toggle at different
                         rates, strings read "Recipe N", arrays change one element per
                         step (BOOL arrays: a running light).
                         Access rights: only READ tags are animated. A tag whose rights
                         include writing (READWRITE, WRITE) gets one value at the start
                         and is then left alone, so that what clients write stays there.
  --plc NAME             with --config: simulate the PLC of this name
  --log FILE             request log, one line per item: "read DB1 start=0 size=222"
                         ("-" = standard output; default: no log)
  --duration S           stop after S seconds (default: run until SIGINT or SIGTERM)
Faults, for tests:
  --refuse-connections   reset every TCP connection right after accepting it
  --refuse-iso           answer the ISO connection request with a disconnect
  --drop-after N         close a connection instead of answering its request N+1
  --delay-ms MS          answer every request MS milliseconds late
  --access-error RC[:DB] fail every access (or those to DB) with return code RC
                         (e.g. 0x0A object missing, 0x05 out of range, 0x03 denied)
  --header-error CL:CO   refuse every read and write with error class CL and code CO
                         (e.g. 0x81:0x04, as CPUs without PUT/GET access do)
  --corrupt              answer with a wrong PDU reference
  --help                 show this text
  --version              show the version
With --serial LINK plcsim is an MPI adapter on a pseudo-terminal instead (plcsim --serial LINK
--help lists its options).
)";

int usageError(const std::string& message)
{
    std::fprintf(stderr, "plcsim: %s\n(see plcsim --help)\n", message.c_str());
    return 2;
}

}  // namespace

namespace orva::plcsim {
int runSerialMode(int argc, char** argv);
}

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--serial") return orva::plcsim::runSerialMode(argc, argv);
    }
    orva::plcsim::SimulatorOptions options;
    options.port = 10102;
    orva::plcsim::Faults faults;
    std::string logPath;
    bool pattern = false;
    unsigned long long durationSeconds = 0;
    std::string configPath;
    std::string plcName;

    if (orva::plcsim::printedProgramInfo(argc, argv, kUsage)) return 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto next = [&](std::string_view& value) {
            if (i + 1 >= argc) return false;
            value = argv[++i];
            return true;
        };
        std::string_view value;
        unsigned long long a = 0;
        unsigned long long b = 0;
        if (arg == "--refuse-connections") {
            faults.refuseConnections = true;
        } else if (arg == "--refuse-iso") {
            faults.refuseIso = true;
        } else if (arg == "--pattern") {
            pattern = true;
        } else if (arg == "--corrupt") {
            faults.corruptResponses = true;
        } else if (!next(value)) {
            return usageError("unknown option or missing value: " + std::string(arg));
        } else if (arg == "--address") {
            in_addr ip{};
            if (::inet_pton(AF_INET, std::string(value).c_str(), &ip) != 1 ||
                (ntohl(ip.s_addr) >> 24) != 127) {
                return usageError("the address must be a loopback address (127.x.y.z): " +
                                  std::string(value));
            }
            options.address = value;
        } else if (arg == "--port" && parseNumber(value, 65535, a)) {
            options.port = static_cast<uint16_t>(a);
        } else if (arg == "--db" && parsePair(value, 65535, 65536, a, b) && a > 0) {
            options.dataBlocks[static_cast<uint16_t>(a)] = static_cast<size_t>(b);
        } else if (arg == "--pdu" && parseNumber(value, 960, a) && a >= 240) {
            options.maxPduSize = static_cast<uint16_t>(a);
        } else if (arg == "--max-connections" && parseNumber(value, 256, a) && a > 0) {
            options.maxConnections = static_cast<int>(a);
        } else if (arg == "--animate" && parseNumber(value, 65535, a) && a > 0) {
            options.animatedBlocks.push_back(static_cast<uint16_t>(a));
        } else if (arg == "--animate-ms" && parseNumber(value, 3600000, a) && a > 0) {
            options.animationPeriod = std::chrono::milliseconds(a);
        } else if (arg == "--config") {
            configPath = value;
        } else if (arg == "--plc") {
            plcName = value;
        } else if (arg == "--log") {
            logPath = value;
        } else if (arg == "--duration" && parseNumber(value, 86400 * 365, a)) {
            durationSeconds = a;
        } else if (arg == "--drop-after" && parseNumber(value, 1000000000, a)) {
            faults.dropAfterRequests = static_cast<int>(a);
        } else if (arg == "--delay-ms" && parseNumber(value, 3600000, a)) {
            faults.responseDelay = std::chrono::milliseconds(a);
        } else if (arg == "--access-error") {
            const bool withBlock = value.find(':') != std::string_view::npos;
            if (!(withBlock ? parsePair(value, 255, 65535, a, b) : parseNumber(value, 255, a)) || a == 0 ||
                a == 0xFF) {
                return usageError("bad return code: " + std::string(value));
            }
            faults.accessError = static_cast<uint8_t>(a);
            faults.accessErrorBlock = static_cast<uint16_t>(withBlock ? b : 0);
        } else if (arg == "--header-error" && parsePair(value, 255, 255, a, b) && a > 0) {
            faults.headerErrorClass = static_cast<uint8_t>(a);
            faults.headerErrorCode = static_cast<uint8_t>(b);
        } else {
            return usageError("bad value for " + std::string(arg) + ": " + std::string(value));
        }
    }
    if (!plcName.empty() && configPath.empty()) return usageError("--plc needs --config");

    std::optional<orva::plcsim::TagAnimation> animation;
    std::string plcAddress;
    if (!configPath.empty()) {
        orva::plcsim::ConfigPlc plc;
        std::string error;
        std::vector<std::string> warnings;
        const orva::plcsim::PlcChoice choice{plcName, options.address + ":" + std::to_string(options.port)};
        const bool loaded = orva::plcsim::loadConfigPlc(configPath, choice, plc, error, &warnings);
        for (const auto& warning : warnings)
            std::fprintf(stderr, "plcsim: %s: %s\n", configPath.c_str(), warning.c_str());
        if (!loaded) return usageError(configPath + ": " + error);
        for (const auto& [number, size] : plc.dataBlocks) {
            size_t& blockSize = options.dataBlocks[number];
            blockSize = std::max(blockSize, size);
        }
        std::printf("plcsim simulates PLC %s (%s) of %s\n", plc.name.c_str(), plc.address.c_str(),
                    configPath.c_str());
        for (const auto& tag : plc.tags) {
            std::printf("  %-32s %-16s %s\n", tag.itemId.c_str(), orva::plcsim::describeAddress(tag).c_str(),
                        tag.writable ? "writable: set once, then left to clients" : "animated");
        }
        for (const auto& itemId : plc.skipped)
            std::printf("  %-32s not simulated (the server never reads it)\n", itemId.c_str());
        if (plc.address.empty())
            std::printf("  note: no connection %s in the SAPI-S7 connection database\n", plc.name.c_str());
        else
            plcAddress = plc.address.find(':') == std::string::npos ? plc.address + ":102" : plc.address;
        animation.emplace(std::move(plc.tags), options.animationPeriod);
    }
    if (options.dataBlocks.empty()) options.dataBlocks[1] = 1024;

    std::FILE* log = nullptr;
    if (logPath == "-") {
        log = stdout;
    } else if (!logPath.empty()) {
        log = std::fopen(logPath.c_str(), "a");
        if (log == nullptr)
            return usageError("cannot open the log file " + logPath + ": " + std::strerror(errno));
    }
    std::mutex logMutex;
    if (log != nullptr) {
        options.log = [log, &logMutex](const orva::plcsim::RequestRecord& record) {
            const std::lock_guard lock(logMutex);
            std::fprintf(log, "%s\n", orva::plcsim::formatRecord(record).c_str());
            std::fflush(log);
        };
    }

    // SIGINT and SIGTERM are taken by sigtimedwait below, in this thread only.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    orva::plcsim::PlcSimulator simulator(options);
    simulator.setFaults(faults);
    if (pattern) {
        for (const auto& [number, size] : options.dataBlocks) {
            std::vector<uint8_t> bytes(size);
            for (size_t i = 0; i < size; ++i)
                bytes[i] = static_cast<uint8_t>(i);
            simulator.writeMemory(number, 0, bytes);
        }
    }
    if (animation) animation->seed(simulator);
    std::string error;
    if (!simulator.start(&error)) return usageError(error);
    std::printf("plcsim listening on %s\n", simulator.endpoint().c_str());
    if (!plcAddress.empty() && plcAddress != simulator.endpoint()) {
        std::printf("  note: the server looks for this PLC at %s, not here\n", plcAddress.c_str());
    }
    for (const auto& [number, size] : options.dataBlocks)
        std::printf("  DB%u: %zu bytes\n", number, size);
    std::fflush(stdout);

    const auto begin = std::chrono::steady_clock::now();
    const auto end = begin + std::chrono::seconds(durationSeconds);
    // Wakes every 200 ms, or every animation step when the configuration's tags are animated.
    const auto wake = animation ? std::min(options.animationPeriod, std::chrono::milliseconds(200))
                                : std::chrono::milliseconds(200);
    const timespec step{static_cast<time_t>(wake.count() / 1000),
                        static_cast<long>(wake.count() % 1000) * 1000000};
    uint64_t lastStep = 0;
    for (;;) {
        if (sigtimedwait(&signals, nullptr, &step) > 0) break;
        const auto now = std::chrono::steady_clock::now();
        if (durationSeconds > 0 && now >= end) break;
        if (animation) {
            const auto current = static_cast<uint64_t>((now - begin) / options.animationPeriod);
            if (current != lastStep) animation->apply(simulator, current);
            lastStep = current;
        }
    }
    simulator.stop();
    {
        const std::lock_guard lock(logMutex);
        if (log != nullptr && log != stdout) std::fclose(log);
    }
    std::printf("plcsim stopped\n");
    return 0;
}
