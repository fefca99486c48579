#include "gui/dialogs/FormGuide.h"

#include "gui/mainwindow/Controls.h"
#include "gui/dialogs/Dialogs.h"
#include "gui/mainwindow/DroppedFolders.h"
#include "gui/dialogs/ModBrowser.h"
#include "gui/app/ProjectPatternFiles.h"
#include "gui/app/Registry.h"
#include "gui/app/Skin.h"
#include "gui/app/TrimBlanks.h"

#include "engine/FolderExists.h"
#include "engine/PathRules.h"
#include "settings/SettingsFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QLineEdit>
#include <QShortcut>
#include <QLabel>
#include <QPushButton>

#include <utility>
#include <vector>

namespace tandrel::gui {

namespace {

constexpr auto kTitle = "Tandrel";

QLabel* MakeLabel(const QString& name, const QString& text, const QRect& geometry, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(geometry);
    return label;
}

QPushButton* MakeButton(const QString& name, const QString& text, const QRect& geometry, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    return button;
}

QComboBox* MakeFolderBox(const QString& name, const QRect& geometry, QWidget* parent)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    // Typed text stays as typed: no completion from the recent list.
    box->setCompleter(nullptr);
    box->setGeometry(geometry);
    return box;
}

} // namespace

FormGuide::FormGuide(AppState& app, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), m_app(app), m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("FormGuide"));
    setWindowTitle(QStringLiteral("New Comparison"));
    setModal(true);
    SetDialogFrame(this);
    setFixedSize(472, 318);

    // The band goes first so that the buttons lie on top of it.
    Label9 = MakeLabel(QStringLiteral("Label9"), QString(), QRect(0, 256, 472, 62), this);
    Label9->setAutoFillBackground(true);
    QPalette band = Label9->palette();
    band.setColor(QPalette::Window, BandColour(band));
    Label9->setPalette(band);

    Label1 = MakeLabel(QStringLiteral("Label1"), QStringLiteral("Compare source with destination"),
                       QRect(16, 10, 440, 32), this);
    QFont heading = Label1->font();
    heading.setPointSizeF(heading.pointSizeF() * 1.6);
    heading.setBold(true);
    Label1->setFont(heading);

    Label2 = MakeLabel(QStringLiteral("Label2"), QStringLiteral("Projects:"), QRect(16, 50, 300, 18), this);
    Combo3 = new QComboBox(this);
    Combo3->setObjectName(QStringLiteral("Combo3"));
    Combo3->setGeometry(16, 70, 330, 26);
    Command5 = MakeButton(QStringLiteral("Command5"), QStringLiteral("&Projects"), QRect(356, 69, 100, 28), this);

    Label3 = MakeLabel(QStringLiteral("Label3"), QStringLiteral("Source directory:"), QRect(16, 104, 300, 18), this);
    Combo1 = MakeFolderBox(QStringLiteral("Combo1"), QRect(16, 124, 330, 26), this);
    Command3 = MakeButton(QStringLiteral("Command3"), QStringLiteral("&Browse..."), QRect(356, 123, 100, 28), this);

    Label4 = MakeLabel(QStringLiteral("Label4"), QStringLiteral("Destination directory:"), QRect(16, 158, 300, 18),
                       this);
    Combo2 = MakeFolderBox(QStringLiteral("Combo2"), QRect(16, 178, 330, 26), this);
    Command4 = MakeButton(QStringLiteral("Command4"), QStringLiteral("B&rowse..."), QRect(356, 177, 100, 28), this);

    Check1 = new QCheckBox(QStringLiteral("Include subdirectories"), this);
    Check1->setObjectName(QStringLiteral("Check1"));
    Check1->setGeometry(16, 218, 300, 22);
    Check1->setChecked(true);

    Command1 = MakeButton(QStringLiteral("Command1"), QStringLiteral("&Compare"), QRect(246, 273, 100, 30), this);
    Command1->setDefault(true);
    Command2 = MakeButton(QStringLiteral("Command2"), QStringLiteral("C&lose"), QRect(356, 273, 100, 30), this);

    // Enter compares whichever control has the focus: some desktops' themes
    // would otherwise let it open the Projects list or press the focused
    // button. An open drop-down list is a window of its own and keeps Enter.
    auto* enter = new QShortcut(this);
    enter->setKeys({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter),
                    QKeySequence(Qt::KeypadModifier | Qt::Key_Enter)});
    enter->setContext(Qt::WindowShortcut);
    connect(enter, &QShortcut::activated, this, [this] {
        if (Command1->isEnabled() && Command1->isVisible())
            Command1->click();
    });

    // Folders dropped from a file manager: the dialog takes them, not the
    // text boxes, which would insert the addresses as text.
    setAcceptDrops(true);
    for (QComboBox* box : {Combo1, Combo2})
        box->lineEdit()->setAcceptDrops(false);

    connect(Combo3, &QComboBox::activated, this, &FormGuide::Combo3Chosen);
    connect(Command5, &QPushButton::clicked, this, &FormGuide::projectsRequested);
    connect(Command3, &QPushButton::clicked, this,
            [this] { Browse(Combo1, QStringLiteral("Please select the source directory")); });
    connect(Command4, &QPushButton::clicked, this,
            [this] { Browse(Combo2, QStringLiteral("Please select the destination directory")); });
    connect(Command1, &QPushButton::clicked, this, &FormGuide::Command1Click);
    connect(Command2, &QPushButton::clicked, this, &FormGuide::Command2Click);

    // Opening.
    m_app.runFlag.Set(false);
    QString source = !m_app.sourceRoot.isEmpty() ? m_app.sourceRoot : ReadRegistryValue(QStringLiteral("SourceDir"));
    QString destination =
        !m_app.destinationRoot.isEmpty() ? m_app.destinationRoot : ReadRegistryValue(QStringLiteral("TargetDir"));
    if (!m_app.givenSource.isEmpty())
        source = std::exchange(m_app.givenSource, QString());
    if (!m_app.givenDestination.isEmpty())
        destination = std::exchange(m_app.givenDestination, QString());
    for (int slot = 0; slot < settings::kRecentSlots; ++slot) {
        if (!m_app.settings.recentSources[slot].empty())
            Combo1->addItem(ToQ(m_app.settings.recentSources[slot]));
        if (!m_app.settings.recentDestinations[slot].empty())
            Combo2->addItem(ToQ(m_app.settings.recentDestinations[slot]));
    }
    // Filling the lists selects their first entry; the boxes show the folders above.
    Combo1->setEditText(source);
    Combo2->setEditText(destination);
    FillProjectList();
}

void FormGuide::FillProjectList()
{
    Combo3->clear();
    const auto& projects = m_app.settings.projectList;
    for (std::size_t i = 0; i < projects.size(); ++i) {
        const std::string& line = projects[i];
        const auto bar = line.find('|');
        if (bar == std::string::npos)
            continue;
        // The entry carries its place in the project list, so that a line
        // without a name never shifts the choice onto the wrong project.
        Combo3->addItem(ToQ(line.substr(0, bar)), static_cast<qulonglong>(i));
    }
    Combo3->setCurrentIndex(-1);
}

void FormGuide::Combo3Chosen(int index)
{
    if (index < 0)
        return;
    bool ok = false;
    const qulonglong position = Combo3->itemData(index).toULongLong(&ok);
    if (!ok || position >= m_app.settings.projectList.size())
        return;
    const auto record = settings::ParseProject(m_app.settings.projectList[position]);
    if (!record)
        return;
    Combo1->setEditText(ToQ(record->source));
    Combo2->setEditText(ToQ(record->destination));
    m_chosenProject = static_cast<long long>(position);
}

std::string FormGuide::ProjectPatternFile(const QString& source, const QString& destination) const
{
    const engine::PathRules rules = engine::PathRules::Native();
    // One trailing separator makes no difference: a compared folder gets one.
    const auto same = [&rules](const std::string& folder, const QString& compared) {
        const std::string a = rules.WithTrailingSeparator(FromQ(QDir::toNativeSeparators(TrimBlanks(ToQ(folder)))));
        return a == rules.WithTrailingSeparator(FromQ(compared));
    };
    const auto& projects = m_app.settings.projectList;
    std::vector<std::size_t> order;
    if (m_chosenProject >= 0 && static_cast<std::size_t>(m_chosenProject) < projects.size())
        order.push_back(static_cast<std::size_t>(m_chosenProject));
    for (std::size_t i = 0; i < projects.size(); ++i)
        order.push_back(i);
    for (const std::size_t i : order) {
        const auto record = settings::ParseProject(projects[i]);
        if (record && same(record->source, source) && same(record->destination, destination)) {
            const ProjectPatternFiles files = ReadProjectPatternFiles();
            const auto it = files.find(record->name);
            return it == files.end() ? std::string() : it->second;
        }
    }
    return {};
}

void FormGuide::Browse(QComboBox* box, const QString& title)
{
    const engine::PathRules rules = engine::PathRules::Native();
    QString start = QDir::toNativeSeparators(box->currentText());
    // A root keeps its separator; any longer folder loses one trailing separator.
    if (start.endsWith(QLatin1Char(rules.separator)) && static_cast<std::size_t>(start.size()) > rules.rootLength)
        start.chop(1);

    const QString chosen = BrowseForReadableFolder(m_dialogs, this, title, start);
    if (!chosen.isEmpty())
        box->setEditText(chosen);
}

void FormGuide::Command1Click()
{
    // The folders tested are exactly the ones that will be compared, written
    // the system's way, as the lists and messages show them.
    const QString source = QDir::toNativeSeparators(TrimBlanks(Combo1->currentText()));
    const QString destination = QDir::toNativeSeparators(TrimBlanks(Combo2->currentText()));
    if (source.isEmpty()) {
        m_dialogs.Message(this, QStringLiteral("Please specify source directory"), QString::fromLatin1(kTitle),
                          MessageIcon::Information, MessageButtons::Ok);
        return;
    }
    if (destination.isEmpty()) {
        m_dialogs.Message(this, QStringLiteral("Please specify destination directory"), QString::fromLatin1(kTitle),
                          MessageIcon::Information, MessageButtons::Ok);
        return;
    }
    if (!engine::FolderExists(FromQ(source))) {
        m_dialogs.Message(this, source + QStringLiteral(" is not accessible."), QString::fromLatin1(kTitle),
                          MessageIcon::Critical, MessageButtons::Ok);
        return;
    }
    if (!engine::FolderExists(FromQ(destination))) {
        m_dialogs.Message(this, destination + QStringLiteral(" is not accessible."), QString::fromLatin1(kTitle),
                          MessageIcon::Critical, MessageButtons::Ok);
        return;
    }

    // The file the user named must be read, or nothing is compared.
    engine::PathPatterns patterns;
    if (const std::string file = ProjectPatternFile(source, destination); !file.empty()) {
        if (const platform::FileResult read = engine::AddPatternFile(patterns, file, false); !read.ok()) {
            m_dialogs.Message(this, ToQ(read.error), QString::fromLatin1(kTitle), MessageIcon::Critical,
                              MessageButtons::Ok);
            return;
        }
    }

    m_app.patterns = std::move(patterns);
    m_app.includeSubdirectories = Check1->isChecked();
    m_app.sourceRoot = source;
    m_app.destinationRoot = destination;
    m_app.runFlag.Set(true);
    RememberRecentFolders();
    accept();
}

void FormGuide::RememberRecentFolders()
{
    const char separator = engine::PathRules::Native().separator;
    settings::RememberRecentFolder(m_app.settings.recentSources, FromQ(m_app.sourceRoot), separator);
    settings::RememberRecentFolder(m_app.settings.recentDestinations, FromQ(m_app.destinationRoot), separator);
    // A settings file that cannot be written leaves the comparison to go on.
    (void)settings::WriteSettings(FromQ(m_app.settingsPath), m_app.settings);
}

void FormGuide::Command2Click()
{
    m_app.runFlag.Set(false);
    reject();
}

QComboBox* FormGuide::BoxAt(const QPoint& pos) const
{
    for (QComboBox* box : {Combo1, Combo2})
        if (box->geometry().contains(pos))
            return box;
    return nullptr;
}

bool FormGuide::TakesDrop(const QStringList& folders, const QPoint& pos) const
{
    return folders.size() == 2 || (folders.size() == 1 && BoxAt(pos));
}

void FormGuide::TakeFolders(const QStringList& folders, QWidget* target)
{
    if (folders.size() == 2) {
        Combo1->setEditText(folders[0]);
        Combo2->setEditText(folders[1]);
    } else if (folders.size() == 1 && (target == Combo1 || target == Combo2)) {
        static_cast<QComboBox*>(target)->setEditText(folders[0]);
    }
}

void FormGuide::dragEnterEvent(QDragEnterEvent* event)
{
    // Accepted as long as the drag holds folders; where one folder may land
    // is decided as it moves.
    if (DroppedFolders(event->mimeData()).isEmpty())
        event->ignore();
    else
        event->acceptProposedAction();
}

void FormGuide::dragMoveEvent(QDragMoveEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (TakesDrop(DroppedFolders(event->mimeData()), pos))
        event->acceptProposedAction();
    else
        event->ignore();
}

void FormGuide::dropEvent(QDropEvent* event)
{
    const QPoint pos = event->position().toPoint();
    const QStringList folders = DroppedFolders(event->mimeData());
    if (!TakesDrop(folders, pos)) {
        event->ignore();
        return;
    }
    TakeFolders(folders, BoxAt(pos));
    event->acceptProposedAction();
}

void FormGuide::done(int result)
{
    QDialog::done(result);
    if (QWidget* owner = parentWidget(); owner && !owner->isVisible())
        owner->show();
}

} // namespace tandrel::gui
