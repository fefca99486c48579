#include "gui/app/CoreText.h"

#include <gtest/gtest.h>

namespace tandrel::gui {
namespace {

TEST(CoreText, AnyBytesComeBackExactly)
{
    const std::string cases[] = {
        "",
        "/data/plain",
        "/data/caf\xC3\xA9",                 // UTF-8
        "/data/\xF0\x9F\x93\x81 folder",     // UTF-8 beyond the 16-bit range (a surrogate pair in Qt)
        "\xF0\x9F\x93\x81\xE9",             // ... next to a byte that is not UTF-8
        "/data/caf\xE9",                     // Latin-1
        "caf\xE9.txt",
        "\xFF\xFE\x80\xBF",                  // no UTF-8 at all
        "x\xC3",                             // a sequence cut short at the end
        "\xE2\x82z",                         // ... and in the middle
        "\xC0\xAF",                          // an overlong '/'
        "\xED\xB3\xA9",                      // a surrogate written as UTF-8
        "\xF4\x90\x80\x80",                  // above U+10FFFF
        "A|/data/caf\xE9|/b\xC3\xA9\xE9",    // valid and invalid side by side
    };
    for (const std::string& bytes : cases)
        EXPECT_EQ(FromQ(ToQ(bytes)), bytes) << ::testing::PrintToString(bytes);
}

TEST(CoreText, ValidUtf8ReadsAsItsCharacters)
{
    EXPECT_EQ(ToQ("caf\xC3\xA9"), QStringLiteral(u"café"));
    EXPECT_EQ(FromQ(QStringLiteral(u"café")), "caf\xC3\xA9");
    EXPECT_EQ(ToQ("\xF0\x9F\x93\x81"), QString::fromUcs4(U"\U0001F4C1"));
    // A byte outside UTF-8 shows as one character of its own, next to the
    // characters around it, which stay readable.
    const QString shown = ToQ("caf\xE9!");
    EXPECT_EQ(shown.size(), 5);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("caf")));
    EXPECT_TRUE(shown.endsWith(QLatin1Char('!')));
    EXPECT_NE(ToQ("caf\xE9"), ToQ("caf\xE8"));
}

} // namespace
} // namespace tandrel::gui
