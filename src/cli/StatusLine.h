#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tandrel::cli {

// Where a comparison stands.
struct CompareStatus {
    std::uint64_t entries = 0;          // directory entries looked at, both sides
    std::uint64_t leftOut = 0;          // of them, left out by the filters or for a leading '.'
    std::array<std::size_t, 5> rows{};  // rows of lists 1..5
};

// Where a copy or delete stands.
struct SyncStatus {
    std::string_view action; // "Copying", "Deleting"
    std::size_t done = 0;    // rows finished, of every list named
    std::size_t total = 0;
    std::uint64_t bytes = 0; // of the rows finished and of the file in hand
    std::string_view path;   // the item in hand
};

// Where a content check stands.
struct VerifyStatus {
    std::uint64_t bytesDone = 0;
    std::uint64_t bytesTotal = 0;
    std::uint64_t bytesPerSecond = 0;
};

// The status texts, at most `width - 1` terminal columns: the last column
// stays free so that no terminal wraps. Control characters and stray bytes
// of names show as '?', so a name can neither break the line nor send the
// terminal commands. A path too long for the line loses its beginning.
std::string FormatCompareStatus(const CompareStatus& status, std::size_t width);
std::string FormatSyncStatus(const SyncStatus& status, std::size_t width);
std::string FormatVerifyStatus(const VerifyStatus& status, std::size_t width);

// A line of output made safe for a terminal as the status texts are, but
// whole and with its tabs: other control characters and stray bytes show as '?'.
std::string TerminalText(std::string_view line);

// "512 B", "1.5 KiB", "12.0 GiB".
std::string ByteCountText(std::uint64_t bytes);

// One line of status redrawn in place, with messages printed above it. When
// not enabled (standard error is no terminal, or --quiet) nothing but the
// messages is written.
class StatusLine {
public:
    StatusLine(int fd, bool enabled, std::chrono::milliseconds interval = std::chrono::milliseconds(100));
    ~StatusLine();
    StatusLine(const StatusLine&) = delete;
    StatusLine& operator=(const StatusLine&) = delete;

    // For standard error: enabled when it is a terminal and `quiet` is off.
    static bool WantedOn(int fd, bool quiet);

    bool Enabled() const { return m_enabled; }
    // Enabled, and the interval since the last drawing has passed.
    bool Due() const;
    // The terminal's width in columns (80 when it cannot be asked).
    std::size_t Width() const;

    void Draw(std::string text);
    void Print(std::string_view message); // a line of its own; the status is drawn again below it
    void Clear();

private:
    std::string Erasure() const; // blanks out the line on screen, cursor at its start
    void Write(std::string_view bytes) const;

    int m_fd;
    bool m_enabled;
    bool m_cleanMessages; // messages to a terminal lose their control characters
    std::chrono::milliseconds m_interval;
    std::chrono::steady_clock::time_point m_lastDraw{};
    bool m_drawn = false;
    std::string m_text;
    std::size_t m_columns = 0; // of the text on screen
};

} // namespace tandrel::cli
