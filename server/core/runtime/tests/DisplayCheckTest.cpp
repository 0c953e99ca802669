// A stale display must not end the server: only displays that can be reached get windows.
#include <gtest/gtest.h>

#include <cstdlib>

#include "DisplayCheck.h"

using namespace orva::process;

TEST(DisplayCheck, LocalX11DisplaysNameTheirSocket)
{
    EXPECT_EQ(localX11Socket(":0"), "/tmp/.X11-unix/X0");
    EXPECT_EQ(localX11Socket(":12.1"), "/tmp/.X11-unix/X12");
    EXPECT_EQ(localX11Socket("unix:3"), "/tmp/.X11-unix/X3");
    EXPECT_EQ(localX11Socket("remote.example:0"), "");
    EXPECT_EQ(localX11Socket(":x"), "");
    EXPECT_EQ(localX11Socket(""), "");
}

TEST(DisplayCheck, StaleDisplayIsNotReachable)
{
    ::unsetenv("QT_QPA_PLATFORM");
    ::unsetenv("WAYLAND_DISPLAY");
    ::setenv("DISPLAY", ":987", 1);  // no such X server
    EXPECT_FALSE(displayReachable());
    ::setenv("WAYLAND_DISPLAY", "/nonexistent/wayland-9", 1);
    EXPECT_FALSE(displayReachable());
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);  // chosen explicitly: trusted
    EXPECT_TRUE(displayReachable());
    ::unsetenv("QT_QPA_PLATFORM");
    ::unsetenv("WAYLAND_DISPLAY");
    ::unsetenv("DISPLAY");
    EXPECT_FALSE(displayReachable());
}
