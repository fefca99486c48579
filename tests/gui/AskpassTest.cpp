#include "gui/app/Askpass.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using tandrel::gui::AskpassDialog;
using tandrel::gui::AskpassKind;

const QString kHostKeyPrompt = QStringLiteral(
    "The authenticity of host '[127.0.0.1]:2222 ([127.0.0.1]:2222)' can't be established.\n"
    "ED25519 key fingerprint is SHA256:3pYx0mVq9cE1f1hZq5y2m3bWq8d0Qv3eJ3QwK5b2y2M.\n"
    "This key is not known by any other names.\n"
    "Are you sure you want to continue connecting (yes/no/[fingerprint])? ");
const QString kPassphrasePrompt = QStringLiteral("Enter passphrase for key '/home/me/.ssh/id_ed25519': ");

// Runs the askpass mode for `prompt` with `act` as the user; what it wrote
// for ssh goes to `output`.
int RunWith(const QString& prompt, const std::function<void(AskpassDialog&)>& act, QByteArray& output,
            const QString& hint = {})
{
    QTemporaryDir dir;
    std::FILE* out = std::fopen(QFile::encodeName(dir.filePath(QStringLiteral("out"))).constData(), "w+b");
    if (!out) {
        ADD_FAILURE() << "cannot make the output file";
        return -1;
    }
    const int status = tandrel::gui::RunAskpass(prompt, hint, out, act);
    std::rewind(out);
    char buffer[256];
    output.clear();
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, out)) > 0;)
        output.append(buffer, static_cast<qsizetype>(n));
    std::fclose(out);
    return status;
}

QPushButton* Button(AskpassDialog& dialog, const char* name)
{
    return dialog.findChild<QPushButton*>(QLatin1String(name));
}

TEST(AskpassTest, APassphraseIsTypedHiddenAndGivenToSshWithANewline)
{
    QByteArray output;
    bool checked = false;
    const int status = RunWith(kPassphrasePrompt, [&](AskpassDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Tandrel"));
        EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("Prompt"))->text(), kPassphrasePrompt);
        auto* answer = dialog.findChild<QLineEdit*>(QStringLiteral("Answer"));
        EXPECT_EQ(answer->echoMode(), QLineEdit::Password);
        QTest::keyClicks(answer, QStringLiteral("pass phrase"));
        checked = true;
        Button(dialog, "CmdOK")->click();
    }, output);
    EXPECT_TRUE(checked);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(output, QByteArray("pass phrase\n"));
}

TEST(AskpassTest, CancelGivesSshNothingAndExitStatusOne)
{
    QByteArray output;
    const int status = RunWith(kPassphrasePrompt, [](AskpassDialog& dialog) {
        dialog.findChild<QLineEdit*>(QStringLiteral("Answer"))->setText(QStringLiteral("typed"));
        Button(dialog, "CmdCancel")->click();
    }, output);
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(output.isEmpty());
}

TEST(AskpassTest, AHostKeyQuestionShowsTheFingerprintAndEnterAnswersNo)
{
    QByteArray output;
    const int status = RunWith(kHostKeyPrompt, [](AskpassDialog& dialog) {
        EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("Prompt"))->text(), kHostKeyPrompt);
        EXPECT_EQ(dialog.findChild<QLineEdit*>(QStringLiteral("Answer")), nullptr);
        EXPECT_TRUE(Button(dialog, "CmdNo")->isDefault());
        EXPECT_FALSE(Button(dialog, "CmdYes")->isDefault());
        QTest::keyClick(&dialog, Qt::Key_Return);
    }, output);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(output, QByteArray("no\n"));
}

TEST(AskpassTest, AHostKeyIsAcceptedOnlyByYes)
{
    QByteArray output;
    EXPECT_EQ(RunWith(kHostKeyPrompt, [](AskpassDialog& dialog) { Button(dialog, "CmdYes")->click(); }, output), 0);
    EXPECT_EQ(output, QByteArray("yes\n"));
    // Closing the window is no answer at all: ssh gives up.
    EXPECT_EQ(RunWith(kHostKeyPrompt, [](AskpassDialog& dialog) { dialog.reject(); }, output), 1);
    EXPECT_TRUE(output.isEmpty());
}

TEST(AskpassTest, ANoticeOnlyInformsAndGivesNoText)
{
    QByteArray output;
    const int status = RunWith(
        QStringLiteral("Confirm user presence for key ED25519-SK SHA256:abc"),
        [](AskpassDialog& dialog) {
            EXPECT_EQ(dialog.Kind(), AskpassKind::Notice);
            EXPECT_EQ(Button(dialog, "CmdYes"), nullptr);
            Button(dialog, "CmdOK")->click();
        },
        output, QStringLiteral("none"));
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(output.isEmpty());
}

TEST(AskpassTest, KindsOfPrompts)
{
    struct Case {
        QString prompt;
        QString hint;
        AskpassKind kind;
    };
    const Case cases[] = {
        {kPassphrasePrompt, {}, AskpassKind::Secret},
        {QStringLiteral("me@host's password: "), {}, AskpassKind::Secret},
        {QStringLiteral("(me@host) Verification code: "), {}, AskpassKind::Secret},
        {kHostKeyPrompt, {}, AskpassKind::Question},
        {QStringLiteral("Are you sure you want to continue connecting (yes/no)? "), {}, AskpassKind::Question},
        {QStringLiteral("Please type 'yes', 'no' or the fingerprint: "), {}, AskpassKind::Question},
        {QStringLiteral("Allow use of key /k?\nKey fingerprint SHA256:x."), QStringLiteral("confirm"),
         AskpassKind::Question},
        {QStringLiteral("Confirm user presence for key"), QStringLiteral("none"), AskpassKind::Notice},
    };
    for (const Case& c : cases)
        EXPECT_EQ(tandrel::gui::KindOfPrompt(c.prompt, c.hint), c.kind) << c.prompt.toStdString();
}

TEST(AskpassTest, OnlyAPromptFromSshForTheWindowIsTakenForAnAskpassCall)
{
    struct Case {
        QStringList arguments;
        QByteArray marker;
        bool askpass;
    };
    const QString program = QStringLiteral("tandrel");
    const Case cases[] = {
        {{program, kPassphrasePrompt}, "1", true},
        {{program, QStringLiteral("some folder")}, {}, false},
        {{program, QStringLiteral("some folder")}, "0", false},
        {{program, QStringLiteral("source"), QStringLiteral("destination")}, "1", false},
        {{program}, "1", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(tandrel::gui::IsAskpassCall(c.arguments, c.marker), c.askpass) << c.arguments.join(' ').toStdString();
}

TEST(AskpassTest, SshIsToldToAskThroughTheWindowProgram)
{
    const auto environment = tandrel::gui::AskpassEnvironment(QStringLiteral("/opt/my programs/tandrel"));
    auto value = [&](const std::string& name) {
        for (const auto& [key, text] : environment)
            if (key == name)
                return text;
        return std::string("(unset)");
    };
    EXPECT_EQ(value("SSH_ASKPASS"), "/opt/my programs/tandrel");
    EXPECT_EQ(value("SSH_ASKPASS_REQUIRE"), "force");
    EXPECT_EQ(value(tandrel::gui::kAskpassMarker), "1");
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        EXPECT_NE(value("DISPLAY"), "(unset)");
        EXPECT_EQ(value(tandrel::gui::kAddedDisplayMarker), "1");
    } else {
        EXPECT_EQ(value("DISPLAY"), "(unset)");
    }
}

} // namespace
