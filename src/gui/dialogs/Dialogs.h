#pragma once

#include <QString>

class QWidget;

namespace tandrel::gui {

enum class MessageIcon { Information, Critical, Question, Warning };
enum class MessageButtons { Ok, YesNo };
enum class MessageReply { Ok, Yes, No };

// Every message box, folder chooser and save dialog of the program goes
// through this interface, so that tests answer them with scripted replies
// and check exactly what was asked.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    virtual MessageReply Message(QWidget* owner, const QString& text, const QString& title, MessageIcon icon,
                                 MessageButtons buttons) = 0;

    // A modal folder chooser starting at `startFolder` (selected). Empty text
    // when the user cancels.
    virtual QString ChooseFolder(QWidget* owner, const QString& title, const QString& startFolder) = 0;

    // The save dialog: one filter entry, start folder, no overwrite question,
    // no extension added. Empty text when the user cancels.
    virtual QString ChooseSaveFile(QWidget* owner, const QString& startFolder, const QString& filterDescription,
                                   const QString& filterPattern) = 0;

    // A modal chooser of one existing file, starting at `start` (a file,
    // selected, or a folder). Empty text when the user cancels.
    virtual QString ChooseOpenFile(QWidget* owner, const QString& title, const QString& start) = 0;
};

// The real dialogs on screen.
class QtDialogs : public Dialogs {
public:
    MessageReply Message(QWidget* owner, const QString& text, const QString& title, MessageIcon icon,
                         MessageButtons buttons) override;
    QString ChooseFolder(QWidget* owner, const QString& title, const QString& startFolder) override;
    QString ChooseSaveFile(QWidget* owner, const QString& startFolder, const QString& filterDescription,
                           const QString& filterPattern) override;
    QString ChooseOpenFile(QWidget* owner, const QString& title, const QString& start) override;
};

} // namespace tandrel::gui
