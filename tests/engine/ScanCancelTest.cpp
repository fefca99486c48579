// Cancel while folder pairs are read: the walk gives the window its turn
// between the names it reads, stops there when the run flag goes down, and
// nothing read only in part ever becomes a row.

#include "engine/FolderReadAhead.h"
#include "engine/ScanFixture.h"

#include <cstdint>
#include <gtest/gtest.h>

namespace tandrel::engine {
namespace {

const std::int64_t kT = 1600000000;

// Lowers the run flag at the `wait`-th waiting call, or at the first call of
// either kind once `entries` entries were processed.
class StopAt : public ScanObserver {
public:
    StopAt(RunFlag& flag, std::size_t wait, std::size_t entries = SIZE_MAX)
        : m_flag(flag), m_atWait(wait), m_afterEntries(entries)
    {
    }
    void EntryProcessed() override { Count(++entries > m_afterEntries); }
    void Waiting() override { Count(++waits == m_atWait || entries >= m_afterEntries); }

    std::size_t entries = 0, waits = 0, callsAfterStop = 0;

private:
    void Count(bool stopNow)
    {
        callsAfterStop += m_stopped ? 1 : 0;
        if (stopNow && !m_stopped) {
            m_flag.Set(false);
            m_stopped = true;
        }
    }

    RunFlag& m_flag;
    std::size_t m_atWait, m_afterEntries;
    bool m_stopped = false;
};

// The waiting call comes between every two names read.
class ScanCancelTest : public ::testing::Test {
protected:
    ScanCancelTest() { FolderReadAhead::SetPulseInterval({}); }
    ~ScanCancelTest() override { FolderReadAhead::SetPulseInterval(m_was); }

    // `files` equal files in `folder` of both sides.
    void Fill(const std::string& folder, int files)
    {
        for (int i = 0; i < files; ++i)
            for (const char* side : {"src/", "dst/"})
                m_tree.WriteFile(side + folder + "f" + std::to_string(i), "1", kT);
    }

    ResultStore Compare(StopAt& observer, RunFlag& flag)
    {
        test::ScanSetup setup;
        setup.observer = &observer;
        return test::Compare(m_tree.Path("src/"), m_tree.Path("dst/"), setup, &flag);
    }

    test::TempTree m_tree;

private:
    std::chrono::microseconds m_was = FolderReadAhead::PulseInterval();
};

TEST_F(ScanCancelTest, CancelWhileTheRootPairIsReadStopsBeforeItsEntries)
{
    // About 900 waiting calls for the root pair; equal sides, so any row
    // would come from a pair read only in part.
    Fill("", 150);
    for (std::size_t stopAt : {1, 100, 200, 400, 650, 850}) {
        SCOPED_TRACE(stopAt);
        RunFlag flag;
        StopAt observer(flag, stopAt);
        const auto store = Compare(observer, flag);
        EXPECT_EQ(observer.waits, stopAt);
        EXPECT_EQ(observer.entries, 0u);
        EXPECT_EQ(store.TotalCount(), 0u);
    }
}

TEST_F(ScanCancelTest, CancelWhileWorkersReadSubfoldersAddsNoRows)
{
    // Workers read the subfolders ahead; the flag goes down at the walk's
    // first wait after the root's entries, or at the first entry of a subfolder.
    for (const char* folder : {"a/", "b/", "c/"})
        Fill(folder, 150);
    for (int round = 0; round < 5; ++round) {
        RunFlag flag;
        StopAt observer(flag, 0, 5); // ".", "..", a, b and c of the root
        const auto store = Compare(observer, flag);
        EXPECT_LE(observer.entries, 6u);
        EXPECT_EQ(observer.callsAfterStop, 0u);
        EXPECT_EQ(store.TotalCount(), 0u);
    }
}

} // namespace
} // namespace tandrel::engine
