#include "ModalDriver.h"
#include "ScriptedDialogs.h"
#include "gui/app/AppSetup.h"
#include "gui/dialogs/FormGuide.h"
#include "gui/mainwindow/Form1.h"
#include "gui/run/ComparisonRun.h"
#include "gui/run/FormWait.h"
#include "platform/remote/LoopbackSshd.h"
#include "settings/SettingsFile.h"
#include "support/TempTree.h"

#include <QComboBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sys/stat.h>

namespace tandrel::gui {
namespace {

using engine::ResultCategory;

// The main window over a program folder of its own, with a source tree and
// a changed copy of it on the tests' own sshd (this machine's disk).
class RemoteComparisonTest : public test::LoopbackSshdTest {
protected:

    void SetUp() override
    {
        LoopbackSshdTest::SetUp();
        if (IsSkipped())
            return;
        m_folder = s_sshd->TestFolder();
        for (const char* folder : {"src", "src/sub", "src/Ölfass"})
            ::mkdir((m_folder + "/" + folder).c_str(), 0755);
        std::ofstream(m_folder + "/src/a.txt") << "alpha";
        std::ofstream(m_folder + "/src/sub/b c.txt") << "beta";
        std::ofstream(m_folder + "/src/Ölfass/d.txt") << "delta";
        std::system(("cp -a '" + m_folder + "/src' '" + m_folder + "/dst'").c_str());
        std::remove((m_folder + "/dst/sub/b c.txt").c_str());
        std::ofstream(m_folder + "/dst/Ölfass/d.txt") << "delta, longer";
        s_sshd->GiveToUser(m_folder);
        m_tree.MakeDir("prog");
        PrepareAppState(m_state, ToQ(m_tree.Path("prog")));
        m_state.remoteSides.SetOptions(s_sshd->Options());
        m_form = std::make_unique<Form1>(m_state, m_dialogs);
    }

    QString Remote(const std::string& name) const { return ToQ(s_sshd->Side(m_folder + "/" + name).Text()); }

    // New Comparison with the two folders typed into its boxes, then Compare.
    void CompareTyped(const QString& source, const QString& destination, bool* stayedOpen = nullptr)
    {
        test::WhenModalShown([&](QWidget* modal) {
            auto* guide = qobject_cast<FormGuide*>(modal);
            ASSERT_NE(guide, nullptr);
            guide->Combo1->setEditText(source);
            guide->Combo2->setEditText(destination);
            guide->Command1->click();
            if (stayedOpen && (*stayedOpen = guide->isVisible()))
                guide->Command2->click();
        });
        m_form->Start();
    }

    std::set<std::string> List(ResultCategory category) const
    {
        std::set<std::string> paths;
        for (const auto& item : m_state.store.List(category))
            paths.insert(item.relativePath);
        return paths;
    }

    std::string m_folder;
    test::TempTree m_tree;
    AppState m_state;
    test::ScriptedDialogs m_dialogs;
    std::unique_ptr<Form1> m_form;
};


TEST_F(RemoteComparisonTest, ATypedRemoteFolderIsComparedAndRememberedAsTyped)
{
    const QString destination = Remote("dst");
    CompareTyped(ToQ(m_folder + "/src"), destination);
    EXPECT_TRUE(m_dialogs.requests.empty());
    EXPECT_EQ(List(ResultCategory::NotInDestination), std::set<std::string>{"sub/b c.txt"});
    EXPECT_EQ(List(ResultCategory::OnlySizeChanged), std::set<std::string>{"Ölfass/d.txt"});
    EXPECT_EQ(m_state.store.TotalCount(), 2u);
    EXPECT_EQ(m_state.store.DestinationRoot(), FromQ(destination) + "/");
    ASSERT_NE(ProgressWindow(m_form.get()), nullptr);
    ProgressWindow(m_form.get())->Command1->click();

    EXPECT_EQ(m_state.settings.recentDestinations[0], FromQ(destination));
    settings::SettingsState reread;
    settings::ReadSettings(FromQ(m_state.settingsPath), reread);
    EXPECT_EQ(reread.recentDestinations[0], FromQ(destination));
}

TEST_F(RemoteComparisonTest, BothSidesRemoteInTheScpForm)
{
    auto options = s_sshd->Options();
    options.sshArguments.insert(options.sshArguments.begin(), {"-p", std::to_string(s_sshd->Port())});
    m_state.remoteSides.SetOptions(options);
    const QString source = ToQ(s_sshd->User() + "@127.0.0.1:" + m_folder + "/src");
    CompareTyped(source, Remote("dst"));
    EXPECT_TRUE(m_dialogs.requests.empty());
    EXPECT_EQ(List(ResultCategory::NotInDestination), std::set<std::string>{"sub/b c.txt"});
    EXPECT_EQ(m_state.store.SourceRoot(), FromQ(source) + "/");
}

struct Unreachable {
    const char* name;
    std::string side; // {} stands for a folder of the test's own that is not there
    QString reason;
};

class RemoteNotAccessibleTest : public RemoteComparisonTest, public ::testing::WithParamInterface<Unreachable> {};

TEST_P(RemoteNotAccessibleTest, TheDialogSaysSoWithTheReasonAndStaysOpen)
{
    const QString side = GetParam().side.empty() ? Remote("nope") : ToQ(GetParam().side);
    bool stayedOpen = false;
    CompareTyped(ToQ(m_folder + "/src"), side, &stayedOpen);
    EXPECT_TRUE(stayedOpen);
    EXPECT_FALSE(m_state.runFlag.IsSet());
    ASSERT_EQ(m_dialogs.requests.size(), 1u);
    const QString text = m_dialogs.requests[0].text;
    EXPECT_TRUE(text.startsWith(side + QStringLiteral(" is not accessible.\n"))) << text.toStdString();
    EXPECT_TRUE(text.contains(GetParam().reason)) << text.toStdString();
    EXPECT_EQ(m_dialogs.requests[0].icon, MessageIcon::Critical);
}

INSTANTIATE_TEST_SUITE_P(Sides, RemoteNotAccessibleTest,
                         ::testing::Values(Unreachable{"NoSuchFolder", {}, QStringLiteral("No such file")},
                                           Unreachable{"BadPort", "sftp://host:0x/x",
                                                       QStringLiteral("is not a port number")},
                                           Unreachable{"HostNotAnswering", "sftp://192.0.2.1:9/x",
                                                       QStringLiteral("ssh: connect to host 192.0.2.1")}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace tandrel::gui
