// Settings text: any bytes are read without fault, and the state read from
// them survives being written and read again, field by field and byte for
// byte. The same bytes read from a file give the same state. Project lines
// split and join back, and remembering a folder follows the recent-folder rule.

#include "FoldedCharacters.h"
#include "FuzzCheck.h"

#include "settings/SettingsFile.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

using namespace tandrel;
using fuzz::Fail;
using fuzz::Require;
using fuzz::RequireEqual;

namespace {

int g_fileFd = -1;
std::string g_filePath;

void RequireSameList(const std::vector<std::string>& actual, const std::vector<std::string>& expected,
                     const char* what)
{
    if (actual.size() != expected.size())
        Fail(std::string(what) + ": " + std::to_string(actual.size()) + " entries, expected " +
             std::to_string(expected.size()));
    for (std::size_t i = 0; i < actual.size(); ++i)
        RequireEqual(actual[i], expected[i], what, i);
}

void RequireSameSlots(const settings::RecentFolders& actual, const settings::RecentFolders& expected,
                      const char* what)
{
    for (std::size_t i = 0; i < actual.size(); ++i)
        RequireEqual(actual[i], expected[i], what, i);
}

void RequireSameNumber(std::int32_t actual, std::int32_t expected, const char* key)
{
    if (actual != expected)
        Fail(std::string(key) + ": got " + std::to_string(actual) + ", expected " + std::to_string(expected));
}

// Every field of the state, one by one.
void RequireSameState(const settings::SettingsState& a, const settings::SettingsState& b)
{
    RequireSameNumber(a.options.IgnoreTime, b.options.IgnoreTime, "IgnoreTime");
    RequireSameNumber(a.options.IgnoreType, b.options.IgnoreType, "IgnoreType");
    RequireSameNumber(a.options.IgnoreArchive, b.options.IgnoreArchive, "IgnoreArchive");
    RequireSameNumber(a.options.IgnoreHidden, b.options.IgnoreHidden, "IgnoreHidden");
    RequireSameNumber(a.options.IgnoreReadonly, b.options.IgnoreReadonly, "IgnoreReadonly");
    RequireSameNumber(a.options.IgnoreSystem, b.options.IgnoreSystem, "IgnoreSystem");
    Require(a.options.Overwriting == b.options.Overwriting, "Overwriting differs");
    Require(a.options.IgnoreError == b.options.IgnoreError, "IgnoreError differs");
    Require(a.options.PlaySound == b.options.PlaySound, "PlaySound differs");
    RequireSameSlots(a.recentSources, b.recentSources, "recent source");
    RequireSameSlots(a.recentDestinations, b.recentDestinations, "recent destination");
    RequireSameList(a.projectList, b.projectList, "project line");
    RequireSameList(a.ignoredTypes, b.ignoredTypes, "ignored name");
}

// A line as reading stores it: not empty, one line, no surrounding spaces.
void RequireStoredLine(const std::string& text, const char* what)
{
    if (text.empty() || text.find_first_of("\r\n") != std::string::npos || text.front() == ' ' ||
        text.back() == ' ')
        Fail(std::string(what) + " stored as \"" + fuzz::Escaped(text) + "\"");
}

// What reading promises about any state it fills.
void RequireReadShape(const settings::SettingsState& state)
{
    for (const auto* slots : {&state.recentSources, &state.recentDestinations}) {
        bool free = false;
        for (const auto& slot : *slots) {
            if (slot.empty()) {
                free = true;
                continue;
            }
            Require(!free, "recent folders are not packed from slot 0");
            RequireStoredLine(slot, "recent folder");
        }
    }
    for (const auto& project : state.projectList)
        RequireStoredLine(project, "project line");
    for (const auto& entry : state.ignoredTypes)
        RequireStoredLine(entry, "ignored name");
}

// Every line of the written text ends in CR LF and holds no other CR or LF.
void RequireCrLfLines(const std::string& text)
{
    Require(text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0, "written text does not end in CR LF");
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r')
            Require(i + 1 < text.size() && text[i + 1] == '\n', "lone CR in written text");
        else if (text[i] == '\n')
            Require(i > 0 && text[i - 1] == '\r', "lone LF in written text");
    }
}

// A line with two '|' splits into a record that joins back into the same line.
void CheckProjects(const settings::SettingsState& state)
{
    for (const auto& line : state.projectList) {
        const auto record = settings::ParseProject(line);
        const auto bars = std::count(line.begin(), line.end(), '|');
        Require(record.has_value() == (bars >= 2), "a project line splits exactly when it holds two '|'");
        if (!record)
            continue;
        Require(record->name.find('|') == std::string::npos, "project name holds '|'");
        Require(record->source.find('|') == std::string::npos, "project source holds '|'");
        RequireEqual(settings::ProjectLine(*record), line, "project line joined again");
    }
}

// The recent-folder rule, read plainly: a folder already listed (compared
// character by character in upper case, as ignored names are, and without
// regard to one trailing separator) keeps its place; a new one enters at
// slot 0 and the others move down by one.
settings::RecentFolders ReferenceRemember(const settings::RecentFolders& slots, const std::string& folder)
{
    const auto key = [](std::string text) {
        if (!text.empty() && text.back() == '/')
            text.pop_back();
        return fuzz::FoldedCharacters(text);
    };
    if (folder.empty())
        return slots;
    for (const auto& slot : slots) {
        if (!slot.empty() && key(slot) == key(folder))
            return slots;
    }
    settings::RecentFolders moved;
    moved[0] = folder;
    for (std::size_t i = 1; i < slots.size(); ++i)
        moved[i] = slots[i - 1];
    return moved;
}

void CheckRememberRecentFolder(const settings::SettingsState& state)
{
    std::vector<std::string> folders(state.recentDestinations.begin(), state.recentDestinations.begin() + 2);
    for (std::size_t i = 0; i < state.ignoredTypes.size() && i < 2; ++i)
        folders.push_back(state.ignoredTypes[i]);
    for (const auto& folder : folders) {
        for (const std::string& variant : {folder, folder + "/"}) {
            settings::RecentFolders slots = state.recentSources;
            settings::RememberRecentFolder(slots, variant);
            RequireSameSlots(slots, ReferenceRemember(state.recentSources, variant), "recent source remembered");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // A file in memory, reached by path: no disk is touched per input.
    g_fileFd = ::memfd_create("tdl.ini", MFD_CLOEXEC);
    if (g_fileFd < 0)
        Fail("cannot make a file in memory");
    g_filePath = "/proc/self/fd/" + std::to_string(g_fileFd);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    settings::SettingsState first;
    settings::ReadSettingsText(bytes, first);
    RequireReadShape(first);
    CheckProjects(first);
    CheckRememberRecentFolder(first);

    const std::string written = settings::SettingsText(first);
    RequireCrLfLines(written);

    settings::SettingsState second;
    settings::ReadSettingsText(written, second);
    RequireSameState(second, first);
    RequireEqual(settings::SettingsText(second), written, "text written a second time");

    // The file reader cuts lines the same way as the text reader.
    if (::ftruncate(g_fileFd, 0) == 0 &&
        ::pwrite(g_fileFd, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size())) {
        settings::SettingsState fromFile;
        settings::ReadSettings(g_filePath, fromFile);
        RequireSameState(fromFile, first);
    }
    return 0;
}
