#include "gui/run/FormStauts.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include <gtest/gtest.h>

namespace tandrel::gui {
namespace {

TEST(FormStautsTest, LayoutAndEmptyBar)
{
    AppState app;
    QWidget main;
    auto* form = new FormStauts(app, &main);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Tandrel"));
    EXPECT_EQ(form->size(), QSize(371, 165));
    EXPECT_EQ(form->font().pointSize(), 9);
    EXPECT_EQ(form->Label2->text(), QStringLiteral("Progress:"));
    EXPECT_EQ(form->Label2->geometry(), QRect(11, 32, 50, 14));
    // The caption fits its fixed place in the window's font.
    EXPECT_LE(form->Label2->fontMetrics().horizontalAdvance(form->Label2->text()), 50);
    EXPECT_EQ(form->findChild<BarPicture*>(QStringLiteral("PicProg_0"))->geometry(), QRect(68, 32, 288, 16));
    EXPECT_EQ(form->LblCurrent->geometry(), QRect(11, 61, 340, 42));
    EXPECT_TRUE(form->LblCurrent->toPlainText().isEmpty());
    EXPECT_EQ(form->Label1->geometry(), QRect(-5, 112, 378, 54));
    EXPECT_EQ(form->Label1->palette().color(QPalette::Window), QColor(0xDB, 0xEB, 0xF8));
    EXPECT_EQ(form->Command1->text(), QStringLiteral("&Cancel"));
    EXPECT_EQ(form->Command1->geometry(), QRect(201, 125, 89, 28));
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_EQ(form->Timer1->interval(), 300);

    // Fraction 0: only the trough and its two ends.
    form->Timer1Tick();
    const BarPicture* bar = form->PicProg[0];
    EXPECT_EQ(bar->CountOnMiddleLine(kBarFillColour), 0);
    EXPECT_EQ(bar->Canvas().pixel(0, 8), kBarEdgeColour);
    EXPECT_EQ(bar->Canvas().pixel(1, 8), kBarTroughColour);
    EXPECT_EQ(bar->Canvas().pixel(286, 8), kBarTroughColour);
    EXPECT_EQ(bar->Canvas().pixel(287, 8), kBarEdgeColour);
    EXPECT_EQ(bar->Canvas().pixel(100, 0), kBarEdgeColour);
    EXPECT_EQ(bar->Canvas().pixel(100, 15), kBarEdgeColour);
    delete form;
}

TEST(FormStautsTest, FillFollowsTheProgressFraction)
{
    AppState app;
    QWidget main;
    auto* form = new FormStauts(app, &main);
    const BarPicture* bar = form->PicProg[0];

    app.progressFraction = 0.5;
    form->Timer1Tick();
    // 284 inner pixels: 142 filled, from 2 pixels off the left edge.
    EXPECT_EQ(bar->CountOnMiddleLine(kBarFillColour), 142);
    EXPECT_EQ(bar->FirstOnMiddleLine(kBarFillColour), 2);
    EXPECT_EQ(bar->Canvas().pixel(143, 8), kBarFillColour);
    EXPECT_EQ(bar->Canvas().pixel(144, 8), kBarTroughColour);
    // The fill keeps the trough's top and bottom lines and a gap inside them.
    EXPECT_EQ(bar->Canvas().pixel(50, 0), kBarEdgeColour);
    EXPECT_EQ(bar->Canvas().pixel(50, 1), kBarTroughColour);
    EXPECT_EQ(bar->Canvas().pixel(50, 2), kBarFillColour);

    app.progressFraction = 1.0;
    form->Timer1Tick();
    EXPECT_EQ(bar->CountOnMiddleLine(kBarFillColour), 284);
    EXPECT_EQ(bar->Canvas().pixel(287, 8), kBarEdgeColour);

    // Past 1 (rows checked during the run) the fill still stops at the right end.
    app.progressFraction = 1.5;
    form->Timer1Tick();
    EXPECT_EQ(bar->CountOnMiddleLine(kBarFillColour), 284);
    EXPECT_EQ(bar->Canvas().pixel(287, 8), kBarEdgeColour);

    // The timer draws it by itself.
    auto* other = new FormStauts(app, &main);
    app.progressFraction = 0.25;
    other->show();
    QTRY_COMPARE_WITH_TIMEOUT(other->PicProg[0]->CountOnMiddleLine(kBarFillColour), 71, 5000);
    delete other;
    delete form;
}

TEST(FormStautsTest, CancelLowersTheFlagClosesAndDropsLaterUpdates)
{
    AppState app;
    QWidget main;
    main.show();
    QPointer<FormStauts> form = new FormStauts(app, &main);
    form->show();
    form->SetCaption(QStringLiteral("1 of 3"));
    form->SetCurrent(QStringLiteral("/data/dst/a.txt"));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("1 of 3"));
    EXPECT_EQ(form->LblCurrent->toPlainText(), QStringLiteral("/data/dst/a.txt"));

    app.runFlag.Set(true);
    QTest::mouseClick(form->Command1, Qt::LeftButton);
    EXPECT_FALSE(app.runFlag.IsSet());
    ASSERT_FALSE(form.isNull()); // deleted later, by the event loop
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form->IsClosed());
    EXPECT_FALSE(form->Timer1->isActive());

    form->SetCaption(QStringLiteral("2 of 3"));
    form->SetCurrent(QStringLiteral("/data/dst/b.txt"));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("1 of 3"));
    EXPECT_EQ(form->LblCurrent->toPlainText(), QStringLiteral("/data/dst/a.txt"));
    EXPECT_FALSE(form->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(form.isNull());

    // Closing other than by Cancel leaves the flag as it is.
    app.runFlag.Set(true);
    form = new FormStauts(app, &main);
    form->show();
    form->close();
    EXPECT_TRUE(app.runFlag.IsSet());
}

// Esc cancels from wherever the focus is in the window, as Cancel does.
TEST(FormStautsTest, EscCancelsTheRun)
{
    AppState app;
    QWidget main;
    main.show();
    for (const bool onButton : {true, false}) {
        QPointer<FormStauts> form = new FormStauts(app, &main);
        form->show();
        app.runFlag.Set(true);
        QTest::keyClick(onButton ? static_cast<QWidget*>(form->Command1) : form.data(), Qt::Key_Escape);
        EXPECT_FALSE(app.runFlag.IsSet()) << onButton;
        EXPECT_TRUE(form->IsClosed()) << onButton;
        EXPECT_FALSE(form->isVisible()) << onButton;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

} // namespace
} // namespace tandrel::gui
