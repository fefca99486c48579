#include "platform/TextFile.h"

#include "support/TempTree.h"

#include <gtest/gtest.h>

namespace tandrel::platform {
namespace {

using test::TempTree;

TEST(TextFile, ValidUtf8IsToldFromOtherBytes)
{
    struct Case {
        const char* what;
        std::string text;
        bool valid;
    };
    const Case cases[] = {
        {"empty", "", true},
        {"ASCII with controls", std::string("a\0\t\r\n~", 6), true},
        {"two-byte letter", "caf\xC3\xA9", true},
        {"three-byte letters", "\xE6\x9D\xB1\xE4\xBA\xAC", true},
        {"four-byte character", "\xF0\x9F\x93\x81", true},
        {"highest character", "\xF4\x8F\xBF\xBF", true},
        {"a Western code page byte", "caf\xE9", false},
        {"lone continuation byte", "\x80", false},
        {"overlong slash", "\xC0\xAF", false},
        {"overlong three-byte form", "\xE0\x80\xAF", false},
        {"surrogate", "\xED\xA0\x80", false},
        {"above U+10FFFF", "\xF4\x90\x80\x80", false},
        {"cut-off character at the end", "ab\xE6\x9D", false},
        {"lead byte followed by ASCII", "\xC3(", false},
        {"byte FF", "\xFF", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsValidUtf8(c.text), c.valid) << c.what;
}

// On POSIX a file holds the names exactly as the system gave them: no mark,
// no conversion, whether a line is UTF-8 or not.
TEST(TextFile, PosixFilesHoldTheBytesAsGiven)
{
    const std::string longLine(200000, 'x');
    const std::string text = "caf\xC3\xA9\r\n\xE6\x9D\xB1\xE4\xBA\xAC\r\nraw \xE9\xFF bytes\r\n" + longLine +
                             "\r\n" + "\xEF\xBB\xBF in the middle\r\nno line end \xC3\xA5";
    TempTree tree;
    ASSERT_TRUE(WriteTextFile(tree.Path("whole.txt"), [&](std::ostream& out) { out << text; }).ok());
    EXPECT_EQ(tree.ReadFile("whole.txt"), text);
    // Written one character at a time, the text comes out the same.
    ASSERT_TRUE(WriteTextFile(tree.Path("chars.txt"), [&](std::ostream& out) {
                    for (const char c : text)
                        out.put(c);
                }).ok());
    EXPECT_EQ(tree.ReadFile("chars.txt"), text);
    EXPECT_EQ(test::FolderEntries(tree.Root()), (std::vector<std::string>{"chars.txt", "whole.txt"}));
}

TEST(TextFile, AFailedOpenIsReportedAndNothingIsRendered)
{
    TempTree tree;
    bool rendered = false;
    const auto result = WriteTextFile(tree.Path("gone/r.txt"), [&](std::ostream&) { rendered = true; });
    EXPECT_FALSE(result.ok());
    EXPECT_FALSE(rendered);
}

} // namespace
} // namespace tandrel::platform
