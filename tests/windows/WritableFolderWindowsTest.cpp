#include "platform/windows/WindowsFiles.h"
#include "platform/windows/WritableFolder.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <vector>

namespace tandrel::platform {
namespace {

using test::TempTree;

TEST(WritableFolderWindows, OnlyAFolderThatTakesAFileCounts)
{
    TempTree t;
    EXPECT_TRUE(CanCreateFilesIn(t.Root()));
    EXPECT_FALSE(CanCreateFilesIn(t.Path("missing\\")));
    // The probe goes again.
    std::vector<WindowsEntry> entries;
    ASSERT_TRUE(ListFolder(t.Root(), entries).ok());
    EXPECT_TRUE(entries.empty());
}

} // namespace
} // namespace tandrel::platform
