#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace tandrel::platform {

// A regular file opened to compare its bytes. Links are never followed and
// special files never opened. Failures give the system's reason.
class ContentFile {
public:
    ContentFile() = default;
    ~ContentFile();
    ContentFile(const ContentFile&) = delete;
    ContentFile& operator=(const ContentFile&) = delete;

    // False with `reason` set, or with `isLink` when the path is a link.
    bool Open(const std::string& path, std::string& reason, bool& isLink);

    // Worth it only for files that take more than one read.
    void ReadAhead() const;

    std::uint64_t Size() const { return m_size; }
    bool HasHoles() const { return m_allocated < m_size; }

    // The start of the next data at or after `offset` (the size when only a
    // hole follows), and the end of that data.
    std::uint64_t NextData(std::uint64_t offset) const;
    std::uint64_t NextHole(std::uint64_t offset) const;

    // Reads up to `size` bytes at `offset`: the count read (0 at the end),
    // or -1 with `reason` set.
    long long ReadSome(char* buffer, std::size_t size, std::uint64_t offset, std::string& reason) const;

    // False with `reason` set when the file is not as it was opened: it goes
    // on past its size, or its size or times have changed since.
    bool Unchanged(std::string& reason) const;

private:
    // What a change to the file shows in: its size, modification and change
    // times (on Windows the last write and change times, in 100 ns steps).
    struct Stamp {
        std::uint64_t size = 0;
        std::int64_t modified[2] = {0, 0};
        std::int64_t changed[2] = {0, 0};
        bool operator==(const Stamp&) const = default;
    };
    bool StampNow(Stamp& stamp, std::string& reason) const;

    int m_fd = -1; // a C runtime descriptor on Windows
    std::uint64_t m_size = 0;
    std::uint64_t m_allocated = 0; // bytes the file occupies on disk
    Stamp m_opened;
};

// A hook for tests: called after every read of any ContentFile, so that a
// test can change a file while it is being compared.
void SetReadHookForTesting(std::function<void()> hook);

// What the link at `path` says (on Windows its reparse data); nothing with
// `reason` set when it cannot be read.
std::optional<std::string> LinkText(const std::string& path, std::string& reason);

} // namespace tandrel::platform
