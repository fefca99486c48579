#include "gui/run/ComparisonRun.h"

#include "gui/dialogs/Dialogs.h"
#include "gui/run/EventPump.h"
#include "gui/run/FormWait.h"

#include "desktop/Sound.h"
#include "engine/Scanner.h"
#include "engine/TextForms.h"

#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QWidget>

namespace tandrel::gui {

namespace {

// Lets the windows breathe during the walk: the progress window's timer,
// its repaint and its Cancel button are served here.
class ScanEvents : public engine::ScanObserver {
public:
    void EntryProcessed() override { m_pump.Pass(); }
    // Comes at most every few milliseconds already.
    void Waiting() override { m_pump.PassNow(); }

private:
    EventPump m_pump{8};
};

ThemeSoundPlayer g_themeSoundPlayer = &desktop::PlayThemeSound;

// The system's separator (a backslash on Windows, where '/' is taken as well).
QString WithTrailingSlash(const QString& path)
{
    return path.endsWith(QLatin1Char('/')) || path.endsWith(QDir::separator()) ? path : path + QDir::separator();
}

} // namespace

ThemeSoundPlayer SetThemeSoundPlayer(ThemeSoundPlayer player)
{
    const ThemeSoundPlayer previous = g_themeSoundPlayer;
    g_themeSoundPlayer = player ? player : &desktop::PlayThemeSound;
    return previous;
}

FormWait* ProgressWindow(QWidget* mainWindow)
{
    if (!mainWindow)
        return nullptr;
    for (FormWait* form : mainWindow->findChildren<FormWait*>(Qt::FindDirectChildrenOnly))
        if (form->isVisible())
            return form;
    return nullptr;
}

void CloseProgressWindow(QWidget* mainWindow)
{
    if (FormWait* form = ProgressWindow(mainWindow))
        form->close();
}

QString UnreadableFoldersText(const engine::ResultStore& store, int shown)
{
    const auto& folders = store.UnreadableFolders();
    QString text = QStringLiteral("These folders could not be read, so nothing inside them was listed as missing:\n");
    const int count = static_cast<int>(folders.size());
    for (int i = 0; i < count && i < shown; ++i) {
        const engine::UnreadableFolder& folder = folders[static_cast<std::size_t>(i)];
        text += QStringLiteral("\n%1 (%2)").arg(ToQ(folder.path), ToQ(folder.reason));
        if (folder.searchable)
            text += QStringLiteral(": ") + ToQ(engine::kSearchedNameByName);
    }
    if (count > shown)
        text += QStringLiteral("\n... and %1 more").arg(count - shown);
    return text;
}

void RunComparison(AppState& app, ResultView& view, QWidget* mainWindow, Dialogs* dialogs)
{
    if (mainWindow)
        for (FormWait* old : mainWindow->findChildren<FormWait*>(Qt::FindDirectChildrenOnly))
            old->Discard();

    app.sourceRoot = WithTrailingSlash(app.sourceRoot);
    app.destinationRoot = WithTrailingSlash(app.destinationRoot);
    view.SetRootLabels(app.sourceRoot, app.destinationRoot);

    view.BeginStoreReset();
    app.store.Reset(FromQ(app.sourceRoot), FromQ(app.destinationRoot), engine::LocalOffsetNow());

    view.SetBusyCursor(true);
    app.runFlag.Set(true);
    if (mainWindow)
        mainWindow->hide();

    QPointer<FormWait> wait = new FormWait(app, mainWindow);
    wait->show();
    wait->SetTaskbarState(desktop::TaskbarProgress::State::Indeterminate);
    wait->Label1->setText(QStringLiteral("Comparing, please wait..."));

    view.DisableResultCommands();
    view.SetTabStripEnabled(true);
    QCoreApplication::processEvents();

    ScanEvents events;
    engine::ScanContext context;
    context.sourceRoot = FromQ(app.sourceRoot);
    context.destinationRoot = FromQ(app.destinationRoot);
    context.includeSubdirectories = app.includeSubdirectories;
    context.options = &app.settings.options;
    context.ignoredTypes = &app.settings.ignoredTypes;
    context.runFlag = &app.runFlag;
    context.store = &app.store;
    context.observer = &events;
    context.patterns = app.patterns.Empty() ? nullptr : &app.patterns;
    engine::RunScan(context);

    view.SetBusyCursor(false);
    // Checking before the lists take the rows back spares a notification per list.
    app.store.SetAllChecked(true);
    view.EndStoreReset();
    view.UpdateTabCaptions();
    view.LayoutResultArea();

    if (app.runFlag.IsSet()) {
        if (wait && wait->isVisible())
            wait->ShowCompleted();
        app.runFlag.Set(false);
    }
    view.EnableResultCommands();

    if (wait && wait->isVisible()) {
        wait->SetTaskbarState(desktop::TaskbarProgress::State::None);
        wait->SetFinishedMark();
    } else {
        // Cancelled: the window is gone, but its taskbar entry still shows the run.
        desktop::TaskbarProgress().SetState(desktop::TaskbarProgress::State::None);
    }

    if (app.settings.options.PlaySound && !app.ending)
        g_themeSoundPlayer("dialog-warning");

    // An empty side is told whatever IgnoreError says: it is where a delete would cost the most.
    if (dialogs && !app.ending && app.store.EmptyRootFound() != engine::EmptyRoot::None)
        dialogs->Message(wait && wait->isVisible() ? static_cast<QWidget*>(wait) : mainWindow,
                         ToQ(engine::EmptyRootText(app.store.EmptyRootFound(), FromQ(app.sourceRoot),
                                                   FromQ(app.destinationRoot))),
                         QStringLiteral("Empty folder"), MessageIcon::Warning, MessageButtons::Ok);
    if (dialogs && !app.ending && !app.settings.options.IgnoreError && !app.store.UnreadableFolders().empty())
        dialogs->Message(wait && wait->isVisible() ? static_cast<QWidget*>(wait) : mainWindow,
                         UnreadableFoldersText(app.store), QStringLiteral("Folders not read"), MessageIcon::Warning,
                         MessageButtons::Ok);
}

} // namespace tandrel::gui
