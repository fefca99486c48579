#pragma once

#include "platform/FileOps.h"
#include "platform/OwnTemporaries.h"
#include "platform/Trash.h"
#include "settings/CompareOptions.h"
#include "sync/RowItem.h"
#include "sync/SyncOperations.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tandrel::sync {

// What the comparison showed of an item a row acts on.
struct Listed {
    enum class State { Absent, Entry, Folder };
    State state = State::Absent;
    std::int64_t size = 0;
    std::int64_t modified = 0;
};

// "'<path>' has changed since the comparison", `path` as the row shows it.
platform::FileResult ChangedSinceComparison(const std::string& path);

// Only "not there" makes an item absent; any other failed look is an error.
bool IsAbsence(int error);

// Whether `now` is still what the comparison listed, so that a row acts only
// on what the user saw. A folder's own time changes as its content does: it
// needs only to be a folder still. An entry listed with a folder beside it
// on the other side (listed with size 0) is judged by the step itself.
// A look that fails otherwise than by absence fails with the system's reason.
platform::FileResult StillAsListed(const Listed& listed, const platform::EntryInfo& now, const std::string& what,
                         const platform::ItemAt& item, const std::string& shownPath);

// What keeps an existing item from being replaced or deleted while
// Overwriting is off: it is read-only, system or hidden (as the platform
// keeps these). Null when none of these holds, and for an item that is not
// of the row's kind (a folder for a file row, or the other way round).
const char* ProtectedKind(const platform::EntryInfo& info, bool folderRow = false);

// Whether the file at `to` may be replaced: with Overwriting on, a read-only
// file is made writable first; with it off, a protected file is kept (the
// rename would succeed all the same).
platform::FileResult MayReplace(const platform::ItemAt& to, const platform::EntryInfo& existing,
                      const settings::CompareOptions& options);

// The old version of a file that a copy replaces goes to the trash before the
// new one takes its place, never to a trash this desktop cannot restore from.
platform::FileResult KeepReplaced(const platform::ItemAt& to, platform::TrashPlace& kept, bool& stayed);

// The target is looked at before its copy is made (`now`), so that a changed
// or protected one costs no copying, and again when the copy is about to take
// its place, which the copy's own look at the target costs nothing more.
// Below a folder this run made there is no look first (`now` unset): the
// target can only be absent there.
platform::FileResult CopyOneFile(const platform::ItemAt& from, const platform::ItemAt& to, const Listed& listed,
                       const std::optional<platform::EntryInfo>& now, const std::string& shownPath,
                       const settings::CompareOptions& options, bool keepReplaced,
                       const platform::CopyProgress& progress, platform::WrittenFileSystems& written);

// Moves the row's item to the user's trash. A folder row goes only when it is
// empty, as removing it would; a file row never takes a folder that has come
// in its place since the comparison, which would carry away a whole tree.
platform::FileResult TrashOneItem(const RowItem& row, const platform::ItemAt& item, platform::EntryKind kind);

// `now` is what is at `item`, already found as the comparison listed it.
platform::FileResult DeleteOneItem(const RowItem& row, const platform::ItemAt& item, const platform::EntryInfo& now,
                         const settings::CompareOptions& options, DeleteTarget target,
                         platform::TemporarySweep& sweep);

} // namespace tandrel::sync
