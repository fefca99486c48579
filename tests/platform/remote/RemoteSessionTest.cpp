#include "LoopbackSshd.h"

#include "platform/FileOps.h"
#include "platform/remote/RemoteSession.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <fstream>
#include <netinet/in.h>
#include <random>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tandrel::platform::remote {
namespace {

using test::LoopbackSshd;

std::string Bytes(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

std::string OnDisk(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

// Names in a folder on the server's disk that have the temporary form.
int TemporariesIn(const std::string& folder)
{
    int count = 0;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(dir))
            count += std::string(e->d_name).rfind(kTempFilePrefix, 0) == 0;
        ::closedir(dir);
    }
    return count;
}

class RemoteSessionTest : public test::LoopbackSshdTest {
protected:

    void SetUp() override
    {
        LoopbackSshdTest::SetUp();
        if (IsSkipped())
            return;
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_local = s_sshd->Folder() + "/" + info->name();
        ASSERT_EQ(::mkdir(m_local.c_str(), 0755), 0);
        s_sshd->GiveToUser(m_local);
        m_session = Open(s_sshd->Options());
        ASSERT_TRUE(m_session);
    }

    std::unique_ptr<RemoteSession> Open(const ConnectOptions& options)
    {
        RemoteStatus error;
        auto session = RemoteSession::Connect(s_sshd->Side(m_local), options, error);
        EXPECT_TRUE(error.ok()) << error.text;
        return session;
    }

    // The same place as seen by the server and on this machine's disk.
    std::string Remote(const std::string& relative) const { return m_local + "/" + relative; }
    std::string Local(const std::string& relative) const { return m_local + "/" + relative; }

    std::string m_local;
    std::unique_ptr<RemoteSession> m_session;
};


TEST_F(RemoteSessionTest, WritesAndReadsBackEveryByte)
{
    const std::uint32_t chunk = m_session->Client().MaxWriteLength();
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{chunk - 1}, std::size_t{chunk},
                                   std::size_t{chunk + 1}, std::size_t{5 * 1024 * 1024 + 3}}) {
        const std::string name = "file-" + std::to_string(size);
        const std::string content = Bytes(size, static_cast<unsigned>(size));
        ASSERT_TRUE(m_session->WriteFile(Remote(name), content, 0644, 1600000000).ok()) << size;
        EXPECT_EQ(OnDisk(Local(name)), content) << size;
        std::string back;
        ASSERT_TRUE(m_session->ReadFile(Remote(name), back).ok()) << size;
        EXPECT_EQ(back, content) << size;
    }
    EXPECT_EQ(TemporariesIn(m_local), 0);
}

TEST_F(RemoteSessionTest, ReplacesATargetAndCarriesPermissionsAndTimes)
{
    ASSERT_TRUE(m_session->WriteFile(Remote("f"), "old", 0600, 1000).ok());
    ASSERT_TRUE(m_session->WriteFile(Remote("f"), "new content", 0751, 1234567890).ok());
    struct stat st {};
    ASSERT_EQ(::lstat(Local("f").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0751u);
    EXPECT_EQ(st.st_mtime, 1234567890);
    EXPECT_EQ(OnDisk(Local("f")), "new content");

    sftp::FileAttributes attributes;
    ASSERT_TRUE(m_session->Lstat(Remote("f"), attributes).ok());
    EXPECT_TRUE(attributes.IsFile());
    EXPECT_EQ(attributes.size, 11u);
    EXPECT_EQ(attributes.mtime, 1234567890u);
    EXPECT_EQ(attributes.permissions & 07777, 0751u);
}

TEST_F(RemoteSessionTest, NamesWithSpacesAndLettersBeyondAsciiArriveExactly)
{
    const std::string folder = "dir with space \xc3\xa9t\xc3\xa9";
    const std::string file = "\xe5\x90\x8d \xc3\xbc \xd0\xb6.txt";
    ASSERT_TRUE(m_session->MakeFolder(Remote(folder), 0755).ok());
    ASSERT_TRUE(m_session->WriteFile(Remote(folder + "/" + file), "x", 0644, 1).ok());
    EXPECT_EQ(OnDisk(Local(folder + "/" + file)), "x");
    std::vector<sftp::NameEntry> entries;
    ASSERT_TRUE(m_session->ListFolder(Remote(folder), entries).ok());
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, file);
    EXPECT_TRUE(entries[0].attributes.IsFile());
}

TEST_F(RemoteSessionTest, LinksAreMadeAndReadAsLinks)
{
    ASSERT_TRUE(m_session->MakeLink(Remote("link"), "target name").ok());
    char target[64] = {};
    ASSERT_GT(::readlink(Local("link").c_str(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "target name");
    std::string read;
    ASSERT_TRUE(m_session->ReadLink(Remote("link"), read).ok());
    EXPECT_EQ(read, "target name");
    sftp::FileAttributes attributes;
    ASSERT_TRUE(m_session->Lstat(Remote("link"), attributes).ok());
    EXPECT_TRUE(attributes.IsLink());
}

TEST_F(RemoteSessionTest, OnlyAMissingEntryIsAbsent)
{
    sftp::FileAttributes attributes;
    EXPECT_TRUE(m_session->Lstat(Remote("missing"), attributes).Absent());

    // A folder the login user may not read (not theirs, no permission).
    if (::geteuid() != 0)
        GTEST_SKIP() << "a folder unreadable to the login user needs another owner (root)";
    ASSERT_EQ(::mkdir(Local("locked").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(Local("locked/inner").c_str(), 0700), 0);
    std::vector<sftp::NameEntry> entries;
    const RemoteStatus listing = m_session->ListFolder(Remote("locked"), entries);
    EXPECT_FALSE(listing.ok());
    EXPECT_FALSE(listing.Absent());
    EXPECT_EQ(listing.code, sftp::StatusCode::PermissionDenied) << listing.text;
    const RemoteStatus inner = m_session->Lstat(Remote("locked/inner"), attributes);
    EXPECT_FALSE(inner.ok());
    EXPECT_FALSE(inner.Absent()) << inner.text;
    const RemoteStatus write = m_session->WriteFile(Remote("locked/f"), "x", 0644, 1);
    EXPECT_EQ(write.code, sftp::StatusCode::PermissionDenied) << write.text;
}

TEST_F(RemoteSessionTest, AFailedWriteLeavesTheOldTargetAndNoTemporary)
{
    ASSERT_TRUE(m_session->WriteFile(Remote("kept"), "old content", 0644, 1000).ok());
    FileWrite request;
    request.path = Remote("kept");
    request.size = 4 * m_session->Client().MaxWriteLength();
    request.source = [&](std::uint64_t offset, std::uint32_t length, std::string& chunk, std::string& error) {
        if (offset > 0) {
            error = "the source could not be read";
            return false;
        }
        chunk.assign(length, 'n');
        return true;
    };
    const RemoteStatus status = m_session->WriteFile(request);
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(status.text, "the source could not be read");
    EXPECT_EQ(OnDisk(Local("kept")), "old content");
    EXPECT_EQ(TemporariesIn(m_local), 0);

    // A rename that fails (the target is a folder that is not empty) too.
    ASSERT_TRUE(m_session->MakeFolder(Remote("folder"), 0755).ok());
    ASSERT_TRUE(m_session->WriteFile(Remote("folder/inside"), "x", 0644, 1).ok());
    EXPECT_FALSE(m_session->WriteFile(Remote("folder"), "y", 0644, 1).ok());
    EXPECT_EQ(OnDisk(Local("folder/inside")), "x");
    EXPECT_EQ(TemporariesIn(m_local), 0);
}

TEST_F(RemoteSessionTest, FoldersFilesAndLinksAreRemovedAndRenamed)
{
    ASSERT_TRUE(m_session->MakeFolder(Remote("d"), 0700).ok());
    ASSERT_TRUE(m_session->WriteFile(Remote("d/f"), "x", 0644, 1).ok());
    EXPECT_FALSE(m_session->RemoveFolder(Remote("d")).ok()); // not empty
    ASSERT_TRUE(m_session->Rename(Remote("d/f"), Remote("g")).ok());
    ASSERT_TRUE(m_session->HardLink(Remote("g"), Remote("h")).ok());
    EXPECT_EQ(OnDisk(Local("h")), "x");
    ASSERT_TRUE(m_session->RemoveFolder(Remote("d")).ok());
    ASSERT_TRUE(m_session->RemoveFile(Remote("g")).ok());
    ASSERT_TRUE(m_session->SetTimes(Remote("h"), 5, 6).ok());
    ASSERT_TRUE(m_session->SetPermissions(Remote("h"), 0604).ok());
    struct stat st {};
    ASSERT_EQ(::lstat(Local("h").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 6);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    EXPECT_NE(::access(Local("d").c_str(), F_OK), 0);
    EXPECT_TRUE(m_session->RemoveFile(Remote("g")).Absent());
    sftp::SpaceInfo space;
    ASSERT_TRUE(m_session->Space(Remote(""), space).ok());
    EXPECT_GT(space.fragmentSize, 0u);
    EXPECT_GT(space.blocks, 0u);
}

TEST_F(RemoteSessionTest, ManyFoldersAreListedAtOnceWithinTheWindow)
{
    std::vector<std::string> folders;
    for (int d = 0; d < 40; ++d) {
        const std::string name = "d" + std::to_string(d);
        ASSERT_EQ(::mkdir(Local(name).c_str(), 0755), 0);
        for (int f = 0; f < d % 7; ++f)
            std::ofstream(Local(name + "/f" + std::to_string(f))) << f;
        folders.push_back(Remote(name));
    }
    std::vector<std::vector<sftp::NameEntry>> listings;
    const auto statuses = m_session->ListFolders(folders, listings);
    for (int d = 0; d < 40; ++d) {
        EXPECT_TRUE(statuses[d].ok()) << statuses[d].text;
        EXPECT_EQ(listings[d].size(), static_cast<std::size_t>(d % 7)) << d;
    }

    // Requests go out together, but never more than the window allows.
    ConnectOptions narrow = s_sshd->Options();
    narrow.maxRequestsInFlight = 3;
    auto session = Open(narrow);
    ASSERT_TRUE(session);
    std::size_t most = 0;
    std::size_t answered = 0;
    for (const auto& folder : folders) {
        session->Operations().Lstat(folder, [&](const RemoteStatus& status, const sftp::FileAttributes& a) {
            EXPECT_TRUE(status.ok() && a.IsFolder());
            ++answered;
        });
        most = std::max(most, session->Client().RequestsInFlight());
    }
    EXPECT_EQ(most, 3u);
    session->Client().Run();
    EXPECT_EQ(answered, folders.size());
}

TEST_F(RemoteSessionTest, ALostConnectionFailsEveryRequestInFlightWithItsReason)
{
    constexpr int kFiles = 12;
    const std::size_t size = 8 * m_session->Client().MaxWriteLength();
    std::vector<RemoteStatus> results(kFiles);
    std::vector<int> completions(kFiles, 0);
    int chunksGiven = 0;
    for (int i = 0; i < kFiles; ++i) {
        FileWrite request;
        request.path = Remote("f" + std::to_string(i));
        request.size = size;
        request.permissions = 0644;
        request.source = [&, i](std::uint64_t, std::uint32_t length, std::string& chunk, std::string&) {
            // The connection goes in the middle of the transfer.
            if (++chunksGiven == 40)
                s_sshd->KillSessions();
            chunk.assign(length, static_cast<char>('a' + i));
            return true;
        };
        m_session->Operations().WriteFile(std::move(request), [&, i](const RemoteStatus& status) {
            results[i] = status;
            ++completions[i];
        });
    }
    m_session->Client().Run();
    int failed = 0;
    for (int i = 0; i < kFiles; ++i) {
        EXPECT_EQ(completions[i], 1) << i;
        if (results[i].ok()) {
            // Reported done: it is on the server, whole.
            EXPECT_EQ(OnDisk(Local("f" + std::to_string(i))), std::string(size, static_cast<char>('a' + i)));
            continue;
        }
        ++failed;
        EXPECT_EQ(results[i].kind, RemoteStatus::Kind::Connection) << results[i].text;
        EXPECT_EQ(results[i].text.rfind("connection lost: ", 0), 0u) << results[i].text;
        EXPECT_NE(::access(Local("f" + std::to_string(i)).c_str(), F_OK), 0) << i;
    }
    EXPECT_GT(failed, 0);
    EXPECT_TRUE(m_session->Client().Lost());
    // Later requests fail at once, with the same reason.
    sftp::FileAttributes attributes;
    EXPECT_EQ(m_session->Lstat(Remote(""), attributes).kind, RemoteStatus::Kind::Connection);
    // A new connection works.
    auto again = Open(s_sshd->Options());
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->Lstat(Remote(""), attributes).ok());
}

TEST_F(RemoteSessionTest, DeferredWorkRunsWithTheCompletions)
{
    bool ran = false;
    m_session->Client().Defer([&] { ran = true; });
    EXPECT_FALSE(ran);
    m_session->Client().Run();
    EXPECT_TRUE(ran);
}

TEST_F(RemoteSessionTest, AHostThatDoesNotAnswerFailsInBoundedTimeWithSshsReason)
{
    // A port that takes connections but never says a word.
    const int silent = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(silent, 4), 0);
    ASSERT_EQ(::getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length), 0);
    ConnectOptions options = s_sshd->Options();
    options.connectTimeoutSeconds = 1;
    RemoteStatus error;
    auto session =
        RemoteSession::Connect(SideAddress::Remote(s_sshd->User(), "127.0.0.1", ntohs(address.sin_port), "/"),
                               options, error);
    ::close(silent);
    EXPECT_FALSE(session);
    EXPECT_EQ(error.kind, RemoteStatus::Kind::Connection);
    EXPECT_NE(error.text.find("timed out"), std::string::npos) << error.text;
}

TEST_F(RemoteSessionTest, RefusedKeysAndUnknownHostKeysAreReportedInSshsWords)
{
    ConnectOptions wrongKey = s_sshd->Options();
    for (auto& argument : wrongKey.sshArguments) {
        if (argument.rfind("-oIdentityFile=", 0) == 0)
            argument = "-oIdentityFile=" + s_sshd->KeyFolder() + "/host_key";
    }
    RemoteStatus error;
    EXPECT_FALSE(RemoteSession::Connect(s_sshd->Side(m_local), wrongKey, error));
    EXPECT_NE(error.text.find("Permission denied"), std::string::npos) << error.text;

    ConnectOptions unknownHost = s_sshd->Options();
    for (auto& argument : unknownHost.sshArguments) {
        if (argument.rfind("-oUserKnownHostsFile=", 0) == 0)
            argument = "-oUserKnownHostsFile=/dev/null";
    }
    EXPECT_FALSE(RemoteSession::Connect(s_sshd->Side(m_local), unknownHost, error));
    EXPECT_NE(error.text.find("Host key verification failed"), std::string::npos) << error.text;

    ConnectOptions noProgram = s_sshd->Options();
    noProgram.program = "/nonexistent/ssh";
    EXPECT_FALSE(RemoteSession::Connect(s_sshd->Side(m_local), noProgram, error));
    EXPECT_NE(error.text.find("No such file or directory"), std::string::npos) << error.text;
}

} // namespace
} // namespace tandrel::platform::remote

namespace tandrel::platform::remote {
namespace {

// A client whose "ssh" is a fake server that breaks the protocol as `mode` says.
std::unique_ptr<RemoteSession> ConnectToFake(const std::string& mode, RemoteStatus& error)
{
    // The client puts ssh's own options first (-x -a, which sh takes as
    // well); sh then runs the fake with the rest as its arguments.
    ConnectOptions options;
    options.program = "sh";
    options.sshArguments = {"-c", "exec python3 \"$0\"",
                            TANDREL_SOURCE_DIR "/tests/platform/remote/fake_sftp_server.py"};
    options.environment = {{"FAKE_SFTP_MODE", mode}};
    return RemoteSession::Connect(SideAddress::Parse("host:/x"), options, error);
}

struct ViolationCase {
    const char* mode;
    const char* reason;
};

class ProtocolViolation : public ::testing::TestWithParam<ViolationCase> {};

TEST_P(ProtocolViolation, EndsTheConnectionAndFailsWhatIsInFlight)
{
    RemoteStatus error;
    auto session = ConnectToFake(GetParam().mode, error);
    ASSERT_TRUE(session) << error.text;
    sftp::FileAttributes attributes;
    const RemoteStatus first = session->Lstat("/x", attributes);
    EXPECT_EQ(first.kind, RemoteStatus::Kind::Connection) << first.text;
    EXPECT_NE(first.text.find(GetParam().reason), std::string::npos) << first.text;
    EXPECT_TRUE(session->Client().Lost());
    EXPECT_EQ(session->Lstat("/y", attributes).kind, RemoteStatus::Kind::Connection);
}

INSTANTIATE_TEST_SUITE_P(Fake, ProtocolViolation,
                         ::testing::Values(ViolationCase{"wrong-id", "which was not asked"},
                                           ViolationCase{"oversize", "more than the"}));

TEST(ProtocolVersion, AServerWithoutVersionThreeIsRefused)
{
    RemoteStatus error;
    EXPECT_FALSE(ConnectToFake("version2", error));
    EXPECT_EQ(error.kind, RemoteStatus::Kind::Protocol);
    EXPECT_NE(error.text.find("version 3"), std::string::npos) << error.text;
}

} // namespace
} // namespace tandrel::platform::remote
