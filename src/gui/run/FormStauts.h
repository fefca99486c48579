#pragma once

#include "gui/app/AppState.h"
#include "gui/mainwindow/BarPicture.h"

#include <QWidget>

#include <array>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QKeyEvent;
class QTimer;

namespace tandrel::gui {

// The status window of a copy or delete: the counter in its caption, the
// path in hand, and a bar that follows AppState::progressFraction. Its
// Cancel lowers the run flag and closes it. Once closed, updates from the
// running operation are dropped. Modeless, owned by the main window; deletes
// itself when closed.
class FormStauts : public QWidget {
    Q_OBJECT
public:
    FormStauts(AppState& app, QWidget* mainWindow);

    void SetCaption(const QString& caption);
    void SetCurrent(const QString& path);
    bool IsClosed() const { return m_closed; }

    QLabel* Label2 = nullptr;
    std::array<BarPicture*, 1> PicProg{};
    QPlainTextEdit* LblCurrent = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* Command1 = nullptr;
    QTimer* Timer1 = nullptr;

public slots:
    void Timer1Tick();

protected:
    void closeEvent(QCloseEvent* event) override;
    // Esc cancels, as Cancel does.
    void keyPressEvent(QKeyEvent* event) override;

private:
    AppState& m_app;
    BarPieces m_pieces;
    int m_leftWidth = 0;
    int m_rightWidth = 0;
    int m_barHeight = 0;
    int m_middleWidth = 0;
    bool m_closed = false;
};

} // namespace tandrel::gui
