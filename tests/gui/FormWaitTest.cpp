#include "gui/run/FormWait.h"
#include "gui/mainwindow/FormIcons.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include <gtest/gtest.h>

namespace tandrel::gui {
namespace {

using engine::ResultCategory;

void AddRows(AppState& app, ResultCategory category, int count)
{
    for (int i = 0; i < count; ++i) {
        engine::CompareItem item;
        item.relativePath = "f" + std::to_string(i);
        app.store.AddResultRow(category, std::move(item));
    }
}

struct Bar {
    int fill = 0;
    int fillStart = -1;
};

Bar Look(const BarPicture* bar)
{
    return Bar{bar->CountOnMiddleLine(kBarFillColour), bar->FirstOnMiddleLine(kBarFillColour)};
}

// The counts sit right after their bars, however wide the roots make the window.
TEST(FormWaitTest, CountsSitBesideTheirBars)
{
    AppState app;
    app.sourceRoot = QStringLiteral("/home/ada/Pictures/and a rather long folder name that widens the window/");
    QWidget main;
    QPointer<FormWait> form = new FormWait(app, &main);
    form->show();
    for (int i = 0; i < 5; ++i) {
        EXPECT_LE(form->LabelCount[i]->x() - form->PicProg[i]->geometry().right(), 16) << i;
        EXPECT_TRUE(form->LabelCount[i]->alignment() & Qt::AlignLeft) << i;
    }
    form->Discard();
}

TEST(FormWaitTest, LoadShowsRootsEmptyBarsAndTheStartTitle)
{
    AppState app;
    app.sourceRoot = QStringLiteral("/data/src/");
    app.destinationRoot = QStringLiteral("/data/dst/");
    QWidget main;
    QPointer<FormWait> form = new FormWait(app, &main);

    EXPECT_EQ(form->windowTitle(), QStringLiteral("00:00:00"));
    EXPECT_EQ(form->Label8->text(), QStringLiteral("Source:"));
    EXPECT_EQ(form->Label7->text(), QStringLiteral("Destination:"));
    EXPECT_EQ(form->TextSource->text(), QStringLiteral("/data/src/"));
    EXPECT_EQ(form->TextDes->text(), QStringLiteral("/data/dst/"));
    EXPECT_EQ(form->Label1->text(), QStringLiteral("Comparing, please wait..."));
    EXPECT_EQ(form->Command1->text(), QStringLiteral("&Cancel"));
    EXPECT_EQ(form->findChild<QLabel*>(QStringLiteral("Label2"))->text(), QStringLiteral("Newer than destination"));
    EXPECT_EQ(form->findChild<QLabel*>(QStringLiteral("Label3"))->text(), QStringLiteral("Older than destination"));
    EXPECT_EQ(form->findChild<QLabel*>(QStringLiteral("Label4"))->text(), QStringLiteral("Can not find destination"));
    EXPECT_EQ(form->findChild<QLabel*>(QStringLiteral("Label5"))->text(), QStringLiteral("Can not find source"));
    EXPECT_EQ(form->findChild<QLabel*>(QStringLiteral("Label6"))->text(), QStringLiteral("Only size changed"));
    for (int i = 0; i < 5; ++i) {
        auto* count = form->findChild<QLabel*>(QStringLiteral("LabelCount_%1").arg(i));
        ASSERT_NE(count, nullptr);
        EXPECT_EQ(count->text(), QStringLiteral("0"));
        auto* bar = form->findChild<BarPicture*>(QStringLiteral("PicProg_%1").arg(i));
        ASSERT_NE(bar, nullptr);
        // Empty: trough between two closed ends, no fill.
        const int w = bar->width();
        EXPECT_EQ(Look(bar).fill, 0);
        EXPECT_EQ(bar->Canvas().pixel(0, 8), kBarEdgeColour);
        EXPECT_EQ(bar->Canvas().pixel(w - 1, 8), kBarEdgeColour);
        EXPECT_EQ(bar->Canvas().pixel(w / 2, 8), kBarTroughColour);
        EXPECT_EQ(bar->Canvas().pixel(w / 2, 0), kBarEdgeColour);
    }
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_EQ(form->Timer1->interval(), 1000);
    EXPECT_FALSE(form->Timer2->isActive());
    EXPECT_EQ(form->Timer2->interval(), 500);
    delete form;
}

TEST(FormWaitTest, BarsFollowTheScaleOf200OrTheLargestCount)
{
    AppState app;
    app.runFlag.Set(true);
    QWidget main;
    auto* form = new FormWait(app, &main);
    const int inner = form->PicProg[0]->width() - 4; // two 2-pixel ends
    ASSERT_EQ(inner % 4, 0);

    // Below 200 rows the scale is 200: 50 and 100 fill a quarter and a half.
    AddRows(app, ResultCategory::NewerThanDestination, 50);
    AddRows(app, ResultCategory::OlderThanDestination, 100);
    form->Timer1Tick();
    EXPECT_EQ(form->LabelCount[0]->text(), QStringLiteral("50"));
    EXPECT_EQ(form->LabelCount[1]->text(), QStringLiteral("100"));
    EXPECT_EQ(form->LabelCount[2]->text(), QStringLiteral("0"));
    EXPECT_EQ(Look(form->PicProg[0]).fill, inner / 4);
    EXPECT_EQ(Look(form->PicProg[0]).fillStart, 2);
    EXPECT_EQ(Look(form->PicProg[1]).fill, inner / 2);
    EXPECT_EQ(Look(form->PicProg[2]).fill, 0);
    EXPECT_EQ(form->CategoryCounts()[1], 100.0);

    // From 200 rows the largest count is the scale: 300 and 600 fill half and all.
    AddRows(app, ResultCategory::NewerThanDestination, 250);
    AddRows(app, ResultCategory::OlderThanDestination, 500);
    form->Timer1Tick();
    EXPECT_EQ(Look(form->PicProg[0]).fill, inner / 2);
    EXPECT_EQ(Look(form->PicProg[1]).fill, inner);
    EXPECT_EQ(form->PicProg[1]->Canvas().pixel(form->PicProg[1]->width() - 1, 8), kBarEdgeColour);

    // A count too small to show beside a large one: the bar is emptied, not
    // left with its earlier fill.
    AddRows(app, ResultCategory::OnlySizeChanged, 1);
    form->Timer1Tick();
    EXPECT_EQ(Look(form->PicProg[4]).fill, 0);
    app.store.Clear();
    AddRows(app, ResultCategory::NewerThanDestination, 600);
    AddRows(app, ResultCategory::OlderThanDestination, 1);
    form->Timer1Tick();
    EXPECT_EQ(Look(form->PicProg[0]).fill, inner);
    EXPECT_EQ(Look(form->PicProg[1]).fill, 0);
    EXPECT_EQ(form->PicProg[1]->Canvas().pixel(inner / 2, 8), kBarTroughColour);

    EXPECT_DOUBLE_EQ(FormWait::FillWidth(3, 100, 200, 2), 3.0);   // scale 200, always drawn
    EXPECT_DOUBLE_EQ(FormWait::FillWidth(1, 300, 600, 2), -1.0);  // 2 px: not more than the end
    EXPECT_DOUBLE_EQ(FormWait::FillWidth(2, 300, 600, 2), 4.0);
    delete form;
}

TEST(FormWaitTest, TitleCountsElapsedTimeModulo24Hours)
{
    EXPECT_EQ(FormWait::ElapsedTitle(QTime(10, 0, 0), QTime(10, 0, 0)), QStringLiteral("00:00:00"));
    EXPECT_EQ(FormWait::ElapsedTitle(QTime(10, 0, 0), QTime(11, 2, 3)), QStringLiteral("01:02:03"));
    EXPECT_EQ(FormWait::ElapsedTitle(QTime(23, 59, 50), QTime(0, 0, 10)), QStringLiteral("00:00:20"));
    EXPECT_EQ(FormWait::ElapsedTitle(QTime(12, 0, 0), QTime(11, 59, 59)), QStringLiteral("23:59:59"));
    // Fractions of a second do not count.
    EXPECT_EQ(FormWait::ElapsedTitle(QTime(8, 0, 0, 900), QTime(8, 0, 1, 100)), QStringLiteral("00:00:01"));

    AppState app;
    app.runFlag.Set(true);
    QWidget main;
    auto* form = new FormWait(app, &main);
    form->Timer1Tick();
    EXPECT_TRUE(form->windowTitle().contains(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$"))))
        << form->windowTitle().toStdString();
    delete form;
}

TEST(FormWaitTest, AfterTheRunTheWindowFlashesSixTimes)
{
    AppState app;
    app.runFlag.Set(true);
    QWidget main;
    auto* form = new FormWait(app, &main);
    form->show();

    form->Timer1Tick();
    EXPECT_TRUE(form->Timer1->isActive()); // still running
    EXPECT_FALSE(form->Timer2->isActive());

    app.runFlag.Set(false);
    form->Timer1Tick();
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_TRUE(form->Timer2->isActive());

    for (int tick = 1; tick <= 5; ++tick) {
        form->Timer2Tick();
        EXPECT_EQ(form->FlashCount(), tick);
        EXPECT_TRUE(form->Timer2->isActive());
    }
    form->Timer2Tick();
    EXPECT_EQ(form->FlashCount(), 6);
    EXPECT_FALSE(form->Timer2->isActive());
    delete form;
}

TEST(FormWaitTest, ButtonAndCloseBoxEndTheRunAndBringTheMainWindowBack)
{
    AppState app;
    QWidget main;

    app.runFlag.Set(true);
    QPointer<FormWait> form = new FormWait(app, &main);
    form->show();
    ASSERT_FALSE(main.isVisible());
    QTest::mouseClick(form->Command1, Qt::LeftButton);
    EXPECT_FALSE(app.runFlag.IsSet());
    EXPECT_TRUE(main.isVisible());
    EXPECT_FALSE(form && form->isVisible());

    // The title-bar close box does the same, so that the hidden main window
    // always comes back.
    main.hide();
    app.runFlag.Set(true);
    form = new FormWait(app, &main);
    form->show();
    form->close();
    EXPECT_FALSE(app.runFlag.IsSet());
    EXPECT_TRUE(main.isVisible());

    // A window discarded for a new run leaves the flag and the main window alone.
    main.hide();
    app.runFlag.Set(true);
    form = new FormWait(app, &main);
    form->show();
    form->Discard();
    EXPECT_TRUE(app.runFlag.IsSet());
    EXPECT_FALSE(main.isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(form.isNull());
}

TEST(FormWaitTest, CompletedStateShowsOk)
{
    AppState app;
    QWidget main;
    auto* form = new FormWait(app, &main);
    form->show();
    form->ShowCompleted();
    EXPECT_EQ(form->Label1->text(), QStringLiteral("Compare completed"));
    EXPECT_EQ(form->Command1->text(), QStringLiteral("&OK"));
    EXPECT_FALSE(form->Command1->icon().isNull());
    EXPECT_TRUE(form->Label1->isVisible());
    EXPECT_TRUE(form->Command1->isVisible());
    // The tick is drawn for the screen's scale: at 200 % a picture of twice
    // the size, the drawn tick's, not the style's small bitmap enlarged.
    const QIcon tick = form->Command1->icon();
    for (const qreal scale : {1.0, 2.0}) {
        const QPixmap shown = tick.pixmap(form->Command1->iconSize(), scale);
        EXPECT_EQ(shown.size(), form->Command1->iconSize() * scale) << scale;
        EXPECT_EQ(shown.toImage(), FormIcons::Tick().pixmap(form->Command1->iconSize(), scale).toImage()) << scale;
    }
    delete form;
}

TEST(FormWaitTest, NoCaptionIsCutWhateverTheFont)
{
    const QFont original = QApplication::font();
    for (qreal points : {9.0, 11.0, 14.0}) {
        SCOPED_TRACE(points);
        QFont font = original;
        font.setPointSizeF(points);
        QApplication::setFont(font);
        AppState app;
        app.sourceRoot = QStringLiteral("/data/src/");
        app.destinationRoot = QStringLiteral("/data/dst/");
        QWidget main;
        auto* form = new FormWait(app, &main);
        form->show();
        form->ShowCompleted();
        QCoreApplication::processEvents();
        const QRect inside = form->rect();
        for (const char* name : {"Label8", "Label7", "Label1", "Label2", "Label3", "Label4", "Label5", "Label6"}) {
            auto* label = form->findChild<QLabel*>(QString::fromLatin1(name));
            ASSERT_NE(label, nullptr) << name;
            EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text())) << name;
            EXPECT_TRUE(inside.contains(label->geometry())) << name;
        }
        for (QWidget* w : std::initializer_list<QWidget*>{form->TextSource, form->TextDes, form->Command1,
                                                          form->PicProg[4], form->LabelCount[4]})
            EXPECT_TRUE(inside.contains(w->geometry())) << w->objectName().toStdString();
        EXPECT_GE(form->TextSource->width(), 340);
        EXPECT_GE(form->Command1->width(), form->Command1->sizeHint().width());
        // Labels, bars and counts of one category share a row, in that order.
        for (int i = 0; i < 5; ++i) {
            QLabel* caption = std::array<QLabel*, 5>{form->Label2, form->Label3, form->Label4, form->Label5,
                                                     form->Label6}[static_cast<std::size_t>(i)];
            EXPECT_LE(caption->geometry().right(), form->PicProg[i]->geometry().left());
            EXPECT_LE(form->PicProg[i]->geometry().right(), form->LabelCount[i]->geometry().left());
            EXPECT_TRUE(caption->geometry().intersects(
                QRect(caption->x(), form->PicProg[i]->y(), 1, form->PicProg[i]->height())));
        }
        delete form;
    }
    QApplication::setFont(original);
}

} // namespace
} // namespace tandrel::gui
