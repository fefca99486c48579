#pragma once

#include <QLabel>

namespace tandrel::gui {

// A label that shows a folder path as a link: underlined, blue, hand cursor.
// A click with the left button opens the folder in the desktop's file
// browser; an empty label does nothing. A path wider than the label is
// shortened in the middle when drawn, the full path stays its text. A label
// with a path is reached with Tab and opens the folder on Enter or Space.
class LinkLabel : public QLabel {
    Q_OBJECT

public:
    explicit LinkLabel(QWidget* parent = nullptr);

    QSize minimumSizeHint() const override;

    // Sets the path and takes part in the Tab order only while there is one.
    void SetPath(const QString& path);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void OpenFolder();
};

} // namespace tandrel::gui
