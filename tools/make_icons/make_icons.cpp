// Draws the program's icons (result-list images, toolbar and action buttons,
// window icon) and writes them as PNG files, each at its size and at twice
// that size ("@2x") for high-density screens. Run tools/make-icons.sh after
// changing a drawing; the PNG files are kept in resources/icons. The build
// also runs it with --program-icon for the sizes of the desktop's icon theme.
// --windows-icon and --installer-pictures draw the Windows program icon and
// the pictures of the Windows installer's pages.

#include <QBuffer>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include <cstdio>
#include <functional>

namespace {

// Every drawing works on a 24 x 24 canvas (16 x 16 for the list images);
// the painter is scaled to the output size.
using Drawing = std::function<void(QPainter&)>;

const QColor kOutline(0x3A, 0x4A, 0x5E);
const QColor kBlue(0x2F, 0x6D, 0xB5);
const QColor kLightBlue(0xDB, 0xEB, 0xF8);
const QColor kGreen(0x20, 0x9F, 0x2C);
const QColor kRed(0xC9, 0x30, 0x2C);
const QColor kFolder(0xF2, 0xC1, 0x4E);
const QColor kFolderDark(0xB5, 0x84, 0x1C);

QPen Pen(const QColor& c, qreal w)
{
    QPen p(c, w);
    p.setJoinStyle(Qt::RoundJoin);
    p.setCapStyle(Qt::RoundCap);
    return p;
}

void Folder(QPainter& p, const QRectF& r)
{
    QPainterPath back;
    const qreal tabW = r.width() * 0.42, tabH = r.height() * 0.16;
    back.moveTo(r.left(), r.top() + tabH);
    back.lineTo(r.left(), r.bottom());
    back.lineTo(r.right(), r.bottom());
    back.lineTo(r.right(), r.top() + tabH);
    back.lineTo(r.left() + tabW + tabH, r.top() + tabH);
    back.lineTo(r.left() + tabW, r.top());
    back.lineTo(r.left() + r.width() * 0.06, r.top());
    back.closeSubpath();
    p.setPen(Pen(kFolderDark, 1));
    p.setBrush(kFolderDark.lighter(150));
    p.drawPath(back);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, kFolder.lighter(118));
    g.setColorAt(1, kFolder);
    p.setBrush(g);
    p.drawRect(QRectF(r.left(), r.top() + r.height() * 0.32, r.width(), r.height() * 0.68));
}

void Page(QPainter& p, const QRectF& r, const QColor& outline, const QColor& fill)
{
    const qreal fold = r.width() * 0.34;
    QPainterPath page;
    page.moveTo(r.left(), r.top());
    page.lineTo(r.right() - fold, r.top());
    page.lineTo(r.right(), r.top() + fold);
    page.lineTo(r.right(), r.bottom());
    page.lineTo(r.left(), r.bottom());
    page.closeSubpath();
    p.setPen(Pen(outline, 1));
    p.setBrush(fill);
    p.drawPath(page);
    QPainterPath corner;
    corner.moveTo(r.right() - fold, r.top());
    corner.lineTo(r.right() - fold, r.top() + fold);
    corner.lineTo(r.right(), r.top() + fold);
    p.setBrush(outline.lighter(190));
    p.drawPath(corner);
}

void Lines(QPainter& p, const QRectF& r, int count, const QColor& c)
{
    p.setPen(Pen(c, 1));
    const qreal step = r.height() / count;
    for (int i = 0; i < count; ++i) {
        const qreal y = r.top() + step * (i + 0.5);
        const qreal right = (i == count - 1) ? r.left() + r.width() * 0.6 : r.right();
        p.drawLine(QPointF(r.left(), y), QPointF(right, y));
    }
}

void Badge(QPainter& p, const QPointF& centre, qreal radius, const QColor& fill, const QString& glyph)
{
    p.setPen(Pen(fill.darker(130), 1));
    p.setBrush(fill);
    p.drawEllipse(centre, radius, radius);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setBold(true);
    f.setPixelSize(qRound(radius * 1.5));
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(centre.x() - radius, centre.y() - radius, radius * 2, radius * 2 + 0.5), Qt::AlignCenter,
               glyph);
}

void Arrow(QPainter& p, bool right, const QColor& c)
{
    QPainterPath a;
    // pointing right on a 24 canvas
    a.moveTo(3, 9);
    a.lineTo(12, 9);
    a.lineTo(12, 4);
    a.lineTo(21, 12);
    a.lineTo(12, 20);
    a.lineTo(12, 15);
    a.lineTo(3, 15);
    a.closeSubpath();
    if (!right) {
        QTransform t;
        t.translate(24, 0);
        t.scale(-1, 1);
        a = t.map(a);
    }
    QLinearGradient g(0, 4, 0, 20);
    g.setColorAt(0, c.lighter(135));
    g.setColorAt(1, c);
    p.setPen(Pen(c.darker(140), 1));
    p.setBrush(g);
    p.drawPath(a);
}

struct Icon {
    const char* name;
    int size;     // the logical size in pixels
    int canvas;   // the drawing's own coordinate size
    Drawing draw;
};

std::vector<Icon> Icons()
{
    std::vector<Icon> icons;
    // Result-list images: 1 folder, 2 file, 3 work started (blank page), 4 failed (question mark).
    icons.push_back({"folder", 16, 16, [](QPainter& p) { Folder(p, QRectF(1.5, 2.5, 13, 11)); }});
    icons.push_back({"file", 16, 16, [](QPainter& p) {
                         Page(p, QRectF(3.5, 1.5, 9, 13), kOutline, Qt::white);
                         Lines(p, QRectF(5.5, 6, 5, 7), 3, kBlue.lighter(130));
                     }});
    icons.push_back({"started", 16, 16, [](QPainter& p) { Page(p, QRectF(3.5, 1.5, 9, 13), kBlue, Qt::white); }});
    icons.push_back({"failed", 16, 16, [](QPainter& p) { Badge(p, QPointF(8, 8), 6.5, kRed, QStringLiteral("?")); }});

    // Toolbar.
    icons.push_back({"new", 24, 24, [](QPainter& p) {
                         Page(p, QRectF(3.5, 2.5, 13, 18), kOutline, Qt::white);
                         Lines(p, QRectF(6, 9, 7, 8), 3, kBlue.lighter(130));
                         Badge(p, QPointF(17, 17), 5.5, kGreen, QStringLiteral("+"));
                     }});
    icons.push_back({"projects", 24, 24, [](QPainter& p) {
                         Folder(p, QRectF(1.5, 3.5, 15, 12));
                         Folder(p, QRectF(7.5, 9.5, 15, 12));
                     }});
    icons.push_back({"report", 24, 24, [](QPainter& p) {
                         Page(p, QRectF(4.5, 2.5, 15, 19), kOutline, Qt::white);
                         p.setPen(Qt::NoPen);
                         p.setBrush(kBlue);
                         p.drawRect(QRectF(7, 14, 2.5, 5));
                         p.setBrush(kGreen);
                         p.drawRect(QRectF(10.5, 10, 2.5, 9));
                         p.setBrush(QColor(0xE0, 0x8A, 0x1E));
                         p.drawRect(QRectF(14, 12, 2.5, 7));
                     }});
    icons.push_back({"auto", 24, 24, [](QPainter& p) {
                         p.setPen(Pen(kOutline, 1.2));
                         QRadialGradient g(QPointF(10, 9), 12);
                         g.setColorAt(0, Qt::white);
                         g.setColorAt(1, kLightBlue);
                         p.setBrush(g);
                         p.drawEllipse(QPointF(12, 12), 9.5, 9.5);
                         p.setPen(Pen(kOutline, 0.8));
                         for (int i = 0; i < 12; ++i) {
                             const qreal a = i * M_PI / 6;
                             p.drawLine(QPointF(12 + 7.6 * std::cos(a), 12 + 7.6 * std::sin(a)),
                                        QPointF(12 + 8.8 * std::cos(a), 12 + 8.8 * std::sin(a)));
                         }
                         p.setPen(Pen(kOutline, 1.8));
                         p.drawLine(QPointF(12, 12), QPointF(12, 6.5));
                         p.setPen(Pen(kRed, 1.5));
                         p.drawLine(QPointF(12, 12), QPointF(16.5, 14.5));
                     }});
    icons.push_back({"options", 24, 24, [](QPainter& p) {
                         QPainterPath gear;
                         const int teeth = 8;
                         for (int i = 0; i < teeth * 2; ++i) {
                             const qreal r0 = (i % 2 == 0) ? 10.0 : 7.6;
                             const qreal a0 = (i - 0.35) * M_PI / teeth, a1 = (i + 0.35) * M_PI / teeth;
                             const QPointF p0(12 + r0 * std::cos(a0), 12 + r0 * std::sin(a0));
                             const QPointF p1(12 + r0 * std::cos(a1), 12 + r0 * std::sin(a1));
                             if (i == 0)
                                 gear.moveTo(p0);
                             else
                                 gear.lineTo(p0);
                             gear.lineTo(p1);
                         }
                         gear.closeSubpath();
                         gear.addEllipse(QPointF(12, 12), 3.2, 3.2);
                         gear.setFillRule(Qt::OddEvenFill);
                         QLinearGradient g(0, 2, 0, 22);
                         g.setColorAt(0, QColor(0x9A, 0xA8, 0xBA));
                         g.setColorAt(1, QColor(0x5C, 0x6B, 0x80));
                         p.setPen(Pen(kOutline, 1));
                         p.setBrush(g);
                         p.drawPath(gear);
                     }});
    icons.push_back({"help", 24, 24, [](QPainter& p) { Badge(p, QPointF(12, 12), 9.5, kBlue, QStringLiteral("?")); }});
    icons.push_back({"about", 24, 24, [](QPainter& p) { Badge(p, QPointF(12, 12), 9.5, kBlue, QStringLiteral("i")); }});
    icons.push_back({"exit", 24, 24, [](QPainter& p) {
                         // a door ajar with an arrow leaving it
                         p.setPen(Pen(kOutline, 1));
                         p.setBrush(QColor(0xC8, 0x8E, 0x55));
                         p.drawRect(QRectF(3.5, 2.5, 11, 19));
                         p.setBrush(QColor(0x3A, 0x2A, 0x1E));
                         p.drawRect(QRectF(5.5, 4.5, 7, 15));
                         QPainterPath door;
                         door.moveTo(5.5, 4.5);
                         door.lineTo(10.5, 6.5);
                         door.lineTo(10.5, 21.5);
                         door.lineTo(5.5, 19.5);
                         door.closeSubpath();
                         p.setBrush(QColor(0xD9, 0xA4, 0x6C));
                         p.drawPath(door);
                         p.setPen(Pen(kRed, 2.2));
                         p.drawLine(QPointF(13, 12), QPointF(21, 12));
                         p.drawLine(QPointF(18, 8.8), QPointF(21.2, 12));
                         p.drawLine(QPointF(18, 15.2), QPointF(21.2, 12));
                     }});

    // The action buttons below the lists.
    // The arrow of the skin's drop-down boxes.
    icons.push_back({"combo-arrow", 10, 10, [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x3A, 0x53, 0x72));
        p.drawPolygon(QPolygonF({QPointF(1, 3), QPointF(9, 3), QPointF(5, 7.5)}));
    }});
    icons.push_back({"s2d", 24, 24, [](QPainter& p) { Arrow(p, true, kGreen); }});
    icons.push_back({"d2s", 24, 24, [](QPainter& p) { Arrow(p, false, kBlue); }});
    icons.push_back({"delete", 24, 24, [](QPainter& p) {
                         // a waste bin with a lid
                         QLinearGradient g(0, 6, 0, 22);
                         g.setColorAt(0, QColor(0xE8, 0x6A, 0x5E));
                         g.setColorAt(1, kRed);
                         p.setPen(Pen(kRed.darker(150), 1));
                         p.setBrush(g);
                         QPainterPath bin;
                         bin.moveTo(5.5, 7.5);
                         bin.lineTo(18.5, 7.5);
                         bin.lineTo(17, 21.5);
                         bin.lineTo(7, 21.5);
                         bin.closeSubpath();
                         p.drawPath(bin);
                         p.drawRoundedRect(QRectF(3.5, 4.5, 17, 3), 1, 1);
                         p.drawRect(QRectF(9.5, 2.5, 5, 2));
                         p.setPen(Pen(Qt::white, 1.2));
                         p.drawLine(QPointF(9.5, 10.5), QPointF(10, 19));
                         p.drawLine(QPointF(12, 10.5), QPointF(12, 19));
                         p.drawLine(QPointF(14.5, 10.5), QPointF(14, 19));
                     }});

    // The window icon: two folders with the copy arrows between them.
    icons.push_back({"tandrel", 64, 24, [](QPainter& p) {
                         Folder(p, QRectF(0.5, 1.5, 12, 10));
                         Folder(p, QRectF(11.5, 12.5, 12, 10));
                         p.setPen(Pen(kGreen, 1.6));
                         p.drawLine(QPointF(14, 4), QPointF(20, 4));
                         p.drawLine(QPointF(20, 4), QPointF(20, 10));
                         p.drawLine(QPointF(18, 8), QPointF(20, 10.2));
                         p.drawLine(QPointF(22, 8), QPointF(20, 10.2));
                         p.setPen(Pen(kBlue, 1.6));
                         p.drawLine(QPointF(10, 20), QPointF(4, 20));
                         p.drawLine(QPointF(4, 20), QPointF(4, 14));
                         p.drawLine(QPointF(2, 16), QPointF(4, 13.8));
                         p.drawLine(QPointF(6, 16), QPointF(4, 13.8));
                     }});
    return icons;
}

QImage Render(const Icon& icon, int px)
{
    QImage image(px, px, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        p.scale(qreal(px) / icon.canvas, qreal(px) / icon.canvas);
        icon.draw(p);
    }
    return image;
}

bool Write(const Icon& icon, int scale, const QString& folder)
{
    const QString name = QString::fromLatin1(icon.name) + (scale == 1 ? QString() : QStringLiteral("@%1x").arg(scale));
    return Render(icon, icon.size * scale).save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

// The window icon alone at one size, for the desktop's icon theme.
int WriteProgramIcon(const QString& sizeText, const QString& file)
{
    bool ok = false;
    const int px = sizeText.toInt(&ok);
    if (!ok || px < 8 || px > 1024) {
        std::fprintf(stderr, "make_icons: bad icon size %s\n", qPrintable(sizeText));
        return 2;
    }
    for (const Icon& icon : Icons()) {
        if (qstrcmp(icon.name, "tandrel") != 0)
            continue;
        QDir().mkpath(QFileInfo(file).absolutePath());
        if (Render(icon, px).save(file))
            return 0;
        std::fprintf(stderr, "make_icons: cannot write %s\n", qPrintable(file));
        return 1;
    }
    return 1;
}

// The window icon as a Windows icon file: one PNG image per size, which
// Windows reads since Vista, with the sizes the shell asks for.
int WriteWindowsIcon(const QString& file)
{
    const Icon* program = nullptr;
    const std::vector<Icon> icons = Icons(); // outlives `program`
    for (const Icon& icon : icons)
        if (qstrcmp(icon.name, "tandrel") == 0)
            program = &icon;
    if (!program)
        return 1;
    const int sizes[] = {16, 20, 24, 32, 40, 48, 64, 256};
    QList<QByteArray> images;
    for (int px : sizes) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        Render(*program, px).save(&buffer, "PNG");
        images << buffer.data();
    }
    QByteArray ico;
    QDataStream out(&ico, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    const int count = int(images.size());
    out << quint16(0) << quint16(1) << quint16(count);
    quint32 offset = 6 + 16 * count;
    for (int i = 0; i < count; ++i) {
        const quint8 side = sizes[i] >= 256 ? 0 : quint8(sizes[i]); // 0 stands for 256
        out << side << side << quint8(0) << quint8(0) << quint16(1) << quint16(32)
            << quint32(images[i].size()) << offset;
        offset += quint32(images[i].size());
    }
    for (const QByteArray& image : images)
        out.writeRawData(image.constData(), int(image.size()));
    QFile target(file);
    if (target.open(QIODevice::WriteOnly) && target.write(ico) == ico.size() && target.flush())
        return 0;
    std::fprintf(stderr, "make_icons: cannot write %s\n", qPrintable(file));
    return 1;
}

const Icon* ProgramIcon()
{
    static const std::vector<Icon> icons = Icons();
    for (const Icon& icon : icons)
        if (qstrcmp(icon.name, "tandrel") == 0)
            return &icon;
    return nullptr;
}

// A picture of the installer: the program's icon on the page's pale blue,
// `iconPx` wide, its centre at (`x`, `y`). BMP without alpha, as NSIS takes it.
bool WriteInstallerPicture(const QString& file, QSize size, int iconPx, QPointF centre)
{
    const Icon* program = ProgramIcon();
    if (!program)
        return false;
    QImage picture(size, QImage::Format_RGB32);
    QPainter p(&picture);
    QLinearGradient back(0, 0, 0, size.height());
    back.setColorAt(0, Qt::white);
    back.setColorAt(1, kLightBlue);
    p.fillRect(picture.rect(), back);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QPointF(centre.x() - iconPx / 2.0, centre.y() - iconPx / 2.0), Render(*program, iconPx));
    p.end();
    return picture.save(file, "BMP");
}

// The installer's pictures at twice the size of the pages at 100 %: the side
// of the welcome and finish pages (164 x 314) and the header (150 x 57).
int WriteInstallerPictures(const QString& folder)
{
    QDir().mkpath(folder);
    const bool side = WriteInstallerPicture(folder + QStringLiteral("/installer-side.bmp"), QSize(328, 628), 192,
                                            QPointF(164, 200));
    const bool header = WriteInstallerPicture(folder + QStringLiteral("/installer-header.bmp"), QSize(300, 114), 88,
                                              QPointF(300 - 60, 57));
    if (side && header)
        return 0;
    std::fprintf(stderr, "make_icons: cannot write the installer's pictures in %s\n", qPrintable(folder));
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "--program-icon") == 0)
        return WriteProgramIcon(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    if (argc == 3 && qstrcmp(argv[1], "--windows-icon") == 0)
        return WriteWindowsIcon(QString::fromLocal8Bit(argv[2]));
    if (argc == 3 && qstrcmp(argv[1], "--installer-pictures") == 0)
        return WriteInstallerPictures(QString::fromLocal8Bit(argv[2]));
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_icons OUTPUT-FOLDER\n"
                             "       make_icons --program-icon SIZE FILE\n"
                             "       make_icons --windows-icon FILE\n"
                             "       make_icons --installer-pictures FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    for (const Icon& icon : Icons())
        for (int scale : {1, 2})
            if (!Write(icon, scale, folder)) {
                std::fprintf(stderr, "cannot write %s\n", icon.name);
                return 1;
            }
    return 0;
}
