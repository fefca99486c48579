#include "sync/remote/RemoteRowsFixture.h"

#include <dirent.h>

namespace tandrel::sync {

using engine::ResultCategory;


std::vector<std::string> RemoteRowsTest::Names(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(dir))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.push_back(e->d_name);
        ::closedir(dir);
    }
    return names;
}

namespace {

constexpr auto kMissingDest = ResultCategory::NotInDestination;
constexpr auto kMissingSource = ResultCategory::NotInSource;
constexpr auto kNewer = ResultCategory::NewerThanDestination;

std::string Bytes(std::size_t size, unsigned seed)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 131 + seed * 7) % 251);
    return bytes;
}

TEST_F(RemoteRowsTest, CopiesFilesFoldersAndLinksToTheServerExactly)
{
    ASSERT_EQ(::mkdir(Local("sub dir").c_str(), 0755), 0);
    Write(Local("a b.txt"), Bytes(300000, 1), 1400000000, 0640);
    Write(Local("sub dir/ünï çödé"), "small", 1300000000, 0600);
    Write(Local("sub dir/empty"), "", 1200000000, 0755);
    ASSERT_EQ(::symlink("../a b.txt", Local("sub dir/link").c_str()), 0);
    SetTime(Local("sub dir/link"), 1100000000);
    SetTime(Local("sub dir"), 1000000000);
    for (const char* name : {"a b.txt", "sub dir", "sub dir/ünï çödé", "sub dir/empty", "sub dir/link"})
        Add(kMissingDest, name, std::string(name) == "sub dir");
    ListAsCompared(kMissingDest);

    const SyncOutcome outcome = Copy(kMissingDest);

    EXPECT_EQ(outcome.succeeded, 5u) << (recorder.failures.empty() ? "" : recorder.failures.front());
    EXPECT_EQ(outcome.failed, 0u);
    for (const char* name : {"a b.txt", "sub dir/ünï çödé", "sub dir/empty"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Read(Server(name)), Read(Local(name)));
        EXPECT_EQ(Stat(Server(name)).st_mtime, Stat(Local(name)).st_mtime);
        EXPECT_EQ(Stat(Server(name)).st_mode & 07777, Stat(Local(name)).st_mode & 07777);
    }
    char target[64] = {};
    ASSERT_GT(::readlink(Server("sub dir/link").c_str(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "../a b.txt");
    EXPECT_EQ(Stat(Server("sub dir/link")).st_mtime, 1100000000);
    EXPECT_TRUE(S_ISDIR(Stat(Server("sub dir")).st_mode));
    EXPECT_EQ(Stat(Server("sub dir")).st_mtime, 1000000000);
    EXPECT_EQ(TemporariesIn(Server("")) + TemporariesIn(Server("sub dir")), 0);
    for (std::size_t k = 0; k < store.Count(kMissingDest); ++k)
        EXPECT_EQ(store.Row(kMissingDest, k).Tag(), engine::kProcessedTag);
}

// A new file's folders that the run does not list are made on the way, on
// either side, as a local copy makes them.
TEST_F(RemoteRowsTest, MakesAFilesMissingFoldersOnTheWay)
{
    ASSERT_EQ(::mkdir(Local("new").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(Local("new/deeper").c_str(), 0755), 0);
    Write(Local("new/deeper/f"), "up");
    ASSERT_EQ(::symlink("f", Local("new/deeper/link").c_str()), 0);
    ASSERT_EQ(::mkdir(Server("far").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(Server("far/away").c_str(), 0755), 0);
    Write(Server("far/away/g"), "down");
    s_sshd->GiveToUser(Server(""));
    Add(kMissingDest, "new/deeper/f");
    Add(kMissingDest, "new/deeper/link");
    Add(kMissingSource, "far/away/g");
    ListAsCompared(kMissingDest);
    ListAsCompared(kMissingSource);

    const SyncOutcome up = Copy(kMissingDest);
    const SyncOutcome down = Copy(kMissingSource, CopyDirection::DestinationToSource);

    EXPECT_EQ(up.succeeded, 2u) << (recorder.failures.empty() ? "" : recorder.failures.front());
    EXPECT_EQ(down.succeeded, 1u) << (recorder.failures.empty() ? "" : recorder.failures.front());
    EXPECT_EQ(Read(Server("new/deeper/f")), "up");
    EXPECT_TRUE(S_ISLNK(Stat(Server("new/deeper/link")).st_mode));
    EXPECT_EQ(Read(Local("far/away/g")), "down");
}

TEST_F(RemoteRowsTest, CopiesFilesFoldersAndLinksFromTheServerExactly)
{
    ASSERT_EQ(::mkdir(Server("sub dir").c_str(), 0755), 0);
    Write(Server("a b.txt"), Bytes(300000, 2), 1400000000, 0640);
    Write(Server("sub dir/ünï çödé"), "small", 1300000000, 0600);
    Write(Server("sub dir/empty"), "", 1200000000, 0755);
    ASSERT_EQ(::symlink("../a b.txt", Server("sub dir/link").c_str()), 0);
    SetTime(Server("sub dir/link"), 1100000000);
    s_sshd->GiveToUser(Server(""));
    for (const char* name : {"a b.txt", "sub dir", "sub dir/ünï çödé", "sub dir/empty", "sub dir/link"})
        Add(kMissingSource, name, std::string(name) == "sub dir");
    ListAsCompared(kMissingSource);

    const SyncOutcome outcome = Copy(kMissingSource, CopyDirection::DestinationToSource);

    EXPECT_EQ(outcome.succeeded, 5u) << (recorder.failures.empty() ? "" : recorder.failures.front());
    for (const char* name : {"a b.txt", "sub dir/ünï çödé", "sub dir/empty"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Read(Local(name)), Read(Server(name)));
        EXPECT_EQ(Stat(Local(name)).st_mtime, Stat(Server(name)).st_mtime);
        EXPECT_EQ(Stat(Local(name)).st_mode & 07777, Stat(Server(name)).st_mode & 07777);
    }
    char target[64] = {};
    ASSERT_GT(::readlink(Local("sub dir/link").c_str(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "../a b.txt");
    EXPECT_EQ(Stat(Local("sub dir/link")).st_mtime, 1100000000);
    EXPECT_EQ(TemporariesIn(Local("")) + TemporariesIn(Local("sub dir")), 0);
}

TEST_F(RemoteRowsTest, DeletesServerItemsContentBeforeFolders)
{
    ASSERT_EQ(::mkdir(Server("old dir").c_str(), 0755), 0);
    Write(Server("old dir/ä file"), "x");
    ASSERT_EQ(::symlink("nowhere", Server("old dir/link").c_str()), 0);
    Write(Server("keep"), "k");
    s_sshd->GiveToUser(Server(""));
    for (const char* name : {"old dir", "old dir/ä file", "old dir/link"})
        Add(kMissingSource, name, std::string(name) == "old dir");
    ListAsCompared(kMissingSource);

    const SyncOutcome outcome = Delete(kMissingSource);

    EXPECT_EQ(outcome.succeeded, 3u) << (recorder.failures.empty() ? "" : recorder.failures.front());
    EXPECT_EQ(Names(Server("")), std::vector<std::string>{"keep"});
}

// The row acts only on what the comparison showed, and keeps what the
// settings protect; the server's file stays exactly as it was.
struct KeptCase {
    const char* name;
    bool overwriting;
    unsigned mode;
    bool changeAfterListing;
    bool keepReplaced;
    bool download; // the local side is written, from the server
    const char* error; // empty: replaced
};

// A case is named by its name in test output, not by its bytes.
void PrintTo(const KeptCase& c, std::ostream* out)
{
    *out << c.name;
}

class RemoteRowsKeptTest : public RemoteRowsTest, public ::testing::WithParamInterface<KeptCase> {};

TEST_P(RemoteRowsKeptTest, ReplacesOnlyWhatTheRulesAllow)
{
    const KeptCase& c = GetParam();
    options.Overwriting = c.overwriting;
    options.IgnoreError = true;
    const std::string from = c.download ? Server("f") : Local("f");
    const std::string to = c.download ? Local("f") : Server("f");
    Write(from, "new content", 1600000000);
    Write(to, "old", 1500000000, c.mode);
    Add(kNewer, "f");
    ListAsCompared(kNewer);
    if (c.changeAfterListing)
        Write(to, "changed", 1500000000, c.mode);
    const std::string before = Read(to);
    CopyChoices choices;
    choices.keepReplaced = c.keepReplaced;

    const SyncOutcome outcome =
        Copy(kNewer, c.download ? CopyDirection::DestinationToSource : CopyDirection::SourceToDestination, choices);

    const std::string shown = c.download ? Local("f") : RemoteRoot() + "f";
    if (std::string(c.error).empty()) {
        EXPECT_EQ(outcome.succeeded, 1u) << (recorder.failures.empty() ? "" : recorder.failures.front());
        EXPECT_EQ(Read(to), "new content");
        return;
    }
    EXPECT_EQ(outcome.failed, 1u);
    ASSERT_EQ(recorder.failures.size(), 1u);
    std::string expected = c.error;
    expected.replace(expected.find("%"), 1, shown);
    EXPECT_EQ(recorder.failures.front(), expected);
    EXPECT_EQ(Read(to), before);
    EXPECT_EQ(Stat(to).st_mode & 0777, c.mode);
    EXPECT_EQ(TemporariesIn(Server("")) + TemporariesIn(Local("")), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, RemoteRowsKeptTest,
    ::testing::Values(
        KeptCase{"Changed", true, 0644, true, false, false, "'%' has changed since the comparison"},
        KeptCase{"ReadOnlyKept", false, 0444, false, false, false,
                 "Cannot replace read-only file '%': Permission denied"},
        KeptCase{"ReadOnlyReplaced", true, 0444, false, false, false, ""},
        KeptCase{"NoRemoteTrash", true, 0644, false, true, false,
                 "Cannot keep the replaced file '%' in the trash: it is on a remote host, which has no trash this "
                 "desktop can restore; it was not replaced"},
        KeptCase{"ChangedHere", true, 0644, true, false, true, "'%' has changed since the comparison"},
        KeptCase{"ReadOnlyKeptHere", false, 0444, false, false, true,
                 "Cannot replace read-only file '%': Permission denied"},
        KeptCase{"ReplacedHere", false, 0644, false, false, true, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RemoteRowsTest, DeleteToTheTrashIsRefusedOnARemoteSide)
{
    Write(Server("f"), "x");
    Add(kMissingSource, "f");
    ListAsCompared(kMissingSource);

    const SyncOutcome outcome = Delete(kMissingSource, DeleteTarget::Trash);

    EXPECT_EQ(outcome.failed, 1u);
    ASSERT_EQ(recorder.failures.size(), 1u);
    EXPECT_EQ(recorder.failures.front(), "Cannot move '" + RemoteRoot() +
                                          "f' to the trash: the folder is on a remote host, which has no trash this "
                                          "desktop can restore");
    EXPECT_EQ(Read(Server("f")), "x");
}

// A folder the login user cannot search: its items cannot be looked at,
// which is an error with the server's reason, never an absence.
TEST_F(RemoteRowsTest, AnUnsearchableServerFolderFailsRowsWithTheReason)
{
    ASSERT_EQ(::mkdir(Server("locked").c_str(), 0755), 0);
    Write(Server("locked/f"), "old", 1500000000);
    ASSERT_EQ(::mkdir(Local("locked").c_str(), 0755), 0);
    Write(Local("locked/f"), "new", 1600000000);
    Add(kNewer, "locked/f");
    Add(kMissingSource, "locked/f");
    ListAsCompared(kNewer);
    ListAsCompared(kMissingSource);
    s_sshd->GiveToUser(Server("locked"));
    ASSERT_EQ(::chmod(Server("locked").c_str(), 0), 0);
    options.IgnoreError = true;

    Copy(kNewer);
    Delete(kMissingSource);

    ::chmod(Server("locked").c_str(), 0755);
    ASSERT_EQ(recorder.failures.size(), 2u);
    EXPECT_EQ(recorder.failures[0], "Cannot copy to '" + RemoteRoot() + "locked/f': Permission denied");
    EXPECT_EQ(recorder.failures[1], "Cannot delete '" + RemoteRoot() + "locked/f': Permission denied");
    EXPECT_EQ(Read(Server("locked/f")), "old");
}

// A cleared run flag starts no further row; the rows in hand end on the
// server, and only they are done.
TEST_F(RemoteRowsTest, CancelStartsNoFurtherRow)
{
    constexpr int kFiles = 300;
    for (int i = 0; i < kFiles; ++i) {
        Write(Local("f" + std::to_string(i)), "content " + std::to_string(i));
        Add(kMissingDest, "f" + std::to_string(i));
    }
    ListAsCompared(kMissingDest);
    recorder.onPump = [&](int pump) {
        if (pump == kFiles + 2)
            runFlag.Set(false);
    };

    const SyncOutcome outcome = Copy(kMissingDest);

    EXPECT_TRUE(outcome.cancelled);
    EXPECT_LT(outcome.started, static_cast<std::size_t>(kFiles));
    EXPECT_EQ(outcome.succeeded, outcome.started);
    for (std::size_t k = 0; k < store.Count(kMissingDest); ++k) {
        const engine::CompareItem& row = store.Row(kMissingDest, k);
        EXPECT_EQ(::access(Server(row.relativePath).c_str(), F_OK) == 0, row.Tag() == engine::kProcessedTag)
            << row.relativePath;
    }
}

// The connection goes while many files are on their way: no row is marked
// done that is not on the server in full, and a second run over the rows
// left cleans what the first left behind and brings the side into line.
TEST_F(RemoteRowsTest, AConnectionLostDuringACopyLeavesNothingFalseAndASecondRunConverges)
{
    options.IgnoreError = true;
    constexpr int kFiles = 120;
    for (int i = 0; i < kFiles; ++i) {
        const std::string name = "file " + std::to_string(i);
        Write(Local(name), Bytes(200000, static_cast<unsigned>(i)), 1400000000 + i);
        Add(kMissingDest, name);
    }
    ListAsCompared(kMissingDest);
    recorder.onPump = [&](int pump) {
        if (pump == kFiles + 4)
            s_sshd->KillSessions();
    };

    const SyncOutcome first = Copy(kMissingDest);

    EXPECT_GT(first.failed, 0u);
    for (const std::string& failure : recorder.failures)
        EXPECT_NE(failure.find("connection lost"), std::string::npos) << failure;
    for (std::size_t k = 0; k < store.Count(kMissingDest); ++k) {
        const engine::CompareItem& row = store.Row(kMissingDest, k);
        if (row.Tag() == engine::kProcessedTag)
            EXPECT_EQ(Read(Server(row.relativePath)), Read(Local(row.relativePath))) << row.relativePath;
        else
            EXPECT_FALSE(row.StatusText().empty()) << row.relativePath;
    }

    // As a new comparison would: the rows done go, and so do those whose
    // file reached the server whole before the confirmation was lost.
    store.RemoveProcessedRows(kMissingDest);
    for (std::size_t k = store.Count(kMissingDest); k-- > 0;) {
        const std::string& name = store.Row(kMissingDest, k).relativePath;
        if (::access(Server(name).c_str(), F_OK) == 0 && Read(Server(name)) == Read(Local(name)))
            store.RemoveRow(kMissingDest, k);
        else
            store.Row(kMissingDest, k).checked = true;
    }
    ASSERT_GT(store.Count(kMissingDest), 0u);
    recorder = RemoteRecorder();
    const SyncOutcome second = Copy(kMissingDest);

    EXPECT_EQ(second.failed, 0u) << (recorder.failures.empty() ? "" : recorder.failures.front());
    for (int i = 0; i < kFiles; ++i) {
        const std::string name = "file " + std::to_string(i);
        EXPECT_EQ(Read(Server(name)), Read(Local(name))) << name;
    }
    EXPECT_EQ(TemporariesIn(Server("")), 0);
}

} // namespace
} // namespace tandrel::sync
