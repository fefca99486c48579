#pragma once

#include "platform/remote/SftpClient.h"
#include "platform/remote/SideAddress.h"

#include <gtest/gtest.h>

#include <string>

namespace tandrel::test {

// An sshd of the tests' own on 127.0.0.1, with host and user keys made for
// it in a temporary folder, serving SFTP. Run as root (as CI does), the tests
// log in as user nobody, so that permissions hold on the server.
class LoopbackSshd {
public:
    LoopbackSshd();
    ~LoopbackSshd();
    LoopbackSshd(const LoopbackSshd&) = delete;
    LoopbackSshd& operator=(const LoopbackSshd&) = delete;

    // Empty when the server runs; otherwise why it does not (no sshd here).
    const std::string& SkipReason() const { return m_skipReason; }

    // A folder the login user owns, on the server's file system (which is
    // this machine's): the tests check there what the client did.
    const std::string& Folder() const { return m_folder; }
    platform::remote::SideAddress Side(const std::string& path) const;
    // Keys and known hosts of this server only, never asking anyone.
    platform::remote::ConnectOptions Options() const;
    const std::string& KeyFolder() const { return m_dir; }
    int Port() const { return m_port; }
    const std::string& User() const { return m_user; }
    // A new, empty folder below Folder() named after the running test.
    std::string TestFolder() const;
    // Gives `path` (below Folder()) to the login user.
    void GiveToUser(const std::string& path) const;
    // Ends every session the server holds, as a dropped connection would.
    void KillSessions() const;

private:
    std::string m_skipReason;
    std::string m_dir;
    std::string m_folder;
    std::string m_user;
    int m_port = 0;
    int m_pid = 0;
};

// A suite of tests against one LoopbackSshd, started for the suite; each
// test is skipped with the reason where the server does not run. A derived
// SetUp calls this one first and returns when IsSkipped().
class LoopbackSshdTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_sshd = new LoopbackSshd; }
    static void TearDownTestSuite()
    {
        delete s_sshd;
        s_sshd = nullptr;
    }
    void SetUp() override
    {
        if (!s_sshd->SkipReason().empty())
            GTEST_SKIP() << s_sshd->SkipReason();
    }

    static LoopbackSshd* s_sshd;
};

} // namespace tandrel::test
