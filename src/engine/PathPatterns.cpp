#include "engine/PathPatterns.h"

#include "platform/FolderListing.h"
#include "platform/ReadFile.h"

#include <cerrno>

namespace tandrel::engine {

namespace {

// A class "[...]" at the start of `glob`: whether it matches `c`, and its
// length; 0 when the bracket is not closed (then it is an ordinary character).
std::size_t MatchClass(std::string_view glob, char c, bool& matched)
{
    std::size_t i = 1;
    const bool negated = i < glob.size() && (glob[i] == '!' || glob[i] == '^');
    if (negated)
        ++i;
    matched = false;
    bool first = true;
    while (i < glob.size() && (glob[i] != ']' || first)) {
        first = false;
        char low = glob[i];
        if (low == '\\' && i + 1 < glob.size())
            low = glob[++i];
        char high = low;
        if (i + 2 < glob.size() && glob[i + 1] == '-' && glob[i + 2] != ']') {
            high = glob[i + 2];
            if (high == '\\' && i + 3 < glob.size())
                high = glob[i + 3], ++i;
            i += 2;
        }
        if (c >= low && c <= high)
            matched = true;
        ++i;
    }
    if (i >= glob.size())
        return 0;
    matched = matched != negated;
    return i + 1;
}

// `nameStart`: the glob's first character begins a name, where "**" spans folders.
bool Match(std::string_view glob, std::string_view path, bool nameStart)
{
    while (!glob.empty()) {
        const char g = glob[0];
        if (g == '*') {
            // "**" as a whole name: any number of folders, or everything below.
            if (nameStart && glob.size() >= 2 && glob[1] == '*' && (glob.size() == 2 || glob[2] == '/')) {
                if (glob.size() == 2)
                    return true;
                const std::string_view rest = glob.substr(3);
                for (std::size_t i = 0;; ++i) {
                    if ((i == 0 || path[i - 1] == '/') && Match(rest, path.substr(i), true))
                        return true;
                    if (i >= path.size())
                        return false;
                }
            }
            while (!glob.empty() && glob[0] == '*')
                glob.remove_prefix(1);
            for (std::size_t i = 0;; ++i) {
                if (Match(glob, path.substr(i), false))
                    return true;
                if (i >= path.size() || path[i] == '/')
                    return false;
            }
        }
        if (path.empty())
            return false;
        std::size_t used = 1;
        bool matched = false;
        if (g == '?') {
            matched = path[0] != '/';
        } else if (g == '[' && (used = MatchClass(glob, path[0], matched)) != 0) {
            matched = matched && path[0] != '/';
        } else if (g == '\\' && glob.size() >= 2) {
            used = 2;
            matched = glob[1] == path[0];
        } else {
            used = 1;
            matched = g == path[0];
        }
        if (!matched)
            return false;
        nameStart = g == '/';
        glob.remove_prefix(used);
        path.remove_prefix(1);
    }
    return path.empty();
}

// Trailing blanks go unless the last is escaped.
std::string_view TrimEnd(std::string_view line)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    while (!line.empty() && line.back() == ' ' && !(line.size() >= 2 && line[line.size() - 2] == '\\'))
        line.remove_suffix(1);
    return line;
}

} // namespace

bool GlobMatches(std::string_view glob, std::string_view path)
{
    return Match(glob, path, true);
}

void PathPatterns::Add(std::string_view line, const std::string& origin)
{
    line = TrimEnd(line);
    if (line.empty() || line[0] == '#')
        return;
    PathPattern p;
    p.text = std::string(line);
    p.origin = origin;
    if (line[0] == '!') {
        p.reinclude = true;
        line.remove_prefix(1);
    } else if (line.size() >= 2 && line[0] == '\\' && (line[1] == '!' || line[1] == '#')) {
        line.remove_prefix(1);
    }
    if (!line.empty() && line.back() == '/') {
        p.foldersOnly = true;
        line.remove_suffix(1);
    }
    p.anchored = line.find('/') != std::string_view::npos;
    if (!line.empty() && line[0] == '/')
        line.remove_prefix(1);
    if (line.empty())
        return;
    p.glob = std::string(line);
    m_patterns.push_back(std::move(p));
}

void PathPatterns::AddInclude(std::string_view pattern, const std::string& origin)
{
    pattern = TrimEnd(pattern);
    if (pattern.empty())
        return;
    Add("!" + std::string(pattern), origin);
    m_patterns.back().text = std::string(pattern);
}

void PathPatterns::AddText(std::string_view text, const std::string& origin)
{
    std::size_t number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        ++number;
        Add(text.substr(0, end), origin + ":" + std::to_string(number));
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
}

int PathPatterns::Excluding(std::string_view relativePath, bool isFolder) const
{
    const std::size_t slash = relativePath.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? relativePath : relativePath.substr(slash + 1);
    for (std::size_t k = m_patterns.size(); k-- > 0;) {
        const PathPattern& p = m_patterns[k];
        if (p.foldersOnly && !isFolder)
            continue;
        if (GlobMatches(p.glob, p.anchored ? relativePath : name))
            return p.reinclude ? -1 : static_cast<int>(k);
    }
    return -1;
}

void PathPatterns::ResetCounts()
{
    for (PathPattern& p : m_patterns)
        p.leftOut = 0;
}

} // namespace tandrel::engine

namespace tandrel::engine {

platform::FileResult AddPatternFile(PathPatterns& patterns, const std::string& path, bool absentIsEmpty)
{
    if (absentIsEmpty) {
        const std::size_t slash = path.find_last_of("/\\");
        const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
        const platform::Fd fd(platform::OpenFolder(folder, platform::kOpenAsAnchor));
        platform::ListedEntry entry;
        if (!fd.Valid() || !platform::LookUpEntry(fd.Get(), path.substr(slash + 1), entry)) {
            const int error = errno;
            if (platform::IsAbsence(error))
                return platform::FileResult::Success();
            return platform::ErrnoFailure("Cannot read the pattern file", path, error);
        }
    }
    constexpr std::uint64_t kLimit = std::uint64_t{16} << 20;
    std::string text;
    const platform::FileResult read = platform::ReadWholeFile(
        "Cannot read the pattern file", path, kLimit, [&text](std::string_view piece) { text.append(piece); });
    if (read.ok())
        patterns.AddText(text, path);
    return read;
}

} // namespace tandrel::engine
