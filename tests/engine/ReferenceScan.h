#pragma once

// A plain walk of two trees written straight from the comparison rules: one
// thread, every folder listed with readdir when the walk gets there, every
// counterpart looked up by its full path. Slow, but easy to check by eye; the
// scanner must produce the very same rows in the very same order.

#include "engine/ResultCategory.h"
#include "engine/ResultStore.h"
#include "engine/Scanner.h"
#include "engine/TextForms.h"
#include "settings/CompareOptions.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tandrel::test {

// One row as the tests compare them: every field the scanner fills.
struct RefRow {
    std::string path;
    bool isFolder = false;
    std::int64_t size = 0, modified = 0, counterpartSize = 0, counterpartModified = 0;
    bool operator==(const RefRow&) const = default;
};
using RefLists = std::array<std::vector<RefRow>, 5>;

inline RefLists ListsOf(const engine::ResultStore& store)
{
    RefLists lists;
    for (engine::ResultCategory c : engine::kAllCategories)
        for (const auto& item : store.List(c))
            lists[engine::Index(c) - 1].push_back(
                {item.relativePath, item.isFolder, item.size, item.modified, item.counterpartSize,
                 item.counterpartModified});
    return lists;
}

class ReferenceScan {
public:
    ReferenceScan(const settings::CompareOptions& options, std::vector<std::string> ignored, bool subfolders)
        : m_options(options), m_ignored(std::move(ignored)), m_subfolders(subfolders)
    {
    }

    // Roots end in '/'.
    RefLists Compare(const std::string& source, const std::string& destination)
    {
        m_lists = {};
        Walk(source, destination, "", RootState(destination), 0);
        Walk(destination, source, "", RootState(source), 1);
        return m_lists;
    }

private:
    // Where the other side stands: only what is not there is absent; what
    // cannot be read is unknown and never counts as missing.
    enum class Other { Absent, Present, Unknown };

    static Other FromError(int error)
    {
        return error == ENOENT || error == ENOTDIR ? Other::Absent : Other::Unknown;
    }

    static Other RootState(const std::string& root)
    {
        struct stat st;
        if (::stat(root.c_str(), &st) != 0)
            return FromError(errno);
        return S_ISDIR(st.st_mode) ? Other::Present : Other::Absent;
    }

    bool Skipped(const std::string& name, mode_t mode) const
    {
        using settings::FilterOn;
        if (FilterOn(m_options.IgnoreHidden) && name[0] == '.')
            return true;
        if (FilterOn(m_options.IgnoreReadonly) && !(mode & S_IWUSR))
            return true;
        if (FilterOn(m_options.IgnoreSystem) && !S_ISREG(mode) && !S_ISDIR(mode) && !S_ISLNK(mode))
            return true;
        return engine::MatchesIgnoredType(name, m_ignored);
    }

    // `folderOther`: the counterpart of this folder; unless it is a real
    // folder that may be entered, nothing below is looked up on the other side.
    void Walk(const std::string& root, const std::string& otherRoot, const std::string& relative, Other folderOther,
              int pass)
    {
        DIR* dir = ::opendir((root + relative).c_str());
        if (!dir)
            return;
        std::vector<std::pair<std::string, Other>> subfolders;
        while (const dirent* d = ::readdir(dir)) {
            const std::string name = d->d_name;
            struct stat st, other;
            if (name == "." || name == ".." || ::lstat((root + relative + name).c_str(), &st) != 0 ||
                Skipped(name, st.st_mode))
                continue;
            const std::string otherPath = otherRoot + relative + name;
            Other counterpart = folderOther;
            if (folderOther == Other::Present)
                counterpart = ::lstat(otherPath.c_str(), &other) == 0 ? Other::Present : FromError(errno);
            const bool found = counterpart == Other::Present;
            RefRow row{relative + name, S_ISDIR(st.st_mode), S_ISDIR(st.st_mode) ? 0 : st.st_size, st.st_mtime, 0, 0};
            if (S_ISDIR(st.st_mode)) {
                if (name[0] == '.')
                    continue;
                Other below = found ? Other::Absent : counterpart;
                if (found && S_ISDIR(other.st_mode))
                    below = ::faccessat(AT_FDCWD, otherPath.c_str(), X_OK, AT_EACCESS) == 0 ? Other::Present
                                                                                             : FromError(errno);
                subfolders.emplace_back(name, below);
                if (below == Other::Absent)
                    m_lists[pass == 0 ? 2 : 3].push_back(row);
                continue;
            }
            if (counterpart == Other::Unknown)
                continue;
            if (!found) {
                m_lists[pass == 0 ? 2 : 3].push_back(row);
                continue;
            }
            if (pass == 1)
                continue;
            row.counterpartSize = S_ISDIR(other.st_mode) ? 0 : other.st_size;
            row.counterpartModified = other.st_mtime;
            const int category = engine::ClassifyPair(row.modified, row.size, row.counterpartModified,
                                                      row.counterpartSize, m_offset, m_options);
            if (category != 0)
                m_lists[static_cast<std::size_t>(category - 1)].push_back(row);
        }
        ::closedir(dir);
        if (!m_subfolders)
            return;
        for (const auto& [name, below] : subfolders)
            Walk(root, otherRoot, relative + name + "/", below, pass);
    }

    settings::CompareOptions m_options;
    std::vector<std::string> m_ignored;
    bool m_subfolders;
    std::int64_t m_offset = engine::LocalOffsetNow();
    RefLists m_lists;
};

} // namespace tandrel::test
