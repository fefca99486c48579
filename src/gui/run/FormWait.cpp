#include "gui/run/FormWait.h"

#include "gui/mainwindow/FormIcons.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QWindow>

#include <algorithm>

namespace tandrel::gui {

namespace {

constexpr int kBarWidth = 184;
constexpr int kBarHeight = 16;

QLabel* MakeLabel(const QString& name, const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

QLineEdit* MakeTextBox(const QString& name, const QString& text, QWidget* parent)
{
    auto* box = new QLineEdit(text, parent);
    box->setObjectName(name);
    box->setReadOnly(true);
    box->setMinimumWidth(340);
    box->setCursorPosition(0);
    return box;
}

} // namespace

FormWait::FormWait(AppState& app, QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_app(app), m_mainWindow(mainWindow), m_pieces(BarPieces::Make())
{
    setObjectName(QStringLiteral("FormWait"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("00:00:00"));

    // A grid, so that no caption is cut whatever the font: the labels on the
    // left, the two boxes and the bars beside them, the counts on the right.
    auto* grid = new QGridLayout(this);
    grid->setSizeConstraint(QLayout::SetFixedSize);
    grid->setContentsMargins(14, 12, 14, 14);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(8);

    Label8 = MakeLabel(QStringLiteral("Label8"), QStringLiteral("Source:"), this);
    TextSource = MakeTextBox(QStringLiteral("TextSource"), app.sourceRoot, this);
    Label7 = MakeLabel(QStringLiteral("Label7"), QStringLiteral("Destination:"), this);
    TextDes = MakeTextBox(QStringLiteral("TextDes"), app.destinationRoot, this);
    Label1 = MakeLabel(QStringLiteral("Label1"), QStringLiteral("Comparing, please wait..."), this);
    grid->addWidget(Label8, 0, 0);
    grid->addWidget(TextSource, 0, 1, 1, 3);
    grid->addWidget(Label7, 1, 0);
    grid->addWidget(TextDes, 1, 1, 1, 3);
    grid->addWidget(Label1, 2, 0, 1, 4);
    grid->setRowMinimumHeight(2, 28);

    const std::array<QString, 5> captions{
        QStringLiteral("Newer than destination"), QStringLiteral("Older than destination"),
        QStringLiteral("Can not find destination"), QStringLiteral("Can not find source"),
        QStringLiteral("Only size changed")};
    std::array<QLabel*, 5> categoryLabels{};
    for (int i = 0; i < 5; ++i) {
        categoryLabels[i] = MakeLabel(QStringLiteral("Label%1").arg(i + 2), captions[i], this);
        PicProg[i] = new BarPicture(QStringLiteral("PicProg_%1").arg(i), kBarWidth, kBarHeight, this);
        LabelCount[i] = MakeLabel(QStringLiteral("LabelCount_%1").arg(i), QStringLiteral("0"), this);
        LabelCount[i]->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        LabelCount[i]->setMinimumWidth(60);
        grid->addWidget(categoryLabels[i], 3 + i, 0);
        grid->addWidget(PicProg[i], 3 + i, 1, Qt::AlignVCenter);
        grid->addWidget(LabelCount[i], 3 + i, 2);
    }
    Label2 = categoryLabels[0];
    Label3 = categoryLabels[1];
    Label4 = categoryLabels[2];
    Label5 = categoryLabels[3];
    Label6 = categoryLabels[4];

    Command1 = new QPushButton(QStringLiteral("&Cancel"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setMinimumSize(110, 30);
    grid->setRowMinimumHeight(8, 12);
    // The counts stay beside their bars; what width the boxes add goes right of them.
    grid->setColumnStretch(3, 1);
    grid->addWidget(Command1, 9, 0, 1, 4, Qt::AlignHCenter);
    connect(Command1, &QPushButton::clicked, this, &FormWait::Command1Click);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &FormWait::Timer1Tick);
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(500);
    connect(Timer2, &QTimer::timeout, this, &FormWait::Timer2Tick);

    // Load: start time, timers, roots, bar geometry, empty bars.
    const QTime now = QTime::currentTime();
    m_startTime = QTime(now.hour(), now.minute(), now.second());
    m_flashCount = 0;
    Timer1->start();
    Timer2->stop();
    m_leftWidth = m_pieces.iLeft.width();
    m_rightWidth = m_pieces.iRight.width();
    m_barHeight = PicProg[0]->height();
    m_innerWidth = PicProg[0]->width() - m_leftWidth - m_rightWidth;
    for (BarPicture* bar : PicProg)
        bar->DrawEmpty(m_pieces);

    adjustSize();
    if (mainWindow) {
        m_mainPlace = mainWindow->geometry().topLeft();
        const QRect main = mainWindow->frameGeometry();
        move(main.center() - rect().center());
    }
}

QString FormWait::ElapsedTitle(const QTime& start, const QTime& now)
{
    constexpr int kDay = 24 * 60 * 60;
    const int elapsed = ((now.msecsSinceStartOfDay() / 1000 - start.msecsSinceStartOfDay() / 1000) % kDay + kDay) % kDay;
    return QTime(0, 0).addSecs(elapsed).toString(QStringLiteral("hh:mm:ss"));
}

double FormWait::FillWidth(double count, double maximum, int innerWidth, int leftWidth)
{
    if (maximum >= 200) {
        const double width = count / maximum * innerWidth;
        return width > leftWidth ? width : -1;
    }
    return count / 200 * innerWidth;
}

void FormWait::Timer1Tick()
{
    setWindowTitle(ElapsedTitle(m_startTime, QTime::currentTime()));

    for (int i = 0; i < 5; ++i) {
        m_categoryCounts[i] = static_cast<double>(m_app.store.Count(engine::kAllCategories[i]));
        LabelCount[i]->setText(QString::number(static_cast<qulonglong>(m_categoryCounts[i])));
    }
    const double maximum = *std::max_element(m_categoryCounts.begin(), m_categoryCounts.end());
    if (maximum > 0) {
        for (int i = 0; i < 5; ++i)
            if (m_categoryCounts[i] > 0)
                DrawBar(i, maximum);
    }

    if (!m_app.runFlag.IsSet()) {
        Timer1->stop();
        Timer2->start();
        activateWindow();
        raise();
    }
}

void FormWait::DrawBar(int i, double maximum)
{
    BarPicture* bar = PicProg[i];
    bar->PaintPiece(m_pieces.iB, QRectF(m_leftWidth, 0, m_innerWidth, m_barHeight));
    const double width = FillWidth(m_categoryCounts[i], maximum, m_innerWidth, m_leftWidth);
    if (width >= 0)
        bar->PaintPiece(m_pieces.iP, QRectF(m_leftWidth, 0, width, m_barHeight));
}

void FormWait::Timer2Tick()
{
    ++m_flashCount;
    if (m_flashCount > 5)
        Timer2->stop();
    QApplication::alert(this, 400);
}

void FormWait::ShowCompleted()
{
    Label1->hide();
    Command1->hide();
    Label1->setText(QStringLiteral("Compare completed"));
    Command1->setText(QStringLiteral("&OK"));
    // Drawn, not the style's bitmap, so that it is sharp at any scale.
    Command1->setIcon(FormIcons::Tick());
    Command1->setIconSize(QSize(16, 16));
    Label1->show();
    Command1->show();
    // Enter, Space and Esc all close the finished window.
    m_completed = true;
    Command1->setDefault(true);
    Command1->setFocus();
}

void FormWait::SetTaskbarState(desktop::TaskbarProgress::State state) { TaskbarManager1.SetState(state); }

void FormWait::SetFinishedMark() { TaskbarManager1.SetFinishedMark(true); }

void FormWait::Discard()
{
    m_discarding = true;
    close();
}

void FormWait::Command1Click() { close(); }

void FormWait::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (key == Qt::Key_Escape || (m_completed && (key == Qt::Key_Return || key == Qt::Key_Enter))) {
        Command1->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

// Whichever way the window goes (its button or its close box), the run is
// over and the main window comes back; otherwise a hidden main window would
// be left with nothing on screen to bring it back.
void FormWait::closeEvent(QCloseEvent* event)
{
    Timer1->stop();
    Timer2->stop();
    TaskbarManager1.SetFinishedMark(false);
    if (!m_discarding) {
        m_app.runFlag.Set(false);
        if (m_mainWindow) {
            // Shown again where it was: a window manager places a window
            // that maps anew wherever it likes.
            // The position is given as the program's own choice, which the
            // window manager keeps.
            QWindow* handle = m_mainWindow->windowHandle();
            if (handle && !m_mainWindow->isMaximized() && !m_mainWindow->isFullScreen())
                handle->setPosition(m_mainPlace);
            m_mainWindow->show();
        }
    }
    event->accept();
}

} // namespace tandrel::gui
