#include "gui/dialogs/AskpassDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tandrel::gui {

namespace {

// Each button says what it does itself: the box's own accepted() and
// rejected() are not used, so that no answer is given twice.
QPushButton* AddButton(QDialogButtonBox* box, const QString& text, const char* name)
{
    QPushButton* button = box->addButton(text, QDialogButtonBox::ActionRole);
    button->setObjectName(QLatin1String(name));
    return button;
}

} // namespace

AskpassDialog::AskpassDialog(const QString& prompt, AskpassKind kind, QWidget* parent)
    : QDialog(parent), m_kind(kind)
{
    setObjectName(QStringLiteral("AskpassDialog"));
    setWindowTitle(QStringLiteral("Tandrel"));
    // Started by ssh, behind whatever window the user is looking at.
    setWindowFlag(Qt::WindowStaysOnTopHint);

    auto* layout = new QVBoxLayout(this);
    Prompt = new QLabel(prompt, this);
    Prompt->setObjectName(QStringLiteral("Prompt"));
    // A host key's fingerprint is checked against another source: it can be
    // selected, and nothing in it is taken for markup.
    Prompt->setTextFormat(Qt::PlainText);
    Prompt->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(Prompt);

    auto* buttons = new QDialogButtonBox(this);
    if (kind == AskpassKind::Secret) {
        Answer = new QLineEdit(this);
        Answer->setObjectName(QStringLiteral("Answer"));
        Answer->setEchoMode(QLineEdit::Password);
        layout->addWidget(Answer);
        QPushButton* ok = AddButton(buttons, QStringLiteral("OK"), "CmdOK");
        QPushButton* cancel = AddButton(buttons, QStringLiteral("Cancel"), "CmdCancel");
        connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
        ok->setDefault(true);
        connect(ok, &QPushButton::clicked, this, [this] { Finish(Answer->text()); });
        Answer->setFocus();
    } else if (kind == AskpassKind::Question) {
        QPushButton* yes = AddButton(buttons, QStringLiteral("Yes"), "CmdYes");
        QPushButton* no = AddButton(buttons, QStringLiteral("No"), "CmdNo");
        // Enter never accepts a host key the user has not looked at.
        yes->setAutoDefault(false);
        no->setDefault(true);
        no->setFocus();
        connect(yes, &QPushButton::clicked, this, [this] { Finish(QStringLiteral("yes")); });
        connect(no, &QPushButton::clicked, this, [this] { Finish(QStringLiteral("no")); });
    } else {
        QPushButton* ok = AddButton(buttons, QStringLiteral("OK"), "CmdOK");
        ok->setDefault(true);
        connect(ok, &QPushButton::clicked, this, [this] { Finish(QString()); });
    }
    layout->addWidget(buttons);
}

void AskpassDialog::Finish(const QString& reply)
{
    m_reply = reply;
    accept();
}

} // namespace tandrel::gui
