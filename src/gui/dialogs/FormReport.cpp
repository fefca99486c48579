#include "gui/dialogs/FormReport.h"

#include "gui/mainwindow/Controls.h"
#include "gui/app/AppState.h"
#include "gui/dialogs/Dialogs.h"
#include "gui/app/TrimBlanks.h"
#include "report/ReportWriter.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <array>

namespace tandrel::gui {

namespace {

report::ReportFormat Format(bool csv)
{
    return csv ? report::ReportFormat::Csv : report::ReportFormat::Text;
}

} // namespace

QString FormReport::ReportPath(const QString& chosen, bool csv)
{
    QString path = TrimBlanks(chosen);
    if (path.endsWith(QChar(u'\0')))
        path.chop(1);
    return ToQ(report::WithReportExtension(FromQ(path), Format(csv)));
}

FormReport::FormReport(AppState& appState, Dialogs& dialogs, const QStringList& tabCaptions, QWidget* parent)
    : QDialog(parent), m_appState(appState), m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("FormReport"));
    setWindowTitle(QStringLiteral("Report"));
    SetDialogFrame(this);

    Frame1 = Named(new QGroupBox(QStringLiteral("Output")), "Frame1");
    Check1 = Named(new QCheckBox, "Check1");
    Check2 = Named(new QCheckBox, "Check2");
    Check3 = Named(new QCheckBox, "Check3");
    Check4 = Named(new QCheckBox, "Check4");
    Check5 = Named(new QCheckBox, "Check5");
    auto* output = new QVBoxLayout(Frame1);
    const std::array<QCheckBox*, 5> checks{Check1, Check2, Check3, Check4, Check5};
    for (int i = 0; i < 5; ++i) {
        checks[static_cast<std::size_t>(i)]->setText(i < tabCaptions.size() ? tabCaptions[i] : QString());
        checks[static_cast<std::size_t>(i)]->setChecked(true);
        output->addWidget(checks[static_cast<std::size_t>(i)]);
    }

    Frame2 = Named(new QGroupBox(QStringLiteral("File format")), "Frame2");
    Option1 = Named(new QRadioButton(QString::fromLatin1(report::ReportFilterDescription(report::ReportFormat::Text))),
                    "Option1");
    Option2 = Named(new QRadioButton(QString::fromLatin1(report::ReportFilterDescription(report::ReportFormat::Csv))),
                    "Option2");
    Option1->setChecked(true);
    auto* format = new QHBoxLayout(Frame2);
    format->addWidget(Option1);
    format->addWidget(Option2);
    format->addStretch(1);

    const ButtonPair closing = MakeButtonPair(QStringLiteral("&Save"), "Command1", "Command2", true);
    Command1 = closing.accept;
    Command2 = closing.cancel;
    auto* buttons = closing.row;

    auto* layout = new QVBoxLayout;
    layout->addWidget(Frame1);
    layout->addWidget(Frame2);
    layout->addSpacing(10);
    layout->addStretch(1);
    layout->addLayout(buttons);
    // The window keeps one size: at least the 410 x 276 of its design, more
    // only when the captions need it. A fixed size is the size the layout
    // asks for, so the design size is held there, by a strut each way,
    // whatever room the system's font takes.
    auto* window = new QHBoxLayout(this);
    window->addLayout(layout);
    window->setSizeConstraint(QLayout::SetFixedSize);
    const QMargins margins = window->contentsMargins();
    layout->addStrut(410 - margins.left() - margins.right());
    window->addStrut(276 - margins.top() - margins.bottom());

    connect(Command1, &QPushButton::clicked, this, [this] { Save(); });
    connect(Command2, &QPushButton::clicked, this, &QDialog::reject);
}

void FormReport::Save()
{
    const bool csv = Option2->isChecked();
    const report::ReportFormat format = Format(csv);
    const QString description = QString::fromLatin1(report::ReportFilterDescription(format));
    const QString pattern = QStringLiteral("*") + QString::fromLatin1(report::ReportExtension(format));

    const QString chosen = m_dialogs.ChooseSaveFile(this, m_appState.reportFolder, description, pattern);
    if (TrimBlanks(chosen).isEmpty())
        return;
    const QString path = ReportPath(chosen, csv);

    report::ReportRequest request;
    request.format = format;
    const std::array<QCheckBox*, 5> checks{Check1, Check2, Check3, Check4, Check5};
    for (int k = 1; k <= engine::kCategoryCount; ++k) {
        const QCheckBox* box = checks[static_cast<std::size_t>(k - 1)];
        request.include[static_cast<std::size_t>(k)] = box->isChecked();
        request.sectionCaptions[static_cast<std::size_t>(k)] = FromQ(box->text());
    }

    const platform::FileResult result = report::WriteReport(FromQ(path), m_appState.store, request);
    if (!result.ok()) {
        // A report that was not written is never announced as saved; the
        // window stays open so that another place can be chosen.
        m_dialogs.Message(this,
                          QStringLiteral("The report file - ") + path + QStringLiteral("\ncould not be saved:\n") +
                              ToQ(result.error),
                          QStringLiteral("Tandrel"), MessageIcon::Critical, MessageButtons::Ok);
        return;
    }
    m_dialogs.Message(this, QStringLiteral("The report file - ") + path + QStringLiteral("\n has successfully been saved."),
                      QStringLiteral("Tandrel"), MessageIcon::Information, MessageButtons::Ok);
    accept();
}

} // namespace tandrel::gui
