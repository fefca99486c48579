#include "settings/SettingsFile.h"

#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tandrel::settings {
namespace {

using test::FolderEntries;

using test::TempTree;

// Joins lines with CR LF after each one, as the file is written.
std::string Lines(std::initializer_list<std::string> lines)
{
    std::string text;
    for (const auto& line : lines)
        text += line + "\r\n";
    return text;
}

std::string OptionLines(const CompareOptions& o)
{
    const auto b = [](bool v) { return std::string(v ? "True" : "False"); };
    return Lines({"[Option]", "IgnoreTime=" + std::to_string(o.IgnoreTime),
                  "IgnoreType=" + std::to_string(o.IgnoreType), "IgnoreArchive=" + std::to_string(o.IgnoreArchive),
                  "IgnoreHidden=" + std::to_string(o.IgnoreHidden),
                  "IgnoreReadonly=" + std::to_string(o.IgnoreReadonly),
                  "IgnoreSystem=" + std::to_string(o.IgnoreSystem), "Overwriting=" + b(o.Overwriting),
                  "IgnoreError=" + b(o.IgnoreError), "PlaySound=" + b(o.PlaySound)});
}

SettingsState Read(const std::string& text)
{
    SettingsState state;
    ReadSettingsText(text, state);
    return state;
}

SettingsState SampleState()
{
    SettingsState s;
    s.options.IgnoreTime = 2;
    s.options.IgnoreType = 3;
    s.options.IgnoreArchive = 1;
    s.options.IgnoreHidden = -1;
    s.options.IgnoreReadonly = 2;
    s.options.IgnoreSystem = 0;
    s.options.Overwriting = false;
    s.options.IgnoreError = true;
    s.options.PlaySound = false;
    s.recentSources = {"/home/ann/Photos", "/srv/share/", "/media/usb stick"};
    s.recentDestinations = {"/backup/Photos"};
    s.projectList = {"Photos|/home/ann/Photos|/backup/Photos", "Docs|C:\\A", "My|Proj|C:\\A|C:\\B"};
    s.ignoredTypes = {"Thumbs.db", "*.tmp", ".git"};
    return s;
}

TEST(SettingsFile, WritesTheLayoutForDefaultsAndForNoFile)
{
    SettingsState defaults;
    defaults.options = CompareOptions::Defaults();
    const std::string expected = "[Source]\r\n\r\n[Destination]\r\n\r\n[Project]\r\n\r\n\r\n[Option]\r\n"
                                 "IgnoreTime=0\r\nIgnoreType=0\r\nIgnoreArchive=0\r\nIgnoreHidden=1\r\n"
                                 "IgnoreReadonly=0\r\nIgnoreSystem=1\r\nOverwriting=True\r\nIgnoreError=True\r\n"
                                 "PlaySound=True\r\n\r\n[IgnoreFile]\r\n";
    EXPECT_EQ(SettingsText(defaults), expected);

    // Without a file at start-up every option is 0 or false, and so is the first file written.
    const SettingsState none;
    const std::string text = SettingsText(none);
    EXPECT_NE(text.find("\r\nIgnoreHidden=0\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nIgnoreSystem=0\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nOverwriting=False\r\nIgnoreError=False\r\nPlaySound=False\r\n"), std::string::npos);
}

TEST(SettingsFile, WritesEveryListInItsPlace)
{
    const SettingsState s = SampleState();
    const std::string expected = Lines({"[Source]", "/home/ann/Photos", "/srv/share/", "/media/usb stick", "",
                                        "[Destination]", "/backup/Photos", "", "[Project]",
                                        "Photos|/home/ann/Photos|/backup/Photos", "Docs|C:\\A",
                                        "My|Proj|C:\\A|C:\\B", ""}) +
                                 OptionLines(s.options) + Lines({"", "[IgnoreFile]", "Thumbs.db", "*.tmp", ".git"});
    EXPECT_EQ(SettingsText(s), expected);
    EXPECT_NE(expected.find("IgnoreHidden=-1\r\n"), std::string::npos);

    // Free slots in the middle and empty ignored names write nothing.
    SettingsState gaps;
    gaps.recentSources[0] = "/a";
    gaps.recentSources[5] = "/b";
    gaps.ignoredTypes = {"", "x"};
    const std::string text = SettingsText(gaps);
    EXPECT_EQ(text.substr(0, 20), "[Source]\r\n/a\r\n/b\r\n\r\n");
    EXPECT_EQ(text.substr(text.size() - 17), "[IgnoreFile]\r\nx\r\n");
}

TEST(SettingsFile, RoundTripsByteForByte)
{
    TempTree tree;
    const std::string path = tree.Path(kSettingsFileName);
    const SettingsState original = SampleState();
    ASSERT_TRUE(WriteSettings(path, original).ok());
    const std::string first = tree.ReadFile(kSettingsFileName);
    EXPECT_EQ(first, SettingsText(original));

    SettingsState read;
    ReadSettings(path, read);
    EXPECT_EQ(read.options, original.options);
    EXPECT_EQ(read.recentSources, original.recentSources);
    EXPECT_EQ(read.recentDestinations, original.recentDestinations);
    EXPECT_EQ(read.projectList, original.projectList);
    EXPECT_EQ(read.ignoredTypes, original.ignoredTypes);

    ASSERT_TRUE(WriteSettings(path, read).ok());
    EXPECT_EQ(tree.ReadFile(kSettingsFileName), first);
    // Only the file itself is left in the folder.
    EXPECT_EQ(FolderEntries(tree.Root()), std::vector<std::string>{kSettingsFileName});
}

// Names as the system gives them, UTF-8 or not, are written without a mark or
// any conversion and read back unchanged.
TEST(SettingsFile, NamesBeyondAsciiRoundTripByteForByte)
{
    SettingsState original = SampleState();
    original.recentSources = {"/home/ann/Caf\xC3\xA9", "/srv/\xE6\x9D\xB1\xE4\xBA\xAC", "/mnt/old/caf\xE9"};
    original.projectList = {"Fotos \xC3\xA5r|/home/ann/\xC3\xA5r|/mnt/old/\xE5r"};
    TempTree tree;
    const std::string path = tree.Path(kSettingsFileName);
    ASSERT_TRUE(WriteSettings(path, original).ok());
    EXPECT_EQ(tree.ReadFile(kSettingsFileName), SettingsText(original));
    SettingsState read;
    ReadSettings(path, read);
    EXPECT_EQ(SettingsText(read), SettingsText(original));
}

TEST(SettingsFile, ReadingAndWritingNormaliseTheText)
{
    const std::string messy = "junk before any header\r\n"
                              "IgnoreTime=9\r\n"
                              "   [Source]   \r\n"
                              "\r\n"
                              "   /one   \r\n"
                              "        \r\n"
                              "/two\t\r\n"
                              "[Option]\r\n"
                              "Colour=blue\r\n"
                              "IgnoreTime=4\r\n"
                              "IgnoreTime=5\r\n"
                              "IgnoreTime=bad\r\n"
                              "no equals sign\r\n"
                              "[IgnoreFile]\r\n"
                              "  *.bak  \r\n";
    const SettingsState s = Read(messy);
    EXPECT_EQ(s.recentSources[0], "/one");
    EXPECT_EQ(s.recentSources[1], "/two\t"); // tabs are not trimmed
    EXPECT_EQ(s.recentSources[2], "");
    EXPECT_EQ(s.options.IgnoreTime, 5); // the later valid line wins
    EXPECT_EQ(s.ignoredTypes, std::vector<std::string>{"*.bak"});

    CompareOptions expectedOptions = CompareOptions::Defaults();
    expectedOptions.IgnoreTime = 5;
    EXPECT_EQ(SettingsText(s), Lines({"[Source]", "/one", "/two\t", "", "[Destination]", "", "[Project]", "", ""}) +
                                   OptionLines(expectedOptions) + Lines({"", "[IgnoreFile]", "*.bak"}));

    // A [Project] section of empty lines only.
    const SettingsState empty = Read(Lines({"[Project]", "", "   ", ""}));
    EXPECT_TRUE(empty.projectList.empty());
    EXPECT_NE(SettingsText(empty).find("[Project]\r\n\r\n\r\n[Option]"), std::string::npos);
}

TEST(SettingsFile, ReadsOptionValuesAsDescribed)
{
    {
        const SettingsState s = Read(Lines({"[Option]", "IgnoreHidden=0"}));
        CompareOptions expected = CompareOptions::Defaults();
        expected.IgnoreHidden = 0;
        EXPECT_EQ(s.options, expected);
    }
    {
        const SettingsState s = Read(Lines({"[Option]", "IgnoreTime=abc", "PlaySound=yes",
                                            "IgnoreError=", "IgnoreType=", "IgnoreArchive=1.5"}));
        EXPECT_EQ(s.options, CompareOptions::Defaults()) << "unusable values keep the defaults";
    }
    {
        const SettingsState s = Read(Lines({"[Option]", "PlaySound=0", "Overwriting=False"}));
        EXPECT_FALSE(s.options.PlaySound);
        EXPECT_FALSE(s.options.Overwriting);
    }
    {
        const SettingsState s = Read(Lines({"[Option]", "IgnoreHidden=-1", "IgnoreTime=99999999",
                                            "IgnoreSystem=2147483647", "IgnoreReadonly=-2147483648",
                                            "IgnoreType=7"}));
        EXPECT_EQ(s.options.IgnoreHidden, -1);
        EXPECT_EQ(s.options.IgnoreTime, 99999999);
        EXPECT_EQ(s.options.IgnoreSystem, 2147483647);
        EXPECT_EQ(s.options.IgnoreReadonly, INT32_MIN);
        EXPECT_EQ(s.options.IgnoreType, 7); // the range is not checked
        const std::string text = SettingsText(s);
        EXPECT_NE(text.find("\r\nIgnoreHidden=-1\r\n"), std::string::npos);
        EXPECT_NE(text.find("\r\nIgnoreTime=99999999\r\n"), std::string::npos);
        EXPECT_NE(text.find("\r\nIgnoreReadonly=-2147483648\r\n"), std::string::npos);
        EXPECT_FALSE(FilterOn(s.options.IgnoreHidden));
    }
    {
        // Out of the 32-bit range: the option keeps what it had.
        const SettingsState s = Read(Lines({"[Option]", "IgnoreTime=3", "IgnoreTime=2147483648",
                                            "IgnoreTime=-2147483649", "IgnoreTime=99999999999999999999"}));
        EXPECT_EQ(s.options.IgnoreTime, 3);
    }
    {
        // Keys are matched without regard to case but are not trimmed.
        const SettingsState s = Read(Lines({"[Option]", "IGNORETIME=8", "ignoretype=2", "IgnoreHidden =0",
                                            "playsound=FALSE", "OVERWRITING=false", "IgnoreError=-3"}));
        EXPECT_EQ(s.options.IgnoreTime, 8);
        EXPECT_EQ(s.options.IgnoreType, 2);
        EXPECT_EQ(s.options.IgnoreHidden, 1);
        EXPECT_FALSE(s.options.PlaySound);
        EXPECT_FALSE(s.options.Overwriting);
        EXPECT_TRUE(s.options.IgnoreError);
    }
    {
        // A number as truth value: zero is false, anything else true.
        const SettingsState s = Read(Lines({"[Option]", "Overwriting=2", "IgnoreError=0.0", "PlaySound=0.25"}));
        EXPECT_TRUE(s.options.Overwriting);
        EXPECT_FALSE(s.options.IgnoreError);
        EXPECT_TRUE(s.options.PlaySound);
    }
    {
        // The value is everything after the first '='.
        const SettingsState s = Read(Lines({"[Option]", "IgnoreTime=1=2", "IgnoreType= 4"}));
        EXPECT_EQ(s.options.IgnoreTime, 0);
        EXPECT_EQ(s.options.IgnoreType, 4);
    }
    {
        // Reading starts from the defaults and empties projects and ignored
        // names, but leaves recent slots that the file does not fill.
        SettingsState s;
        s.options.IgnoreTime = 77;
        s.projectList = {"Old|/a|/b"};
        s.ignoredTypes = {"old"};
        s.recentSources[3] = "/kept";
        ReadSettingsText(Lines({"[Source]", "/new"}), s);
        EXPECT_EQ(s.options, CompareOptions::Defaults());
        EXPECT_TRUE(s.projectList.empty());
        EXPECT_TRUE(s.ignoredTypes.empty());
        EXPECT_EQ(s.recentSources[0], "/new");
        EXPECT_EQ(s.recentSources[3], "/kept");
    }
}

TEST(SettingsFile, ProjectsAreSplitAtTheFirstTwoBars)
{
    const SettingsState s = Read(Lines({"[Project]", "Docs|C:\\A", "My|Proj|C:\\A|C:\\B", "Plain", "||"}));
    EXPECT_EQ(s.projectList, (std::vector<std::string>{"Docs|C:\\A", "My|Proj|C:\\A|C:\\B", "Plain", "||"}));
    EXPECT_NE(SettingsText(s).find("[Project]\r\nDocs|C:\\A\r\nMy|Proj|C:\\A|C:\\B\r\nPlain\r\n||\r\n\r\n"),
              std::string::npos);

    EXPECT_FALSE(ParseProject("Docs|C:\\A").has_value());
    EXPECT_FALSE(ParseProject("Plain").has_value());
    const auto my = ParseProject("My|Proj|C:\\A|C:\\B");
    ASSERT_TRUE(my.has_value());
    EXPECT_EQ(my->name, "My");
    EXPECT_EQ(my->source, "Proj");
    EXPECT_EQ(my->destination, "C:\\A|C:\\B");
    const auto empty = ParseProject("||");
    ASSERT_TRUE(empty.has_value());
    EXPECT_EQ(empty->name, "");
    EXPECT_EQ(empty->source, "");
    EXPECT_EQ(empty->destination, "");

    EXPECT_EQ(ProjectLine({"Photos", "/home/ann", "/backup"}), "Photos|/home/ann|/backup");
    const auto back = ParseProject(ProjectLine({"A b", "/x y", "/z|w"}));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->destination, "/z|w");
}

TEST(SettingsFile, RecentSectionsKeepTenAndContinueAfterARepeatedHeader)
{
    std::string text = "[Source]\r\n";
    for (int i = 0; i < 12; ++i)
        text += "/s" + std::to_string(i) + "\r\n";
    const SettingsState twelve = Read(text);
    for (int i = 0; i < kRecentSlots; ++i)
        EXPECT_EQ(twelve.recentSources[static_cast<std::size_t>(i)], "/s" + std::to_string(i));
    EXPECT_EQ(SettingsText(twelve).find("/s10"), std::string::npos);

    // A repeated header continues where its section stopped.
    const SettingsState split = Read(Lines({"[Source]", "/a", "/b", "[Destination]", "/d0", "[source]",
                                            "[Project]", "P|/x|/y", "[Source]", "/c", "/d", "[Destination]",
                                            "/d1", "[Project]", "Q|/x|/y"}));
    EXPECT_EQ(split.recentSources[0], "/a");
    EXPECT_EQ(split.recentSources[1], "/b");
    EXPECT_EQ(split.recentSources[2], "/c");
    EXPECT_EQ(split.recentSources[3], "/d");
    EXPECT_EQ(split.recentDestinations[0], "/d0");
    EXPECT_EQ(split.recentDestinations[1], "[source]"); // not a header: data of its section
    EXPECT_EQ(split.recentDestinations[2], "/d1");
    EXPECT_EQ(split.projectList, (std::vector<std::string>{"P|/x|/y", "Q|/x|/y"}));
}

TEST(SettingsFile, AcceptsEveryKindOfLineEnd)
{
    const auto check = [](const std::string& text, const char* what) {
        const SettingsState s = Read(text);
        EXPECT_EQ(s.recentSources[0], "/a") << what;
        EXPECT_EQ(s.recentSources[1], "/b") << what;
        EXPECT_EQ(s.recentSources[2], "") << what;
        EXPECT_EQ(s.options.IgnoreTime, 6) << what;
        EXPECT_EQ(s.ignoredTypes, std::vector<std::string>{"*.o"}) << what;
    };
    check("[Source]\r\n/a\r\n/b\r\n[Option]\r\nIgnoreTime=6\r\n[IgnoreFile]\r\n*.o\r\n", "CR LF");
    check("[Source]\r/a\r/b\r[Option]\rIgnoreTime=6\r[IgnoreFile]\r*.o\r", "lone CR");
    check("[Source]\n/a\n/b\n[Option]\nIgnoreTime=6\n[IgnoreFile]\n*.o\n", "lone LF");
    check("[Source]\r\n/a\r/b\n\n\r\r\n[Option]\n\rIgnoreTime=6\r\n[IgnoreFile]\r\n*.o", "mixed, no final end");
    check("[Source]\r\n   \r\n/a\r\n      \r\n/b\r\n[Option]\r\nIgnoreTime=6\r\n[IgnoreFile]\r\n*.o  ",
          "lines of blanks only");
    check("\xEF\xBB\xBF[Source]\r\n/a\r\n/b\r\n[Option]\r\nIgnoreTime=6\r\n[IgnoreFile]\r\n*.o\r\n",
          "UTF-8 byte-order mark");
    // Blanks are trimmed, tabs are not: a line of blanks around a tab is data.
    EXPECT_EQ(Read("[Source]\r\n \t \r\n").recentSources[0], "\t");
}

TEST(SettingsFile, SurvivesGarbageAndBinaryBytes)
{
    // Bytes of every value, from a fixed pseudo-random sequence, before and
    // between real content.
    std::string garbage;
    std::uint32_t x = 12345;
    for (int i = 0; i < 200000; ++i) {
        x = x * 1664525u + 1013904223u;
        garbage.push_back(static_cast<char>(x >> 24));
    }
    const SettingsState noise = Read(garbage);
    (void)SettingsText(noise);

    const std::string text = garbage + "\r\n[Option]\r\nIgnoreTime=42\r\n" + std::string("Ig\0noreType=3\r\n", 15) +
                             "[IgnoreFile]\r\n" + std::string("a\0b", 3) + "\r\n";
    const SettingsState s = Read(text);
    EXPECT_EQ(s.options.IgnoreTime, 42);
    EXPECT_EQ(s.options.IgnoreType, 0);
    ASSERT_EQ(s.ignoredTypes.size(), 1u);
    EXPECT_EQ(s.ignoredTypes[0], std::string("a\0b", 3));

    TempTree tree;
    tree.WriteFile("tdl.ini", text);
    SettingsState fromFile;
    ReadSettings(tree.Path("tdl.ini"), fromFile);
    EXPECT_EQ(fromFile.options, s.options);
    EXPECT_EQ(fromFile.ignoredTypes, s.ignoredTypes);
    EXPECT_EQ(fromFile.recentSources, s.recentSources);
    EXPECT_EQ(fromFile.projectList, s.projectList);
}

TEST(SettingsFile, ReadsAHugeFileWithoutHoldingIt)
{
    // 96 MiB of NUL bytes on one line (a sparse file, so it costs no disk),
    // then real lines. The giant line is dropped; what follows is read, and
    // the reader never holds more than a bounded part of the file.
    TempTree tree;
    const std::string path = tree.Path("tdl.ini");
    const off_t hole = off_t{96} * 1024 * 1024;
    {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        const std::string head = "[Source]\r\n/first\r\n";
        ASSERT_EQ(::write(fd, head.data(), head.size()), static_cast<ssize_t>(head.size()));
        ASSERT_EQ(::lseek(fd, hole, SEEK_SET), hole);
        const std::string tail = "\r\n/second\r\n[Option]\r\nIgnoreTime=7\r\n";
        ASSERT_EQ(::write(fd, tail.data(), tail.size()), static_cast<ssize_t>(tail.size()));
        ::close(fd);
    }

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rusage before {};
        ::getrusage(RUSAGE_SELF, &before);
        SettingsState s;
        ReadSettings(path, s);
        rusage after {};
        ::getrusage(RUSAGE_SELF, &after);
        const long grownKiB = after.ru_maxrss - before.ru_maxrss;
        const bool ok = s.recentSources[0] == "/first" && s.recentSources[1] == "/second" &&
                        s.recentSources[2].empty() && s.options.IgnoreTime == 7;
        ::_exit(!ok ? 1 : grownKiB > 32 * 1024 ? 2 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_NE(WEXITSTATUS(status), 1) << "content after the huge line was not read";
    EXPECT_NE(WEXITSTATUS(status), 2) << "reading took more than 32 MiB of memory";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(SettingsFile, LinesAcrossReadBlocksAndTheLineLengthLimit)
{
    // The reader takes the file in blocks of 64 KiB: lines and CR LF pairs
    // that straddle a block boundary come through whole.
    TempTree tree;
    const std::string head = "[Source]\r\n";
    const std::string longFolder = "/" + std::string(65535 - head.size() - 1, 'p');
    const std::string spanning = "/" + std::string(70000, 'q');
    tree.WriteFile("tdl.ini", head + longFolder + "\r\n/b\r\n" + spanning + "\r\n[Option]\r\nIgnoreTime=3");
    SettingsState s;
    ReadSettings(tree.Path("tdl.ini"), s);
    EXPECT_EQ(s.recentSources[0], longFolder);
    EXPECT_EQ(s.recentSources[1], "/b");
    EXPECT_EQ(s.recentSources[2], spanning);
    EXPECT_EQ(s.recentSources[3], "");
    EXPECT_EQ(s.options.IgnoreTime, 3);

    // Many short lines with each kind of line end, over many blocks.
    std::string many = "[IgnoreFile]\n";
    const char* ends[] = {"\n", "\r", "\r\n"};
    for (int i = 0; i < 60000; ++i)
        many += "n" + std::to_string(i) + ends[i % 3];
    tree.WriteFile("many.ini", many);
    SettingsState m;
    ReadSettings(tree.Path("many.ini"), m);
    ASSERT_EQ(m.ignoredTypes.size(), 60000u);
    EXPECT_EQ(m.ignoredTypes[0], "n0");
    EXPECT_EQ(m.ignoredTypes[31337], "n31337");
    EXPECT_EQ(m.ignoredTypes[59999], "n59999");

    // A line of up to 1 MiB is data; a longer one cannot be anything the
    // program wrote and is dropped.
    const std::string limit(1024 * 1024, 'x');
    const SettingsState big = Read("[IgnoreFile]\r\n" + limit + "\r\n" + limit + "y\r\nz\r" + limit + "yy");
    ASSERT_EQ(big.ignoredTypes.size(), 2u);
    EXPECT_EQ(big.ignoredTypes[0], limit);
    EXPECT_EQ(big.ignoredTypes[1], "z");
}

TEST(SettingsFile, AFileThatCannotBeReadGivesTheDefaults)
{
    TempTree tree;
    SettingsState missing;
    missing.projectList = {"x|y|z"};
    ReadSettings(tree.Path("none.ini"), missing);
    EXPECT_EQ(missing.options, CompareOptions::Defaults());
    EXPECT_TRUE(missing.projectList.empty());

    tree.MakeDir("folder.ini");
    SettingsState folder;
    ReadSettings(tree.Path("folder.ini"), folder);
    EXPECT_EQ(folder.options, CompareOptions::Defaults());

    // Neither a pipe nor a device is waited on or read.
    tree.MakeFifo("pipe.ini");
    SettingsState pipe;
    pipe.options.IgnoreTime = 99;
    ReadSettings(tree.Path("pipe.ini"), pipe);
    EXPECT_EQ(pipe.options, CompareOptions::Defaults());
    SettingsState zero;
    ReadSettings("/dev/zero", zero);
    EXPECT_EQ(zero.options, CompareOptions::Defaults());

    tree.WriteFile("locked.ini", Lines({"[Option]", "IgnoreTime=5"}));
    tree.Chmod("locked.ini", 0000);
    const std::string locked = tree.Path("locked.ini");
    EXPECT_EQ(test::RunUnprivileged([&] {
                  SettingsState s;
                  s.options.IgnoreTime = 99;
                  ReadSettings(locked, s);
                  return s.options == CompareOptions::Defaults();
              }),
              0);
}

TEST(SettingsFile, AFailedWriteLeavesTheOldFileAndNoTemporaryFile)
{
    TempTree tree;
    const SettingsState next = SampleState();

    // A folder that does not exist.
    const auto missing = WriteSettings(tree.Path("no/such/folder/tdl.ini"), next);
    EXPECT_FALSE(missing.ok());
    EXPECT_NE(missing.error.find("No such file or directory"), std::string::npos) << missing.error;
    EXPECT_FALSE(tree.Exists("no"));

    // A folder the user may not write: the old file stays as it was.
    const std::string old = Lines({"[Source]", "/old"});
    tree.WriteFile("locked/tdl.ini", old);
    tree.Chmod("locked/tdl.ini", 0666);
    tree.Chmod("locked", 0555);
    const std::string path = tree.Path("locked/tdl.ini");
    EXPECT_EQ(test::RunUnprivileged([&] {
                  const auto result = WriteSettings(path, next);
                  return !result.ok() && result.error.find("Permission denied") != std::string::npos &&
                         result.error.find(path) != std::string::npos;
              }),
              0);
    EXPECT_EQ(tree.ReadFile("locked/tdl.ini"), old);
    EXPECT_EQ(FolderEntries(tree.Path("locked")), std::vector<std::string>{"tdl.ini"});

    // A settings file the user may not write is not replaced either.
    tree.WriteFile("frozen/tdl.ini", old);
    tree.Chmod("frozen/tdl.ini", 0444);
    tree.Chmod("frozen", 0777); // the folder alone would allow the replacement
    const std::string frozen = tree.Path("frozen/tdl.ini");
    EXPECT_EQ(test::RunUnprivileged([&] {
                  const auto result = WriteSettings(frozen, next);
                  return !result.ok() && result.error.find("Permission denied") != std::string::npos;
              }),
              0);
    EXPECT_EQ(tree.ReadFile("frozen/tdl.ini"), old);
    EXPECT_EQ(FolderEntries(tree.Path("frozen")), std::vector<std::string>{"tdl.ini"});

    // The path names a folder.
    tree.MakeDir("dir.ini");
    EXPECT_FALSE(WriteSettings(tree.Path("dir.ini"), next).ok());
    EXPECT_EQ(FolderEntries(tree.Root()), (std::vector<std::string>{"dir.ini", "frozen", "locked"}));
}

TEST(SettingsFile, WriteReplacesTheFileAndKeepsItsPermissionsAndLinks)
{
    TempTree tree;
    tree.WriteFile("tdl.ini", "old contents that are longer than nothing\r\n");
    tree.Chmod("tdl.ini", 0640);
    const SettingsState s = SampleState();
    ASSERT_TRUE(WriteSettings(tree.Path("tdl.ini"), s).ok());
    EXPECT_EQ(tree.ReadFile("tdl.ini"), SettingsText(s));
    struct stat st {};
    ASSERT_EQ(::stat(tree.Path("tdl.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // A settings file that is a symbolic link: the linked file is rewritten, the link stays.
    tree.WriteFile("real/settings.ini", "x");
    tree.Symlink("real/settings.ini", "link.ini");
    ASSERT_TRUE(WriteSettings(tree.Path("link.ini"), s).ok());
    struct stat link {};
    ASSERT_EQ(::lstat(tree.Path("link.ini").c_str(), &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode));
    EXPECT_EQ(tree.ReadFile("real/settings.ini"), SettingsText(s));
}

TEST(SettingsFile, EntriesWithLineBreaksAreNotWritten)
{
    // Such an entry would come back as several lines, even as a header or an option.
    SettingsState s;
    s.recentSources = {"/ok", "/evil\r\n[IgnoreFile]\r\ninjected"};
    s.projectList = {"Bad|/a\n|/b"};
    s.ignoredTypes = {"x\ry", "fine"};
    const std::string text = SettingsText(s);
    EXPECT_EQ(text.find("evil"), std::string::npos);
    EXPECT_EQ(text.find("Bad"), std::string::npos);
    EXPECT_NE(text.find("[Project]\r\n\r\n\r\n[Option]"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 20), "[IgnoreFile]\r\nfine\r\n");
    const SettingsState back = Read(text);
    EXPECT_EQ(back.ignoredTypes, std::vector<std::string>{"fine"});
    EXPECT_EQ(back.recentSources[0], "/ok");
    EXPECT_EQ(back.recentSources[1], "");
}

TEST(SettingsFile, RememberRecentFolderKeepsKnownFoldersInPlace)
{
    RecentFolders slots{};
    RememberRecentFolder(slots, "/home/ann/Photos");
    RememberRecentFolder(slots, "/srv/share/");
    EXPECT_EQ(slots[0], "/srv/share/");
    EXPECT_EQ(slots[1], "/home/ann/Photos");

    // Known regardless of case and of one trailing separator: nothing moves.
    const RecentFolders before = slots;
    RememberRecentFolder(slots, "/HOME/ann/photos/");
    RememberRecentFolder(slots, "/srv/SHARE");
    RememberRecentFolder(slots, "/srv/share/");
    EXPECT_EQ(slots, before);
    RememberRecentFolder(slots, "/srv/\xC3\x9C" "bersicht"); // Übersicht, then üBERSICHT
    RememberRecentFolder(slots, "/srv/\xC3\xBC" "BERSICHT/");
    EXPECT_EQ(slots[0], "/srv/\xC3\x9C" "bersicht");
    EXPECT_EQ(slots[1], "/srv/share/");
    slots = before;

    // Only one trailing separator is disregarded.
    RememberRecentFolder(slots, "/srv/share//");
    EXPECT_EQ(slots[0], "/srv/share//");
    EXPECT_EQ(slots[1], "/srv/share/");
    EXPECT_EQ(slots[2], "/home/ann/Photos");

    // The root is a folder like any other, not a free slot.
    RememberRecentFolder(slots, "/");
    EXPECT_EQ(slots[0], "/");
    RememberRecentFolder(slots, "/");
    EXPECT_EQ(slots[1], "/srv/share//");
    EXPECT_EQ(slots[4], "");

    // A new folder enters at slot 0 and the content of slot 9 is dropped.
    RecentFolders full{};
    for (int i = 9; i >= 0; --i)
        RememberRecentFolder(full, "/f" + std::to_string(i));
    EXPECT_EQ(full[0], "/f0");
    EXPECT_EQ(full[9], "/f9");
    RememberRecentFolder(full, "/new");
    EXPECT_EQ(full[0], "/new");
    EXPECT_EQ(full[1], "/f0");
    EXPECT_EQ(full[9], "/f8");
    RememberRecentFolder(full, "/F5/");
    EXPECT_EQ(full[6], "/f5");
    EXPECT_EQ(full[0], "/new");

    // The same rule for drive-letter paths.
    RecentFolders drives{};
    RememberRecentFolder(drives, "C:\\Data\\", '\\');
    RememberRecentFolder(drives, "c:\\data", '\\');
    RememberRecentFolder(drives, "D:\\", '\\');
    RememberRecentFolder(drives, "d:", '\\');
    EXPECT_EQ(drives[0], "D:\\");
    EXPECT_EQ(drives[1], "C:\\Data\\");
    EXPECT_EQ(drives[2], "");

    // An empty folder is never remembered.
    RememberRecentFolder(drives, "", '\\');
    EXPECT_EQ(drives[0], "D:\\");
}

} // namespace
} // namespace tandrel::settings
