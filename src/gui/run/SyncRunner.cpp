#include "gui/run/SyncRunner.h"

#include "gui/app/Askpass.h"
#include "gui/app/Registry.h"
#include "gui/app/SystemWords.h"
#include "gui/dialogs/Dialogs.h"
#include "gui/run/EventPump.h"
#include "gui/run/FinishSound.h"
#include "gui/run/FormStauts.h"

#include <QCoreApplication>
#include <QWidget>

#include <chrono>

namespace tandrel::gui {

namespace {

const QString kTitle = QStringLiteral("Tandrel");

// Connects a running copy or delete to the windows: events run before every
// row, unthrottled, so that an uncheck or Cancel acts at the next row; between
// the steps of a large file they run throttled as during a comparison, so
// that the window repaints and Cancel can abandon the file. The status window
// follows the rows, the lists repaint the rows that changed, and with
// IgnoreError off a failure is shown.
// The counter in the caption changes at every row. The path is shown at most
// once per event interval: laying out and painting a new path for every row
// of a fast run cost many times the work itself, and no one can read paths
// that change faster. A path held back is shown at the next row's event pass
// once the interval is over, and always before a large file's steps.
class SyncEvents : public sync::SyncObserver {
public:
    SyncEvents(Dialogs& dialogs, ResultView& view, QWidget* mainWindow, const QPointer<FormStauts>& status,
               const engine::RunFlag& runFlag)
        : m_dialogs(dialogs), m_view(view), m_mainWindow(mainWindow), m_status(status), m_runFlag(runFlag)
    {
    }

    void PumpEvents() override
    {
        ShowPathWhenDue();
        m_rowPump.PassNow();
    }

    bool FileCopyStep(std::uint64_t, std::uint64_t) override
    {
        ShowPath();
        m_stepPump.Pass();
        return m_runFlag.IsSet();
    }

    void RowStarted(std::size_t started, std::size_t total, const std::string& path) override
    {
        if (!m_status)
            return;
        m_status->SetCaption(QStringLiteral("%1 of %2").arg(started).arg(total));
        m_path = ToQ(path);
        m_pathWaiting = true;
        ShowPathWhenDue();
    }

    void RowChanged(engine::ResultCategory category, std::size_t row) override
    {
        m_view.RowsChanged(engine::Index(category), static_cast<int>(row), static_cast<int>(row));
    }

    void RowFailed(engine::ResultCategory category, std::size_t row, const std::string&) override
    {
        m_view.RowsChanged(engine::Index(category), static_cast<int>(row), static_cast<int>(row));
    }

    void ShowFailure(const std::string& text) override
    {
        // Owned by the status window, so that the window stays in front with it.
        QWidget* owner = m_status ? static_cast<QWidget*>(m_status.data()) : m_mainWindow;
        m_dialogs.Message(owner, ToQ(text), kTitle, MessageIcon::Critical, MessageButtons::Ok);
    }

private:
    void ShowPathWhenDue()
    {
        if (m_pathWaiting && std::chrono::steady_clock::now() - m_pathShown >= EventPump::Interval())
            ShowPath();
    }

    void ShowPath()
    {
        if (!m_pathWaiting)
            return;
        m_pathWaiting = false;
        m_pathShown = std::chrono::steady_clock::now();
        if (m_status)
            m_status->SetCurrent(m_path);
    }

    Dialogs& m_dialogs;
    ResultView& m_view;
    QWidget* m_mainWindow;
    const QPointer<FormStauts>& m_status;
    const engine::RunFlag& m_runFlag;
    EventPump m_rowPump;
    EventPump m_stepPump;
    QString m_path;
    bool m_pathWaiting = false;
    std::chrono::steady_clock::time_point m_pathShown{};
};

engine::ResultCategory CategoryOf(int tab)
{
    return static_cast<engine::ResultCategory>(tab >= 1 && tab <= engine::kCategoryCount ? tab : 1);
}

} // namespace

SyncRunner::SyncRunner(AppState& app, Dialogs& dialogs, ResultView& view, QWidget* mainWindow)
    : m_app(app), m_dialogs(dialogs), m_view(view), m_mainWindow(mainWindow)
{
    platform::remote::ConnectOptions options;
    options.environment = AskpassEnvironment(QCoreApplication::applicationFilePath());
    m_remoteSides.SetOptions(std::move(options));
}

FormStauts* SyncRunner::StatusWindow() const { return m_status && !m_status->IsClosed() ? m_status.data() : nullptr; }

void SyncRunner::CopyCheckedRows(sync::CopyDirection direction)
{
    const engine::ResultCategory category = CategoryOf(m_app.currentTab);
    // The buttons keep a direction off the lists it does not suit; a call
    // that gets here anyway does nothing.
    if (m_running || m_app.store.Count(category) == 0 || !sync::DirectionOffered(category, direction))
        return;
    const QString question =
        QStringLiteral("Are you sure you want to copy selected files and directories\n") +
        (direction == sync::CopyDirection::SourceToDestination ? QStringLiteral("from Source to Destination?")
                                                               : QStringLiteral("from Destination to Source?"));
    if (!Ask(question))
        return;

    m_running = true;
    m_view.DisableResultCommands();
    OpenStatusWindow();
    SyncEvents events(m_dialogs, m_view, m_mainWindow, m_status, m_app.runFlag);
    // Read at each copy, as the trash choice is at each delete.
    sync::CopyChoices choices;
    choices.keepReplaced = ReadKeepReplacedChoice();
    sync::CopyCheckedRows(m_app.store, category, direction, m_app.settings.options, m_app.runFlag,
                          m_app.progressFraction, events, nullptr, choices, &m_remoteSides);
    PurgeProcessedRows();
}

void SyncRunner::DeleteCheckedRows()
{
    const engine::ResultCategory category = CategoryOf(m_app.currentTab);
    if (m_running || m_app.store.Count(category) == 0)
        return;
    // Read at each delete, so that the choice made in the options holds at once.
    const bool toTrash = ReadTrashChoice();
    if (!Ask(toTrash ? TrashQuestion() : QStringLiteral("Are you sure you want to delete selected files and directories?")))
        return;
    if (!ConfirmEmptySideDelete(category))
        return;

    m_running = true;
    m_view.DisableResultCommands();
    OpenStatusWindow();
    SyncEvents events(m_dialogs, m_view, m_mainWindow, m_status, m_app.runFlag);
    sync::DeleteCheckedRows(m_app.store, category, m_app.settings.options, m_app.runFlag, m_app.progressFraction,
                            events, toTrash ? sync::DeleteTarget::Trash : sync::DeleteTarget::Remove,
                            &m_remoteSides);
    PurgeProcessedRows();
}

bool SyncRunner::ConfirmEmptySideDelete(engine::ResultCategory category)
{
    const engine::EmptyRoot empty = m_app.store.EmptyRootFound();
    if (empty == engine::EmptyRoot::None || category != engine::ListOfEmptyRoot(empty))
        return true;
    std::size_t checked = 0;
    for (const engine::CompareItem& row : m_app.store.List(category))
        checked += row.checked ? 1 : 0;
    if (checked == 0)
        return true;
    const QString side = empty == engine::EmptyRoot::Source ? QStringLiteral("source") : QStringLiteral("destination");
    return Ask(QStringLiteral("The %1 folder was empty when it was compared; it may be a drive or share that is not "
                              "mounted.\nAre you sure you want to delete all %2 checked items of the other side?")
                   .arg(side)
                   .arg(checked));
}

bool SyncRunner::Ask(const QString& question)
{
    return m_dialogs.Message(m_mainWindow, question, kTitle, MessageIcon::Question, MessageButtons::YesNo) ==
           MessageReply::Yes;
}

void SyncRunner::OpenStatusWindow()
{
    m_app.runFlag.Set(true);
    m_status = new FormStauts(m_app, m_mainWindow);
    m_status->show();
}

void SyncRunner::PurgeProcessedRows()
{
    m_view.RemoveProcessedRowsOfCurrentTab();
    m_view.UpdateTabCaption(m_app.currentTab);
    if (m_status && !m_status->IsClosed())
        m_status->close();
    m_status.clear();
    m_view.EnableResultCommands();
    m_running = false;
    PlayFinishSound(m_app);
}

} // namespace tandrel::gui
