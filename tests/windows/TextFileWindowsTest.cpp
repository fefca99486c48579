#include "platform/TextFile.h"
#include "platform/windows/WindowsFiles.h"
#include "report/ReportWriter.h"
#include "settings/SettingsFile.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <sstream>
#include <windows.h>

namespace tandrel {
namespace {

const std::string kMark(platform::kUtf8Mark);
const std::string kCafe = "caf\xC3\xA9"; // "café"; E9 in the Western code page
const std::string kTokyo = "\xE6\x9D\xB1\xE4\xBA\xAC";

class WesternCodePage : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (GetACP() != 1252)
            GTEST_SKIP() << "the ANSI code page is " << GetACP() << ", these cases need 1252 (Western)";
    }

    // A file written again with the mark leaves no temporary file of the first attempt behind.
    void ExpectOnly(const std::string& name) const
    {
        std::vector<platform::WindowsEntry> entries;
        EXPECT_TRUE(platform::ListFolder(m_folder.Root(), entries).ok());
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].name, name);
    }

    test::TempTree m_folder;
};

// `text` with `name` as the ANSI file holds it, or the whole text behind the mark.
std::string InFile(std::string text, const std::string& name, const std::string& ansiName)
{
    if (ansiName.empty())
        return kMark + text;
    for (auto at = text.find(name); at != std::string::npos; at = text.find(name, at + ansiName.size()))
        text.replace(at, name.size(), ansiName);
    return text;
}

TEST_F(WesternCodePage, SettingsFileIsInTheCodePageWhenItCanHoldTheNames)
{
    // A name and its bytes in the ANSI file; none: the file is UTF-8 with the mark.
    const std::pair<std::string, std::string> cases[] = {
        {"C:\\" + kCafe + "\\\xC3\xA5r", "C:\\caf\xE9\\\xE5r"},
        {"C:\\\xE2\x82\xAC", "C:\\\x80"},                    // the euro sign
        {"C:\\\xCE\x91\xCE\xB8\xCE\xAE\xCE\xBD\xCE\xB1", ""}, // Greek
        {"C:\\" + kTokyo, ""},
        {"C:\\" + kCafe + " \xCE\x91", ""}, // Western and Greek letters in one name
        {"C:\\\xC4\x81", ""},               // a with macron, which a best fit would write as a
        {"C:\\\xC3\x83\xC2\xA9", ""},     // letters whose page bytes read as UTF-8
    };
    const std::string path = m_folder.Path(settings::kSettingsFileName);
    for (const auto& [name, ansiName] : cases) {
        settings::SettingsState state;
        settings::ReadSettingsText("", state);
        state.recentSources[0] = name;
        const std::string text = settings::SettingsText(state);
        ASSERT_TRUE(settings::WriteSettings(path, state).ok());
        EXPECT_EQ(m_folder.ReadFile(settings::kSettingsFileName), InFile(text, name, ansiName)) << name;
        settings::SettingsState read;
        settings::ReadSettings(path, read);
        EXPECT_EQ(settings::SettingsText(read), text) << name;
    }
    ExpectOnly(settings::kSettingsFileName);
}

TEST_F(WesternCodePage, ReportsFollowTheSameRule)
{
    constexpr auto kList = engine::ResultCategory::NotInDestination;
    engine::ResultStore store;
    store.Reset("C:\\src\\", "C:\\dst\\", 0);
    for (const bool withCjk : {false, true}) {
        engine::CompareItem item;
        item.relativePath = withCjk ? kTokyo : kCafe;
        store.AddResultRow(kList, std::move(item));
        for (const auto format : {report::ReportFormat::Text, report::ReportFormat::Csv}) {
            report::ReportRequest request;
            request.format = format;
            request.include[engine::Index(kList)] = true;
            std::ostringstream text;
            report::WriteReport(text, store, request);
            ASSERT_TRUE(report::WriteReport(m_folder.Path("report"), store, request).ok());
            EXPECT_EQ(m_folder.ReadFile("report"), InFile(text.str(), kCafe, withCjk ? "" : "caf\xE9"))
                << ReportExtension(format) << (withCjk ? " with" : " without") << " a CJK name";
        }
    }
    ExpectOnly("report");
}

TEST_F(WesternCodePage, OldAndForeignSettingsFilesAreRead)
{
    // The file's start and a line as the file holds them, and the name read.
    const std::string cases[][3] = {
        {"", "caf\xE9", kCafe},         // an ANSI file of the program
        {"", kCafe, kCafe},             // UTF-8 without the mark, as editors save it
        {kMark, kTokyo, kTokyo},        // UTF-8 with the mark
        {kMark, "caf\xE9", "caf\xE9"}, // page bytes in a file with the mark stay as they are
    };
    for (const auto& [start, line, name] : cases) {
        m_folder.WriteFile("old.ini", start + "[Source]\r\n" + line + "\r\n[Option]\r\nIgnoreTime=5\r\n");
        settings::SettingsState read;
        settings::ReadSettings(m_folder.Path("old.ini"), read);
        EXPECT_EQ(read.recentSources[0], name);
        EXPECT_EQ(read.options.IgnoreTime, 5);
    }
}

} // namespace
} // namespace tandrel
