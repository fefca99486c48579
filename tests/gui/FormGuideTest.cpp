#include "gui/dialogs/FormGuide.h"

#include "ScriptedDialogs.h"
#include "ShownPaths.h"
#include "gui/app/Registry.h"
#include "settings/SettingsFile.h"
#include "support/TempTree.h"

#include <QDir>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QUrl>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <memory>

namespace tandrel::gui {
namespace {

using test::ScriptedDialogs;
using test::Shown;
using test::TempTree;

QStringList Items(const QComboBox* box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

// A dialog as the user meets it: shown, with the main window behind it.
struct Fixture {
    TempTree tree;
    AppState app;
    ScriptedDialogs dialogs;
    QWidget main;

    Fixture()
    {
        tree.MakeDir("src");
        tree.MakeDir("dst");
        app.settingsPath = ToQ(tree.Path("tdl.ini"));
        main.show();
    }
};

TEST(FormGuideTest, ControlsAndOpeningState)
{
    Fixture f;
    WriteRegistryValue(QStringLiteral("SourceDir"), QStringLiteral("/reg/source"));
    WriteRegistryValue(QStringLiteral("TargetDir"), QStringLiteral("/reg/target"));
    f.app.settings.recentSources = {"/a", "", "/b", "", "", "", "", "", "", "/c"};
    f.app.settings.recentDestinations = {"/x", "", "", "", "", "", "", "", "", ""};
    f.app.runFlag.Set(true);

    FormGuide form(f.app, f.dialogs, &f.main);
    EXPECT_FALSE(f.app.runFlag.IsSet());
    EXPECT_EQ(form.windowTitle(), QStringLiteral("New Comparison"));
    EXPECT_TRUE(form.isModal());
    EXPECT_EQ(form.Label1->text(), QStringLiteral("Compare source with destination"));
    EXPECT_GT(form.Label1->font().pointSizeF(), form.Label2->font().pointSizeF());
    EXPECT_EQ(form.Label2->text(), QStringLiteral("Projects:"));
    EXPECT_EQ(form.Command5->text(), QStringLiteral("&Projects"));
    EXPECT_EQ(form.Label3->text(), QStringLiteral("Source directory:"));
    EXPECT_EQ(form.Command3->text(), QStringLiteral("&Browse..."));
    EXPECT_EQ(form.Label4->text(), QStringLiteral("Destination directory:"));
    EXPECT_EQ(form.Command4->text(), QStringLiteral("B&rowse..."));
    EXPECT_EQ(form.Check1->text(), QStringLiteral("Include subdirectories"));
    EXPECT_TRUE(form.Check1->isChecked());
    EXPECT_EQ(form.Command1->text(), QStringLiteral("&Compare"));
    EXPECT_EQ(form.Command2->text(), QStringLiteral("C&lose"));
    EXPECT_TRUE(form.Label9->text().isEmpty());
    EXPECT_FALSE(form.Combo3->isEditable());
    EXPECT_TRUE(form.Combo1->isEditable());
    EXPECT_TRUE(form.Combo2->isEditable());
    for (const char* name : {"Label1", "Label2", "Combo3", "Command5", "Label3", "Combo1", "Command3", "Label4",
                             "Combo2", "Command4", "Check1", "Command1", "Command2", "Label9"})
        EXPECT_NE(form.findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;

    // No roots yet: the boxes show the stored values; the lists skip empty slots.
    EXPECT_EQ(form.Combo1->currentText(), QStringLiteral("/reg/source"));
    EXPECT_EQ(form.Combo2->currentText(), QStringLiteral("/reg/target"));
    EXPECT_EQ(Items(form.Combo1), (QStringList{"/a", "/b", "/c"}));
    EXPECT_EQ(Items(form.Combo2), (QStringList{"/x"}));

    // After a comparison the roots win, as the run left them.
    f.app.sourceRoot = QStringLiteral("/last/src/");
    f.app.destinationRoot = QStringLiteral("/last/dst/");
    FormGuide again(f.app, f.dialogs, &f.main);
    EXPECT_EQ(again.Combo1->currentText(), QStringLiteral("/last/src/"));
    EXPECT_EQ(again.Combo2->currentText(), QStringLiteral("/last/dst/"));

    WriteRegistryValue(QStringLiteral("SourceDir"), QString());
    WriteRegistryValue(QStringLiteral("TargetDir"), QString());
    EXPECT_TRUE(f.dialogs.requests.empty());
}

TEST(FormGuideTest, CompareChecksInOrderWithTheirMessages)
{
    Fixture f;
    FormGuide form(f.app, f.dialogs, &f.main);
    form.show();
    const QString src = Shown(f.tree.Path("src"));
    const QString dst = Shown(f.tree.Path("dst"));

    // Only spaces in the source: its message, and the destination is not looked at.
    form.Combo1->setEditText(QStringLiteral("   "));
    form.Combo2->setEditText(QString());
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    ASSERT_EQ(f.dialogs.Messages().size(), 1u);
    EXPECT_EQ(f.dialogs.Messages()[0].text, QStringLiteral("Please specify source directory"));
    EXPECT_EQ(f.dialogs.Messages()[0].title, QStringLiteral("Tandrel"));
    EXPECT_EQ(f.dialogs.Messages()[0].icon, MessageIcon::Information);
    EXPECT_EQ(f.dialogs.Messages()[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(f.dialogs.Messages()[0].owner, &form);
    EXPECT_TRUE(form.isVisible());

    f.dialogs.Clear();
    form.Combo1->setEditText(src);
    form.Combo2->setEditText(QStringLiteral("  "));
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    ASSERT_EQ(f.dialogs.Messages().size(), 1u);
    EXPECT_EQ(f.dialogs.Messages()[0].text, QStringLiteral("Please specify destination directory"));
    EXPECT_EQ(f.dialogs.Messages()[0].title, QStringLiteral("Tandrel"));
    EXPECT_EQ(f.dialogs.Messages()[0].icon, MessageIcon::Information);

    // Only blanks are trimmed: a tab is text, which then fails the folder test.
    f.dialogs.Clear();
    form.Combo2->setEditText(QStringLiteral(" \t "));
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    ASSERT_EQ(f.dialogs.Messages().size(), 1u);
    EXPECT_EQ(f.dialogs.Messages()[0].text, QStringLiteral("\t is not accessible."));
    EXPECT_EQ(f.dialogs.Messages()[0].icon, MessageIcon::Critical);

    // A missing source is named as typed.
    f.dialogs.Clear();
    const QString missing = Shown(f.tree.Path("nowhere"));
    form.Combo1->setEditText(missing);
    form.Combo2->setEditText(dst);
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    ASSERT_EQ(f.dialogs.Messages().size(), 1u);
    EXPECT_EQ(f.dialogs.Messages()[0].text, missing + QStringLiteral(" is not accessible."));
    EXPECT_EQ(f.dialogs.Messages()[0].title, QStringLiteral("Tandrel"));
    EXPECT_EQ(f.dialogs.Messages()[0].icon, MessageIcon::Critical);
    EXPECT_EQ(f.dialogs.Messages()[0].buttons, MessageButtons::Ok);

#ifndef Q_OS_WIN // where a name cannot end in a blank
    // The folder tested is the one that would be compared: with "x " on disk
    // and no "x", the text "x " names the missing "x".
    f.dialogs.Clear();
    f.tree.MakeDir("dst/x ");
    form.Combo1->setEditText(src);
    form.Combo2->setEditText(dst + QStringLiteral("/x "));
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    ASSERT_EQ(f.dialogs.Messages().size(), 1u);
    EXPECT_EQ(f.dialogs.Messages()[0].text, dst + QStringLiteral("/x is not accessible."));
    EXPECT_EQ(f.dialogs.Messages()[0].icon, MessageIcon::Critical);
    f.dialogs.Clear();
    form.Combo1->setEditText(QStringLiteral(" ") + dst + QStringLiteral("/x "));
    form.Combo2->setEditText(dst);
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    ASSERT_EQ(f.dialogs.Messages().size(), 1u);
    EXPECT_EQ(f.dialogs.Messages()[0].text, dst + QStringLiteral("/x is not accessible."));
#endif

    // A file is not a folder.
    f.dialogs.Clear();
    form.Combo1->setEditText(src);
    f.tree.WriteFile("plain.txt", "x");
    form.Combo2->setEditText(ToQ(f.tree.Path("plain.txt")));
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    ASSERT_EQ(f.dialogs.Messages().size(), 1u);
    EXPECT_EQ(f.dialogs.Messages()[0].text, Shown(f.tree.Path("plain.txt")) + QStringLiteral(" is not accessible."));

    // None of that published anything or remembered anything.
    EXPECT_FALSE(f.app.runFlag.IsSet());
    EXPECT_TRUE(f.app.sourceRoot.isEmpty());
    EXPECT_TRUE(f.app.settings.recentSources[0].empty());
    EXPECT_FALSE(f.tree.Exists("tdl.ini"));
    EXPECT_TRUE(form.isVisible());
}

TEST(FormGuideTest, SuccessfulComparePublishesRemembersAndCloses)
{
    Fixture f;
    f.main.hide();
    FormGuide form(f.app, f.dialogs, &f.main);
    form.show();
    const QString src = Shown(f.tree.Path("src"));
    const QString dst = Shown(f.tree.Path("dst/"));
    // Blanks around a folder go before it is tested and compared.
    form.Combo1->setEditText(QStringLiteral("  ") + src + QStringLiteral(" "));
    form.Combo2->setEditText(dst);
    form.Check1->setChecked(false);
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    EXPECT_TRUE(f.dialogs.requests.empty());
    EXPECT_TRUE(f.app.runFlag.IsSet());
    EXPECT_EQ(f.app.sourceRoot, src);
    EXPECT_EQ(f.app.destinationRoot, dst); // no separator added or removed here
    EXPECT_FALSE(f.app.includeSubdirectories);
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(f.main.isVisible()); // closing brings the main window up

    // First comparison ever: slot 0 holds each folder, the others stay empty;
    // the file on disk says the same.
    EXPECT_EQ(f.app.settings.recentSources[0], FromQ(src));
    EXPECT_EQ(f.app.settings.recentDestinations[0], FromQ(dst));
    for (int i = 1; i < settings::kRecentSlots; ++i)
        EXPECT_TRUE(f.app.settings.recentSources[i].empty());
    settings::SettingsState onDisk;
    settings::ReadSettings(FromQ(f.app.settingsPath), onDisk);
    EXPECT_EQ(onDisk.recentSources[0], FromQ(src));
    EXPECT_EQ(onDisk.recentDestinations[0], FromQ(dst));

    // Next time: the check box is back on, the lists show one entry each, and
    // the subfolder choice holds until the next successful Compare.
    FormGuide again(f.app, f.dialogs, &f.main);
    EXPECT_TRUE(again.Check1->isChecked());
    EXPECT_FALSE(f.app.includeSubdirectories);
    EXPECT_EQ(Items(again.Combo1), QStringList{src});
    EXPECT_EQ(Items(again.Combo2), QStringList{dst});
    again.show();
    QTest::mouseClick(again.Command2, Qt::LeftButton);
    EXPECT_FALSE(f.app.runFlag.IsSet());
    EXPECT_EQ(again.result(), QDialog::Rejected);
    EXPECT_FALSE(f.app.includeSubdirectories);

#ifndef Q_OS_WIN // where a name cannot hold a tab
    // A tab ending a folder's name is part of it: the folder that passed the
    // test is the one compared; only the blanks around it go.
    f.tree.MakeDir("tab\t");
    const QString tabbed = ToQ(f.tree.Path("tab\t"));
    FormGuide third(f.app, f.dialogs, &f.main);
    third.show();
    third.Combo1->setEditText(tabbed);
    third.Combo2->setEditText(dst);
    QTest::mouseClick(third.Command1, Qt::LeftButton);
    EXPECT_TRUE(f.dialogs.requests.empty());
    EXPECT_TRUE(f.app.runFlag.IsSet());
    EXPECT_EQ(f.app.sourceRoot, tabbed);
#endif
}

TEST(FormGuideTest, RecentFolderRules)
{
    Fixture f;
    const QString src = Shown(f.tree.Path("src"));
    const QString dst = Shown(f.tree.Path("dst"));
    // Full source list: the new folder enters at slot 0 and slot 9 drops out.
    for (int i = 0; i < settings::kRecentSlots; ++i)
        f.app.settings.recentSources[i] = "/old/" + std::to_string(i);
    // The destination is known already in another case with a trailing separator.
    const QString known = Shown(f.tree.Path("DST/"));
    f.app.settings.recentDestinations = {"/first", FromQ(known), "", "", "", "", "", "", "", ""};

    FormGuide form(f.app, f.dialogs, &f.main);
    form.show();
    form.Combo1->setEditText(src);
    form.Combo2->setEditText(dst);
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    ASSERT_TRUE(f.app.runFlag.IsSet());

    EXPECT_EQ(f.app.settings.recentSources[0], FromQ(src));
    for (int i = 1; i < settings::kRecentSlots; ++i)
        EXPECT_EQ(f.app.settings.recentSources[i], "/old/" + std::to_string(i - 1));
    EXPECT_EQ(f.app.settings.recentDestinations[0], "/first");
    EXPECT_EQ(f.app.settings.recentDestinations[1], FromQ(known));
    EXPECT_TRUE(f.app.settings.recentDestinations[2].empty());
}

TEST(FormGuideTest, ProjectsFillBothBoxes)
{
    Fixture f;
    f.app.settings.projectList = {"Photos|/home/p/photos|/media/backup/photos", "Mail|/m/a|/m/b|extra",
                                  "broken line", "Docs|/d/src|/d/dst"};
    FormGuide form(f.app, f.dialogs, &f.main);
    form.show();
    EXPECT_EQ(Items(form.Combo3), (QStringList{"Photos", "Mail", "Docs"}));
    EXPECT_EQ(form.Combo3->currentIndex(), -1);

    form.Combo1->setEditText(QStringLiteral("/typed"));
    form.Check1->setChecked(false);
    form.Combo3->setCurrentIndex(0);
    emit form.Combo3->activated(0);
    EXPECT_EQ(form.Combo1->currentText(), QStringLiteral("/home/p/photos"));
    EXPECT_EQ(form.Combo2->currentText(), QStringLiteral("/media/backup/photos"));
    EXPECT_FALSE(form.Check1->isChecked());

    // Everything after the second separator is the destination.
    form.Combo3->setCurrentIndex(1);
    emit form.Combo3->activated(1);
    EXPECT_EQ(form.Combo2->currentText(), QStringLiteral("/m/b|extra"));

    // An entry past a line without a name still picks its own project.
    form.Combo3->setCurrentIndex(2);
    emit form.Combo3->activated(2);
    EXPECT_EQ(form.Combo1->currentText(), QStringLiteral("/d/src"));
    EXPECT_EQ(form.Combo2->currentText(), QStringLiteral("/d/dst"));

    // A name with one separator only is listed but changes nothing.
    f.app.settings.projectList = {"Half|/only/one", "Full|/s|/t"};
    form.FillProjectList();
    EXPECT_EQ(Items(form.Combo3), (QStringList{"Half", "Full"}));
    form.Combo3->setCurrentIndex(0);
    emit form.Combo3->activated(0);
    EXPECT_EQ(form.Combo1->currentText(), QStringLiteral("/d/src"));
    emit form.Combo3->activated(-1);
    EXPECT_EQ(form.Combo1->currentText(), QStringLiteral("/d/src"));

    // The projects button asks for the projects manager.
    QSignalSpy spy(&form, &FormGuide::projectsRequested);
    QTest::mouseClick(form.Command5, Qt::LeftButton);
    EXPECT_EQ(spy.count(), 1);
    EXPECT_TRUE(f.dialogs.requests.empty());
}

TEST(FormGuideTest, BrowseButtons)
{
    Fixture f;
    FormGuide form(f.app, f.dialogs, &f.main);
    form.show();
    const QString src = Shown(f.tree.Path("src"));
    const QString dst = Shown(f.tree.Path("dst"));

    // The start folder loses one trailing separator; the title names the side.
    form.Combo1->setEditText(src + QDir::separator());
    f.dialogs.folderReplies.push_back(dst);
    QTest::mouseClick(form.Command3, Qt::LeftButton);
    ASSERT_EQ(f.dialogs.requests.size(), 1u);
    EXPECT_EQ(f.dialogs.requests[0].kind, ScriptedDialogs::Kind::ChooseFolder);
    EXPECT_EQ(f.dialogs.requests[0].title, QStringLiteral("Please select the source directory"));
    EXPECT_EQ(f.dialogs.requests[0].startFolder, src);
    EXPECT_EQ(f.dialogs.requests[0].owner, &form);
    EXPECT_EQ(form.Combo1->currentText(), dst);

    // The root keeps its separator.
    f.dialogs.Clear();
    form.Combo2->setEditText(test::ShownRoot());
    QTest::mouseClick(form.Command4, Qt::LeftButton); // cancelled
    ASSERT_EQ(f.dialogs.requests.size(), 1u);
    EXPECT_EQ(f.dialogs.requests[0].title, QStringLiteral("Please select the destination directory"));
    EXPECT_EQ(f.dialogs.requests[0].startFolder, test::ShownRoot());
    EXPECT_EQ(form.Combo2->currentText(), test::ShownRoot()); // cancel changes nothing, says nothing
    EXPECT_TRUE(f.dialogs.Messages().empty());

    // A start folder that is not there: the chooser opens at its nearest existing parent.
    f.dialogs.Clear();
    form.Combo2->setEditText(Shown(f.tree.Path("src/no/such/folder/")));
    QTest::mouseClick(form.Command4, Qt::LeftButton);
    ASSERT_EQ(f.dialogs.requests.size(), 1u);
    EXPECT_EQ(f.dialogs.requests[0].startFolder, src);

    // A chosen folder that cannot be read.
    f.dialogs.Clear();
    const QString gone = ToQ(f.tree.Path("gone"));
    f.dialogs.folderReplies.push_back(gone);
    QTest::mouseClick(form.Command4, Qt::LeftButton);
    ASSERT_EQ(f.dialogs.Messages().size(), 1u);
    EXPECT_EQ(f.dialogs.Messages()[0].text, QStringLiteral("Can not read ") + gone);
    EXPECT_EQ(f.dialogs.Messages()[0].title, QStringLiteral("Error"));
    EXPECT_EQ(f.dialogs.Messages()[0].icon, MessageIcon::Critical);
    EXPECT_EQ(f.dialogs.Messages()[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(form.Combo2->currentText(), Shown(f.tree.Path("src/no/such/folder/")));
}

// Folders typed with '/' are browsed from and compared in the system's form,
// the one the lists and messages show.
TEST(FormGuideTest, TypedFoldersTakeTheSystemsForm)
{
    Fixture f;
    FormGuide form(f.app, f.dialogs, &f.main);
    form.show();
    form.Combo1->setEditText(ToQ(f.tree.Path("src/")));
    QTest::mouseClick(form.Command3, Qt::LeftButton); // cancelled
    ASSERT_EQ(f.dialogs.requests.size(), 1u);
    EXPECT_EQ(f.dialogs.requests[0].startFolder, Shown(f.tree.Path("src")));
    form.Combo2->setEditText(ToQ(f.tree.Path("dst")));
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    EXPECT_EQ(f.app.sourceRoot, Shown(f.tree.Path("src/")));
    EXPECT_EQ(f.app.destinationRoot, Shown(f.tree.Path("dst")));
}

TEST(FormGuideTest, CloseLeavesTheFlagDown)
{
    Fixture f;
    f.main.hide();
    FormGuide form(f.app, f.dialogs, &f.main);
    form.show();
    form.close(); // the close box
    EXPECT_FALSE(f.app.runFlag.IsSet());
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(f.main.isVisible());
    EXPECT_FALSE(f.tree.Exists("tdl.ini"));
}

#ifndef _WIN32 // where a name is bytes, not necessarily UTF-8
TEST(FormGuideTest, LastFoldersNotUtf8ComeBackFromTheUserSettings)
{
    Fixture f;
    f.tree.MakeDir("caf\xE9");
    f.tree.MakeDir("\xFF\xFE");
    const std::string source = f.tree.Path("caf\xE9");
    const std::string destination = f.tree.Path("\xFF\xFE");
    // As the main window stores them when it closes, and the next start reads them.
    WriteRegistryValue(QStringLiteral("SourceDir"), ToQ(source));
    WriteRegistryValue(QStringLiteral("TargetDir"), ToQ(destination));
    FormGuide form(f.app, f.dialogs, &f.main);
    form.show();
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    EXPECT_TRUE(f.dialogs.requests.empty());
    EXPECT_EQ(FromQ(f.app.sourceRoot), source);
    EXPECT_EQ(FromQ(f.app.destinationRoot), destination);
    WriteRegistryValue(QStringLiteral("SourceDir"), QString());
    WriteRegistryValue(QStringLiteral("TargetDir"), QString());
}
#endif

// Records whether Enter reached a control.
struct EnterSeen : QObject {
    bool seen = false;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            seen = seen || key == Qt::Key_Return || key == Qt::Key_Enter;
        }
        return false;
    }
};

// Enter presses Compare whatever control has the focus, and the control never
// sees the key (a desktop theme may let the Projects box open its list on it,
// or a button or check box take it as a press).
TEST(FormGuideTest, EnterComparesFromEveryControl)
{
    const char* names[] = {"Combo3", "Combo1", "Combo2", "Check1", "Command5", "Command3", "Command4", "Command2"};
    for (const char* name : names) {
        Fixture f;
        FormGuide guide(f.app, f.dialogs, &f.main);
        guide.Combo1->setEditText(ToQ(f.tree.Path("src")));
        guide.Combo2->setEditText(ToQ(f.tree.Path("dst")));
        guide.show();
        guide.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&guide));
        auto* control = guide.findChild<QWidget*>(QString::fromLatin1(name));
        ASSERT_NE(control, nullptr) << name;
        control->setFocus();
        EnterSeen recorder;
        control->installEventFilter(&recorder);
        QTest::keyClick(control, Qt::Key_Return);
        EXPECT_FALSE(recorder.seen) << name;
        EXPECT_TRUE(f.app.runFlag.IsSet()) << name;
        EXPECT_EQ(guide.result(), QDialog::Accepted) << name;
    }
}

std::unique_ptr<QMimeData> Urls(const std::vector<std::string>& paths)
{
    QList<QUrl> urls;
    for (const std::string& path : paths)
        urls << QUrl::fromLocalFile(ToQ(path));
    auto data = std::make_unique<QMimeData>();
    data->setUrls(urls);
    return data;
}

// A drag over `target` at `pos` (the target's own coordinates) and its drop:
// true when the window took it.
bool DropAt(QWidget* target, QPoint pos, const QMimeData& data)
{
    QDragEnterEvent enter(pos, Qt::CopyAction | Qt::LinkAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDragMoveEvent move(pos, Qt::CopyAction | Qt::LinkAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    if (!move.isAccepted())
        return false;
    QDropEvent drop(QPointF(pos), Qt::CopyAction | Qt::LinkAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

// One folder fills the box it lands on, two fill both wherever they land;
// files, a third item and one folder beside the boxes are refused.
TEST(FormGuideTest, DroppedFoldersFillTheBoxes)
{
    Fixture f;
    f.tree.MakeDir("photos");
    f.tree.MakeDir("backup");
    f.tree.WriteFile("notes.txt", "x");
    FormGuide guide(f.app, f.dialogs, &f.main);
    guide.show();
    const auto centre = [&guide](QWidget* w) { return w->mapTo(&guide, w->rect().center()); };
    const auto photos = Urls({f.tree.Path("photos")});
    const auto both = Urls({f.tree.Path("photos"), f.tree.Path("backup")});

    EXPECT_TRUE(DropAt(&guide, centre(guide.Combo2), *photos));
    EXPECT_EQ(guide.Combo2->currentText(), QDir::toNativeSeparators(ToQ(f.tree.Path("photos"))));
    EXPECT_TRUE(DropAt(&guide, centre(guide.Combo1), *Urls({f.tree.Path("backup")})));
    EXPECT_EQ(guide.Combo1->currentText(), QDir::toNativeSeparators(ToQ(f.tree.Path("backup"))));
    EXPECT_TRUE(DropAt(&guide, centre(guide.Label1), *both));
    EXPECT_EQ(guide.Combo1->currentText(), QDir::toNativeSeparators(ToQ(f.tree.Path("photos"))));
    EXPECT_EQ(guide.Combo2->currentText(), QDir::toNativeSeparators(ToQ(f.tree.Path("backup"))));

    const std::vector<std::vector<std::string>> refused = {
        {f.tree.Path("notes.txt")},
        {f.tree.Path("photos"), f.tree.Path("notes.txt")},
        {f.tree.Path("photos"), f.tree.Path("backup"), f.tree.Path("src")},
        {f.tree.Path("gone")},
    };
    for (const auto& paths : refused)
        EXPECT_FALSE(DropAt(&guide, centre(guide.Combo1), *Urls(paths))) << paths.back();
    EXPECT_FALSE(DropAt(&guide, centre(guide.Label1), *photos));
    EXPECT_EQ(guide.Combo1->currentText(), QDir::toNativeSeparators(ToQ(f.tree.Path("photos"))));
    EXPECT_EQ(guide.Combo2->currentText(), QDir::toNativeSeparators(ToQ(f.tree.Path("backup"))));
}

} // namespace
} // namespace tandrel::gui
