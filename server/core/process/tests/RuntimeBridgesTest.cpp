// The joints between the server core and the process: reports and warnings reach the window,
// the toolkit's last release reaches the release notifier.
#include <gtest/gtest.h>

#include "core/S7Plc.h"
#include "process/CommBridges.h"
#include "process/ServerEventHandler.h"
#include "process/ServerRuntime.h"

using namespace orva::opc;

using namespace orva;
using namespace orva::process;

namespace {

class RecordingWindow : public OwnerWindow {
public:
    std::vector<std::string> events;
    void setPlcs(std::vector<PlcLine>) override {}
    void showWarning(std::string_view title, std::string_view text) override
    {
        events.push_back("warning " + std::string(title) + ": [" + std::string(text) + "]");
    }
    void reportPlcStatus(int code, PlcHandle plc) override
    {
        events.push_back("status " + std::to_string(code) + (plc ? " plc" : " none"));
    }
    void reportNoPlc() override { events.push_back("no plc"); }
    void requestClose() override { events.push_back("close"); }
};

}  // namespace

TEST(RuntimeBridges, ReportsAndWarningsReachTheWindow)
{
    RecordingWindow window;
    WindowStatusSink sink(window);
    SOCmnPointer<core::S7Plc> plc(new core::S7Plc("Line1"));
    sink.reportPlcStatus(20, plc.get());
    sink.reportPlcStatus(0, plc.get());
    sink.reportNoPlc();
    LoaderWarnings warnings(window);
    warnings.showWarning("Bad data block in tag Speed\n", "Tcp/Ip S7 OPC Server");
    EXPECT_EQ(window.events,
              (std::vector<std::string>{"status 20 plc", "status 0 plc", "no plc",
                                        "warning Tcp/Ip S7 OPC Server: [Bad data block in tag Speed]"}));
}

TEST(RuntimeBridges, LastReleaseClosesAnEmbeddedServerOnly)
{
    RecordingWindow window;
    ReleaseNotifier embedded(true, &window);
    SOCmnPointer<ServerEventHandler> handler(new ServerEventHandler(embedded));
    handler->onReleasedOPCObject();  // not the last one: nothing
    EXPECT_TRUE(window.events.empty());
    handler->onReleasedLastOPCObject();
    EXPECT_EQ(window.events, std::vector<std::string>{"close"});

    RecordingWindow other;
    ReleaseNotifier byHand(false, &other);
    SOCmnPointer<ServerEventHandler> h2(new ServerEventHandler(byHand));
    h2->onReleasedLastOPCObject();
    EXPECT_TRUE(other.events.empty());
}

namespace {

class TextOnlyTransport final : public core::PlcTransport {
public:
    int open(core::PlcList&) override { return 0; }
    int selectPlc(uint16_t, uint16_t) override { return 0; }
    int readBytes(uint16_t, uint16_t, uint16_t, uint8_t*) override { return 0; }
    int writeBytes(uint16_t, uint16_t, uint16_t, const uint8_t*) override { return 0; }
    void close() override {}
    bool isConnectionLevel(int code) const override { return code != 0 && code < 64; }
    std::string errorText(int code) override { return "text " + std::to_string(code); }
};

}  // namespace

TEST(RuntimeBridges, PlainCommunicationWithoutPlcsReportsThatAndEnds)
{
    RecordingWindow window;
    WindowStatusSink sink(window);
    core::PlcList plcs;
    const auto make =
        plainCommunication(config::ServerKind::Vardel, [] { return std::make_unique<TextOnlyTransport>(); });
    auto comm = make(plcs, std::make_shared<core::CoreQueues>(), sink);
    EXPECT_EQ(comm->errorText(124), "text 124");
    comm->start();
    comm->stop();  // the thread has ended by itself; stop just waits for it
    EXPECT_EQ(window.events, std::vector<std::string>{"no plc"});
    EXPECT_TRUE(comm->snapshot().plcs.empty());
}
