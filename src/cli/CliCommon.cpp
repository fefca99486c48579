#include "cli/CliCommon.h"

#include "cli/ProgramArguments.h"
#include "cli/WindowSettings.h"
#include "engine/FolderExists.h"
#include "engine/PathRules.h"
#include "engine/Scanner.h"
#include "platform/remote/SideAddress.h"

#include <optional>

namespace tandrel::cli {

namespace {

using platform::remote::RemoteStatus;
using platform::remote::SideAddress;

// A remote root's pattern file, read on the server: one that is not there adds nothing.
std::string AddRemotePatternFile(ComparisonSetup& setup, const SideAddress& root)
{
    const std::string shown = root.Text() + (root.Text().back() == '/' ? "" : "/") + engine::kIgnoreFileName;
    RemoteStatus status;
    platform::remote::RemoteSession* session = setup.remoteSides.For(root, status);
    std::string text;
    if (session)
        status = session->ReadFile(platform::remote::ServerPath(root, engine::kIgnoreFileName), text);
    if (status.Absent())
        return {};
    if (!status.ok())
        return status.Describe("Cannot read the pattern file", shown);
    setup.patterns.AddText(text, shown);
    return {};
}

// The roots' .tandrelignore files first, so that the command line's patterns decide over them.
std::string ReadPatterns(const CommandLine& line, ComparisonSetup& setup)
{
    engine::PathPatterns& patterns = setup.patterns;
    if (line.ignoreFiles)
        for (const std::string* root : {&setup.source, &setup.destination}) {
            if (const SideAddress side = SideAddress::Parse(*root); side.IsRemote()) {
                if (const std::string error = AddRemotePatternFile(setup, side); !error.empty())
                    return error;
                continue;
            }
            const std::string file = engine::PathRules::Native().WithTrailingSeparator(*root) + engine::kIgnoreFileName;
            if (const platform::FileResult read = engine::AddPatternFile(patterns, file, true); !read.ok())
                return read.error;
        }
    for (const PatternArgument& argument : line.patterns) {
        switch (argument.kind) {
        case PatternArgument::Kind::Exclude:
            patterns.Add(argument.text, "--exclude");
            break;
        case PatternArgument::Kind::Include:
            patterns.AddInclude(argument.text, "--include");
            break;
        case PatternArgument::Kind::ExcludeFrom:
            if (const platform::FileResult read = engine::AddPatternFile(patterns, argument.text, false); !read.ok())
                return read.error;
            break;
        }
    }
    return {};
}

// Many listings in flight: each remote folder is listed as soon as its parent has been.
constexpr std::size_t kRequestsInFlight = 512;

platform::remote::ConnectOptions ConnectOptionsFor(const CommandLine& line)
{
    platform::remote::ConnectOptions options;
    options.maxRequestsInFlight = kRequestsInFlight;
    if (!line.sshConfig.empty())
        options.sshArguments = {"-F", line.sshConfig};
    return options;
}

// Why a folder cannot be compared; empty when it can. A remote one is
// connected to (ssh asks on the terminal for what it needs) and looked up
// on its server.
std::string SideError(ComparisonSetup& setup, const std::string& folder)
{
    const SideAddress side = SideAddress::Parse(folder);
    if (!side.IsRemote()) {
        const std::string error = engine::FolderAccessError(folder);
        return error.empty() ? error : "'" + folder + "' is not accessible: " + error;
    }
    if (!side.Error().empty())
        return "'" + folder + "' is not a remote folder: " + side.Error();
    if (const std::string error = setup.remoteSides.FolderError(side); !error.empty())
        return "'" + folder + "' is not accessible: " + error;
    return {};
}

} // namespace

std::string PrepareComparison(const CommandLine& line, ComparisonSetup& setup)
{
    // Without a settings file the window filters nothing, and neither does this.
    setup.settings = settings::SettingsState{};
    setup.source = FolderArgument(line.source);
    setup.destination = FolderArgument(line.destination);
    setup.includeSubdirectories = line.includeSubdirectories;
    setup.remoteSides.SetOptions(ConnectOptionsFor(line));
    const std::optional<std::string> file =
        !line.settingsFile.empty() ? std::optional(line.settingsFile) : FindWindowSettings();
    setup.settingsFile = file.value_or(std::string());
    if (file)
        if (const platform::FileResult read = settings::ReadSettingsFrom(*file, setup.settings); !read.ok())
            return read.error;
    if (line.noFilters) {
        settings::CompareOptions& o = setup.settings.options;
        o.IgnoreArchive = o.IgnoreHidden = o.IgnoreReadonly = o.IgnoreSystem = 0;
        setup.settings.ignoredTypes.clear();
    }
    for (const std::string* folder : {&setup.source, &setup.destination})
        if (const std::string error = SideError(setup, *folder); !error.empty())
            return error;
    return ReadPatterns(line, setup);
}

namespace {

// The counts of a running comparison on the status line, and the equal pairs
// when they are wanted.
class ScanProgress : public engine::ScanObserver {
public:
    ScanProgress(const engine::ScanContext& context, StatusLine& status, std::vector<engine::FilePair>* equalPairs)
        : m_context(context), m_status(status), m_equalPairs(equalPairs)
    {
    }

    void EqualPairFound(const engine::FilePair& pair) override
    {
        if (m_equalPairs)
            m_equalPairs->push_back(pair);
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
        m_counts.leftOut = m_context.leftOut;
        for (auto category : engine::kAllCategories)
            m_counts.rows[engine::Index(category) - 1] = m_context.store->Count(category);
        m_status.Draw(FormatCompareStatus(m_counts, m_status.Width()));
    }

private:
    const engine::ScanContext& m_context;
    StatusLine& m_status;
    std::vector<engine::FilePair>* m_equalPairs;
    CompareStatus m_counts;
};

} // namespace

bool RunComparison(ComparisonSetup& setup, engine::ResultStore& store, Interrupts& interrupts,
                   StatusLine& status, std::vector<engine::FilePair>* equalPairs, std::uint64_t* leftOut)
{
    engine::ScanContext context;
    ScanProgress progress(context, status, equalPairs);
    context.sourceRoot = setup.source;
    context.destinationRoot = setup.destination;
    context.includeSubdirectories = setup.includeSubdirectories;
    context.options = &setup.settings.options;
    context.ignoredTypes = &setup.settings.ignoredTypes;
    context.runFlag = &interrupts.Flag();
    context.store = &store;
    context.patterns = &setup.patterns;
    context.remoteSides = &setup.remoteSides;
    context.observer = status.Enabled() || equalPairs ? &progress : nullptr;
    if (!interrupts.Raise())
        return false;
    engine::RunScan(context);
    if (leftOut)
        *leftOut = context.leftOut;
    return interrupts.Flag().IsSet();
}

bool ReportUnreadableFolders(Command command, const engine::ResultStore& store, StatusLine& status)
{
    for (const engine::UnreadableFolder& folder : store.UnreadableFolders())
        status.Print(Message(command, "Cannot read the folder '" + folder.path + "': " + folder.reason +
                                          "; nothing in it is listed as missing" +
                                          (folder.searchable ? std::string("; ") + engine::kSearchedNameByName : "")));
    return !store.UnreadableFolders().empty();
}

void ReportEmptyRoot(Command command, const engine::ResultStore& store, StatusLine& status)
{
    const engine::EmptyRoot empty = store.EmptyRootFound();
    if (empty != engine::EmptyRoot::None)
        status.Print(Message(command, engine::EmptyRootText(empty, store.SourceRoot(), store.DestinationRoot())));
}

std::string Message(Command command, const std::string& text)
{
    return std::string("tandrel-cli ") + CommandName(command) + ": " + text;
}

} // namespace tandrel::cli
