#include "cli/CommandLine.h"

#include "cli/CliCommon.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <functional>
#include <iostream>

namespace tandrel::cli {

namespace {

const std::string kFilterNote =
    "The options and ignored names come from the window's settings file, tdl.ini\n"
    "beside the program (or, when it is installed or its folder cannot be written,\n"
    "in the per-user data folder of Tandrel); without one nothing is filtered.\n"
    "Its usual options skip hidden entries: on Linux every name beginning with '.'.\n"
    "Folders whose names begin with '.' are never compared, whatever the options.\n"
    "compare --summary and the status line count the entries left out.\n\n";
const std::string kPatternNote =
    "Patterns (--exclude, --include, --exclude-from, and with --ignore-files a\n"
    ".tandrelignore at the top of either folder) use .gitignore syntax: * ? [a-z]\n"
    "within a name, ** across folders, a leading / anchors at the root, a trailing /\n"
    "matches folders only, ! takes back, # comments. They are matched with case\n"
    "against the path below the root, the same on both sides; the last match decides.\n"
    "--json writes one JSON object per row and a summary (JSON Lines); a name that is\n"
    "not UTF-8 comes as \"path_bytes\" with %XX for the bytes outside A-Z a-z 0-9 -._~/.\n"
    "--null writes NUL-ended full paths for xargs -0.\n\n";
const std::string kCompareFooter =
    kFilterNote + kPatternNote +
    "Examples:\n"
    "  tandrel-cli compare --summary --exclude '*.log' --include keep.log --exclude /build/ A B\n"
    "  tandrel-cli compare --json A B | jq -r 'select(.list == 4) | .path'\n"
    "  tandrel-cli compare --null A B | xargs -0 ls -ld\n\n"
    "When one folder is empty and the other is not, a line on standard error says so.\n"
    "Exit status: 0 the trees hold no differences, 1 they differ, 2 trouble\n"
                  "(a usage error, a folder that cannot be read, an interrupted comparison).";
const std::string kSyncFooter =
    kFilterNote + kPatternNote +
    "A delete of list 3 when the destination folder is empty (list 4: the source) is\n"
    "refused unless --allow-empty-side is given: it may be a drive that is not mounted.\n"
    "Examples:\n"
    "  tandrel-cli copy --to destination --lists 1,2,3,5 --dry-run A B\n"
    "  tandrel-cli copy --to destination --lists 1,2,5 --keep-replaced A B\n"
    "  tandrel-cli delete --lists 4 --max-delete 100 A B\n"
    "  tandrel-cli delete --lists 4 --allow-empty-side EMPTY-A B\n\n"
    "Exit status: 0 every row was done, 1 some rows failed or the run was\n"
    "interrupted, 2 trouble (a usage error, a folder that cannot be read,\n"
    "standard output that cannot be written). -q leaves out the line of each list.\n"
    "Ctrl-C stops after the row in hand; a second Ctrl-C also abandons the\n"
    "file being copied, leaving its old target as it was.";
const std::string kVerifyFooter =
    kFilterNote + kPatternNote + "Example:\n  tandrel-cli verify --json --exclude '*.tmp' A B\n\n" + "Exit status: 0 every equal pair has the same content, 1 some differ,\n"
    "2 trouble (a usage error, a folder or file that cannot be read, an\n"
    "interrupted run).";

// The pattern options keep their order across one another: a later pattern
// decides over an earlier one, as lines of one .gitignore do.
void AddPatternOptions(CLI::App& sub, CommandLine& line)
{
    using Kind = PatternArgument::Kind;
    const auto add = [&sub, &line](const char* name, Kind kind, const char* type, const char* what) {
        sub.add_option_function<std::string>(
               name, [&line, kind](const std::string& text) { line.patterns.push_back({kind, text}); }, what)
            ->type_name(type)
            ->trigger_on_parse()
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    };
    add("--exclude", Kind::Exclude, "PATTERN",
        "leave out the entries whose path below the root matches PATTERN (.gitignore syntax), on both sides");
    add("--include", Kind::Include, "PATTERN", "take back entries an earlier pattern left out (as !PATTERN)");
    add("--exclude-from", Kind::ExcludeFrom, "FILE", "read patterns from FILE, one a line, as in a .gitignore");
    sub.add_flag("--ignore-files", line.ignoreFiles,
                 "also read the patterns of a .tandrelignore at the top of either folder");
}

CLI::App* AddCommand(CLI::App& app, Command command, const char* purpose, CommandLine& line)
{
    CLI::App* sub = app.add_subcommand(CommandName(command), purpose);
    sub->parse_complete_callback([&line, command] { line.command = command; });
    sub->add_option("SOURCE", line.source, "the source folder")->required();
    sub->add_option("DESTINATION", line.destination, "the destination folder")->required();
    sub->add_flag_function(
        "--no-subdirs", [&line](std::int64_t) { line.includeSubdirectories = false; },
        "compare only the entries directly inside the two folders");
    sub->add_option("--settings", line.settingsFile,
                    "take the options and ignored names from this settings file (a tdl.ini, or a pipe "
                    "such as /dev/stdin) instead of the window's")
        ->type_name("FILE");
    sub->add_option("--ssh-config", line.sshConfig,
                    "for a remote folder (HOST:PATH or sftp://HOST/PATH), give ssh this configuration file "
                    "instead of the user's own")
        ->type_name("FILE");
    sub->add_flag("--no-filters", line.noFilters,
                  "compare every entry: no attribute filters and no ignored names (folders whose names begin "
                  "with '.' are still never compared)");
    sub->add_flag("-q,--quiet", line.quiet, "show no status line while working");
    AddPatternOptions(*sub, line);
    CLI::Option* json = sub->add_flag_function(
        "--json", [&line](std::int64_t) { line.rowFormat = RowFormat::JsonLines; },
        "write one JSON object per row and then a summary object, one per line (JSON Lines)");
    sub->add_flag_function(
           "--null", [&line](std::int64_t) { line.rowFormat = RowFormat::NulPaths; },
           "write only the full path of each row, each ended by a NUL byte (for xargs -0)")
        ->excludes(json);
    return sub;
}

// Accepts exactly one of `words`.
std::function<std::string(const std::string&)> OneOf(std::vector<std::string> words)
{
    return [words = std::move(words)](const std::string& value) -> std::string {
        if (std::find(words.begin(), words.end(), value) != words.end())
            return {};
        std::string text = "'" + value + "' is not one of:";
        for (std::size_t i = 0; i < words.size(); ++i)
            text += (i == 0 ? " " : ", ") + words[i];
        return text;
    };
}

void AddListsOption(CLI::App& sub, CommandLine& line)
{
    sub.add_option_function<std::string>(
           "--lists", [&line](const std::string& text) { ParseLists(text, line.lists); },
           "the lists to act on, numbered as the tabs: 1 newer, 2 older, 3 not in the destination, "
           "4 not in the source, 5 only size changed")
        ->type_name("N[,N...]")
        ->required()
        ->check(CLI::Validator(
            [](std::string& text) {
                std::vector<int> lists;
                return ParseLists(text, lists);
            },
            ""));
}

} // namespace

const char* CommandName(Command command)
{
    switch (command) {
    case Command::Compare:
        return "compare";
    case Command::Copy:
        return "copy";
    case Command::Delete:
        return "delete";
    case Command::Verify:
        return "verify";
    }
    return "";
}

std::optional<int> ParseCommandLine(int argc, const char* const* argv, CommandLine& line)
{
    CLI::App app("Compares two folder trees and copies or deletes the differences, as Tandrel's window does, "
                 "or checks the contents of the files that compare as equal.",
                 "tandrel-cli");
    app.set_version_flag("--version", std::string("tandrel-cli ") + TANDREL_VERSION);
    app.require_subcommand(1);
    app.footer(kFilterNote.substr(0, kFilterNote.size() - 2));
    // Options are written the same on every system: on Windows "/x" stays a
    // path (the root of the current drive), never an option.
    app.allow_windows_style_options(false);

    std::string format = "text";
    CLI::App* compare = AddCommand(app, Command::Compare, "Compare the two trees and print the five lists", line);
    compare->add_flag("--summary", line.summary, "print only the number of rows of each list");
    compare->add_option("--format", format, "the report format of the lists")
        ->type_name("text|csv")
        ->excludes("--json")
        ->excludes("--null")
        ->check(OneOf({"text", "csv"}));
    compare->footer(kCompareFooter);

    std::string side;
    CLI::App* copy =
        AddCommand(app, Command::Copy, "Compare, then copy every row of the named lists to one side", line);
    AddListsOption(*copy, line);
    copy->add_option("--to", side, "the side to copy to")
        ->type_name("destination|source")
        ->required()
        ->check(OneOf({"destination", "source"}));
    copy->add_flag("--dry-run", line.dryRun, "show what would be copied, and copy nothing");
    copy->add_flag("--keep-replaced", line.keepReplaced,
                   "move each file a copy replaces to your trash first, from where it can be restored; a row "
                   "whose old file cannot go to the trash fails and both files stay as they are");
    copy->footer(kSyncFooter);

    CLI::App* del = AddCommand(app, Command::Delete,
                               "Compare, then delete the item of the first column of every row of the named lists "
                               "(list 4: in the destination, the others: in the source)",
                               line);
    AddListsOption(*del, line);
    del->add_flag("--trash", line.trash,
                  "move the items to your trash, from where they can be restored, instead of removing them; "
                  "an item that cannot go to the trash is left in place");
    del->add_flag("--dry-run", line.dryRun, "show what would be deleted, and delete nothing");
    del->add_flag("--allow-empty-side", line.allowEmptySide,
                  "delete the rows of a \"Can not find\" list even when the folder of that side is empty "
                  "(otherwise refused: it may be a drive or share that is not mounted)");
    del->add_option_function<std::uint64_t>(
           "--max-delete", [&line](std::uint64_t n) { line.maxDelete = n; },
           "delete nothing when the run would delete more than N items")
        ->type_name("N");
    del->footer(kSyncFooter);

    CLI::App* verify = AddCommand(app, Command::Verify,
                                  "Compare, then read both files of every pair that counts as equal (same size, "
                                  "times within the tolerance) and list the pairs whose contents differ",
                                  line);
    verify->footer(kVerifyFooter);

    if (argc <= 1) {
        std::cerr << app.help();
        return kExitTrouble;
    }
    const std::string first = argv[1];
    const auto isCommand = [&first](Command c) { return first == CommandName(c); };
    if (first[0] != '-' && !isCommand(Command::Compare) && !isCommand(Command::Copy) && !isCommand(Command::Delete) &&
        !isCommand(Command::Verify)) {
        std::cerr << "tandrel-cli: unknown command '" << first << "' (compare, copy, delete or verify)\n"
                  << "Run 'tandrel-cli --help' for more information.\n";
        return kExitTrouble;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        app.exit(e);
        return kExitClean;
    } catch (const CLI::ParseError& e) {
        const auto active = app.get_subcommands();
        const std::string who = "tandrel-cli" + (active.empty() ? std::string() : " " + active.front()->get_name());
        std::cerr << who << ": " << e.what() << "\nRun '" << who << " --help' for more information.\n";
        return kExitTrouble;
    }
    line.format = format == "csv" ? report::ReportFormat::Csv : report::ReportFormat::Text;
    line.direction =
        side == "source" ? sync::CopyDirection::DestinationToSource : sync::CopyDirection::SourceToDestination;
    if (line.command == Command::Copy) {
        for (int list : line.lists) {
            if (sync::DirectionOffered(static_cast<engine::ResultCategory>(list), line.direction))
                continue;
            std::cerr << "tandrel-cli copy: "
                      << (line.direction == sync::CopyDirection::SourceToDestination
                              ? "list 4 holds items missing in the source; it cannot be copied to the destination"
                              : "list 3 holds items missing in the destination; it cannot be copied to the source")
                      << "\n";
            return kExitTrouble;
        }
    }
    return std::nullopt;
}

std::string ParseLists(const std::string& text, std::vector<int>& lists)
{
    lists.clear();
    std::size_t start = 0;
    for (;;) {
        const auto comma = text.find(',', start);
        const std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (part.size() != 1 || part[0] < '1' || part[0] > '5')
            return "list numbers are 1 to 5, separated by commas: '" + text + "'";
        const int n = part[0] - '0';
        if (std::find(lists.begin(), lists.end(), n) == lists.end())
            lists.push_back(n);
        if (comma == std::string::npos)
            return {};
        start = comma + 1;
    }
}

} // namespace tandrel::cli
