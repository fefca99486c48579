#pragma once

#include "platform/FileResult.h"
#include "settings/CompareOptions.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tandrel::settings {

inline constexpr int kRecentSlots = 10;
using RecentFolders = std::array<std::string, kRecentSlots>;

// The program-wide settings state: read once at start-up, rewritten whole.
struct SettingsState {
    CompareOptions options;
    RecentFolders recentSources;
    RecentFolders recentDestinations;
    std::vector<std::string> projectList;  // "name|source|destination" lines
    std::vector<std::string> ignoredTypes; // names and "*." suffix patterns
};

inline constexpr const char* kSettingsFileName = "tdl.ini";

// Applies the defaults and then the file at `path` to `state`. Lines that are
// unusable are ignored as the reading rules say; a file that cannot be read
// leaves the state as far as it was filled. The file's lines are turned into
// UTF-8 as platform/TextFile.h says; ReadSettingsText takes UTF-8.
void ReadSettings(const std::string& path, SettingsState& state);
void ReadSettingsText(const std::string& text, SettingsState& state);

// A settings file far larger than any the program writes is refused.
inline constexpr std::uint64_t kSettingsFileLimit = 16 * 1024 * 1024;

// ReadSettings for a file the user names: whatever `path` is (a regular
// file, a pipe, standard input) is read to its end as ReadSettings reads a
// file; what failed, with the system's reason, when it cannot be read or is
// larger than kSettingsFileLimit. The state holds what was read before.
platform::FileResult ReadSettingsFrom(const std::string& path, SettingsState& state);

// The exact text of the file for a state (CR LF line ends), UTF-8.
std::string SettingsText(const SettingsState& state);
// Writes the file through a temporary file renamed over the old one, so a
// failed write never leaves a partial file. The state is not changed. The
// file holds the text in the system's 8-bit text where it can (see
// platform/TextFile.h): the same bytes on POSIX, the ANSI code page on Windows.
platform::FileResult WriteSettings(const std::string& path, const SettingsState& state);

struct ProjectRecord {
    std::string name;
    std::string source;
    std::string destination;
};
// Splits "name|source|destination" at the first two '|'; nothing for a line
// with fewer than two.
std::optional<ProjectRecord> ParseProject(const std::string& line);
std::string ProjectLine(const ProjectRecord& record);

// A folder already listed (compared without regard to case and to one
// trailing separator) keeps its place; a new one enters at slot 0, the
// others move down and slot 9 is dropped.
void RememberRecentFolder(RecentFolders& slots, const std::string& folder, char separator = '/');

} // namespace tandrel::settings
