// Builds two small folder trees with every kind of difference, runs a real
// comparison in the main window and saves pictures of the windows.
//
//   window_screenshots OUTPUT_FOLDER
//
// Run it under a display (xvfb-run) or with QT_QPA_PLATFORM=offscreen.

#include "gui/AppSetup.h"
#include "gui/AppState.h"
#include "gui/ComparisonRun.h"
#include "gui/Dialogs.h"
#include "gui/Form1.h"
#include "gui/FormAbout.h"
#include "gui/FormGuide.h"
#include "gui/FormOptions.h"
#include "gui/FormProjects.h"
#include "gui/FormReport.h"
#include "gui/FormStauts.h"
#include "gui/FormWait.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTabBar>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTimer>

#include <clocale>
#include <cstdio>
#include <sys/stat.h>
#include <utime.h>

namespace {

void Write(const QString& path, const QByteArray& content, qint64 mtime)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(content);
    f.close();
    struct utimbuf times {static_cast<time_t>(mtime), static_cast<time_t>(mtime)};
    ::utime(QFile::encodeName(path).constData(), &times);
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

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::setlocale(LC_ALL, "");
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    QDir().mkpath(out);

    QTemporaryDir work;
    const QString src = work.path() + "/home/ada/Pictures and Papers";
    const QString dst = work.path() + "/media/backup/Pictures and Papers";
    MakeTrees(src, dst);

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
        guide.grab().save(out + "/new-comparison.png");
    }

    state.sourceRoot = src;
    state.destinationRoot = dst;
    state.includeSubdirectories = true;
    state.runFlag.Set(true);
    tandrel::gui::RunComparison(state, form, &form);
    if (auto* wait = tandrel::gui::ProgressWindow(&form)) {
        QApplication::processEvents();
        wait->grab().save(out + "/progress.png");
        wait->Command1->click();
    }
    QApplication::processEvents();
    form.TabStrip1->setCurrentIndex(2);
    QApplication::processEvents();
    form.grab().save(out + "/main-window.png");

    // The other windows, each as it first shows itself.
    const auto picture = [&out](QWidget& window, const char* name) {
        window.show();
        QApplication::processEvents();
        window.grab().save(out + "/" + name + ".png");
        window.close();
    };
    state.settings.projectList = {"Photos|" + src.toStdString() + "|" + dst.toStdString(),
                                  "Mail|/home/ada/Mail|/media/backup/Mail"};
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
