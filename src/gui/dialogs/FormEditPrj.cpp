#include "gui/dialogs/FormEditPrj.h"

#include "gui/mainwindow/Controls.h"
#include "gui/app/CoreText.h"
#include "gui/dialogs/Dialogs.h"
#include "gui/mainwindow/FormIcons.h"
#include "gui/dialogs/ModBrowser.h"
#include "gui/app/SpecialFolders.h"
#include "gui/app/TrimBlanks.h"
#include "engine/PathRules.h"

#include <QAction>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace tandrel::gui {

const char* const FormEditPrj::kPresetCaptions[12] = {
    "System Fonts",       "User Cookies",      "User Application Data", "User Desktop",
    "User Favorites",     "User History",      "User Local Application Data",
    "User My Documents",  "User My Music",     "User My Pictures",
    "User Start Menu",    "User Profile Folder"};

namespace {

constexpr engine::PathRules kRules = engine::PathRules::Native();

QString DropTrailingSeparator(QString path)
{
    if (!path.isEmpty() && path.back() == QChar::fromLatin1(kRules.separator))
        path.chop(1);
    return path;
}

} // namespace

QString FormEditPrj::GetSpecialFolderPath(int csidl)
{
    const QString path = SpecialFolderPath(csidl);
    if (path.isEmpty())
        return {};
    return ToQ(kRules.WithTrailingSeparator(FromQ(QDir::toNativeSeparators(path))));
}

FormEditPrj::FormEditPrj(const QString& editMode, const settings::ProjectRecord& project, Dialogs& dialogs,
                         QWidget* parent, const std::string& patternFile)
    : QDialog(parent), m_editMode(editMode), m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("FormEditPrj"));
    setWindowTitle(QStringLiteral("Project"));
    SetDialogFrame(this);

    Label1 = Named(new QLabel(QStringLiteral("Project Name:")), "Label1");
    TextName = Named(new QLineEdit, "TextName");
    Label2 = Named(new QLabel(QStringLiteral("Source:")), "Label2");
    TextS = Named(new QLineEdit, "TextS");
    PushButton1 = Named(new QToolButton, "PushButton1");
    PushButton1->setIcon(FormIcons::PresetArrow());
    PushButton1->setToolTip(QStringLiteral("Special folders"));
    Command3 = Named(new QPushButton(QStringLiteral("&Browse...")), "Command3");
    Command3->setAutoDefault(false);
    Label3 = Named(new QLabel(QStringLiteral("Destination:")), "Label3");
    TextD = Named(new QLineEdit, "TextD");
    Command4 = Named(new QPushButton(QStringLiteral("B&rowse...")), "Command4");
    Command4->setAutoDefault(false);
    Label4 = Named(new QLabel(QStringLiteral("Pattern file:")), "Label4");
    TextP = Named(new QLineEdit, "TextP");
    TextP->setToolTip(QStringLiteral("Entries matched by the patterns of this file are left out of the comparison"));
    Command5 = Named(new QPushButton(QStringLiteral("Bro&wse...")), "Command5");
    Command5->setAutoDefault(false);
    const ButtonPair closing = MakeButtonPair(QStringLiteral("&OK"), "BtnOK", "BtnCancel");
    BtnOK = closing.accept;
    BtnCancel = closing.cancel;

    // Holds the picture that becomes the window icon when adding; not shown.
    Image1 = Named(new QLabel(this), "Image1");
    Image1->setPixmap(FormIcons::Project().pixmap(32, 32));
    Image1->hide();

    Premenu = Named(new QMenu(this), "Premenu");
    for (int i = 0; i < 12; ++i) {
        QAction* action = Premenu->addAction(QString::fromLatin1(kPresetCaptions[i]));
        action->setObjectName(QStringLiteral("menu_Pre%1").arg(i));
        const int csidl = kPresetCsidl[i];
        connect(action, &QAction::triggered, this, [this, csidl] {
            TextS->setText(GetSpecialFolderPath(csidl));
            TextS->setFocus();
        });
        menu_Pre.append(action);
    }

    TextName->setMinimumWidth(320);
    auto* grid = new QGridLayout;
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(TextName, 0, 1, 1, 3);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(TextS, 1, 1);
    grid->addWidget(PushButton1, 1, 2);
    grid->addWidget(Command3, 1, 3);
    grid->addWidget(Label3, 2, 0);
    grid->addWidget(TextD, 2, 1, 1, 2);
    grid->addWidget(Command4, 2, 3);
    grid->addWidget(Label4, 3, 0);
    grid->addWidget(TextP, 3, 1, 1, 2);
    grid->addWidget(Command5, 3, 3);
    grid->setColumnStretch(1, 1);

    auto* buttons = closing.row;

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetMinimumSize);

    Load(project, patternFile);

    connect(BtnOK, &QPushButton::clicked, this, [this] { Accept(); });
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(Command3, &QPushButton::clicked, this, [this] { BrowseSource(); });
    connect(Command4, &QPushButton::clicked, this, [this] { BrowseDestination(); });
    connect(Command5, &QPushButton::clicked, this, [this] { BrowsePatternFile(); });
    connect(PushButton1, &QToolButton::clicked, this,
            [this] { Premenu->popup(PushButton1->mapToGlobal(QPoint(0, PushButton1->height()))); });
}

void FormEditPrj::Load(const settings::ProjectRecord& project, const std::string& patternFile)
{
    if (m_editMode == QLatin1String("add")) {
        setWindowTitle(QStringLiteral("Add new project"));
        setWindowIcon(QIcon(Image1->pixmap()));
    } else if (m_editMode == QLatin1String("edit")) {
        setWindowTitle(QStringLiteral("Edit project"));
        TextName->setText(ToQ(project.name));
        TextS->setText(ToQ(project.source));
        TextD->setText(ToQ(project.destination));
        TextP->setText(ToQ(patternFile));
    }
}

void FormEditPrj::Accept()
{
    TextName->setText(TrimBlanks(TextName->text()));
    TextS->setText(TrimBlanks(TextS->text()));
    TextD->setText(TrimBlanks(TextD->text()));
    TextP->setText(TrimBlanks(TextP->text()));
    const QString title = QStringLiteral("Tandrel");

    if (TextName->text().isEmpty()) {
        m_dialogs.Message(this, QStringLiteral("Please input the project name"), title, MessageIcon::Information,
                          MessageButtons::Ok);
        TextName->setFocus();
        return;
    }
    if (TextS->text().isEmpty()) {
        m_dialogs.Message(this, QStringLiteral("Please select the source directory"), title,
                          MessageIcon::Information, MessageButtons::Ok);
        BrowseSource();
        return;
    }
    if (TextD->text().isEmpty()) {
        m_dialogs.Message(this, QStringLiteral("Please select the destination directory"), title,
                          MessageIcon::Information, MessageButtons::Ok);
        BrowseDestination();
        return;
    }
    if (TextName->text().contains(QLatin1Char('|'))) {
        m_dialogs.Message(this, QStringLiteral("The project name can not contain the character '|'"), title,
                          MessageIcon::Critical, MessageButtons::Ok);
        return;
    }

    m_project = {FromQ(TextName->text()), FromQ(TextS->text()), FromQ(TextD->text())};
    m_patternFile = FromQ(TextP->text());
    accept();
}

void FormEditPrj::BrowseSource()
{
    // A trailing separator goes, unless the text is the root itself.
    QString start = QDir::toNativeSeparators(TextS->text());
    if (static_cast<std::size_t>(start.size()) > kRules.rootLength)
        start = DropTrailingSeparator(start);
    Browse(TextS, QStringLiteral("Please select the source directory"), start);
}

void FormEditPrj::BrowseDestination()
{
    // Here the trailing separator goes whatever the length: the root becomes
    // empty text, and the chooser opens at its default folder.
    Browse(TextD, QStringLiteral("Please select the destination directory"),
           DropTrailingSeparator(QDir::toNativeSeparators(TextD->text())));
}

void FormEditPrj::BrowsePatternFile()
{
    // Any file: whether it can be read is found out when a comparison reads it.
    const QString chosen =
        m_dialogs.ChooseOpenFile(this, QStringLiteral("Please select the pattern file"), TextP->text());
    if (!chosen.isEmpty())
        TextP->setText(chosen);
}

void FormEditPrj::Browse(QLineEdit* field, const QString& prompt, const QString& startFolder)
{
    const QString chosen = BrowseForReadableFolder(m_dialogs, this, prompt, startFolder);
    if (!chosen.isEmpty())
        field->setText(chosen);
}

} // namespace tandrel::gui
