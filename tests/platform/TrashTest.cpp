#include "platform/Trash.h"

#include "support/MountSandbox.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <functional>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <optional>
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
// home trash is tree/data/Trash on the same file system as tree/work.
class TrashTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const char* old = std::getenv("XDG_DATA_HOME"))
            m_oldDataHome = old;
        ::setenv("XDG_DATA_HOME", m_tree.Path("data").c_str(), 1);
    }
    void TearDown() override
    {
        if (m_oldDataHome)
            ::setenv("XDG_DATA_HOME", m_oldDataHome->c_str(), 1);
        else
            ::unsetenv("XDG_DATA_HOME");
    }

    std::string Trashed(const std::string& name) const { return "data/Trash/files/" + name; }
    std::string Info(const std::string& name) const { return m_tree.ReadFile("data/Trash/info/" + name + ".trashinfo"); }
    std::string Real(const std::string& relative) const { return RealPath(m_tree.Root()) + "/" + relative; }

    TempTree m_tree;
    std::optional<std::string> m_oldDataHome;
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

TEST(TrashPath, HomeTrashFollowsDataHomeThenHome)
{
    const std::optional<std::string> dataHome =
        std::getenv("XDG_DATA_HOME") ? std::optional<std::string>(std::getenv("XDG_DATA_HOME")) : std::nullopt;
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("XDG_DATA_HOME", "/srv/data/", 1);
    EXPECT_EQ(HomeTrashFolder(), "/srv/data/Trash");
    ::setenv("XDG_DATA_HOME", "relative/not/used", 1);
    ::setenv("HOME", "/home/ann", 1);
    EXPECT_EQ(HomeTrashFolder(), "/home/ann/.local/share/Trash");
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(HomeTrashFolder(), "/home/ann/.local/share/Trash");
    ::setenv("HOME", home.c_str(), 1);
    if (dataHome)
        ::setenv("XDG_DATA_HOME", dataHome->c_str(), 1);
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
    EXPECT_EQ(place.recordedPath, Real("work/a b%.txt"));

    const std::string info = Info("a b%.txt");
    const std::string head = "[Trash Info]\nPath=" + PercentEncodedPath(Real("work/a b%.txt")) + "\nDeletionDate=";
    ASSERT_EQ(info.substr(0, head.size()), head);
    EXPECT_NE(info.find("a%20b%25.txt"), std::string::npos);
    const std::string date = info.substr(head.size());
    ASSERT_EQ(date.size(), 20u) << date; // YYYY-MM-DDThh:mm:ss and the line end
    struct tm parsed {};
    ASSERT_NE(::strptime(date.c_str(), "%Y-%m-%dT%H:%M:%S\n", &parsed), nullptr) << date;
    parsed.tm_isdst = -1;
    const std::time_t stamped = std::mktime(&parsed);
    EXPECT_GE(stamped, before - 1);
    EXPECT_LE(stamped, after + 1);

    struct stat st {};
    ASSERT_EQ(::stat(m_tree.Path("data/Trash").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(TrashTest, ClashingNamesGetNumbersAndNothingInTheTrashIsReplaced)
{
    m_tree.WriteFile("data/Trash/files/left.txt", "an earlier leftover without information");
    m_tree.MakeDir("data/Trash/info");
    for (const char* folder : {"one", "two", "three"}) {
        m_tree.WriteFile(std::string("work/") + folder + "/same.txt", folder);
        const FileResult r = MoveToTrash(m_tree.Path(std::string("work/") + folder + "/same.txt"));
        ASSERT_TRUE(r.ok()) << r.error;
    }
    m_tree.WriteFile("work/left.txt", "new");
    ASSERT_TRUE(MoveToTrash(m_tree.Path("work/left.txt")).ok());

    EXPECT_EQ(m_tree.ReadFile(Trashed("same.txt")), "one");
    EXPECT_EQ(m_tree.ReadFile(Trashed("same.txt.2")), "two");
    EXPECT_EQ(m_tree.ReadFile(Trashed("same.txt.3")), "three");
    EXPECT_NE(Info("same.txt.3").find("Path=" + PercentEncodedPath(Real("work/three/same.txt")) + "\n"),
              std::string::npos);
    EXPECT_EQ(m_tree.ReadFile(Trashed("left.txt")), "an earlier leftover without information");
    EXPECT_EQ(m_tree.ReadFile(Trashed("left.txt.2")), "new");
    EXPECT_EQ(FolderEntries(m_tree.Path("data/Trash/info")),
              (std::vector<std::string>{"left.txt.2.trashinfo", "same.txt.2.trashinfo", "same.txt.3.trashinfo",
                                        "same.txt.trashinfo"}));
}

TEST_F(TrashTest, FolderTreeGoesWhole)
{
    m_tree.WriteFile("work/dir/x.txt", "x");
    m_tree.WriteFile("work/dir/sub/y.txt", "y");
    m_tree.Symlink("../x.txt", "work/dir/sub/to-x");
    ASSERT_TRUE(MoveToTrash(m_tree.Path("work/dir/")).ok());
    EXPECT_FALSE(m_tree.Exists("work/dir"));
    EXPECT_EQ(m_tree.ReadFile(Trashed("dir/x.txt")), "x");
    EXPECT_EQ(m_tree.ReadFile(Trashed("dir/sub/y.txt")), "y");
    EXPECT_EQ(m_tree.ReadFile(Trashed("dir/sub/to-x")), "x");
    EXPECT_NE(Info("dir").find("Path=" + PercentEncodedPath(Real("work/dir")) + "\n"), std::string::npos);
}

TEST_F(TrashTest, LinkGoesAsTheLinkAndItsTargetStays)
{
    m_tree.WriteFile("work/target.txt", "target");
    m_tree.MakeDir("work/folder");
    m_tree.Symlink("target.txt", "work/link");
    m_tree.Symlink("folder", "work/folder-link");
    ASSERT_TRUE(MoveToTrash(m_tree.Path("work/link")).ok());
    ASSERT_TRUE(MoveToTrash(m_tree.Path("work/folder-link"), TrashFolders::OnlyWhenEmpty).ok());

    char text[64] = {};
    ASSERT_EQ(::readlink(m_tree.Path(Trashed("link")).c_str(), text, sizeof text - 1), 10);
    EXPECT_STREQ(text, "target.txt");
    struct stat st {};
    ASSERT_EQ(::lstat(m_tree.Path(Trashed("folder-link")).c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(m_tree.ReadFile("work/target.txt"), "target");
    EXPECT_TRUE(m_tree.Exists("work/folder"));
    EXPECT_FALSE(m_tree.Exists("work/link"));
}

TEST_F(TrashTest, ItemReachedThroughItsOpenParentFolderIsRecordedWhereItReallyIs)
{
    m_tree.WriteFile("work/f.txt", "f");
    const int parent = ::open(m_tree.Path("work").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(parent, 0);
    ASSERT_EQ(::rename(m_tree.Path("work").c_str(), m_tree.Path("moved").c_str()), 0);
    EXPECT_EQ(MoveToTrashAt(parent, "sub/f.txt", "shown").error, "Cannot move to the trash 'shown': Invalid argument");
    TrashPlace place;
    const FileResult r = MoveToTrashAt(parent, "f.txt", "shown", TrashFolders::WholeTree, &place);
    ::close(parent);
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(place.recordedPath, Real("moved/f.txt"));
    EXPECT_EQ(m_tree.ReadFile(Trashed("f.txt")), "f");
}

TEST_F(TrashTest, FolderThatMustBeEmptyIsRefusedWhileItHoldsEntries)
{
    m_tree.WriteFile("work/full/x", "x");
    m_tree.MakeDir("work/empty");
    const FileResult refused = MoveToTrash(m_tree.Path("work/full"), TrashFolders::OnlyWhenEmpty);
    EXPECT_EQ(refused.error, "Cannot move to the trash '" + m_tree.Path("work/full") + "': Directory not empty");
    EXPECT_TRUE(m_tree.Exists("work/full/x"));
    EXPECT_TRUE(MoveToTrash(m_tree.Path("work/empty"), TrashFolders::OnlyWhenEmpty).ok());
    EXPECT_TRUE(m_tree.Exists(Trashed("empty")));
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
    EXPECT_NE(Info(place.name).find(name + "\n"), std::string::npos);
}

TEST_F(TrashTest, FailuresLeaveTheItemAndNoInformationBehind)
{
    struct Case {
        const char* what;
        std::function<void(TempTree&)> prepare;
        std::string item;
        std::string expected; // the error text after the tree's root
    };
    const Case cases[] = {
        {"files/ is a regular file",
         [](TempTree& t) {
             t.WriteFile("data/Trash/files", "not a folder");
             t.MakeDir("data/Trash/info");
         },
         "work/a", "Cannot open the trash folder '{}data/Trash/files': Not a directory"},
        {"info/ is a link", [](TempTree& t) {
             t.MakeDir("data/Trash/files");
             t.MakeDir("elsewhere");
             t.Symlink("../../elsewhere", "data/Trash/info");
         },
         "work/a", "Cannot open the trash folder '{}data/Trash/info': Not a directory"},
        {"the trash belongs to another user", [](TempTree& t) {
             t.MakeDir("data/Trash");
             (void)!::chown(t.Path("data/Trash").c_str(), 65534, 65534);
         },
         "work/a", "Cannot use the trash folder '{}data/Trash': it belongs to another user"},
        {"the item is missing", [](TempTree&) {}, "work/missing",
         "Cannot move to the trash '{}work/missing': No such file or directory"},
    };
    for (const Case& c : cases) {
        TempTree tree;
        ::setenv("XDG_DATA_HOME", tree.Path("data").c_str(), 1);
        tree.WriteFile("work/a", "stays");
        c.prepare(tree);
        if (std::string(c.what) == "the trash belongs to another user" && ::geteuid() != 0) {
            std::printf("skipped case '%s': needs root to hand a folder to another user\n", c.what);
            continue;
        }
        std::string expected = c.expected;
        expected.replace(expected.find("{}"), 2, tree.Root());
        EXPECT_EQ(MoveToTrash(tree.Path(c.item)).error, expected) << c.what;
        EXPECT_EQ(tree.ReadFile("work/a"), "stays") << c.what;
        const std::string infoFolder = tree.Exists("elsewhere") ? "elsewhere" : "data/Trash/info";
        EXPECT_TRUE(FolderEntries(tree.Path(infoFolder)).empty()) << c.what;
    }
}

// Checks run inside the sandboxed child, collected as text.
struct Findings {
    std::string text;
    void Expect(bool ok, const std::string& what)
    {
        if (!ok)
            text += what + "\n";
    }
};

std::string ReadAll(const std::string& path)
{
    std::string text;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
            text.append(buffer, n);
        std::fclose(f);
    }
    return text;
}

TEST_F(TrashTest, ItemOnAnotherFileSystemGoesToTheTrashAtItsTop)
{
    const std::string uid = std::to_string(::geteuid());
    struct Case {
        const char* what;
        std::function<void(const std::string& top)> prepare;
        std::string trash; // relative to the mount's top
    };
    const Case cases[] = {
        {"no shared trash", [](const std::string&) {}, ".Trash-" + uid},
        {"a shared trash with the sticky bit",
         [](const std::string& top) {
             ::mkdir((top + "/.Trash").c_str(), 0777);
             ::chmod((top + "/.Trash").c_str(), 01777);
         },
         ".Trash/" + uid},
        {"a shared trash without the sticky bit",
         [](const std::string& top) { ::mkdir((top + "/.Trash").c_str(), 0777); }, ".Trash-" + uid},
        {"a shared trash that is a link",
         [](const std::string& top) {
             ::mkdir((top + "/real").c_str(), 0777);
             ::chmod((top + "/real").c_str(), 01777);
             (void)!::symlink("real", (top + "/.Trash").c_str());
         },
         ".Trash-" + uid},
    };
    for (const Case& c : cases) {
        m_tree.MakeDir("mnt");
        const std::string top = m_tree.Path("mnt");
        const test::SandboxOutcome outcome = test::RunInMountSandbox([&]() -> std::string {
            if (std::string error = test::MountTmpfs(top); !error.empty())
                return error;
            c.prepare(top);
            ::mkdir((top + "/sub").c_str(), 0755);
            if (FILE* f = std::fopen((top + "/sub/f.txt").c_str(), "wb")) {
                std::fputs("on tmpfs", f);
                std::fclose(f);
            }
            Findings findings;
            TrashPlace place;
            const FileResult r = MoveToTrash(top + "/sub/f.txt", TrashFolders::WholeTree, &place);
            findings.Expect(r.ok(), "MoveToTrash: " + r.error);
            findings.Expect(place.trashFolder == top + "/" + c.trash, "trash folder " + place.trashFolder);
            findings.Expect(ReadAll(top + "/" + c.trash + "/files/f.txt") == "on tmpfs", "trashed content");
            const std::string info = ReadAll(top + "/" + c.trash + "/info/f.txt.trashinfo");
            findings.Expect(info.rfind("[Trash Info]\nPath=sub/f.txt\nDeletionDate=", 0) == 0, "info: " + info);
            struct stat st {};
            findings.Expect(::lstat((top + "/" + c.trash).c_str(), &st) == 0 && (st.st_mode & 0777) == 0700,
                            "the trash folder is private");
            findings.Expect(::access((top + "/sub/f.txt").c_str(), F_OK) != 0, "the item left its place");
            findings.Expect(::access(m_tree.Path("data/Trash").c_str(), F_OK) != 0, "nothing in the home trash");
            return findings.text;
        });
        if (outcome.skipped)
            GTEST_SKIP() << outcome.text;
        EXPECT_EQ(outcome.text, "") << c.what;
        m_tree.Remove("mnt");
    }
}

TEST_F(TrashTest, RenameAcrossMountsFailsAndNothingIsCopied)
{
    // A bind mount keeps the device number, so the home trash is chosen, but
    // the kernel refuses a rename between two mounts.
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
