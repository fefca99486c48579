#include "ProgramFolder.h"
#include "ScriptedDialogs.h"
#include "gui/app/AppSetup.h"
#include "gui/mainwindow/Form1.h"
#include "gui/dialogs/FormGuide.h"
#include "gui/dialogs/FormOptions.h"
#include "gui/run/FormWait.h"
#include "gui/mainwindow/PathCellDelegate.h"
#include "gui/app/Skin.h"
#include "support/TempTree.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QHash>
#include <QMenuBar>
#include <QStyle>
#include <QTreeView>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

namespace tandrel::gui {
namespace {

QPalette DarkPalette()
{
    const QColor text(0xEE, 0xEE, 0xEE);
    return QPalette(text, QColor(0x35, 0x35, 0x35), QColor(0x50, 0x50, 0x50), QColor(0x20, 0x20, 0x20),
                    QColor(0x30, 0x30, 0x30), text, Qt::white, QColor(0x1E, 0x1E, 0x1E), QColor(0x2B, 0x2B, 0x2B));
}

// The desktop's palette and the program's skin for one test; both go back after.
struct Scheme {
    explicit Scheme(const QPalette& palette) : m_old(QApplication::palette()) { QApplication::setPalette(palette); }
    ~Scheme()
    {
        QApplication::setPalette(m_old);
        qApp->setStyleSheet(QString());
    }
    QPalette m_old;
};

// The contrast between the commonest colour of the area (its background) and
// the colour farthest from it (the core of the text).
double TextContrast(QWidget* widget, QRect area)
{
    const QImage image = widget->grab(area.isValid() ? area : widget->rect()).toImage();
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y)];
    QRgb background = 0;
    int most = 0;
    for (auto it = counts.begin(); it != counts.end(); ++it)
        if (it.value() > most) {
            most = it.value();
            background = it.key();
        }
    double best = 1;
    for (auto it = counts.begin(); it != counts.end(); ++it)
        best = std::max(best, ContrastRatio(QColor(background), QColor(it.key())));
    return best;
}

// A check box's caption without its box.
QRect CaptionOf(QWidget* widget)
{
    if (!qobject_cast<QCheckBox*>(widget))
        return {};
    const int indicator = widget->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, widget) + 4;
    return widget->rect().adjusted(indicator, 0, 0, 0);
}

struct Windows : test::StartedProgram {
    std::unique_ptr<Form1> main;
    std::unique_ptr<FormGuide> guide;
    std::unique_ptr<FormOptions> options;
    FormWait* wait = nullptr;

    Windows()
    {
        QFile::copy(QStringLiteral(TANDREL_SOURCE_DIR "/resources/skin.qss"), state.appFolder + QStringLiteral("skin.qss"));
        state.sourceRoot = QStringLiteral("/home/ada/Pictures/");
        state.destinationRoot = QStringLiteral("/media/backup/Pictures/");
        for (const char* name : {"holiday.jpg", "beach.jpg"}) {
            engine::CompareItem item;
            item.relativePath = name;
            state.store.AddResultRow(engine::ResultCategory::NewerThanDestination, std::move(item));
        }
        main = std::make_unique<Form1>(state, dialogs);
        main->SetRootLabels(state.sourceRoot, state.destinationRoot);
        main->BeginStoreReset();
        main->EndStoreReset();
        guide = std::make_unique<FormGuide>(state, dialogs, main.get());
        options = std::make_unique<FormOptions>(state, dialogs, main.get());
        wait = new FormWait(state, main.get());
        for (QWidget* w : std::initializer_list<QWidget*>{main.get(), guide.get(), options.get(), wait})
            w->show();
        QApplication::processEvents();
    }
    ~Windows() { wait->Discard(); }
};

void ExpectReadable(const QPalette& palette)
{
    Scheme scheme(palette);
    Windows w;
    QMenuBar* menu = w.main->menuBar();
    QTreeView* list = w.main->ListView1[1];
    const std::pair<QWidget*, std::vector<const char*>> cases[] = {
        {w.main.get(), {"Label1", "Label2", "LabelSource", "LabelDes"}},
        {w.guide.get(), {"Label2", "Label3", "Label4", "Check1"}},
        {w.options.get(),
         {"CheckArchive", "CheckHidden", "CheckReadOnly", "CheckSystem", "Check1", "Check2", "ChkTrash", "ChkKeepReplaced", "Check3"}},
        {w.wait, {"Label8", "Label7", "Label1", "Label2", "Label6", "LabelCount_0"}},
    };
    for (const auto& [window, names] : cases)
        for (const char* name : names) {
            auto* widget = window->findChild<QWidget*>(QString::fromLatin1(name));
            const std::string where = window->objectName().toStdString() + " " + name;
            ASSERT_NE(widget, nullptr) << where;
            EXPECT_GE(TextContrast(widget, CaptionOf(widget)), 4.5) << where;
        }
    EXPECT_GE(TextContrast(menu, menu->actionGeometry(menu->actions().first())), 4.5) << "menu bar";
    const QRect row = list->visualRect(list->model()->index(0, 0));
    EXPECT_GE(TextContrast(list->viewport(), row.adjusted(44, 0, 0, 0)), 4.5) << "list row";
}

TEST(DesktopSchemeTest, EveryWindowReadsInADarkAndALightScheme)
{
    for (const QPalette& palette : {DarkPalette(), QApplication::style()->standardPalette()}) {
        SCOPED_TRACE(palette.color(QPalette::Window).name().toStdString());
        ExpectReadable(palette);
    }
}

// The area of a row's check box, with the row around it.
QRect CheckBoxArea(QTreeView* list, int row)
{
    const QModelIndex index = list->model()->index(row, 0);
    auto* delegate = qobject_cast<PathCellDelegate*>(list->itemDelegateForIndex(index));
    QStyleOptionViewItem option = delegate->CellOption(index);
    option.rect = list->visualRect(index);
    option.widget = list;
    const QRect box = list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list);
    return QRect(box.left() - 2, option.rect.top(), box.width() + 4, option.rect.height());
}

// An unchecked box reads against its row, selected or not, in both schemes.
TEST(DesktopSchemeTest, UncheckedBoxesReadAgainstTheirRows)
{
    for (const QPalette& palette : {DarkPalette(), QApplication::style()->standardPalette()}) {
        SCOPED_TRACE(palette.color(QPalette::Window).name().toStdString());
        Scheme scheme(palette);
        Windows w;
        QTreeView* list = w.main->ListView1[1];
        QAbstractItemModel* model = list->model();
        for (int row = 0; row < 2; ++row)
            model->setData(model->index(row, 0), Qt::Unchecked, Qt::CheckStateRole);
        list->setCurrentIndex(model->index(1, 0)); // the second row selected
        QApplication::processEvents();
        for (int row = 0; row < 2; ++row)
            EXPECT_GE(TextContrast(list->viewport(), CheckBoxArea(list, row)), 3.0) << "row " << row;
    }
}

// Under the light skin the focused Projects box shows a frame that reads on
// what was there before.
TEST(DesktopSchemeTest, TheFocusedProjectsBoxShowsAFrame)
{
    Scheme light(QApplication::style()->standardPalette());
    Windows w;
    w.guide->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.guide.get()));
    QComboBox* projects = w.guide->Combo3;
    w.guide->Combo1->setFocus();
    QApplication::processEvents();
    const QImage plain = projects->grab().toImage();
    projects->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(projects->hasFocus());
    const QImage focused = projects->grab().toImage();
    ASSERT_EQ(plain.size(), focused.size());
    double best = 1;
    for (int y = 0; y < plain.height(); ++y)
        for (int x = 0; x < plain.width(); ++x)
            best = std::max(best, ContrastRatio(QColor(plain.pixel(x, y)), QColor(focused.pixel(x, y))));
    EXPECT_GE(best, 3.0);
}

// The desktop switching schemes while the program runs takes the skin off
// and puts it back.
TEST(DesktopSchemeTest, TheSkinFollowsASchemeChange)
{
    Scheme light(QApplication::style()->standardPalette());
    Windows w;
    EXPECT_FALSE(qApp->styleSheet().isEmpty());
    QApplication::setPalette(DarkPalette());
    QApplication::processEvents(); // the windows hear of it from the event loop
    EXPECT_TRUE(qApp->styleSheet().isEmpty());
    QApplication::setPalette(QApplication::style()->standardPalette());
    QApplication::processEvents();
    EXPECT_FALSE(qApp->styleSheet().isEmpty());
}

} // namespace
} // namespace tandrel::gui
