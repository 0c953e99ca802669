// PLCs on connections of their own are polled concurrently, each in a lane of its own: a slow PLC
// never holds up a fast one, one request is in flight per PLC, writes to a PLC keep their order,
// a stop ends every lane, and every request is completed exactly once across a stop.

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "CommFixture.h"

namespace orva::core::test {
namespace {

using namespace std::chrono_literals;
using opc::client::ItemHandle;
using opc::client::RequestPtr;
using opc::client::RequestResult;

// One simulated PLC: DB1 in memory, an answer delay, and what happened on its connection.
struct SimulatedPlc {
    std::chrono::milliseconds delay{0};
    std::mutex lock;
    std::vector<uint8_t> db1 = std::vector<uint8_t>(1024, 0);
    std::vector<int16_t> writtenWord0;  // every value written to bytes 0-1, in order
    std::atomic<int> reads{0};
    std::atomic<int> inFlight{0};
    std::atomic<int> mostInFlight{0};
};

// A connection context: the PLC's own, used by its lane only.
class PlcConnection final : public PlcTransport {
public:
    explicit PlcConnection(std::shared_ptr<SimulatedPlc> plc) : plc_(std::move(plc)) {}
    int open(PlcList&) override { return 0; }
    int selectPlc(uint16_t, uint16_t) override { return 0; }
    int readBytes(uint16_t, uint16_t count, uint16_t start, uint8_t* destination) override
    {
        const Access access(*plc_);
        std::lock_guard lock(plc_->lock);
        std::copy_n(plc_->db1.begin() + start, count, destination);
        ++plc_->reads;
        return 0;
    }
    int writeBytes(uint16_t, uint16_t count, uint16_t start, const uint8_t* source) override
    {
        const Access access(*plc_);
        std::lock_guard lock(plc_->lock);
        std::copy_n(source, count, plc_->db1.begin() + start);
        if (start == 0 && count >= 2)
            plc_->writtenWord0.push_back(static_cast<int16_t>((plc_->db1[0] << 8) | plc_->db1[1]));
        return 0;
    }
    void close() override {}
    bool isConnectionLevel(int code) const override { return code != 0 && code < 64; }
    std::string errorText(int code) override { return "error " + std::to_string(code); }

private:
    // Counts the requests in flight on the connection and answers after the PLC's delay.
    struct Access {
        explicit Access(SimulatedPlc& plc) : plc_(plc)
        {
            const int now = ++plc_.inFlight;
            int most = plc_.mostInFlight.load();
            while (now > most && !plc_.mostInFlight.compare_exchange_weak(most, now)) {
            }
            std::this_thread::sleep_for(plc_.delay);
        }
        ~Access() { --plc_.inFlight; }
        SimulatedPlc& plc_;
    };
    std::shared_ptr<SimulatedPlc> plc_;
};

// The library: every PLC on a connection of its own. Its own operations are never used for
// PLC traffic once the PLCs have contexts.
class SeparateConnections final : public PlcTransport {
public:
    std::map<std::string, std::shared_ptr<SimulatedPlc>> plcs;

    int open(PlcList&) override { return 1; }
    int selectPlc(uint16_t, uint16_t) override { return 1; }
    int readBytes(uint16_t, uint16_t, uint16_t, uint8_t*) override { return 1; }
    int writeBytes(uint16_t, uint16_t, uint16_t, const uint8_t*) override { return 1; }
    void close() override {}
    bool isConnectionLevel(int code) const override { return code != 0 && code < 64; }
    std::string errorText(int code) override { return "error " + std::to_string(code); }
    bool pollsConcurrently() const override { return true; }
    std::unique_ptr<PlcTransport> connectionFor(const S7Plc& plc) override
    {
        auto& simulated = plcs[plc.name];
        if (!simulated) simulated = std::make_shared<SimulatedPlc>();
        return std::make_unique<PlcConnection>(simulated);
    }
};

template <class Condition>
bool waitFor(Condition condition, std::chrono::milliseconds limit = 20s)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

class PollingLanes : public CommFixture {
protected:
    // Loads the PLCs and makes a running thread over separate connections, with the given delays.
    void startLanes(const std::string& plcElements,
                    const std::map<std::string, std::chrono::milliseconds>& delays)
    {
        loadPlcs(plcElements);
        for (const auto& [name, delay] : delays) {
            line.plcs[name] = std::make_shared<SimulatedPlc>();
            line.plcs[name]->delay = delay;
        }
        lanes = std::make_unique<CommunicationThread>(plcs, queues, line, reports,
                                                      commSettingsFor(config::ServerKind::Tornel));
        ASSERT_TRUE(lanes->pollsConcurrently());
        lanes->start();
    }
    void TearDown() override
    {
        if (lanes) lanes->stop();
        CommFixture::TearDown();
        lanes.reset();
    }
    SimulatedPlc& simulated(const std::string& name) { return *line.plcs.at(name); }

    SeparateConnections line;
    NullStatusSink reports;
    std::unique_ptr<CommunicationThread> lanes;
};

TEST_F(PollingLanes, ASlowPlcDoesNotSlowAFastOneAndEachHasOneRequestInFlight)
{
    startLanes(plc("Slow", tagXml("A", "VT_I2", 0)) + plc("Fast", tagXml("A", "VT_I2", 0)),
               {{"Slow", 400ms}, {"Fast", 0ms}});
    auto group = connection->addGroup("g", 100, true);
    group->addItem("Slow.A");
    group->addItem("Fast.A");

    // While the slow PLC answers twice (800 ms or more), the fast one is read at its own rate:
    // taking turns, it would get a read only after each slow answer.
    ASSERT_TRUE(waitFor([&] { return simulated("Slow").reads >= 2; }));
    EXPECT_GE(simulated("Fast").reads.load(), 5);
    EXPECT_EQ(simulated("Slow").mostInFlight.load(), 1);
    EXPECT_EQ(simulated("Fast").mostInFlight.load(), 1);

    // The figures show each PLC as it is: its answer time and the interval its block achieves.
    ASSERT_TRUE(waitFor(
        [&] { return lanes->figures()[1].readsPerSecond > 0 && lanes->figures()[0].maxAnswerMs > 0; }));
    const auto figures = lanes->figures();
    ASSERT_EQ(figures.size(), 2u);
    EXPECT_EQ(figures[0].plc, "Slow");
    EXPECT_GE(figures[0].maxAnswerMs, 350.0);
    EXPECT_EQ(figures[1].fastestRateMs, 100u);
    EXPECT_GE(figures[1].achievedIntervalMs, 100.0);
    EXPECT_LT(figures[1].maxAnswerMs, 350.0);
    EXPECT_EQ(figures[1].errorCount, 0u);
}

TEST_F(PollingLanes, WritesToOnePlcKeepTheirOrderAndAReadAfterThemSeesTheLast)
{
    startLanes(plc("P", tagXml("A", "VT_I2", 0)) + plc("Q", tagXml("A", "VT_I2", 0)),
               {{"P", 2ms}, {"Q", 30ms}});
    auto group = connection->addGroup("g", 1000, false);
    const auto handle = group->addItem("P.A").handle;
    std::vector<RequestPtr> writes;
    for (int16_t v = 1; v <= 40; ++v) {
        writes.push_back(group->write(handle, variantI2(v)));
        if (v % 8 == 0) std::this_thread::sleep_for(15ms);  // several batches
    }
    auto read = group->readDevice(handle);
    for (auto& w : writes) {
        auto result = w->wait(20s);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->result, opc::S_OK);
    }
    auto seen = read->wait(20s);
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->value.toInt64(), 40);
    std::lock_guard lock(simulated("P").lock);
    const auto& written = simulated("P").writtenWord0;
    ASSERT_FALSE(written.empty());
    EXPECT_TRUE(std::is_sorted(written.begin(), written.end()));
    EXPECT_EQ(written.back(), 40);
}

TEST_F(PollingLanes, AStopEndsEveryLaneAfterTheAccessItIsIn)
{
    startLanes(plc("P", tagXml("A", "VT_I2", 0)) + plc("Q", tagXml("A", "VT_I2", 0)) +
                   plc("R", tagXml("A", "VT_I2", 0)),
               {{"P", 300ms}, {"Q", 300ms}, {"R", 0ms}});
    auto group = connection->addGroup("g", 100, true);
    for (const char* id : {"P.A", "Q.A", "R.A"})
        group->addItem(id);
    ASSERT_TRUE(waitFor([&] { return simulated("P").inFlight == 1 && simulated("Q").inFlight == 1; }));
    const auto begun = std::chrono::steady_clock::now();
    lanes->stop();
    EXPECT_LT(std::chrono::steady_clock::now() - begun, 3s);
    EXPECT_FALSE(lanes->isRunning());
    for (const char* name : {"P", "Q", "R"})
        EXPECT_EQ(simulated(name).inFlight.load(), 0) << name;
}

TEST_F(PollingLanes, EveryRequestIsCompletedExactlyOnceAcrossAStop)
{
    startLanes(
        plc("P", tagXml("A", "VT_I2", 0) + tagXml("B", "VT_I2", 10)) + plc("Q", tagXml("A", "VT_I2", 0)),
        {{"P", 1ms}, {"Q", 3ms}});
    auto group = connection->addGroup("g", 1000, false);
    const std::vector<ItemHandle> handles{group->addItem("P.A").handle, group->addItem("P.B").handle,
                                          group->addItem("Q.A").handle};
    std::atomic<int> completions{0};
    std::atomic<bool> producing{true};
    std::mutex requestsLock;
    std::vector<RequestPtr> requests;
    std::vector<std::thread> clients;
    for (int c = 0; c < 2; ++c) {
        clients.emplace_back([&, c] {
            for (int16_t i = 0; producing && i < 2000; ++i) {
                const ItemHandle item = handles[static_cast<std::size_t>(i + c) % handles.size()];
                auto onDone = [&](const RequestResult&) { ++completions; };
                auto request =
                    i % 2 == 0 ? group->write(item, variantI2(i), onDone) : group->readDevice(item, onDone);
                std::lock_guard lock(requestsLock);
                requests.push_back(std::move(request));
            }
        });
    }
    ASSERT_TRUE(waitFor([&] { return completions >= 50; }));
    lanes->stop();
    producing = false;
    for (auto& client : clients)
        client.join();
    // What was still queued goes with the queues, as at a server's shutdown.
    {
        std::lock_guard lock(queues->queueLock);
        queues->readRequestQueue.clear();
        queues->writeRequestQueue.clear();
    }
    lanes.reset();
    for (const auto& request : requests)
        EXPECT_TRUE(request->wait(5s));
    // Completion callbacks run on the toolkit's worker, after the request is marked done.
    EXPECT_TRUE(waitFor([&] { return completions.load() >= static_cast<int>(requests.size()); }));
    EXPECT_EQ(completions.load(), static_cast<int>(requests.size()));
}

}  // namespace
}  // namespace orva::core::test
