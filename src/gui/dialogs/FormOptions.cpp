#include "gui/dialogs/FormOptions.h"

#include "gui/mainwindow/Controls.h"
#include "gui/app/AppState.h"
#include "gui/dialogs/Dialogs.h"
#include "gui/mainwindow/FormIcons.h"
#include "gui/app/Registry.h"
#include "gui/app/SystemWords.h"
#include "gui/app/TrimBlanks.h"
#include "platform/CaseFold.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <locale.h>
#include <stdlib.h>
#include <string>

namespace tandrel::gui {

const QString FormOptions::kHint = QStringLiteral("Input file/folder name here then press \"+\" or Enter");

namespace {

QCheckBox* Check(const char* name, const QString& caption)
{
    return Named(new QCheckBox(caption), name);
}

} // namespace

qint64 FormOptions::LeadingNumber(const QString& text)
{
    // The number that the text begins with, as a number reader of the old
    // school takes it: blanks skipped, an optional sign, digits with an
    // optional fraction and exponent; 0 when there is none.
    const std::string s = text.toStdString();
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    std::string number;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        number += s[i++];
    std::size_t digits = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
        number += s[i++];
        ++digits;
    }
    if (i < s.size() && s[i] == '.') {
        number += s[i++];
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
            number += s[i++];
            ++digits;
        }
    }
    if (digits == 0)
        return 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            exponent += s[j++];
        if (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) {
            while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j])))
                exponent += s[j++];
            number += exponent;
        }
    }
    // Read with the C locale's decimal point whatever the user's locale says.
#ifdef Q_OS_WIN
    static const _locale_t cLocale = ::_create_locale(LC_ALL, "C");
    const double parsed = cLocale ? ::_strtod_l(number.c_str(), nullptr, cLocale) : std::strtod(number.c_str(), nullptr);
#else
    static const locale_t cLocale = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    const double parsed = cLocale ? ::strtod_l(number.c_str(), nullptr, cLocale) : std::strtod(number.c_str(), nullptr);
#endif
    const double value = std::fabs(std::floor(parsed));
    if (!std::isfinite(value) || value > static_cast<double>(kMaxIgnoreTime))
        return kMaxIgnoreTime;
    return static_cast<qint64>(value);
}

QString FormOptions::ComboSecText(const QString& text)
{
    return QString::number(LeadingNumber(text));
}

FormOptions::FormOptions(AppState& appState, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), m_appState(appState), m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("FormOptions"));
    setWindowTitle(QStringLiteral("Options"));
    SetDialogFrame(this);

    // File time: one sentence across the frame.
    Frame2 = Named(new QGroupBox(QStringLiteral("File time")), "Frame2");
    Label1 = Named(new QLabel(QStringLiteral("When comparing file time, ignore")), "Label1");
    ComboSec = Named(new QComboBox, "ComboSec");
    ComboSec->setEditable(true);
    ComboSec->setInsertPolicy(QComboBox::NoInsert);
    ComboSec->setCompleter(nullptr);
    ComboSec->setMinimumContentsLength(9);
    ComboSec->setMaxVisibleItems(15);
    ComboType = Named(new QComboBox, "ComboType");
    Label2 = Named(new QLabel(QStringLiteral(" difference.")), "Label2");
    auto* timeRow = new QHBoxLayout(Frame2);
    timeRow->addWidget(Label1);
    timeRow->addWidget(ComboSec);
    timeRow->addWidget(ComboType);
    timeRow->addWidget(Label2);
    timeRow->addStretch(1);

    Frame5 = Named(new QGroupBox(QStringLiteral("Ignore file/folder attributes")), "Frame5");
    Label4 = Named(new QLabel(QStringLiteral("When comparing, ignore file/folder having these attributes:")), "Label4");
    CheckArchive = Check("CheckArchive", QStringLiteral("Archive"));
    CheckHidden = Check("CheckHidden", QStringLiteral("Hidden"));
    CheckReadOnly = Check("CheckReadOnly", QStringLiteral("Read only"));
    CheckSystem = Check("CheckSystem", QStringLiteral("System"));
    auto* attributes = new QVBoxLayout(Frame5);
    attributes->addWidget(Label4);
    auto* attributeRow = new QHBoxLayout;
    for (QCheckBox* box : {CheckArchive, CheckHidden, CheckReadOnly, CheckSystem})
        attributeRow->addWidget(box);
    attributeRow->addStretch(1);
    attributes->addLayout(attributeRow);

    Frame4 = Named(new QGroupBox(QStringLiteral("Ignore file/folder names")), "Frame4");
    Label3 = Named(new QLabel(QStringLiteral("When comparing, ignore these file/folder names:")), "Label3");
    Text1 = Named(new QLineEdit, "Text1");
    CmdAdd = Named(new QPushButton, "CmdAdd");
    CmdAdd->setIcon(FormIcons::Plus());
    CmdAdd->setToolTip(QStringLiteral("Add"));
    CmdAdd->setAutoDefault(false);
    CmdRemove = Named(new QPushButton, "CmdRemove");
    CmdRemove->setIcon(FormIcons::Minus());
    CmdRemove->setToolTip(QStringLiteral("Remove"));
    CmdRemove->setAutoDefault(false);
    List1 = Named(new QListWidget, "List1");
    List1->setSelectionMode(QAbstractItemView::SingleSelection);
    List1->setMinimumHeight(120);
    auto* names = new QVBoxLayout(Frame4);
    names->addWidget(Label3);
    auto* entryRow = new QHBoxLayout;
    entryRow->addWidget(Text1, 1);
    entryRow->addWidget(CmdAdd);
    entryRow->addWidget(CmdRemove);
    names->addLayout(entryRow);
    names->addWidget(List1, 1);

    Frame1 = Named(new QGroupBox(QStringLiteral("Backup")), "Frame1");
    Check1 = Check("Check1", QStringLiteral("Force overwriting of Read-only/Hidden/System files."));
    Check2 = Check("Check2", QStringLiteral("Do not display error message when copying or deleting files"));
    ChkTrash = Check("ChkTrash", TrashOptionCaption());
    ChkKeepReplaced = Check("ChkKeepReplaced", KeepReplacedCaption());
    auto* backup = new QVBoxLayout(Frame1);
    backup->addWidget(Check1);
    backup->addWidget(Check2);
    backup->addWidget(ChkTrash);
    backup->addWidget(ChkKeepReplaced);

    Frame3 = Named(new QGroupBox(QStringLiteral("Sound")), "Frame3");
    Check3 = Check("Check3", QStringLiteral("Play sound when comparison/copying/deleting is finished"));
    auto* sound = new QVBoxLayout(Frame3);
    sound->addWidget(Check3);

    const ButtonPair closing = MakeButtonPair(QStringLiteral("&OK"), "Command1", "Command2");
    Command1 = closing.accept;
    Command2 = closing.cancel;
    auto* buttons = closing.row;

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Frame2);
    layout->addWidget(Frame5);
    layout->addWidget(Frame4, 1);
    layout->addWidget(Frame1);
    layout->addWidget(Frame3);
    layout->addLayout(buttons);

    setTabOrder(ComboSec, ComboType);
    setTabOrder(ComboType, CheckArchive);
    setTabOrder(CheckArchive, CheckHidden);
    setTabOrder(CheckHidden, CheckReadOnly);
    setTabOrder(CheckReadOnly, CheckSystem);
    setTabOrder(CheckSystem, Text1);
    setTabOrder(Text1, CmdAdd);
    setTabOrder(CmdAdd, CmdRemove);
    setTabOrder(CmdRemove, List1);
    setTabOrder(List1, Check1);
    setTabOrder(Check1, Check2);
    setTabOrder(Check2, ChkTrash);
    setTabOrder(ChkTrash, ChkKeepReplaced);
    setTabOrder(ChkKeepReplaced, Check3);
    setTabOrder(Check3, Command1);
    setTabOrder(Command1, Command2);

    Load();

    connect(ComboSec, &QComboBox::editTextChanged, this, [this] { ApplyComboSecRule(); });
    connect(CmdAdd, &QPushButton::clicked, this, [this] { AddEntry(); });
    connect(CmdRemove, &QPushButton::clicked, this, [this] { RemoveEntry(); });
    connect(Command1, &QPushButton::clicked, this, [this] {
        Store();
        accept();
    });
    connect(Command2, &QPushButton::clicked, this, &QDialog::reject);
    Text1->installEventFilter(this);
    List1->installEventFilter(this);
    ComboSec->setFocus();
}

void FormOptions::Load()
{
    const settings::CompareOptions& o = m_appState.settings.options;

    for (int i = 0; i <= 60; ++i)
        ComboSec->addItem(QString::number(i));
    m_applyingRule = true;
    ComboSec->setEditText(QString::number(o.IgnoreTime));
    m_applyingRule = false;
    ApplyComboSecRule();

    ComboType->addItems({QStringLiteral("Seconds"), QStringLiteral("Minutes"), QStringLiteral("Hours"),
                         QStringLiteral("Days"), QStringLiteral("Months"), QStringLiteral("Years")});
    ComboType->setCurrentIndex(o.IgnoreType >= 0 && o.IgnoreType <= 5 ? o.IgnoreType : -1);

    Check1->setChecked(o.Overwriting);
    Check2->setChecked(o.IgnoreError);
    Check3->setChecked(o.PlaySound);
    ChkTrash->setChecked(ReadTrashChoice());
    ChkKeepReplaced->setChecked(ReadKeepReplacedChoice());

    CheckArchive->setChecked(settings::FilterOn(o.IgnoreArchive));
    CheckHidden->setChecked(settings::FilterOn(o.IgnoreHidden));
    CheckReadOnly->setChecked(settings::FilterOn(o.IgnoreReadonly));
    CheckSystem->setChecked(settings::FilterOn(o.IgnoreSystem));

    for (const std::string& entry : m_appState.settings.ignoredTypes) {
        if (!entry.empty())
            List1->addItem(ToQ(entry));
    }

    m_hintCleared = false;
    Text1->setText(kHint);
}

void FormOptions::ApplyComboSecRule()
{
    if (m_applyingRule)
        return;
    const QString current = ComboSec->currentText();
    const QString ruled = ComboSecText(current);
    if (ruled == current)
        return;
    m_applyingRule = true;
    ComboSec->setEditText(ruled);
    if (QLineEdit* edit = ComboSec->lineEdit())
        edit->setCursorPosition(static_cast<int>(ruled.size()));
    m_applyingRule = false;
}

void FormOptions::AddEntry()
{
    const QString text = TrimBlanks(Text1->text());
    Text1->setText(text);
    if (text.isEmpty())
        return;
    // The same rule as the matching of the names during a comparison, on
    // the names' own bytes.
    const std::string name = FromQ(text);
    for (int i = 0; i < List1->count(); ++i) {
        if (platform::EqualsNoCase(FromQ(List1->item(i)->text()), name))
            return;
    }
    List1->addItem(text);
    Text1->clear();
}

void FormOptions::RemoveEntry()
{
    const QList<QListWidgetItem*> selected = List1->selectedItems();
    if (selected.isEmpty())
        return;
    delete List1->takeItem(List1->row(selected.first()));
    List1->clearSelection();
}

void FormOptions::Store()
{
    ApplyComboSecRule();
    settings::CompareOptions& o = m_appState.settings.options;
    o.IgnoreTime = static_cast<std::int32_t>(LeadingNumber(ComboSec->currentText()));
    o.IgnoreType = ComboType->currentIndex();
    o.IgnoreArchive = CheckArchive->isChecked() ? 1 : 0;
    o.IgnoreHidden = CheckHidden->isChecked() ? 1 : 0;
    o.IgnoreReadonly = CheckReadOnly->isChecked() ? 1 : 0;
    o.IgnoreSystem = CheckSystem->isChecked() ? 1 : 0;
    o.Overwriting = Check1->isChecked();
    o.IgnoreError = Check2->isChecked();
    o.PlaySound = Check3->isChecked();
    // A per-user choice: it lives beside the two folders, not in the settings file.
    WriteTrashChoice(ChkTrash->isChecked());
    WriteKeepReplacedChoice(ChkKeepReplaced->isChecked());

    std::vector<std::string> entries;
    entries.reserve(static_cast<std::size_t>(List1->count()));
    for (int i = 0; i < List1->count(); ++i)
        entries.push_back(FromQ(List1->item(i)->text()));
    m_appState.settings.ignoredTypes = std::move(entries);

    // A failed write changes nothing in the state and shows nothing; the
    // options stay in force for this run.
    settings::WriteSettings(FromQ(m_appState.settingsPath), m_appState.settings);
}

bool FormOptions::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Text1) {
        if (event->type() == QEvent::FocusIn && !m_hintCleared) {
            Text1->clear();
            m_hintCleared = true;
        } else if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                AddEntry();
                return true;
            }
        }
    } else if (watched == List1 && event->type() == QEvent::KeyRelease) {
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete)
            RemoveEntry();
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace tandrel::gui
