#include "gui/app/Askpass.h"
#include "platform/remote/LoopbackSshd.h"
#include "platform/remote/RemoteSession.h"
#include "support/Holds.h"

#include <QFile>
#include <QStringList>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using tandrel::platform::remote::ConnectOptions;
using tandrel::platform::remote::RemoteSession;
using tandrel::platform::remote::RemoteStatus;

// ssh itself asking through the askpass mode, against the loopback server,
// for a key that is protected by a passphrase.
class AskpassSshTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_sshd = new tandrel::test::LoopbackSshd;
        if (!s_sshd->SkipReason().empty())
            return;
        const std::string dir = s_sshd->KeyFolder();
        const std::string make = "ssh-keygen -q -t ed25519 -N 'pass phrase' -f '" + dir + "/pass_key' && cat '" +
                                 dir + "/pass_key.pub' >> '" + dir + "/authorized_keys'";
        s_keyMade = std::system(make.c_str()) == 0;
    }
    static void TearDownTestSuite()
    {
        delete s_sshd;
        s_sshd = nullptr;
    }

    void SetUp() override
    {
        if (!s_sshd->SkipReason().empty())
            GTEST_SKIP() << s_sshd->SkipReason();
        ASSERT_TRUE(s_keyMade);
        m_log = QString::fromStdString(s_sshd->KeyFolder()) + QStringLiteral("/askpass-") +
                QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }

    // The loopback server's options, with the passphrase key, ssh free to
    // ask, and its questions going to the scripted askpass mode.
    ConnectOptions Options(const std::string& knownHosts, const std::string& passphrase, const std::string& hostKey)
    {
        ConnectOptions options = s_sshd->Options();
        for (auto& argument : options.sshArguments) {
            if (argument == "-oBatchMode=yes")
                argument = "-oBatchMode=no";
            else if (argument.rfind("-oIdentityFile=", 0) == 0)
                argument = "-oIdentityFile=" + s_sshd->KeyFolder() + "/pass_key";
            else if (argument.rfind("-oUserKnownHostsFile=", 0) == 0 && !knownHosts.empty())
                argument = "-oUserKnownHostsFile=" + knownHosts;
            else if (argument == "-oStrictHostKeyChecking=yes")
                argument = "-oStrictHostKeyChecking=ask";
        }
        options.sshArguments.push_back("-oNumberOfPasswordPrompts=1");
        options.environment = tandrel::gui::AskpassEnvironment(QStringLiteral(TANDREL_SCRIPTED_ASKPASS));
        options.environment.emplace_back("TANDREL_TEST_ASKPASS_LOG", m_log.toStdString());
        options.environment.emplace_back("TANDREL_TEST_HOST_KEY_REPLY", hostKey);
        if (!passphrase.empty())
            options.environment.emplace_back("TANDREL_TEST_PASSPHRASE", passphrase);
        return options;
    }

    std::unique_ptr<RemoteSession> Connect(const ConnectOptions& options, RemoteStatus& error)
    {
        return RemoteSession::Connect(s_sshd->Side(s_sshd->Folder()), options, error);
    }

    // The prompts the askpass mode showed, in order.
    QStringList Prompts() const
    {
        QFile log(m_log);
        if (!log.open(QIODevice::ReadOnly))
            return {};
        QStringList prompts = QString::fromUtf8(log.readAll()).split(QStringLiteral("\n--\n"));
        prompts.removeAll(QString());
        return prompts;
    }

    static tandrel::test::LoopbackSshd* s_sshd;
    static bool s_keyMade;
    QString m_log;
};

tandrel::test::LoopbackSshd* AskpassSshTest::s_sshd = nullptr;
bool AskpassSshTest::s_keyMade = false;

TEST_F(AskpassSshTest, ThePassphraseTypedInTheDialogOpensTheKey)
{
    RemoteStatus error;
    auto session = Connect(Options({}, "pass phrase", "no"), error);
    ASSERT_TRUE(session) << error.text;
    tandrel::platform::remote::sftp::FileAttributes attributes;
    EXPECT_TRUE(session->Lstat(s_sshd->Folder(), attributes).ok());
    const QStringList prompts = Prompts();
    ASSERT_EQ(prompts.size(), 1);
    EXPECT_TRUE(prompts[0].startsWith(QStringLiteral("Enter passphrase for key"))) << prompts[0].toStdString();
}

TEST_F(AskpassSshTest, CancelFailsTheConnectionWithSshsReason)
{
    RemoteStatus error;
    EXPECT_FALSE(Connect(Options({}, {}, "no"), error));
    EXPECT_TRUE(tandrel::test::Holds(error.text, "Permission denied"));
    EXPECT_EQ(Prompts().size(), 1);
}

TEST_F(AskpassSshTest, AnUnknownHostKeyIsTrustedOnlyWhenTheUserSaysYes)
{
    const std::string knownHosts = s_sshd->KeyFolder() + "/known_hosts_empty";
    {
        RemoteStatus error;
        EXPECT_FALSE(Connect(Options(knownHosts, "pass phrase", "no"), error));
        EXPECT_TRUE(tandrel::test::Holds(error.text, "Host key verification failed"));
        const QStringList prompts = Prompts();
        ASSERT_EQ(prompts.size(), 1);
        EXPECT_TRUE(prompts[0].contains(QStringLiteral("key fingerprint is SHA256:"))) << prompts[0].toStdString();
        EXPECT_FALSE(QFile::exists(QString::fromStdString(knownHosts)));
    }
    QFile::remove(m_log);
    RemoteStatus error;
    auto session = Connect(Options(knownHosts, "pass phrase", "yes"), error);
    ASSERT_TRUE(session) << error.text;
    const QStringList prompts = Prompts();
    ASSERT_EQ(prompts.size(), 2);
    EXPECT_TRUE(prompts[0].contains(QStringLiteral("(yes/no"))) << prompts[0].toStdString();
    EXPECT_TRUE(prompts[1].startsWith(QStringLiteral("Enter passphrase"))) << prompts[1].toStdString();
    EXPECT_TRUE(QFile::exists(QString::fromStdString(knownHosts)));
}

} // namespace
