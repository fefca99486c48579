#pragma once

#include "engine/ResultCategory.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace tandrel::sync {

// What a running copy or delete tells its front end. Every call comes from
// the thread running the operation, in the order described at each method.
// All methods have empty defaults.
class SyncObserver {
public:
    virtual ~SyncObserver() = default;

    // The moment to let pending window events run: once per row in the
    // counting pass and once between the passes. In the working pass, with
    // one row at a time, at the start of every row's turn (checked or not);
    // with several rows in flight, not at each turn but each time the run
    // wakes from waiting for the rows in hand: when one ends, when a file
    // step waits for FileCopyStep's answer, or after 15 ms at most. A copy
    // also calls it every 15 ms while it waits for the end-of-run flush.
    // A cancel button clears the run flag here; the operation starts no
    // further row and finishes the rows in hand. Check boxes changed here
    // take effect for rows not yet worked on (with rows in flight, a row
    // taken but held back reads its check mark again when it is handed over).
    virtual void PumpEvents() {}

    // A checked row's turn has begun: it is number `started` of `total`
    // checked rows (the caption "started of total"), `path` is the target of
    // a copy or the item being deleted (the text of LblCurrent). The progress
    // fraction has already been set to started / total.
    virtual void RowStarted(std::size_t /*started*/, std::size_t /*total*/, const std::string& /*path*/) {}

    // Between steps of one file's copy (a few megabytes each): the bytes of
    // this file written so far and its size. The window lets events run here
    // (throttled). Returning false abandons the file in hand: its temporary
    // file is removed, the old target stays as it was and the row is left as
    // it was (checked, not done); the run then ends as cancelled.
    virtual bool FileCopyStep(std::uint64_t /*bytesDone*/, std::uint64_t /*fileSize*/) { return true; }

    // The icon, tag or status text of `row` in the list of `category` changed.
    virtual void RowChanged(engine::ResultCategory /*category*/, std::size_t /*row*/) {}

    // A row failed: its icon is Failed, its tag empty and `text` (what failed,
    // the path and the system's reason) is in its status. Called for every
    // failure, whatever IgnoreError says.
    virtual void RowFailed(engine::ResultCategory /*category*/, std::size_t /*row*/, const std::string& /*text*/) {}

    // Only with IgnoreError off, right after RowFailed: the place for the
    // error message box. The operation ends when this returns.
    virtual void ShowFailure(const std::string& /*text*/) {}
};

} // namespace tandrel::sync
