#pragma once

#include "engine/ResultStore.h"
#include "engine/RunFlag.h"
#include "engine/Scanner.h"
#include "platform/FileOps.h"
#include "settings/CompareOptions.h"
#include "support/TempTree.h"
#include "sync/SyncObserver.h"
#include "sync/SyncOperations.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <functional>
#include <string>
#include <vector>

namespace tandrel::sync {

using engine::ResultCategory;
using engine::RowIcon;

inline constexpr auto kNewer = ResultCategory::NewerThanDestination;
inline constexpr auto kMissingDest = ResultCategory::NotInDestination;
inline constexpr auto kMissingSource = ResultCategory::NotInSource;
inline constexpr auto S2D = CopyDirection::SourceToDestination;
inline constexpr auto D2S = CopyDirection::DestinationToSource;

// Records everything a run tells its front end; `onPump` lets a test act in
// the event pass (cancel, change checks) as a user would, `onStep` between
// the steps of a large file (false abandons the file).
class Recorder : public SyncObserver {
public:
    int pumps = 0;
    std::function<void(int pump)> onPump;
    std::function<bool(std::uint64_t done)> onStep;
    std::vector<std::uint64_t> steps;
    const double* fraction = nullptr;
    std::vector<std::string> captions;
    std::vector<std::string> paths;
    std::vector<double> fractions;
    std::vector<int> pumpsAtRowStart; // the event passes before each row's start
    std::vector<std::string> failures;
    std::vector<std::string> shown;
    std::vector<std::size_t> changedRows;

    void PumpEvents() override
    {
        if (onPump)
            onPump(pumps);
        ++pumps;
    }
    void RowStarted(std::size_t started, std::size_t total, const std::string& path) override
    {
        captions.push_back(std::to_string(started) + " of " + std::to_string(total));
        paths.push_back(path);
        pumpsAtRowStart.push_back(pumps);
        if (fraction)
            fractions.push_back(*fraction);
    }
    bool FileCopyStep(std::uint64_t done, std::uint64_t) override
    {
        steps.push_back(done);
        return !onStep || onStep(done);
    }
    void RowChanged(engine::ResultCategory, std::size_t row) override { changedRows.push_back(row); }
    void RowFailed(engine::ResultCategory, std::size_t, const std::string& text) override
    {
        failures.push_back(text);
    }
    void ShowFailure(const std::string& text) override { shown.push_back(text); }
};

// A source folder "s" and a destination folder "d" in a temporary tree, with
// a store over them and the state a run needs.
struct SyncPair {
    test::TempTree t;
    engine::ResultStore store;
    engine::RunFlag runFlag;
    settings::CompareOptions options = settings::CompareOptions::Defaults();
    std::vector<std::string> ignoredTypes;
    double progressFraction = 0.0;

    SyncPair()
    {
        t.MakeDir("s");
        t.MakeDir("d");
        store.Reset(t.Path("s/"), t.Path("d/"), 0);
    }

    void AddFile(engine::ResultCategory category, const std::string& relative, bool checked = true)
    {
        engine::CompareItem item;
        item.relativePath = relative;
        item.checked = checked;
        store.AddResultRow(category, std::move(item));
    }
    void AddFolder(engine::ResultCategory category, const std::string& relative, bool checked = true)
    {
        engine::CompareItem item;
        item.relativePath = relative;
        item.isFolder = true;
        item.icon = engine::RowIcon::Folder;
        item.checked = checked;
        store.AddResultRow(category, std::move(item));
    }

    // Gives the rows added above the sizes and times a comparison would list
    // now, on the side walked and, in lists 1, 2 and 5, on the other side.
    // Rows listed already (by a scan, or by an earlier call) keep theirs.
    void ListAsCompared(engine::ResultCategory category)
    {
        const bool paired = category != kMissingDest && category != kMissingSource;
        for (std::size_t k = 0; k < store.Count(category); ++k) {
            engine::CompareItem& row = store.Row(category, k);
            if (row.size != 0 || row.modified != 0 || row.counterpartSize != 0 || row.counterpartModified != 0)
                continue;
            const platform::EntryInfo walked = platform::LookUp(store.WalkedRoot(category) + row.relativePath);
            row.size = row.isFolder ? 0 : walked.size;
            row.modified = walked.mtime;
            if (paired) {
                const platform::EntryInfo other = platform::LookUp(store.DestinationRoot() + row.relativePath);
                row.counterpartSize = other.kind == platform::EntryKind::Folder ? 0 : other.size;
                row.counterpartModified = other.mtime;
            }
        }
    }

    SyncOutcome Copy(engine::ResultCategory category, CopyDirection direction, SyncObserver& observer)
    {
        ListAsCompared(category);
        return CopyCheckedRows(store, category, direction, options, runFlag, progressFraction, observer);
    }
    SyncOutcome Delete(engine::ResultCategory category, SyncObserver& observer,
                       DeleteTarget target = DeleteTarget::Remove)
    {
        ListAsCompared(category);
        return DeleteCheckedRows(store, category, options, runFlag, progressFraction, observer, target);
    }

    engine::ScanContext ScanContext()
    {
        engine::ScanContext context;
        context.sourceRoot = t.Path("s");
        context.destinationRoot = t.Path("d");
        context.options = &options;
        context.ignoredTypes = &ignoredTypes;
        context.runFlag = &runFlag;
        context.store = &store;
        runFlag.Set(true);
        return context;
    }
};

#ifndef _WIN32
// "<side>/sub" moves to "<side>/moved" and a link to "outside" takes its
// place, as someone could do while a run is under way.
inline void SwapFolderForLink(test::TempTree& t, const std::string& side)
{
    ASSERT_EQ(::rename(t.Path(side + "/sub").c_str(), t.Path(side + "/moved").c_str()), 0);
    t.Symlink(t.Path("outside"), side + "/sub");
}
#endif

// Leftover temporary files of interrupted copies in a folder.
inline int CountTempFiles(const std::string& folder)
{
    int count = 0;
    for (const std::string& name : test::FolderEntries(folder))
        if (name.rfind(platform::kTempFilePrefix, 0) == 0)
            ++count;
    return count;
}

} // namespace tandrel::sync
