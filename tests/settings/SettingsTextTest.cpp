// The settings file's text: what the writer makes of a state and what the
// reader makes of a text, without a file (the same on every system).

#include "settings/SettingsTestText.h"
#include "support/Holds.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

namespace tandrel::settings {
namespace {

using namespace test_text;

TEST(SettingsFile, WritesTheLayoutForDefaultsAndForNoFile)
{
    SettingsState defaults;
    defaults.options = CompareOptions::Defaults();
    const std::string expected = "[Source]\r\n\r\n[Destination]\r\n\r\n[Project]\r\n\r\n\r\n[Option]\r\n"
                                 "IgnoreTime=0\r\nIgnoreType=0\r\nIgnoreArchive=0\r\nIgnoreHidden=1\r\n"
                                 "IgnoreReadonly=0\r\nIgnoreSystem=1\r\nOverwriting=True\r\nIgnoreError=True\r\n"
                                 "PlaySound=True\r\n\r\n[IgnoreFile]\r\n";
    EXPECT_EQ(SettingsText(defaults), expected);

    // Without a file at start-up every option is 0 or false, and so is the first file written.
    const SettingsState none;
    const std::string text = SettingsText(none);
    EXPECT_TRUE(test::Holds(text, "\r\nIgnoreHidden=0\r\n"));
    EXPECT_TRUE(test::Holds(text, "\r\nIgnoreSystem=0\r\n"));
    EXPECT_TRUE(test::Holds(text, "\r\nOverwriting=False\r\nIgnoreError=False\r\nPlaySound=False\r\n"));
}

TEST(SettingsFile, WritesEveryListInItsPlace)
{
    const SettingsState s = SampleState();
    const std::string expected = Lines({"[Source]", "/home/ann/Photos", "/srv/share/", "/media/usb stick", "",
                                        "[Destination]", "/backup/Photos", "", "[Project]",
                                        "Photos|/home/ann/Photos|/backup/Photos", "Docs|C:\\A",
                                        "My|Proj|C:\\A|C:\\B", ""}) +
                                 OptionLines(s.options) + Lines({"", "[IgnoreFile]", "Thumbs.db", "*.tmp", ".git"});
    EXPECT_EQ(SettingsText(s), expected);
    EXPECT_TRUE(test::Holds(expected, "IgnoreHidden=-1\r\n"));

    // Free slots in the middle and empty ignored names write nothing.
    SettingsState gaps;
    gaps.recentSources[0] = "/a";
    gaps.recentSources[5] = "/b";
    gaps.ignoredTypes = {"", "x"};
    const std::string text = SettingsText(gaps);
    EXPECT_EQ(text.substr(0, 20), "[Source]\r\n/a\r\n/b\r\n\r\n");
    EXPECT_EQ(text.substr(text.size() - 17), "[IgnoreFile]\r\nx\r\n");
}

TEST(SettingsFile, ReadingAndWritingNormaliseTheText)
{
    const std::string messy = "junk before any header\r\n"
                              "IgnoreTime=9\r\n"
                              "   [Source]   \r\n"
                              "\r\n"
                              "   /one   \r\n"
                              "        \r\n"
                              "/two\t\r\n"
                              "[Option]\r\n"
                              "Colour=blue\r\n"
                              "IgnoreTime=4\r\n"
                              "IgnoreTime=5\r\n"
                              "IgnoreTime=bad\r\n"
                              "no equals sign\r\n"
                              "[IgnoreFile]\r\n"
                              "  *.bak  \r\n";
    const SettingsState s = Read(messy);
    EXPECT_EQ(s.recentSources[0], "/one");
    EXPECT_EQ(s.recentSources[1], "/two\t"); // tabs are not trimmed
    EXPECT_EQ(s.recentSources[2], "");
    EXPECT_EQ(s.options.IgnoreTime, 5); // the later valid line wins
    EXPECT_EQ(s.ignoredTypes, std::vector<std::string>{"*.bak"});

    CompareOptions expectedOptions = CompareOptions::Defaults();
    expectedOptions.IgnoreTime = 5;
    EXPECT_EQ(SettingsText(s), Lines({"[Source]", "/one", "/two\t", "", "[Destination]", "", "[Project]", "", ""}) +
                                   OptionLines(expectedOptions) + Lines({"", "[IgnoreFile]", "*.bak"}));

    // A [Project] section of empty lines only.
    const SettingsState empty = Read(Lines({"[Project]", "", "   ", ""}));
    EXPECT_TRUE(empty.projectList.empty());
    EXPECT_TRUE(test::Holds(SettingsText(empty), "[Project]\r\n\r\n\r\n[Option]"));
}

TEST(SettingsFile, ReadsOptionValuesAsDescribed)
{
    {
        const SettingsState s = Read(Lines({"[Option]", "IgnoreHidden=0"}));
        CompareOptions expected = CompareOptions::Defaults();
        expected.IgnoreHidden = 0;
        EXPECT_EQ(s.options, expected);
    }
    {
        const SettingsState s = Read(Lines({"[Option]", "IgnoreTime=abc", "PlaySound=yes",
                                            "IgnoreError=", "IgnoreType=", "IgnoreArchive=1.5"}));
        EXPECT_EQ(s.options, CompareOptions::Defaults()) << "unusable values keep the defaults";
    }
    {
        const SettingsState s = Read(Lines({"[Option]", "PlaySound=0", "Overwriting=False"}));
        EXPECT_FALSE(s.options.PlaySound);
        EXPECT_FALSE(s.options.Overwriting);
    }
    {
        const SettingsState s = Read(Lines({"[Option]", "IgnoreHidden=-1", "IgnoreTime=99999999",
                                            "IgnoreSystem=2147483647", "IgnoreReadonly=-2147483648",
                                            "IgnoreType=7"}));
        EXPECT_EQ(s.options.IgnoreHidden, -1);
        EXPECT_EQ(s.options.IgnoreTime, 99999999);
        EXPECT_EQ(s.options.IgnoreSystem, 2147483647);
        EXPECT_EQ(s.options.IgnoreReadonly, INT32_MIN);
        EXPECT_EQ(s.options.IgnoreType, 7); // the range is not checked
        const std::string text = SettingsText(s);
        EXPECT_TRUE(test::Holds(text, "\r\nIgnoreHidden=-1\r\n"));
        EXPECT_TRUE(test::Holds(text, "\r\nIgnoreTime=99999999\r\n"));
        EXPECT_TRUE(test::Holds(text, "\r\nIgnoreReadonly=-2147483648\r\n"));
        EXPECT_FALSE(FilterOn(s.options.IgnoreHidden));
    }
    {
        // Out of the 32-bit range: the option keeps what it had.
        const SettingsState s = Read(Lines({"[Option]", "IgnoreTime=3", "IgnoreTime=2147483648",
                                            "IgnoreTime=-2147483649", "IgnoreTime=99999999999999999999"}));
        EXPECT_EQ(s.options.IgnoreTime, 3);
    }
    {
        // Keys are matched without regard to case but are not trimmed.
        const SettingsState s = Read(Lines({"[Option]", "IGNORETIME=8", "ignoretype=2", "IgnoreHidden =0",
                                            "playsound=FALSE", "OVERWRITING=false", "IgnoreError=-3"}));
        EXPECT_EQ(s.options.IgnoreTime, 8);
        EXPECT_EQ(s.options.IgnoreType, 2);
        EXPECT_EQ(s.options.IgnoreHidden, 1);
        EXPECT_FALSE(s.options.PlaySound);
        EXPECT_FALSE(s.options.Overwriting);
        EXPECT_TRUE(s.options.IgnoreError);
    }
    {
        // A number as truth value: zero is false, anything else true.
        const SettingsState s = Read(Lines({"[Option]", "Overwriting=2", "IgnoreError=0.0", "PlaySound=0.25"}));
        EXPECT_TRUE(s.options.Overwriting);
        EXPECT_FALSE(s.options.IgnoreError);
        EXPECT_TRUE(s.options.PlaySound);
    }
    {
        // The value is everything after the first '='.
        const SettingsState s = Read(Lines({"[Option]", "IgnoreTime=1=2", "IgnoreType= 4"}));
        EXPECT_EQ(s.options.IgnoreTime, 0);
        EXPECT_EQ(s.options.IgnoreType, 4);
    }
    {
        // Reading starts from the defaults and empties projects and ignored
        // names, but leaves recent slots that the file does not fill.
        SettingsState s;
        s.options.IgnoreTime = 77;
        s.projectList = {"Old|/a|/b"};
        s.ignoredTypes = {"old"};
        s.recentSources[3] = "/kept";
        ReadSettingsText(Lines({"[Source]", "/new"}), s);
        EXPECT_EQ(s.options, CompareOptions::Defaults());
        EXPECT_TRUE(s.projectList.empty());
        EXPECT_TRUE(s.ignoredTypes.empty());
        EXPECT_EQ(s.recentSources[0], "/new");
        EXPECT_EQ(s.recentSources[3], "/kept");
    }
}

TEST(SettingsFile, ProjectsAreSplitAtTheFirstTwoBars)
{
    const SettingsState s = Read(Lines({"[Project]", "Docs|C:\\A", "My|Proj|C:\\A|C:\\B", "Plain", "||"}));
    EXPECT_EQ(s.projectList, (std::vector<std::string>{"Docs|C:\\A", "My|Proj|C:\\A|C:\\B", "Plain", "||"}));
    EXPECT_TRUE(test::Holds(SettingsText(s), "[Project]\r\nDocs|C:\\A\r\nMy|Proj|C:\\A|C:\\B\r\nPlain\r\n||\r\n\r\n"));

    EXPECT_FALSE(ParseProject("Docs|C:\\A").has_value());
    EXPECT_FALSE(ParseProject("Plain").has_value());
    const auto my = ParseProject("My|Proj|C:\\A|C:\\B");
    ASSERT_TRUE(my.has_value());
    EXPECT_EQ(my->name, "My");
    EXPECT_EQ(my->source, "Proj");
    EXPECT_EQ(my->destination, "C:\\A|C:\\B");
    const auto empty = ParseProject("||");
    ASSERT_TRUE(empty.has_value());
    EXPECT_EQ(empty->name, "");
    EXPECT_EQ(empty->source, "");
    EXPECT_EQ(empty->destination, "");

    EXPECT_EQ(ProjectLine({"Photos", "/home/ann", "/backup"}), "Photos|/home/ann|/backup");
    const auto back = ParseProject(ProjectLine({"A b", "/x y", "/z|w"}));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->destination, "/z|w");
}

TEST(SettingsFile, RecentSectionsKeepTenAndContinueAfterARepeatedHeader)
{
    std::string text = "[Source]\r\n";
    for (int i = 0; i < 12; ++i)
        text += "/s" + std::to_string(i) + "\r\n";
    const SettingsState twelve = Read(text);
    for (int i = 0; i < kRecentSlots; ++i)
        EXPECT_EQ(twelve.recentSources[static_cast<std::size_t>(i)], "/s" + std::to_string(i));
    EXPECT_EQ(SettingsText(twelve).find("/s10"), std::string::npos);

    // A repeated header continues where its section stopped.
    const SettingsState split = Read(Lines({"[Source]", "/a", "/b", "[Destination]", "/d0", "[source]",
                                            "[Project]", "P|/x|/y", "[Source]", "/c", "/d", "[Destination]",
                                            "/d1", "[Project]", "Q|/x|/y"}));
    EXPECT_EQ(split.recentSources[0], "/a");
    EXPECT_EQ(split.recentSources[1], "/b");
    EXPECT_EQ(split.recentSources[2], "/c");
    EXPECT_EQ(split.recentSources[3], "/d");
    EXPECT_EQ(split.recentDestinations[0], "/d0");
    EXPECT_EQ(split.recentDestinations[1], "[source]"); // not a header: data of its section
    EXPECT_EQ(split.recentDestinations[2], "/d1");
    EXPECT_EQ(split.projectList, (std::vector<std::string>{"P|/x|/y", "Q|/x|/y"}));
}

TEST(SettingsFile, AcceptsEveryKindOfLineEnd)
{
    const auto check = [](const std::string& text, const char* what) {
        const SettingsState s = Read(text);
        EXPECT_EQ(s.recentSources[0], "/a") << what;
        EXPECT_EQ(s.recentSources[1], "/b") << what;
        EXPECT_EQ(s.recentSources[2], "") << what;
        EXPECT_EQ(s.options.IgnoreTime, 6) << what;
        EXPECT_EQ(s.ignoredTypes, std::vector<std::string>{"*.o"}) << what;
    };
    check("[Source]\r\n/a\r\n/b\r\n[Option]\r\nIgnoreTime=6\r\n[IgnoreFile]\r\n*.o\r\n", "CR LF");
    check("[Source]\r/a\r/b\r[Option]\rIgnoreTime=6\r[IgnoreFile]\r*.o\r", "lone CR");
    check("[Source]\n/a\n/b\n[Option]\nIgnoreTime=6\n[IgnoreFile]\n*.o\n", "lone LF");
    check("[Source]\r\n/a\r/b\n\n\r\r\n[Option]\n\rIgnoreTime=6\r\n[IgnoreFile]\r\n*.o", "mixed, no final end");
    check("[Source]\r\n   \r\n/a\r\n      \r\n/b\r\n[Option]\r\nIgnoreTime=6\r\n[IgnoreFile]\r\n*.o  ",
          "lines of blanks only");
    check("\xEF\xBB\xBF[Source]\r\n/a\r\n/b\r\n[Option]\r\nIgnoreTime=6\r\n[IgnoreFile]\r\n*.o\r\n",
          "UTF-8 byte-order mark");
    // Blanks are trimmed, tabs are not: a line of blanks around a tab is data.
    EXPECT_EQ(Read("[Source]\r\n \t \r\n").recentSources[0], "\t");
}

TEST(SettingsFile, EntriesWithLineBreaksAreNotWritten)
{
    // Such an entry would come back as several lines, even as a header or an option.
    SettingsState s;
    s.recentSources = {"/ok", "/evil\r\n[IgnoreFile]\r\ninjected"};
    s.projectList = {"Bad|/a\n|/b"};
    s.ignoredTypes = {"x\ry", "fine"};
    const std::string text = SettingsText(s);
    EXPECT_EQ(text.find("evil"), std::string::npos);
    EXPECT_EQ(text.find("Bad"), std::string::npos);
    EXPECT_TRUE(test::Holds(text, "[Project]\r\n\r\n\r\n[Option]"));
    EXPECT_EQ(text.substr(text.size() - 20), "[IgnoreFile]\r\nfine\r\n");
    const SettingsState back = Read(text);
    EXPECT_EQ(back.ignoredTypes, std::vector<std::string>{"fine"});
    EXPECT_EQ(back.recentSources[0], "/ok");
    EXPECT_EQ(back.recentSources[1], "");
}

TEST(SettingsFile, RememberRecentFolderKeepsKnownFoldersInPlace)
{
    RecentFolders slots{};
    RememberRecentFolder(slots, "/home/ann/Photos");
    RememberRecentFolder(slots, "/srv/share/");
    EXPECT_EQ(slots[0], "/srv/share/");
    EXPECT_EQ(slots[1], "/home/ann/Photos");

    // Known regardless of case and of one trailing separator: nothing moves.
    const RecentFolders before = slots;
    RememberRecentFolder(slots, "/HOME/ann/photos/");
    RememberRecentFolder(slots, "/srv/SHARE");
    RememberRecentFolder(slots, "/srv/share/");
    EXPECT_EQ(slots, before);
    RememberRecentFolder(slots, "/srv/\xC3\x9C" "bersicht"); // Übersicht, then üBERSICHT
    RememberRecentFolder(slots, "/srv/\xC3\xBC" "BERSICHT/");
    EXPECT_EQ(slots[0], "/srv/\xC3\x9C" "bersicht");
    EXPECT_EQ(slots[1], "/srv/share/");
    slots = before;

    // Only one trailing separator is disregarded.
    RememberRecentFolder(slots, "/srv/share//");
    EXPECT_EQ(slots[0], "/srv/share//");
    EXPECT_EQ(slots[1], "/srv/share/");
    EXPECT_EQ(slots[2], "/home/ann/Photos");

    // The root is a folder like any other, not a free slot.
    RememberRecentFolder(slots, "/");
    EXPECT_EQ(slots[0], "/");
    RememberRecentFolder(slots, "/");
    EXPECT_EQ(slots[1], "/srv/share//");
    EXPECT_EQ(slots[4], "");

    // A new folder enters at slot 0 and the content of slot 9 is dropped.
    RecentFolders full{};
    for (int i = 9; i >= 0; --i)
        RememberRecentFolder(full, "/f" + std::to_string(i));
    EXPECT_EQ(full[0], "/f0");
    EXPECT_EQ(full[9], "/f9");
    RememberRecentFolder(full, "/new");
    EXPECT_EQ(full[0], "/new");
    EXPECT_EQ(full[1], "/f0");
    EXPECT_EQ(full[9], "/f8");
    RememberRecentFolder(full, "/F5/");
    EXPECT_EQ(full[6], "/f5");
    EXPECT_EQ(full[0], "/new");

    // The same rule for drive-letter paths.
    RecentFolders drives{};
    RememberRecentFolder(drives, "C:\\Data\\", '\\');
    RememberRecentFolder(drives, "c:\\data", '\\');
    RememberRecentFolder(drives, "D:\\", '\\');
    RememberRecentFolder(drives, "d:", '\\');
    EXPECT_EQ(drives[0], "D:\\");
    EXPECT_EQ(drives[1], "C:\\Data\\");
    EXPECT_EQ(drives[2], "");

    // An empty folder is never remembered.
    RememberRecentFolder(drives, "", '\\');
    EXPECT_EQ(drives[0], "D:\\");
}

} // namespace
} // namespace tandrel::settings
