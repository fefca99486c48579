#include "gui/run/FormStauts.h"

#include "gui/app/Skin.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace tandrel::gui {

namespace {

// Tahoma where it is installed; otherwise a face of about its width, so that
// the texts fit the window's fixed places. Some font databases name a narrow
// face after its whole family ("DejaVu Sans" of the style "Condensed"), so
// the narrow styles are looked for there too. Those faces fit with their own
// advances, which full hinting would widen.
QFont NarrowFont()
{
    const QStringList families{QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"),
                               QStringLiteral("Liberation Sans Narrow")};
    QFont font;
    font.setFamilies(families);
    font.setPointSize(9);
    const QString found = QFontInfo(font).family();
    if (found == families.front())
        return font;
    if (!families.contains(found)) {
        const std::pair<QString, QString> styles[] = {{QStringLiteral("DejaVu Sans"), QStringLiteral("Condensed")},
                                                      {QStringLiteral("Liberation Sans"), QStringLiteral("Narrow")}};
        for (const auto& [family, style] : styles)
            if (QFontDatabase::styles(family).contains(style)) {
                font = QFontDatabase::font(family, style, 9);
                break;
            }
    }
    font.setHintingPreference(QFont::PreferVerticalHinting);
    return font;
}

} // namespace

FormStauts::FormStauts(AppState& app, QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_app(app), m_pieces(BarPieces::Make())
{
    setObjectName(QStringLiteral("FormStauts"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Tandrel"));
    setFont(NarrowFont());
    setFixedSize(371, 165);

    // The band first, so that the button lies on top of it.
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(-5, 112, 378, 54);
    Label1->setAutoFillBackground(true);
    QPalette band = Label1->palette();
    band.setColor(QPalette::Window, BandColour(band));
    Label1->setPalette(band);

    Label2 = new QLabel(QStringLiteral("Progress:"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(11, 32, 50, 14);

    PicProg[0] = new BarPicture(QStringLiteral("PicProg_0"), 288, 16, this);
    PicProg[0]->move(68, 32);

    LblCurrent = new QPlainTextEdit(this);
    LblCurrent->setObjectName(QStringLiteral("LblCurrent"));
    LblCurrent->setGeometry(11, 61, 340, 42);
    LblCurrent->setReadOnly(true);
    LblCurrent->setFrameShape(QFrame::NoFrame);
    LblCurrent->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    LblCurrent->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    LblCurrent->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    LblCurrent->setFocusPolicy(Qt::NoFocus);
    QPalette face = LblCurrent->palette();
    face.setColor(QPalette::Base, face.color(QPalette::Window));
    LblCurrent->setPalette(face);

    Command1 = new QPushButton(QStringLiteral("&Cancel"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(201, 125, 89, 28);
    connect(Command1, &QPushButton::clicked, this, [this] {
        m_app.runFlag.Set(false);
        close();
    });

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(300);
    connect(Timer1, &QTimer::timeout, this, &FormStauts::Timer1Tick);

    // Load: the empty bar.
    m_leftWidth = m_pieces.iLeft.width();
    m_rightWidth = m_pieces.iRight.width();
    m_barHeight = PicProg[0]->height();
    m_middleWidth = PicProg[0]->width() - m_leftWidth - m_rightWidth;
    PicProg[0]->DrawEmpty(m_pieces);
    Timer1->start();

    if (mainWindow) {
        const QRect main = mainWindow->frameGeometry();
        move(main.center() - rect().center());
    }
}

void FormStauts::Timer1Tick()
{
    // Rows checked during a run can take the fraction past 1; the fill still
    // ends at the bar's right end.
    const double fraction = std::clamp(m_app.progressFraction, 0.0, 1.0);
    PicProg[0]->PaintPiece(m_pieces.iP, QRectF(m_leftWidth, 0, m_middleWidth * fraction, m_barHeight));
}

void FormStauts::SetCaption(const QString& caption)
{
    if (!m_closed)
        setWindowTitle(caption);
}

void FormStauts::SetCurrent(const QString& path)
{
    if (!m_closed)
        LblCurrent->setPlainText(path);
}

void FormStauts::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        Command1->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void FormStauts::closeEvent(QCloseEvent* event)
{
    m_closed = true;
    Timer1->stop();
    event->accept();
}

} // namespace tandrel::gui
