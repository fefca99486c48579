#include "RunTestSupport.h"
#include "gui/run/SyncRunner.h"

#include "FakeResultView.h"
#include "ScriptedDialogs.h"
#include "desktop/Sound.h"
#include "gui/run/EventPump.h"
#include "gui/run/FinishSound.h"
#include "gui/run/FormStauts.h"
#include "gui/app/Registry.h"
#include "platform/FileOps.h"
#include "support/TempTree.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include <gtest/gtest.h>

namespace tandrel::gui {
namespace {

using engine::ResultCategory;
using engine::RowIcon;
using test::FakeResultView;
using test::ScriptedDialogs;
using test::TempTree;

const QString kCopyToDestination =
    QStringLiteral("Are you sure you want to copy selected files and directories\nfrom Source to Destination?");
const QString kCopyToSource =
    QStringLiteral("Are you sure you want to copy selected files and directories\nfrom Destination to Source?");
const QString kDelete = QStringLiteral("Are you sure you want to delete selected files and directories?");

std::string Name(int i)
{
    return (i < 10 ? "f0" : "f") + std::to_string(i);
}

// A result store over a real pair of folders, and the windows around it.
struct Fixture {
    TempTree tree;
    AppState app;
    ScriptedDialogs dialogs;
    QWidget main;
    FakeResultView view{app};
    SyncRunner runner{app, dialogs, view, &main};
    ImmediateEvents immediate;

    Fixture()
    {
        tree.MakeDir("src");
        tree.MakeDir("dst");
        app.store.Reset(tree.Path("src/"), tree.Path("dst/"), 0);
        app.settings.options = settings::CompareOptions::Defaults();
        app.settings.options.PlaySound = false;
        main.show();
    }

    void AddRow(ResultCategory category, const std::string& relative, bool checked, bool folder = false)
    {
        engine::CompareItem item;
        item.relativePath = relative;
        item.isFolder = folder;
        item.icon = folder ? RowIcon::Folder : RowIcon::File;
        item.checked = checked;
        // Listed as a comparison would list what is on disk now.
        const platform::EntryInfo walked = platform::LookUp(app.store.WalkedRoot(category) + relative);
        item.size = folder ? 0 : walked.size;
        item.modified = walked.mtime;
        if (category != ResultCategory::NotInDestination && category != ResultCategory::NotInSource) {
            const platform::EntryInfo other = platform::LookUp(app.store.DestinationRoot() + relative);
            item.counterpartSize = other.size;
            item.counterpartModified = other.mtime;
        }
        app.store.AddResultRow(category, std::move(item));
    }

    std::vector<std::string> Rows(ResultCategory category) const
    {
        std::vector<std::string> out;
        for (const auto& row : app.store.List(category))
            out.push_back(row.relativePath);
        return out;
    }

    const engine::CompareItem* Row(ResultCategory category, const std::string& relative) const
    {
        for (const auto& row : app.store.List(category))
            if (row.relativePath == relative)
                return &row;
        return nullptr;
    }

    // What the status window shows during a run, each change once: call
    // WatchStatus() at every event pass. With `cancelAt` set, Cancel is
    // clicked once, when the caption first reads it.
    std::vector<QString> captions;
    std::vector<QString> paths;
    QString cancelAt;
    bool cancelled = false;
    bool hiddenByCancel = false;

    void WatchStatus()
    {
        FormStauts* status = runner.StatusWindow();
        if (!status)
            return;
        if (captions.empty() || captions.back() != status->windowTitle())
            captions.push_back(status->windowTitle());
        if (paths.empty() || paths.back() != status->LblCurrent->toPlainText())
            paths.push_back(status->LblCurrent->toPlainText());
        if (!cancelled && !cancelAt.isEmpty() && status->windowTitle() == cancelAt) {
            cancelled = true;
            QTest::mouseClick(status->Command1, Qt::LeftButton);
            hiddenByCancel = !status->isVisible();
        }
    }
};

TEST(SyncRunnerTest, CopiesTheCheckedRowsAndCountsThemInTheCaption)
{
    Fixture f;
    for (int i = 1; i <= 10; ++i) {
        f.tree.WriteFile("src/" + Name(i), "content " + std::to_string(i));
        f.AddRow(ResultCategory::NotInDestination, Name(i), i == 2 || i == 5 || i == 9);
    }
    f.app.currentTab = 3;
    f.dialogs.messageReplies.push_back(MessageReply::Yes);

    bool lockedDuringRun = true;
    DuringRun watch([&] {
        f.WatchStatus();
        if (f.runner.StatusWindow() && (f.view.commandsEnabled || f.view.tabStripEnabled))
            lockedDuringRun = false;
    });
    f.runner.CopyCheckedRows(sync::CopyDirection::SourceToDestination);

    ASSERT_EQ(f.dialogs.requests.size(), 1u);
    const auto& question = f.dialogs.requests[0];
    EXPECT_EQ(question.text, kCopyToDestination);
    EXPECT_EQ(question.title, QStringLiteral("Tandrel"));
    EXPECT_EQ(question.icon, MessageIcon::Question);
    EXPECT_EQ(question.buttons, MessageButtons::YesNo);
    EXPECT_EQ(question.owner, &f.main);

    EXPECT_EQ(f.captions, (std::vector<QString>{"Tandrel", "1 of 3", "2 of 3", "3 of 3"}));
    EXPECT_EQ(f.paths, (std::vector<QString>{"", ToQ(f.tree.Path("dst/f02")), ToQ(f.tree.Path("dst/f05")),
                                           ToQ(f.tree.Path("dst/f09"))}));
    EXPECT_TRUE(lockedDuringRun);

    for (int i = 1; i <= 10; ++i) {
        const bool copied = i == 2 || i == 5 || i == 9;
        EXPECT_EQ(f.tree.Exists("dst/" + Name(i)), copied) << i;
        if (copied) {
            EXPECT_EQ(f.tree.ReadFile("dst/" + Name(i)), "content " + std::to_string(i));
        }
    }
    EXPECT_EQ(f.Rows(ResultCategory::NotInDestination),
              (std::vector<std::string>{"f01", "f03", "f04", "f06", "f07", "f08", "f10"}));
    EXPECT_EQ(f.view.tabCaptions[3], QStringLiteral("Can not find destination (7)"));
    EXPECT_EQ(f.runner.StatusWindow(), nullptr);
    EXPECT_TRUE(f.view.commandsEnabled);
    EXPECT_DOUBLE_EQ(f.app.progressFraction, 1.0);
    EXPECT_TRUE(f.app.runFlag.IsSet()); // a run that was not cancelled leaves it raised
    const std::vector<QString> order{QStringLiteral("DisableResultCommands"), QStringLiteral("RemoveProcessedRowsOfCurrentTab"),
                                     QStringLiteral("UpdateTabCaption 3"), QStringLiteral("EnableResultCommands")};
    EXPECT_EQ(f.view.calls, order);
}

TEST(SyncRunnerTest, QuestionsAndWhenNothingHappens)
{
    Fixture f;

    // An empty list: no question, nothing at all.
    f.app.currentTab = 1;
    f.runner.CopyCheckedRows(sync::CopyDirection::SourceToDestination);
    f.runner.DeleteCheckedRows();
    EXPECT_TRUE(f.dialogs.requests.empty());
    EXPECT_TRUE(f.view.calls.empty());

    // No: nothing changes.
    f.tree.WriteFile("dst/only.txt", "d");
    f.AddRow(ResultCategory::NotInSource, "only.txt", true);
    f.app.currentTab = 4;
    f.runner.CopyCheckedRows(sync::CopyDirection::DestinationToSource); // unscripted: No
    ASSERT_EQ(f.dialogs.requests.size(), 1u);
    EXPECT_EQ(f.dialogs.requests[0].text, kCopyToSource);
    EXPECT_TRUE(f.view.calls.empty());
    EXPECT_FALSE(f.tree.Exists("src/only.txt"));
    EXPECT_EQ(f.runner.StatusWindow(), nullptr);

    // A direction the list does not offer is not even asked about.
    f.dialogs.Clear();
    f.runner.CopyCheckedRows(sync::CopyDirection::SourceToDestination);
    EXPECT_TRUE(f.dialogs.requests.empty());

    // Yes on list 4: the destination-only file comes over to the source.
    f.dialogs.messageReplies.push_back(MessageReply::Yes);
    f.runner.CopyCheckedRows(sync::CopyDirection::DestinationToSource);
    EXPECT_EQ(f.tree.ReadFile("src/only.txt"), "d");
    EXPECT_EQ(f.app.store.Count(ResultCategory::NotInSource), 0u);
    EXPECT_EQ(f.view.tabCaptions[4], QStringLiteral("Can not find source (0)"));

    // Rows but none checked: asked, the window comes and goes, the caption is rewritten.
    f.dialogs.Clear();
    f.view.calls.clear();
    f.AddRow(ResultCategory::NotInSource, "a.txt", false);
    f.AddRow(ResultCategory::NotInSource, "b.txt", false);
    f.dialogs.messageReplies.push_back(MessageReply::Yes);
    f.runner.DeleteCheckedRows();
    ASSERT_EQ(f.dialogs.requests.size(), 1u);
    EXPECT_EQ(f.dialogs.requests[0].text, kDelete);
    EXPECT_EQ(f.dialogs.requests[0].icon, MessageIcon::Question);
    EXPECT_EQ(f.dialogs.requests[0].title, QStringLiteral("Tandrel"));
    EXPECT_EQ(f.view.tabCaptions[4], QStringLiteral("Can not find source (2)"));
    EXPECT_EQ(f.runner.StatusWindow(), nullptr);
    EXPECT_EQ(f.view.calls.back(), QStringLiteral("EnableResultCommands"));
}

TEST(SyncRunnerTest, FailuresWithIgnoreErrorOnStayInTheListQuietly)
{
    Fixture f;
    f.app.settings.options.IgnoreError = true;
    for (int i = 1; i <= 5; ++i) {
        if (i != 2 && i != 4) // rows 2 and 4 lost their source since the comparison
            f.tree.WriteFile("src/" + Name(i), "x");
        f.AddRow(ResultCategory::NotInDestination, Name(i), true);
    }
    f.app.currentTab = 3;
    f.dialogs.messageReplies.push_back(MessageReply::Yes);
    f.runner.CopyCheckedRows(sync::CopyDirection::SourceToDestination);

    EXPECT_EQ(f.dialogs.Messages().size(), 1u); // the question only
    EXPECT_EQ(f.Rows(ResultCategory::NotInDestination), (std::vector<std::string>{"f02", "f04"}));
    for (const char* name : {"f02", "f04"}) {
        const auto* row = f.Row(ResultCategory::NotInDestination, name);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->icon, RowIcon::Failed);
        EXPECT_TRUE(row->checked);
        EXPECT_FALSE(row->processed);
        EXPECT_FALSE(row->StatusText().empty());
    }
    EXPECT_TRUE(f.tree.Exists("dst/f01"));
    EXPECT_TRUE(f.tree.Exists("dst/f05"));
    EXPECT_EQ(f.view.tabCaptions[3], QStringLiteral("Can not find destination (2)"));
    // The failed rows were repainted (rows 1 and 3 of the list at that time).
    bool sawRow1 = false;
    for (const auto& change : f.view.changedRows)
        if (change[0] == 3 && change[1] == 1 && change[2] == 1)
            sawRow1 = true;
    EXPECT_TRUE(sawRow1);
}

TEST(SyncRunnerTest, AFailureWithIgnoreErrorOffIsShownAndEndsTheRun)
{
    Fixture f;
    f.app.settings.options.IgnoreError = false;
    for (int i = 1; i <= 5; ++i) {
        if (i != 2)
            f.tree.WriteFile("src/" + Name(i), "x");
        f.AddRow(ResultCategory::NotInDestination, Name(i), true);
    }
    f.app.currentTab = 3;
    f.dialogs.messageReplies.push_back(MessageReply::Yes);
    bool statusOpenAtMessage = false;
    f.dialogs.onRequest = [&](const ScriptedDialogs::Request& r) {
        if (r.icon == MessageIcon::Critical)
            statusOpenAtMessage = f.runner.StatusWindow() != nullptr && r.owner == f.runner.StatusWindow();
    };
    f.runner.CopyCheckedRows(sync::CopyDirection::SourceToDestination);

    const auto messages = f.dialogs.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].icon, MessageIcon::Critical);
    EXPECT_EQ(messages[1].buttons, MessageButtons::Ok);
    EXPECT_EQ(messages[1].title, QStringLiteral("Tandrel"));
    EXPECT_TRUE(statusOpenAtMessage);

    EXPECT_EQ(f.Rows(ResultCategory::NotInDestination), (std::vector<std::string>{"f02", "f03", "f04", "f05"}));
    const auto* failed = f.Row(ResultCategory::NotInDestination, "f02");
    ASSERT_NE(failed, nullptr);
    EXPECT_EQ(failed->icon, RowIcon::Failed);
    EXPECT_EQ(messages[1].text, ToQ(failed->StatusText()));
    EXPECT_TRUE(messages[1].text.contains(QStringLiteral("f02"))) << messages[1].text.toStdString();
    for (const char* name : {"f03", "f04", "f05"}) {
        EXPECT_EQ(f.Row(ResultCategory::NotInDestination, name)->icon, RowIcon::File);
        EXPECT_FALSE(f.tree.Exists(std::string("dst/") + name));
    }
    EXPECT_TRUE(f.tree.Exists("dst/f01"));
    EXPECT_EQ(f.runner.StatusWindow(), nullptr);
    EXPECT_TRUE(f.view.commandsEnabled);
}

TEST(SyncRunnerTest, CancelFinishesTheRowInHandThenStops)
{
    Fixture f;
    for (int i = 1; i <= 10; ++i) {
        f.tree.WriteFile("src/" + Name(i), "x");
        f.AddRow(ResultCategory::NotInDestination, Name(i), true);
    }
    f.app.currentTab = 3;
    f.dialogs.messageReplies.push_back(MessageReply::Yes);

    // Cancel is handled in the event pass at the start of row 4's turn.
    f.cancelAt = QStringLiteral("3 of 10");
    DuringRun cancel([&] { f.WatchStatus(); });
    f.runner.CopyCheckedRows(sync::CopyDirection::SourceToDestination);

    ASSERT_TRUE(f.cancelled);
    EXPECT_TRUE(f.hiddenByCancel);
    EXPECT_FALSE(f.app.runFlag.IsSet());
    for (int i = 1; i <= 10; ++i)
        EXPECT_EQ(f.tree.Exists("dst/" + Name(i)), i <= 4) << i;
    EXPECT_EQ(f.Rows(ResultCategory::NotInDestination),
              (std::vector<std::string>{"f05", "f06", "f07", "f08", "f09", "f10"}));
    for (const auto& row : f.app.store.List(ResultCategory::NotInDestination))
        EXPECT_EQ(row.icon, RowIcon::File);
    EXPECT_EQ(f.view.tabCaptions[3], QStringLiteral("Can not find destination (6)"));
    EXPECT_EQ(f.runner.StatusWindow(), nullptr);
    EXPECT_TRUE(f.view.commandsEnabled);
}

TEST(SyncRunnerTest, CancelledDeleteKeepsTheRowsNotReached)
{
    Fixture f;
    for (int i = 1; i <= 5; ++i) {
        f.tree.WriteFile("dst/" + Name(i), "x");
        f.AddRow(ResultCategory::NotInSource, Name(i), true);
    }
    f.app.currentTab = 4;
    f.dialogs.messageReplies.push_back(MessageReply::Yes);

    // Bottom up, the counter counting up: Cancel at the start of row 3's turn.
    f.cancelAt = QStringLiteral("2 of 5");
    DuringRun cancel([&] { f.WatchStatus(); });
    f.runner.DeleteCheckedRows();

    ASSERT_TRUE(f.cancelled);
    EXPECT_EQ(f.captions, (std::vector<QString>{"Tandrel", "1 of 5", "2 of 5"}));
    for (int i = 1; i <= 5; ++i)
        EXPECT_EQ(f.tree.Exists("dst/" + Name(i)), i <= 2) << i;
    EXPECT_EQ(f.Rows(ResultCategory::NotInSource), (std::vector<std::string>{"f01", "f02"}));
    EXPECT_EQ(f.view.tabCaptions[4], QStringLiteral("Can not find source (2)"));
    EXPECT_FALSE(f.app.runFlag.IsSet());
}

TEST(SyncRunnerTest, DeleteRemovesAFolderAfterItsContent)
{
    Fixture f;
    f.tree.WriteFile("src/F/a.txt", "a");
    f.tree.WriteFile("src/F/b.txt", "b");
    f.tree.WriteFile("src/keep.txt", "k");
    f.AddRow(ResultCategory::NotInDestination, "F", true, true);
    f.AddRow(ResultCategory::NotInDestination, "F/a.txt", true);
    f.AddRow(ResultCategory::NotInDestination, "F/b.txt", true);
    f.AddRow(ResultCategory::NotInDestination, "keep.txt", false);
    f.app.currentTab = 3;
    f.dialogs.messageReplies.push_back(MessageReply::Yes);

    DuringRun watch([&] { f.WatchStatus(); });
    f.runner.DeleteCheckedRows();

    EXPECT_EQ(f.dialogs.requests.at(0).text, kDelete);
    EXPECT_FALSE(f.tree.Exists("src/F"));
    EXPECT_TRUE(f.tree.Exists("src/keep.txt"));
    EXPECT_EQ(f.Rows(ResultCategory::NotInDestination), std::vector<std::string>{"keep.txt"});
    // Bottom up: the files go before their folder (the folder row is the last
    // turn, after which no events run).
    EXPECT_EQ(f.paths, (std::vector<QString>{"", ToQ(f.tree.Path("src/F/b.txt")), ToQ(f.tree.Path("src/F/a.txt"))}));
    EXPECT_EQ(f.view.tabCaptions[3], QStringLiteral("Can not find destination (1)"));

    // The folder alone: not empty, so it fails and says so.
    f.tree.WriteFile("src/G/c.txt", "c");
    f.AddRow(ResultCategory::NotInDestination, "G", true, true);
    f.AddRow(ResultCategory::NotInDestination, "G/c.txt", false);
    f.app.settings.options.IgnoreError = false;
    f.dialogs.Clear();
    f.dialogs.messageReplies.push_back(MessageReply::Yes);
    f.runner.DeleteCheckedRows();
    ASSERT_EQ(f.dialogs.Messages().size(), 2u);
    EXPECT_EQ(f.dialogs.Messages()[1].icon, MessageIcon::Critical);
    EXPECT_EQ(f.Row(ResultCategory::NotInDestination, "G")->icon, RowIcon::Failed);
    EXPECT_TRUE(f.tree.Exists("src/G/c.txt"));
    EXPECT_EQ(f.app.store.Count(ResultCategory::NotInDestination), 3u);
}

TEST(SyncRunnerTest, FinishSoundComesFromTheResources)
{
    AppState app;
    app.settings.options.PlaySound = true;
    PlayFinishSound(app); // no sound device here: silent, and it returns
    QFile wave(QStringLiteral(":/sounds/finish.wav"));
    ASSERT_TRUE(wave.open(QIODevice::ReadOnly));
    EXPECT_TRUE(wave.read(4) == "RIFF");

    // What reaches the device: the whole wave, a playable one, only when
    // PlaySound is on.
    std::vector<QByteArray> played;
    SetWavePlayerForTesting([&played](const unsigned char* data, std::size_t size) {
        played.emplace_back(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
        return true;
    });
    PlayFinishSound(app);
    ASSERT_EQ(played.size(), 1u);
    wave.seek(0);
    EXPECT_EQ(played[0], wave.readAll());
    desktop::WaveImage image;
    EXPECT_TRUE(desktop::ParseWave(reinterpret_cast<const unsigned char*>(played[0].constData()),
                                    static_cast<std::size_t>(played[0].size()), image));
    app.settings.options.PlaySound = false;
    PlayFinishSound(app);
    EXPECT_EQ(played.size(), 1u);

    // Every copy or delete run ends with it, a run that failed or found
    // nothing checked included; a question answered No does not.
    played.clear();
    {
        Fixture f;
        f.app.settings.options.PlaySound = true;
        f.app.currentTab = 3;
        f.tree.WriteFile("src/a.txt", "a");
        f.AddRow(ResultCategory::NotInDestination, "a.txt", true);
        f.AddRow(ResultCategory::NotInDestination, "gone.txt", true);
        f.runner.CopyCheckedRows(sync::CopyDirection::SourceToDestination); // No
        EXPECT_TRUE(played.empty());
        f.dialogs.messageReplies.push_back(MessageReply::Yes);
        f.runner.CopyCheckedRows(sync::CopyDirection::SourceToDestination);
        EXPECT_EQ(played.size(), 1u);
        EXPECT_EQ(f.tree.ReadFile("dst/a.txt"), "a");
        f.app.store.SetAllChecked(false);
        f.dialogs.messageReplies.push_back(MessageReply::Yes);
        f.runner.DeleteCheckedRows();
        EXPECT_EQ(played.size(), 2u);
        f.app.settings.options.PlaySound = false;
        f.dialogs.messageReplies.push_back(MessageReply::Yes);
        f.runner.DeleteCheckedRows();
        EXPECT_EQ(played.size(), 2u);
    }
    SetWavePlayerForTesting({});
}

// With the interval a real session uses, events still run before every row:
// an uncheck made while row k is in hand skips row k + 1, and a Cancel made
// while row k is in hand lets row k + 1 finish and stops there.
TEST(SyncRunnerTest, UnchecksAndCancelActAtTheNextRowWithoutTheThrottle)
{
    struct Case {
        const char* what;
        ResultCategory category;
        bool copy;
    };
    for (const Case& c : {Case{"copy", ResultCategory::NotInDestination, true},
                          Case{"delete", ResultCategory::NotInSource, false}}) {
        Fixture f;
        EventPump::SetInterval(std::chrono::milliseconds(15));
        constexpr int kRows = 40;
        std::vector<std::string> order; // the rows in the order the run takes them
        for (int i = 1; i <= kRows; ++i) {
            f.tree.WriteFile((c.copy ? "src/" : "dst/") + Name(i), "x");
            f.AddRow(c.category, Name(i), true);
            order.push_back(Name(i));
        }
        if (!c.copy)
            std::reverse(order.begin(), order.end());
        f.app.currentTab = engine::Index(c.category);
        f.dialogs.messageReplies.push_back(MessageReply::Yes);

        bool unchecked = false;
        f.cancelAt = QStringLiteral("6 of 40");
        DuringRun user([&] {
            FormStauts* status = f.runner.StatusWindow();
            if (!unchecked && status && status->windowTitle() == QStringLiteral("3 of 40")) {
                unchecked = true;
                for (auto& row : f.app.store.List(c.category))
                    if (row.relativePath == order[3])
                        row.checked = false;
            }
            f.WatchStatus();
        });
        if (c.copy)
            f.runner.CopyCheckedRows(sync::CopyDirection::SourceToDestination);
        else
            f.runner.DeleteCheckedRows();

        ASSERT_TRUE(unchecked) << c.what;
        ASSERT_TRUE(f.cancelled) << c.what;
        for (int k = 0; k < kRows; ++k) {
            const bool done = k < 8 && k != 3;
            const bool exists = f.tree.Exists("dst/" + order[static_cast<std::size_t>(k)]);
            EXPECT_EQ(exists, c.copy ? done : !done) << c.what << " " << order[static_cast<std::size_t>(k)];
        }
        EXPECT_EQ(f.app.store.Count(c.category), static_cast<std::size_t>(kRows - 7)) << c.what;
    }
}

TEST(SyncRunnerTest, CancelDuringALargeFileAbandonsItAndKeepsTheOldTarget)
{
    Fixture f;
    const std::string big(3 * platform::kCopyStepBytes + 1, 'N');
    f.tree.WriteFile("src/big", big);
    f.tree.WriteFile("src/next", "new next");
    f.tree.WriteFile("dst/big", "the old version");
    f.tree.WriteFile("dst/next", "old next");
    f.AddRow(ResultCategory::NewerThanDestination, "big", true);
    f.AddRow(ResultCategory::NewerThanDestination, "next", true);
    f.app.currentTab = 1;
    f.dialogs.messageReplies.push_back(MessageReply::Yes);

    // The first event pass after row 1 has started falls between two steps
    // of its copy.
    f.cancelAt = QStringLiteral("1 of 2");
    DuringRun cancel([&] { f.WatchStatus(); });
    f.runner.CopyCheckedRows(sync::CopyDirection::SourceToDestination);

    ASSERT_TRUE(f.cancelled);
    EXPECT_FALSE(f.app.runFlag.IsSet());
    EXPECT_EQ(f.tree.ReadFile("dst/big"), "the old version");
    EXPECT_EQ(f.tree.ReadFile("dst/next"), "old next");
    EXPECT_EQ(test::FolderEntries(f.tree.Path("dst")), (std::vector<std::string>{"big", "next"}));
    EXPECT_EQ(f.Rows(ResultCategory::NewerThanDestination), (std::vector<std::string>{"big", "next"}));
    const engine::CompareItem* row = f.Row(ResultCategory::NewerThanDestination, "big");
    EXPECT_TRUE(row->checked);
    EXPECT_EQ(row->icon, RowIcon::File);
    EXPECT_EQ(row->StatusText(), "");
    EXPECT_EQ(f.runner.StatusWindow(), nullptr);
    EXPECT_TRUE(f.view.commandsEnabled);
}

TEST(SyncRunnerTest, TheCounterFollowsEveryRowAndThePathAtMostOncePerInterval)
{
    Fixture f;
    EventPump::SetInterval(std::chrono::seconds(10));
    for (const char* name : {"a", "b", "c"}) {
        f.tree.WriteFile(std::string("src/") + name, name);
        f.AddRow(ResultCategory::NotInDestination, name, true);
    }
    f.AddRow(ResultCategory::NotInDestination, "unchecked", false); // its pass shows "3 of 3"
    f.app.currentTab = 3;
    f.dialogs.messageReplies.push_back(MessageReply::Yes);
    DuringRun watch([&] { f.WatchStatus(); });
    f.runner.CopyCheckedRows(sync::CopyDirection::SourceToDestination);

    EXPECT_EQ(f.captions, (std::vector<QString>{"Tandrel", "1 of 3", "2 of 3", "3 of 3"}));
    EXPECT_EQ(f.paths, (std::vector<QString>{"", ToQ(f.tree.Path("dst/a"))}));
    EXPECT_EQ(f.app.store.Count(ResultCategory::NotInDestination), 1u);
}

// The place deleted items go is named as the system names it; No keeps them.
TEST(SyncRunnerTest, TheTrashQuestionNamesTheSystemsOwnPlace)
{
#ifdef Q_OS_WIN
    const QString place = QStringLiteral("the Recycle Bin");
#else
    const QString place = QStringLiteral("the trash");
#endif
    Fixture f;
    WriteTrashChoice(true);
    f.tree.WriteFile("src/a.txt", "a");
    f.AddRow(ResultCategory::NotInDestination, "a.txt", true);
    f.app.currentTab = 3;
    f.dialogs.messageReplies.push_back(MessageReply::No);
    f.runner.DeleteCheckedRows();
    WriteTrashChoice(false);

    ASSERT_EQ(f.dialogs.requests.size(), 1u);
    EXPECT_EQ(f.dialogs.requests[0].text,
              QStringLiteral("Are you sure you want to move selected files and directories to ") + place + "?");
    EXPECT_TRUE(f.tree.Exists("src/a.txt"));
}

TEST(SyncRunnerTest, DeleteOfAnEmptySidesListAsksAgainWithTheCount)
{
    Fixture f;
    for (const char* name : {"a", "b", "c"}) {
        f.tree.WriteFile(std::string("src/") + name, name);
        f.AddRow(ResultCategory::NotInDestination, name, true);
    }
    f.AddRow(ResultCategory::NotInDestination, "unchecked", false);
    f.app.store.SetEmptyRoot(engine::EmptyRoot::Destination);
    f.app.currentTab = 3;
    f.dialogs.messageReplies = {MessageReply::Yes, MessageReply::No};
    f.runner.DeleteCheckedRows();
    ASSERT_EQ(f.dialogs.requests.size(), 2u);
    EXPECT_EQ(f.dialogs.requests[1].text,
              QStringLiteral("The destination folder was empty when it was compared; it may be a drive or share that "
                             "is not mounted.\nAre you sure you want to delete all 3 checked items of the other side?"));
    EXPECT_EQ(f.dialogs.requests[1].icon, MessageIcon::Question);
    EXPECT_EQ(f.dialogs.requests[1].buttons, MessageButtons::YesNo);
    EXPECT_TRUE(f.tree.Exists("src/a"));

    f.dialogs.messageReplies = {MessageReply::Yes, MessageReply::Yes};
    f.runner.DeleteCheckedRows();
    EXPECT_EQ(f.dialogs.requests.size(), 4u);
    EXPECT_FALSE(f.tree.Exists("src/a"));
    EXPECT_EQ(f.app.store.Count(ResultCategory::NotInDestination), 1u);

    // The other list of that comparison is asked about once, as always.
    f.tree.WriteFile("dst/x", "x");
    f.AddRow(ResultCategory::NotInSource, "x", true);
    f.app.currentTab = 4;
    f.dialogs.messageReplies = {MessageReply::Yes};
    f.runner.DeleteCheckedRows();
    EXPECT_EQ(f.dialogs.requests.size(), 5u);
    EXPECT_FALSE(f.tree.Exists("dst/x"));
}

#ifndef Q_OS_WIN
TEST(SyncRunnerTest, WithKeepReplacedOnTheReplacedFileGoesToTheTrash)
{
    Fixture f;
    ::setenv("XDG_DATA_HOME", f.tree.Path("data").c_str(), 1); // never the user's own trash
    WriteKeepReplacedChoice(true);
    f.tree.WriteFile("src/a.txt", "new");
    f.tree.WriteFile("dst/a.txt", "old");
    f.AddRow(ResultCategory::NewerThanDestination, "a.txt", true);
    f.app.currentTab = 1;
    f.dialogs.messageReplies.push_back(MessageReply::Yes);
    f.runner.CopyCheckedRows(sync::CopyDirection::SourceToDestination);
    WriteKeepReplacedChoice(false);
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(f.tree.ReadFile("dst/a.txt"), "new");
    EXPECT_EQ(f.tree.ReadFile("data/Trash/files/a.txt"), "old");
}

// The desktop's trash of Linux; the Recycle Bin is tested with the Windows core.
TEST(SyncRunnerTest, WithTheTrashChoiceOnDeleteAsksAboutTheTrashAndMovesThere)
{
    Fixture f;
    ::setenv("XDG_DATA_HOME", f.tree.Path("data").c_str(), 1); // never the user's own trash
    WriteTrashChoice(true);
    f.tree.WriteFile("src/a.txt", "a");
    f.AddRow(ResultCategory::NotInDestination, "a.txt", true);
    f.app.currentTab = 3;
    f.dialogs.messageReplies.push_back(MessageReply::Yes);
    f.runner.DeleteCheckedRows();
    WriteTrashChoice(false);
    ::unsetenv("XDG_DATA_HOME");

    ASSERT_EQ(f.dialogs.requests.size(), 1u);
    const auto& question = f.dialogs.requests[0];
    EXPECT_EQ(question.text, QStringLiteral("Are you sure you want to move selected files and directories to the trash?"));
    EXPECT_EQ(question.title, QStringLiteral("Tandrel"));
    EXPECT_EQ(question.icon, MessageIcon::Question);
    EXPECT_EQ(question.buttons, MessageButtons::YesNo);
    EXPECT_EQ(f.tree.ReadFile("data/Trash/files/a.txt"), "a");
    EXPECT_FALSE(f.tree.Exists("src/a.txt"));
}
#endif

} // namespace
} // namespace tandrel::gui
