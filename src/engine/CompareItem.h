#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tandrel::engine {

// Row icons of the result lists.
enum class RowIcon : std::uint8_t {
    Folder = 1,
    File = 2,
    Started = 3, // work on the row has begun (copy, delete)
    Failed = 4,  // copy or delete of the row failed
};

// What a row's entry is on disk, beyond file or folder.
enum class EntryKind : std::uint8_t {
    Regular,
    Link,
    Fifo,
    Socket,
    Device,
};

// The kind from the POSIX type bits of a listing (both systems give them).
inline EntryKind KindOfMode(std::uint32_t mode)
{
    switch (mode & 0170000) {
    case 0120000: return EntryKind::Link;
    case 0010000: return EntryKind::Fifo;
    case 0140000: return EntryKind::Socket;
    case 0020000:
    case 0060000: return EntryKind::Device;
    default: return EntryKind::Regular;
    }
}

inline constexpr const char* kProcessedTag = "d";

// One result row, held compactly: the path relative to the walked root (both
// full paths are the roots of the store plus this text), raw sizes and times.
// The texts of the lists and reports are made from these when shown.
struct CompareItem {
    std::string relativePath;        // '/'-separated, no trailing separator
    std::int64_t size = 0;           // bytes of the walked entry (0 for a folder)
    std::int64_t modified = 0;       // last-write time, seconds since the epoch
    std::int64_t counterpartSize = 0;     // categories 1, 2, 5 only
    std::int64_t counterpartModified = 0; // categories 1, 2, 5 only
    std::unique_ptr<std::string> status;  // StatusText; null when empty (the usual case)
    std::uint32_t key = 0;           // the N of "KEYN"
    bool isFolder = false;
    bool checked = false;
    bool processed = false;          // Tag == "d"
    bool caseClash = false;          // left unpaired for case; StatusText says why
    RowIcon icon = RowIcon::File;
    EntryKind kind = EntryKind::Regular; // of the entry walked

    const std::string& StatusText() const;
    void SetStatusText(std::string text);
    std::string Tag() const { return processed ? kProcessedTag : ""; }
    void SetTag(const std::string& tag) { processed = (tag == kProcessedTag); }
};

} // namespace tandrel::engine
