// What the event pass before every row of a copy or delete costs: N small
// files (default 20,000, 1 KiB each, 100 to a folder) are copied into an
// empty destination and then deleted there, once through the window's runner
// (status window open, events running before every row and every counting
// step) and once through the bare operation with no event pass at all. Each
// way runs RUNS times (default 3), alternating; the medians are printed.
//
//   gui_sync_rows [FILES] [RUNS] [FOLDER]
//
// FOLDER defaults to /dev/shm, where the flush at the end of a copy run costs
// nothing, so that the figures show the event passes and not the disk.
// Runs offscreen unless QT_QPA_PLATFORM says otherwise. Build it in Release:
//   cmake -S . -B build-rel -G Ninja -DCMAKE_BUILD_TYPE=Release
//   ninja -C build-rel gui_sync_rows && build-rel/bench/gui/gui_sync_rows

#include "gui/AppState.h"
#include "gui/Dialogs.h"
#include "gui/ResultView.h"
#include "gui/SyncRunner.h"

#include "sync/SyncOperations.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace tandrel;
using Clock = std::chrono::steady_clock;

namespace {

class AlwaysYes : public gui::Dialogs {
public:
    gui::MessageReply Message(QWidget*, const QString&, const QString&, gui::MessageIcon,
                              gui::MessageButtons) override
    {
        return gui::MessageReply::Yes;
    }
    QString ChooseFolder(QWidget*, const QString&, const QString&) override { return {}; }
    QString ChooseSaveFile(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
};

// The main window's part, reduced to removing the processed rows.
class PlainView : public gui::ResultView {
public:
    explicit PlainView(gui::AppState& app) : m_app(app) {}
    void SetRootLabels(const QString&, const QString&) override {}
    void BeginStoreReset() override {}
    void EndStoreReset() override {}
    void RowsChanged(int, int, int) override {}
    void UpdateTabCaptions() override {}
    void UpdateTabCaption(int) override {}
    void LayoutResultArea() override {}
    void DisableResultCommands() override {}
    void EnableResultCommands() override {}
    void SetTabStripEnabled(bool) override {}
    void RemoveProcessedRows() override
    {
        m_app.store.RemoveProcessedRows(static_cast<engine::ResultCategory>(m_app.currentTab));
    }
    void SetBusyCursor(bool) override {}

private:
    gui::AppState& m_app;
};

std::string Relative(std::size_t i)
{
    char name[48];
    std::snprintf(name, sizeof name, "d%04zu/file%06zu.dat", i / 100, i);
    return name;
}

void FillList(engine::ResultStore& store, engine::ResultCategory category, std::size_t files)
{
    store.List(category).clear();
    for (std::size_t i = 0; i < files; ++i) {
        engine::CompareItem item;
        item.relativePath = Relative(i);
        item.checked = true;
        store.AddResultRow(category, std::move(item));
    }
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Seconds(Clock::time_point from)
{
    return std::chrono::duration<double>(Clock::now() - from).count();
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const std::size_t files = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 20000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    const QString base = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QStringLiteral("/dev/shm");
    QTemporaryDir work(base + QStringLiteral("/tandrel-syncrows-XXXXXX"));
    if (!work.isValid() || files == 0 || runs < 1) {
        std::fprintf(stderr, "gui_sync_rows: no work folder in %s\n", qPrintable(base));
        return 2;
    }
    const std::string root = gui::FromQ(work.path()) + "/";
    const std::string block(1024, 'x');
    for (std::size_t i = 0; i < files; ++i) {
        const std::filesystem::path path = root + "src/" + Relative(i);
        if (i % 100 == 0)
            std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << block;
    }

    gui::AppState app;
    app.settings.options = settings::CompareOptions::Defaults();
    app.settings.options.PlaySound = false;
    app.store.Reset(root + "src/", root + "dst/", 0);
    AlwaysYes dialogs;
    PlainView view(app);
    QWidget mainWindow;
    mainWindow.show();
    gui::SyncRunner runner(app, dialogs, view, &mainWindow);
    sync::SyncObserver silent;
    constexpr auto kCopyList = engine::ResultCategory::NotInDestination;
    constexpr auto kDeleteList = engine::ResultCategory::NotInSource;

    std::vector<double> bareCopy, bareDelete, windowCopy, windowDelete;
    for (int run = 0; run < runs; ++run) {
        for (const bool window : {false, true}) {
            std::filesystem::remove_all(root + "dst");
            std::filesystem::create_directory(root + "dst");
            FillList(app.store, kCopyList, files);
            app.currentTab = engine::Index(kCopyList);
            auto start = Clock::now();
            if (window)
                runner.CopyCheckedRows(sync::CopyDirection::SourceToDestination);
            else
                sync::CopyCheckedRows(app.store, kCopyList, sync::CopyDirection::SourceToDestination,
                                      app.settings.options, app.runFlag, app.progressFraction, silent);
            (window ? windowCopy : bareCopy).push_back(Seconds(start));

            FillList(app.store, kDeleteList, files);
            app.currentTab = engine::Index(kDeleteList);
            start = Clock::now();
            if (window)
                runner.DeleteCheckedRows();
            else
                sync::DeleteCheckedRows(app.store, kDeleteList, app.settings.options, app.runFlag,
                                        app.progressFraction, silent);
            (window ? windowDelete : bareDelete).push_back(Seconds(start));
            if (!window) {
                app.store.RemoveProcessedRows(kCopyList);
                app.store.RemoveProcessedRows(kDeleteList);
            }
            if (app.store.Count(kCopyList) != 0 || app.store.Count(kDeleteList) != 0) {
                std::fprintf(stderr, "gui_sync_rows: some rows were not done\n");
                return 1;
            }
        }
    }

    std::printf("%zu files of 1 KiB in %s, median of %d runs\n", files, qPrintable(base), runs);
    auto line = [files](const char* what, double bare, double window) {
        std::printf("  %-6s  no event pass %7.3f s   event pass per row %7.3f s   cost %+7.3f s  (%+.1f us a row)\n",
                    what, bare, window, window - bare, (window - bare) * 1e6 / static_cast<double>(files));
    };
    line("copy", Median(bareCopy), Median(windowCopy));
    line("delete", Median(bareDelete), Median(windowDelete));
    return 0;
}
