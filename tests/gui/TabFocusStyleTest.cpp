#include "gui/TabFocusStyle.h"

#include <QApplication>
#include <QFile>
#include <QFontMetrics>
#include <QStyleFactory>
#include <QStyleOption>
#include <QTabBar>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <vector>

namespace tandrel::gui {
namespace {

// Notes the focus frames that reach the system's style.
class FocusFrames : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    mutable std::vector<QRect> frames;

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override
    {
        if (element == PE_FrameFocusRect && qobject_cast<const QTabBar*>(widget))
            frames.push_back(option->rect);
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }
};

// With the skin's padded tabs, the focus frame goes round the caption, clear
// of its letters, not across them.
TEST(TabFocusStyle, TheFocusFrameOfATabLeavesItsCaptionFree)
{
    auto* frames = new FocusFrames(QStyleFactory::create(QStringLiteral("Fusion")));
    TabFocusStyle style(frames);
    QFile skin(QStringLiteral(TANDREL_SOURCE_DIR "/resources/skin.qss"));
    ASSERT_TRUE(skin.open(QIODevice::ReadOnly));
    QTabBar bar;
    bar.setStyle(&style);
    bar.setStyleSheet(QString::fromUtf8(skin.readAll()));
    bar.addTab(QStringLiteral("Can not find destination (12)"));
    bar.addTab(QStringLiteral("Newer than destination (3)"));
    bar.show();
    QApplication::setActiveWindow(&bar);
    bar.setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar.hasFocus(); }));
    bar.repaint();

    ASSERT_FALSE(frames->frames.empty());
    const QRect tab = bar.tabRect(bar.currentIndex());
    const QFontMetrics metrics(bar.font());
    QRect caption = metrics.boundingRect(bar.tabText(bar.currentIndex()));
    caption.moveCenter(tab.center());
    for (const QRect& frame : frames->frames) {
        EXPECT_TRUE(tab.contains(frame)) << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height();
        EXPECT_TRUE(frame.adjusted(1, 1, -1, -1).contains(caption))
            << "frame " << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height() << ", caption "
            << caption.x() << "," << caption.y() << " " << caption.width() << "x" << caption.height();
    }
}

} // namespace
} // namespace tandrel::gui
