#include "settings/SettingsFile.h"

#include "settings/SettingsTestText.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace tandrel::settings {
namespace {

using namespace test_text;
using test::FolderEntries;
using test::TempTree;

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

#ifndef _WIN32
// POSIX only: Windows writes the code page or UTF-8 behind a mark (tests/windows).
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
#endif

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

#ifndef _WIN32
// POSIX only: a sparse file and a forked child's peak memory.
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
#endif

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
}

#ifndef _WIN32
// POSIX only: FIFOs, devices and modes.
TEST(SettingsFile, NeitherAPipeNorADeviceNorAnUnreadableFileIsRead)
{
    TempTree tree;
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
#endif

TEST(SettingsFile, AWriteIntoAMissingFolderOrOverAFolderFails)
{
    TempTree tree;
    const SettingsState next = SampleState();
    const auto missing = WriteSettings(tree.Path("no/such/folder/tdl.ini"), next);
    EXPECT_FALSE(missing.ok());
    EXPECT_TRUE(test::SaysReason(missing.error, ENOENT)) << missing.error;
    EXPECT_FALSE(tree.Exists("no"));

    tree.MakeDir("dir.ini");
    EXPECT_FALSE(WriteSettings(tree.Path("dir.ini"), next).ok());
    EXPECT_EQ(FolderEntries(tree.Root()), std::vector<std::string>{"dir.ini"});
}

#ifndef _WIN32
// POSIX only: modes, checked by an unprivileged child.
TEST(SettingsFile, AFailedWriteLeavesTheOldFileAndNoTemporaryFile)
{
    TempTree tree;
    const SettingsState next = SampleState();

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
    EXPECT_EQ(FolderEntries(tree.Root()), (std::vector<std::string>{"frozen", "locked"}));
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
#endif

} // namespace
} // namespace tandrel::settings
