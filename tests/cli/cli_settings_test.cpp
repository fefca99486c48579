// Where tandrel-cli takes its settings from, how it says what it could not
// read, and what it writes on standard output.

#include "cli/CliProcess.h"
#include "support/Holds.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <thread>
#include <unistd.h>

namespace tandrel::test {
namespace {

const std::string kHideDotNames = "[Option]\r\nIgnoreHidden=1\r\n";

void DotTrees(TempTree& t)
{
    t.WriteFile("src/.bashrc", "new", 1'700'000'000);
    t.WriteFile("dst/.bashrc", "old", 1'600'000'000);
    t.WriteFile("src/.git/HEAD", "ref", 1'600'000'000);
}

TEST(CliSettings, TheWindowsSettingsFileIsFoundAsTheWindowFindsIt)
{
    const struct {
        std::string programFolder; // below the tree; "inst/bin" sits beside inst/share/tandrel
        std::string settingsFolder;
        std::vector<std::string> options;
        int status;
        std::string notCompared;
    } cases[] = {
        {"prog", "", {}, 1, "1"},                  // no file: nothing filtered, .git left out
        {"prog", "prog", {}, 0, "2"},              // tdl.ini beside the program
        {"prog", "prog", {"--no-filters"}, 1, "1"},
        {"prog", "prog", {"--settings", "other.ini"}, 1, "1"},
        {"inst/bin", "inst/bin", {}, 1, "1"}, // installed: not beside the program...
        {"inst/bin", "xdg/Orvessa Software/Tandrel", {}, 0, "2"}, // ...but in the per-user data folder
    };
    for (const auto& c : cases) {
        TempTree t;
        DotTrees(t);
        t.MakeDir("inst/share/tandrel");
        t.WriteFile("other.ini", "[Option]\r\nIgnoreHidden=0\r\n");
        if (!c.settingsFolder.empty())
            t.WriteFile(c.settingsFolder + "/tdl.ini", kHideDotNames);
        CliStart start;
        start.program = t.Path(c.programFolder + "/tandrel-cli");
        std::filesystem::create_directories(t.Path(c.programFolder));
        std::filesystem::copy_file(CliProgram(), start.program);
        start.environment = {"XDG_DATA_HOME=" + t.Path("xdg")};
        std::vector<std::string> args = {"compare", "--summary"};
        for (const auto& option : c.options)
            args.push_back(option == "other.ini" ? t.Path(option) : option);
        args.insert(args.end(), {t.Path("src"), t.Path("dst")});
        const CliRun r = RunCli(args, start);
        const std::string where = c.programFolder + " " + c.settingsFolder + " " + std::to_string(c.options.size());
        EXPECT_EQ(r.status, c.status) << where << "\n" << r.out << r.err;
        EXPECT_TRUE(test::Holds(r.out, "Not compared (filters, folders named .*): " + c.notCompared + "\n")) << where;
    }
}

TEST(CliSettings, WhatCannotBeReadIsSaidWithTheSystemsReason)
{
    TempTree t;
    t.MakeDir("src");
    t.WriteFile("file", "x");
    t.MakeDir("locked");
    t.Chmod("locked", 0);
    t.WriteFile("unreadable.ini", kHideDotNames);
    t.Chmod("unreadable.ini", 0);
    ASSERT_EQ(::truncate(t.Path("file").c_str(), 17 * 1024 * 1024), 0);
    const std::string src = t.Path("src");
    const struct {
        std::vector<std::string> args;
        std::string error;
    } cases[] = {
        {{src, t.Path("nope")}, "'" + t.Path("nope") + "' is not accessible: No such file or directory"},
        {{src, t.Path("file")}, "'" + t.Path("file") + "' is not accessible: Not a directory"},
        {{src, t.Path("locked")}, "'" + t.Path("locked") + "' is not accessible: Permission denied"},
        {{"--settings", t.Path("no.ini"), src, src},
         "cannot read the settings file '" + t.Path("no.ini") + "': No such file or directory"},
        {{"--settings", t.Path("src"), src, src}, "cannot read the settings file '" + t.Path("src") + "': Is a directory"},
        {{"--settings", t.Path("unreadable.ini"), src, src},
         "cannot read the settings file '" + t.Path("unreadable.ini") + "': Permission denied"},
        {{"--settings", t.Path("file"), src, src},
         "cannot read the settings file '" + t.Path("file") + "': it is larger than 16 MiB"},
    };
    // As nobody, so that permissions hold when the tests run as root.
    EXPECT_EQ(RunUnprivileged([&] {
                  bool all = true;
                  for (const auto& c : cases) {
                      std::vector<std::string> args = {"compare"};
                      args.insert(args.end(), c.args.begin(), c.args.end());
                      const CliRun r = RunCli(args);
                      const bool ok = r.status == 2 && r.err == "tandrel-cli compare: " + c.error + "\n";
                      if (!ok)
                          std::fprintf(stderr, "%d %s", r.status, r.err.c_str());
                      all = all && ok;
                  }
                  return all;
              }),
              0);
}

TEST(CliSettings, ASettingsFileIsReadFromAPipe)
{
    TempTree t;
    DotTrees(t);
    t.MakeFifo("pipe.ini");
    CliProcess cli({"compare", "--summary", "--settings", t.Path("pipe.ini"), t.Path("src"), t.Path("dst")});
    int fd = -1;
    for (int tries = 0; tries < 10000; ++tries) {
        fd = ::open(t.Path("pipe.ini").c_str(), O_WRONLY | O_NONBLOCK); // ENXIO until the program opens it
        if (fd >= 0 || errno != ENXIO)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (fd >= 0) {
        EXPECT_EQ(::write(fd, kHideDotNames.data(), kHideDotNames.size()), static_cast<ssize_t>(kHideDotNames.size()));
        ::close(fd);
    }
    const CliRun r = cli.Finish();
    EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(CliOutput, LinesEndInLineFeedsAndNamesCannotCommandATerminal)
{
    TempTree t;
    const std::string name = "x\x1b]2;retitled\ay";
    t.WriteFile("src/" + name, "x");
    t.MakeDir("dst");
    const CliRun redirected = RunCli({"compare", t.Path("src"), t.Path("dst")});
    EXPECT_EQ(redirected.status, 1);
    EXPECT_EQ(redirected.out.find('\r'), std::string::npos) << redirected.out;
    EXPECT_TRUE(test::Holds(redirected.out, name)); // bytes unchanged when redirected

    CliStart terminal;
    terminal.stderrOnTerminal = terminal.stdoutOnTerminal = true;
    const CliRun shown = RunCli({"compare", t.Path("src"), t.Path("dst")}, terminal);
    EXPECT_EQ(shown.status, 1);
    EXPECT_EQ(shown.err.find('\x1b'), std::string::npos) << shown.err;
    EXPECT_TRUE(test::Holds(shown.err, "x?]2;retitled?y"));
    EXPECT_TRUE(test::Holds(shown.err, "\t")); // the columns' tabs stay
}

TEST(CliOutput, CopyAndDeleteFailWhenStandardOutputCannotBeWrittenAndQuietLeavesItOut)
{
    for (const std::string command : {"copy", "delete"}) {
        TempTree t;
        t.WriteFile("src/a", "a");
        t.WriteFile("dst/b", "b");
        std::vector<std::string> args = {command, "--lists", command == "copy" ? "3" : "4"};
        if (command == "copy")
            args.insert(args.end(), {"--to", "destination"});
        args.insert(args.end(), {t.Path("src"), t.Path("dst")});
        CliStart full;
        full.outputPath = "/dev/full";
        const CliRun failed = RunCli(args, full);
        EXPECT_EQ(failed.status, 2) << command;
        EXPECT_EQ(failed.err, "tandrel-cli " + command + ": cannot write the results\n");

        args.insert(args.begin() + 1, "-q");
        const CliRun quiet = RunCli(args, full);
        EXPECT_EQ(quiet.status, 0) << command << quiet.err;
        EXPECT_EQ(quiet.err, "");
    }
}

} // namespace
} // namespace tandrel::test
