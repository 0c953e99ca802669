// soak_bench SECONDS [SEED]: Tornel serving several simulated PLCs that are stopped, restarted,
// made silent and made to answer with errors at random (seeded, so a run can be repeated), while
// clients connect from several loopback addresses, subscribe, write, read back and vanish without
// closing. Fails (exit 1) when a write answered Good is not in the PLC, a request is never
// answered or answered twice, a PLC's values do not come back Good after a disturbance, or the
// server's descriptors, threads or memory grew beyond a small bound.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ProcessStats.h"
#include "ServerProcess.h"
#include "SoakClient.h"
#include "registry/Registry.h"

using namespace std::chrono_literals;
using orva::e2e::isolatedServerEnvironment;
using orva::e2e::ServerProcess;
using namespace orva::soak;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kPlcs = 3;
constexpr int kTagsPerPlc = 4;
constexpr double kSessionTimeoutMs = 10000;  // the server's shortest
constexpr auto kRecoveryTime = 60s;          // values must be Good again within this
constexpr int kMaxVanishedAlive = 20;        // vanished sessions still waiting for their timeout
// Above the longest a request may wait for a silent PLC (docs/polling.md: about 5.3 s).
constexpr auto kLongestAnswer = 10s;
// Resident memory the server may gain over a run (allocator arenas of its threads settling).
constexpr int64_t kMemoryGrowthKiB = 4 * 1024;

enum class Disturbance { None, Stopped, Silent, Errors };
const char* nameOf(Disturbance d)
{
    // In the order of the enumerators.
    static constexpr std::array names{"healthy", "stopped", "silent", "answering with errors"};
    return names.at(static_cast<std::size_t>(d));
}

struct Plc {
    int port = 0;
    std::unique_ptr<ServerProcess> process;
    Disturbance disturbance = Disturbance::None;
    Clock::time_point until;
    std::map<int, int16_t> written;  // tag index -> value a client was told is written

    std::string tag(int plcIndex, int tagIndex) const
    {
        return "P" + std::to_string(plcIndex) + ".T" + std::to_string(tagIndex);
    }
    void start(bool withErrors)
    {
        std::vector<std::string> args{"--port", std::to_string(port), "--db", "10:64"};
        if (withErrors) args.insert(args.end(), {"--access-error", "0x0A"});
        process.reset();  // the old one lets go of the port first
        process = std::make_unique<ServerProcess>(ORVA_PLCSIM_PATH, args,
                                                  std::map<std::string, std::optional<std::string>>{});
        written.clear();  // a restarted PLC starts with zeroed data blocks
    }
};

std::string tornelConfig(const std::vector<Plc>& plcs)
{
    std::string text =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<ORVATcpIpS7Cfg><OPC_DA><INTERFACE "
        "name=\"SAPIS7\">";
    for (size_t i = 0; i < plcs.size(); ++i) {
        text += "<PLC name=\"P" + std::to_string(i) +
                "\" address=\"127.0.0.1:" + std::to_string(plcs[i].port) +
                "\" CPUSlot=\"2\" RackNr=\"0\"><tags>";
        for (int t = 0; t < kTagsPerPlc; ++t)
            text += "<tag><name>T" + std::to_string(t) + "</name><databyte>" + std::to_string(2 * t) +
                    "</databyte><datatype>VT_I2</datatype><datablock>10</datablock><accessrights>READWRITE"
                    "</accessrights></tag>";
        text += "</tags></PLC>";
    }
    return text + "</INTERFACE></OPC_DA></ORVATcpIpS7Cfg>\n";
}

struct Tally {
    int clients = 0;
    int vanished = 0;
    int refused = 0;
    int disturbances = 0;
    int writesChecked = 0;
    int writesNotGood = 0;
    int failures = 0;
    // Longest answer to a write or device read of a healthy PLC while another one was disturbed,
    // and of a disturbed PLC.
    std::chrono::milliseconds longestBesideDisturbed{0};
    std::chrono::milliseconds longestOfDisturbed{0};
};

std::string hex(uint32_t code)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", code);
    return text;
}

void failure(Tally& tally, const std::string& what)
{
    ++tally.failures;
    std::fprintf(stderr, "soak: FAIL %s\n", what.c_str());
}

}  // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 600;
    const unsigned seed = argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : 20261207u;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: soak_bench SECONDS [SEED]\n");
        return 2;
    }
    ::signal(SIGPIPE, SIG_IGN);
    std::mt19937 random(seed);
    const auto chance = [&](double p) { return std::uniform_real_distribution<>(0, 1)(random) < p; };
    const auto pick = [&](int n) { return std::uniform_int_distribution<>(0, n - 1)(random); };

    const fs::path dir = fs::temp_directory_path() / ("orva-soak-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "registry");
    std::vector<Plc> plcs(kPlcs);
    for (auto& plc : plcs) {
        plc.port = orva::e2e::freeLoopbackPort();
        plc.start(false);
    }
    std::ofstream(dir / "Tornel.xml") << tornelConfig(plcs);
    fs::copy_file(ORVA_TORNEL_PATH, dir / "Tornel");
    const int uaPort = orva::e2e::freeLoopbackPort();
    orva::registry::Registry settings(dir / "registry");
    settings.writeString("SOFTWARE\\ORVAAutomation\\Tornel", "OpcUaPort", std::to_string(uaPort));
    // Anonymous clients only read by default; the soak's clients write.
    settings.writeString("SOFTWARE\\ORVAAutomation\\Tornel", "AnonymousAccess", "write");
    ServerProcess tornel((dir / "Tornel").string(), {}, isolatedServerEnvironment(dir));
    Tally tally;
    if (!tornel.waitForLine("OPC UA endpoint", 60s)) {
        std::fprintf(stderr, "soak: Tornel did not start\n");
        return 1;
    }
    const int pid = tornel.pid();

    // Values of a PLC are Good again (a device read answers Good) within the recovery time.
    const auto recovers = [&](int p) {
        const auto end = Clock::now() + kRecoveryTime;
        while (Clock::now() < end) {
            SoakClient c;
            if (c.start(static_cast<uint16_t>(uaPort), "127.0.0.1", kSessionTimeoutMs) ==
                orva::opcua::status::Good) {
                const Outcome r = c.readFromDevice(plcs[p].tag(p, 0));
                c.closeSession();
                if (r.answered && orva::opcua::isGood(r.status)) return true;
            }
            for (auto& plc : plcs)
                if (plc.process) plc.process->drain();
            tornel.waitForLine("\x01", 500ms);  // drains its log meanwhile
        }
        return false;
    };
    // Everything clients were told is written is in the PLCs that kept running.
    const auto checkWritten = [&]() {
        SoakClient c;
        if (c.start(static_cast<uint16_t>(uaPort), "127.0.0.1", kSessionTimeoutMs) !=
            orva::opcua::status::Good) {
            failure(tally, "no session for the check of written values");
            return;
        }
        for (int p = 0; p < kPlcs; ++p) {
            if (plcs[p].disturbance != Disturbance::None) continue;
            for (const auto& [t, value] : plcs[p].written) {
                const Outcome r = c.readFromDevice(plcs[p].tag(p, t));
                ++tally.writesChecked;
                if (!r.answered)
                    failure(tally, "read of " + plcs[p].tag(p, t) + " never answered");
                else if (r.value != value || orva::opcua::isBad(r.status))
                    failure(tally, plcs[p].tag(p, t) + " holds " + std::to_string(r.value) + ", written " +
                                       std::to_string(value));
            }
        }
        c.closeSession();
    };

    for (int p = 0; p < kPlcs; ++p)
        if (!recovers(p)) failure(tally, "P" + std::to_string(p) + " never Good at start");
    const ProcessStats atStart = statsOf(pid);
    std::printf("soak: seed %u, %d s, %d PLCs; Tornel at start: %s\n", seed, seconds, kPlcs,
                atStart.text().c_str());
    std::fflush(stdout);

    std::deque<Clock::time_point> vanishedAt;
    const auto begin = Clock::now();
    const auto end = begin + std::chrono::seconds(seconds);
    auto nextCheck = begin + 30s;
    while (Clock::now() < end && tally.failures < 20) {
        tornel.drain();
        const auto now = Clock::now();
        // Disturbances: at most one PLC at a time, each for a few seconds.
        for (int p = 0; p < kPlcs; ++p) {
            Plc& plc = plcs[p];
            if (plc.process) plc.process->drain();
            if (plc.disturbance == Disturbance::None || now < plc.until) continue;
            const Disturbance was = plc.disturbance;
            if (was == Disturbance::Silent)
                plc.process->signal(SIGCONT);
            else
                plc.start(false);
            plc.disturbance = Disturbance::None;
            if (recovers(p)) {
                ++tally.disturbances;
            } else {
                failure(tally, "P" + std::to_string(p) + " not Good again after being " + nameOf(was));
                const auto& log = tornel.lines();
                for (size_t i = log.size() > 12 ? log.size() - 12 : 0; i < log.size(); ++i)
                    std::fprintf(stderr, "  Tornel: %s\n", log[i].c_str());
            }
        }
        const bool anyDisturbed = std::any_of(
            plcs.begin(), plcs.end(), [](const Plc& x) { return x.disturbance != Disturbance::None; });
        if (!anyDisturbed && chance(0.08)) {
            const int p = pick(kPlcs);
            Plc& plc = plcs[p];
            plc.disturbance =
                std::array{Disturbance::Stopped, Disturbance::Silent, Disturbance::Errors}[pick(3)];
            plc.until = now + std::chrono::milliseconds(2000 + pick(4000));
            if (plc.disturbance == Disturbance::Silent)
                plc.process->signal(SIGSTOP);
            else
                plc.process.reset();  // killed
            if (plc.disturbance == Disturbance::Errors) plc.start(true);
            std::printf("soak: P%d %s\n", p, nameOf(plc.disturbance));
            std::fflush(stdout);
        }

        const bool disturbedNow = std::any_of(
            plcs.begin(), plcs.end(), [](const Plc& x) { return x.disturbance != Disturbance::None; });

        // Now and then a write to a disturbed PLC stays unanswered while the next client comes and
        // goes: it must end within the bound, and the healthy PLCs must not wait for it.
        struct Waiting {
            SoakClient client;
            int plc = -1;
            int tag = 0;
        };
        std::unique_ptr<Waiting> waiting;
        if (disturbedNow && chance(0.5)) {
            waiting = std::make_unique<Waiting>();
            for (int p = 0; p < kPlcs; ++p)
                if (plcs[p].disturbance != Disturbance::None) waiting->plc = p;
            waiting->tag = pick(kTagsPerPlc);
            const bool sent = waiting->client.start(static_cast<uint16_t>(uaPort), "127.0.0.1",
                                                    kSessionTimeoutMs) == orva::opcua::status::Good &&
                              waiting->client.beginWrite(plcs[waiting->plc].tag(waiting->plc, waiting->tag),
                                                         static_cast<int16_t>(pick(1000)));
            if (!sent) waiting.reset();
        }
        const auto timed = [&](const Outcome& o, bool ofDisturbed) {
            auto& longest = ofDisturbed ? tally.longestOfDisturbed : tally.longestBesideDisturbed;
            if (disturbedNow) longest = std::max(longest, o.took);
            if (o.answered && o.took > kLongestAnswer)
                failure(tally, "an answer took " + std::to_string(o.took.count()) + " ms");
        };
        const auto collectWaiting = [&] {
            if (!waiting) return;
            Plc& plc = plcs[waiting->plc];
            const Outcome o = waiting->client.finishWrite();
            timed(o, true);
            if (!o.answered)
                failure(tally, "write to " + plc.tag(waiting->plc, waiting->tag) + " never answered while " +
                                   nameOf(plc.disturbance));
            else if (o.status == orva::opcua::status::Good && plc.disturbance != Disturbance::Silent)
                failure(tally, "write to " + plc.tag(waiting->plc, waiting->tag) + " Good while its PLC is " +
                                   nameOf(plc.disturbance));
            // Whatever the answer, the value in the PLC is no longer known.
            plc.written.erase(waiting->tag);
            if (waiting->client.strayAnswers() > 0) failure(tally, "a request was answered twice");
            waiting->client.closeSession();
            waiting.reset();
        };

        // One client's life.
        SoakClient client;
        const std::string source = "127.0.0." + std::to_string(2 + pick(8));
        const orva::opcua::StatusCode admitted =
            client.start(static_cast<uint16_t>(uaPort), source, kSessionTimeoutMs);
        ++tally.clients;
        if (admitted != orva::opcua::status::Good) {
            ++tally.refused;
            if (admitted != orva::opcua::status::BadTooManySessions &&
                admitted != orva::opcua::status::BadTcpServerTooBusy)
                failure(tally, "client from " + source + " refused with " + hex(admitted));
            collectWaiting();
            continue;
        }
        const int p = pick(kPlcs);
        const int t = pick(kTagsPerPlc);
        if (chance(0.5)) client.subscribe(plcs[p].tag(p, t));
        const auto value = static_cast<int16_t>(pick(60000) - 30000);
        const bool healthy = plcs[p].disturbance == Disturbance::None;
        const Outcome w = client.write(plcs[p].tag(p, t), value);
        timed(w, !healthy);
        if (!w.answered) {
            failure(tally, "write to " + plcs[p].tag(p, t) + " never answered");
        } else if (w.status == orva::opcua::status::Good) {
            if (healthy) {
                plcs[p].written[t] = value;
                const Outcome r = client.readFromDevice(plcs[p].tag(p, t));
                timed(r, false);
                ++tally.writesChecked;
                if (!r.answered)
                    failure(tally, "read of " + plcs[p].tag(p, t) + " never answered");
                else if (r.value != value || !orva::opcua::isGood(r.status))
                    failure(tally, plcs[p].tag(p, t) + " reads " + std::to_string(r.value) + " (status " +
                                       hex(r.status) + ") after writing " + std::to_string(value));
            } else if (plcs[p].disturbance != Disturbance::Silent) {
                failure(tally, "write to " + plcs[p].tag(p, t) + " Good while its PLC is " +
                                   nameOf(plcs[p].disturbance));
            }
        } else {
            // A healthy PLC has shown that it answers Good again since its last disturbance.
            if (healthy)
                failure(tally, "write to healthy " + plcs[p].tag(p, t) + " answered " + hex(w.status));
            ++tally.writesNotGood;
            // A refused write leaves the PLC's value as it may or may not be: no longer known.
            plcs[p].written.erase(t);
        }
        if (client.strayAnswers() > 0) failure(tally, "a request was answered twice");
        collectWaiting();
        while (!vanishedAt.empty() &&
               Clock::now() - vanishedAt.front() >
                   std::chrono::milliseconds(static_cast<int>(kSessionTimeoutMs) + 2000))
            vanishedAt.pop_front();
        if (static_cast<int>(vanishedAt.size()) < kMaxVanishedAlive && chance(0.5)) {
            client.vanish();
            vanishedAt.push_back(Clock::now());
            ++tally.vanished;
        } else {
            client.closeSession();
        }
        if (Clock::now() >= nextCheck) {
            checkWritten();
            nextCheck = Clock::now() + 30s;
        }
    }

    // End every disturbance, check every value once more, let vanished sessions time out.
    for (int p = 0; p < kPlcs; ++p) {
        Plc& plc = plcs[p];
        if (plc.disturbance == Disturbance::None) continue;
        if (plc.disturbance == Disturbance::Silent)
            plc.process->signal(SIGCONT);
        else
            plc.start(false);
        plc.disturbance = Disturbance::None;
        if (recovers(p))
            ++tally.disturbances;
        else
            failure(tally, "P" + std::to_string(p) + " not Good again at the end");
    }
    checkWritten();
    const auto settle = Clock::now() + std::chrono::milliseconds(static_cast<int>(kSessionTimeoutMs) + 5000);
    while (Clock::now() < settle)
        tornel.waitForLine("\x01", 200ms);
    const ProcessStats atEnd = statsOf(pid);
    const double minutes = std::chrono::duration<double>(Clock::now() - begin).count() / 60.0;
    std::printf(
        "soak: %.1f minutes, %d clients (%d vanished without closing, %d refused), %d disturbances "
        "survived, %d writes checked (%d writes not Good while PLCs failed)\n",
        minutes, tally.clients, tally.vanished, tally.refused, tally.disturbances, tally.writesChecked,
        tally.writesNotGood);
    std::printf("soak: longest answer from a disturbed PLC %lld ms, from a healthy one meanwhile %lld ms\n",
                static_cast<long long>(tally.longestOfDisturbed.count()),
                static_cast<long long>(tally.longestBesideDisturbed.count()));
    std::printf("soak: Tornel at start: %s\nsoak: Tornel at end:   %s\n", atStart.text().c_str(),
                atEnd.text().c_str());
    // A run in which no write got through proves nothing.
    if (tally.writesChecked == 0) failure(tally, "no write was answered Good, so none was checked");
    // Small bounds: a few descriptors or threads may come and go with the PLC connections.
    if (!atStart.valid() || !atEnd.valid())
        failure(tally, "cannot read the server's figures");
    else {
        if (atEnd.descriptors > atStart.descriptors + 8) failure(tally, "descriptors grew");
        if (atEnd.threads > atStart.threads + 4) failure(tally, "threads grew");
        // Thousands of sessions came and went: what they left behind would show here.
        if (atEnd.residentKiB > atStart.residentKiB + kMemoryGrowthKiB)
            failure(tally, "resident memory grew");
    }
    tornel.signal(SIGTERM);
    if (tornel.waitForExit(30s) != std::optional<int>(0)) failure(tally, "Tornel did not stop in order");
    for (auto& plc : plcs)
        plc.process.reset();
    fs::remove_all(dir);
    std::printf("soak: %s\n", tally.failures == 0 ? "PASS" : "FAIL");
    return tally.failures == 0 ? 0 : 1;
}
