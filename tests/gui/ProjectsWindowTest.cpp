#include "ModalDriver.h"
#include "ProgramFolder.h"
#include "ScriptedDialogs.h"
#include "ShownPaths.h"
#include "support/TempTree.h"

#include "gui/app/AppState.h"
#include "gui/dialogs/FormEditPrj.h"
#include "gui/dialogs/FormProjects.h"
#include "gui/app/Registry.h"
#include "gui/app/ProjectPatternFiles.h"
#include "support/Holds.h"

#include <QAction>
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QLabel>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <algorithm>

namespace tandrel::gui {
namespace {

using test::ProgramFolder;
using test::ScriptedDialogs;
using test::TempTree;
using Kind = ScriptedDialogs::Kind;

const std::string kProjects = "[Project]\r\n"
                              "Beta|/srv/b|/mnt/b\r\n"
                              "Docs|/home/ann/docs\r\n" // one '|' only: not shown, kept until Save
                              "alpha|/srv/c|/mnt/a\r\n"
                              "My|Proj|/x|/y\r\n"
                              "[Option]\r\nIgnoreTime=3\r\n";

QTreeWidget* List(QWidget& form)
{
    auto* list = form.findChild<QTreeWidget*>("ListView1");
    EXPECT_NE(list, nullptr);
    return list;
}

QPushButton* Button(QWidget& form, const char* name)
{
    auto* button = form.findChild<QPushButton*>(QString::fromLatin1(name));
    EXPECT_NE(button, nullptr) << name;
    return button;
}

QStringList Column(QWidget& form, int column)
{
    QStringList out;
    QTreeWidget* list = List(form);
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        out << list->topLevelItem(i)->text(column);
    return out;
}

void ClickHeader(QWidget& form, int column)
{
    QHeaderView* header = List(form)->header();
    const QPoint at(header->sectionViewportPosition(column) + 6, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

void SelectRow(QWidget& form, int row)
{
    List(form)->setCurrentItem(List(form)->topLevelItem(row));
}

TEST(FormProjects, RowsSortingRemovalCancelAndSave)
{
    ProgramFolder folder(kProjects);
    const std::string original = folder.File();
    const auto originalList = folder.state.settings.projectList;
    ScriptedDialogs& dialogs = folder.dialogs;

    {
        FormProjects form(folder.state, dialogs, nullptr);
        form.show();
        EXPECT_EQ(form.windowTitle(), "Projects");
        QTreeWidget* list = List(form);
        ASSERT_EQ(list->columnCount(), 3);
        EXPECT_EQ(list->headerItem()->text(0), "Name");
        EXPECT_EQ(list->headerItem()->text(1), "Source directory");
        EXPECT_EQ(list->headerItem()->text(2), "Destination directory");
        EXPECT_EQ(Column(form, 0), QStringList({"Beta", "alpha", "My"}));
        EXPECT_EQ(Column(form, 1), QStringList({"/srv/b", "/srv/c", "Proj"}));
        EXPECT_EQ(Column(form, 2), QStringList({"/mnt/b", "/mnt/a", "/x|/y"}));

        // One direction for the whole list, flipped on every click.
        ClickHeader(form, 0);
        EXPECT_EQ(Column(form, 0), QStringList({"alpha", "Beta", "My"}));
        ClickHeader(form, 0);
        EXPECT_EQ(Column(form, 0), QStringList({"My", "Beta", "alpha"}));
        ClickHeader(form, 2);
        EXPECT_EQ(form.SortOrder(), Qt::AscendingOrder);
        EXPECT_EQ(Column(form, 2), QStringList({"/mnt/a", "/mnt/b", "/x|/y"}));
        ClickHeader(form, 1);
        EXPECT_EQ(form.SortColumn(), 1);
        EXPECT_EQ(Column(form, 1), QStringList({"Proj", "/srv/c", "/srv/b"}));

        // No keeps the row; the question names the selected row.
        SelectRow(form, 1);
        dialogs.messageReplies = {MessageReply::No};
        QTest::mouseClick(Button(form, "CmdDel"), Qt::LeftButton);
        ASSERT_EQ(dialogs.requests.size(), 1u);
        EXPECT_EQ(dialogs.requests[0].text, "Do you want to remove project 'alpha'?");
        EXPECT_EQ(dialogs.requests[0].title, "Tandrel");
        EXPECT_EQ(dialogs.requests[0].icon, MessageIcon::Question);
        EXPECT_EQ(dialogs.requests[0].buttons, MessageButtons::YesNo);
        EXPECT_EQ(form.RowCount(), 3);

        dialogs.messageReplies = {MessageReply::Yes};
        QTest::mouseClick(Button(form, "CmdDel"), Qt::LeftButton);
        EXPECT_EQ(Column(form, 0), QStringList({"My", "Beta"}));

        // Cancel after the changes: nothing reaches the state or the file.
        QTest::mouseClick(Button(form, "CmdCacncel"), Qt::LeftButton);
        EXPECT_EQ(form.result(), QDialog::Rejected);
    }
    EXPECT_EQ(folder.File(), original);
    EXPECT_EQ(folder.state.settings.projectList, originalList);

    {
        FormProjects form(folder.state, dialogs, nullptr);
        form.show();
        ClickHeader(form, 1); // "Source directory", ascending
        EXPECT_EQ(Column(form, 1), QStringList({"/srv/b", "/srv/c", "Proj"}));
        QTest::mouseClick(Button(form, "CmdSave"), Qt::LeftButton);
        EXPECT_EQ(form.result(), QDialog::Accepted);
    }
    EXPECT_EQ(folder.state.settings.projectList,
              (std::vector<std::string>{"Beta|/srv/b|/mnt/b", "alpha|/srv/c|/mnt/a", "My|Proj|/x|/y"}));
    const std::string file = folder.File();
    EXPECT_TRUE(test::Holds(file, "[Project]\r\nBeta|/srv/b|/mnt/b\r\nalpha|/srv/c|/mnt/a\r\nMy|Proj|/x|/y\r\n\r\n"
                                  "[Option]\r\nIgnoreTime=3\r\n"));
    EXPECT_EQ(file.find("Docs"), std::string::npos); // the malformed line is gone after Save
}

TEST(FormProjects, SameNamesEmptyListAndSaveWithNoRows)
{
    ProgramFolder folder("[Project]\r\nWork|/a|/b\r\nWork|/c|/d\r\n");
    ScriptedDialogs& dialogs = folder.dialogs;
    {
        FormProjects form(folder.state, dialogs, nullptr);
        form.show();
        EXPECT_EQ(form.RowCount(), 2);
        SelectRow(form, 1);
        dialogs.messageReplies = {MessageReply::Yes, MessageReply::Yes};
        QTest::mouseClick(Button(form, "CmdDel"), Qt::LeftButton);
        EXPECT_EQ(form.Row(0).destination, "/b");
        QTest::mouseClick(Button(form, "CmdDel"), Qt::LeftButton);
        EXPECT_EQ(form.RowCount(), 0);
        ASSERT_EQ(dialogs.requests.size(), 2u);
        EXPECT_EQ(dialogs.requests[1].text, "Do you want to remove project 'Work'?");

        // Nothing left: Edit, Remove, Enter and a double-click do nothing and ask nothing.
        dialogs.Clear();
        QTest::mouseClick(Button(form, "CmdEdit"), Qt::LeftButton);
        QTest::mouseClick(Button(form, "CmdDel"), Qt::LeftButton);
        QTest::keyClick(List(form), Qt::Key_Return);
        QTest::mouseDClick(List(form)->viewport(), Qt::LeftButton);
        EXPECT_TRUE(dialogs.requests.empty());
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

        QTest::mouseClick(Button(form, "CmdSave"), Qt::LeftButton);
    }
    EXPECT_TRUE(folder.state.settings.projectList.empty());
    EXPECT_TRUE(test::Holds(folder.File(), "[Project]\r\n\r\n\r\n[Option]\r\n"));
}

TEST(FormProjects, AddAndEditThroughTheEditor)
{
    TempTree folders;
    folders.MakeDir("src");
    folders.MakeDir("dst");
    ProgramFolder folder("[Project]\r\nOne|/1|/1d\r\nTwo|/2|/2d\r\nThree|/3|/3d\r\n");
    ScriptedDialogs& dialogs = folder.dialogs;
    FormProjects form(folder.state, dialogs, nullptr);
    form.show();

    // Remove the middle row, then add: exactly one new row.
    SelectRow(form, 1);
    dialogs.messageReplies = {MessageReply::Yes};
    QTest::mouseClick(Button(form, "CmdDel"), Qt::LeftButton);
    ASSERT_EQ(form.RowCount(), 2);

    QString addTitle, addMode;
    test::WhenModalShown([&](QWidget* editor) {
        addTitle = editor->windowTitle();
        addMode = qobject_cast<FormEditPrj*>(editor)->EditMode();
        editor->findChild<QLineEdit*>("TextName")->setText("  Photos ");
        editor->findChild<QLineEdit*>("TextS")->setText(QString::fromStdString(folders.Path("src")));
        editor->findChild<QLineEdit*>("TextD")->setText(QString::fromStdString(folders.Path("dst")));
        QTest::mouseClick(editor->findChild<QPushButton*>("BtnOK"), Qt::LeftButton);
    });
    QTest::mouseClick(Button(form, "CmdAdd"), Qt::LeftButton);
    EXPECT_EQ(addMode, "add");
    EXPECT_EQ(addTitle, "Add new project");
    ASSERT_EQ(form.RowCount(), 3);
    EXPECT_EQ(form.Row(2).name, "Photos");
    EXPECT_EQ(form.Row(2).source, folders.Path("src"));
    EXPECT_FALSE(List(form)->topLevelItem(2)->icon(0).isNull()); // added rows carry the project picture
    EXPECT_TRUE(List(form)->topLevelItem(0)->icon(0).isNull());  // loaded rows have none
    EXPECT_EQ(form.SelectedRow(), 2);

    // Edit by Enter in the list: the changed row keeps its place.
    SelectRow(form, 0);
    QStringList shown;
    test::WhenModalShown([&](QWidget* editor) {
        shown << qobject_cast<FormEditPrj*>(editor)->EditMode() << editor->windowTitle() << editor->findChild<QLineEdit*>("TextName")->text()
              << editor->findChild<QLineEdit*>("TextS")->text() << editor->findChild<QLineEdit*>("TextD")->text();
        editor->findChild<QLineEdit*>("TextName")->setText("One renamed");
        QTest::mouseClick(editor->findChild<QPushButton*>("BtnOK"), Qt::LeftButton);
    });
    QTest::keyClick(List(form), Qt::Key_Return);
    EXPECT_EQ(shown, QStringList({"edit", "Edit project", "One", "/1", "/1d"}));
    EXPECT_EQ(form.Row(0).name, "One renamed");
    EXPECT_EQ(form.Row(0).source, "/1");
    EXPECT_EQ(form.RowCount(), 3);

    // A double-click on a row edits that row.
    QString doubleClicked;
    test::WhenModalShown([&](QWidget* editor) {
        doubleClicked = editor->findChild<QLineEdit*>("TextName")->text();
        QTest::mouseClick(editor->findChild<QPushButton*>("BtnCancel"), Qt::LeftButton);
    });
    QTreeWidget* list = List(form);
    const QPoint rowOne = list->visualItemRect(list->topLevelItem(1)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowOne);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rowOne);
    EXPECT_EQ(doubleClicked, "Three");

    // Cancel in the editor changes nothing.
    test::WhenModalShown([&](QWidget* editor) {
        editor->findChild<QLineEdit*>("TextName")->setText("ignored");
        QTest::mouseClick(editor->findChild<QPushButton*>("BtnCancel"), Qt::LeftButton);
    });
    QTest::mouseClick(Button(form, "CmdEdit"), Qt::LeftButton);
    EXPECT_EQ(form.Row(0).name, "One renamed");
    EXPECT_TRUE(dialogs.Messages().size() == 1u); // only the removal question

    QTest::mouseClick(Button(form, "CmdSave"), Qt::LeftButton);
    EXPECT_EQ(folder.state.settings.projectList,
              (std::vector<std::string>{"One renamed|/1|/1d", "Three|/3|/3d",
                                        "Photos|" + folders.Path("src") + "|" + folders.Path("dst")}));
}

// The pattern file a project names, as the editor of that row shows it.
QString EditorPatternFile(FormProjects& form, int row)
{
    QString shown;
    SelectRow(form, row);
    test::WhenModalShown([&](QWidget* editor) {
        shown = editor->findChild<QLineEdit*>("TextP")->text();
        QTest::mouseClick(editor->findChild<QPushButton*>("BtnCancel"), Qt::LeftButton);
    });
    QTest::mouseClick(Button(form, "CmdEdit"), Qt::LeftButton);
    return shown;
}

TEST(FormProjects, PatternFilesFollowRenamesAndRemovalsAtSave)
{
    const std::string latin1 = "/home/ann/caf\xe9.ignore"; // not UTF-8: kept as bytes
    ProgramFolder folder("[Project]\r\nOne|/1|/1d\r\nTwo|/2|/2d\r\nThree|/3|/3d\r\n");
    WriteProjectPatternFiles({{"One", "/p/one"}, {"Two", latin1}, {"Three", "/p/three"}, {"Gone", "/p/gone"}});
    ScriptedDialogs& dialogs = folder.dialogs;

    {
        FormProjects form(folder.state, dialogs, nullptr);
        form.show();
        EXPECT_EQ(EditorPatternFile(form, 1), ToQ(latin1));

        // Rename One, remove Three, then cancel: the store keeps every entry.
        SelectRow(form, 0);
        test::WhenModalShown([](QWidget* editor) {
            editor->findChild<QLineEdit*>("TextName")->setText("Uno");
            QTest::mouseClick(editor->findChild<QPushButton*>("BtnOK"), Qt::LeftButton);
        });
        QTest::mouseClick(Button(form, "CmdEdit"), Qt::LeftButton);
        SelectRow(form, 2);
        dialogs.messageReplies = {MessageReply::Yes};
        QTest::mouseClick(Button(form, "CmdDel"), Qt::LeftButton);
        EXPECT_EQ(form.PatternFile("Uno"), "/p/one");
        QTest::mouseClick(Button(form, "CmdCacncel"), Qt::LeftButton);
    }
    EXPECT_EQ(ReadProjectPatternFiles().size(), 4u);

    {
        FormProjects form(folder.state, dialogs, nullptr);
        form.show();
        SelectRow(form, 0);
        test::WhenModalShown([](QWidget* editor) {
            editor->findChild<QLineEdit*>("TextName")->setText("Uno");
            QTest::mouseClick(editor->findChild<QPushButton*>("BtnOK"), Qt::LeftButton);
        });
        QTest::mouseClick(Button(form, "CmdEdit"), Qt::LeftButton);
        SelectRow(form, 2);
        dialogs.messageReplies = {MessageReply::Yes};
        QTest::mouseClick(Button(form, "CmdDel"), Qt::LeftButton);
        QTest::mouseClick(Button(form, "CmdSave"), Qt::LeftButton);
    }
    EXPECT_EQ(ReadProjectPatternFiles(), (ProjectPatternFiles{{"Uno", "/p/one"}, {"Two", latin1}}));

    // Emptied in the editor: the entry goes, and with the last one the whole list.
    {
        FormProjects form(folder.state, dialogs, nullptr);
        form.show();
        for (int row : {0, 1}) {
            SelectRow(form, row);
            test::WhenModalShown([](QWidget* editor) {
                editor->findChild<QLineEdit*>("TextP")->setText("   ");
                QTest::mouseClick(editor->findChild<QPushButton*>("BtnOK"), Qt::LeftButton);
            });
            QTest::mouseClick(Button(form, "CmdEdit"), Qt::LeftButton);
        }
        QTest::mouseClick(Button(form, "CmdSave"), Qt::LeftButton);
    }
    EXPECT_TRUE(ReadProjectPatternFiles().empty());
    EXPECT_FALSE(QSettings(QString::fromLatin1(kRegistryOrganization), QString::fromLatin1(kRegistryApplication))
                     .childGroups()
                     .contains(QString::fromLatin1(kProjectPatternFilesValue)));
    // The settings file holds the projects only, in its own layout.
    EXPECT_EQ(folder.File(), "[Source]\r\n\r\n[Destination]\r\n\r\n[Project]\r\nUno|/1|/1d\r\nTwo|/2|/2d\r\n\r\n"
                             "[Option]\r\nIgnoreTime=0\r\nIgnoreType=0\r\nIgnoreArchive=0\r\nIgnoreHidden=1\r\n"
                             "IgnoreReadonly=0\r\nIgnoreSystem=1\r\nOverwriting=True\r\nIgnoreError=True\r\n"
                             "PlaySound=True\r\n\r\n[IgnoreFile]\r\n");
}

// A pattern file given to the editor stays with the project through a save,
// and leaves the settings file exactly as a project without one would.
TEST(FormProjects, PatternFileLeavesTheSettingsFileAsItWas)
{
    const std::string text = "[Source]\r\n/s\r\n\r\n[Destination]\r\n/d\r\n\r\n[Project]\r\nA|/a|/b\r\n\r\n"
                             "[Option]\r\nIgnoreTime=0\r\nIgnoreType=0\r\nIgnoreArchive=0\r\nIgnoreHidden=1\r\n"
                             "IgnoreReadonly=0\r\nIgnoreSystem=1\r\nOverwriting=True\r\nIgnoreError=True\r\n"
                             "PlaySound=True\r\n\r\n[IgnoreFile]\r\n*.bak\r\n";
    ProgramFolder folder(text);
    ScriptedDialogs& dialogs = folder.dialogs;
    FormProjects form(folder.state, dialogs, nullptr);
    form.show();
    SelectRow(form, 0);
    test::WhenModalShown([](QWidget* editor) {
        editor->findChild<QLineEdit*>("TextP")->setText("/etc/a.ignore");
        QTest::mouseClick(editor->findChild<QPushButton*>("BtnOK"), Qt::LeftButton);
    });
    QTest::mouseClick(Button(form, "CmdEdit"), Qt::LeftButton);
    QTest::mouseClick(Button(form, "CmdSave"), Qt::LeftButton);
    EXPECT_EQ(folder.File(), text);
    EXPECT_EQ(ReadProjectPatternFiles(), (ProjectPatternFiles{{"A", "/etc/a.ignore"}}));
    WriteProjectPatternFiles({});
}

// The editor on its own, opened as the manager opens it on the project A.
struct EditorFixture : ::testing::Test {
    ScriptedDialogs dialogs;
    TempTree folders;

    std::unique_ptr<FormEditPrj> Open(const QString& mode)
    {
        auto editor = std::make_unique<FormEditPrj>(mode, settings::ProjectRecord{"A", "/a", "/b"}, dialogs, nullptr);
        editor->show();
        return editor;
    }
    static QLineEdit* Field(QWidget& w, const char* name) { return w.findChild<QLineEdit*>(name); }
    static void Ok(QWidget& w) { QTest::mouseClick(w.findChild<QPushButton*>("BtnOK"), Qt::LeftButton); }
};

TEST_F(EditorFixture, ChecksInOrderWithTheirMessages)
{
    auto editor = Open("add");
    EXPECT_EQ(editor->windowTitle(), "Add new project");
    EXPECT_FALSE(editor->windowIcon().isNull());

    Field(*editor, "TextName")->setText("   ");
    Field(*editor, "TextS")->setText("  ");
    Ok(*editor);
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].text, "Please input the project name");
    EXPECT_EQ(dialogs.requests[0].title, "Tandrel");
    EXPECT_EQ(dialogs.requests[0].icon, MessageIcon::Information);
    EXPECT_EQ(dialogs.requests[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(Field(*editor, "TextName")->text(), "");
    EXPECT_EQ(Field(*editor, "TextS")->text(), "");

    // A name with '|' is only refused once all three fields are filled.
    dialogs.Clear();
    Field(*editor, "TextName")->setText("a|b");
    Ok(*editor);
    ASSERT_EQ(dialogs.requests.size(), 2u);
    EXPECT_EQ(dialogs.requests[0].text, "Please select the source directory");
    EXPECT_EQ(dialogs.requests[0].icon, MessageIcon::Information);
    EXPECT_EQ(dialogs.requests[1].kind, Kind::ChooseFolder);
    EXPECT_EQ(dialogs.requests[1].title, "Please select the source directory");
    EXPECT_EQ(dialogs.requests[1].startFolder, "");
    EXPECT_EQ(dialogs.requests[0].owner, editor.get());
    EXPECT_EQ(dialogs.requests[1].owner, editor.get());
    EXPECT_TRUE(editor->isVisible()); // the cancelled chooser leaves the dialog open
    EXPECT_EQ(Field(*editor, "TextS")->text(), "");

    dialogs.Clear();
    folders.MakeDir("chosen");
    const QString chosen = QString::fromStdString(folders.Path("chosen"));
    Field(*editor, "TextS")->setText(" /srv/s ");
    dialogs.folderReplies = {chosen};
    Ok(*editor);
    ASSERT_EQ(dialogs.requests.size(), 2u);
    EXPECT_EQ(dialogs.requests[0].text, "Please select the destination directory");
    EXPECT_EQ(dialogs.requests[1].title, "Please select the destination directory");
    EXPECT_EQ(Field(*editor, "TextD")->text(), chosen);
    EXPECT_EQ(Field(*editor, "TextS")->text(), "/srv/s");

    dialogs.Clear();
    Ok(*editor);
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].text, "The project name can not contain the character '|'");
    EXPECT_EQ(dialogs.requests[0].icon, MessageIcon::Critical);
    EXPECT_EQ(dialogs.requests[0].title, "Tandrel");
    EXPECT_TRUE(editor->isVisible());

    // Folders need not exist and may hold '|'; names may repeat.
    dialogs.Clear();
    Field(*editor, "TextName")->setText("A");
    Field(*editor, "TextD")->setText("  /no/such|folder\t ");
    Ok(*editor);
    EXPECT_TRUE(dialogs.requests.empty());
    EXPECT_EQ(editor->result(), QDialog::Accepted);
    EXPECT_EQ(editor->Project().name, "A");
    EXPECT_EQ(editor->Project().source, "/srv/s");
    EXPECT_EQ(editor->Project().destination, "/no/such|folder\t"); // only blanks are trimmed
}

TEST_F(EditorFixture, PatternFileFieldAndItsChooser)
{
    auto editor = std::make_unique<FormEditPrj>(QStringLiteral("edit"), settings::ProjectRecord{"A", "/a", "/b"},
                                                dialogs, nullptr, "/p/old");
    editor->show();
    EXPECT_EQ(editor->findChild<QLabel*>("Label4")->text(), "Pattern file:");
    EXPECT_EQ(Field(*editor, "TextP")->text(), "/p/old");
    auto* browse = editor->findChild<QPushButton*>("Command5");
    ASSERT_NE(browse, nullptr);

    QTest::mouseClick(browse, Qt::LeftButton); // cancelled: the field keeps its text
    dialogs.openReplies = {QStringLiteral("/p/new")};
    QTest::mouseClick(browse, Qt::LeftButton);
    ASSERT_EQ(dialogs.requests.size(), 2u);
    EXPECT_EQ(dialogs.requests[0].kind, Kind::ChooseOpenFile);
    EXPECT_EQ(dialogs.requests[0].title, "Please select the pattern file");
    EXPECT_EQ(dialogs.requests[0].startFolder, "/p/old");
    EXPECT_EQ(dialogs.requests[0].owner, editor.get());
    EXPECT_EQ(Field(*editor, "TextP")->text(), "/p/new");
    Ok(*editor);
    EXPECT_EQ(editor->result(), QDialog::Accepted);
    EXPECT_EQ(editor->PatternFile(), "/p/new");

    auto added = Open("add"); // a new project starts without one
    EXPECT_EQ(Field(*added, "TextP")->text(), "");
}

TEST_F(EditorFixture, BrowseStartFoldersAndUnreadableChoice)
{
    auto editor = Open("edit");
    EXPECT_EQ(editor->windowTitle(), "Edit project");
    EXPECT_EQ(Field(*editor, "TextName")->text(), "A");
    auto* browseS = editor->findChild<QPushButton*>("Command3");
    auto* browseD = editor->findChild<QPushButton*>("Command4");
    EXPECT_EQ(browseS->text(), "&Browse...");
    EXPECT_EQ(browseD->text(), "B&rowse...");

    const auto startOf = [&](QPushButton* button, const QString& text, QLineEdit* field) {
        dialogs.Clear();
        field->setText(text);
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(dialogs.requests.size(), 1u);
        return dialogs.requests.empty() ? QString("?") : dialogs.requests[0].startFolder;
    };
    QLineEdit* textS = Field(*editor, "TextS");
    QLineEdit* textD = Field(*editor, "TextD");
    folders.MakeDir("data");
    const QString data = test::Shown(folders.Path("data"));
    const QString nowhere = test::Shown(folders.Path("nowhere"));
    const QString parent = test::Shown(folders.Root()).chopped(1);
    const QString separator = QDir::separator(), root = test::ShownRoot();
    const struct {
        QPushButton* button;
        QLineEdit* field;
        QString text;
        QString start;
    } cases[] = {
        {browseS, textS, data + separator, data},
        {browseS, textS, QString::fromStdString(folders.Path("data/")), data}, // typed with '/'
        {browseS, textS, root, root},
        {browseD, textD, data + separator, data},
        {browseD, textD, root, root.chopped(1)}, // the root loses its separator here
        // A start folder that is not there: the chooser opens at its nearest existing parent.
        {browseS, textS, nowhere + separator + "deeper" + separator, parent},
        {browseD, textD, nowhere, parent},
        {browseS, textS, "relative/folder", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(startOf(c.button, c.text, c.field), c.start) << c.text.toStdString();
    EXPECT_EQ(textS->text(), "relative/folder"); // cancelled choosers change nothing

    // A folder that cannot be entered is refused with its message; the field keeps its text.
    dialogs.Clear();
    textS->setText("/before");
    const QString missing = QString::fromStdString(folders.Path("missing"));
    dialogs.folderReplies = {missing};
    QTest::mouseClick(browseS, Qt::LeftButton);
    ASSERT_EQ(dialogs.Messages().size(), 1u);
    EXPECT_EQ(dialogs.Messages()[0].text, "Can not read " + missing);
    EXPECT_EQ(dialogs.Messages()[0].title, "Error");
    EXPECT_EQ(dialogs.Messages()[0].icon, MessageIcon::Critical);
    EXPECT_EQ(textS->text(), "/before");

    folders.MakeDir("ok");
    dialogs.Clear();
    dialogs.folderReplies = {QString::fromStdString(folders.Path("ok"))};
    QTest::mouseClick(browseD, Qt::LeftButton);
    EXPECT_TRUE(dialogs.Messages().empty());
    EXPECT_EQ(textD->text(), QString::fromStdString(folders.Path("ok")));

    // OK hands back the project as the fields hold it.
    Ok(*editor);
    EXPECT_EQ(editor->result(), QDialog::Accepted);
    EXPECT_EQ(editor->Project().name, "A");
    EXPECT_EQ(editor->Project().source, "/before");
    EXPECT_EQ(editor->Project().destination, folders.Path("ok"));
}

TEST_F(EditorFixture, PresetFolders)
{
    auto editor = Open("add");
    QList<QAction*> items;
    for (int i = 0; i < 12; ++i) {
        auto* action = editor->findChild<QAction*>(QStringLiteral("menu_Pre%1").arg(i));
        ASSERT_NE(action, nullptr) << i;
        items << action;
    }
    EXPECT_EQ(items[0]->text(), "System Fonts");
    EXPECT_EQ(items[3]->text(), "User Desktop");
    EXPECT_EQ(items[11]->text(), "User Profile Folder");

    // The arrow button drops the menu down right under itself.
    auto* arrow = editor->findChild<QAbstractButton*>("PushButton1");
    auto* menu = editor->findChild<QMenu*>("Premenu");
    ASSERT_NE(arrow, nullptr);
    ASSERT_NE(menu, nullptr);
    QTest::mouseClick(arrow, Qt::LeftButton);
    EXPECT_TRUE(menu->isVisible());
    // Moved left only as far as the screen's edge asks.
    const QPoint below = arrow->mapToGlobal(QPoint(0, arrow->height()));
    const int right = arrow->screen()->availableGeometry().right() + 1;
    EXPECT_EQ(menu->pos(), QPoint(std::min(below.x(), right - menu->width()), below.y()));
    EXPECT_EQ(menu->actions(), items);
    menu->hide();

    QLineEdit* textS = Field(*editor, "TextS");
    items[3]->trigger();
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    ASSERT_FALSE(desktop.isEmpty());
    // In the system's form, with its separator at the end.
    const auto shownFolder = [](QStandardPaths::StandardLocation where) {
        return test::Shown(QStandardPaths::writableLocation(where)) + QDir::separator();
    };
    EXPECT_EQ(textS->text(), shownFolder(QStandardPaths::DesktopLocation));
    items[11]->trigger();
    EXPECT_EQ(textS->text(), shownFolder(QStandardPaths::HomeLocation));
    items[7]->trigger();
    EXPECT_EQ(textS->text(), shownFolder(QStandardPaths::DocumentsLocation));
#ifdef Q_OS_WIN
    // The shell's own folders: application data is the roaming one.
    EXPECT_EQ(FormEditPrj::GetSpecialFolderPath(26), test::Shown(qEnvironmentVariable("APPDATA")) + QDir::separator());
    EXPECT_EQ(FormEditPrj::GetSpecialFolderPath(28),
              test::Shown(qEnvironmentVariable("LOCALAPPDATA")) + QDir::separator());
#else
    items[1]->trigger(); // cookies: no such folder here
    EXPECT_EQ(textS->text(), "");
    EXPECT_EQ(FormEditPrj::GetSpecialFolderPath(6), "");
    EXPECT_EQ(FormEditPrj::GetSpecialFolderPath(34), "");
#endif
    EXPECT_TRUE(FormEditPrj::GetSpecialFolderPath(28).endsWith(QDir::separator()));
    EXPECT_TRUE(dialogs.requests.empty());
}

TEST_F(EditorFixture, AnyOtherModeLeavesTheTitleAndFields)
{
    auto editor = Open("");
    EXPECT_EQ(editor->windowTitle(), "Project");
    EXPECT_EQ(Field(*editor, "TextName")->text(), "");
    EXPECT_EQ(Field(*editor, "TextS")->text(), "");
}

#ifndef _WIN32 // where the file holds the bytes of names as they are
// Names in no encoding at all (Latin-1 from an old machine, damaged bytes)
// are kept byte for byte by Save and by the editor when nobody changes them.
TEST(FormProjects, NamesThatAreNotUtf8ComeBackByteForByte)
{
    const std::string file = "[Source]\r\n/home/ann/caf\xE9\r\n\r\n"
                             "[Destination]\r\n/mnt/\xFF\xFE\r\n\r\n"
                             "[Project]\r\n"
                             "A|/data/caf\xE9|/b\r\n"
                             "Caf\xE9 \xC3\xA9t\xE9|/x/\xC3|/y/\xE2\x82z\r\n"
                             "Plain|/p|/q\r\n"
                             "\r\n[Option]\r\nIgnoreTime=0\r\nIgnoreType=0\r\nIgnoreArchive=0\r\nIgnoreHidden=1\r\n"
                             "IgnoreReadonly=0\r\nIgnoreSystem=1\r\nOverwriting=True\r\nIgnoreError=True\r\n"
                             "PlaySound=True\r\n\r\n[IgnoreFile]\r\nold\xE9.bak\r\n";
    ProgramFolder folder(file);
    ScriptedDialogs& dialogs = folder.dialogs;
    FormProjects form(folder.state, dialogs, nullptr);
    form.show();
    ASSERT_EQ(form.RowCount(), 3);
    EXPECT_EQ(form.Row(1).name, "Caf\xE9 \xC3\xA9t\xE9");

    // Through the editor without a change, and with the sorting undone.
    test::WhenModalShown([](QWidget* editor) {
        QTest::mouseClick(editor->findChild<QPushButton*>("BtnOK"), Qt::LeftButton);
    });
    SelectRow(form, 1);
    QTest::mouseClick(Button(form, "CmdEdit"), Qt::LeftButton);
    ClickHeader(form, 0); // ascending by name: the order of the file
    QTest::mouseClick(Button(form, "CmdSave"), Qt::LeftButton);
    EXPECT_EQ(folder.File(), file);

    // Only the line the user edits changes; the others stay as they came.
    FormProjects again(folder.state, dialogs, nullptr);
    again.show();
    test::WhenModalShown([](QWidget* editor) {
        editor->findChild<QLineEdit*>("TextD")->setText("/new");
        QTest::mouseClick(editor->findChild<QPushButton*>("BtnOK"), Qt::LeftButton);
    });
    SelectRow(again, 0);
    QTest::mouseClick(Button(again, "CmdEdit"), Qt::LeftButton);
    QTest::mouseClick(Button(again, "CmdSave"), Qt::LeftButton);
    const std::string line = "A|/data/caf\xE9|/b";
    std::string edited = file;
    edited.replace(edited.find(line), line.size(), "A|/data/caf\xE9|/new");
    EXPECT_EQ(folder.File(), edited);
}
#endif

} // namespace
} // namespace tandrel::gui
