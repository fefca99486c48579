#include "gui/dialogs/Dialogs.h"

#include "gui/mainwindow/Controls.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

namespace tandrel::gui {

MessageReply QtDialogs::Message(QWidget* owner, const QString& text, const QString& title, MessageIcon icon,
                                MessageButtons buttons)
{
    QMessageBox box(owner);
    SetDialogFrame(&box);
    box.setWindowTitle(title);
    box.setText(text);
    switch (icon) {
    case MessageIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MessageIcon::Critical: box.setIcon(QMessageBox::Critical); break;
    case MessageIcon::Question: box.setIcon(QMessageBox::Question); break;
    case MessageIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    }
    if (buttons == MessageButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? MessageReply::Yes : MessageReply::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return MessageReply::Ok;
}

QString QtDialogs::ChooseFolder(QWidget* owner, const QString& title, const QString& startFolder)
{
    // Qt answers with '/' everywhere; the folder is shown and compared in the
    // system's own form.
    return QDir::toNativeSeparators(QFileDialog::getExistingDirectory(
        owner, title, startFolder, QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks));
}

QString QtDialogs::ChooseSaveFile(QWidget* owner, const QString& startFolder, const QString& filterDescription,
                                  const QString& filterPattern)
{
    // Qt reads the pattern from the description's parentheses; the descriptions
    // of the program already carry it, as in "Text (tab delimited) (*.txt)".
    return QDir::toNativeSeparators(QFileDialog::getSaveFileName(owner, QString(), startFolder,
                                        filterDescription.contains(filterPattern)
                                            ? filterDescription
                                            : filterDescription + QStringLiteral(" (") + filterPattern + QStringLiteral(")"),
                                        nullptr, QFileDialog::DontConfirmOverwrite));
}

QString QtDialogs::ChooseOpenFile(QWidget* owner, const QString& title, const QString& start)
{
    return QDir::toNativeSeparators(
        QFileDialog::getOpenFileName(owner, title, start, QString(), nullptr, QFileDialog::DontResolveSymlinks));
}

} // namespace tandrel::gui
