#include "engine/ContentCheck.h"

#include "platform/windows/WindowsFiles.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

namespace tandrel::engine {
namespace {

using test::TempTree;

class Collect : public ContentCheckObserver {
public:
    void Found(const FilePair&, const ContentFinding& finding) override { findings.push_back(finding); }
    void Progress(std::uint64_t, std::uint64_t) override {}
    std::vector<ContentFinding> findings;
};

TEST(ContentCheckWindows, BytesAreComparedThroughTheSystem)
{
    TempTree t;
    t.MakeDir("folder");
    const std::string big(3 * 1024 * 1024 + 5, 'x');
    std::string bigChanged = big;
    bigChanged[2 * 1024 * 1024 + 7] = 'y';
    t.WriteFile("same.a", "content");
    t.WriteFile("same.b", "content");
    t.WriteFile("differ.a", "abcdef");
    t.WriteFile("differ.b", "abcXef");
    t.WriteFile("short.a", "abc");
    t.WriteFile("short.b", "abcdef");
    t.WriteFile("big.a", big);
    t.WriteFile("big.b", bigChanged);
    struct Case {
        const char* source;
        const char* destination;
        ContentVerdict verdict;
        std::uint64_t offset;
    };
    const Case cases[] = {
        {"same.a", "same.b", ContentVerdict::Same, 0},
        {"differ.a", "differ.b", ContentVerdict::Different, 3},
        {"short.a", "short.b", ContentVerdict::Different, 3},
        {"big.a", "big.b", ContentVerdict::Different, 2 * 1024 * 1024 + 7},
        {"same.a", "folder", ContentVerdict::Unreadable, 0},
        {"absent", "same.b", ContentVerdict::Unreadable, 0},
    };
    for (const Case& c : cases) {
        Collect observer;
        RunFlag flag;
        flag.Set(true);
        ContentCheckOptions options;
        options.bufferBytes = 1024 * 1024;
        CheckContents({FilePair{t.Path(c.source), t.Path(c.destination), 0}}, flag, observer, options);
        if (c.verdict == ContentVerdict::Same) {
            EXPECT_TRUE(observer.findings.empty()) << c.source;
            continue;
        }
        ASSERT_EQ(observer.findings.size(), 1u) << c.source;
        EXPECT_EQ(observer.findings[0].verdict, c.verdict) << c.source;
        EXPECT_EQ(observer.findings[0].offset, c.offset) << c.source;
        if (c.verdict == ContentVerdict::Unreadable) {
            EXPECT_EQ(observer.findings[0].error.rfind("Cannot read '", 0), 0u) << observer.findings[0].error;
        }
    }
}

} // namespace
} // namespace tandrel::engine
