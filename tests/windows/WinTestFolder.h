#pragma once

// A throwaway folder under the temporary folder for the Windows tests, with
// small helpers that make files through the system calls directly, so that
// what the code under test does is checked against Windows itself.

#include "engine/ResultStore.h"
#include "settings/CompareOptions.h"

#include <cstdint>
#include <set>
#include <string>

namespace tandrel::test {

class WinTestFolder {
public:
    // Below the temporary folder, or below `base` when given.
    explicit WinTestFolder(const std::string& base = {});
    ~WinTestFolder();
    WinTestFolder(const WinTestFolder&) = delete;
    WinTestFolder& operator=(const WinTestFolder&) = delete;

    // The folder's path, UTF-8, with a trailing backslash.
    const std::string& Root() const { return m_root; }
    std::string Path(const std::string& relative) const { return m_root + relative; }

    // Creates `relative` and every missing folder above it.
    void MakeFolders(const std::string& relative) const;
    void WriteFile(const std::string& relative, const std::string& content) const;
    std::string ReadFile(const std::string& relative) const;
    bool Exists(const std::string& relative) const;
    void SetWriteTime(const std::string& relative, std::int64_t epochSeconds) const;
    std::uint32_t Attributes(const std::string& relative) const;

    // Makes `relative` a symbolic link to the folder `target` (relative to the
    // test folder too); false where this system cannot make one. Under Wine,
    // whose CreateSymbolicLinkW makes nothing, the link is made by the host.
    bool MakeFolderLink(const std::string& relative, const std::string& target) const;

    // Whether the folder's file system keeps the hidden, system and archive
    // bits (Wine stores them in extended attributes).
    bool KeepsDosAttributes() const;

    // The bits a file reports after its attributes were set to none at all:
    // nothing on Windows; Wine reports every file as archived.
    std::uint32_t BitsAlwaysReported() const;

private:
    std::string m_root;
};

bool RunsUnderWine();

// Compares the folders "src" and "dst" of `t`, subfolders included.
engine::ResultStore CompareFolders(const WinTestFolder& t, const settings::CompareOptions& options = {});

// The relative paths of a list's rows.
std::set<std::string> RowPaths(const engine::ResultStore& store, engine::ResultCategory category);

// A relative path of nested folders making the whole path longer than MAX_PATH.
std::string LongRelativeFolder(const std::string& root);

} // namespace tandrel::test
