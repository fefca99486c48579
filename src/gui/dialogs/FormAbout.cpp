#include "gui/dialogs/FormAbout.h"

#include "gui/mainwindow/Controls.h"

#include "gui/mainwindow/FormIcons.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tandrel::gui {

FormAbout::FormAbout(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormAbout"));
    setWindowTitle(QStringLiteral("About"));
    SetDialogFrame(this);

    Image1 = new QLabel;
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(FormIcons::AboutPicture(64, devicePixelRatioF()));
    Image1->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    Label1 = new QLabel(QStringLiteral("Tandrel 5.0"));
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont nameFont = Label1->font();
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.6);
    nameFont.setBold(true);
    Label1->setFont(nameFont);

    // The two lines of the rights notice.
    Label2 = new QLabel(QStringLiteral("Copyright \u00A9 Orvessa Software. All rights reserved."));
    Label2->setObjectName(QStringLiteral("Label2"));
    Label4 = new QLabel(QStringLiteral("This program is protected by copyright law."));
    Label4->setObjectName(QStringLiteral("Label4"));

    auto* texts = new QVBoxLayout;
    texts->addWidget(Label1);
    texts->addSpacing(6);
    texts->addWidget(Label2);
    texts->addWidget(Label4);
    texts->addStretch(1);

    auto* top = new QHBoxLayout;
    top->setContentsMargins(18, 18, 18, 18);
    top->setSpacing(18);
    top->addWidget(Image1);
    top->addLayout(texts, 1);

    // The coloured band along the bottom that the Close button sits on.
    Label6 = new QFrame;
    Label6->setObjectName(QStringLiteral("Label6"));
    Label6->setAutoFillBackground(true);
    QPalette band = Label6->palette();
    band.setColor(QPalette::Window, QColor(0x1f, 0x4e, 0x8c));
    Label6->setPalette(band);

    Command2 = new QPushButton(QStringLiteral("&Close"));
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setDefault(true);
    auto* bandRow = new QHBoxLayout(Label6);
    bandRow->setContentsMargins(12, 10, 12, 10);
    bandRow->addStretch(1);
    bandRow->addWidget(Command2);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(top, 1);
    layout->addWidget(Label6);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(Command2, &QPushButton::clicked, this, &QDialog::accept);
}

} // namespace tandrel::gui
