#include "sync/RemoteDownload.h"

#include "engine/PathRules.h"
#include "platform/IncomingFile.h"
#include "platform/OwnTemporaries.h"
#include "sync/FoldersMade.h"
#include "sync/RemoteItems.h"
#include "sync/RemoteRowRun.h"
#include "sync/RowActions.h"

#include <cerrno>
#include <memory>

namespace tandrel::sync {
namespace {

namespace remote = platform::remote;
namespace sftp = platform::remote::sftp;
using platform::EntryInfo;
using platform::EntryKind;
using platform::FileResult;
using remote::RemoteStatus;

using Done = RemoteRowRun::Done;

// A remote file or link copied to this machine, written as safely as a local copy.
struct Download {
    RemoteRowRun* run = nullptr;
    remote::RemoteOperations operations;
    const remote::SideAddress& side;
    std::string fromRoot;
    std::string localRoot;
    bool targetSeen;
    bool toDestination;
    const settings::CompareOptions& options;
    const CopyChoices& choices;
    PendingFlush& pending;
    FoldersMade made;
    // Leftovers of interrupted copies in the local folders written into.
    platform::TemporarySweep sweep;

    Download(remote::SftpClient& client, const remote::SideAddress& s, std::string from, std::string to, bool seen,
             bool toDest, const settings::CompareOptions& o, const CopyChoices& ch, PendingFlush& p)
        : operations(client), side(s), fromRoot(std::move(from)), localRoot(std::move(to)), targetSeen(seen),
          toDestination(toDest), options(o), choices(ch), pending(p)
    {
    }

    void Start(RowTask& task, Done done)
    {
        const RowItem& row = task.item;
        if (!row.caseClash.empty())
            return done(FileResult::Failure(row.caseClash));
        // A file's missing folders are made on the way, unless the
        // comparison saw its target (then a level gone is a change); a
        // folder row makes its one level only.
        auto to = std::make_shared<platform::ItemAt>();
        if (FileResult reached = platform::ReachItem(localRoot, row.relativePath, !row.isFolder && !targetSeen,
                                                     row.isFolder ? "Cannot create folder" : "Cannot copy to", *to);
            !reached.ok())
            return done(targetSeen && IsAbsence(reached.errorNumber) ? ChangedSinceComparison(row.shownPath)
                                                                     : reached);
        if (row.isFolder) {
            FileResult result = platform::CreateFolderAt(*to);
            if (result.ok()) {
                sweep.MadeByThisRun(to->path);
                made.Add(row.relativePath);
            }
            return done(result);
        }
        const Listed listed =
            targetSeen ? Listed{Listed::State::Entry, toDestination ? row.counterpartSize : row.size,
                                toDestination ? row.counterpartModified : row.modified}
                       : Listed{};
        if (!made.HoldsParentOf(row.relativePath)) {
            const EntryInfo now = platform::LookUpAt(*to);
            if (FileResult same = StillAsListed(listed, now, "Cannot copy to", *to, row.shownPath); !same.ok())
                return done(same);
            if (listed.state != Listed::State::Absent)
                if (FileResult allowed = MayReplace(*to, now, options); !allowed.ok())
                    return done(allowed);
        }
        sweep.BeforeWritingInto(to->folder.Fd(), engine::PathRules::Native().ParentFolder(to->path));
        const std::string source = RemoteItemPath(side, row.relativePath);
        const std::string shownSource = fromRoot + row.relativePath;
        RowTask* written = &task;
        operations.Lstat(source, [=, this](const RemoteStatus& status, const sftp::FileAttributes& attributes) {
            if (!status.ok())
                return done(FileResult::Failure(status.Describe("Cannot read", shownSource)));
            const EntryInfo info = RemoteEntry(attributes, source);
            const auto check = [this, listed, to, shown = row.shownPath](const EntryInfo& existing) {
                return BeforeReplacing(listed, existing, *to, shown);
            };
            const auto finished = [this, to, written, done](FileResult result) {
                if (result.ok())
                    written->fileSystem = pending.fileSystems.Note(*to);
                done(std::move(result));
            };
            switch (info.kind) {
            case EntryKind::Folder:
                return done(platform::ErrnoFailure("Cannot copy", shownSource, EISDIR));
            case EntryKind::Special:
            case EntryKind::Missing:
                return done(FileResult::Failure("Cannot copy '" + shownSource +
                                                "': not a regular file (a FIFO, socket or device is never copied)"));
            case EntryKind::SymbolicLink:
                return operations.ReadLink(source, [=, this](const RemoteStatus& read, std::string text) {
                    if (!read.ok())
                        return done(FileResult::Failure(read.Describe("Cannot read link", shownSource)));
                    finished(KeepingReplaced(*to, [&](const platform::ReplaceCheck& kept) {
                        return platform::MakeLinkSafelyAt(*to, text, info.mtime, kept);
                    }, check));
                });
            case EntryKind::RegularFile:
                break;
            }
            Receive(source, shownSource, row.shownPath, info, to, check, finished);
        });
    }

    // The target as it is just before the new version takes its place: still
    // as listed, and with `keepReplaced` its old version in the trash.
    FileResult BeforeReplacing(const Listed& listed, const EntryInfo& existing, const platform::ItemAt& to,
                               const std::string& shownPath) const
    {
        return StillAsListed(listed, existing, "Cannot copy to", to, shownPath);
    }

    // Runs `write` with a check that also moves the old version to the
    // trash when the user asked for it, and takes it back should the write fail.
    FileResult KeepingReplaced(const platform::ItemAt& to,
                               const std::function<FileResult(const platform::ReplaceCheck&)>& write,
                               const platform::ReplaceCheck& check) const
    {
        platform::TrashPlace kept;
        bool stayed = false;
        FileResult result = write([&](const EntryInfo& existing) {
            if (FileResult same = check(existing); !same.ok())
                return same;
            if (!choices.keepReplaced || existing.kind == EntryKind::Missing || existing.kind == EntryKind::Folder)
                return FileResult::Success();
            return KeepReplaced(to, kept, stayed);
        });
        if (!result.ok() && stayed)
            platform::TakeBackFromTrash(kept);
        return result;
    }

    void Receive(const std::string& source, const std::string& shownSource, const std::string& shown,
                 const EntryInfo& info, const std::shared_ptr<platform::ItemAt>& to,
                 const platform::ReplaceCheck& check, const Done& finished)
    {
        // The temporary file keeps the target's folder held until it is gone:
        // the read's sink and its completion may go in either order.
        struct Receiving {
            std::shared_ptr<platform::ItemAt> to;
            platform::IncomingFile file; // after `to`, so that it goes first
        };
        auto receiving = std::make_shared<Receiving>();
        receiving->to = to;
        platform::IncomingFile* file = &receiving->file;
        if (FileResult opened = file->Open(*to); !opened.ok())
            return finished(opened);
        auto stop = std::make_shared<FileResult>();
        const auto size = static_cast<std::uint64_t>(info.size);
        operations.ReadFile(
            source,
            [this, receiving, file, stop, shown, size](std::string_view bytes) {
                const std::uint64_t before = file->Written();
                if (run->Abandoned()) {
                    *stop = FileResult::Cancelled("Copy to '" + shown + "' cancelled");
                    return false;
                }
                if (FileResult appended = file->Append(bytes); !appended.ok()) {
                    *stop = appended;
                    return false;
                }
                const std::uint64_t after = file->Written();
                if (after / platform::kCopyStepBytes != before / platform::kCopyStepBytes &&
                    !run->FileStep(after, size)) {
                    *stop = FileResult::Cancelled("Copy to '" + shown + "' cancelled");
                    return false;
                }
                return true;
            },
            [=, this](const RemoteStatus& status) {
                if (!stop->ok())
                    return finished(*stop);
                if (!status.ok())
                    return finished(FileResult::Failure(status.Describe("Cannot read", shownSource)));
                // A file that grew or shrank while it was read gives a torn copy.
                if (receiving->file.Written() != size)
                    return finished(FileResult::Failure("Cannot copy '" + shownSource +
                                                        "': it changed while it was being copied"));
                finished(KeepingReplaced(*receiving->to, [&](const platform::ReplaceCheck& kept) {
                    return receiving->file.Commit(info.mode & 01777, info.mtime, &pending.fileSystems, kept);
                }, check));
            });
    }
};

} // namespace

SyncOutcome DownloadRows(RowRun& frame, platform::remote::SftpClient& client,
                         const platform::remote::SideAddress& side, std::size_t window, const std::string& fromRoot,
                         const std::string& toRoot, bool targetSeen, bool toDestination, const CopyChoices& choices,
                         PendingFlush& pending)
{
    frame.succeeded = [&pending, &frame, toDestination](const RowTask& task) {
        pending.rows.push_back({frame.category, task.row, task.fileSystem, toDestination});
    };
    Download download(client, side, fromRoot, toRoot, targetSeen, toDestination, frame.options, choices, pending);
    // The trash takes one item at a time.
    RemoteRowRun run(frame, &client, choices.keepReplaced ? 1 : window,
                     [&download](RowTask& task, const Done& done) { download.Start(task, done); });
    download.run = &run;
    return run.Run(Order::TopDown);
}

} // namespace tandrel::sync
