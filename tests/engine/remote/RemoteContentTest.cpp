#include "platform/remote/LoopbackSshd.h"

#include "engine/RemoteContent.h"
#include "platform/remote/RemoteSides.h"

#include <gtest/gtest.h>

#include <ostream>

#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace tandrel::engine {
namespace {

class Findings : public ContentCheckObserver {
public:
    std::vector<ContentFinding> found;
    void Found(const FilePair&, const ContentFinding& finding) override { found.push_back(finding); }
    void Progress(std::uint64_t, std::uint64_t) override {}
};

// What one side holds at "f": a file's bytes, or a link's text.
struct Item {
    bool link = false;
    std::string content;
};

struct VerifyCase {
    const char* name;
    Item source;
    Item destination;
    bool sourceRemote;
    bool destinationRemote;
    ContentVerdict verdict;
    std::uint64_t offset;
};

// A case is named by its name in test output, not by its bytes.
void PrintTo(const VerifyCase& c, std::ostream* out)
{
    *out << c.name;
}

class RemoteContentTest : public test::LoopbackSshdTest {
protected:
    void SetUp() override
    {
        LoopbackSshdTest::SetUp();
        if (IsSkipped())
            return;
        m_base = s_sshd->Folder() + "/verify-" + std::to_string(s_count++);
        ASSERT_EQ(::mkdir(m_base.c_str(), 0755), 0);
        ASSERT_EQ(::mkdir((m_base + "/s").c_str(), 0755), 0);
        ASSERT_EQ(::mkdir((m_base + "/d").c_str(), 0755), 0);
        sides.SetOptions(s_sshd->Options());
    }
    // The root's text: the local folder, or the same folder on the server.
    std::string Root(const char* side, bool remote) const
    {
        const std::string folder = m_base + "/" + side;
        return remote ? s_sshd->Side(folder).ToText() + "/" : folder + "/";
    }
    void Put(const char* side, const Item& item, const std::string& name = "f")
    {
        const std::string path = m_base + "/" + side + "/" + name;
        if (item.link) {
            ASSERT_EQ(::symlink(item.content.c_str(), path.c_str()), 0);
        } else {
            std::ofstream(path, std::ios::binary) << item.content;
        }
        s_sshd->GiveToUser(m_base);
    }

    static int s_count;
    platform::remote::RemoteSides sides;
    RunFlag runFlag;
    std::string m_base;
};

int RemoteContentTest::s_count = 0;

class RemoteContentPairTest : public RemoteContentTest, public ::testing::WithParamInterface<VerifyCase> {};

std::string Long(char last)
{
    std::string bytes(700000, 'x');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>('a' + i % 23);
    bytes.back() = last;
    return bytes;
}

TEST_P(RemoteContentPairTest, FindsWhatDiffersAsTheLocalCheckDoes)
{
    const VerifyCase& c = GetParam();
    Put("s", c.source);
    Put("d", c.destination);
    const std::string sourceRoot = Root("s", c.sourceRemote);
    const std::string destinationRoot = Root("d", c.destinationRemote);
    runFlag.Set(true);
    Findings findings;

    const ContentCheckSummary summary = CheckRemoteContents(
        {{sourceRoot + "f", destinationRoot + "f", c.source.content.size()}}, sourceRoot, destinationRoot, sides,
        runFlag, findings);

    EXPECT_EQ(summary.checked, 1u);
    if (c.verdict == ContentVerdict::Same) {
        EXPECT_TRUE(findings.found.empty()) << findings.found.front().error;
        return;
    }
    ASSERT_EQ(findings.found.size(), 1u);
    EXPECT_EQ(findings.found.front().verdict, c.verdict) << findings.found.front().error;
    EXPECT_EQ(findings.found.front().offset, c.offset);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, RemoteContentPairTest,
    ::testing::Values(
        VerifyCase{"SameLongUpload", {false, Long('!')}, {false, Long('!')}, false, true, ContentVerdict::Same, 0},
        VerifyCase{"LastByteDiffers", {false, Long('!')}, {false, Long('?')}, false, true, ContentVerdict::Different,
                   699999},
        VerifyCase{"RemoteSourceShorter", {false, "abc"}, {false, "abcdef"}, true, false, ContentVerdict::Different,
                   3},
        VerifyCase{"LocalShorter", {false, "abcdef"}, {false, "abc"}, false, true, ContentVerdict::Different, 3},
        VerifyCase{"BothRemoteDiffer", {false, "same start, A"}, {false, "same start, B"}, true, true,
                   ContentVerdict::Different, 12},
        VerifyCase{"BothRemoteSame", {false, Long('a')}, {false, Long('a')}, true, true, ContentVerdict::Same, 0},
        VerifyCase{"EmptyFiles", {false, ""}, {false, ""}, false, true, ContentVerdict::Same, 0},
        VerifyCase{"LinksSame", {true, "target"}, {true, "target"}, false, true, ContentVerdict::Same, 0},
        VerifyCase{"LinksDiffer", {true, "target"}, {true, "other"}, false, true, ContentVerdict::Different, 0},
        VerifyCase{"LinkAndFile", {true, "target"}, {false, "target"}, true, false, ContentVerdict::Different, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// A file the login user may not read is unreadable, with the server's reason.
TEST_F(RemoteContentTest, AServerRefusalIsUnreadableWithItsReason)
{
    Put("s", {false, "x"});
    Put("d", {false, "x"});
    ASSERT_EQ(::chmod((m_base + "/d/f").c_str(), 0), 0);
    const std::string sourceRoot = Root("s", false);
    const std::string destinationRoot = Root("d", true);
    runFlag.Set(true);
    Findings findings;

    CheckRemoteContents({{sourceRoot + "f", destinationRoot + "f", 1}}, sourceRoot, destinationRoot, sides, runFlag,
                        findings);

    ASSERT_EQ(findings.found.size(), 1u);
    EXPECT_EQ(findings.found.front().verdict, ContentVerdict::Unreadable);
    EXPECT_EQ(findings.found.front().error, "Cannot read '" + destinationRoot + "f': Permission denied");
}

} // namespace
} // namespace tandrel::engine
