#include "platform/remote/LoopbackSshd.h"

#include "engine/ReferenceScan.h"
#include "engine/FolderReadAhead.h"
#include "engine/ScanFixture.h"
#include "platform/remote/RemoteSides.h"
#include "platform/remote/RemoteTree.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sys/stat.h>

namespace tandrel::engine {
namespace {

using platform::remote::RemoteSides;
using test::LoopbackSshd;

// Comparisons whose sides lie on the tests' own sshd: each test gets a
// folder there holding a source tree and a copy of it made with `cp -a`.
class RemoteScanTest : public test::LoopbackSshdTest {
protected:

    void SetUp() override
    {
        LoopbackSshdTest::SetUp();
        if (IsSkipped())
            return;
        m_folder = s_sshd->TestFolder();
        m_sides.SetOptions(s_sshd->Options());
    }

    std::string Local(const std::string& name) const { return m_folder + "/" + name; }
    std::string Remote(const std::string& name) const { return s_sshd->Side(Local(name)).Text(); }

    void Write(const std::string& relative, const std::string& content, std::int64_t mtime = 1700000000) const
    {
        const std::string path = Local(relative);
        std::ofstream(path, std::ios::binary) << content;
        const timespec times[2] = {{mtime, 0}, {mtime, 0}};
        ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
    }
    void Folder(const std::string& relative) const { ::mkdir(Local(relative).c_str(), 0755); }

    // A source tree with names that need care, and its copy with some changes.
    void MakeTrees() const
    {
        for (const char* folder : {"src", "src/sub", "src/sub/deep", "src/only here", "src/Ärger ünd Öl"})
            Folder(folder);
        Write("src/a.txt", "alpha");
        Write("src/with space.txt", "beta");
        Write("src/Ärger ünd Öl/naïve.txt", "gamma");
        Write("src/sub/b.txt", "delta");
        Write("src/sub/deep/c.txt", "epsilon");
        Write("src/only here/d.txt", "zeta");
        Write("src/sub/newer.txt", "eta");
        Write("src/sub/size.txt", "theta");
        std::system(("cp -a '" + Local("src") + "' '" + Local("dst") + "'").c_str());
        std::system(("rm -rf '" + Local("dst/only here") + "' '" + Local("dst/sub/b.txt") + "'").c_str());
        Write("dst/sub/newer.txt", "eta", 1600000000);
        Write("dst/sub/size.txt", "theta, longer");
        Write("dst/sub/deep/extra.txt", "iota");
        Folder("dst/extra folder");
        s_sshd->GiveToUser(m_folder);
    }

    ResultStore Compare(const std::string& source, const std::string& destination, bool subfolders = true)
    {
        test::ScanSetup setup;
        setup.includeSubdirectories = subfolders;
        ResultStore store;
        RunFlag flag;
        flag.Set(true);
        ScanContext context = test::ScanContextFor(source, destination, setup, store, flag);
        context.remoteSides = &m_sides;
        RunScan(context);
        return store;
    }

    std::string m_folder;
    RemoteSides m_sides;
};


struct SidesCase {
    const char* name;
    bool remoteSource;
    bool remoteDestination;
    bool subfolders;
};

class RemoteScanSidesTest : public RemoteScanTest, public ::testing::WithParamInterface<SidesCase> {};

TEST_P(RemoteScanSidesTest, GivesTheListsOfTheSameTreesComparedLocally)
{
    MakeTrees();
    const SidesCase& sides = GetParam();
    const ResultStore local = Compare(Local("src"), Local("dst"), sides.subfolders);
    const ResultStore remote = Compare(sides.remoteSource ? Remote("src") : Local("src"),
                                       sides.remoteDestination ? Remote("dst") : Local("dst"), sides.subfolders);
    EXPECT_TRUE(remote.UnreadableFolders().empty()) << remote.UnreadableFolders().front().reason;
    EXPECT_GT(local.TotalCount(), 1u);
    EXPECT_EQ(test::ListsOf(remote), test::ListsOf(local));
    EXPECT_EQ(remote.SourceRoot(), (sides.remoteSource ? Remote("src") : Local("src")) + "/");
}

INSTANTIATE_TEST_SUITE_P(Sides, RemoteScanSidesTest,
                         ::testing::Values(SidesCase{"RemoteDestination", false, true, true},
                                           SidesCase{"RemoteSource", true, false, true},
                                           SidesCase{"BothRemote", true, true, true},
                                           SidesCase{"BothRemoteTopLevelOnly", true, true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

struct UnreadableCase {
    const char* name;
    bool sourceSide; // the unreadable folder is the source's (else the destination's)
};

class RemoteUnreadableTest : public RemoteScanTest, public ::testing::WithParamInterface<UnreadableCase> {};

TEST_P(RemoteUnreadableTest, IsAnErrorWithTheServersReasonNeverAnAbsence)
{
    MakeTrees();
    const bool sourceSide = GetParam().sourceSide;
    const std::string folder = sourceSide ? "src" : "dst";
    ASSERT_EQ(::chmod(Local(folder + "/sub").c_str(), 0), 0);
    const ResultStore store = sourceSide ? Compare(Remote("src"), Local("dst")) : Compare(Local("src"), Remote("dst"));
    ::chmod(Local(folder + "/sub").c_str(), 0755);
    ASSERT_EQ(store.UnreadableFolders().size(), 1u);
    EXPECT_EQ(store.UnreadableFolders()[0].path, Remote(folder) + "/sub");
    EXPECT_EQ(store.UnreadableFolders()[0].reason, "Permission denied");
    for (ResultCategory category : kAllCategories)
        for (const std::string& path : test::Relatives(store, category))
            EXPECT_NE(path.rfind("sub/", 0), 0u) << path;
    EXPECT_EQ(test::RelativeSet(store, ResultCategory::NotInDestination),
              (std::set<std::string>{"only here", "only here/d.txt"}));
    EXPECT_EQ(test::RelativeSet(store, ResultCategory::NotInSource), (std::set<std::string>{"extra folder"}));
}

INSTANTIATE_TEST_SUITE_P(Sides, RemoteUnreadableTest,
                         ::testing::Values(UnreadableCase{"Source", true}, UnreadableCase{"Destination", false}),
                         [](const auto& info) { return std::string(info.param.name); });

// Clears the run flag the first time the scan gives the window its turn.
class CancelAtOnce : public ScanObserver {
public:
    explicit CancelAtOnce(RunFlag& flag) : m_flag(flag) {}
    void EntryProcessed() override { m_flag.Set(false); }
    void Waiting() override { m_flag.Set(false); }

private:
    RunFlag& m_flag;
};

TEST_F(RemoteScanTest, CancelWhileTheRemoteTreeIsReadAddsNothingAndLeavesTheConnectionUsable)
{
    MakeTrees();
    FolderReadAhead::SetPulseInterval(std::chrono::microseconds(0));
    ResultStore store;
    RunFlag flag;
    flag.Set(true);
    CancelAtOnce cancel(flag);
    test::ScanSetup setup;
    setup.observer = &cancel;
    ScanContext context = test::ScanContextFor(Local("src"), Remote("dst"), setup, store, flag);
    context.remoteSides = &m_sides;
    RunScan(context);
    FolderReadAhead::SetPulseInterval(std::chrono::microseconds(10000));
    EXPECT_EQ(store.TotalCount(), 0u);
    EXPECT_EQ(test::ListsOf(Compare(Local("src"), Remote("dst"))), test::ListsOf(Compare(Local("src"), Local("dst"))));
}

TEST_F(RemoteScanTest, RemoteRootThatIsAFileIsAnErrorAndListsNothingMissing)
{
    MakeTrees();
    Write("file", "not a folder");
    s_sshd->GiveToUser(m_folder);
    const ResultStore store = Compare(Local("src"), Remote("file"));
    ASSERT_EQ(store.UnreadableFolders().size(), 1u);
    EXPECT_EQ(store.UnreadableFolders()[0].reason, "Not a directory");
    EXPECT_EQ(store.TotalCount(), 0u);
    EXPECT_EQ(store.EmptyRootFound(), EmptyRoot::None);
}

TEST_F(RemoteScanTest, HostThatDoesNotAnswerIsAnErrorWithSshsReason)
{
    MakeTrees();
    auto options = s_sshd->Options();
    options.connectTimeoutSeconds = 1;
    m_sides.SetOptions(options);
    // A port nothing listens on, behind an address of the documentation's range.
    const ResultStore store = Compare(Local("src"), "sftp://192.0.2.1:9/nowhere");
    ASSERT_FALSE(store.UnreadableFolders().empty());
    EXPECT_EQ(store.UnreadableFolders()[0].path, "sftp://192.0.2.1:9/nowhere/");
    EXPECT_FALSE(store.UnreadableFolders()[0].reason.empty());
    EXPECT_EQ(store.TotalCount(), 0u);
}

TEST_F(RemoteScanTest, EmptyRemoteRootIsCaught)
{
    MakeTrees();
    Folder("empty");
    s_sshd->GiveToUser(m_folder);
    EXPECT_EQ(Compare(Local("src"), Remote("empty")).EmptyRootFound(), EmptyRoot::Destination);
    EXPECT_EQ(Compare(Remote("empty"), Local("src")).EmptyRootFound(), EmptyRoot::Source);
}

TEST_F(RemoteScanTest, ServerThatTellsCaseApartPairsNamesExactly)
{
    Folder("src");
    Folder("dst");
    Write("src/Name.txt", "x");
    Write("dst/name.txt", "x");
    s_sshd->GiveToUser(m_folder);
    platform::remote::RemoteStatus error;
    auto* session = m_sides.For(s_sshd->Side(Local("dst")), error);
    ASSERT_TRUE(session) << error.text;
    const auto tree = platform::remote::RemoteTree::Read(*session, s_sshd->Side(Local("dst")), {});
    EXPECT_FALSE(tree->FoldsCase());
    const ResultStore store = Compare(Local("src"), Remote("dst"));
    EXPECT_EQ(test::Relatives(store, ResultCategory::NotInDestination), std::vector<std::string>{"Name.txt"});
    EXPECT_EQ(test::Relatives(store, ResultCategory::NotInSource), std::vector<std::string>{"name.txt"});
}

} // namespace
} // namespace tandrel::engine
