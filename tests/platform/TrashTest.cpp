#include "platform/Trash.h"

#include "platform/FolderListing.h"

#include "support/Holds.h"
#include "support/MountSandbox.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace tandrel::platform {
namespace {

using test::FolderEntries;
using test::TempTree;

std::string RealPath(const std::string& path)
{
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

// A temporary tree whose "data" folder is the user's data home, so that the
// home trash is tree/data/Trash, on the same file system as tree/work.
class TrashTest : public ::testing::Test {
protected:
    TrashTest() { ::setenv("XDG_DATA_HOME", m_tree.Path("data").c_str(), 1); }
    ~TrashTest() override { ::unsetenv("XDG_DATA_HOME"); }

    static std::string Trashed(const std::string& name) { return "data/Trash/files/" + name; }
    std::string Info(const std::string& name) const { return m_tree.ReadFile("data/Trash/info/" + name + ".trashinfo"); }
    std::string PathLine(const std::string& relative) const
    {
        return "Path=" + PercentEncodedPath(RealPath(m_tree.Root()) + "/" + relative) + "\n";
    }

    TempTree m_tree;
};

TEST(TrashPath, PercentEncodesAllButUnreservedCharactersAndSlashes)
{
    const struct {
        const char* path;
        const char* encoded;
    } cases[] = {
        {"/home/ann/plain-name_1.txt~", "/home/ann/plain-name_1.txt~"},
        {"/a b/c%d", "/a%20b/c%25d"},
        {"/\xC3\xBC\x62\x65r#?&", "/%C3%BCber%23%3F%26"},
        {"rel/x\ny", "rel/x%0Ay"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PercentEncodedPath(c.path), c.encoded) << c.path;
}

TEST_F(TrashTest, KeptFileStaysInPlaceUntilTakenBack)
{
    m_tree.WriteFile("work/old.txt", "old version");
    const Fd folder(::open(m_tree.Path("work").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    TrashPlace place;
    bool stayed = false;
    ASSERT_TRUE(KeepInTrashAt(folder.Get(), "old.txt", m_tree.Path("work/old.txt"), place, stayed).ok());
    EXPECT_TRUE(stayed);
    EXPECT_EQ(m_tree.ReadFile("work/old.txt"), "old version");
    EXPECT_EQ(m_tree.ReadFile(Trashed("old.txt")), "old version");
    EXPECT_EQ(Info("old.txt").find("Path=" + PercentEncodedPath(RealPath(m_tree.Root()) + "/work/old.txt")), 13u);
    TakeBackFromTrash(place);
    EXPECT_TRUE(m_tree.Exists("work/old.txt"));
    EXPECT_FALSE(m_tree.Exists(Trashed("old.txt")));
    EXPECT_FALSE(m_tree.Exists("data/Trash/info/old.txt.trashinfo"));
}

TEST_F(TrashTest, HomeTrashIsInTheDataHomeOrElseBelowHome)
{
    EXPECT_EQ(HomeTrashFolder(), m_tree.Path("data/Trash"));
    ::setenv("XDG_DATA_HOME", "relative/is/not/used", 1);
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "/";
    ::setenv("HOME", "/home/ann/", 1);
    EXPECT_EQ(HomeTrashFolder(), "/home/ann/.local/share/Trash");
    ::setenv("HOME", home.c_str(), 1);
}

TEST_F(TrashTest, FileGoesToTheHomeTrashWithItsInformation)
{
    m_tree.WriteFile("work/a b%.txt", "content");
    const std::time_t before = std::time(nullptr);
    TrashPlace place;
    const FileResult result = MoveToTrash(m_tree.Path("work/a b%.txt"), TrashFolders::WholeTree, &place);
    const std::time_t after = std::time(nullptr);

    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_FALSE(m_tree.Exists("work/a b%.txt"));
    EXPECT_EQ(m_tree.ReadFile(Trashed("a b%.txt")), "content");
    EXPECT_EQ(place.trashFolder, m_tree.Path("data/Trash"));
    EXPECT_EQ(place.name, "a b%.txt");

    const std::string info = Info("a b%.txt");
    const std::string head = "[Trash Info]\n" + PathLine("work/a b%.txt") + "DeletionDate=";
    ASSERT_EQ(info.substr(0, head.size()), head);
    struct tm stamp {};
    const char* rest = ::strptime(info.c_str() + head.size(), "%Y-%m-%dT%H:%M:%S", &stamp);
    ASSERT_NE(rest, nullptr) << info;
    EXPECT_STREQ(rest, "\n");
    stamp.tm_isdst = -1;
    EXPECT_GE(std::mktime(&stamp), before - 1);
    EXPECT_LE(std::mktime(&stamp), after + 1);
    struct stat st {};
    ASSERT_EQ(::stat(m_tree.Path("data/Trash").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(TrashTest, ClashingNamesGetNumbersAndNothingInTheTrashIsReplaced)
{
    m_tree.WriteFile(Trashed("left.txt"), "an earlier leftover without information");
    for (const std::string folder : {"one", "two", "three"}) {
        m_tree.WriteFile("work/" + folder + "/same.txt", folder);
        ASSERT_TRUE(MoveToTrash(m_tree.Path("work/" + folder + "/same.txt")).ok());
    }
    m_tree.WriteFile("work/left.txt", "new");
    ASSERT_TRUE(MoveToTrash(m_tree.Path("work/left.txt")).ok());

    EXPECT_EQ(m_tree.ReadFile(Trashed("same.txt")), "one");
    EXPECT_EQ(m_tree.ReadFile(Trashed("same.txt.2")), "two");
    EXPECT_EQ(m_tree.ReadFile(Trashed("same.txt.3")), "three");
    EXPECT_TRUE(test::Holds(Info("same.txt.3"), PathLine("work/three/same.txt")));
    EXPECT_EQ(m_tree.ReadFile(Trashed("left.txt")), "an earlier leftover without information");
    EXPECT_EQ(m_tree.ReadFile(Trashed("left.txt.2")), "new");
    EXPECT_EQ(FolderEntries(m_tree.Path("data/Trash/info")),
              (std::vector<std::string>{"left.txt.2.trashinfo", "same.txt.2.trashinfo", "same.txt.3.trashinfo",
                                        "same.txt.trashinfo"}));
}

TEST_F(TrashTest, FolderTreeGoesWholeAndLinksGoAsLinks)
{
    m_tree.WriteFile("work/dir/sub/y.txt", "y");
    m_tree.Symlink("../y.txt", "work/dir/sub/inner-link");
    m_tree.WriteFile("work/target.txt", "target");
    m_tree.Symlink("target.txt", "work/link");
    ASSERT_TRUE(MoveToTrash(m_tree.Path("work/dir/")).ok());
    ASSERT_TRUE(MoveToTrash(m_tree.Path("work/link")).ok());

    EXPECT_EQ(FolderEntries(m_tree.Path("work")), std::vector<std::string>{"target.txt"});
    EXPECT_EQ(m_tree.ReadFile(Trashed("dir/sub/y.txt")), "y");
    EXPECT_TRUE(test::Holds(Info("dir"), PathLine("work/dir")));
    char text[32] = {};
    EXPECT_EQ(::readlink(m_tree.Path(Trashed("link")).c_str(), text, sizeof text - 1), 10);
    EXPECT_STREQ(text, "target.txt");
    EXPECT_EQ(m_tree.ReadFile("work/target.txt"), "target");
}

TEST_F(TrashTest, FolderThatMustBeEmptyIsRefusedWhileItHoldsEntries)
{
    m_tree.WriteFile("work/full/x", "x");
    m_tree.MakeDir("work/empty");
    EXPECT_EQ(MoveToTrash(m_tree.Path("work/full"), TrashFolders::OnlyWhenEmpty).error,
              "Cannot move to the trash '" + m_tree.Path("work/full") + "': Directory not empty");
    EXPECT_TRUE(m_tree.Exists("work/full/x"));
    EXPECT_TRUE(MoveToTrash(m_tree.Path("work/empty"), TrashFolders::OnlyWhenEmpty).ok());
    EXPECT_EQ(FolderEntries(m_tree.Path("data/Trash/info")), std::vector<std::string>{"empty.trashinfo"});
}

TEST_F(TrashTest, LongNameIsShortenedToLeaveRoomForTheInformationFile)
{
    const std::string name = std::string(240, 'n') + ".txt";
    m_tree.WriteFile("work/" + name, "long");
    TrashPlace place;
    ASSERT_TRUE(MoveToTrash(m_tree.Path("work/" + name), TrashFolders::WholeTree, &place).ok());
    EXPECT_EQ(place.name, name.substr(0, NAME_MAX - 10));
    EXPECT_EQ(m_tree.ReadFile(Trashed(place.name)), "long");
    EXPECT_TRUE(test::Holds(Info(place.name), PathLine("work/" + name)));
}

TEST_F(TrashTest, ItemReachedThroughItsOpenParentFolderIsRecordedWhereItReallyIs)
{
    m_tree.WriteFile("work/f.txt", "f");
    const int parent = ::open(m_tree.Path("work").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(parent, 0);
    ASSERT_EQ(::rename(m_tree.Path("work").c_str(), m_tree.Path("moved").c_str()), 0);
    EXPECT_EQ(MoveToTrashAt(parent, "sub/f.txt", "shown").error, "Cannot move to the trash 'shown': Invalid argument");
    const FileResult r = MoveToTrashAt(parent, "f.txt", "shown");
    ::close(parent);
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_TRUE(test::Holds(Info("f.txt"), PathLine("moved/f.txt")));
}

TEST(TrashFailure, LeavesTheItemAndNoInformationBehind)
{
    const struct {
        const char* what;
        std::function<void(TempTree&)> prepare;
        const char* item;
        std::string expected; // after the tree's root
    } cases[] = {
        {"files/ is a regular file", [](TempTree& t) { t.WriteFile("data/Trash/files", "not a folder"); }, "work/a",
         "Cannot open the trash folder '{}data/Trash/files': Not a directory"},
        {"info/ is a link",
         [](TempTree& t) {
             t.MakeDir("elsewhere");
             t.MakeDir("data/Trash/files");
             t.Symlink("../../elsewhere", "data/Trash/info");
         },
         "work/a", "Cannot open the trash folder '{}data/Trash/info': Not a directory"},
        {"the trash belongs to another user",
         [](TempTree& t) {
             t.MakeDir("data/Trash");
             (void)!::chown(t.Path("data/Trash").c_str(), 65534, 65534);
         },
         "work/a", "Cannot use the trash folder '{}data/Trash': it belongs to another user"},
        {"the item is missing", [](TempTree&) {}, "work/missing",
         "Cannot move to the trash '{}work/missing': No such file or directory"},
    };
    for (const auto& c : cases) {
        TempTree tree;
        ::setenv("XDG_DATA_HOME", tree.Path("data").c_str(), 1);
        tree.WriteFile("work/a", "stays");
        c.prepare(tree);
        std::string expected = c.expected;
        expected.replace(expected.find("{}"), 2, tree.Root());
        if (::geteuid() != 0 && std::string(c.what) == "the trash belongs to another user")
            continue; // handing a folder to another user needs root
        EXPECT_EQ(MoveToTrash(tree.Path(c.item)).error, expected) << c.what;
        EXPECT_EQ(tree.ReadFile("work/a"), "stays") << c.what;
        EXPECT_TRUE(FolderEntries(tree.Path(tree.Exists("elsewhere") ? "elsewhere" : "data/Trash/info")).empty());
    }
    ::unsetenv("XDG_DATA_HOME");
}

// Checks made inside the sandboxed child, where gtest cannot report.
struct Findings {
    std::string text;
    void Expect(bool ok, const std::string& what) { text += ok ? "" : what + "\n"; }
};

std::string ReadAll(const std::string& path)
{
    std::string text(4096, '\0');
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const ssize_t n = fd < 0 ? 0 : ::read(fd, text.data(), text.size());
    if (fd >= 0)
        ::close(fd);
    text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return text;
}

TEST_F(TrashTest, ItemOnAnotherFileSystemGoesToTheTrashAtItsTop)
{
    const std::string uid = std::to_string(::geteuid());
    const struct {
        const char* what;
        std::function<void(const std::string& top)> prepare;
        std::string trash; // below the mount's top
    } cases[] = {
        {"no shared trash", [](const std::string&) {}, ".Trash-" + uid},
        {"a shared trash with the sticky bit", [](const std::string& top) { ::mkdir((top + "/.Trash").c_str(), 01777); },
         ".Trash/" + uid},
        {"a shared trash without it", [](const std::string& top) { ::mkdir((top + "/.Trash").c_str(), 0777); },
         ".Trash-" + uid},
        {"a shared trash that is a link",
         [](const std::string& top) {
             ::mkdir((top + "/real").c_str(), 01777);
             (void)!::symlink("real", (top + "/.Trash").c_str());
         },
         ".Trash-" + uid},
    };
    const std::string top = m_tree.Path("mnt");
    m_tree.MakeDir("mnt");
    for (const auto& c : cases) {
        const test::SandboxOutcome outcome = test::RunInMountSandbox([&]() -> std::string {
            if (std::string error = test::MountTmpfs(top); !error.empty())
                return error;
            ::umask(0);
            c.prepare(top);
            ::mkdir((top + "/sub").c_str(), 0755);
            const int fd = ::open((top + "/sub/f.txt").c_str(), O_WRONLY | O_CREAT, 0644);
            (void)!::write(fd, "on tmpfs", 8);
            ::close(fd);
            const std::string trash = top + "/" + c.trash;
            Findings findings;
            TrashPlace place;
            const FileResult r = MoveToTrash(top + "/sub/f.txt", TrashFolders::WholeTree, &place);
            findings.Expect(r.ok(), "MoveToTrash: " + r.error);
            findings.Expect(place.trashFolder == trash, "trash folder " + place.trashFolder);
            findings.Expect(ReadAll(trash + "/files/f.txt") == "on tmpfs", "trashed content");
            const std::string info = ReadAll(trash + "/info/f.txt.trashinfo");
            findings.Expect(info.rfind("[Trash Info]\nPath=sub/f.txt\nDeletionDate=", 0) == 0, "info: " + info);
            struct stat st {};
            findings.Expect(::lstat(trash.c_str(), &st) == 0 && (st.st_mode & 0777) == 0700, "private trash folder");
            findings.Expect(::access(m_tree.Path("data/Trash").c_str(), F_OK) != 0, "home trash untouched");
            return findings.text;
        });
        if (outcome.skipped)
            GTEST_SKIP() << outcome.text;
        EXPECT_EQ(outcome.text, "") << c.what;
    }
}

TEST_F(TrashTest, RenameAcrossMountsFailsAndNothingIsCopied)
{
    // A bind mount keeps the device number, so the home trash is chosen, but
    // the kernel refuses a rename from one mount to another.
    m_tree.WriteFile("work/f.txt", "stays");
    m_tree.MakeDir("bound");
    const std::string bound = m_tree.Path("bound");
    const test::SandboxOutcome outcome = test::RunInMountSandbox([&]() -> std::string {
        if (std::string error = test::BindMount(m_tree.Path("work"), bound); !error.empty())
            return error;
        Findings findings;
        const FileResult r = MoveToTrash(bound + "/f.txt");
        findings.Expect(r.error == "Cannot move to the trash '" + bound + "/f.txt': Invalid cross-device link",
                        "error: " + r.error);
        findings.Expect(ReadAll(bound + "/f.txt") == "stays", "the item stays");
        findings.Expect(FolderEntries(m_tree.Path("data/Trash/info")).empty(), "no information left behind");
        findings.Expect(FolderEntries(m_tree.Path("data/Trash/files")).empty(), "nothing copied");
        return findings.text;
    });
    if (outcome.skipped)
        GTEST_SKIP() << outcome.text;
    EXPECT_EQ(outcome.text, "");
}

} // namespace
} // namespace tandrel::platform
