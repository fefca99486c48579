#pragma once

#include "cli/CliCommon.h"
#include "sync/SyncObserver.h"

#include <vector>

namespace tandrel::cli {

// What a running copy or delete shows and how it answers Ctrl-C: failures
// are printed above the status line as they happen; after the first
// interrupt no further row starts, after the second the file being copied
// is abandoned.
class CliSyncObserver : public sync::SyncObserver {
public:
    CliSyncObserver(Command command, engine::ResultStore& store, Interrupts& interrupts, StatusLine& status,
                    std::size_t totalRows);

    // The list whose rows come next; `copiedFromOtherColumn`: a copy reads
    // the other side's file of each row (its counterpart size counts).
    void StartList(engine::ResultCategory category, bool copiedFromOtherColumn);
    std::uint64_t Bytes() const { return m_bytes + m_fileBytes; }
    std::size_t Done() const { return m_done; }

    void PumpEvents() override;
    void RowStarted(std::size_t started, std::size_t total, const std::string& path) override;
    bool FileCopyStep(std::uint64_t bytesDone, std::uint64_t fileSize) override;
    void RowChanged(engine::ResultCategory category, std::size_t row) override;
    void RowFailed(engine::ResultCategory category, std::size_t row, const std::string& text) override;

private:
    void Redraw();

    Command m_command;
    engine::ResultStore& m_store;
    Interrupts& m_interrupts;
    StatusLine& m_status;
    engine::ResultCategory m_category = engine::ResultCategory::NewerThanDestination;
    bool m_counterpartSize = false;
    bool m_stopped = false;
    bool m_drawn = false;
    std::size_t m_total;
    std::size_t m_done = 0;         // rows finished, done or failed, of every list
    std::vector<bool> m_finished;   // of the list in hand, by row: counted in m_done
    std::uint64_t m_bytes = 0;     // of the rows done
    std::uint64_t m_fileBytes = 0; // of the file in hand
    std::string m_path;
};

// tandrel-cli copy and delete: compare, check every row of the named lists
// and copy (or delete) them list by list, as the window's buttons do. Every
// failure is printed and the run goes on. Exit 0 when every row was done, 1
// when some failed or the run was interrupted, 2 when standard output could
// not be written. --quiet leaves out the line of each list.
int RunSyncCommand(const CommandLine& line, ComparisonSetup& setup, Interrupts& interrupts);

} // namespace tandrel::cli
