#include "cli/CliProcess.h"
#include "platform/remote/LoopbackSshd.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sys/stat.h>

namespace tandrel::test {
namespace {

// tandrel-cli with a side on the tests' own sshd, reached through an ssh
// configuration file made for it.
class CliRemoteTest : public test::LoopbackSshdTest {
protected:

    void SetUp() override
    {
        LoopbackSshdTest::SetUp();
        if (IsSkipped())
            return;
        m_folder = s_sshd->TestFolder();
        m_config = m_folder + "/ssh_config";
        std::ofstream(m_config) << "Host *\n  IdentitiesOnly yes\n  IdentityFile " << s_sshd->KeyFolder()
                                << "/user_key\n  UserKnownHostsFile " << s_sshd->KeyFolder()
                                << "/known_hosts\n  StrictHostKeyChecking yes\n  BatchMode yes\n  LogLevel ERROR\n"
                                << "  ConnectTimeout 2\n";
        for (const char* folder : {"src", "src/sub dir", "src/Öl"})
            ::mkdir((m_folder + "/" + folder).c_str(), 0755);
        std::ofstream(m_folder + "/src/a.txt") << "alpha";
        std::ofstream(m_folder + "/src/sub dir/b.txt") << "beta";
        std::ofstream(m_folder + "/src/Öl/c.txt") << "gamma";
        std::system(("cp -a '" + m_folder + "/src' '" + m_folder + "/dst'").c_str());
        std::ofstream(m_folder + "/dst/sub dir/b.txt") << "beta, longer";
        std::remove((m_folder + "/dst/Öl/c.txt").c_str());
        s_sshd->GiveToUser(m_folder);
    }

    std::string Remote(const std::string& name) const { return s_sshd->Side(m_folder + "/" + name).Text(); }
    CliRun Cli(std::vector<std::string> args) const
    {
        args.insert(args.begin() + 1, {"--ssh-config", m_config});
        return RunCli(args);
    }

    std::string m_folder;
    std::string m_config;
};


TEST_F(CliRemoteTest, CompareAgainstARemoteFolderCountsAsLocally)
{
    const CliRun local = Cli({"compare", "--summary", m_folder + "/src", m_folder + "/dst"});
    const CliRun remote = Cli({"compare", "--summary", m_folder + "/src", Remote("dst")});
    EXPECT_EQ(remote.status, 1) << remote.err;
    EXPECT_EQ(remote.err, "");
    EXPECT_EQ(remote.out, local.out);
    EXPECT_NE(remote.out.find("Can not find destination: 1"), std::string::npos) << remote.out;
}

TEST_F(CliRemoteTest, ReportShowsTheRemoteSideAsTyped)
{
    std::ofstream(m_config, std::ios::app) << "  Port " << s_sshd->Port() << "\n";
    const std::string typed = s_sshd->User() + "@127.0.0.1:" + m_folder + "/src";
    const CliRun run = Cli({"compare", typed, Remote("dst")});
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.out.find(typed + "/Öl/c.txt"), std::string::npos) << run.out;
}

struct Refusal {
    const char* name;
    std::string side; // {} stands for the test's own folder
    std::string reason;
};

class CliRemoteRefusalTest : public CliRemoteTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(CliRemoteRefusalTest, BadOrUnreachableSideIsRefusedWithTheReason)
{
    const Refusal& refusal = GetParam();
    const std::string side = refusal.side.empty() ? Remote("nope") : refusal.side;
    const CliRun run = Cli({"compare", "--summary", "--", m_folder + "/src", side});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("'" + side + "'"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(refusal.reason), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Sides, CliRemoteRefusalTest,
    ::testing::Values(Refusal{"BadPort", "sftp://host:99999/x", "'99999' is not a port number"},
                      Refusal{"EmptyHost", "sftp:///x", "no host is named"},
                      Refusal{"DashedHost", "-oProxyCommand=x:/y", "is not a remote folder"},
                      Refusal{"NoSuchFolder", {}, "No such file"},
                      Refusal{"HostNotAnswering", "sftp://192.0.2.1:9/x", "is not accessible: ssh"}),
    [](const auto& info) { return std::string(info.param.name); });

// The comparison's connection serves the copy after it: the one file the
// remote side lacks is copied there, and a new comparison finds no row left
// in that list.
TEST_F(CliRemoteTest, CopyToARemoteSideAfterTheComparison)
{
    const CliRun run = Cli({"copy", "--lists", "3", "--to", "destination", m_folder + "/src", Remote("dst")});
    EXPECT_EQ(run.status, 0) << run.err;
    std::ifstream copied(m_folder + "/dst/Öl/c.txt");
    std::string content;
    std::getline(copied, content);
    EXPECT_EQ(content, "gamma");
    const CliRun again = Cli({"compare", "--summary", m_folder + "/src", Remote("dst")});
    EXPECT_NE(again.out.find("Can not find destination: 0"), std::string::npos) << again.out;
}

} // namespace
} // namespace tandrel::test
