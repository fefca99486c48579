// The settings file named on the command line is read as the program writes
// it: in the system's 8-bit text (the ANSI code page on Windows).

#include "cli/CliCommon.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>

namespace tandrel::cli {
namespace {

namespace fs = std::filesystem;

TEST(CliSettingsFile, IgnoredNamesInTheSystemsTextMatch)
{
#ifdef _WIN32
    const std::string name = "Caf\xC3\xA9.txt"; // "Caf\xE9" in the ANSI code page is this name
    const fs::path file(std::u8string(name.begin(), name.end()));
#else
    const std::string name = "Caf\xE9.txt"; // the bytes are the name
    const fs::path file(name);
#endif
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    const fs::path root = fs::temp_directory_path() / ("tandrel-code-page-" + std::to_string(now));
    fs::create_directories(root / "src");
    fs::create_directories(root / "dst");
    std::ofstream(root / "dst" / file) << "x";
    std::ofstream(root / "ansi.ini", std::ios::binary) << "[Option]\r\nIgnoreHidden=1\r\n[IgnoreFile]\r\nCaf\xE9.txt\r\n";

    CommandLine line;
    line.source = (root / "src").string();
    line.destination = (root / "dst").string();
    line.settingsFile = (root / "ansi.ini").string();
    ComparisonSetup setup;
    EXPECT_EQ(PrepareComparison(line, setup), "");
    EXPECT_EQ(setup.settings.ignoredTypes, std::vector<std::string>{name});

    engine::ResultStore store;
    Interrupts interrupts;
    StatusLine quiet(2, false);
    std::uint64_t leftOut = 0;
    EXPECT_TRUE(RunComparison(setup, store, interrupts, quiet, nullptr, &leftOut));
    EXPECT_EQ(store.TotalCount(), 0u);
    EXPECT_EQ(leftOut, 1u);
    fs::remove_all(root);
}

} // namespace
} // namespace tandrel::cli
