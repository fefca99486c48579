#include "gui/mainwindow/ResultListModel.h"

#include <QApplication>
#include <QImage>
#include <QStyle>

#include <gtest/gtest.h>

namespace tandrel::gui {
namespace {

QImage Picture(const QIcon& icon)
{
    return icon.pixmap(QSize(16, 16)).toImage().convertToFormat(QImage::Format_ARGB32);
}

// FIFOs, sockets and devices each have a picture of their own, and none is
// the information symbol that message boxes show.
TEST(KindIconsTest, EachSpecialKindHasAPictureOfItsOwn)
{
    const QImage information = Picture(QApplication::style()->standardIcon(QStyle::SP_MessageBoxInformation));
    const engine::EntryKind kinds[] = {engine::EntryKind::Fifo, engine::EntryKind::Socket, engine::EntryKind::Device};
    std::vector<QImage> seen;
    for (const engine::EntryKind kind : kinds) {
        const QImage image = Picture(ResultListModel::KindIcon(kind));
        SCOPED_TRACE(static_cast<int>(kind));
        ASSERT_FALSE(image.isNull());
        EXPECT_NE(image, information);
        for (const QImage& other : seen)
            EXPECT_NE(image, other);
        seen.push_back(image);
    }
}

} // namespace
} // namespace tandrel::gui
