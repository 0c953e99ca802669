// A PLC that falls silent: its simulator process is stopped with SIGSTOP, so the system still
// accepts connections to it but nothing answers. Requests queued to it are answered with an
// error within a bounded time however many there are, another PLC is served meanwhile, and once
// the PLC answers again its requests succeed without a restart, although nobody polls it.

#include <signal.h>

#include "ServerProcess.h"
#include "TornelServer.h"
#include "plc/Socket.h"
#include "plcsim/PlcSimulator.h"

using namespace orva::opc;

using namespace orva;
using namespace orva::e2e;
using namespace orva::opc::client;
using namespace std::chrono_literals;

namespace {

// One tag per data block, so that every request is a read or write of its own.
constexpr int kSilentTags = 24;

bool listening(int port)
{
    sockaddr_in address{};
    if (!orva::plc::parseEndpoint("127.0.0.1:" + std::to_string(port), 0, address)) return false;
    orva::plc::UniqueFd fd;
    return orva::plc::connectTcp(address, nullptr, orva::plc::Deadline(200ms), fd) == orva::plc::IoStatus::Ok;
}

SOCmnVariant i2(int value)
{
    SOCmnVariant v;
    v.setI2(static_cast<int16_t>(value));
    return v;
}

}  // namespace

TEST(CommSilentPlc, RequestsFailInBoundedTimeOthersGoOnAndItsRequestsSucceedOnceItAnswers)
{
    const int silentPort = freeLoopbackPort();
    std::vector<std::string> args{"--port", std::to_string(silentPort)};
    std::string silentTags;
    for (int db = 1; db <= kSilentTags; ++db) {
        args.insert(args.end(), {"--db", std::to_string(db) + ":16"});
        silentTags += tagElement("T" + std::to_string(db), "VT_I2", 0, db);
    }
    ServerProcess silentSim(ORVA_PLCSIM_PATH, args, {});
    ASSERT_TRUE(eventually([&] { return listening(silentPort); })) << "plcsim does not listen";

    orva::plcsim::SimulatorOptions options;
    options.port = static_cast<uint16_t>(freeLoopbackPort());
    options.dataBlocks = {{1, 16}};
    orva::plcsim::PlcSimulator healthySim(options);
    std::string error;
    ASSERT_TRUE(healthySim.start(&error)) << error;

    TornelServer server(plcElement("S", "127.0.0.1:" + std::to_string(silentPort), silentTags) +
                        plcElement("H", healthySim.endpoint(), tagElement("V", "VT_I2", 0)));
    ASSERT_TRUE(server.loaded());
    server.start();
    // Nothing is subscribed: the PLCs are reached only for requests.
    auto group = server.client().addGroup("requests", 1000, false);
    std::vector<ItemHandle> silent;
    for (int db = 1; db <= kSilentTags; ++db)
        silent.push_back(group->addItem("S.T" + std::to_string(db), false).handle);
    const ItemHandle healthy = group->addItem("H.V", false).handle;

    // Silent before the gateway ever reached it, so its first selection fails as well.
    silentSim.signal(SIGSTOP);
    CompletionCounter counter;
    std::vector<RequestPtr> writes, reads;
    const auto queued = std::chrono::steady_clock::now();
    for (int i = 0; i < kSilentTags; ++i) {
        writes.push_back(group->write(silent[i], i2(i), counter.callback()));
        reads.push_back(group->readDevice(silent[i], counter.callback()));
    }

    // The other PLC does not wait for the silent one.
    const auto healthyWrite = group->write(healthy, i2(7))->wait(10s);
    ASSERT_TRUE(healthyWrite);
    EXPECT_EQ(healthyWrite->result, S_OK);
    const auto healthyRead = group->readDevice(healthy)->wait(10s);
    ASSERT_TRUE(healthyRead);
    EXPECT_EQ(healthyRead->quality, OPC_QUALITY_GOOD);
    EXPECT_EQ(healthyRead->value.toInt64(), 7);

    // One connection time-out answers the whole batch; each request waiting for one of its own
    // (half a second each here) would take about 24 s.
    for (int i = 0; i < kSilentTags; ++i) {
        const auto w = writes[i]->wait(30s);
        const auto r = reads[i]->wait(30s);
        ASSERT_TRUE(w && r) << "request " << i << " never answered";
        EXPECT_EQ(w->result, E_FAIL);
        EXPECT_EQ(r->quality, OPC_QUALITY_OUT_OF_SERVICE);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - queued, 8s);

    // Answering again, it takes requests without a restart of anything.
    silentSim.signal(SIGCONT);
    EXPECT_TRUE(eventually(
        [&] {
            const auto w = group->write(silent[0], i2(99))->wait(10s);
            return w && w->result == S_OK;
        },
        30s));
    const auto back = group->readDevice(silent[0])->wait(10s);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->quality, OPC_QUALITY_GOOD);
    EXPECT_EQ(back->value.toInt64(), 99);
    // Every request of the batch was answered once (callbacks follow on the toolkit's worker).
    EXPECT_TRUE(eventually([&] { return counter.count() == 2 * kSilentTags; }));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(counter.count(), 2 * kSilentTags);
}
