#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

namespace tandrel::gui {

// The About box: the program's picture, name and version, and two notice lines.
class FormAbout : public QDialog {
    Q_OBJECT
public:
    explicit FormAbout(QWidget* parent = nullptr);

private:
    QLabel* Image1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label4 = nullptr;
    QFrame* Label6 = nullptr;
    QPushButton* Command2 = nullptr;
};

} // namespace tandrel::gui
