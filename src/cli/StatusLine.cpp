#include "cli/StatusLine.h"

#include "cli/Console.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <vector>

namespace tandrel::cli {

namespace {

// One character as the terminal shows it: a valid UTF-8 sequence, or a
// control character or stray byte that is shown as '?'.
struct Glyph {
    std::size_t offset = 0;
    std::size_t length = 1;
    std::size_t columns = 1;
    bool shown = false;
};

Glyph GlyphAt(std::string_view text, std::size_t i)
{
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7f)
        return {i, 1, 1, false};
    if (c < 0x80)
        return {i, 1, 1, true};
    const std::size_t length = c >= 0xc2 && c < 0xe0 ? 2 : c >= 0xe0 && c < 0xf0 ? 3 : c >= 0xf0 && c < 0xf5 ? 4 : 0;
    if (length == 0 || i + length > text.size())
        return {i, 1, 1, false};
    char32_t point = c & (0x7fu >> length);
    for (std::size_t k = 1; k < length; ++k) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        if ((b & 0xc0) != 0x80)
            return {i, 1, 1, false};
        point = (point << 6) | (b & 0x3fu);
    }
    const bool overlong = (length == 3 && point < 0x800) || (length == 4 && point < 0x10000);
    const bool invalid = point > 0x10ffff || (point >= 0xd800 && point <= 0xdfff);
    const bool c1Control = point < 0xa0; // terminals take these as commands
    if (overlong || invalid || c1Control)
        return {i, 1, 1, false};
    const int width = CharacterColumns(point);
    // Unknown to the system: count it wide, so the line is never too long.
    return {i, length, width < 0 ? 2u : static_cast<std::size_t>(width), true};
}

std::vector<Glyph> Glyphs(std::string_view text)
{
    std::vector<Glyph> glyphs;
    for (std::size_t i = 0; i < text.size(); i += glyphs.back().length)
        glyphs.push_back(GlyphAt(text, i));
    return glyphs;
}

void AppendGlyphs(std::string& out, std::string_view text, const std::vector<Glyph>& glyphs, std::size_t from)
{
    for (std::size_t g = from; g < glyphs.size(); ++g) {
        if (glyphs[g].shown)
            out.append(text.substr(glyphs[g].offset, glyphs[g].length));
        else
            out.push_back('?');
    }
}

// `text` made safe to show and cut to `columns`; `keepEnd` cuts its
// beginning instead of its end and marks the cut with "...".
std::string Fit(std::string_view text, std::size_t columns, bool keepEnd)
{
    std::vector<Glyph> glyphs = Glyphs(text);
    std::size_t total = 0;
    for (const Glyph& g : glyphs)
        total += g.columns;
    std::string out;
    if (total <= columns) {
        AppendGlyphs(out, text, glyphs, 0);
        return out;
    }
    if (keepEnd && columns > 3) {
        std::size_t from = 0;
        for (; from < glyphs.size() && total > columns - 3; ++from)
            total -= glyphs[from].columns;
        out = "...";
        AppendGlyphs(out, text, glyphs, from);
        return out;
    }
    std::size_t kept = 0;
    std::size_t used = 0;
    while (kept < glyphs.size() && used + glyphs[kept].columns <= columns)
        used += glyphs[kept++].columns;
    glyphs.resize(kept);
    AppendGlyphs(out, text, glyphs, 0);
    return out;
}

std::size_t Columns(std::string_view text)
{
    std::size_t columns = 0;
    for (const Glyph& g : Glyphs(text))
        columns += g.columns;
    return columns;
}

std::size_t Usable(std::size_t width)
{
    return width > 0 ? width - 1 : 0;
}

} // namespace

std::string TerminalText(std::string_view line)
{
    std::string out;
    for (const Glyph& g : Glyphs(line)) {
        if (g.shown || line[g.offset] == '\t')
            out.append(line.substr(g.offset, g.length));
        else
            out.push_back('?');
    }
    return out;
}

std::string ByteCountText(std::uint64_t bytes)
{
    static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    if (bytes < 1024)
        return std::to_string(bytes) + " B";
    double value = static_cast<double>(bytes);
    std::size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < std::size(kUnits)) {
        value /= 1024.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
    return text;
}

std::string FormatCompareStatus(const CompareStatus& status, std::size_t width)
{
    std::string text = "Comparing: " + std::to_string(status.entries) + " entries, " +
                       std::to_string(status.leftOut) + " not compared; lists";
    for (std::size_t list = 0; list < status.rows.size(); ++list)
        text += (list == 0 ? " " : ", ") + std::to_string(list + 1) + ": " + std::to_string(status.rows[list]);
    return Fit(text, Usable(width), false);
}

std::string FormatSyncStatus(const SyncStatus& status, std::size_t width)
{
    constexpr std::size_t kShortestPath = 12;
    const std::string head = std::string(status.action) + " " + std::to_string(status.done) + "/" +
                             std::to_string(status.total) + ", " + ByteCountText(status.bytes);
    const std::size_t usable = Usable(width);
    if (status.path.empty() || head.size() + 2 + kShortestPath > usable)
        return Fit(head, usable, false);
    return head + ": " + Fit(status.path, usable - head.size() - 2, true);
}

std::string FormatVerifyStatus(const VerifyStatus& status, std::size_t width)
{
    const std::string text = "Verifying: " + ByteCountText(status.bytesDone) + " of " +
                             ByteCountText(status.bytesTotal) + ", " + ByteCountText(status.bytesPerSecond) + "/s";
    return Fit(text, Usable(width), false);
}

StatusLine::StatusLine(int fd, bool enabled, std::chrono::milliseconds interval)
    : m_fd(fd), m_enabled(enabled), m_cleanMessages(IsTerminal(fd)), m_interval(interval)
{
}

StatusLine::~StatusLine()
{
    Clear();
}

bool StatusLine::WantedOn(int fd, bool quiet)
{
    return !quiet && IsTerminal(fd);
}

bool StatusLine::Due() const
{
    return m_enabled && (!m_drawn || std::chrono::steady_clock::now() - m_lastDraw >= m_interval);
}

std::size_t StatusLine::Width() const
{
    const std::size_t columns = TerminalColumns(m_fd);
    return columns > 0 ? columns : 80;
}

void StatusLine::Draw(std::string text)
{
    if (!m_enabled)
        return;
    const std::size_t columns = Columns(text);
    const std::size_t blank = std::min(m_columns, Usable(Width()));
    std::string out = "\r" + text;
    if (blank > columns)
        out.append(blank - columns, ' ');
    Write(out);
    m_text = std::move(text);
    m_columns = columns;
    m_drawn = true;
    m_lastDraw = std::chrono::steady_clock::now();
}

void StatusLine::Print(std::string_view message)
{
    std::string out = Erasure();
    out += m_cleanMessages ? Fit(message, std::numeric_limits<std::size_t>::max(), false) : std::string(message);
    out += "\n";
    if (m_enabled && !m_text.empty())
        out += m_text;
    Write(out);
}

void StatusLine::Clear()
{
    Write(Erasure());
    m_columns = 0;
    m_text.clear();
}

std::string StatusLine::Erasure() const
{
    if (!m_enabled || m_columns == 0)
        return {};
    std::string blank(m_columns + 2, ' ');
    blank.front() = '\r';
    blank.back() = '\r';
    return blank;
}

void StatusLine::Write(std::string_view bytes) const
{
    WriteAll(m_fd, bytes);
}

} // namespace tandrel::cli
