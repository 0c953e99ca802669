// Vardel's polling over the SAPI-S7 transport against the recording fake library: the call
// sequences of connect, read and write with their poll limits, and the end-of-cycle rules that
// decide when the interface is closed and opened again.

#include "SapiFixture.h"

using namespace orva::opc;

using namespace orva;
using namespace orva::sapi;
using namespace orva::sapi::test;

namespace {

class SapiPolling : public SapiFixture {
protected:
    RecordingSapiLibrary* fake = nullptr;

    // PLCs by name, each with tag T (VT_I2 at DB1.0), on the given interface; all subscribed.
    void prepare(const std::vector<std::string>& names, const std::string& interfaceName = "S7ONLINE")
    {
        auto library = std::make_unique<RecordingSapiLibrary>();
        fake = library.get();
        std::string xml;
        std::vector<std::string> ids;
        for (const auto& name : names) {
            xml += vardelPlc(name, core::test::tagXml("T", "VT_I2", 0));
            ids.push_back(name + ".T");
        }
        loadVardel(vardelFile(interfaceName, xml), std::move(library));
        ASSERT_TRUE(thread->begin());
        subscribe(ids);
    }
    // Runs iterations 200 ms apart until the condition holds (at most 20).
    bool runUntil(const std::function<bool()>& condition)
    {
        for (int i = 0; i < 20 && !condition(); ++i)
            run(1, 200);
        return condition();
    }
    bool called(const std::string& call) const { return fake->count(call) > 0; }
    // Whether the compacted calls hold these calls one after the other.
    bool sequence(const std::vector<std::string>& expected) const
    {
        const auto calls = fake->compact();
        return std::search(calls.begin(), calls.end(), expected.begin(), expected.end()) != calls.end();
    }
};

TEST_F(SapiPolling, ConnectsByNameAndReadsWithConfirmations)
{
    prepare({"A"});
    EXPECT_EQ(fake->calls, (std::vector<std::string>{"query S7ONLINE", "open S7ONLINE ISO-on-TCP"}));
    fake->db(1, 1)[1] = 7;
    ASSERT_TRUE(runUntil([&] { return quality("A.T") == OPC_QUALITY_GOOD; }));
    EXPECT_EQ(value("A.T").toInt64(), 7);
    EXPECT_TRUE(sequence({"get 1 A", "connect 1 1", "receive 1 1", "confirm"}));
    EXPECT_TRUE(sequence({"readreq 1 1 DB1,B0,2", "receive 1 1", "readconf"}));
    EXPECT_EQ(access->connected(), (std::vector<uint8_t>{1}));
    // Every poll waits for an event first.
    EXPECT_EQ(fake->waits, fake->count("receive"));
}

TEST_F(SapiPolling, PartnerSilentDuringReadCostsOnlyItsConnectionWhileAnotherIsUp)
{
    prepare({"A", "B"});
    ASSERT_TRUE(
        runUntil([&] { return quality("A.T") == OPC_QUALITY_GOOD && quality("B.T") == OPC_QUALITY_GOOD; }));
    fake->silent.insert(1);
    fake->calls.clear();
    ASSERT_TRUE(runUntil([&] { return called("abort 1 1"); }));
    EXPECT_TRUE(sequence({"readreq 1 1 DB1,B0,2", "receive 1 1 x200", "abort 1 1"}));
    EXPECT_EQ(sink.reports.back(), (core::test::Report{124, "A"}));
    EXPECT_EQ(access->errorText(124), "Connection error: dropped");
    EXPECT_EQ(quality("A.T"), 0x18);
    EXPECT_EQ(access->connected(), (std::vector<uint8_t>{0, 1}));
    EXPECT_FALSE(called("close")) << "B is still connected: the interface stays open";

    // A answers again: its connection is made again at its next selection, nothing reopened.
    fake->silent.clear();
    fake->calls.clear();
    ASSERT_TRUE(runUntil([&] { return quality("A.T") == OPC_QUALITY_GOOD; }));
    EXPECT_TRUE(sequence({"get 1 A", "connect 1 1"}));
    EXPECT_FALSE(called("close"));
    EXPECT_FALSE(called("connect 1 2")) << "B kept its connection";
}

TEST_F(SapiPolling, SilentPartnerWithNoOtherConnectionReopensTheInterface)
{
    prepare({"A"});
    ASSERT_TRUE(runUntil([&] { return quality("A.T") == OPC_QUALITY_GOOD; }));
    fake->silent.insert(1);
    fake->calls.clear();
    ASSERT_TRUE(runUntil([&] { return called("abort 1 1"); }));
    EXPECT_TRUE(
        sequence({"receive 1 1 x200", "abort 1 1", "close 1", "query S7ONLINE", "open S7ONLINE ISO-on-TCP"}));
    // A connect that is never confirmed gives up after 100 polls.
    fake->calls.clear();
    ASSERT_TRUE(runUntil([&] { return called("abort 2 1"); }));
    EXPECT_TRUE(sequence({"connect 2 1", "receive 2 1 x100", "abort 2 1"}));
    EXPECT_EQ(sink.reports.back().code, 124);
}

TEST_F(SapiPolling, UnknownConnectionNameFailsEverySelectionWithTheLibrarysError)
{
    prepare({"A", "Ghost"});
    ASSERT_TRUE(runUntil([&] { return fake->count("get") >= 8 && quality("A.T") == OPC_QUALITY_GOOD; }));
    int ghostSelections = 0;
    for (std::size_t i = 0; i < fake->calls.size(); ++i) {
        const std::string& call = fake->calls[i];
        if (call.find(" Ghost") == std::string::npos) continue;
        ++ghostSelections;
        // Each failed selection closes the interface and opens it again.
        ASSERT_LT(i + 3, fake->calls.size());
        EXPECT_EQ(fake->calls[i + 1].rfind("close ", 0), 0u) << fake->calls[i + 1];
        EXPECT_EQ(fake->calls[i + 2], "query S7ONLINE");
        EXPECT_EQ(fake->calls[i + 3], "open S7ONLINE ISO-on-TCP");
    }
    EXPECT_GE(ghostSelections, 2);
    EXPECT_NE(std::find(sink.reports.begin(), sink.reports.end(), core::test::Report{201, "Ghost"}),
              sink.reports.end());
    EXPECT_EQ(access->errorText(201), "library error 201");
    EXPECT_EQ(quality("Ghost.T"), OPC_QUALITY_BAD);
}

TEST_F(SapiPolling, UnknownInterfaceIsRetriedEveryCycleWhileTheServerRuns)
{
    prepare({"A"}, "Nowhere");
    EXPECT_TRUE(thread->mustReopen());
    EXPECT_EQ(thread->currentError(), kNoDevice);
    fake->calls.clear();
    for (int cycle = 0; cycle < 3; ++cycle) {
        const long before = fake->count("query Nowhere");
        run(1, 200);
        EXPECT_GT(fake->count("query Nowhere"), before) << "cycle " << cycle;
    }
    EXPECT_FALSE(called("open "));
    EXPECT_TRUE(thread->mustReopen());
    EXPECT_EQ(quality("A.T"), OPC_QUALITY_BAD);
    EXPECT_EQ(access->errorText(kNoDevice), "Unknown error");

    // Once the interface exists, the next cycle opens it and polling starts.
    fake->interfaces["Nowhere"] = "ISO-on-TCP";
    ASSERT_TRUE(runUntil([&] { return quality("A.T") == OPC_QUALITY_GOOD; }));
    EXPECT_FALSE(thread->mustReopen());
}

TEST_F(SapiPolling, UnexpectedEventIsDiscardedAndEndsTheCycleWithMinusTwo)
{
    prepare({"A"});
    ASSERT_TRUE(runUntil([&] { return quality("A.T") == OPC_QUALITY_GOOD; }));
    fake->replace = [](const std::string& what) {
        return what == "readreq" ? orva::sapis7::kEventWriteConfirm : 0;
    };
    fake->calls.clear();
    ASSERT_TRUE(runUntil([&] { return called("discard"); }));
    EXPECT_TRUE(sequence({"readreq 1 1 DB1,B0,2", "receive 1 1", "discard", "close 1"}));
    EXPECT_EQ(sink.reports.back(), (core::test::Report{kNoDevice, "A"}));
    EXPECT_EQ(quality("A.T"), OPC_QUALITY_BAD);
}

TEST_F(SapiPolling, BusyAnswersAreRepeatedAtOnceButNotForEver)
{
    auto library = std::make_unique<RecordingSapiLibrary>();
    RecordingSapiLibrary& lib = *library;
    SapiAccess sapi(std::move(library), "S7ONLINE");
    ASSERT_EQ(sapi.openInterface(1), 0);
    lib.busyConnects = 3;
    EXPECT_EQ(sapi.select("A", 1), 0);
    EXPECT_EQ(lib.count("connect"), 4);
    ASSERT_EQ(sapi.closeInterface(), 0);
    ASSERT_EQ(sapi.openInterface(1), 0);
    lib.busyConnects = 1000000;
    EXPECT_NE(sapi.select("A", 1), 0);
    EXPECT_EQ(lib.count("connect"), 4 + kBusyRetries);
}

}  // namespace
