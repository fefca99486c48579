#include "desktop/DesktopWindows.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace tandrel::desktop {
namespace {

TEST(DesktopWindows, WithoutAnXServerFindsAndRaisesNothing)
{
    // No such display: the object stays unconnected and every call is harmless.
    DesktopWindows nowhere(":65000");
    EXPECT_FALSE(nowhere.IsConnected());
    EXPECT_FALSE(nowhere.FindTopLevelWindow("Daylark").has_value());
    EXPECT_EQ(nowhere.WindowTitle(1), "");
    EXPECT_FALSE(nowhere.Activate(1));

    // No DISPLAY at all (a Wayland-only or headless session): no attempt is made.
    std::optional<std::string> old;
    if (const char* value = std::getenv("DISPLAY"))
        old = value;
    unsetenv("DISPLAY");
    {
        DesktopWindows desktop;
        EXPECT_FALSE(desktop.IsConnected());
        EXPECT_FALSE(desktop.FindTopLevelWindow("Daylark").has_value());
    }
    if (old)
        setenv("DISPLAY", old->c_str(), 1);
}

} // namespace
} // namespace tandrel::desktop
