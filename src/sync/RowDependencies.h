#pragma once

#include "engine/PathRules.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tandrel::sync {

enum class Order { TopDown, BottomUp };

// On a network file system a folder's entries are made, renamed and removed
// one after another (the system locks the folder for each), so rows in
// flight are spread over folders: at most this many in one folder, while
// rows of other folders are to be had within the run's look-ahead. Measured
// with bench/run_copy_bench.sh on sshfs: 1 row a folder copied the small tree
// in 19.4 s, 2 in 19.9 s, no limit 27.8 s; its deletion 2.8, 3.3 and 5.0 s.
constexpr std::size_t kRowsPerFolder = 1;

// Where '\\' separates names, so does '/' (Windows takes both).
inline bool IsSeparator(char c)
{
    const char separator = engine::PathRules::Native().separator;
    return c == separator || (separator == '\\' && c == '/');
}

// What rows taken into a run wait for, by folder: a copy makes a folder
// before anything inside it, a delete removes a folder after everything in
// it. Rows are taken in the run's order, so a row only ever waits for rows
// taken before it. The schedule's own part, on the run's calling thread.
class RowDependencies {
public:
    explicit RowDependencies(Order order) : m_order(order) {}

    struct Row {
        bool isFolder = false;
        std::vector<std::string> folders; // every folder above the row, the outermost first
        std::string path;                 // the row's own, with the system's separator
    };

    Row Taken(const std::string& relativePath, bool isFolder)
    {
        Row row{isFolder, {}, {}};
        // Folders are known by their path with the system's own separator,
        // whichever of its separators (on Windows '\\' or '/') a row uses.
        std::string path = relativePath;
        for (std::size_t at = 0; at < path.size(); ++at) {
            if (IsSeparator(path[at])) {
                path[at] = engine::PathRules::Native().separator;
                row.folders.push_back(path.substr(0, at));
            }
        }
        row.path = std::move(path);
        if (m_order == Order::TopDown) {
            if (isFolder)
                ++m_unfinishedFolders[row.path];
        } else {
            for (const std::string& folder : row.folders)
                ++m_unfinishedBelow[folder];
        }
        return row;
    }

    // With `spread`, a row also waits while its folder has kRowsPerFolder rows being worked on.
    bool MustWait(const Row& row, bool spread) const
    {
        if (spread && Count(m_busyIn, Parent(row)) >= kRowsPerFolder)
            return true;
        if (m_order == Order::BottomUp)
            return row.isFolder && Count(m_unfinishedBelow, row.path) > 0;
        return std::any_of(row.folders.begin(), row.folders.end(),
                           [this](const std::string& folder) { return Count(m_unfinishedFolders, folder) > 0; });
    }

    void HandedOver(const Row& row) { ++m_busyIn[Parent(row)]; }

    // Worked on (`handedOver`), or dropped when the run stopped before its turn.
    void Finished(const Row& row, bool handedOver)
    {
        if (handedOver)
            Lower(m_busyIn, Parent(row));
        if (m_order == Order::TopDown) {
            if (row.isFolder)
                Lower(m_unfinishedFolders, row.path);
        } else {
            for (const std::string& folder : row.folders)
                Lower(m_unfinishedBelow, folder);
        }
    }

private:
    using Counts = std::unordered_map<std::string, std::size_t>;
    static const std::string& Parent(const Row& row)
    {
        static const std::string root;
        return row.folders.empty() ? root : row.folders.back();
    }
    static std::size_t Count(const Counts& counts, const std::string& key)
    {
        const auto found = counts.find(key);
        return found == counts.end() ? 0 : found->second;
    }
    static void Lower(Counts& counts, const std::string& key)
    {
        const auto found = counts.find(key);
        if (found != counts.end() && --found->second == 0)
            counts.erase(found);
    }

    Order m_order;
    Counts m_unfinishedFolders; // copy: folder rows not yet made
    Counts m_unfinishedBelow;   // delete: rows inside each folder not yet removed
    Counts m_busyIn;            // rows being worked on, by the folder they are in
};

} // namespace tandrel::sync
