#pragma once

#include "engine/ResultCategory.h"

#include <cstddef>
#include <string>

namespace tandrel::sync {

// What a running copy or delete tells its front end. Every call comes from
// the thread running the operation, in the order described at each method.
// All methods have empty defaults.
class SyncObserver {
public:
    virtual ~SyncObserver() = default;

    // The moment to let pending window events run: once per row in the
    // counting pass, once between the passes, and at the start of every
    // row's turn in the working pass. A cancel button clears the run flag
    // here; the operation finishes the row in hand and then stops. Check
    // boxes changed here take effect for rows not reached yet.
    virtual void PumpEvents() {}

    // A checked row's turn has begun: it is number `started` of `total`
    // checked rows (the caption "started of total"), `path` is the target of
    // a copy or the item being deleted (the text of LblCurrent). The progress
    // fraction has already been set to started / total.
    virtual void RowStarted(std::size_t /*started*/, std::size_t /*total*/, const std::string& /*path*/) {}

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
