#pragma once

#include <QDialog>
#include <QString>

#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tandrel::gui {

// What ssh asks of its askpass program: a secret (passphrase, password), a
// question answered yes or no (an unknown host key, an agent's
// confirmation), or a notice that only informs (touch the security key).
enum class AskpassKind { Secret, Question, Notice };

// The window program's own answer to ssh: ssh's prompt shown whole, and a
// hidden text field, Yes and No (No the default), or OK alone.
class AskpassDialog : public QDialog {
    Q_OBJECT
public:
    AskpassDialog(const QString& prompt, AskpassKind kind, QWidget* parent = nullptr);

    AskpassKind Kind() const { return m_kind; }
    // What goes back to ssh once the dialog has closed: the text typed,
    // "yes" or "no", or empty text for a notice; none when it was cancelled.
    std::optional<QString> Reply() const { return m_reply; }

private:
    void Finish(const QString& reply);

    AskpassKind m_kind;
    std::optional<QString> m_reply;
    QLabel* Prompt = nullptr;
    QLineEdit* Answer = nullptr;
};

} // namespace tandrel::gui
