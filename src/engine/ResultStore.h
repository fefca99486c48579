#pragma once

#include "engine/CompareItem.h"
#include "engine/EmptyRoot.h"
#include "engine/ResultCategory.h"

#include <array>
#include <cstddef>
#include <string>
#include <unordered_set>
#include <vector>

namespace tandrel::engine {

// A folder of either side that is there but could not be read, with the
// system's reason. Nothing inside it is listed. Where it could still be
// searched, each name of its counterpart was looked up in it, and those not
// there are listed as missing (kSearchedNameByName); otherwise nothing inside
// its counterpart is listed as missing either.
struct UnreadableFolder {
    std::string path;
    std::string reason;
    bool searchable = false;
};

inline constexpr const char* kSearchedNameByName =
    "it could still be searched, so each name of the other side was looked up in it, and those not there are "
    "listed as missing";

// The five ordered row sequences of one comparison, indexed 1..5 by category.
// Rows keep insertion order and are never sorted. The store also keeps the two
// roots and the local-time offset of the run, from which every row's full
// paths and time texts are made.
class ResultStore {
public:
    // Empties all five sequences and the unreadable folders, and fixes the
    // roots (each ending in the separator) and the local-time offset for the rows to come.
    void Reset(std::string sourceRoot, std::string destinationRoot, std::int64_t localOffset);
    void Clear(); // empties the five sequences, keeps roots and offset

    // Appends a row; its key is the row count of the list before the append.
    void AddResultRow(ResultCategory category, CompareItem item);

    std::size_t Count(ResultCategory category) const { return List(category).size(); }
    std::size_t TotalCount() const;
    std::vector<CompareItem>& List(ResultCategory category) { return m_lists[Index(category) - 1]; }
    const std::vector<CompareItem>& List(ResultCategory category) const { return m_lists[Index(category) - 1]; }
    CompareItem& Row(ResultCategory category, std::size_t row) { return List(category)[row]; }
    const CompareItem& Row(ResultCategory category, std::size_t row) const { return List(category)[row]; }

    // Notes a folder the comparison could not read; one already noted is not added again.
    void AddUnreadableFolder(std::string path, std::string reason, bool searchable = false);
    // In the order met.
    const std::vector<UnreadableFolder>& UnreadableFolders() const { return m_unreadable; }

    // A root found empty while the other was not, when the comparison began.
    void SetEmptyRoot(EmptyRoot root) { m_emptyRoot = root; }
    EmptyRoot EmptyRootFound() const { return m_emptyRoot; }

    // Removes every row whose tag is "d" from one list, in one sweep; returns how many.
    std::size_t RemoveProcessedRows(ResultCategory category);
    void RemoveRow(ResultCategory category, std::size_t row);
    void SetAllChecked(bool checked);

    const std::string& SourceRoot() const { return m_sourceRoot; }
    const std::string& DestinationRoot() const { return m_destinationRoot; }
    std::int64_t LocalOffset() const { return m_localOffset; }

    // The root of the side that a category's rows were walked on, and the other.
    const std::string& WalkedRoot(ResultCategory category) const;
    const std::string& OtherRoot(ResultCategory category) const;

    // Field texts of a row, as the lists and the report show them.
    std::string Path(ResultCategory category, const CompareItem& item) const;
    // CounterpartPath (lists 1, 2, 5) or ExpectedPath (lists 3, 4): the same
    // relative path under the other root.
    std::string TargetPath(ResultCategory category, const CompareItem& item) const;
    std::string SizeTextOf(const CompareItem& item) const;
    std::string ModifiedText(const CompareItem& item) const;
    std::string CounterpartModifiedText(const CompareItem& item) const;
    std::string CounterpartSizeText(const CompareItem& item) const;
    static std::string KeyText(const CompareItem& item);

private:
    std::array<std::vector<CompareItem>, kCategoryCount> m_lists;
    std::vector<UnreadableFolder> m_unreadable;
    std::unordered_set<std::string> m_unreadablePaths;
    std::string m_sourceRoot;
    std::string m_destinationRoot;
    std::int64_t m_localOffset = 0;
    EmptyRoot m_emptyRoot = EmptyRoot::None;
};

// Takes the rows tagged "d" out of one list run by run, the bottom run
// first, so that a list model can announce each run of rows as it goes and
// its views keep the selection and current row of the rest. Between two
// runs, Count() and Row() read the list as it stands after the runs removed
// so far. A kept row is moved at most twice, whatever the number of runs, so
// a purge stays linear in the length of the list. The list is whole again
// after the last run, or when the purge ends early.
class ProcessedRowPurge {
public:
    struct Run {
        std::size_t first = 0;
        std::size_t last = 0;
    };

    ProcessedRowPurge(ResultStore& store, ResultCategory category);
    ~ProcessedRowPurge();
    ProcessedRowPurge(const ProcessedRowPurge&) = delete;
    ProcessedRowPurge& operator=(const ProcessedRowPurge&) = delete;

    // The runs of tagged rows still in the list, top to bottom, as row
    // numbers of the list as it stands; only the last can be removed next.
    const std::vector<Run>& Runs() const { return m_runs; }
    // Removes the last of Runs().
    void RemoveLastRun();
    void RemoveAllRuns();

    std::size_t Count() const { return m_prefixEnd + (m_list.size() - m_tailStart); }
    const CompareItem& Row(std::size_t row) const;

private:
    void Finish();

    std::vector<CompareItem>& m_list;
    std::vector<Run> m_runs;
    // Rows [0, m_prefixEnd) are in place; the kept rows below the runs
    // removed so far sit, in order, at [m_tailStart, size()).
    std::size_t m_prefixEnd = 0;
    std::size_t m_tailStart = 0;
};

// The texts of one list's columns, in display order, and of one row's cells.
// Lists 1, 2, 5 have seven columns, lists 3, 4 five; the last is the status.
std::vector<std::string> ColumnHeaders(ResultCategory category);
std::vector<std::string> RowCells(const ResultStore& store, ResultCategory category, const CompareItem& item);
// Index of the column that holds the other side's path (5 or 3).
int TargetColumn(ResultCategory category);

} // namespace tandrel::engine
