// Builds two small folder trees with every kind of difference, runs a real
// comparison in the main window and saves pictures of the windows.
//
//   window_screenshots OUTPUT_FOLDER [--root FOLDER] [--dark]
//
// The trees are laid out as home/ada/Pictures and media/backup/Pictures under
// the root (a temporary folder unless given), and removed afterwards. For the
// documentation's pictures the root is / in a mount namespace of its own, so
// that the paths read as a user's would and nothing of the machine changes:
//
//   unshare -rm sh -c 'mount -t tmpfs none /home && mount -t tmpfs none /media &&
//                      window_screenshots docs --root /'
//
// --dark pictures the windows under a dark desktop palette; pictures then end
// in "-dark". Run it under a display (xvfb-run) or with QT_QPA_PLATFORM=offscreen;
// QT_SCALE_FACTOR=2 gives the pictures at 200 %.
//
// Built for Windows, the trees are Users/ada/Pictures and Backup/Pictures
// and the windows keep the system's style; tools/windows-screenshots.sh
// takes the pictures under Wine.

#include "gui/app/AppSetup.h"
#include "gui/app/AppState.h"
#include "gui/run/ComparisonRun.h"
#include "gui/dialogs/Dialogs.h"
#include "gui/mainwindow/Form1.h"
#include "gui/dialogs/FormAbout.h"
#include "gui/dialogs/FormEditPrj.h"
#include "gui/dialogs/FormGuide.h"
#include "gui/dialogs/FormOptions.h"
#include "gui/dialogs/FormProjects.h"
#include "gui/dialogs/FormReport.h"
#include "gui/run/FormStauts.h"
#include "gui/run/FormWait.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPalette>
#include <QPushButton>
#include <QTabBar>
#include <QTreeView>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTimer>

#include <clocale>
#include <cstdio>

namespace {

void Write(const QString& path, const QByteArray& content, qint64 mtime)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) {
        f.write(content);
        f.flush(); // the time is set after the last write
        f.setFileTime(QDateTime::fromSecsSinceEpoch(mtime), QFileDevice::FileModificationTime);
    }
}

void MakeTrees(const QString& src, const QString& dst)
{
    const qint64 t = 1764000000; // late 2025
    const char* docs[] = {"report-2025.odt", "budget.ods", "notes.txt", "letter to the bank.odt"};
    for (int i = 0; i < 4; ++i) {
        Write(src + "/Documents/" + docs[i], QByteArray(1200 * (i + 1), 'a'), t + 3600 * 24 * i);
        Write(dst + "/Documents/" + docs[i], QByteArray(1200 * (i + 1), 'a'), t + 3600 * 24 * i - (i % 2 ? 7200 : -7200));
    }
    for (int i = 0; i < 6; ++i)
        Write(src + QString("/Photos/2025/IMG_%1.jpg").arg(4100 + i), QByteArray(250000 + i * 731, 'p'), t - 86400 * i);
    Write(src + "/Music/playlist.m3u", "a\nb\n", t);
    Write(dst + "/Music/playlist.m3u", "a\nb\nc\n", t);
    Write(dst + "/Archive/old-project.tar.gz", QByteArray(90000, 'z'), t - 86400 * 400);
    Write(dst + "/Archive/readme.txt", "old", t - 86400 * 400);
}

QPalette DarkPalette()
{
    QPalette p;
    const QColor window(0x2D, 0x30, 0x35), text(0xE8, 0xEA, 0xED);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, QColor(0x20, 0x22, 0x26));
    p.setColor(QPalette::AlternateBase, QColor(0x2A, 0x2D, 0x31));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(0x3A, 0x3D, 0x42));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::Highlight, QColor(0x3D, 0x6F, 0xB4));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::ToolTipBase, window);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Link, QColor(0x8A, 0xB4, 0xF8));
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x84, 0x8A));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x84, 0x8A));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x84, 0x8A));
    return p;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::setlocale(LC_ALL, "");
#ifndef Q_OS_WIN
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
#endif
    const QStringList args = QCoreApplication::arguments();
    const QString out = args.size() > 1 ? args[1] : QDir::currentPath();
    QDir().mkpath(out);
    const bool dark = args.contains(QStringLiteral("--dark"));
    if (dark)
        QApplication::setPalette(DarkPalette());
    const QString suffix = dark ? QStringLiteral("-dark") : QString();
    const int rootAt = static_cast<int>(args.indexOf(QStringLiteral("--root")));

    QTemporaryDir work;
    const QString root = rootAt > 0 && rootAt + 1 < args.size() ? QDir::cleanPath(args[rootAt + 1]) : work.path();
    const QString base = root.endsWith(QLatin1Char('/')) ? root.chopped(1) : root; // "/" or "C:/"
#ifdef Q_OS_WIN
    const QString src = base + "/Users/ada/Pictures";
    const QString dst = base + "/Backup/Pictures";
#else
    const QString src = base + "/home/ada/Pictures";
    const QString dst = base + "/media/backup/Pictures";
#endif
    if (QFileInfo::exists(src) || QFileInfo::exists(dst)) {
        std::fprintf(stderr, "%s or %s is there already: nothing is written over it\n", qPrintable(src), qPrintable(dst));
        return 1;
    }
    MakeTrees(src, dst);
    struct Cleanup {
        QString a, b;
        ~Cleanup()
        {
            QDir(a).removeRecursively();
            QDir(b).removeRecursively();
        }
    } cleanup{src, dst};

    tandrel::gui::AppState state;
    tandrel::gui::PrepareAppState(state, tandrel::gui::ProgramFolder(QCoreApplication::applicationDirPath()));
    tandrel::gui::QtDialogs dialogs;
    tandrel::gui::Form1 form(state, dialogs);
    form.resize(1180, 560);
    form.show();

    {
        tandrel::gui::FormGuide guide(state, dialogs, &form);
        guide.show();
        QApplication::processEvents();
        guide.grab().save(out + "/new-comparison" + suffix + ".png");
    }

    state.sourceRoot = QDir::toNativeSeparators(src);
    state.destinationRoot = QDir::toNativeSeparators(dst);
    state.includeSubdirectories = true;
    state.runFlag.Set(true);
    tandrel::gui::RunComparison(state, form, &form);
    if (auto* wait = tandrel::gui::ProgressWindow(&form)) {
        wait->Timer1Tick(); // the counts and bars as the second's tick shows them
        QApplication::processEvents();
        wait->grab().save(out + "/progress" + suffix + ".png");
        // Finished: the OK button with its tick.
        wait->ShowCompleted();
        QApplication::processEvents();
        wait->grab().save(out + "/progress-completed" + suffix + ".png");
        wait->Command1->click();
    }
    QApplication::processEvents();
    form.TabStrip1->setCurrentIndex(2);
    // Checked and unchecked rows, one of them selected, as a user leaves them.
    if (QAbstractItemModel* list = form.ListView1[3]->model(); list->rowCount() > 3) {
        for (const int row : {1, 3})
            list->setData(list->index(row, 0), Qt::Unchecked, Qt::CheckStateRole);
        form.ListView1[3]->setCurrentIndex(list->index(1, 0));
    }
    QApplication::processEvents();
    form.grab().save(out + "/main-window" + suffix + ".png");
    // The tabs with the keyboard focus, as Tab brings it there.
    form.activateWindow();
    form.TabStrip1->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    form.TabStrip1->grab().save(out + "/tabs-focus" + suffix + ".png");

    // The other windows, each as it first shows itself.
    const auto picture = [&out, &suffix](QWidget& window, const char* name) {
        window.show();
        QApplication::processEvents();
        window.grab().save(out + "/" + name + suffix + ".png");
        window.close();
    };
    const QString mailSource = QDir::toNativeSeparators(QFileInfo(src).path() + "/Mail");
    const QString mailDestination = QDir::toNativeSeparators(QFileInfo(dst).path() + "/Mail");
    state.settings.projectList = {"Photos|" + state.sourceRoot.toStdString() + "|" + state.destinationRoot.toStdString(),
                                  "Mail|" + mailSource.toStdString() + "|" + mailDestination.toStdString()};
    QStringList tabs;
    for (int i = 0; i < form.TabStrip1->count(); ++i)
        tabs << form.TabStrip1->tabText(i);
    {
        tandrel::gui::FormOptions options(state, dialogs, &form);
        picture(options, "options");
    }
    {
        tandrel::gui::FormProjects projects(state, dialogs, &form);
        picture(projects, "projects");
        // As Edit opens it on the first project, selected.
        tandrel::gui::FormEditPrj editor(QStringLiteral("edit"), projects.Row(projects.SelectedRow()), dialogs, &form);
        picture(editor, "project-editor");
    }
    {
        tandrel::gui::FormReport report(state, dialogs, tabs, &form);
        picture(report, "report");
    }
    {
        tandrel::gui::FormAbout about(&form);
        picture(about, "about");
    }
    {
        state.progressFraction = 0.4;
        auto* status = new tandrel::gui::FormStauts(state, &form);
        status->setWindowTitle(QStringLiteral("4 of 10"));
        picture(*status, "status");
    }
    std::printf("saved the pictures in %s\n", qPrintable(out));
    form.hide();
    return 0;
}
