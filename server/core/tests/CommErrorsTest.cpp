// Errors of the access library: qualities of the tags concerned, status reports to the main
// window, and closing and opening the connection table for connection-level errors only.

#include "CommFixture.h"
#include "core/ValueConversion.h"

using namespace orva::opc;

using namespace orva;
using namespace orva::core;
using namespace orva::core::test;
using namespace orva::opc::client;

namespace {

class CommErrors : public CommFixture {
protected:
    // One PLC with two tags in one 100 ms block, read once successfully.
    void subscribe()
    {
        loadPlcs(plc("P", tagXml("A", "VT_I2", 0) + tagXml("B", "VT_I2", 2)));
        ASSERT_TRUE(thread->begin());
        subscribed = connection->addGroup("g", 100);
        subscribed->addItem("P.A");
        subscribed->addItem("P.B");
        run(2, 101);
        ASSERT_EQ(quality("P.A"), OPC_QUALITY_GOOD);
        fake.calls.clear();
    }
    std::shared_ptr<Group> subscribed;
};

}  // namespace

TEST(QualityFromError, TableOfTheAccessLibraryCodes)
{
    for (int code : {20, 23, 25, 50, 112, 113})
        EXPECT_EQ(qualityFromError(code), OPC_QUALITY_OUT_OF_SERVICE) << code;
    for (int code = 80; code <= 88; ++code)
        EXPECT_EQ(qualityFromError(code), OPC_QUALITY_DEVICE_FAILURE) << code;
    for (int code = 120; code <= 124; ++code)
        EXPECT_EQ(qualityFromError(code), OPC_QUALITY_COMM_FAILURE) << code;
    for (int code : {-1, 1, 19, 79, 89, 119, 125, 200})
        EXPECT_EQ(qualityFromError(code), OPC_QUALITY_BAD) << code;
}

TEST_F(CommErrors, DataLevelErrorsMarkTheBlockAndNeverReopen)
{
    subscribe();
    int next = 85;
    fake.inject = [&](const std::string& call) { return call.rfind("read", 0) == 0 ? next : 0; };
    run(2, 101);
    EXPECT_EQ(quality("P.A"), OPC_QUALITY_DEVICE_FAILURE);
    EXPECT_EQ(quality("P.B"), OPC_QUALITY_DEVICE_FAILURE);
    next = 121;
    run(2, 101);
    EXPECT_EQ(quality("P.A"), OPC_QUALITY_COMM_FAILURE);
    next = 200;
    run(2, 101);
    EXPECT_EQ(quality("P.A"), OPC_QUALITY_BAD);
    EXPECT_TRUE(fake.only("close").empty());
    EXPECT_EQ(fake.openCount, 1);
    // One report per change of the error, then one when reads work again.
    next = 0;
    run(2, 101);
    EXPECT_EQ(quality("P.A"), OPC_QUALITY_GOOD);
    EXPECT_EQ(sink.reports, (std::vector<Report>{{85, "P"}, {121, "P"}, {200, "P"}, {0, "P"}}));
}

TEST_F(CommErrors, ConnectionLevelErrorsCloseAndReopenTheTable)
{
    subscribe();
    bool down = true;
    fake.inject = [&](const std::string& call) {
        if (!down) return 0;
        if (call.rfind("read", 0) == 0) return 25;
        if (call.rfind("select", 0) == 0) return 20;
        return 0;
    };
    const uint32_t before = ticks.now();
    run(1, 101);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"read 1 0 4", "close", "open 1"}));
    EXPECT_GE(ticks.now() - before, 201u);  // the 100 ms pause before reopening
    EXPECT_EQ(quality("P.A"), OPC_QUALITY_OUT_OF_SERVICE);
    fake.calls.clear();
    // Unreachable: every iteration selects, fails, closes and reopens; one report per change.
    run(3, 10);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"select 1 0", "close", "open 1", "select 1 0", "close",
                                                    "open 1", "select 1 0", "close", "open 1"}));
    EXPECT_EQ(sink.reports, (std::vector<Report>{{25, "P"}, {20, "P"}}));
    // Back: the next turn selects again and the values come back good, without a restart.
    down = false;
    fake.calls.clear();
    run(3, 101);
    EXPECT_EQ(fake.only("close").size(), 0u);
    EXPECT_EQ(quality("P.A"), OPC_QUALITY_GOOD);
    EXPECT_EQ(sink.reports.back(), (Report{0, "P"}));
}

TEST_F(CommErrors, AFailedOpeningIsRetriedAtEveryErrorUntilItWorks)
{
    loadPlcs(plc("P", tagXml("A", "VT_I2", 0)));
    int failures = 2;
    fake.inject = [&](const std::string& call) {
        if (call.rfind("open", 0) == 0 && failures > 0) return --failures, 9;
        return 0;
    };
    ASSERT_TRUE(thread->begin());
    EXPECT_TRUE(thread->mustReopen());
    auto group = connection->addGroup("g", 100);
    group->addItem("P.A");
    run(4, 101);
    EXPECT_EQ(fake.openCount, 3);
    EXPECT_FALSE(thread->mustReopen());
    run(2, 101);
    EXPECT_EQ(quality("P.A"), OPC_QUALITY_GOOD);
}

TEST_F(CommErrors, AnEmptyPlcListIsReportedAndNothingElseHappens)
{
    loadPlcs("");
    EXPECT_FALSE(thread->begin());
    EXPECT_EQ(sink.reports, (std::vector<Report>{{0, ""}}));
    EXPECT_TRUE(fake.calls.empty());
}

TEST_F(CommErrors, ThePlcIsLeftAfterAConnectionErrorAndTheOtherOnePolled)
{
    loadPlcs(plc("P", tagXml("A", "VT_I2", 0)) + plc("Q", tagXml("A", "VT_I2", 0)));
    ASSERT_TRUE(thread->begin());
    auto group = connection->addGroup("g", 100);
    group->addItem("P.A");
    group->addItem("Q.A");
    run(1);
    fake.inject = [&](const std::string& call) { return call == "select 1 0" ? 23 : 0; };
    fake.calls.clear();
    run(6, 101);
    // Q keeps being read although P never answers.
    EXPECT_GE(std::count(fake.calls.begin(), fake.calls.end(), "read 1 0 2"), 2);
    EXPECT_EQ(quality("Q.A"), OPC_QUALITY_GOOD);
    EXPECT_EQ(quality("P.A"), OPC_QUALITY_OUT_OF_SERVICE);
}

TEST_F(CommErrors, DeviceReadsAreGroupedAndEachIsCompletedOnce)
{
    loadPlcs(plc("P", tagXml("A", "VT_I2", 0) + tagXml("B", "VT_I2", 10) + tagXml("C", "VT_I2", 100) +
                          tagXml("D", "VT_R8", 20)));
    ASSERT_TRUE(thread->begin());
    fake.db(1, 1)[11] = 5;
    auto group = connection->addGroup("g", 1000, false);
    std::vector<RequestPtr> requests;
    for (const char* id : {"P.A", "P.B", "P.C", "P.D"})
        requests.push_back(group->readDevice(group->addItem(id).handle));
    run(1);
    EXPECT_EQ(fake.only("read"), (std::vector<std::string>{"read 1 0 12", "read 1 100 2"}));
    for (std::size_t i = 0; i < 3; ++i) {
        auto result = requests[i]->wait(std::chrono::seconds(5));
        ASSERT_TRUE(result);
        EXPECT_EQ(result->result, S_OK);
        EXPECT_EQ(result->quality, OPC_QUALITY_GOOD);
    }
    EXPECT_EQ(requests[1]->wait(std::chrono::seconds(5))->value.toInt64(), 5);
    // A tag of a type that is never read cannot wait for a block: it fails at once.
    auto d = requests[3]->wait(std::chrono::seconds(5));
    ASSERT_TRUE(d);
    EXPECT_EQ(d->result, E_FAIL);
    EXPECT_EQ(d->quality, OPC_QUALITY_BAD);

    // A failing device read completes with the cache at the error's quality.
    fake.inject = [](const std::string& call) { return call.rfind("read", 0) == 0 ? 82 : 0; };
    auto failed = group->readDevice(group->addItem("P.C").handle);
    run(1);
    auto f = failed->wait(std::chrono::seconds(5));
    ASSERT_TRUE(f);
    EXPECT_EQ(f->quality, OPC_QUALITY_DEVICE_FAILURE);
}

TEST_F(CommErrors, SettlingWaitsAreBoundedUnderASteadyStream)
{
    loadPlcs(plc("P", tagXml("A", "VT_I2", 0)));
    ASSERT_TRUE(thread->begin());
    auto group = connection->addGroup("g", 100, false);
    const auto handle = group->addItem("P.A").handle;
    // Every sleep of the thread lets a new request arrive: the queue never settles by itself.
    struct StreamingTicks : TickSource {
        ManualTickSource inner{0};
        std::function<void()> onSleep;
        uint32_t now() override { return inner.now(); }
        void sleep(uint32_t ms) override
        {
            inner.sleep(ms);
            if (onSleep) onSleep();
        }
    } streaming;
    std::vector<RequestPtr> requests;
    streaming.onSleep = [&] { requests.push_back(group->readDevice(handle)); };
    requests.push_back(group->readDevice(handle));
    CommunicationThread streamed(plcs, queues, fake, sink, {}, &streaming);
    ASSERT_TRUE(streamed.begin());
    streamed.iterate();
    EXPECT_LE(streaming.inner.now(), MAX_SETTLING_STEPS * REQUEST_SETTLING_STEP_MS + 200);
    streaming.onSleep = nullptr;
    streamed.iterate();
    for (const auto& r : requests)
        EXPECT_TRUE(r->wait(std::chrono::seconds(5)));
}
