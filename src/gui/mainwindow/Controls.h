#pragma once

#include <QHBoxLayout>
#include <QPushButton>
#include <QString>
#include <QWidget>

namespace tandrel::gui {

// Gives a control its name as its objectName, so tests and readers find it
// by the same word as the member that holds it.
template <typename W>
W* Named(W* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// A dialog's frame: a title and a close box, no minimise, maximise or help
// buttons.
inline void SetDialogFrame(QWidget* dialog)
{
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                           | Qt::WindowCloseButtonHint);
}

// The closing pair of a dialog: the default button and the cancel button,
// named, in a row that keeps them right (or, when `centred`, in the middle).
struct ButtonPair {
    QPushButton* accept = nullptr;
    QPushButton* cancel = nullptr;
    QHBoxLayout* row = nullptr;
};

inline ButtonPair MakeButtonPair(const QString& acceptCaption, const char* acceptName, const char* cancelName,
                                 bool centred = false)
{
    ButtonPair pair;
    pair.accept = Named(new QPushButton(acceptCaption), acceptName);
    pair.accept->setDefault(true);
    pair.cancel = Named(new QPushButton(QStringLiteral("&Cancel")), cancelName);
    pair.cancel->setAutoDefault(false);
    pair.row = new QHBoxLayout;
    pair.row->addStretch(1);
    pair.row->addWidget(pair.accept);
    pair.row->addWidget(pair.cancel);
    if (centred)
        pair.row->addStretch(1);
    return pair;
}

} // namespace tandrel::gui
