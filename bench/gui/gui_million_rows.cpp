// The main window with a million result rows in one list: how long the lists
// take to come back after a scan (model reset and first paint), how long the
// check commands and a purge take, and the peak memory of the process.
//
//   gui_million_rows [ROWS]      (offscreen unless QT_QPA_PLATFORM says otherwise)

#include "gui/AppSetup.h"
#include "gui/Form1.h"

#include "engine/TextForms.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTreeView>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace tandrel;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point from)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

long PeakRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Paints the window once, as the screen would, and waits for it.
void Paint(QWidget& window)
{
    QCoreApplication::processEvents();
    (void)window.grab();
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::size_t rows = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;

    QTemporaryDir folder;
    gui::AppState state;
    gui::PrepareAppState(state, folder.path());
    gui::QtDialogs dialogs;
    gui::Form1 form(state, dialogs);
    form.resize(1280, 800);
    form.show();
    Paint(form);
    const long rssEmpty = PeakRssKiB();

    // The scan's part: rows appended between the two reset brackets.
    const auto category = engine::ResultCategory::NotInDestination;
    auto t = Clock::now();
    form.BeginStoreReset();
    state.store.Reset("/home/user/Projects/source/", "/media/backup/Projects/destination/", engine::LocalOffsetNow());
    for (std::size_t i = 0; i < rows; ++i) {
        engine::CompareItem item;
        item.relativePath = "folder" + std::to_string(i / 10000) + "/sub" + std::to_string((i / 100) % 100) + "/file"
            + std::to_string(i) + ".dat";
        item.size = static_cast<std::int64_t>(i * 37 % 1000003);
        item.modified = 1700000000 + static_cast<std::int64_t>(i);
        item.icon = engine::RowIcon::File;
        state.store.AddResultRow(category, std::move(item));
    }
    state.store.SetAllChecked(true);
    const double fillMs = Ms(t);

    // End of scan to lists shown: the reset, captions, layout and first paint.
    t = Clock::now();
    form.EndStoreReset();
    form.UpdateTabCaptions();
    form.LayoutResultArea();
    form.TabStrip1->setCurrentIndex(2);
    Paint(form);
    const double shownMs = Ms(t);

    QTreeView* view = form.ListView1[3];
    t = Clock::now();
    view->scrollToBottom();
    Paint(form);
    const double scrollMs = Ms(t);

    t = Clock::now();
    form.Execute(gui::CommandId::ID_UNCHECKALL);
    const double uncheckMs = Ms(t);
    t = Clock::now();
    form.Execute(gui::CommandId::ID_CHECKALL);
    Paint(form);
    const double checkAllMs = Ms(t);

    // Every other block of 500 rows selected: 1,000 selection ranges.
    QItemSelection selection;
    for (int r = 0; r + 499 < static_cast<int>(rows); r += 1000)
        selection.append(QItemSelectionRange(view->model()->index(r, 0), view->model()->index(r + 499, 0)));
    view->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    t = Clock::now();
    form.Execute(gui::CommandId::ID_UNCHECKSELECTEDITEMS);
    Paint(form);
    const double uncheckSelectedMs = Ms(t);

    // A purge of half the rows.
    for (std::size_t i = 0; i < rows; i += 2)
        state.store.Row(category, i).SetTag("d");
    state.currentTab = 3;
    t = Clock::now();
    form.RemoveProcessedRows();
    form.UpdateTabCaption(3);
    Paint(form);
    const double purgeMs = Ms(t);

    std::printf("rows in list 3                       %zu\n", rows);
    std::printf("fill store (not the window's part)   %8.1f ms\n", fillMs);
    std::printf("end of scan to lists shown           %8.1f ms\n", shownMs);
    std::printf("scroll to the last row and paint     %8.1f ms\n", scrollMs);
    std::printf("Un-Check All (no paint)              %8.1f ms\n", uncheckMs);
    std::printf("Check All and paint                  %8.1f ms\n", checkAllMs);
    std::printf("Un-check selected (1k ranges)        %8.1f ms\n", uncheckSelectedMs);
    std::printf("purge of every other row and paint   %8.1f ms  (%d rows left)\n", purgeMs,
                view->model()->rowCount());
    std::printf("peak RSS: empty window %ld MiB, with the rows %ld MiB\n", rssEmpty / 1024, PeakRssKiB() / 1024);
    return 0;
}
