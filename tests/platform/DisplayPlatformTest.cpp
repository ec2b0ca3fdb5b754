#include "platform/DisplayPlatform.h"

#include <gtest/gtest.h>

// XWayland only in a Wayland session with an X server, the plugin at hand and no platform of the user's.
TEST(DisplayPlatform, XcbOnlyUnderWaylandWithXAndNoChoice)
{
    const struct
    {
        const char *chosen, *wayland, *display;
        bool plugin;
        const char* expected;
    } rows[] = {
        {"", "wayland-0", ":0", true, "xcb"},
        {"wayland", "wayland-0", ":0", true, ""},
        {"", "", ":0", true, ""},
        {"", "wayland-0", "", true, ""},
        {"", "wayland-0", ":0", false, ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(DisplayPlatform::Preferred(row.chosen, row.wayland, row.display, row.plugin), row.expected)
            << row.chosen << "|" << row.wayland << "|" << row.display << "|" << row.plugin;
}
