// The keyboard focus on the result tabs, as the program's skin draws it.

#include <QApplication>
#include <QFile>
#include <QFontMetrics>
#include <QImage>
#include <QLineEdit>
#include <QTabBar>
#include <QVBoxLayout>
#include <QtTest/QTest>

#include <gtest/gtest.h>

namespace tandrel::gui {
namespace {

// The focused tab shows that it has the focus, and nothing of that is drawn
// across its caption: the skin's padding once left the style's dotted focus
// frame on the caption's letters, plain to see at 200 %.
TEST(TabFocus, TheFocusedTabIsMarkedOutsideItsCaption)
{
    QFile skin(QStringLiteral(TANDREL_SOURCE_DIR "/resources/skin.qss"));
    ASSERT_TRUE(skin.open(QIODevice::ReadOnly));
    QWidget window;
    window.setStyleSheet(QString::fromUtf8(skin.readAll()));
    auto* box = new QLineEdit(&window);
    auto* bar = new QTabBar(&window);
    const QString caption = QStringLiteral("Can not find destination (12)");
    bar->addTab(QStringLiteral("Newer than destination (3)"));
    bar->addTab(caption);
    bar->setCurrentIndex(1);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(box);
    layout->addWidget(bar);
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    box->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return box->hasFocus(); }));
    const QImage plain = bar->grab().toImage();
    // Tab from the box, as a user brings the focus there.
    QTest::keyClick(box, Qt::Key_Tab);
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar->hasFocus(); }));
    const QImage focused = bar->grab().toImage();
    ASSERT_EQ(plain.size(), focused.size());

    const QRect tab = bar->tabRect(1);
    const QFontMetrics metrics(bar->font());
    QRect text(0, 0, metrics.horizontalAdvance(caption), metrics.height());
    text.moveCenter(tab.center());
    const qreal scale = focused.devicePixelRatio();
    int changedInTab = 0;
    int changedOnCaption = 0;
    for (int y = 0; y < focused.height(); ++y) {
        for (int x = 0; x < focused.width(); ++x) {
            if (plain.pixel(x, y) == focused.pixel(x, y))
                continue;
            const QPoint at(static_cast<int>(x / scale), static_cast<int>(y / scale));
            changedInTab += tab.contains(at);
            changedOnCaption += text.contains(at);
        }
    }
    EXPECT_GT(changedInTab, 0) << "the focused tab looks as it does without the focus";
    EXPECT_EQ(changedOnCaption, 0) << "the focus is drawn across the caption";
}

} // namespace
} // namespace tandrel::gui
