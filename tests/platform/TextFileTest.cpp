#include "platform/TextFile.h"

#include "support/TempTree.h"

#include <gtest/gtest.h>

namespace tandrel::platform {
namespace {

TEST(TextFile, ValidUtf8IsToldFromOtherBytes)
{
    const std::pair<std::string, bool> cases[] = {
        {"", true}, {"caf\xC3\xA9", true}, {"\xE6\x9D\xB1\xE4\xBA\xAC", true}, {"\xF0\x9F\x93\x81", true},
        {"caf\xE9", false},           // a Western code page byte
        {"\x80", false},              // a lone continuation byte
        {"\xE0\x80\xAF", false},      // an overlong form
        {"\xED\xA0\x80", false},      // a surrogate
        {"\xF4\x90\x80\x80", false},  // above U+10FFFF
        {"ab\xE6\x9D", false},        // cut off at the end
    };
    for (const auto& [text, valid] : cases)
        EXPECT_EQ(IsValidUtf8(text), valid) << ::testing::PrintToString(text);
}

// On POSIX a file holds the names exactly as the system gave them, whether a
// line is UTF-8 or not, however the text is handed over.
TEST(TextFile, PosixFilesHoldTheBytesAsGiven)
{
    const std::string lines = "caf\xC3\xA9\r\nraw \xE9\xFF\r\n" + std::string(200000, 'x') + "\r\n";
    const std::string unfinished = "\xEF\xBB\xBF in the middle\r\nno line end \xC3\xA5";
    test::TempTree tree;
    ASSERT_TRUE(WriteTextFile(tree.Path("f"), [&](std::ostream& out) {
                    out << lines;
                    for (const char c : unfinished)
                        out.put(c);
                }).ok());
    EXPECT_EQ(tree.ReadFile("f"), lines + unfinished);
    EXPECT_EQ(test::FolderEntries(tree.Root()), std::vector<std::string>{"f"});
}

} // namespace
} // namespace tandrel::platform
