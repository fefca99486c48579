#include "gui/app/AppSetup.h"
#include "gui/app/Registry.h"

#include "settings/SettingsFile.h"
#include "support/TempTree.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace tandrel::gui {
namespace {

using test::TempTree;

void ClearRegistry()
{
    QSettings key(QString::fromLatin1(kRegistryOrganization), QString::fromLatin1(kRegistryApplication));
    key.clear();
    key.sync();
}

TEST(AppSetupTest, ProgramFolderGetsOneTrailingSlash)
{
    EXPECT_EQ(WithTrailingSlash(QStringLiteral("/opt/tandrel")), QStringLiteral("/opt/tandrel/"));
    EXPECT_EQ(WithTrailingSlash(QStringLiteral("/opt/tandrel/")), QStringLiteral("/opt/tandrel/"));
    // Installed at the root: no second separator.
    EXPECT_EQ(WithTrailingSlash(QStringLiteral("/")), QStringLiteral("/"));

    TempTree tree;
    tree.MakeDir("prog");
    const QString prog = ToQ(tree.Path("prog"));
    EXPECT_EQ(ProgramFolder(prog), prog + QLatin1Char('/'));
    EXPECT_EQ(ProgramFolder(prog + QLatin1Char('/')), prog + QLatin1Char('/'));
}

#ifndef Q_OS_WIN
// POSIX modes and an unprivileged child: Linux only.
TEST(AppSetupTest, ReadOnlyProgramFolderFallsBackToThePerUserDataFolder)
{
    TempTree tree;
    tree.MakeDir("prog");
    tree.MakeDir("home");
    tree.Chmod("prog", 0555);
    tree.Chmod("home", 0777);
    const std::string prog = tree.Path("prog");
    const std::string home = tree.Path("home");
    // As an ordinary user the program folder cannot be written; the data
    // folder under that user's home is created and used instead.
    const int status = test::RunUnprivileged([&]() {
        qputenv("HOME", QByteArray::fromStdString(home));
        const QString folder = ProgramFolder(ToQ(prog));
        const QString expected =
            WithTrailingSlash(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation));
        return folder != ToQ(prog) + QLatin1Char('/') && folder == expected && folder.startsWith(ToQ(home))
            && QFileInfo(folder).isDir();
    });
    EXPECT_EQ(status, 0);
}
#endif

TEST(AppSetupTest, StartUpWithoutSettingsFileKeepsInitialValuesAndCreatesReport)
{
    TempTree tree;
    tree.MakeDir("prog");
    AppState state;
    state.runFlag.Set(true);
    PrepareAppState(state, ToQ(tree.Path("prog")));

    EXPECT_EQ(state.appFolder, ToQ(tree.Path("prog/")));
    EXPECT_EQ(state.settingsPath, ToQ(tree.Path("prog/tdl.ini")));
    EXPECT_EQ(state.reportFolder, ToQ(tree.Path("prog/Report")));
    EXPECT_TRUE(QFileInfo(state.reportFolder).isDir());
    EXPECT_FALSE(tree.Exists("prog/tdl.ini")); // nothing is written at start-up
    EXPECT_EQ(state.settings.options, settings::CompareOptions{});
    EXPECT_TRUE(state.settings.projectList.empty());
    for (const std::string& slot : state.settings.recentSources)
        EXPECT_TRUE(slot.empty());
    EXPECT_FALSE(state.runFlag.IsSet());
}

TEST(AppSetupTest, StartUpReadsAnExistingSettingsFileAndLeavesAReportFileAlone)
{
    TempTree tree;
    settings::SettingsState written;
    written.options = settings::CompareOptions::Defaults();
    written.options.IgnoreTime = 2;
    written.options.PlaySound = false;
    written.recentSources[0] = "/data/one";
    written.recentDestinations[0] = "/backup/one";
    written.projectList = {"Photos|/home/p|/media/p"};
    written.ignoredTypes = {"*.tmp", "Thumbs.db"};
    tree.WriteFile("prog/tdl.ini", settings::SettingsText(written));
    tree.WriteFile("prog/Report", "not a folder");

    AppState state;
    PrepareAppState(state, ToQ(tree.Path("prog/")));
    EXPECT_EQ(state.settings.options, written.options);
    EXPECT_EQ(state.settings.recentSources, written.recentSources);
    EXPECT_EQ(state.settings.recentDestinations, written.recentDestinations);
    EXPECT_EQ(state.settings.projectList, written.projectList);
    EXPECT_EQ(state.settings.ignoredTypes, written.ignoredTypes);
    // Something named Report exists: it is neither replaced nor touched.
    EXPECT_EQ(tree.ReadFile("prog/Report"), "not a folder");
}

#ifndef Q_OS_WIN
// FIFOs and dangling links made by the test: Linux only.
TEST(AppSetupTest, OnlyARegularSettingsFileIsRead)
{
    TempTree tree;
    // A pipe of that name would block a reader forever; it is not looked at.
    tree.MakeFifo("prog/tdl.ini");
    tree.Symlink("nowhere", "prog/Report");
    AppState state;
    PrepareAppState(state, ToQ(tree.Path("prog")));
    EXPECT_EQ(state.settings.options, settings::CompareOptions{});
    // A dangling link named Report counts as something named Report.
    EXPECT_FALSE(QFileInfo(ToQ(tree.Path("prog/Report"))).isDir());
}
#endif

TEST(RegistryTest, ValuesReadBackWithTheZeroCharacterRules)
{
    ClearRegistry();
    EXPECT_EQ(ReadRegistryValue(QStringLiteral("SourceDir")), QString());

    WriteRegistryValue(QStringLiteral("SourceDir"), QStringLiteral("/home/ann/Data/"));
    EXPECT_EQ(ReadRegistryValue(QStringLiteral("SourceDir")), QStringLiteral("/home/ann/Data/"));
    WriteRegistryValue(QStringLiteral("SourceDir"), QStringLiteral("/home/ann/Müll ü/"));
    EXPECT_EQ(ReadRegistryValue(QStringLiteral("SourceDir")), QStringLiteral("/home/ann/Müll ü/"));
    // Folder names with the characters a settings file treats specially come back as stored.
    for (const QString& folder : {QStringLiteral("/home/ann/Bills, 2024/"), QStringLiteral("/a;b/c=d/"),
                                  QStringLiteral("/x \"quoted\"/"), QStringLiteral("@home/"),
                                  QStringLiteral(" /lead and trail/ "), QStringLiteral("/back\\slash/"),
                                  QStringLiteral("/tab\there/"), QStringLiteral("/#hash/[x]/")}) {
        WriteRegistryValue(QStringLiteral("SourceDir"), folder);
        EXPECT_EQ(ReadRegistryValue(QStringLiteral("SourceDir")), folder) << folder.toStdString();
    }

    // Stored by another tool with a terminating zero character: read without it.
    WriteRegistryValue(QStringLiteral("TargetDir"), QStringLiteral("/backup/") + QChar(0));
    EXPECT_EQ(ReadRegistryValue(QStringLiteral("TargetDir")), QStringLiteral("/backup/"));
    // A first character of zero reads as empty text.
    WriteRegistryValue(QStringLiteral("TargetDir"), QString(QChar(0)) + QStringLiteral("/backup/"));
    EXPECT_EQ(ReadRegistryValue(QStringLiteral("TargetDir")), QString());
    WriteRegistryValue(QStringLiteral("TargetDir"), QString());
    EXPECT_EQ(ReadRegistryValue(QStringLiteral("TargetDir")), QString());

    // A number reads as its decimal text, anything else as empty text.
    {
        QSettings key(QString::fromLatin1(kRegistryOrganization), QString::fromLatin1(kRegistryApplication));
        key.setValue(QStringLiteral("Number"), 4711);
        key.setValue(QStringLiteral("List"), QStringList{QStringLiteral("a"), QStringLiteral("b")});
        key.sync();
    }
    EXPECT_EQ(ReadRegistryValue(QStringLiteral("Number")), QStringLiteral("4711"));
    EXPECT_EQ(ReadRegistryValue(QStringLiteral("List")), QString());
    ClearRegistry();
}

TEST(RegistryTest, EveryFolderFromTheRootUpIsWorthStoring)
{
    EXPECT_FALSE(WorthStoringFolder(QString()));
#ifdef Q_OS_WIN
    EXPECT_FALSE(WorthStoringFolder(QStringLiteral("C:")));
    EXPECT_TRUE(WorthStoringFolder(QStringLiteral("C:\\")));
    EXPECT_TRUE(WorthStoringFolder(QStringLiteral("C:\\Users\\ann\\")));
#else
    EXPECT_TRUE(WorthStoringFolder(QStringLiteral("/")));
    EXPECT_TRUE(WorthStoringFolder(QStringLiteral("/a")));
    EXPECT_TRUE(WorthStoringFolder(QStringLiteral("/home/ann/")));
#endif
}

// An installed tree: the program in <prefix>/bin, its files in
// <prefix>/share/tandrel, whatever the prefix. Settings and reports go to the
// per-user data folder even where bin can be written (root starts it).
TEST(AppSetupTest, AnInstalledProgramFindsItsFilesInTheSharedFolderAndKeepsSettingsPerUser)
{
    TempTree tree;
    tree.WriteFile("opt/tan/share/tandrel/skin.qss", "QWidget {}");
    tree.WriteFile("opt/tan/share/tandrel/help/index.html", "<html></html>");
    tree.MakeDir("opt/tan/bin");
    const QString bin = ToQ(tree.Path("opt/tan/bin"));
    EXPECT_EQ(SharedFilesFolder(bin), ToQ(tree.Path("opt/tan/share/tandrel/")));
    const QString folder = ProgramFolder(bin);
    EXPECT_EQ(folder, WithTrailingSlash(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation)));

    AppState state;
    state.appFolder = ToQ(tree.Path("home/data/"));
    EXPECT_EQ(InstalledFile(state, QStringLiteral("help/index.html"), bin),
              ToQ(tree.Path("opt/tan/share/tandrel/help/index.html")));
    EXPECT_EQ(InstalledFile(state, QStringLiteral("Daylark/Larkrun"), bin), ToQ(tree.Path("home/data/Daylark/Larkrun")));
    tree.WriteFile("home/data/skin.qss", "QWidget { color: red; }"); // the user's own copy comes first
    EXPECT_EQ(InstalledFile(state, QStringLiteral("skin.qss"), bin), ToQ(tree.Path("home/data/skin.qss")));

    // A build folder, or a bin without the shared files, is not an installed tree.
    tree.MakeDir("build/src/share/tandrel");
    tree.MakeDir("usr/bin");
    EXPECT_TRUE(SharedFilesFolder(ToQ(tree.Path("build/src/gui"))).isEmpty());
    EXPECT_EQ(ProgramFolder(ToQ(tree.Path("usr/bin"))), ToQ(tree.Path("usr/bin/")));
}

} // namespace
} // namespace tandrel::gui
