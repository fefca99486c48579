#include "settings/SettingsFile.h"

#include "platform/CaseFold.h"
#include "platform/ReadFile.h"
#include "platform/TextFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace tandrel::settings {

namespace {

// Lines longer than this cannot be anything the program wrote (a folder path
// is at most a few kilobytes); they are dropped instead of held in memory.
constexpr std::size_t kMaxLineLength = 1024 * 1024;

// Cuts a byte stream into lines. A line ends at CR LF, at a lone CR, or at a
// lone LF (a file edited with tools that end lines so). A last line without
// an end still counts.
class LineSplitter {
public:
    template <typename Sink>
    void Feed(std::string_view bytes, Sink&& sink)
    {
        // The next CR and LF of the block are searched once each and reused
        // until passed, so that the work stays linear whatever the line ends.
        if (bytes.empty())
            return;
        std::size_t pos = 0;
        std::size_t nextCr = Find(bytes, '\r', 0);
        std::size_t nextLf = Find(bytes, '\n', 0);
        while (pos < bytes.size()) {
            if (m_afterCr && bytes[pos] == '\n') {
                ++pos; // the LF of a CR LF pair
                m_afterCr = false;
                continue;
            }
            m_afterCr = false;
            if (nextCr < pos)
                nextCr = Find(bytes, '\r', pos);
            if (nextLf < pos)
                nextLf = Find(bytes, '\n', pos);
            const std::size_t end = std::min(nextCr, nextLf);
            Append(bytes.substr(pos, end - pos));
            if (end == bytes.size())
                return;
            EndLine(sink);
            m_afterCr = bytes[end] == '\r';
            pos = end + 1;
        }
    }

    template <typename Sink>
    void Finish(Sink&& sink)
    {
        if (!m_line.empty() || m_overlong)
            EndLine(sink);
    }

private:
    // Position of `c` at or after `from`, or the size of the block.
    static std::size_t Find(std::string_view bytes, char c, std::size_t from)
    {
        const void* hit = std::memchr(bytes.data() + from, c, bytes.size() - from);
        return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - bytes.data()) : bytes.size();
    }

    void Append(std::string_view part)
    {
        if (m_overlong)
            return;
        if (part.size() > kMaxLineLength - m_line.size()) {
            m_overlong = true;
            m_line.clear();
            return;
        }
        m_line.append(part);
    }

    template <typename Sink>
    void EndLine(Sink& sink)
    {
        if (!m_overlong)
            sink(std::string_view(m_line));
        m_line.clear();
        m_overlong = false;
    }

    std::string m_line;
    bool m_afterCr = false;
    bool m_overlong = false;
};

std::string_view TrimSpaces(std::string_view text)
{
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerAscii(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = LowerAscii(c);
    return result;
}

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    }
    return true;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A decimal whole number within the 32-bit range, blanks around it allowed.
bool ParseInt32(std::string_view text, std::int32_t& out)
{
    text = TrimSpaces(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return false;
    std::int64_t value = 0;
    for (const char c : text) {
        if (!IsDigit(c))
            return false;
        value = value * 10 + (c - '0');
        if (value > static_cast<std::int64_t>(INT32_MAX) + 1)
            return false;
    }
    if (negative)
        value = -value;
    if (value < INT32_MIN || value > INT32_MAX)
        return false;
    out = static_cast<std::int32_t>(value);
    return true;
}

// "True", "False" (any letter case) or a decimal number, zero being false.
bool ParseBoolean(std::string_view text, bool& out)
{
    text = TrimSpaces(text);
    if (EqualNoCase(text, "true")) {
        out = true;
        return true;
    }
    if (EqualNoCase(text, "false")) {
        out = false;
        return true;
    }
    if (!text.empty() && (text.front() == '-' || text.front() == '+'))
        text.remove_prefix(1);
    bool anyDigit = false;
    bool nonZero = false;
    bool seenPoint = false;
    for (const char c : text) {
        if (c == '.' && !seenPoint) {
            seenPoint = true;
        } else if (IsDigit(c)) {
            anyDigit = true;
            nonZero = nonZero || c != '0';
        } else {
            return false;
        }
    }
    if (!anyDigit)
        return false;
    out = nonZero;
    return true;
}

enum class Section { None, Source, Destination, Project, Option, IgnoreFile };

class SettingsReader {
public:
    explicit SettingsReader(SettingsState& state) : m_state(state)
    {
        m_state.options = CompareOptions::Defaults();
        m_state.projectList.clear();
        m_state.ignoredTypes.clear();
    }

    void operator()(std::string_view rawLine)
    {
        // Editors that save UTF-8 may put a byte-order mark before the first
        // header; it is not part of the text.
        if (m_firstLine) {
            m_firstLine = false;
            if (rawLine.substr(0, 3) == "\xEF\xBB\xBF")
                rawLine.remove_prefix(3);
        }
        const std::string_view line = TrimSpaces(rawLine);
        if (line.empty())
            return;
        if (const auto header = HeaderOf(line)) {
            m_section = *header;
            return;
        }
        switch (m_section) {
        case Section::None:
            break;
        case Section::Source:
            if (m_sources < kRecentSlots)
                m_state.recentSources[static_cast<std::size_t>(m_sources++)] = std::string(line);
            break;
        case Section::Destination:
            if (m_destinations < kRecentSlots)
                m_state.recentDestinations[static_cast<std::size_t>(m_destinations++)] = std::string(line);
            break;
        case Section::Project:
            m_state.projectList.emplace_back(line);
            break;
        case Section::IgnoreFile:
            m_state.ignoredTypes.emplace_back(line);
            break;
        case Section::Option:
            ReadOption(line);
            break;
        }
    }

private:
    bool m_firstLine = true;
    static std::optional<Section> HeaderOf(std::string_view line)
    {
        if (line == "[Source]")
            return Section::Source;
        if (line == "[Destination]")
            return Section::Destination;
        if (line == "[Project]")
            return Section::Project;
        if (line == "[Option]")
            return Section::Option;
        if (line == "[IgnoreFile]")
            return Section::IgnoreFile;
        return std::nullopt;
    }

    void ReadOption(std::string_view line)
    {
        const auto eq = line.find('=');
        if (eq == std::string_view::npos)
            return;
        // The key is not trimmed: "IgnoreTime = 5" has the key "ignoretime ".
        const std::string key = LowerAscii(line.substr(0, eq));
        const std::string_view value = line.substr(eq + 1);
        CompareOptions& o = m_state.options;
        std::int32_t number = 0;
        bool flag = false;
        if (key == "ignoretime") {
            if (ParseInt32(value, number))
                o.IgnoreTime = number;
        } else if (key == "ignoretype") {
            if (ParseInt32(value, number))
                o.IgnoreType = number;
        } else if (key == "ignorearchive") {
            if (ParseInt32(value, number))
                o.IgnoreArchive = number;
        } else if (key == "ignorehidden") {
            if (ParseInt32(value, number))
                o.IgnoreHidden = number;
        } else if (key == "ignorereadonly") {
            if (ParseInt32(value, number))
                o.IgnoreReadonly = number;
        } else if (key == "ignoresystem") {
            if (ParseInt32(value, number))
                o.IgnoreSystem = number;
        } else if (key == "overwriting") {
            if (ParseBoolean(value, flag))
                o.Overwriting = flag;
        } else if (key == "ignoreerror") {
            if (ParseBoolean(value, flag))
                o.IgnoreError = flag;
        } else if (key == "playsound") {
            if (ParseBoolean(value, flag))
                o.PlaySound = flag;
        }
    }

    SettingsState& m_state;
    Section m_section = Section::None;
    int m_sources = 0;
    int m_destinations = 0;
};

// An entry holding a line break cannot be written as one line: it would come
// back as several lines, possibly as headers or options.
bool Writable(const std::string& entry)
{
    return entry.find_first_of("\r\n") == std::string::npos;
}

std::string_view RemoveOneTrailing(std::string_view text, char separator)
{
    if (!text.empty() && text.back() == separator)
        text.remove_suffix(1);
    return text;
}

} // namespace

void ReadSettings(const std::string& path, SettingsState& state)
{
    SettingsReader reader(state);
    platform::TextFileLines decode;
    const auto sink = [&](std::string_view line) { reader(decode(line)); };
    LineSplitter splitter;
    // A read error keeps what was read so far.
    if (platform::ReadRegularFile(path, [&](std::string_view piece) { splitter.Feed(piece, sink); }))
        splitter.Finish(sink);
}

platform::FileResult ReadSettingsFrom(const std::string& path, SettingsState& state)
{
    SettingsReader reader(state);
    platform::TextFileLines decode;
    const auto sink = [&](std::string_view line) { reader(decode(line)); };
    LineSplitter splitter;
    platform::FileResult result = platform::ReadWholeFile(
        "cannot read the settings file", path, kSettingsFileLimit,
        [&](std::string_view piece) { splitter.Feed(piece, sink); });
    if (result.ok())
        splitter.Finish(sink);
    return result;
}

void ReadSettingsText(const std::string& text, SettingsState& state)
{
    SettingsReader reader(state);
    LineSplitter splitter;
    splitter.Feed(text, reader);
    splitter.Finish(reader);
}

std::string SettingsText(const SettingsState& state)
{
    static constexpr const char* kEnd = "\r\n";
    std::string out;
    const auto line = [&out](std::string_view text) {
        out.append(text);
        out.append(kEnd);
    };
    const auto boolean = [](bool value) { return value ? "True" : "False"; };

    line("[Source]");
    for (const auto& folder : state.recentSources) {
        if (!folder.empty() && Writable(folder))
            line(folder);
    }
    line("");
    line("[Destination]");
    for (const auto& folder : state.recentDestinations) {
        if (!folder.empty() && Writable(folder))
            line(folder);
    }
    line("");
    line("[Project]");
    bool anyProject = false;
    for (const auto& project : state.projectList) {
        if (Writable(project)) {
            line(project);
            anyProject = true;
        }
    }
    if (!anyProject)
        line("");
    line("");
    line("[Option]");
    const CompareOptions& o = state.options;
    line("IgnoreTime=" + std::to_string(o.IgnoreTime));
    line("IgnoreType=" + std::to_string(o.IgnoreType));
    line("IgnoreArchive=" + std::to_string(o.IgnoreArchive));
    line("IgnoreHidden=" + std::to_string(o.IgnoreHidden));
    line("IgnoreReadonly=" + std::to_string(o.IgnoreReadonly));
    line("IgnoreSystem=" + std::to_string(o.IgnoreSystem));
    line(std::string("Overwriting=") + boolean(o.Overwriting));
    line(std::string("IgnoreError=") + boolean(o.IgnoreError));
    line(std::string("PlaySound=") + boolean(o.PlaySound));
    line("");
    line("[IgnoreFile]");
    for (const auto& entry : state.ignoredTypes) {
        if (!entry.empty() && Writable(entry))
            line(entry);
    }
    return out;
}

platform::FileResult WriteSettings(const std::string& path, const SettingsState& state)
{
    const std::string text = SettingsText(state);
    return platform::WriteTextFile(path, [&text](std::ostream& out) { out << text; });
}

std::optional<ProjectRecord> ParseProject(const std::string& line)
{
    const auto first = line.find('|');
    if (first == std::string::npos)
        return std::nullopt;
    const auto second = line.find('|', first + 1);
    if (second == std::string::npos)
        return std::nullopt;
    return ProjectRecord{line.substr(0, first), line.substr(first + 1, second - first - 1),
                         line.substr(second + 1)};
}

std::string ProjectLine(const ProjectRecord& record)
{
    return record.name + "|" + record.source + "|" + record.destination;
}

void RememberRecentFolder(RecentFolders& slots, const std::string& folder, char separator)
{
    if (folder.empty())
        return;
    const std::string_view key = RemoveOneTrailing(folder, separator);
    for (const auto& slot : slots) {
        // A free slot is not a listed folder, even for the root, whose key is empty.
        if (slot.empty())
            continue;
        if (platform::EqualsNoCase(RemoveOneTrailing(slot, separator), key))
            return;
    }
    for (std::size_t i = slots.size() - 1; i > 0; --i)
        slots[i] = std::move(slots[i - 1]);
    slots[0] = folder;
}

} // namespace tandrel::settings
