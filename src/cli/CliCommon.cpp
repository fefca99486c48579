#include "cli/CliCommon.h"

#include "cli/ProgramArguments.h"
#include "engine/FolderExists.h"
#include "engine/Scanner.h"
#include "platform/ReadFile.h"

namespace tandrel::cli {

std::string PrepareComparison(const CommandLine& line, ComparisonSetup& setup)
{
    setup.settings = settings::SettingsState{};
    setup.settings.options = settings::CompareOptions::Defaults();
    setup.source = FolderArgument(line.source);
    setup.destination = FolderArgument(line.destination);
    setup.includeSubdirectories = line.includeSubdirectories;
    if (!line.settingsFile.empty()) {
        std::string text;
        if (!platform::ReadRegularFile(line.settingsFile, [&text](std::string_view piece) { text.append(piece); }))
            return "cannot read the settings file '" + line.settingsFile + "'";
        settings::ReadSettingsText(text, setup.settings);
    }
    for (const std::string* folder : {&setup.source, &setup.destination})
        if (!engine::FolderExists(*folder))
            return "'" + *folder + "' is not accessible.";
    return {};
}

namespace {

// The counts of a running comparison on the status line, and the equal pairs
// when they are wanted.
class ScanProgress : public engine::ScanObserver {
public:
    ScanProgress(const engine::ResultStore& store, StatusLine& status, std::vector<engine::FilePair>* equalPairs)
        : m_store(store), m_status(status), m_equalPairs(equalPairs)
    {
    }

    void EqualPairFound(const std::string& sourcePath, const std::string& destinationPath,
                        std::uint64_t size) override
    {
        if (m_equalPairs)
            m_equalPairs->push_back({sourcePath, destinationPath, size});
    }

    void EntryProcessed() override
    {
        ++m_counts.entries;
        Waiting();
    }

    void Waiting() override
    {
        if (!m_status.Due())
            return;
        for (auto category : engine::kAllCategories)
            m_counts.rows[engine::Index(category) - 1] = m_store.Count(category);
        m_status.Draw(FormatCompareStatus(m_counts, m_status.Width()));
    }

private:
    const engine::ResultStore& m_store;
    StatusLine& m_status;
    std::vector<engine::FilePair>* m_equalPairs;
    CompareStatus m_counts;
};

} // namespace

bool RunComparison(const ComparisonSetup& setup, engine::ResultStore& store, Interrupts& interrupts,
                   StatusLine& status, std::vector<engine::FilePair>* equalPairs)
{
    ScanProgress progress(store, status, equalPairs);
    engine::ScanContext context;
    context.sourceRoot = setup.source;
    context.destinationRoot = setup.destination;
    context.includeSubdirectories = setup.includeSubdirectories;
    context.options = &setup.settings.options;
    context.ignoredTypes = &setup.settings.ignoredTypes;
    context.runFlag = &interrupts.Flag();
    context.store = &store;
    context.observer = status.Enabled() || equalPairs ? &progress : nullptr;
    if (!interrupts.Raise())
        return false;
    engine::RunScan(context);
    return interrupts.Flag().IsSet();
}

std::string Message(Command command, const std::string& text)
{
    return std::string("tandrel-cli ") + CommandName(command) + ": " + text;
}

} // namespace tandrel::cli
