#include "ProgramFolder.h"
#include "ScriptedDialogs.h"
#include "support/TempTree.h"

#include "desktop/DesktopWindows.h"
#include "gui/app/AppState.h"
#include "gui/run/Companion.h"
#include "gui/dialogs/FormAbout.h"
#include "gui/app/Help.h"

#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>

extern char** environ;

namespace tandrel::gui {
namespace {

using test::ProgramFolder;
using test::ScriptedDialogs;
using test::TempTree;

// Sets an environment variable for the scope of a test and puts it back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_old)
            setenv(m_name, m_old->c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

bool WaitFor(const std::function<bool()>& condition)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > 15000)
            return false;
        QTest::qWait(20);
    }
    return true;
}

// A Larkrun that notes where it was started, once it runs.
void InstallLarkrun(TempTree& tree, unsigned mode = 0755)
{
    tree.WriteFile("Daylark/Larkrun", "#!/bin/sh\npwd > started.tmp && mv started.tmp started\n");
    tree.Chmod("Daylark/Larkrun", mode);
}

// A private X server for the tests that need a desktop, so that no test ever
// touches the user's own screen.
class PrivateXServer {
public:
    PrivateXServer()
    {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        const std::string fd = std::to_string(fds[1]);
        const char* argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0", "800x600x24",
                              nullptr};
        const int spawned = posix_spawnp(&m_pid, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (spawned != 0) {
            m_pid = 0;
            close(fds[0]);
            return;
        }
        std::string number;
        char c = 0;
        while (read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (!number.empty())
            m_display = ":" + number;
    }
    ~PrivateXServer()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    const std::string& Display() const { return m_display; }

private:
    pid_t m_pid = 0;
    std::string m_display;
};

// A window of the stand-in companion program, in its own process.
class HelperWindow {
public:
    explicit HelperWindow(const QString& title)
    {
        m_process.start(QStringLiteral(TANDREL_DAYLARK_WINDOW), {title});
        if (m_process.waitForStarted() && m_process.waitForReadyRead(15000))
            m_window = m_process.readLine().trimmed().toUInt();
    }
    ~HelperWindow()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    xcb_window_t Window() const { return m_window; }

private:
    QProcess m_process;
    xcb_window_t m_window = 0;
};

TEST(RunCompanion, StartsLarkrunInItsFolderWhenNoWindowIsFound)
{
    ScopedEnv noX("DISPLAY", std::nullopt); // a desktop without X11: start only
    ProgramFolder folder;
    InstallLarkrun(folder.tree);
    ScriptedDialogs& dialogs = folder.dialogs;
    EXPECT_EQ(RunCompanionOutcome(folder.state, dialogs, nullptr), CompanionOutcome::Started);
    EXPECT_TRUE(dialogs.requests.empty());
    ASSERT_TRUE(WaitFor([&] { return folder.tree.Exists("Daylark/started"); }));
    EXPECT_EQ(QFileInfo(QString::fromStdString(folder.tree.ReadFile("Daylark/started")).trimmed()).canonicalFilePath(),
              QFileInfo(QString::fromStdString(folder.tree.Path("Daylark"))).canonicalFilePath());
}

TEST(RunCompanion, FailureMessageOncePerCommand)
{
    ScopedEnv noX("DISPLAY", std::nullopt);
    ProgramFolder folder;
    ScriptedDialogs& dialogs = folder.dialogs;
    EXPECT_EQ(RunCompanionOutcome(folder.state, dialogs, nullptr), CompanionOutcome::Failed);
    RunCompanion(folder.state, dialogs, nullptr);
    ASSERT_EQ(dialogs.requests.size(), 2u);
    for (const auto& request : dialogs.requests) {
        EXPECT_EQ(request.text, "Can not start Daylark. Please reinstall this software.");
        EXPECT_EQ(request.title, "Error");
        EXPECT_EQ(request.icon, MessageIcon::Critical);
        EXPECT_EQ(request.buttons, MessageButtons::Ok);
    }

    // Present but not executable: refused by the system, the same message.
    InstallLarkrun(folder.tree, 0644);
    dialogs.Clear();
    EXPECT_EQ(RunCompanionOutcome(folder.state, dialogs, nullptr), CompanionOutcome::Failed);
    EXPECT_EQ(dialogs.requests.size(), 1u);
}

class CompanionOnX11 : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            GTEST_SKIP() << "no Xvfb on this machine: the window search needs an X server";
        m_server = std::make_unique<PrivateXServer>();
        if (m_server->Display().empty())
            GTEST_SKIP() << "Xvfb did not start";
        m_display = std::make_unique<ScopedEnv>("DISPLAY", m_server->Display());
        m_conn = xcb_connect(m_server->Display().c_str(), &m_screen);
        ASSERT_FALSE(xcb_connection_has_error(m_conn));
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_conn)).data->root;
        xcb_intern_atom_cookie_t* cookies = xcb_ewmh_init_atoms(m_conn, &m_ewmh);
        ASSERT_TRUE(xcb_ewmh_init_atoms_replies(&m_ewmh, cookies, nullptr));
        InstallLarkrun(folder.tree);
    }
    void TearDown() override
    {
        if (m_conn) {
            xcb_ewmh_connection_wipe(&m_ewmh);
            xcb_disconnect(m_conn);
        }
    }

    std::vector<xcb_window_t> Stacking()
    {
        std::vector<xcb_window_t> out;
        xcb_query_tree_reply_t* tree = xcb_query_tree_reply(m_conn, xcb_query_tree(m_conn, m_root), nullptr);
        if (tree) {
            const xcb_window_t* children = xcb_query_tree_children(tree);
            out.assign(children, children + xcb_query_tree_children_length(tree));
            std::free(tree);
        }
        return out;
    }

    // Plays the part of an EWMH window manager: announces what it supports
    // and which clients it manages, and listens for the clients' requests.
    void ActAsWindowManager(const std::vector<xcb_window_t>& clients)
    {
        const xcb_atom_t supported[] = {m_ewmh._NET_SUPPORTED, m_ewmh._NET_CLIENT_LIST, m_ewmh._NET_ACTIVE_WINDOW,
                                        m_ewmh._NET_WM_STATE, m_ewmh._NET_WM_STATE_HIDDEN,
                                        m_ewmh._NET_WM_STATE_DEMANDS_ATTENTION};
        xcb_ewmh_set_supported(&m_ewmh, m_screen, 6, const_cast<xcb_atom_t*>(supported));
        xcb_ewmh_set_client_list(&m_ewmh, m_screen, static_cast<std::uint32_t>(clients.size()),
                                 const_cast<xcb_window_t*>(clients.data()));
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_conn, m_root, XCB_CW_EVENT_MASK, &mask);
        Sync();
    }
    void Sync() { std::free(xcb_get_input_focus_reply(m_conn, xcb_get_input_focus(m_conn), nullptr)); }

    // The client messages that reached the root window.
    std::vector<xcb_client_message_event_t> ClientMessages()
    {
        std::vector<xcb_client_message_event_t> out;
        WaitFor([&] {
            Sync();
            while (xcb_generic_event_t* event = xcb_poll_for_event(m_conn)) {
                if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE)
                    out.push_back(*reinterpret_cast<xcb_client_message_event_t*>(event));
                std::free(event);
            }
            return !out.empty();
        });
        return out;
    }

    bool Findable(const std::string& title)
    {
        return WaitFor([&] { return desktop::DesktopWindows(m_server->Display()).FindTopLevelWindow(title).has_value(); });
    }

    ProgramFolder folder;
    ScriptedDialogs& dialogs = folder.dialogs;
    std::unique_ptr<PrivateXServer> m_server;
    std::unique_ptr<ScopedEnv> m_display;
    xcb_connection_t* m_conn = nullptr;
    int m_screen = 0;
    xcb_window_t m_root = 0;
    xcb_ewmh_connection_t m_ewmh{};
};

TEST_F(CompanionOnX11, RunningCompanionIsRaisedWithoutAWindowManager)
{
    HelperWindow daylark("Daylark");
    ASSERT_TRUE(Findable("Daylark"));
    HelperWindow other("Daylark notes"); // a near miss, opened above it
    ASSERT_TRUE(Findable("Daylark notes"));
    ASSERT_NE(daylark.Window(), 0u);
    ASSERT_EQ(Stacking().back(), other.Window());

    desktop::DesktopWindows desktop(m_server->Display());
    EXPECT_EQ(desktop.FindTopLevelWindow("Daylark"), daylark.Window());
    EXPECT_EQ(desktop.WindowTitle(daylark.Window()), "Daylark");
    EXPECT_FALSE(desktop.FindTopLevelWindow("daylark").has_value());

    EXPECT_EQ(RunCompanionOutcome(folder.state, dialogs, nullptr), CompanionOutcome::Raised);
    EXPECT_TRUE(dialogs.requests.empty());
    Sync();
    EXPECT_EQ(Stacking().back(), daylark.Window());
    EXPECT_FALSE(folder.tree.Exists("Daylark/started")); // no second copy

    // Put in a frame, as a window manager without EWMH would: found one level
    // down, and its frame is raised.
    const xcb_window_t frame = xcb_generate_id(m_conn);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_conn)).data;
    xcb_create_window(m_conn, XCB_COPY_FROM_PARENT, frame, m_root, 0, 0, 300, 200, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, 0, nullptr);
    xcb_map_window(m_conn, frame);
    xcb_reparent_window(m_conn, daylark.Window(), frame, 4, 20);
    const std::uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(m_conn, other.Window(), XCB_CONFIG_WINDOW_STACK_MODE, &above);
    Sync();
    ASSERT_EQ(Stacking().back(), other.Window());
    EXPECT_EQ(RunCompanionOutcome(folder.state, dialogs, nullptr), CompanionOutcome::Raised);
    Sync();
    EXPECT_EQ(Stacking().back(), frame);
    EXPECT_TRUE(dialogs.requests.empty());
}

TEST_F(CompanionOnX11, WindowManagerIsAskedToActivateOrToFlagAMinimisedOne)
{
    HelperWindow other("Other");
    HelperWindow daylark("Daylark");
    ASSERT_TRUE(Findable("Daylark"));
    ASSERT_TRUE(Findable("Other"));
    ActAsWindowManager({other.Window(), daylark.Window()});

    EXPECT_EQ(RunCompanionOutcome(folder.state, dialogs, nullptr), CompanionOutcome::Raised);
    std::vector<xcb_client_message_event_t> messages = ClientMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].type, m_ewmh._NET_ACTIVE_WINDOW);
    EXPECT_EQ(messages[0].window, daylark.Window());
    EXPECT_EQ(messages[0].data.data32[0], 2u); // as a pager asks

    // Minimised: it stays so, and asks for attention instead.
    xcb_atom_t hidden = m_ewmh._NET_WM_STATE_HIDDEN;
    xcb_ewmh_set_wm_state(&m_ewmh, daylark.Window(), 1, &hidden);
    Sync();
    EXPECT_EQ(RunCompanionOutcome(folder.state, dialogs, nullptr), CompanionOutcome::Raised);
    messages = ClientMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].type, m_ewmh._NET_WM_STATE);
    EXPECT_EQ(messages[0].window, daylark.Window());
    EXPECT_EQ(messages[0].data.data32[0], 1u); // add
    EXPECT_EQ(messages[0].data.data32[1], m_ewmh._NET_WM_STATE_DEMANDS_ATTENTION);
    EXPECT_EQ(messages[0].data.data32[3], 2u);

    // A client list without the companion: it is started.
    ActAsWindowManager({other.Window()});
    EXPECT_EQ(RunCompanionOutcome(folder.state, dialogs, nullptr), CompanionOutcome::Started);
    EXPECT_TRUE(WaitFor([&] { return folder.tree.Exists("Daylark/started"); }));
    EXPECT_TRUE(dialogs.requests.empty());
}

// Receives the URLs that the desktop would open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

TEST(ShowHelpContents, OpensTheIndexPageOrSaysWhyNot)
{
    ProgramFolder folder;
    ScriptedDialogs& dialogs = folder.dialogs;
    ShowHelpContents(folder.state, dialogs, nullptr);
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].title, "Tandrel");
    EXPECT_EQ(dialogs.requests[0].icon, MessageIcon::Critical);
    const QString page = folder.state.appFolder + "help/index.html";
    EXPECT_TRUE(dialogs.requests[0].text.contains(page)) << dialogs.requests[0].text.toStdString();
    EXPECT_TRUE(dialogs.requests[0].text.startsWith("The help pages can not be found"));

    folder.tree.WriteFile("help/index.html", "<html><title>Tandrel Help</title></html>");
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
    dialogs.Clear();
    ShowHelpContents(folder.state, dialogs, nullptr);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    EXPECT_TRUE(dialogs.requests.empty());
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls[0], QUrl::fromLocalFile(page));

    // An application folder without its trailing separator gives the same page.
    folder.state.appFolder.chop(1);
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
    ShowHelpContents(folder.state, dialogs, nullptr);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(catcher.urls.size(), 2);
    EXPECT_EQ(catcher.urls[1], QUrl::fromLocalFile(page));
}

TEST(ShowHelpContents, ShippedPagesLinkOnlyToPagesThatExist)
{
    const QDir help(QStringLiteral(TANDREL_SOURCE_DIR "/resources/help"));
    ASSERT_TRUE(help.exists("index.html")) << help.absolutePath().toStdString();
    const QStringList pages = help.entryList({"*.html"}, QDir::Files);
    EXPECT_GE(pages.size(), 6);
    const QRegularExpression link(QStringLiteral("href=\"([^\"#]+)(#[^\"]*)?\""));
    for (const QString& page : pages) {
        QFile file(help.filePath(page));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(file.readAll());
        EXPECT_TRUE(html.contains("<title>")) << page.toStdString();
        for (auto it = link.globalMatch(html); it.hasNext();) {
            const QString target = it.next().captured(1);
            if (target.contains(':'))
                continue;
            EXPECT_TRUE(help.exists(target)) << page.toStdString() << " -> " << target.toStdString();
        }
    }
}

TEST(FormAbout, NameVersionPictureAndClose)
{
    FormAbout about;
    about.show();
    EXPECT_EQ(about.windowTitle(), "About");
    EXPECT_EQ(about.findChild<QLabel*>("Label1")->text(), "Tandrel 5.0");
    EXPECT_FALSE(about.findChild<QLabel*>("Image1")->pixmap().isNull());
    EXPECT_TRUE(about.findChild<QLabel*>("Label2")->text().startsWith("Copyright"));
    EXPECT_FALSE(about.findChild<QLabel*>("Label4")->text().isEmpty());
    auto* close = about.findChild<QPushButton*>("Command2");
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->text(), "&Close");
    // The coloured band lies behind the button.
    auto* band = about.findChild<QWidget*>("Label6");
    ASSERT_NE(band, nullptr);
    EXPECT_TRUE(band->isAncestorOf(close));
    EXPECT_TRUE(band->autoFillBackground());
    QTest::mouseClick(close, Qt::LeftButton);
    EXPECT_FALSE(about.isVisible());
}

} // namespace
} // namespace tandrel::gui

#include "DesktopServicesTest.moc"
