#include <gtest/gtest.h>

#include <future>

#include "ProcessTestSupport.h"
#include "process/ReleaseNotifier.h"

using namespace orva::process;
using namespace std::chrono_literals;

namespace {

struct CloseCounter : test::RecordingOwner {
    void requestClose() override { ++closes; }
    std::atomic<int> closes{0};
};

}  // namespace

TEST(ReleaseNotifier, OnlyAServerStartedByAClientClosesWhenTheLastObjectGoes)
{
    CloseCounter window;
    ReleaseNotifier byHand(false, &window);
    byHand.lastObjectReleased();
    EXPECT_EQ(window.closes, 0);

    ReleaseNotifier embedded(true, &window);
    embedded.lastObjectReleased();
    EXPECT_EQ(window.closes, 1);
    embedded.forgetWindow();
    embedded.lastObjectReleased();
    EXPECT_EQ(window.closes, 1);
}

TEST(ReleaseNotifier, TheShutdownWaitEndsWhenTheLastObjectIsReleased)
{
    EXPECT_EQ(clientShutdownWait(0), 0ms);
    EXPECT_EQ(clientShutdownWait(1), 0ms);
    EXPECT_EQ(clientShutdownWait(2), 10000ms);

    ReleaseNotifier notifier(false, nullptr);
    notifier.lastObjectReleased();  // before arming: not remembered
    notifier.armShutdownEvent();
    EXPECT_FALSE(notifier.waitForRelease(1ms));

    auto releaser = std::async(std::launch::async, [&] { notifier.lastObjectReleased(); });
    EXPECT_TRUE(notifier.waitForRelease(10s));
    releaser.get();
    notifier.disarmShutdownEvent();
    EXPECT_FALSE(notifier.waitForRelease(1ms));
}
