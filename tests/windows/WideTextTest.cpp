#include "platform/windows/WideText.h"
#include "support/Holds.h"

#include <gtest/gtest.h>

namespace tandrel::platform {
namespace {

TEST(WideText, RoundTripsEveryPlane)
{
    const char* texts[] = {"", "plain.txt", "caf\xC3\xA9", "\xE6\x97\xA5\xE6\x9C\xAC", "\xF0\x9F\x8E\xB5 song"};
    for (const char* text : texts) {
        std::wstring wide;
        std::string back;
        ASSERT_TRUE(ToWide(text, wide)) << text;
        ASSERT_TRUE(ToUtf8(wide, back)) << text;
        EXPECT_EQ(back, text);
    }
    std::wstring wide;
    ASSERT_TRUE(ToWide("\xF0\x9F\x8E\xB5", wide));
    EXPECT_EQ(wide.size(), 2u); // a surrogate pair
}

TEST(WideText, InvalidTextIsRefusedNotReplaced)
{
    std::wstring wide;
    EXPECT_FALSE(ToWide("bad\xFF", wide));
    EXPECT_FALSE(ToWide("\xC3", wide));
    std::string utf8;
    EXPECT_FALSE(ToUtf8(std::wstring(1, wchar_t(0xD800)), utf8));
    EXPECT_FALSE(ToUtf8(L"a" + std::wstring(1, wchar_t(0xDC00)) + L"b", utf8));
}

TEST(WideText, SystemPathIsAbsoluteAndPrefixed)
{
    struct Case {
        const char* path;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {"C:\\data\\a.txt", L"\\\\?\\C:\\data\\a.txt"},
        {"C:/data/sub/../a.txt", L"\\\\?\\C:\\data\\a.txt"},
        {"C:\\data\\.\\a.txt", L"\\\\?\\C:\\data\\a.txt"},
        {"C:\\", L"\\\\?\\C:\\"},
        {"\\\\server\\share\\a.txt", L"\\\\?\\UNC\\server\\share\\a.txt"},
        {"\\\\?\\C:\\kept\\as\\is", L"\\\\?\\C:\\kept\\as\\is"},
    };
    for (const Case& c : cases) {
        std::wstring system;
        ASSERT_TRUE(SystemPath(c.path, system).ok()) << c.path;
        EXPECT_EQ(system, c.expected) << c.path;
    }
}

TEST(WideText, SystemPathRefusesEmptyAndInvalidPaths)
{
    std::wstring system;
    for (const char* path : {"", "C:\\bad\xFF"}) {
        const FileResult result = SystemPath(path, system);
        EXPECT_FALSE(result.ok()) << path;
        EXPECT_TRUE(test::Holds(result.error, "Not a valid path"));
    }
}

TEST(WideText, FailureCarriesTheSystemsReason)
{
    const FileResult result = WindowsFailure("Cannot open", "C:\\x", 2 /* ERROR_FILE_NOT_FOUND */);
    EXPECT_EQ(result.error.rfind("Cannot open 'C:\\x': ", 0), 0u) << result.error;
    EXPECT_GT(result.error.size(), std::string("Cannot open 'C:\\x': ").size());
}

} // namespace
} // namespace tandrel::platform
