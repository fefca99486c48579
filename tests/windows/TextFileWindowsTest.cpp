#include "platform/TextFile.h"
#include "platform/windows/WindowsFiles.h"
#include "report/ReportWriter.h"
#include "settings/SettingsFile.h"
#include "windows/WinTestFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <windows.h>

namespace tandrel {
namespace {

using test::WinTestFolder;

const std::string kMark(platform::kUtf8Mark);

// The cases are written for the Western code page, where "é" is the byte E9.
class WesternCodePage : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (GetACP() != 1252)
            GTEST_SKIP() << "the ANSI code page is " << GetACP() << ", these cases need 1252 (Western)";
    }

    WinTestFolder m_folder;
};

std::string Replaced(std::string text, const std::string& from, const std::string& to)
{
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// What the folder holds: a file written a second time, with the mark, leaves
// no temporary file of the first attempt behind.
std::vector<std::string> Names(const WinTestFolder& folder)
{
    std::vector<platform::WindowsEntry> entries;
    EXPECT_TRUE(platform::ListFolder(folder.Root(), entries).ok());
    std::vector<std::string> names;
    for (const auto& entry : entries)
        names.push_back(entry.name);
    std::sort(names.begin(), names.end());
    return names;
}

struct NameCase {
    const char* what;
    std::string name;    // UTF-8
    const char* inFile;  // the name's bytes in the ANSI file; null: the file is UTF-8 with the mark
};

const NameCase kNameCases[] = {
    {"ASCII", "C:\\Docs", "C:\\Docs"},
    {"Western letters", "C:\\Caf\xC3\xA9\\\xC3\xA5r", "C:\\Caf\xE9\\\xE5r"},
    {"the euro sign", "C:\\\xE2\x82\xAC", "C:\\\x80"},
    {"Greek", "C:\\\xCE\x91\xCE\xB8\xCE\xAE\xCE\xBD\xCE\xB1", nullptr},
    {"CJK", "C:\\\xE6\x9D\xB1\xE4\xBA\xAC", nullptr},
    {"Western and Greek letters in one name", "C:\\Caf\xC3\xA9 \xCE\x91", nullptr},
    {"a with macron, which a best fit would write as a", "C:\\\xC4\x81", nullptr},
    {"letters whose page bytes read as UTF-8", "C:\\\xC3\x83\xC2\xA9", nullptr},
};

TEST_F(WesternCodePage, SettingsFileIsInTheCodePageWhenItCanHoldTheNames)
{
    for (const auto& c : kNameCases) {
        SCOPED_TRACE(c.what);
        settings::SettingsState state;
        settings::ReadSettingsText("", state);
        state.recentSources[0] = c.name;
        state.projectList.push_back("P|" + c.name + "|D:\\");
        const std::string text = settings::SettingsText(state);
        const std::string path = m_folder.Path(settings::kSettingsFileName);
        ASSERT_TRUE(settings::WriteSettings(path, state).ok());
        EXPECT_EQ(m_folder.ReadFile(settings::kSettingsFileName), c.inFile ? Replaced(text, c.name, c.inFile)
                                                                           : kMark + text);
        settings::SettingsState read;
        settings::ReadSettings(path, read);
        EXPECT_EQ(read.recentSources[0], c.name);
        EXPECT_EQ(settings::SettingsText(read), text);
    }
    EXPECT_EQ(Names(m_folder), std::vector<std::string>{settings::kSettingsFileName});
}

TEST_F(WesternCodePage, ReportsFollowTheSameRule)
{
    const std::string western = "caf\xC3\xA9.txt";
    const std::string cjk = "\xE6\x9D\xB1\xE4\xBA\xAC.txt";
    struct Case {
        const char* what;
        std::vector<std::string> names;
        bool marked;
    };
    const Case cases[] = {
        {"a Western name", {western}, false},
        {"a Western and a CJK name", {western, cjk}, true},
    };
    for (const auto& c : cases) {
        engine::ResultStore store;
        store.Reset("C:\\src\\", "C:\\dst\\", 0);
        for (const auto& name : c.names) {
            engine::CompareItem item;
            item.relativePath = name;
            item.size = 1;
            store.AddResultRow(engine::ResultCategory::NotInDestination, std::move(item));
        }
        for (const auto format : {report::ReportFormat::Text, report::ReportFormat::Csv}) {
            SCOPED_TRACE(std::string(c.what) + (format == report::ReportFormat::Csv ? ", CSV" : ", text"));
            report::ReportRequest request;
            request.format = format;
            request.include[engine::Index(engine::ResultCategory::NotInDestination)] = true;
            request.sectionCaptions[engine::Index(engine::ResultCategory::NotInDestination)] = "Not in destination";
            std::ostringstream text;
            report::WriteReport(text, store, request);
            ASSERT_TRUE(report::WriteReport(m_folder.Path("report"), store, request).ok());
            EXPECT_EQ(m_folder.ReadFile("report"),
                      c.marked ? kMark + text.str() : Replaced(text.str(), western, "caf\xE9.txt"));
        }
    }
    EXPECT_EQ(Names(m_folder), std::vector<std::string>{"report"});
}

TEST_F(WesternCodePage, OldAndForeignSettingsFilesAreRead)
{
    struct Case {
        const char* what;
        std::string start; // before the first line
        std::string line;  // as the file holds it
        std::string name;  // as read
    };
    const Case cases[] = {
        {"an ANSI file of the program", "", "C:\\caf\xE9", "C:\\caf\xC3\xA9"},
        {"UTF-8 without the mark, as editors save it", "", "C:\\caf\xC3\xA9", "C:\\caf\xC3\xA9"},
        {"UTF-8 with the mark", kMark, "C:\\\xCE\x91", "C:\\\xCE\x91"},
        {"page bytes in a file with the mark stay as they are", kMark, "C:\\caf\xE9", "C:\\caf\xE9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_folder.WriteFile("old.ini", c.start + "[Source]\r\n" + c.line + "\r\n[Option]\r\nIgnoreTime=5\r\n");
        settings::SettingsState read;
        settings::ReadSettings(m_folder.Path("old.ini"), read);
        EXPECT_EQ(read.recentSources[0], c.name);
        EXPECT_EQ(read.options.IgnoreTime, 5);
    }
}

} // namespace
} // namespace tandrel
