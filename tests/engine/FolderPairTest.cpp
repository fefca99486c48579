#include "engine/FolderPair.h"

#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

namespace tandrel::engine {
namespace {

// Opens the two folders of `tree` as the pair's sides; a side given an
// error instead fails to open with it, as any seam's opener may.
OpenSide OpenerOf(const test::TempTree& tree, int walkedError = 0, int otherError = 0)
{
    return [&tree, walkedError, otherError](Side side, int flags) {
        OpenedFolder opened;
        const int error = side == kWalkedSide ? walkedError : otherError;
        if (error != 0) {
            opened.error = error;
            return opened;
        }
        opened.fd.Reset(platform::OpenFolder(tree.Path(side == kWalkedSide ? "a" : "b"), flags));
        if (!opened.fd.Valid())
            opened.error = errno;
        return opened;
    };
}

std::vector<std::string> Names(const FolderContent& content)
{
    std::vector<std::string> names;
    for (const auto& entry : content.entries)
        names.push_back(entry.name);
    std::sort(names.begin(), names.end());
    return names;
}

const GoOn kAlways = [] { return true; };

// A pair is read as a whole: each entry with its counterpart, and the other
// pass's view holding what that side lacks here and its folders.
TEST(FolderPair, ReadsAPairAndTheOtherPassView)
{
    test::TempTree tree;
    tree.WriteFile("a/both", "1");
    tree.WriteFile("a/only-a", "1");
    tree.WriteFile("b/both", "22");
    tree.WriteFile("b/only-b", "1");
    tree.MakeDir("b/sub");
    PairRequest request;
    request.keepView = true;
    const PairRead read = ReadFolderPair(request, OpenerOf(tree), kAlways);
    ASSERT_FALSE(read.gaveUp);
    ASSERT_TRUE(read.content.listed && read.content.otherListed);
    for (std::size_t k = 0; k < read.content.entries.size(); ++k) {
        const Counterpart c = read.content.CounterpartOf(k);
        EXPECT_EQ(c.Found(), read.content.entries[k].name == "both") << read.content.entries[k].name;
        if (c.Found()) {
            EXPECT_EQ(c.size, 2);
        }
    }
    ASSERT_TRUE(read.keptView.has_value());
    EXPECT_EQ(Names(*read.keptView), (std::vector<std::string>{"only-b", "sub"}));
}

// What an opener could not open comes back in the result: the other side's
// reason as a failure of that side, the walked side's absence as nothing.
TEST(FolderPair, AnOpenersErrorComesBackInTheResult)
{
    test::TempTree tree;
    tree.WriteFile("a/f", "1");
    tree.WriteFile("b/f", "1");
    const PairRead otherFails = ReadFolderPair({}, OpenerOf(tree, 0, EIO), kAlways);
    EXPECT_EQ(otherFails.content.other, OtherState::Unknown);
    ASSERT_EQ(otherFails.content.failures.size(), 1u);
    EXPECT_EQ(otherFails.content.failures[0].side, kOtherSide);
    EXPECT_EQ(otherFails.content.failures[0].error, EIO);
    EXPECT_EQ(otherFails.content.CounterpartOf(0).state, OtherState::Unknown);

    const PairRead walkedGone = ReadFolderPair({}, OpenerOf(tree, ENOENT, 0), kAlways);
    EXPECT_FALSE(walkedGone.content.listed);
    EXPECT_TRUE(walkedGone.content.failures.empty());

    const PairRead stopped = ReadFolderPair({}, OpenerOf(tree), [] { return false; });
    EXPECT_TRUE(stopped.gaveUp);
    EXPECT_TRUE(stopped.content.entries.empty());
}

} // namespace
} // namespace tandrel::engine
