#pragma once

#include "gui/app/AppState.h"
#include "gui/mainwindow/BarPicture.h"
#include "desktop/TaskbarProgress.h"

#include <QDateTime>
#include <QPointer>
#include <QWidget>

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace tandrel::gui {

// The progress window of a comparison: the two roots, a live count and bar
// per category, the elapsed time in its title, and one button that cancels
// the run while it goes on and closes the window once it has ended. Modeless,
// owned by the main window; deletes itself when closed.
class FormWait : public QWidget {
    Q_OBJECT
public:
    FormWait(AppState& app, QWidget* mainWindow);

    // The end of a normal run: "Compare completed", "&OK".
    void ShowCompleted();
    void SetTaskbarState(desktop::TaskbarProgress::State state);
    void SetFinishedMark();

    // Discards a window left from an earlier run without touching the run flag
    // or the main window.
    void Discard();

    // hh:mm:ss of the time since `start`, on the 24-hour clock (modulo 24 h).
    static QString ElapsedTitle(const QTime& start, const QTime& now);

    // The filled width of a bar: the rule of the 200 scale. Negative when
    // nothing is drawn.
    static double FillWidth(double count, double maximum, int innerWidth, int leftWidth);

    int FlashCount() const { return m_flashCount; }
    const std::array<double, 5>& CategoryCounts() const { return m_categoryCounts; }

    QLabel* Label8 = nullptr;
    QLineEdit* TextSource = nullptr;
    QLabel* Label7 = nullptr;
    QLineEdit* TextDes = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    std::array<QLabel*, 5> LabelCount{};
    std::array<BarPicture*, 5> PicProg{};
    QPushButton* Command1 = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;

public slots:
    void Timer1Tick();
    void Timer2Tick();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Command1Click();
    void DrawBar(int i, double maximum);

    AppState& m_app;
    QPointer<QWidget> m_mainWindow;
    desktop::TaskbarProgress TaskbarManager1;
    BarPieces m_pieces;
    QTime m_startTime;
    int m_flashCount = 0;
    int m_leftWidth = 0;
    int m_rightWidth = 0;
    int m_barHeight = 0;
    int m_innerWidth = 0;
    std::array<double, 5> m_categoryCounts{};
    bool m_discarding = false;
    bool m_completed = false;
    QPoint m_mainPlace; // where the main window comes back
};

} // namespace tandrel::gui
