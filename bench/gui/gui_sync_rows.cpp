// What the event pass before every row of a copy or delete costs: N small
// files (default 20,000, 1 KiB each, 100 to a folder) are copied into an
// empty destination and then deleted there in three ways: through the bare
// operation with no event pass at all; through the bare operation letting
// events run at every pump but with no window changing; and through the
// window's runner (status window open and following every row, events
// running before every row and every counting step). Each way runs RUNS times
// (default 3), in turn; the medians of wall-clock and processor time are
// printed (on a shared machine the processor time is the steadier figure).
//
//   gui_sync_rows [FILES] [RUNS] [FOLDER]
//
// FOLDER defaults to /dev/shm, where the flush at the end of a copy run costs
// nothing, so that the figures show the event passes and not the disk.
// Runs offscreen unless QT_QPA_PLATFORM says otherwise. Build it in Release:
//   cmake -S . -B build-rel -G Ninja -DCMAKE_BUILD_TYPE=Release
//   ninja -C build-rel gui_sync_rows && build-rel/bench/gui/gui_sync_rows

#include "gui/app/AppState.h"
#include "gui/dialogs/Dialogs.h"
#include "gui/mainwindow/ResultView.h"
#include "gui/run/SyncRunner.h"

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
#include <time.h>
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
    QString ChooseOpenFile(QWidget*, const QString&, const QString&) override { return {}; }
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
    void RemoveProcessedRowsOfCurrentTab() override
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

// Lets events run at every pump, with nothing on screen following the rows.
class EventsOnly : public sync::SyncObserver {
public:
    void PumpEvents() override { QCoreApplication::processEvents(); }
};

enum class Way { Bare, EventsOnly, Window };

struct Time {
    double wall = 0;
    double cpu = 0;
};

double CpuNow()
{
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

class Stopwatch {
public:
    Time Stop() const
    {
        return {std::chrono::duration<double>(Clock::now() - m_wall).count(), CpuNow() - m_cpu};
    }

private:
    Clock::time_point m_wall = Clock::now();
    double m_cpu = CpuNow();
};

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
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
    EventsOnly eventsOnly;
    constexpr auto kCopyList = engine::ResultCategory::NotInDestination;
    constexpr auto kDeleteList = engine::ResultCategory::NotInSource;
    const Way ways[] = {Way::Bare, Way::EventsOnly, Way::Window};
    std::vector<Time> copies[3], deletes[3];

    for (int run = 0; run < runs; ++run) {
        for (int w = 0; w < 3; ++w) {
            const Way way = ways[w];
            sync::SyncObserver& observer = way == Way::Bare ? silent : eventsOnly;
            std::filesystem::remove_all(root + "dst");
            std::filesystem::create_directory(root + "dst");
            FillList(app.store, kCopyList, files);
            app.currentTab = engine::Index(kCopyList);
            Stopwatch copyWatch;
            if (way == Way::Window)
                runner.CopyCheckedRows(sync::CopyDirection::SourceToDestination);
            else
                sync::CopyCheckedRows(app.store, kCopyList, sync::CopyDirection::SourceToDestination,
                                      app.settings.options, app.runFlag, app.progressFraction, observer);
            copies[w].push_back(copyWatch.Stop());

            FillList(app.store, kDeleteList, files);
            app.currentTab = engine::Index(kDeleteList);
            Stopwatch deleteWatch;
            if (way == Way::Window)
                runner.DeleteCheckedRows();
            else
                sync::DeleteCheckedRows(app.store, kDeleteList, app.settings.options, app.runFlag,
                                        app.progressFraction, observer);
            deletes[w].push_back(deleteWatch.Stop());
            if (way != Way::Window) {
                app.store.RemoveProcessedRows(kCopyList);
                app.store.RemoveProcessedRows(kDeleteList);
            }
            if (app.store.Count(kCopyList) != 0 || app.store.Count(kDeleteList) != 0) {
                std::fprintf(stderr, "gui_sync_rows: some rows were not done\n");
                return 1;
            }
        }
    }

    std::printf("%zu files of 1 KiB in %s, median of %d runs (wall-clock / processor seconds)\n", files,
                qPrintable(base), runs);
    const char* names[] = {"no event pass", "events at every pump", "window runner"};
    auto report = [&](const char* what, const std::vector<Time>* times) {
        std::printf("  %s\n", what);
        double bareCpu = 0;
        for (int w = 0; w < 3; ++w) {
            std::vector<double> wall, cpu;
            for (const Time& t : times[w]) {
                wall.push_back(t.wall);
                cpu.push_back(t.cpu);
            }
            const double c = Median(cpu);
            if (w == 0)
                bareCpu = c;
            std::printf("    %-22s %7.3f s / %7.3f s   processor cost over none %+7.1f us a row\n", names[w],
                        Median(wall), c, (c - bareCpu) * 1e6 / static_cast<double>(files));
        }
    };
    report("copy", copies);
    report("delete", deletes);
    return 0;
}
