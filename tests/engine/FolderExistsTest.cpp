#include "engine/FolderExists.h"

#include "support/TempTree.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>

namespace tandrel::engine {
namespace {

namespace fs = std::filesystem;

std::string Cwd()
{
    std::error_code ec;
    const fs::path cwd = fs::current_path(ec);
    return ec ? std::string() : test::Slashed(cwd.string());
}

TEST(FolderExistsTest, AnswersWithoutMovingTheCurrentFolder)
{
    test::TempTree tree;
    tree.MakeDir("dir/sub");
    tree.WriteFile("file.txt", "1");
    tree.MakeDir("name with space");

    const std::string before = Cwd();
    ASSERT_FALSE(before.empty());

    EXPECT_TRUE(FolderExists(tree.Path("dir")));
    EXPECT_TRUE(FolderExists(tree.Path("dir/")));
    EXPECT_TRUE(FolderExists(tree.Path("dir/sub")));
    EXPECT_TRUE(FolderExists(tree.Path("name with space")));
    EXPECT_TRUE(FolderExists("/"));
    EXPECT_EQ(Cwd(), before) << "a successful test must leave the current folder alone";

    EXPECT_FALSE(FolderExists(tree.Path("missing")));
    EXPECT_FALSE(FolderExists(tree.Path("file.txt")));
    EXPECT_FALSE(FolderExists(tree.Path("file.txt/")));
    EXPECT_FALSE(FolderExists(""));
    EXPECT_FALSE(FolderExists(std::string(tree.Path("dir")) + std::string(1, '\0') + "x"));
    EXPECT_FALSE(FolderExists("/" + std::string(70000, 'a')));
    EXPECT_EQ(Cwd(), before);

    // Relative paths are taken from the current folder, which stays put.
    fs::current_path(tree.Root());
    EXPECT_TRUE(FolderExists("dir"));
    EXPECT_FALSE(FolderExists("file.txt"));
    EXPECT_EQ(Cwd() + "/", tree.Root());
    fs::current_path(before);
}

#ifndef _WIN32
// POSIX only: links made with symlink(2) (Windows' links: tests/windows).
TEST(FolderExistsTest, ALinkCountsAsWhatItLeadsTo)
{
    test::TempTree tree;
    tree.MakeDir("dir");
    tree.WriteFile("file.txt", "1");
    tree.Symlink("dir", "linkToDir");
    tree.Symlink("file.txt", "linkToFile");
    tree.Symlink("nowhere", "dangling");
    EXPECT_TRUE(FolderExists(tree.Path("linkToDir"))); // a root may be a link
    EXPECT_FALSE(FolderExists(tree.Path("linkToFile")));
    EXPECT_FALSE(FolderExists(tree.Path("dangling")));
}

// POSIX only: modes, checked by an unprivileged child.
TEST(FolderExistsTest, FoldersThatCannotBeEntered)
{
    test::TempTree tree;
    tree.MakeDir("closed");
    tree.Chmod("closed", 0);
    tree.MakeDir("readonly-no-search");
    tree.Chmod("readonly-no-search", 0666);
    tree.MakeDir("outer/inner");
    tree.Chmod("outer", 0);
    tree.MakeDir("open");

    const int status = test::RunUnprivileged([&] {
        const bool open = FolderExists(tree.Path("open"));
        const bool closed = FolderExists(tree.Path("closed"));
        const bool noSearch = FolderExists(tree.Path("readonly-no-search"));
        const bool inner = FolderExists(tree.Path("outer/inner"));
        if (!open || closed || noSearch || inner)
            std::fprintf(stderr, "open %d closed %d no-search %d inner %d\n", open, closed, noSearch, inner);
        return open && !closed && !noSearch && !inner;
    });
    EXPECT_EQ(status, 0);
}
#endif

} // namespace
} // namespace tandrel::engine
