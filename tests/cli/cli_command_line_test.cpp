// The arguments read into a CommandLine, in-process: the same rules on every
// system, folder names taken exactly as given.

#include "cli/CommandLine.h"
#ifdef _WIN32
#include "cli/windows/WideCommandLine.h"
#endif

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tandrel::cli {
namespace {

std::optional<int> Parse(const std::vector<std::string>& args, CommandLine& line)
{
    std::vector<const char*> argv = {"tandrel-cli"};
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());
    return ParseCommandLine(static_cast<int>(argv.size()), argv.data(), line);
}

TEST(CommandLineParse, FoldersAndListsAreTakenAsGiven)
{
    using Direction = sync::CopyDirection;
    const struct {
        std::vector<std::string> args;
        Command command;
        std::string source;
        std::string destination;
        std::vector<int> lists;
        Direction direction;
    } cases[] = {
        {{"compare", "C:\\Data\\My Files", "\\\\server\\share\\backup"}, Command::Compare, "C:\\Data\\My Files",
         "\\\\server\\share\\backup", {}, Direction::SourceToDestination},
        // A folder written with a leading '/' is a folder on every system, never an option.
        {{"compare", "/data", "rel\\dst"}, Command::Compare, "/data", "rel\\dst", {}, Direction::SourceToDestination},
        {{"copy", "--to", "destination", "--lists", "1,2,3,5", "D:\\a", "E:\\b"}, Command::Copy, "D:\\a", "E:\\b",
         {1, 2, 3, 5}, Direction::SourceToDestination},
        {{"copy", "--to", "source", "--lists", "2,1,2", "a", "b"}, Command::Copy, "a", "b", {2, 1},
         Direction::DestinationToSource},
        {{"delete", "--lists", "4", "Z:\\t\\dst", "Z:\\t\\src"}, Command::Delete, "Z:\\t\\dst", "Z:\\t\\src", {4},
         Direction::SourceToDestination},
        {{"verify", "caf\xC3\xA9", "\xE6\x97\xA5\xE6\x9C\xAC"}, Command::Verify, "caf\xC3\xA9",
         "\xE6\x97\xA5\xE6\x9C\xAC", {}, Direction::SourceToDestination},
    };
    for (const auto& c : cases) {
        CommandLine line;
        ASSERT_EQ(Parse(c.args, line), std::nullopt) << c.args.front() << " " << c.source;
        EXPECT_EQ(line.command, c.command) << c.source;
        EXPECT_EQ(line.source, c.source);
        EXPECT_EQ(line.destination, c.destination);
        EXPECT_EQ(line.lists, c.lists) << c.source;
        EXPECT_EQ(line.direction, c.direction) << c.source;
    }
}

TEST(CommandLineParse, SlashWordsAreNoOptions)
{
    // "/summary" is a third folder here, which compare refuses; it never
    // stands for --summary.
    CommandLine line;
    EXPECT_EQ(Parse({"compare", "/summary", "a", "b"}, line), 2);
    EXPECT_FALSE(line.summary);
}

#ifdef _WIN32
TEST(CommandLineParse, SlashQuestionMarkAsksForHelp)
{
    for (const wchar_t* command : {L"tandrel-cli.exe /?", L"tandrel-cli.exe compare /?"}) {
        std::vector<std::string> arguments;
        ASSERT_TRUE(ArgumentsFromCommandLine(command, arguments));
        EXPECT_EQ(arguments.back(), "--help");
        std::vector<const char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(argument.c_str());
        CommandLine line;
        EXPECT_EQ(ParseCommandLine(static_cast<int>(argv.size()), argv.data(), line), 0);
    }
}
#endif

} // namespace
} // namespace tandrel::cli
