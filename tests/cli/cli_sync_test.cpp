#include "cli/CliProcess.h"
#include "settings/SettingsFile.h"
#include "support/Holds.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tandrel::cli {
namespace {

namespace fs = std::filesystem;
using test::CliRun;
using test::RunCli;
using test::TempTree;

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Entry {
    std::string kind;
    std::string content;
    std::int64_t mtime = 0;
    bool operator==(const Entry&) const = default;
};

// Every entry below a folder: kind, content of files and modification time of files.
std::map<std::string, Entry> Snapshot(const std::string& root)
{
    std::map<std::string, Entry> entries;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string rel = fs::relative(e.path(), root).string();
        Entry entry;
        if (e.is_directory()) {
            entry.kind = "folder";
        } else {
            entry.kind = "file";
            entry.content = Slurp(e.path().string());
            struct stat st {};
            ::stat(e.path().c_str(), &st);
            entry.mtime = st.st_mtim.tv_sec;
        }
        entries[rel] = entry;
    }
    return entries;
}

TEST(CliSync, OneWaySyncLeavesIdenticalTrees)
{
    TempTree t;
    const std::string s = t.Path("src");
    const std::string d = t.Path("dst");
    // Newer, older and size-only differences, missing files and folders on either side.
    t.WriteFile("src/newer.txt", "the newer text", 1'700'000'000);
    t.WriteFile("dst/newer.txt", "old", 1'600'000'000);
    t.WriteFile("src/older.txt", "older", 1'500'000'000);
    t.WriteFile("dst/older.txt", "a later edit", 1'650'000'000);
    t.WriteFile("src/size.bin", "longer content", 1'600'000'000);
    t.WriteFile("dst/size.bin", "short", 1'600'000'000);
    t.WriteFile("src/same.txt", "same", 1'600'000'000);
    t.WriteFile("dst/same.txt", "same", 1'600'000'000);
    t.WriteFile("src/new folder/deeper/f\xC3\xBCnf \xE2\x82\xAC.txt", "unicode", 1'400'000'000);
    t.WriteFile("src/new folder/line\nbreak", "newline in the name", 1'400'000'000);
    t.MakeDir("src/empty folder");
    t.WriteFile("src/existing/added.txt", "added", 1'400'000'000);
    t.WriteFile("dst/existing/extra.txt", "extra", 1'400'000'000);
    t.WriteFile("dst/gone folder/inner/x", "x", 1'400'000'000);
    t.WriteFile("dst/gone folder/y", "y", 1'400'000'000);
    t.WriteFile("dst/stray.txt", "stray", 1'400'000'000);

    const CliRun copy = RunCli({"copy", "--to", "destination", "--lists", "1,2,3,5", s, d});
    EXPECT_EQ(copy.status, 0) << copy.out << copy.err;
    EXPECT_EQ(copy.err, "");
    const CliRun del = RunCli({"delete", "--lists", "4", s, d});
    EXPECT_EQ(del.status, 0) << del.out << del.err;

    const CliRun compare = RunCli({"compare", "--summary", s, d});
    EXPECT_EQ(compare.status, 0) << compare.err;
    EXPECT_EQ(compare.out,
              "Newer than destination: 0\nOlder than destination: 0\nCan not find destination: 0\n"
              "Can not find source: 0\nOnly size changed: 0\nNot compared (filters, folders named .*): 0\n"
              "Settings: none, nothing filtered\n");

    const auto source = Snapshot(s);
    const auto destination = Snapshot(d);
    EXPECT_EQ(source.size(), 11u);
    EXPECT_TRUE(source == destination);
    EXPECT_EQ(t.ReadFile("dst/older.txt"), "older");
    EXPECT_FALSE(t.Exists("dst/gone folder"));
}

TEST(CliSync, UsageErrorsChangeNothing)
{
    TempTree t;
    t.WriteFile("src/a", "a");
    t.WriteFile("dst/b", "b");
    const std::string s = t.Path("src");
    const std::string d = t.Path("dst");
    const std::vector<std::vector<std::string>> wrong = {
        {"copy", "--to", "destination", "--lists", "4", s, d},
        {"copy", "--to", "source", "--lists", "3,1", s, d},
        {"copy", "--lists", "3", s, d},
        {"copy", "--to", "sideways", "--lists", "3", s, d},
        {"copy", "--to", "destination", "--lists", "6", s, d},
        {"copy", "--to", "destination", "--lists", "", s, d},
        {"copy", "--to", "destination", "--lists", "3", s},
        {"copy", "--to", "destination", "--lists", "3", s, t.Path("missing")},
        {"copy", "--to", "destination", "--lists", "3", "--bogus", s, d},
        {"delete", s, d},
        {"delete", "--lists", "4", "--to", "source", s, d},
        {"delete", "--lists", "4", "--settings", t.Path("no-such.ini"), s, d},
    };
    for (const auto& args : wrong) {
        const CliRun r = RunCli(args);
        EXPECT_EQ(r.status, 2) << args[0] << " " << args[1] << " " << args[2] << "\n" << r.err;
        EXPECT_FALSE(r.err.empty());
    }
    EXPECT_FALSE(t.Exists("dst/a"));
    EXPECT_FALSE(t.Exists("src/b"));
    EXPECT_TRUE(t.Exists("dst/b"));
    const CliRun r = RunCli({"copy", "--to", "destination", "--lists", "4", s, d});
    EXPECT_TRUE(test::Holds(r.err, "list 4"));
}

TEST(CliSync, FailuresAreReportedAndTheRunGoesOn)
{
    TempTree t;
    const std::string s = t.Path("src");
    const std::string d = t.Path("dst");
    t.WriteFile("src/clash", "a file here", 1'700'000'000);
    t.WriteFile("dst/clash/inner", "a folder there");
    t.WriteFile("src/fine", "fine");
    t.WriteFile("src/locked", "new", 1'700'000'000);
    t.WriteFile("dst/locked", "old", 1'600'000'000);
    t.Chmod("dst/locked", 0444);

    // Overwriting off, from a settings file: the read-only target is kept.
    settings::SettingsState state;
    state.options = settings::CompareOptions::Defaults();
    state.options.Overwriting = false;
    state.options.IgnoreError = false; // the command line goes on regardless
    ASSERT_TRUE(settings::WriteSettings(t.Path("tdl.ini"), state).ok());

    const CliRun r =
        RunCli({"copy", "--settings", t.Path("tdl.ini"), "--to", "destination", "--lists", "1,2,3,5", s, d});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_TRUE(test::Holds(r.err, d + "/clash"));
    EXPECT_TRUE(test::Holds(r.err, "Is a directory"));
    EXPECT_TRUE(test::Holds(r.err, d + "/locked"));
    EXPECT_TRUE(test::Holds(r.err, "read-only"));
    EXPECT_EQ(t.ReadFile("dst/fine"), "fine");
    EXPECT_EQ(t.ReadFile("dst/clash/inner"), "a folder there");
    EXPECT_EQ(t.ReadFile("dst/locked"), "old");

    // With the defaults (Overwriting on) the read-only file is replaced.
    state.options = settings::CompareOptions::Defaults();
    ASSERT_TRUE(settings::WriteSettings(t.Path("tdl.ini"), state).ok());
    const CliRun again =
        RunCli({"copy", "--settings", t.Path("tdl.ini"), "--to", "destination", "--lists", "1,2,5", s, d});
    EXPECT_EQ(again.status, 1) << again.err; // the clash still fails
    EXPECT_EQ(t.ReadFile("dst/locked"), "new");
}

// Both trees hold the same entries; the source's cannot all be read. The
// destination's counterparts are never missing, so a delete of list 4 keeps
// them, names what could not be read and ends with status 2.
TEST(CliSync, WhatCannotBeReadIsNamedAndNeverDeleted)
{
    struct Case {
        const char* label;
        bool lockPhotos;
        unsigned maxDescriptors;
        const char* reason;
    };
    std::vector<Case> cases{{"folder locked", true, 0, "Permission denied"}};
#ifndef __SANITIZE_ADDRESS__
    // The sanitizers' checks need descriptors of their own to read memory,
    // so only a plain build can be run out of them.
    cases.push_back({"descriptors short", false, 6, "Too many open files"});
#endif
    for (const Case& c : cases) {
        TempTree t;
        for (const char* side : {"src/", "dst/"})
            for (int i = 0; i < 4; ++i)
                for (const char* folder : {"photos/", "music/", ""})
                    t.WriteFile(std::string(side) + folder + "f" + std::to_string(i), "x", 1'600'000'000);
        for (const char* folder : {"dst", "dst/photos", "dst/music"})
            t.Chmod(folder, 0777); // what the other user would be free to delete
        if (c.lockPhotos)
            t.Chmod("src/photos", 0);
        const auto before = Snapshot(t.Path("dst"));
        EXPECT_EQ(test::RunUnprivileged([&] {
                      test::CliStart start;
                      start.maxDescriptors = c.maxDescriptors;
                      const CliRun r = RunCli({"delete", "--lists", "4", t.Path("src"), t.Path("dst")}, start);
                      std::fprintf(stderr, "%s: %d\n%s%s", c.label, r.status, r.out.c_str(), r.err.c_str());
                      const bool named = r.err.find(std::string("': ") + c.reason) != std::string::npos &&
                                         (!c.lockPhotos || r.err.find("Cannot read the folder '" + t.Path("src/photos") +
                                                                      "': " + c.reason) != std::string::npos);
                      return r.status == 2 && named;
                  }),
                  0)
            << c.label;
        EXPECT_EQ(Snapshot(t.Path("dst")), before) << c.label;
    }
}

// A folder that can be searched but not read: its own entries are not
// listed, while each name of the other side is looked up in it, and those the
// lookup finds absent are listed (and here deleted) as missing. The message
// says so.
TEST(CliSync, AFolderSearchableButNotReadableIsNamedForWhatWasDone)
{
    TempTree t;
    for (const char* name : {"f1", "f2", "f3"})
        t.WriteFile(std::string("s/q/") + name, "x", 1'600'000'000);
    t.WriteFile("d/q/f1", "x", 1'600'000'000);
    t.Chmod("s/q", 0777);
    t.Chmod("d/q", 0711);
    EXPECT_EQ(test::RunUnprivileged([&] {
                  const CliRun r = RunCli({"delete", "--lists", "3", t.Path("s"), t.Path("d")});
                  std::fprintf(stderr, "%d\n%s%s", r.status, r.out.c_str(), r.err.c_str());
                  const std::string named = "Cannot read the folder '" + t.Path("d/q") +
                                            "': Permission denied; nothing in it is listed as missing; it could "
                                            "still be searched, so each name of the other side was looked up in "
                                            "it, and those not there are listed as missing";
                  return r.status == 2 && r.err.find(named) != std::string::npos;
              }),
              0);
    EXPECT_EQ(test::FolderEntries(t.Path("s/q")), std::vector<std::string>{"f1"});
}

TEST(CliSync, InterruptStopsAfterTheRowInHandAndLeavesOnlyCompleteFiles)
{
    TempTree t;
    const std::string s = t.Path("src");
    const std::string d = t.Path("dst");
    constexpr int kFiles = 3000;
    for (int i = 0; i < kFiles; ++i)
        t.WriteFile("src/f" + std::to_string(i), std::string(2000 + i, static_cast<char>('a' + i % 26)));
    // A row of list 5, named after list 3: no list starts after the interrupt.
    t.WriteFile("src/size5", "the longer one", 1'600'000'000);
    t.WriteFile("dst/size5", "short", 1'600'000'000);

    // Interrupt as soon as the first file has arrived (or the run has ended).
    test::CliProcess cli({"copy", "--to", "destination", "--lists", "3,5", s, d});
    cli.WaitForEntry(d, [](const std::string& name) { return name[0] == 'f'; });
    cli.Signal(SIGINT);
    const CliRun r = cli.Finish();
    EXPECT_TRUE(r.status == 0 || r.status == 1) << r.status << r.err;
    if (r.status == 1) {
        EXPECT_TRUE(test::Holds(r.err, "cancelled"));
        EXPECT_EQ(t.ReadFile("dst/size5"), "short");
    }

    // Whatever arrived is complete, and nothing half-made was left behind.
    int copied = 0;
    for (const auto& e : fs::directory_iterator(d)) {
        const std::string name = e.path().filename().string();
        if (name == "size5")
            continue;
        ASSERT_EQ(name[0], 'f') << name;
        EXPECT_EQ(Slurp(e.path().string()), t.ReadFile("src/" + name)) << name;
        ++copied;
    }
    EXPECT_GE(copied, 1);
    if (r.status == 0) {
        EXPECT_EQ(copied, kFiles);
    }
}

TEST(CliSync, DeleteWithTrashMovesTheItemsToTheTrash)
{
    TempTree t;
    t.WriteFile("src/folder/inner.txt", "inner");
    t.WriteFile("dst/folder-not-here.txt", "an empty destination would refuse the delete");
    ::setenv("XDG_DATA_HOME", t.Path("data").c_str(), 1); // the child's trash is tree/data/Trash
    const CliRun r = RunCli({"delete", "--trash", "--lists", "3", t.Path("src"), t.Path("dst")});
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(r.out, "Can not find destination: 2 of 2 moved to the trash\n") << r.err;
    EXPECT_EQ(test::FolderEntries(t.Path("src")), std::vector<std::string>{});
    EXPECT_EQ(t.ReadFile("data/Trash/files/inner.txt"), "inner");
    EXPECT_TRUE(t.Exists("data/Trash/info/folder.trashinfo"));
}

} // namespace
} // namespace tandrel::cli
