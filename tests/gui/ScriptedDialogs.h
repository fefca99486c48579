#pragma once

#include "gui/dialogs/Dialogs.h"

#include <QString>
#include <QWidget>

#include <deque>
#include <functional>
#include <vector>

namespace tandrel::test {

// gui::Dialogs for tests: every request is recorded, and each is answered
// from a queue of scripted replies of its kind. An empty queue answers as a
// careful user would: Ok to a plain message, No to a Yes/No question, Cancel
// (empty text) to a chooser; `unscripted` counts those answers so that a test
// can insist that nothing unexpected was asked.
class ScriptedDialogs : public gui::Dialogs {
public:
    enum class Kind { Message, ChooseFolder, ChooseSaveFile, ChooseOpenFile };

    struct Request {
        Kind kind = Kind::Message;
        QWidget* owner = nullptr;
        QString text;  // message text
        QString title; // message or folder chooser title
        gui::MessageIcon icon = gui::MessageIcon::Information;
        gui::MessageButtons buttons = gui::MessageButtons::Ok;
        QString startFolder;       // choosers
        QString filterDescription; // save dialog
        QString filterPattern;     // save dialog
    };

    std::deque<gui::MessageReply> messageReplies;
    std::deque<QString> folderReplies;
    std::deque<QString> saveReplies;
    std::deque<QString> openReplies;
    std::vector<Request> requests;
    int unscripted = 0;

    // Runs while the "dialog" is open, after the request was recorded (for
    // example to look at a window's state at the moment a question is asked).
    std::function<void(const Request&)> onRequest;

    gui::MessageReply Message(QWidget* owner, const QString& text, const QString& title, gui::MessageIcon icon,
                              gui::MessageButtons buttons) override
    {
        Request r;
        r.kind = Kind::Message;
        r.owner = owner;
        r.text = text;
        r.title = title;
        r.icon = icon;
        r.buttons = buttons;
        Record(r);
        if (messageReplies.empty()) {
            ++unscripted;
            return buttons == gui::MessageButtons::YesNo ? gui::MessageReply::No : gui::MessageReply::Ok;
        }
        const gui::MessageReply reply = messageReplies.front();
        messageReplies.pop_front();
        return reply;
    }

    QString ChooseFolder(QWidget* owner, const QString& title, const QString& startFolder) override
    {
        Request r;
        r.kind = Kind::ChooseFolder;
        r.owner = owner;
        r.title = title;
        r.startFolder = startFolder;
        Record(r);
        return Next(folderReplies);
    }

    QString ChooseSaveFile(QWidget* owner, const QString& startFolder, const QString& filterDescription,
                           const QString& filterPattern) override
    {
        Request r;
        r.kind = Kind::ChooseSaveFile;
        r.owner = owner;
        r.startFolder = startFolder;
        r.filterDescription = filterDescription;
        r.filterPattern = filterPattern;
        Record(r);
        return Next(saveReplies);
    }

    QString ChooseOpenFile(QWidget* owner, const QString& title, const QString& start) override
    {
        Request r;
        r.kind = Kind::ChooseOpenFile;
        r.owner = owner;
        r.title = title;
        r.startFolder = start;
        Record(r);
        return Next(openReplies);
    }

    // The recorded messages only, in order.
    std::vector<Request> Messages() const
    {
        std::vector<Request> out;
        for (const Request& r : requests)
            if (r.kind == Kind::Message)
                out.push_back(r);
        return out;
    }

    void Clear()
    {
        messageReplies.clear();
        folderReplies.clear();
        saveReplies.clear();
        openReplies.clear();
        requests.clear();
        unscripted = 0;
    }

private:
    void Record(const Request& r)
    {
        requests.push_back(r);
        if (onRequest)
            onRequest(requests.back());
    }

    QString Next(std::deque<QString>& queue)
    {
        if (queue.empty()) {
            ++unscripted;
            return {};
        }
        QString reply = queue.front();
        queue.pop_front();
        return reply;
    }
};

} // namespace tandrel::test
