#pragma once

#include "platform/FileResult.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tandrel::engine {

// One pattern line in .gitignore syntax, taken apart.
struct PathPattern {
    std::string text;      // as given, for the summary
    std::string origin;    // where it came from: "--exclude", a file's path and line
    std::string glob;      // without '!', the anchoring '/' and the trailing '/'
    bool reinclude = false;  // '!': takes back what an earlier pattern left out
    bool anchored = false;   // holds a '/' before its end: matched against the whole path
    bool foldersOnly = false; // ended in '/'
    std::uint64_t leftOut = 0; // entries it left out in the last comparison
};

// The patterns that leave entries out of a comparison, a filter of its own
// beside the attribute filters and the ignored names. Matched against an
// entry's path below its root, '/'-separated, the same on both sides:
// `*` and `?` stay within one name, `[...]` is a class (`[!...]` or `[^...]`
// negated), `**` as a whole name spans any number of folders, a leading `/`
// anchors at the root, a trailing `/` matches folders only, `!` re-includes,
// `#` starts a comment and `\` takes the next character as it is. The last
// pattern that matches decides. Letters are matched with their case. An
// entry left out is not compared, not listed and not descended into.
class PathPatterns {
public:
    // Adds one line; blank lines and comments add nothing.
    void Add(std::string_view line, const std::string& origin);
    void AddInclude(std::string_view pattern, const std::string& origin);
    // Adds every line of a pattern file's text.
    void AddText(std::string_view text, const std::string& origin);

    bool Empty() const { return m_patterns.empty(); }
    const std::vector<PathPattern>& Patterns() const { return m_patterns; }

    // The index of the pattern that leaves the entry out, or -1 when it stays.
    int Excluding(std::string_view relativePath, bool isFolder) const;
    void CountLeftOut(int index) { ++m_patterns[static_cast<std::size_t>(index)].leftOut; }
    void ResetCounts();

private:
    std::vector<PathPattern> m_patterns;
};

// The name of the pattern file at the top of a folder tree.
inline constexpr const char* kIgnoreFileName = ".tandrelignore";

// Adds the lines of the pattern file at `path`. With `absentIsEmpty` a file
// that is not there adds nothing; any other failure is returned with the
// system's reason.
platform::FileResult AddPatternFile(PathPatterns& patterns, const std::string& path, bool absentIsEmpty);

// True when the glob matches the whole of `path` by the rules above.
bool GlobMatches(std::string_view glob, std::string_view path);

} // namespace tandrel::engine
