#include "cli/CliCommon.h"

#include "engine/FolderExists.h"
#include "engine/Scanner.h"

#include <csignal>
#include <sys/stat.h>

namespace tandrel::cli {

namespace {
engine::RunFlag* g_cancelFlag = nullptr;

extern "C" void OnSignal(int)
{
    if (g_cancelFlag)
        g_cancelFlag->Set(false);
}
} // namespace

void CancelOnSignals(engine::RunFlag& flag)
{
    g_cancelFlag = &flag;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

std::string ParseComparisonSetup(std::vector<std::string>& args, ComparisonSetup& setup)
{
    setup.settings = settings::SettingsState{};
    setup.settings.options = settings::CompareOptions::Defaults();
    std::vector<std::string> rest;
    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.empty() || a[0] != '-' || a == "-") {
            positional.push_back(a);
        } else if (a == "--") {
            optionsEnded = true;
        } else if (a == "--no-subdirs") {
            setup.includeSubdirectories = false;
        } else if (a == "--settings") {
            if (i + 1 >= args.size())
                return "--settings needs a file";
            const std::string& file = args[++i];
            struct stat st;
            if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
                return "cannot read the settings file '" + file + "'";
            settings::ReadSettings(file, setup.settings);
        } else {
            rest.push_back(a);
            // An option's value travels with it.
            if ((a == "--to" || a == "--lists" || a == "--format") && i + 1 < args.size())
                rest.push_back(args[++i]);
        }
    }
    if (positional.size() != 2)
        return "expected two folders, SOURCE and DESTINATION";
    setup.source = positional[0];
    setup.destination = positional[1];
    for (const std::string* folder : {&setup.source, &setup.destination})
        if (!engine::FolderExists(*folder))
            return "'" + *folder + "' is not accessible.";
    args = std::move(rest);
    return {};
}

void RunComparison(const ComparisonSetup& setup, engine::ResultStore& store, engine::RunFlag& runFlag)
{
    engine::ScanContext context;
    context.sourceRoot = setup.source;
    context.destinationRoot = setup.destination;
    context.includeSubdirectories = setup.includeSubdirectories;
    context.options = &setup.settings.options;
    context.ignoredTypes = &setup.settings.ignoredTypes;
    context.runFlag = &runFlag;
    context.store = &store;
    runFlag.Set(true);
    engine::RunScan(context);
}

std::string ParseLists(const std::string& text, std::vector<int>& lists)
{
    lists.clear();
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto comma = text.find(',', start);
        const std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (part.size() != 1 || part[0] < '1' || part[0] > '5')
            return "list numbers are 1 to 5, separated by commas: '" + text + "'";
        const int n = part[0] - '0';
        bool seen = false;
        for (int l : lists)
            seen = seen || l == n;
        if (!seen)
            lists.push_back(n);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return {};
}

} // namespace tandrel::cli
