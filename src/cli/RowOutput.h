#pragma once

#include "cli/CommandLine.h"
#include "engine/ContentCheck.h"
#include "engine/PathPatterns.h"
#include "engine/ResultStore.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace tandrel::cli {

// What became of a row of copy or delete.
enum class RowOutcome { Listed, Done, Failed, NotDone, DryRun };

// The counts of one list of a copy or delete run.
struct ListCounts {
    engine::ResultCategory category;
    std::size_t total = 0;
    std::size_t done = 0;
    std::size_t failed = 0;
};

// Everything the summary object of --json tells.
struct RunSummary {
    std::vector<ListCounts> lists;
    std::uint64_t notCompared = 0;
    const engine::PathPatterns* patterns = nullptr;
    bool dryRun = false;
    bool cancelled = false;
    std::size_t pairsChecked = 0;   // verify
    std::size_t pairsDifferent = 0; // verify
    std::size_t pairsUnreadable = 0; // verify
};

// Writes rows for scripts: with --json one JSON object per line (JSON Lines),
// with --null each row's full path ended by a NUL byte; in the usual text
// form nothing. A text that is not valid UTF-8 (a file name in another
// encoding) is given in a key ending in "_bytes" instead, each byte outside
// the unreserved characters of RFC 3986 and '/' written as %XX.
class RowOutput {
public:
    RowOutput(std::ostream& out, RowFormat format, Command command, const engine::ResultStore& store);

    bool Active() const { return m_format != RowFormat::Text; }
    void Row(engine::ResultCategory category, const engine::CompareItem& item, RowOutcome outcome = RowOutcome::Listed);
    // A pair of verify whose contents differ or cannot be read.
    void Pair(const engine::FilePair& pair, const engine::ContentFinding& finding);
    void Summary(const RunSummary& summary);

private:
    std::ostream& m_out;
    RowFormat m_format;
    Command m_command;
    const engine::ResultStore& m_store;
};

// "YYYY-MM-DDThh:mm:ss+hh:mm": the time in local time at `offset` seconds east of UTC.
std::string IsoTime(std::int64_t epochSeconds, std::int64_t offset);

// The text for a "_bytes" key: %XX for every byte but A-Z a-z 0-9 - . _ ~ and /.
std::string EscapedBytes(const std::string& bytes);

} // namespace tandrel::cli
