#include "sync/RowActions.h"

#include "platform/FolderListing.h"
#include "platform/Trash.h"

#include <cerrno>

namespace tandrel::sync {

using platform::FileResult;

FileResult ChangedSinceComparison(const std::string& path)
{
    return FileResult::Failure("'" + path + "' has changed since the comparison");
}

bool IsAbsence(int error)
{
    return error == ENOENT || error == ENOTDIR;
}

// Whether `now` is still what the comparison listed, so that a row acts only
// on what the user saw. A folder's own time changes as its content does: it
// needs only to be a folder still. An entry listed with a folder beside it
// on the other side (listed with size 0) is judged by the step itself.
// A look that fails otherwise than by absence fails with the system's reason.
FileResult StillAsListed(const Listed& listed, const platform::EntryInfo& now, const std::string& what,
                         const platform::ItemAt& item, const std::string& shownPath)
{
    if (now.kind == platform::EntryKind::Missing && !IsAbsence(now.error))
        return platform::ErrnoFailure(what, item.path, now.error);
    bool same = false;
    switch (listed.state) {
    case Listed::State::Absent:
        same = now.kind == platform::EntryKind::Missing;
        break;
    case Listed::State::Folder:
        same = now.kind == platform::EntryKind::Folder;
        break;
    case Listed::State::Entry:
        same = now.kind == platform::EntryKind::Folder
                   ? listed.size == 0
                   : now.kind != platform::EntryKind::Missing && now.size == listed.size &&
                         now.mtime == listed.modified;
        break;
    }
    return same ? FileResult::Success() : ChangedSinceComparison(shownPath);
}


// What keeps an existing item from being replaced or deleted while
// Overwriting is off: it is read-only, system or hidden (as the platform
// keeps these). Null when none of these holds, and for an item that is not
// of the row's kind (a folder for a file row, or the other way round).
const char* ProtectedKind(const platform::EntryInfo& info, bool folderRow)
{
    if (info.kind == platform::EntryKind::Missing || (info.kind == platform::EntryKind::Folder) != folderRow)
        return nullptr;
    if (info.ReadOnly())
        return "read-only";
    if (info.system)
        return "system";
    if (info.hidden)
        return "hidden";
    return nullptr;
}

// Whether the file at `to` may be replaced: with Overwriting on, a read-only
// file is made writable first; with it off, a protected file is kept (the
// rename would succeed all the same).
FileResult MayReplace(const platform::ItemAt& to, const platform::EntryInfo& existing,
                      const settings::CompareOptions& options)
{
    if (options.Overwriting) {
        if (existing.kind != platform::EntryKind::Missing && existing.kind != platform::EntryKind::Folder)
            return platform::SetArchiveOnlyAt(to);
    } else if (const char* kind = ProtectedKind(existing)) {
        return platform::AccessDenied(std::string("Cannot replace ") + kind + " file", to.path);
    }
    return FileResult::Success();
}

// The old version of a file that a copy replaces goes to the trash before the
// new one takes its place, never to a trash this desktop cannot restore from.
FileResult KeepReplaced(const platform::ItemAt& to, platform::TrashPlace& kept, bool& stayed)
{
    if (platform::IsNetworkFileSystem(to.folder.Fd()))
        return FileResult::Failure("Cannot keep the replaced file '" + to.path +
                                   "' in the trash: it is on a network or remote file system, which has no trash "
                                   "this desktop can restore; it was not replaced");
    return platform::KeepInTrashAt(to.folder.Fd(), to.name, to.path, kept, stayed);
}

// The target is looked at before its copy is made (`now`), so that a changed
// or protected one costs no copying, and again when the copy is about to take
// its place, which the copy's own look at the target costs nothing more.
// Below a folder this run made there is no look first (`now` unset): the
// target can only be absent there.
FileResult CopyOneFile(const platform::ItemAt& from, const platform::ItemAt& to, const Listed& listed,
                       const std::optional<platform::EntryInfo>& now, const std::string& shownPath,
                       const settings::CompareOptions& options, bool keepReplaced,
                       const platform::CopyProgress& progress, platform::WrittenFileSystems& written)
{
    if (now) {
        if (FileResult same = StillAsListed(listed, *now, "Cannot copy to", to, shownPath); !same.ok())
            return same;
        if (listed.state != Listed::State::Absent) {
            if (FileResult allowed = MayReplace(to, *now, options); !allowed.ok())
                return allowed;
        }
    }
    // With `keepReplaced` the old version goes into the trash just before the
    // new one takes its place; when the new one then cannot, the trash gives
    // it back (it never left its place where the trash allows).
    platform::TrashPlace kept;
    bool stayed = false;
    FileResult result =
        platform::CopyFileSafelyAt(from, to, progress, &written, [&](const platform::EntryInfo& existing) {
            if (FileResult same = StillAsListed(listed, existing, "Cannot copy to", to, shownPath); !same.ok())
                return same;
            if (!keepReplaced || existing.kind == platform::EntryKind::Missing ||
                existing.kind == platform::EntryKind::Folder)
                return FileResult::Success();
            return KeepReplaced(to, kept, stayed);
        });
    if (!result.ok() && stayed)
        platform::TakeBackFromTrash(kept);
    return result;
}

// Moves the row's item to the user's trash. A folder row goes only when it is
// empty, as removing it would; a file row never takes a folder that has come
// in its place since the comparison, which would carry away a whole tree.
FileResult TrashOneItem(const RowItem& row, const platform::ItemAt& item, platform::EntryKind kind)
{
    if (kind != platform::EntryKind::Missing && (kind == platform::EntryKind::Folder) != row.isFolder)
        return platform::ErrnoFailure("Cannot move to the trash", item.path, row.isFolder ? ENOTDIR : EISDIR);
    FileResult result = platform::MoveToTrashAt(item.folder.Fd(), item.name, item.path,
                                                row.isFolder ? platform::TrashFolders::OnlyWhenEmpty
                                                             : platform::TrashFolders::WholeTree);
    // A fault of the trash folder names that folder; the row's text names the item too.
    if (!result.ok() && result.error.find(item.path) == std::string::npos)
        result.error = "Cannot move '" + item.path + "' to the trash: " + result.error;
    return result;
}

// `now` is what is at `item`, already found as the comparison listed it.
FileResult DeleteOneItem(const RowItem& row, const platform::ItemAt& item, const platform::EntryInfo& now,
                         const settings::CompareOptions& options, DeleteTarget target,
                         platform::TemporarySweep& sweep)
{
    if (row.isFolder) {
        if (const char* kind = ProtectedKind(now, true)) {
            if (!options.Overwriting)
                return platform::AccessDenied(std::string("Cannot remove ") + kind + " folder", item.path);
            if (target == DeleteTarget::Remove) {
                FileResult cleared = platform::SetArchiveOnlyAt(item);
                if (!cleared.ok())
                    return cleared;
            }
        }
        // What an interrupted copy left in the folder is not the user's: it
        // does not keep the folder from going. A folder is rarely left with
        // such files, so it is looked into only when it will not go (a
        // listing costs round trips on a network file system).
        if (target == DeleteTarget::Remove) {
            if (FileResult removed = platform::RemoveFolderAt(item); removed.ok())
                return removed;
            sweep.BeforeRemoving(item);
            return platform::RemoveFolderAt(item);
        }
        sweep.BeforeRemoving(item);
        return TrashOneItem(row, item, platform::LookUpAt(item).kind);
    }
    if (!options.Overwriting) {
        if (const char* kind = ProtectedKind(now))
            return platform::AccessDenied(std::string("Cannot delete ") + kind + " file", item.path);
    } else if (target == DeleteTarget::Remove) {
        FileResult cleared = platform::SetArchiveOnlyAt(item);
        if (!cleared.ok())
            return cleared;
    }
    // In the trash the item keeps its rights, so that restoring it brings it back as it was.
    return target == DeleteTarget::Trash ? TrashOneItem(row, item, now.kind) : platform::DeleteFileAt(item);
}

} // namespace tandrel::sync
