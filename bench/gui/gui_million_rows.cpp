// The main window with a million result rows in one list: how long a real
// comparison of that size takes, how long the lists take to come back after
// the scan (model reset and first paint), how long the check commands, a tab
// switch, a scroll and a purge take, and the peak memory of the process.
//
//   gui_million_rows [--tree DIR] [--files N] [--folders F]
//   gui_million_rows --synthetic [ROWS]
//
// By default it compares DIR/source-NxF (N empty files spread evenly over F
// folders; default 1,000,000 over 1,000 in /var/tmp/tandrel-gui-bench) with
// the empty folder DIR/destination, through the real main window and its
// progress window, so every file and folder lands in list 3. The tree is
// made on the first run (inodes only, about a minute for a million files)
// and reused afterwards; DIR/source-NxF.complete marks a finished tree.
// Delete DIR to reclaim the inodes.
//
// --synthetic fills the store directly with ROWS rows (default 1,000,000)
// instead of scanning, which isolates the window's part.
//
// Runs offscreen unless QT_QPA_PLATFORM says otherwise. Build it in Release:
//   cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
//   ninja -C build gui_million_rows && build/bench/gui/gui_million_rows

#include "gui/app/AppSetup.h"
#include "gui/run/ComparisonRun.h"
#include "gui/mainwindow/Form1.h"
#include "gui/run/FormWait.h"

#include "engine/TextForms.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTreeView>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <optional>
#include <string>

using namespace tandrel;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point from, Clock::time_point to = Clock::now())
{
    return std::chrono::duration<double, std::milli>(to - from).count();
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

bool Fail(const std::string& what)
{
    std::fprintf(stderr, "gui_million_rows: %s: %s\n", what.c_str(), std::strerror(errno));
    return false;
}

bool MakeFolder(int base, const std::string& name)
{
    return ::mkdirat(base, name.c_str(), 0755) == 0 || errno == EEXIST || Fail("mkdir " + name);
}

// N empty files over F folders, made relative to open folder descriptors so
// that no path is resolved twice.
bool MakeSourceTree(const std::string& root, std::size_t files, std::size_t folders)
{
    if (!MakeFolder(AT_FDCWD, root))
        return false;
    const int rootFd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd < 0)
        return Fail("open " + root);
    bool ok = true;
    std::size_t next = 0;
    char name[32];
    for (std::size_t f = 0; ok && f < folders; ++f) {
        std::snprintf(name, sizeof name, "folder%04zu", f);
        if (!MakeFolder(rootFd, name)) {
            ok = false;
            break;
        }
        const int folderFd = ::openat(rootFd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folderFd < 0) {
            ok = Fail(std::string("open ") + name);
            break;
        }
        const std::size_t end = files * (f + 1) / folders;
        for (; next < end; ++next) {
            std::snprintf(name, sizeof name, "file%07zu.dat", next);
            const int fd = ::openat(folderFd, name, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            if (fd < 0) {
                ok = Fail(std::string("create ") + name);
                break;
            }
            ::close(fd);
        }
        ::close(folderFd);
    }
    ::close(rootFd);
    return ok;
}

bool FolderIsEmpty(const std::string& path)
{
    DIR* dir = ::opendir(path.c_str());
    if (!dir)
        return false;
    bool empty = true;
    while (const dirent* entry = ::readdir(dir))
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            empty = false;
            break;
        }
    ::closedir(dir);
    return empty;
}

// Makes or reuses DIR/source-NxF and the empty DIR/destination.
bool PrepareTrees(const std::string& dir, std::size_t files, std::size_t folders, std::string& source,
                  std::string& destination)
{
    if (!MakeFolder(AT_FDCWD, dir))
        return false;
    source = dir + "/source-" + std::to_string(files) + "x" + std::to_string(folders);
    destination = dir + "/destination";
    const std::string marker = source + ".complete";
    if (::access(marker.c_str(), F_OK) == 0) {
        std::printf("reusing the source tree %s\n", source.c_str());
    } else {
        std::printf("making %zu empty files in %zu folders under %s ...\n", files, folders, source.c_str());
        std::fflush(stdout);
        const auto t = Clock::now();
        if (!MakeSourceTree(source, files, folders))
            return false;
        const int fd = ::open(marker.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0)
            return Fail("create " + marker);
        ::close(fd);
        std::printf("made the tree in %.1f s\n", Ms(t) / 1000);
    }
    if (!MakeFolder(AT_FDCWD, destination))
        return false;
    if (!FolderIsEmpty(destination)) {
        std::fprintf(stderr, "gui_million_rows: %s must be empty\n", destination.c_str());
        return false;
    }
    return true;
}

// Passes everything on to the main window and notes the moments RunComparison
// reaches: the busy cursor goes off right after the walk, and the list models
// take the rows back in EndStoreReset.
class TimedView : public gui::ResultView {
public:
    explicit TimedView(gui::Form1& form) : m_form(form) {}

    std::optional<Clock::time_point> scanEnd, resetStart, resetEnd;

    void SetRootLabels(const QString& source, const QString& destination) override
    {
        m_form.SetRootLabels(source, destination);
    }
    void BeginStoreReset() override { m_form.BeginStoreReset(); }
    void EndStoreReset() override
    {
        resetStart = Clock::now();
        m_form.EndStoreReset();
        resetEnd = Clock::now();
    }
    void RowsChanged(int category, int firstRow, int lastRow) override
    {
        m_form.RowsChanged(category, firstRow, lastRow);
    }
    void UpdateTabCaptions() override { m_form.UpdateTabCaptions(); }
    void UpdateTabCaption(int category) override { m_form.UpdateTabCaption(category); }
    void LayoutResultArea() override { m_form.LayoutResultArea(); }
    void DisableResultCommands() override { m_form.DisableResultCommands(); }
    void EnableResultCommands() override { m_form.EnableResultCommands(); }
    void SetTabStripEnabled(bool enabled) override { m_form.SetTabStripEnabled(enabled); }
    void RemoveProcessedRowsOfCurrentTab() override { m_form.RemoveProcessedRowsOfCurrentTab(); }
    void SetBusyCursor(bool busy) override
    {
        if (!busy && !scanEnd)
            scanEnd = Clock::now();
        m_form.SetBusyCursor(busy);
    }

private:
    gui::Form1& m_form;
};

void NoSound(const char*) {}

// Fills list 3 directly, as a scan would, and brings the lists back.
double FillSynthetic(gui::AppState& state, gui::Form1& form, std::size_t rows)
{
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
    std::printf("fill store (not the window's part)   %8.1f ms\n", fillMs);

    t = Clock::now();
    form.EndStoreReset();
    form.UpdateTabCaptions();
    form.LayoutResultArea();
    Paint(form);
    std::printf("end of fill to lists shown           %8.1f ms\n", Ms(t));
    return fillMs;
}

// The real run: the main window hides behind the progress window for the
// scan, and its OK button brings the lists back.
bool RunReal(gui::AppState& state, gui::Form1& form, const std::string& source, const std::string& destination)
{
    state.sourceRoot = QString::fromStdString(source);
    state.destinationRoot = QString::fromStdString(destination);
    state.includeSubdirectories = true;
    state.runFlag.Set(true);

    TimedView view(form);
    const auto start = Clock::now();
    gui::RunComparison(state, view, &form);
    const auto returned = Clock::now();
    gui::FormWait* wait = gui::ProgressWindow(&form);
    if (!wait || !view.scanEnd || !view.resetEnd) {
        std::fprintf(stderr, "gui_million_rows: the run did not end with its progress window\n");
        return false;
    }
    wait->Command1->click();
    QCoreApplication::processEvents();
    if (!form.isVisible()) {
        std::fprintf(stderr, "gui_million_rows: OK did not bring the main window back\n");
        return false;
    }
    Paint(form);
    const auto shown = Clock::now();

    std::printf("scan (RunComparison to end of walk)  %8.1f ms\n", Ms(start, *view.scanEnd));
    std::printf("  check marks, before the reset      %8.1f ms\n", Ms(*view.scanEnd, *view.resetStart));
    std::printf("  list models take the rows back     %8.1f ms\n", Ms(*view.resetStart, *view.resetEnd));
    std::printf("  rest of RunComparison              %8.1f ms\n", Ms(*view.resetEnd, returned));
    std::printf("RunComparison in all                 %8.1f ms\n", Ms(start, returned));
    std::printf("OK to main window shown and painted  %8.1f ms\n", Ms(returned, shown));
    std::printf("end of scan to lists shown           %8.1f ms\n", Ms(*view.scanEnd, shown));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    bool synthetic = false;
    std::size_t rows = 1000000, files = 1000000, folders = 1000;
    std::string treeDir = "/var/tmp/tandrel-gui-bench";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--synthetic") {
            synthetic = true;
            if (hasValue && argv[i + 1][0] != '-')
                rows = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--tree" && hasValue) {
            treeDir = argv[++i];
        } else if (arg == "--files" && hasValue) {
            files = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--folders" && hasValue) {
            folders = std::strtoull(argv[++i], nullptr, 10);
        } else {
            std::fprintf(stderr,
                         "usage: gui_million_rows [--tree DIR] [--files N] [--folders F]\n"
                         "       gui_million_rows --synthetic [ROWS]\n");
            return 2;
        }
    }
    if (folders == 0)
        folders = 1;

    std::string source, destination;
    if (!synthetic && !PrepareTrees(treeDir, files, folders, source, destination))
        return 1;

    QTemporaryDir folder;
    gui::AppState state;
    gui::PrepareAppState(state, folder.path());
    state.settings.options.PlaySound = false;
    gui::SetThemeSoundPlayer(&NoSound);
    gui::QtDialogs dialogs;
    gui::Form1 form(state, dialogs);
    form.resize(1280, 800);
    form.show();
    Paint(form);
    const long rssEmpty = PeakRssKiB();

    const auto category = engine::ResultCategory::NotInDestination;
    const int list = engine::Index(category);
    if (synthetic) {
        FillSynthetic(state, form, rows);
    } else if (!RunReal(state, form, source, destination)) {
        return 1;
    }
    rows = state.store.Count(category);
    const long rssRows = PeakRssKiB();

    // Switching to list 3 from list 1.
    form.TabStrip1->setCurrentIndex(0);
    Paint(form);
    auto t = Clock::now();
    form.TabStrip1->setCurrentIndex(list - 1);
    Paint(form);
    const double tabMs = Ms(t);

    QTreeView* view = form.ListView1[list];
    t = Clock::now();
    view->scrollToBottom();
    Paint(form);
    const double scrollMs = Ms(t);

    t = Clock::now();
    form.Execute(gui::CommandId::ID_UNCHECKALL);
    const double uncheckMs = Ms(t);
    Paint(form);
    const double uncheckPaintMs = Ms(t);
    t = Clock::now();
    form.Execute(gui::CommandId::ID_CHECKALL);
    const double checkMs = Ms(t);
    Paint(form);
    const double checkPaintMs = Ms(t);

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
    t = Clock::now();
    form.RemoveProcessedRowsOfCurrentTab();
    form.UpdateTabCaption(list);
    Paint(form);
    const double purgeMs = Ms(t);

    std::printf("rows in list 3                       %zu\n", rows);
    std::printf("switch from list 1 to list 3, paint  %8.1f ms\n", tabMs);
    std::printf("scroll to the last row and paint     %8.1f ms\n", scrollMs);
    std::printf("Un-Check All                         %8.1f ms  (with paint %.1f ms)\n", uncheckMs, uncheckPaintMs);
    std::printf("Check All                            %8.1f ms  (with paint %.1f ms)\n", checkMs, checkPaintMs);
    std::printf("Un-check selected (1k ranges), paint %8.1f ms\n", uncheckSelectedMs);
    std::printf("purge of every other row and paint   %8.1f ms  (%d rows left)\n", purgeMs,
                view->model()->rowCount());
    std::printf("peak RSS: empty window %ld MiB, after the run %ld MiB, at the end %ld MiB\n", rssEmpty / 1024,
                rssRows / 1024, PeakRssKiB() / 1024);
    if (rows > 0)
        std::printf("bytes per row (peak after the run minus empty window) %.0f\n",
                    (rssRows - rssEmpty) * 1024.0 / static_cast<double>(rows));
    return 0;
}
