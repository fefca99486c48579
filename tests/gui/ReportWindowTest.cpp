#include "ProgramFolder.h"
#include "ScriptedDialogs.h"

#include "gui/app/AppState.h"
#include "gui/dialogs/FormReport.h"

#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <clocale>

namespace tandrel::gui {
namespace {

using test::ScriptedDialogs;
using engine::ResultCategory;

constexpr std::int64_t kNov14 = 1700000000; // 2023-11-14 22:13:20 UTC

struct ReportFixture : ::testing::Test, test::ProgramFolder {
    QStringList captions{"Newer than destination (1)", "Older than destination (0)", "Can not find destination (2)",
                         "Can not find source (0)", "Only size changed (0)"};

    void SetUp() override
    {
        std::setlocale(LC_TIME, "C"); // month abbreviations as written below
        tree.MakeDir("Report");
        state.store.Reset("/data/src/", "/data/dst/", 0);

        engine::CompareItem newer;
        newer.relativePath = "b.doc";
        newer.size = 2048;
        newer.modified = kNov14;
        newer.counterpartSize = 1024;
        newer.counterpartModified = kNov14 - 10000;
        newer.SetStatusText("Access denied");
        state.store.AddResultRow(ResultCategory::NewerThanDestination, std::move(newer));

        engine::CompareItem file;
        file.relativePath = "docs/a.txt";
        file.size = 12;
        file.modified = kNov14;
        state.store.AddResultRow(ResultCategory::NotInDestination, std::move(file));

        engine::CompareItem folder;
        folder.relativePath = "pics";
        folder.isFolder = true;
        folder.modified = kNov14;
        state.store.AddResultRow(ResultCategory::NotInDestination, std::move(folder));
    }

    std::unique_ptr<FormReport> Open()
    {
        auto form = std::make_unique<FormReport>(state, dialogs, captions, nullptr);
        form->show();
        return form;
    }
    static void Click(QWidget& form, const char* name)
    {
        QTest::mouseClick(form.findChild<QAbstractButton*>(QString::fromLatin1(name)), Qt::LeftButton);
    }
    static void Uncheck(QWidget& form, const char* name) { form.findChild<QCheckBox*>(name)->setChecked(false); }
    QString Reply(const std::string& name) const { return QString::fromStdString(tree.Path("Report/" + name)); }
    std::string Written(const std::string& name) const { return tree.ReadFile("Report/" + name); }

    void ExpectSaved(const QString& path)
    {
        const auto messages = dialogs.Messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].text, "The report file - " + path + "\n has successfully been saved.");
        EXPECT_EQ(messages[0].title, "Tandrel");
        EXPECT_EQ(messages[0].icon, MessageIcon::Information);
        EXPECT_EQ(messages[0].buttons, MessageButtons::Ok);
    }
};

const std::string kSevenColumns =
    "Name\tSize(Bytes)\tModified\tModified (Destination)\tSize (Destination)\tName (Destination)\t   \r\n";
const std::string kFiveColumns = "Name\tSize(Bytes)\tModified\tCan not find\t   \r\n";

// The design size holds however little room the captions take.
TEST_F(ReportFixture, KeepsItsDesignSizeWithASmallFont)
{
    auto form = std::make_unique<FormReport>(state, dialogs, captions, nullptr);
    QFont small = form->font();
    small.setPointSize(5);
    form->setFont(small);
    form->show();
    EXPECT_EQ(form->size(), QSize(410, 276));
}

TEST_F(ReportFixture, WindowAndTextReportOfAllLists)
{
    auto form = Open();
    EXPECT_EQ(form->windowTitle(), "Report");
    const char* names[] = {"Check1", "Check2", "Check3", "Check4", "Check5"};
    for (int i = 0; i < 5; ++i) {
        auto* box = form->findChild<QCheckBox*>(names[i]);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), captions[i]);
        EXPECT_TRUE(box->isChecked());
    }
    EXPECT_TRUE(form->findChild<QRadioButton*>("Option1")->isChecked());
    EXPECT_EQ(form->findChild<QRadioButton*>("Option1")->text(), "Text (tab delimited) (*.txt)");
    EXPECT_EQ(form->findChild<QRadioButton*>("Option2")->text(), "CSV (comma delimited) (*.csv)");
    EXPECT_GE(form->width(), 410);
    EXPECT_GE(form->height(), 276);

    dialogs.saveReplies = {Reply("all")};
    Click(*form, "Command1");
    ASSERT_GE(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].kind, ScriptedDialogs::Kind::ChooseSaveFile);
    EXPECT_EQ(dialogs.requests[0].startFolder, state.reportFolder);
    EXPECT_EQ(dialogs.requests[0].filterDescription, "Text (tab delimited) (*.txt)");
    EXPECT_EQ(dialogs.requests[0].filterPattern, "*.txt");

    EXPECT_EQ(Written("all.txt"),
              "---Newer than destination (1)---\r\n" + kSevenColumns +
                  "/data/src/b.doc\t2048\tNov/14/2023 22:13:20\tNov/14/2023 19:26:40\t1024\t/data/dst/b.doc\t"
                  "Access denied\r\n"
                  "\r\n"
                  "---Older than destination (0)---\r\n" +
                  kSevenColumns +
                  "\r\n"
                  "---Can not find destination (2)---\r\n" +
                  kFiveColumns +
                  "/data/src/docs/a.txt\t12\tNov/14/2023 22:13:20\t/data/dst/docs/a.txt\t\r\n"
                  "/data/src/pics\t \tNov/14/2023 22:13:20\t/data/dst/pics\t\r\n"
                  "\r\n"
                  "---Can not find source (0)---\r\n" +
                  kFiveColumns +
                  "\r\n"
                  "---Only size changed (0)---\r\n" +
                  kSevenColumns + "\r\n");
    ExpectSaved(Reply("all.txt"));
    EXPECT_EQ(form->result(), QDialog::Accepted);
}

TEST_F(ReportFixture, CommaReportOfChosenLists)
{
    auto form = Open();
    Uncheck(*form, "Check2");
    Uncheck(*form, "Check4");
    Uncheck(*form, "Check5");
    Click(*form, "Option2");
    dialogs.saveReplies = {Reply("chosen")};
    Click(*form, "Command1");
    EXPECT_EQ(dialogs.requests[0].filterDescription, "CSV (comma delimited) (*.csv)");
    EXPECT_EQ(dialogs.requests[0].filterPattern, "*.csv");
    EXPECT_EQ(Written("chosen.csv"),
              "---Newer than destination (1)---\r\n"
              "Name,Size(Bytes),Modified,Modified (Destination),Size (Destination),Name (Destination),   \r\n"
              "/data/src/b.doc,2048,Nov/14/2023 22:13:20,Nov/14/2023 19:26:40,1024,/data/dst/b.doc,Access denied\r\n"
              "\r\n"
              "---Can not find destination (2)---\r\n"
              "Name,Size(Bytes),Modified,Can not find,   \r\n"
              "/data/src/docs/a.txt,12,Nov/14/2023 22:13:20,/data/dst/docs/a.txt,\r\n"
              "/data/src/pics, ,Nov/14/2023 22:13:20,/data/dst/pics,\r\n"
              "\r\n");
    ExpectSaved(Reply("chosen.csv"));
}

TEST_F(ReportFixture, NoListCheckedGivesAnEmptyFileAndAnExistingFileIsReplaced)
{
    tree.WriteFile("Report/empty.txt", "old contents");
    auto form = Open();
    for (const char* name : {"Check1", "Check2", "Check3", "Check4", "Check5"})
        Uncheck(*form, name);
    dialogs.saveReplies = {Reply("empty.txt")};
    Click(*form, "Command1");
    EXPECT_TRUE(tree.Exists("Report/empty.txt"));
    EXPECT_EQ(Written("empty.txt"), "");
    ExpectSaved(Reply("empty.txt"));
}

TEST_F(ReportFixture, ExtensionRule)
{
    EXPECT_EQ(FormReport::ReportPath("/r/x", false), "/r/x.txt");
    EXPECT_EQ(FormReport::ReportPath("/r/x.TXT", false), "/r/x.TXT");
    EXPECT_EQ(FormReport::ReportPath("/r/x.csv", false), "/r/x.csv.txt");
    EXPECT_EQ(FormReport::ReportPath("/r/x.txt", true), "/r/x.txt.csv");
    EXPECT_EQ(FormReport::ReportPath("/r/x.Csv", true), "/r/x.Csv");
    EXPECT_EQ(FormReport::ReportPath("   /r/x   ", false), "/r/x.txt");
    EXPECT_EQ(FormReport::ReportPath(QString("/r/x") + QChar(u'\0'), false), "/r/x.txt");
    EXPECT_EQ(FormReport::ReportPath(" /r/x\t ", false), "/r/x\t.txt"); // only blanks go

    for (const auto& [reply, file] : std::vector<std::pair<std::string, std::string>>{
             {"upper.TXT", "upper.TXT"}, {"other.csv", "other.csv.txt"}, {"plain", "plain.txt"}}) {
        dialogs.Clear();
        auto form = Open();
        for (const char* name : {"Check1", "Check2", "Check4", "Check5"})
            Uncheck(*form, name);
        dialogs.saveReplies = {"  " + Reply(reply) + " "};
        Click(*form, "Command1");
        EXPECT_TRUE(tree.Exists("Report/" + file)) << file;
        EXPECT_EQ(Written(file).substr(0, 36), "---Can not find destination (2)---\r\n");
        ExpectSaved(Reply(file));
    }
}

TEST_F(ReportFixture, CancelledSaveDialogWritesAndShowsNothing)
{
    auto form = Open();
    Click(*form, "Command1"); // the save dialog answers Cancel
    EXPECT_EQ(dialogs.requests.size(), 1u);
    EXPECT_TRUE(dialogs.Messages().empty());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->result(), 0);

    Click(*form, "Command2");
    EXPECT_EQ(form->result(), QDialog::Rejected);
    EXPECT_EQ(dialogs.requests.size(), 1u);
}

TEST_F(ReportFixture, WriteFailureIsReportedAndNeverAnnouncedAsSaved)
{
    auto form = Open();
    const QString reply = QString::fromStdString(tree.Path("no/such/folder/r"));
    dialogs.saveReplies = {reply};
    Click(*form, "Command1");
    const auto messages = dialogs.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].icon, MessageIcon::Critical);
    EXPECT_EQ(messages[0].title, "Tandrel");
    EXPECT_TRUE(messages[0].text.startsWith("The report file - " + reply + ".txt\ncould not be saved:\n"))
        << messages[0].text.toStdString();
    const QString prefix = "The report file - " + reply + ".txt\ncould not be saved:\n";
    EXPECT_GT(messages[0].text.size(), prefix.size() + 5); // and why, in the system's words
    EXPECT_FALSE(messages[0].text.contains("successfully"));
    EXPECT_FALSE(tree.Exists("no"));
    EXPECT_TRUE(form->isVisible()); // still open for another try
    EXPECT_EQ(form->result(), 0);
}

#ifndef _WIN32 // where a name is bytes, not necessarily UTF-8
// Rows and the chosen file name that are not UTF-8 keep their bytes.
TEST_F(ReportFixture, NamesThatAreNotUtf8AreWrittenByteForByte)
{
    state.store.Reset("/data/caf\xE9/", "/data/\xFF/", 0);
    engine::CompareItem file;
    file.relativePath = "r\xE9sum\xE9.txt";
    file.size = 12;
    file.modified = kNov14;
    state.store.AddResultRow(ResultCategory::NotInDestination, std::move(file));
    tree.MakeDir("Report/caf\xE9");

    auto form = Open();
    for (const char* name : {"Check1", "Check2", "Check4", "Check5"})
        Uncheck(*form, name);
    dialogs.saveReplies = {ToQ(tree.Path("Report/caf\xE9/list"))};
    Click(*form, "Command1");
    ExpectSaved(ToQ(tree.Path("Report/caf\xE9/list.txt")));
    EXPECT_EQ(Written("caf\xE9/list.txt"), "---Can not find destination (2)---\r\n" + kFiveColumns +
                                               "/data/caf\xE9/r\xE9sum\xE9.txt\t12\tNov/14/2023 22:13:20\t"
                                               "/data/\xFF/r\xE9sum\xE9.txt\t\r\n\r\n");
}
#endif

} // namespace
} // namespace tandrel::gui
