// The joints between the server core and the process: reports and warnings reach the window,
// the communication thread's snapshot becomes the dialog's, the toolkit's last release reaches
// the release notifier.
#include <gtest/gtest.h>

#include "core/S7Plc.h"
#include "process/CommBridges.h"
#include "process/ServerEventHandler.h"

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

TEST(RuntimeBridges, SnapshotKeepsOrderIdsValuesAndQualities)
{
    core::CommSnapshot comm;
    comm.plcs.push_back({1, "B", {}});
    comm.plcs.push_back({2,
                         "A",
                         {{7,
                           10,
                           4,
                           20,
                           {{11, "Speed", VT_I2, 1, std::int64_t{-3}, 0xC0},
                            {12, "Name", VT_BSTR, 8, std::u16string(u"ab"), 0x18}}}}});
    const StatusSnapshot s = toStatusSnapshot(comm);
    ASSERT_EQ(s.plcs.size(), 2u);
    EXPECT_EQ(s.plcs[0].name, "B");
    ASSERT_NE(s.findBlock(2, 7), nullptr);
    const BlockSnapshot& b = *s.findBlock(2, 7);
    EXPECT_EQ(blockLabel(b), "DB10-DBB4-LEN20");
    ASSERT_EQ(b.tags.size(), 2u);
    EXPECT_EQ(valueDisplayText(b.tags[0]), "-3");
    EXPECT_EQ(b.tags[1].quality, 0x18);
    EXPECT_EQ(valueDisplayText(b.tags[1]), "ab");
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
