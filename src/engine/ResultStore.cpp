#include "engine/ResultStore.h"

#include "engine/TextForms.h"

#include <algorithm>

namespace tandrel::engine {

void ResultStore::Reset(std::string sourceRoot, std::string destinationRoot, std::int64_t localOffset)
{
    Clear();
    m_unreadable.clear();
    m_unreadablePaths.clear();
    m_sourceRoot = std::move(sourceRoot);
    m_destinationRoot = std::move(destinationRoot);
    m_localOffset = localOffset;
    m_emptyRoot = EmptyRoot::None;
}

void ResultStore::Clear()
{
    for (auto& list : m_lists) {
        list.clear();
        list.shrink_to_fit();
    }
}

void ResultStore::AddResultRow(ResultCategory category, CompareItem item)
{
    auto& list = List(category);
    item.key = static_cast<std::uint32_t>(list.size());
    list.push_back(std::move(item));
}

void ResultStore::AddUnreadableFolder(std::string path, std::string reason, bool searchable)
{
    if (m_unreadablePaths.insert(path).second)
        m_unreadable.push_back({std::move(path), std::move(reason), searchable});
}

std::size_t ResultStore::TotalCount() const
{
    std::size_t total = 0;
    for (const auto& list : m_lists)
        total += list.size();
    return total;
}

std::size_t ResultStore::RemoveProcessedRows(ResultCategory category)
{
    auto& list = List(category);
    const auto before = list.size();
    list.erase(std::remove_if(list.begin(), list.end(), [](const CompareItem& item) { return item.processed; }),
               list.end());
    return before - list.size();
}

ProcessedRowPurge::ProcessedRowPurge(ResultStore& store, ResultCategory category)
    : m_list(store.List(category)), m_prefixEnd(m_list.size()), m_tailStart(m_list.size())
{
    for (std::size_t row = 0; row < m_list.size(); ++row) {
        if (!m_list[row].processed)
            continue;
        if (!m_runs.empty() && m_runs.back().last + 1 == row)
            m_runs.back().last = row;
        else
            m_runs.push_back({row, row});
    }
}

ProcessedRowPurge::~ProcessedRowPurge()
{
    RemoveAllRuns();
}

void ProcessedRowPurge::RemoveAllRuns()
{
    while (!m_runs.empty())
        RemoveLastRun();
}

void ProcessedRowPurge::RemoveLastRun()
{
    if (m_runs.empty())
        return;
    const Run run = m_runs.back();
    m_runs.pop_back();
    // The kept rows between this run and the ones removed before join the
    // tail block; the run itself is left behind as spare room.
    const auto begin = m_list.begin();
    if (m_tailStart != m_prefixEnd)
        std::move_backward(begin + static_cast<std::ptrdiff_t>(run.last + 1),
                           begin + static_cast<std::ptrdiff_t>(m_prefixEnd),
                           begin + static_cast<std::ptrdiff_t>(m_tailStart));
    m_tailStart -= m_prefixEnd - run.last - 1;
    m_prefixEnd = run.first;
    if (m_runs.empty())
        Finish();
}

const CompareItem& ProcessedRowPurge::Row(std::size_t row) const
{
    return row < m_prefixEnd ? m_list[row] : m_list[m_tailStart + (row - m_prefixEnd)];
}

void ProcessedRowPurge::Finish()
{
    if (m_tailStart != m_prefixEnd) {
        const auto begin = m_list.begin();
        const auto end = std::move(begin + static_cast<std::ptrdiff_t>(m_tailStart), m_list.end(),
                                   begin + static_cast<std::ptrdiff_t>(m_prefixEnd));
        m_list.erase(end, m_list.end());
    }
    m_prefixEnd = m_list.size();
    m_tailStart = m_list.size();
}

void ResultStore::RemoveRow(ResultCategory category, std::size_t row)
{
    auto& list = List(category);
    if (row < list.size())
        list.erase(list.begin() + static_cast<std::ptrdiff_t>(row));
}

void ResultStore::SetAllChecked(bool checked)
{
    for (auto& list : m_lists)
        for (auto& item : list)
            item.checked = checked;
}

const std::string& ResultStore::WalkedRoot(ResultCategory category) const
{
    return category == ResultCategory::NotInSource ? m_destinationRoot : m_sourceRoot;
}

const std::string& ResultStore::OtherRoot(ResultCategory category) const
{
    return category == ResultCategory::NotInSource ? m_sourceRoot : m_destinationRoot;
}

std::string ResultStore::Path(ResultCategory category, const CompareItem& item) const
{
    return WalkedRoot(category) + item.relativePath;
}

std::string ResultStore::TargetPath(ResultCategory category, const CompareItem& item) const
{
    return OtherRoot(category) + item.relativePath;
}

std::string ResultStore::SizeTextOf(const CompareItem& item) const
{
    return item.isFolder ? std::string(kFolderSizeText) : SizeText(item.size);
}

std::string ResultStore::ModifiedText(const CompareItem& item) const
{
    return TimeText(item.modified, m_localOffset);
}

std::string ResultStore::CounterpartModifiedText(const CompareItem& item) const
{
    return TimeText(item.counterpartModified, m_localOffset);
}

std::string ResultStore::CounterpartSizeText(const CompareItem& item) const
{
    return SizeText(item.counterpartSize);
}

std::string ResultStore::KeyText(const CompareItem& item)
{
    return "KEY" + std::to_string(item.key);
}

std::vector<std::string> ColumnHeaders(ResultCategory category)
{
    if (IsOneSided(category))
        return {"Name", "Size(Bytes)", "Modified", "Can not find", "   "};
    return {"Name", "Size(Bytes)", "Modified", "Modified (Destination)", "Size (Destination)",
            "Name (Destination)", "   "};
}

std::vector<std::string> RowCells(const ResultStore& store, ResultCategory category, const CompareItem& item)
{
    if (IsOneSided(category))
        return {store.Path(category, item), store.SizeTextOf(item), store.ModifiedText(item),
                store.TargetPath(category, item), item.StatusText()};
    return {store.Path(category, item),
            store.SizeTextOf(item),
            store.ModifiedText(item),
            store.CounterpartModifiedText(item),
            store.CounterpartSizeText(item),
            store.TargetPath(category, item),
            item.StatusText()};
}

int TargetColumn(ResultCategory category)
{
    return IsOneSided(category) ? 3 : 5;
}

} // namespace tandrel::engine
