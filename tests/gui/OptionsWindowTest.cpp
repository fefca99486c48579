#include "ProgramFolder.h"
#include "ScriptedDialogs.h"

#include "gui/app/AppState.h"
#include "gui/dialogs/FormOptions.h"
#include "gui/app/Registry.h"
#include "gui/app/SystemWords.h"
#include "support/Holds.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMap>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <gtest/gtest.h>

#include <clocale>
#include <functional>
#include <string>

namespace tandrel::gui {
namespace {

using test::ProgramFolder;
using test::ScriptedDialogs;

const std::string kHandEdited =
    "[Source]\r\n/home/ann/photos\r\n\r\n"
    "[Destination]\r\n/media/backup/photos\r\n\r\n"
    "[Project]\r\nPhotos|/home/ann/photos|/media/backup/photos\r\n\r\n"
    "[Option]\r\n"
    "IgnoreTime=99999999\r\n"
    "IgnoreType=3\r\n"
    "IgnoreHidden=-1\r\n"
    "Colour=blue\r\n"
    "IgnoreArchive=2\r\n"
    "PlaySound=False\r\n"
    "\r\n[IgnoreFile]\r\nthumbs.db\r\n*.tmp\r\n";

template <typename W>
W* Find(QWidget& window, const char* name)
{
    W* widget = window.findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

QStringList Entries(QListWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

TEST(FormOptions, LoadsHandEditedValuesCancelKeepsFileOkWritesThem)
{
    ProgramFolder folder(kHandEdited);
    const settings::SettingsState before = folder.state.settings;
    ScriptedDialogs& dialogs = folder.dialogs;

    {
        FormOptions form(folder.state, dialogs, nullptr);
        EXPECT_EQ(form.windowTitle(), "Options");
        auto* comboSec = Find<QComboBox>(form, "ComboSec");
        auto* comboType = Find<QComboBox>(form, "ComboType");
        EXPECT_EQ(comboSec->count(), 61);
        EXPECT_EQ(comboSec->itemText(60), "60");
        EXPECT_EQ(comboSec->currentText(), "20000000");
        EXPECT_EQ(comboType->currentIndex(), 3);
        EXPECT_EQ(comboType->currentText(), "Days");
        EXPECT_FALSE(Find<QCheckBox>(form, "CheckHidden")->isChecked());  // -1 is off
        EXPECT_FALSE(Find<QCheckBox>(form, "CheckArchive")->isChecked()); // 2 is off
        EXPECT_FALSE(Find<QCheckBox>(form, "CheckReadOnly")->isChecked());
        EXPECT_TRUE(Find<QCheckBox>(form, "CheckSystem")->isChecked());   // default 1
        EXPECT_TRUE(Find<QCheckBox>(form, "Check1")->isChecked());
        EXPECT_TRUE(Find<QCheckBox>(form, "Check2")->isChecked());
        EXPECT_FALSE(Find<QCheckBox>(form, "Check3")->isChecked());
        EXPECT_EQ(Entries(Find<QListWidget>(form, "List1")), QStringList({"thumbs.db", "*.tmp"}));
        EXPECT_EQ(Find<QLineEdit>(form, "Text1")->text(), FormOptions::kHint);

        // Edits of every kind, then Cancel.
        comboSec->lineEdit()->selectAll();
        QTest::keyClicks(comboSec->lineEdit(), "7");
        comboType->setCurrentIndex(0);
        Find<QCheckBox>(form, "CheckHidden")->setChecked(true);
        Find<QLineEdit>(form, "Text1")->setText("*.bak");
        QTest::mouseClick(Find<QPushButton>(form, "CmdAdd"), Qt::LeftButton);
        Find<QListWidget>(form, "List1")->setCurrentRow(0);
        QTest::mouseClick(Find<QPushButton>(form, "CmdRemove"), Qt::LeftButton);
        QTest::mouseClick(Find<QPushButton>(form, "Command2"), Qt::LeftButton);
        EXPECT_EQ(form.result(), QDialog::Rejected);
    }
    EXPECT_EQ(folder.File(), kHandEdited);
    EXPECT_EQ(folder.state.settings.options, before.options);
    EXPECT_EQ(folder.state.settings.options.IgnoreTime, 99999999);
    EXPECT_EQ(folder.state.settings.ignoredTypes, before.ignoredTypes);

    {
        FormOptions form(folder.state, dialogs, nullptr);
        QTest::mouseClick(Find<QPushButton>(form, "Command1"), Qt::LeftButton);
        EXPECT_EQ(form.result(), QDialog::Accepted);
    }
    const settings::CompareOptions& o = folder.state.settings.options;
    EXPECT_EQ(o.IgnoreTime, 20000000);
    EXPECT_EQ(o.IgnoreType, 3);
    EXPECT_EQ(o.IgnoreHidden, 0);
    EXPECT_EQ(o.IgnoreArchive, 0);
    EXPECT_EQ(o.IgnoreSystem, 1);
    EXPECT_EQ(folder.File(),
              "[Source]\r\n/home/ann/photos\r\n\r\n"
              "[Destination]\r\n/media/backup/photos\r\n\r\n"
              "[Project]\r\nPhotos|/home/ann/photos|/media/backup/photos\r\n\r\n"
              "[Option]\r\n"
              "IgnoreTime=20000000\r\nIgnoreType=3\r\nIgnoreArchive=0\r\nIgnoreHidden=0\r\n"
              "IgnoreReadonly=0\r\nIgnoreSystem=1\r\nOverwriting=True\r\nIgnoreError=True\r\nPlaySound=False\r\n"
              "\r\n[IgnoreFile]\r\nthumbs.db\r\n*.tmp\r\n");
    EXPECT_TRUE(dialogs.requests.empty());
}

TEST(FormOptions, OutOfRangeUnitAndNegativeTimeAndEmptyIgnoreList)
{
    ProgramFolder folder("[Option]\r\nIgnoreType=9\r\nIgnoreTime=-42\r\n[IgnoreFile]\r\na\r\nb\r\n");
    ScriptedDialogs& dialogs = folder.dialogs;
    FormOptions form(folder.state, dialogs, nullptr);
    auto* comboType = Find<QComboBox>(form, "ComboType");
    EXPECT_EQ(comboType->currentIndex(), -1);
    EXPECT_EQ(Find<QComboBox>(form, "ComboSec")->currentText(), "42");

    auto* list = Find<QListWidget>(form, "List1");
    while (list->count() > 0) {
        list->setCurrentRow(0);
        QTest::mouseClick(Find<QPushButton>(form, "CmdRemove"), Qt::LeftButton);
    }
    QTest::mouseClick(Find<QPushButton>(form, "Command1"), Qt::LeftButton);
    EXPECT_EQ(folder.state.settings.options.IgnoreType, -1);
    EXPECT_EQ(folder.state.settings.options.IgnoreTime, 42);
    EXPECT_TRUE(folder.state.settings.ignoredTypes.empty());
    const std::string file = folder.File();
    EXPECT_TRUE(test::Holds(file, "IgnoreType=-1\r\nIgnoreArchive=0\r\n"));
    const std::string tail = "\r\n[IgnoreFile]\r\n";
    ASSERT_GE(file.size(), tail.size());
    EXPECT_EQ(file.substr(file.size() - tail.size()), tail);
}

TEST(FormOptions, ComboSecRuleWhileTyping)
{
    EXPECT_EQ(FormOptions::LeadingNumber(""), 0);
    EXPECT_EQ(FormOptions::LeadingNumber("abc"), 0);
    EXPECT_EQ(FormOptions::LeadingNumber(" 42abc"), 42);
    EXPECT_EQ(FormOptions::LeadingNumber("12.9"), 12);
    EXPECT_EQ(FormOptions::LeadingNumber("-5.5"), 6); // rounded down, then the sign goes
    EXPECT_EQ(FormOptions::LeadingNumber("-"), 0);
    EXPECT_EQ(FormOptions::LeadingNumber("."), 0);
    EXPECT_EQ(FormOptions::LeadingNumber("1e3"), 1000);
    EXPECT_EQ(FormOptions::LeadingNumber("7e"), 7);
    EXPECT_EQ(FormOptions::LeadingNumber("20000000"), 20000000);
    EXPECT_EQ(FormOptions::LeadingNumber("20000001"), 20000000);
    EXPECT_EQ(FormOptions::LeadingNumber("2147483648"), 20000000);
    EXPECT_EQ(FormOptions::LeadingNumber("99999999999999999999999"), 20000000);
    EXPECT_EQ(FormOptions::LeadingNumber("1e400"), 20000000);
    EXPECT_EQ(FormOptions::LeadingNumber("1.5e3"), 1500);

    // A user's locale with a decimal comma does not change how the text is read.
    const std::string oldNumeric = std::setlocale(LC_NUMERIC, nullptr);
    bool commaLocale = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "nl_NL.UTF-8"}) {
        if (std::setlocale(LC_NUMERIC, name) && *std::localeconv()->decimal_point == ',') {
            commaLocale = true;
            break;
        }
    }
    if (commaLocale) {
        EXPECT_EQ(FormOptions::LeadingNumber("-5.5"), 6);
        EXPECT_EQ(FormOptions::LeadingNumber("2.5e7"), 20000000);
        EXPECT_EQ(FormOptions::LeadingNumber("1.5e3"), 1500);
        EXPECT_EQ(FormOptions::LeadingNumber("12,9"), 12);
    }
    std::setlocale(LC_NUMERIC, oldNumeric.c_str());

    ProgramFolder folder("[Option]\r\nIgnoreTime=5\r\n");
    ScriptedDialogs& dialogs = folder.dialogs;
    FormOptions form(folder.state, dialogs, nullptr);
    auto* comboSec = Find<QComboBox>(form, "ComboSec");
    QLineEdit* edit = comboSec->lineEdit();
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(comboSec->currentText(), "5");

    // Each change shows its result at once: a text that does not begin with
    // a digit turns into 0, a sign or point cannot remain, and nothing above
    // 20000000 can stand.
    edit->selectAll();
    QTest::keyClicks(edit, "a");
    EXPECT_EQ(comboSec->currentText(), "0");
    QTest::keyClicks(edit, "bc");
    EXPECT_EQ(comboSec->currentText(), "0");

    edit->selectAll();
    QTest::keyClicks(edit, "25000000");
    EXPECT_EQ(comboSec->currentText(), "20000000");
    EXPECT_EQ(edit->cursorPosition(), 8);

    edit->selectAll();
    QTest::keyClicks(edit, "-7");
    EXPECT_EQ(comboSec->currentText(), "7");
    QTest::keyClicks(edit, "x");
    EXPECT_EQ(comboSec->currentText(), "7");

    edit->selectAll();
    edit->insert("12.9"); // a paste keeps the whole units in front
    EXPECT_EQ(comboSec->currentText(), "12");
    edit->selectAll();
    edit->insert(" 42 days");
    EXPECT_EQ(comboSec->currentText(), "42");
    edit->selectAll();
    QTest::keyClicks(edit, "12.9x"); // typed, the point goes as it comes
    EXPECT_EQ(comboSec->currentText(), "129");

    edit->selectAll();
    QTest::keyClicks(edit, "3");
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(comboSec->currentText(), "0");

    comboSec->setCurrentIndex(45); // picked from the list
    EXPECT_EQ(comboSec->currentText(), "45");

    QTest::mouseClick(form.findChild<QPushButton*>("Command1"), Qt::LeftButton);
    EXPECT_EQ(folder.state.settings.options.IgnoreTime, 45);
}

TEST(FormOptions, IgnoredNamesHintDuplicatesEnterAndDelete)
{
    ProgramFolder folder("[IgnoreFile]\r\nthumbs.db\r\n");
    ScriptedDialogs& dialogs = folder.dialogs;
    FormOptions form(folder.state, dialogs, nullptr);
    auto* text1 = Find<QLineEdit>(form, "Text1");
    auto* list = Find<QListWidget>(form, "List1");
    auto* add = Find<QPushButton>(form, "CmdAdd");

    // Before Text1 ever had the focus, its hint is an entry like any other.
    QTest::mouseClick(add, Qt::LeftButton);
    EXPECT_EQ(Entries(list), QStringList({"thumbs.db", FormOptions::kHint}));
    EXPECT_EQ(text1->text(), "");

    // The first focus empties the text; later ones leave it alone.
    text1->setText("typed");
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(text1, &in);
    EXPECT_EQ(text1->text(), "");
    text1->setText("kept");
    QApplication::sendEvent(text1, &in);
    EXPECT_EQ(text1->text(), "kept");

    // Duplicates are refused without regard to case, silently, and the text stays.
    text1->setText("Thumbs.DB");
    QTest::mouseClick(add, Qt::LeftButton);
    EXPECT_EQ(list->count(), 2);
    EXPECT_EQ(text1->text(), "Thumbs.DB");
    // The rule is the comparison's: capital sharp s is a letter of its own there.
    list->addItem(QString::fromUtf8("\xC3\xBC" "bersicht \xC3\x9F"));    // übersicht ß
    text1->setText(QString::fromUtf8("\xC3\x9C" "BERSICHT \xC3\x9F")); // ÜBERSICHT ß
    QTest::mouseClick(add, Qt::LeftButton);
    EXPECT_EQ(list->count(), 3);
    text1->setText(QString::fromUtf8("\xC3\xBC" "bersicht \xE1\xBA\x9E")); // übersicht ẞ
    QTest::mouseClick(add, Qt::LeftButton);
    ASSERT_EQ(list->count(), 4);
    delete list->takeItem(3);
    delete list->takeItem(2);

    // Blanks around a pattern go; blanks alone add nothing.
    text1->setText("   *.tmp  ");
    QTest::mouseClick(add, Qt::LeftButton);
    EXPECT_EQ(list->item(2)->text(), "*.tmp");
    EXPECT_EQ(text1->text(), "");
    text1->setText("    ");
    QTest::mouseClick(add, Qt::LeftButton);
    EXPECT_EQ(list->count(), 3);
    EXPECT_EQ(text1->text(), "");
    // Only blanks go: a tab is part of the name.
    text1->setText(" \tTab name\t ");
    QTest::mouseClick(add, Qt::LeftButton);
    ASSERT_EQ(list->count(), 4);
    EXPECT_EQ(list->item(3)->text(), "\tTab name\t");
    list->setCurrentRow(3);
    QTest::mouseClick(Find<QPushButton>(form, "CmdRemove"), Qt::LeftButton);
    EXPECT_EQ(list->count(), 3);

    // Enter in Text1 adds, and does not close the dialog.
    text1->setText("node_modules");
    QTest::keyClick(text1, Qt::Key_Return);
    EXPECT_EQ(list->item(3)->text(), "node_modules");
    EXPECT_EQ(form.result(), 0);

    // Delete released in List1 removes the selected entry; with none selected, nothing.
    list->clearSelection();
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(list->count(), 4);
    list->setCurrentRow(1);
    ASSERT_TRUE(list->item(1)->isSelected());
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(Entries(list), QStringList({"thumbs.db", "*.tmp", "node_modules"}));

    QTest::mouseClick(Find<QPushButton>(form, "Command1"), Qt::LeftButton);
    EXPECT_EQ(folder.state.settings.ignoredTypes, (std::vector<std::string>{"thumbs.db", "*.tmp", "node_modules"}));
    const std::string file = folder.File();
    EXPECT_TRUE(test::Holds(file, "[IgnoreFile]\r\nthumbs.db\r\n*.tmp\r\nnode_modules\r\n"));
    EXPECT_TRUE(dialogs.requests.empty());
}

TEST(FormOptions, NoSettingsFileYetOkCreatesIt)
{
    ProgramFolder folder;
    FormOptions form(folder.state, folder.dialogs, nullptr);
    EXPECT_FALSE(form.findChild<QCheckBox*>("CheckHidden")->isChecked());
    EXPECT_EQ(form.findChild<QComboBox*>("ComboType")->currentIndex(), 0);
    QTest::mouseClick(form.findChild<QPushButton*>("Command1"), Qt::LeftButton);
    EXPECT_EQ(folder.File(),
              "[Source]\r\n\r\n[Destination]\r\n\r\n[Project]\r\n\r\n\r\n[Option]\r\n"
              "IgnoreTime=0\r\nIgnoreType=0\r\nIgnoreArchive=0\r\nIgnoreHidden=0\r\nIgnoreReadonly=0\r\n"
              "IgnoreSystem=0\r\nOverwriting=False\r\nIgnoreError=False\r\nPlaySound=False\r\n\r\n[IgnoreFile]\r\n");
}

// What the per-user store holds, read the way the system keeps it: a file
// on Linux, the registry on Windows.
QMap<QString, QString> StoreValues()
{
    QSettings key(QString::fromLatin1(kRegistryOrganization), QString::fromLatin1(kRegistryApplication));
    QMap<QString, QString> values;
    for (const QString& name : key.allKeys())
        values.insert(name, key.value(name).toString());
    return values;
}

TEST(FormOptions, TrashChoiceIsKeptPerUserAndNeverInTheSettingsFile)
{
    {
        QSettings key(QString::fromLatin1(kRegistryOrganization), QString::fromLatin1(kRegistryApplication));
        key.clear();
        key.setValue(QStringLiteral("SourceDir"), QStringLiteral("/home/ann/photos/"));
        key.sync();
    }
    ProgramFolder folder(kHandEdited);
    ScriptedDialogs& dialogs = folder.dialogs;
    const QMap<QString, QString> storeBefore = StoreValues();
    ASSERT_EQ(storeBefore.value(QStringLiteral("SourceDir")), QStringLiteral("/home/ann/photos/"));

    auto open = [&](const std::function<void(FormOptions&, QCheckBox*)>& act) {
        FormOptions form(folder.state, dialogs, nullptr);
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        auto* box = Find<QCheckBox>(form, "ChkTrash");
        ASSERT_NE(box, nullptr);
        act(form, box);
    };
    std::string fileAfterPlainOk;
    open([&](FormOptions& form, QCheckBox* box) {
#ifdef Q_OS_WIN
        EXPECT_EQ(box->text(), "Move deleted items to the Recycle Bin");
#else
        EXPECT_EQ(box->text(), "Move deleted items to the trash");
#endif
        EXPECT_EQ(box->parentWidget(), Find<QGroupBox>(form, "Frame1"));
        EXPECT_FALSE(box->isChecked());
        QTest::mouseClick(Find<QPushButton>(form, "Command1"), Qt::LeftButton);
    });
    // Left off, OK changes nothing in the per-user store.
    EXPECT_EQ(StoreValues(), storeBefore);
    fileAfterPlainOk = folder.File();

    open([&](FormOptions& form, QCheckBox* box) {
        QTest::keyClick(box, Qt::Key_Space);
        EXPECT_TRUE(box->isChecked());
        QTest::mouseClick(Find<QPushButton>(form, "Command2"), Qt::LeftButton);
    });
    EXPECT_FALSE(ReadTrashChoice());
    EXPECT_EQ(StoreValues(), storeBefore);

    open([&](FormOptions& form, QCheckBox* box) {
        QTest::keyClick(box, Qt::Key_Space);
        QTest::mouseClick(Find<QPushButton>(form, "Command1"), Qt::LeftButton);
    });
    EXPECT_TRUE(ReadTrashChoice());
    EXPECT_EQ(ReadRegistryValue(QStringLiteral("SourceDir")), "/home/ann/photos/");
    EXPECT_EQ(folder.File(), fileAfterPlainOk);

    open([&](FormOptions& form, QCheckBox* box) {
        EXPECT_TRUE(box->isChecked());
        QTest::keyClick(box, Qt::Key_Space);
        QTest::mouseClick(Find<QPushButton>(form, "Command1"), Qt::LeftButton);
    });
    EXPECT_FALSE(ReadTrashChoice());
    EXPECT_FALSE(QSettings(QString::fromLatin1(kRegistryOrganization), QString::fromLatin1(kRegistryApplication))
                     .contains(QString::fromLatin1(kTrashChoiceValue)));
    EXPECT_EQ(folder.File(), fileAfterPlainOk);
}

#ifndef _WIN32 // where the file holds the bytes of names as they are
// Names in no encoding at all (Latin-1 from an old machine, damaged bytes)
// are written back by OK byte for byte; only what the user changes changes.
TEST(FormOptions, NamesThatAreNotUtf8ComeBackByteForByte)
{
    const std::string head = "[Source]\r\n/home/ann/caf\xE9\r\n\r\n"
                             "[Destination]\r\n/mnt/\xFF\xFE\r\n\r\n"
                             "[Project]\r\nA|/data/caf\xE9|/b\xC3\r\n\r\n"
                             "[Option]\r\nIgnoreTime=5\r\nIgnoreType=0\r\nIgnoreArchive=0\r\nIgnoreHidden=1\r\n"
                             "IgnoreReadonly=0\r\nIgnoreSystem=1\r\nOverwriting=True\r\nIgnoreError=True\r\n"
                             "PlaySound=True\r\n\r\n[IgnoreFile]\r\n"
                             "caf\xE9.txt\r\n\xE2\x82z\r\n\xC3\xA9t\xE9\r\n";
    ProgramFolder folder(head + "gone\r\n");
    ScriptedDialogs& dialogs = folder.dialogs;
    {
        FormOptions form(folder.state, dialogs, nullptr);
        QTest::mouseClick(Find<QPushButton>(form, "Command1"), Qt::LeftButton);
    }
    EXPECT_EQ(folder.File(), head + "gone\r\n");

    {
        FormOptions form(folder.state, dialogs, nullptr);
        auto* list = Find<QListWidget>(form, "List1");
        list->setCurrentRow(3);
        QTest::mouseClick(Find<QPushButton>(form, "CmdRemove"), Qt::LeftButton);
        // A name is the same as a listed one only when its bytes are.
        for (const QString& typed : {QStringLiteral(u"new ñ"), QStringLiteral("CAF?.TXT"), ToQ("CAF\xE9.TXT")}) {
            Find<QLineEdit>(form, "Text1")->setText(typed);
            QTest::mouseClick(Find<QPushButton>(form, "CmdAdd"), Qt::LeftButton);
        }
        QTest::mouseClick(Find<QPushButton>(form, "Command1"), Qt::LeftButton);
    }
    EXPECT_EQ(folder.File(), head + "new \xC3\xB1\r\nCAF?.TXT\r\n");
}
#endif

TEST(FormOptions, KeepReplacedChoiceIsKeptPerUserBesideTheTrashChoice)
{
    ProgramFolder folder(kHandEdited);
    ScriptedDialogs& dialogs = folder.dialogs;
    WriteKeepReplacedChoice(false);
    const std::string fileBefore = folder.File();
    for (const bool on : {true, false}) {
        FormOptions form(folder.state, dialogs, nullptr);
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        auto* box = Find<QCheckBox>(form, "ChkKeepReplaced");
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), KeepReplacedCaption());
        EXPECT_EQ(box->parentWidget(), Find<QGroupBox>(form, "Frame1"));
        EXPECT_EQ(box->isChecked(), !on);
        QTest::keyClick(box, Qt::Key_Space);
        QTest::mouseClick(Find<QPushButton>(form, "Command1"), Qt::LeftButton);
        EXPECT_EQ(ReadKeepReplacedChoice(), on);
        EXPECT_EQ(QSettings(QString::fromLatin1(kRegistryOrganization), QString::fromLatin1(kRegistryApplication))
                      .contains(QString::fromLatin1(kKeepReplacedValue)),
                  on);
    }
    // OK rewrites the settings file, but nothing of this choice is in it.
    EXPECT_EQ(folder.File().find("KeepReplaced"), std::string::npos);
}

} // namespace
} // namespace tandrel::gui
