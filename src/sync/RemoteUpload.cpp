#include "sync/RemoteUpload.h"

#include "engine/PathRules.h"
#include "platform/ContentFile.h"
#include "sync/FoldersMade.h"
#include "sync/RemoteItems.h"
#include "sync/RemoteRowRun.h"
#include "sync/RowActions.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <memory>
#include <optional>

namespace tandrel::sync {
namespace {

namespace remote = platform::remote;
namespace sftp = platform::remote::sftp;
using platform::EntryInfo;
using platform::EntryKind;
using platform::FileResult;
using remote::RemoteStatus;

using Done = RemoteRowRun::Done;

// A local file or link copied to a remote side.
struct Upload {
    RemoteRowRun* run = nullptr;
    remote::SftpClient& client;
    remote::RemoteOperations operations;
    const remote::SideAddress& side;
    std::string localRoot;
    bool targetSeen;
    bool toDestination;
    const settings::CompareOptions& options;
    const CopyChoices& choices;
    RemoteSweep sweep;
    FoldersMade made;
    struct MadeFolder {
        std::size_t row;
        std::string path;
        std::int64_t mtime;
    };
    std::vector<MadeFolder> madeFolders;

    Upload(remote::SftpClient& c, const remote::SideAddress& s, std::string root, bool seen, bool toDest,
           const settings::CompareOptions& o, const CopyChoices& ch)
        : client(c), operations(c), side(s), localRoot(std::move(root)), targetSeen(seen), toDestination(toDest),
          options(o), choices(ch), sweep(operations, static_cast<std::int64_t>(std::time(nullptr)))
    {
    }

    void Start(RowTask& task, Done done)
    {
        const RowItem& row = task.item;
        if (!row.caseClash.empty())
            return done(FileResult::Failure(row.caseClash));
        const std::string target = RemoteItemPath(side, row.relativePath);
        if (row.isFolder)
            return StartFolder(task, target, std::move(done));
        const Listed listed =
            targetSeen ? Listed{Listed::State::Entry, toDestination ? row.counterpartSize : row.size,
                                toDestination ? row.counterpartModified : row.modified}
                       : Listed{};
        // Below a folder this run made, the target can only be absent.
        if (made.HoldsParentOf(row.relativePath))
            return WhenSwept(row, target, std::move(done));
        operations.Lstat(target, [this, row, target, listed, done = std::move(done)](
                                     const RemoteStatus& status, const sftp::FileAttributes& attributes) {
            FileResult failure;
            const auto now = LookedAt(status, attributes, target, "Cannot copy to", row.shownPath, failure);
            if (!now)
                return done(failure);
            if (FileResult allowed = MayReplaceRemote(listed, *now, row.shownPath); !allowed.ok())
                return done(allowed);
            WhenSwept(row, target, done);
        });
    }

    FileResult MayReplaceRemote(const Listed& listed, const EntryInfo& now, const std::string& shownPath) const
    {
        if (FileResult same = StillAsListed(listed, now, "Cannot copy to", ShownItem(shownPath), shownPath); !same.ok())
            return same;
        if (listed.state == Listed::State::Absent || now.kind == EntryKind::Missing)
            return FileResult::Success();
        // The rename would replace a file the owner may not write: kept, as locally.
        if (!options.Overwriting)
            if (const char* kind = ProtectedKind(now))
                return platform::AccessDenied(std::string("Cannot replace ") + kind + " file", shownPath);
        if (choices.keepReplaced && now.kind != EntryKind::Folder)
            return FileResult::Failure("Cannot keep the replaced file '" + shownPath + "' in the trash: it " +
                                       kNoRemoteTrash + "; it was not replaced");
        return FileResult::Success();
    }

    void WhenSwept(const RowItem& row, const std::string& target, Done done)
    {
        sweep.BeforeWritingInto(RemoteFolderOf(target), [this, row, target, done = std::move(done)] {
            Send(row, target, done, !targetSeen);
        });
    }

    // The folders above a new file are made on the way, as locally, unless
    // the comparison saw its target (then a level gone is a change).
    void MakeLevels(const RowItem& row, std::function<void()> then)
    {
        auto levels = std::make_shared<std::vector<std::string>>();
        for (std::size_t at = 0; at < row.relativePath.size(); ++at)
            if (IsSeparator(row.relativePath[at]))
                levels->push_back(RemoteItemPath(side, row.relativePath.substr(0, at)));
        // Each step holds the chain only while its request is in flight.
        auto next = std::make_shared<std::function<void(std::size_t)>>();
        *next = [this, levels, weak = std::weak_ptr(next), then = std::move(then)](std::size_t i) {
            if (i == levels->size())
                return then();
            // A level that exists already fails to be made: the write that follows tells.
            operations.MakeFolder((*levels)[i], 0777,
                                  [self = weak.lock(), i](const RemoteStatus&) { (*self)(i + 1); });
        };
        (*next)(0);
    }

    void Send(const RowItem& row, const std::string& target, const Done& done, bool mayMakeLevels)
    {
        const std::string source = localRoot + row.relativePath;
        const EntryInfo local = platform::LookUp(source);
        switch (local.kind) {
        case EntryKind::Missing:
            return done(platform::ErrnoFailure("Cannot read", source, local.error));
        case EntryKind::Folder:
            return done(platform::ErrnoFailure("Cannot copy", source, EISDIR));
        case EntryKind::Special:
            return done(FileResult::Failure("Cannot copy '" + source +
                                            "': not a regular file (a FIFO, socket or device is never copied)"));
        case EntryKind::SymbolicLink:
            return SendLink(row, source, local, target, done, mayMakeLevels);
        case EntryKind::RegularFile:
            break;
        }
        auto file = std::make_shared<platform::ContentFile>();
        std::string reason;
        bool isLink = false;
        if (!file->Open(source, reason, isLink))
            return isLink ? SendLink(row, source, platform::LookUp(source), target, done, mayMakeLevels)
                          : done(FileResult::Failure("Cannot read '" + source + "': " + reason));
        remote::FileWrite write;
        write.path = target;
        write.size = file->Size();
        // Set-user and set-group bits are not carried: the copy has another owner.
        write.permissions = local.mode & 01777;
        write.atime = write.mtime = static_cast<std::uint32_t>(local.mtime);
        auto stop = std::make_shared<FileResult>();
        write.source = [this, file, stop, source, shown = row.shownPath, size = write.size](
                           std::uint64_t offset, std::uint32_t length, std::string& chunk, std::string& error) {
            error = "the copy was stopped";
            if (run->Abandoned()) {
                *stop = FileResult::Cancelled("Copy to '" + shown + "' cancelled");
                return false;
            }
            chunk.resize(length);
            std::size_t got = 0;
            while (got < length) {
                std::string why;
                const long long n = file->ReadSome(chunk.data() + got, length - got, offset + got, why);
                if (n < 0) {
                    *stop = FileResult::Failure("Cannot read '" + source + "': " + why);
                    return false;
                }
                if (n == 0)
                    break;
                got += static_cast<std::size_t>(n);
            }
            std::string why;
            if (got != length || (offset + length == size && !file->Unchanged(why))) {
                *stop = FileResult::Failure("Cannot copy '" + source + "': it changed while it was being copied");
                return false;
            }
            const std::uint64_t end = offset + length;
            if (end / platform::kCopyStepBytes != offset / platform::kCopyStepBytes && !run->FileStep(end, size)) {
                *stop = FileResult::Cancelled("Copy to '" + shown + "' cancelled");
                return false;
            }
            return true;
        };
        operations.WriteFile(std::move(write), [this, row, target, done, stop, mayMakeLevels](
                                                   const RemoteStatus& status) {
            if (status.ok())
                return done(FileResult::Success());
            if (!stop->ok())
                return done(*stop);
            if (status.Absent() && mayMakeLevels)
                return MakeLevels(row, [this, row, target, done] { Send(row, target, done, false); });
            done(FileResult::Failure(status.Describe("Cannot copy to", row.shownPath)));
        });
    }

    // A link is made under a temporary name, given its own times where the
    // server can set a link's times, and renamed over the target.
    void SendLink(const RowItem& row, const std::string& source, const EntryInfo& local, const std::string& target,
                  const Done& done, bool mayMakeLevels)
    {
        if (engine::PathRules::Native().separator == '\\')
            return done(FileResult::Failure("Cannot copy '" + source +
                                            "': it is a junction or symbolic link, which is not copied on this "
                                            "system"));
        std::string reason;
        const std::optional<std::string> text = platform::LinkText(source, reason);
        if (!text)
            return done(FileResult::Failure("Cannot read link '" + source + "': " + reason));
        const std::string temporary = remote::RemoteOperations::TemporaryNameFor(target);
        const auto mtime = static_cast<std::uint32_t>(local.mtime);
        const auto fail = [this, temporary, done, shown = row.shownPath](const RemoteStatus& status) {
            operations.RemoveFile(temporary, [done, status, shown](const RemoteStatus&) {
                done(FileResult::Failure(status.Describe("Cannot copy to", shown)));
            });
        };
        operations.MakeLink(temporary, *text, [=, this](const RemoteStatus& linked) {
            if (!linked.ok()) {
                if (linked.Absent() && mayMakeLevels)
                    return MakeLevels(row, [=, this] { SendLink(row, source, local, target, done, false); });
                return done(FileResult::Failure(linked.Describe("Cannot copy to", row.shownPath)));
            }
            SetLinkTimes(temporary, mtime, [=, this](const RemoteStatus& timed) {
                if (!timed.ok())
                    return fail(timed);
                operations.Rename(temporary, target, [=](const RemoteStatus& renamed) {
                    if (!renamed.ok())
                        return fail(renamed);
                    done(FileResult::Success());
                });
            });
        });
    }

    // lsetstat@openssh.com sets the times of a link itself; a server without
    // it leaves the link with the time it was made.
    void SetLinkTimes(const std::string& path, std::uint32_t mtime, remote::RemoteOperations::Done done)
    {
        if (!client.Offers("lsetstat@openssh.com"))
            return done(RemoteStatus::Success());
        sftp::FileAttributes attributes;
        attributes.flags = sftp::kAttrTimes;
        attributes.atime = attributes.mtime = mtime;
        client.Submit(remote::SftpClient::Extended("lsetstat@openssh.com").String(path).Attributes(attributes).Finish(),
                      [done = std::move(done)](const sftp::Reply* reply, const RemoteStatus& lost) {
                          done(reply ? sftp::ReadStatus(*reply) : lost);
                      });
    }

    // A folder row makes its one level, after a look that finds it absent
    // (or, for a listed counterpart, still a folder: nothing to make).
    void StartFolder(RowTask& task, const std::string& target, Done done)
    {
        const RowItem& row = task.item;
        const EntryInfo local = platform::LookUp(localRoot + row.relativePath);
        if (local.kind == EntryKind::Missing)
            return done(platform::ErrnoFailure("Cannot read", localRoot + row.relativePath, local.error));
        const Listed listed{targetSeen ? Listed::State::Folder : Listed::State::Absent, 0, 0};
        operations.Lstat(target, [this, row, listed, target, mtime = local.mtime, k = task.row,
                                  done = std::move(done)](const RemoteStatus& status,
                                                          const sftp::FileAttributes& attributes) {
            FileResult failure;
            const auto now = LookedAt(status, attributes, target, "Cannot create folder", row.shownPath, failure);
            if (!now)
                return done(failure);
            if (FileResult same = StillAsListed(listed, *now, "Cannot create folder", ShownItem(row.shownPath),
                                                row.shownPath);
                !same.ok())
                return done(same);
            if (now->kind == EntryKind::Folder)
                return done(FileResult::Success());
            operations.MakeFolder(target, 0777, [this, row, target, mtime, k, done](const RemoteStatus& made) {
                if (!made.ok())
                    return done(FileResult::Failure(made.Describe("Cannot create folder", row.shownPath)));
                sweep.MadeByThisRun(target);
                this->made.Add(row.relativePath);
                madeFolders.push_back({k, target, mtime});
                done(FileResult::Success());
            });
        });
    }

    // The folders the run made take their sources' times once their content
    // is in, the deepest first; a folder whose time cannot be set fails its row.
    void SetFolderTimes(RowRun& frame, SyncOutcome& outcome)
    {
        std::sort(madeFolders.begin(), madeFolders.end(), [](const MadeFolder& a, const MadeFolder& b) {
            return std::count(a.path.begin(), a.path.end(), '/') > std::count(b.path.begin(), b.path.end(), '/');
        });
        std::vector<std::pair<std::size_t, RemoteStatus>> failed;
        std::size_t left = madeFolders.size();
        for (const MadeFolder& folder : madeFolders) {
            const auto time = static_cast<std::uint32_t>(folder.mtime);
            operations.SetTimes(folder.path, time, time, [&failed, &left, row = folder.row](const RemoteStatus& status) {
                if (!status.ok())
                    failed.emplace_back(row, status);
                --left;
            });
        }
        client.RunUntil([&left] { return left == 0; });
        std::sort(failed.begin(), failed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [k, status] : failed) {
            engine::CompareItem& row = frame.store.Row(frame.category, k);
            if (row.Tag() != engine::kProcessedTag)
                continue;
            const std::string text =
                status.Describe("Cannot set the time of", frame.shownPath(row));
            --outcome.succeeded;
            MarkRowFailed(frame.store, frame.category, k, text, outcome, frame.observer);
            if (!options.IgnoreError && !outcome.stoppedOnFailure) {
                frame.observer.ShowFailure(text);
                outcome.stoppedOnFailure = true;
            }
        }
    }
};

} // namespace

SyncOutcome UploadRows(RowRun& frame, platform::remote::SftpClient& client, const platform::remote::SideAddress& side,
                       std::size_t window, const std::string& fromRoot, bool targetSeen, bool toDestination,
                       const CopyChoices& choices)
{
    Upload upload(client, side, fromRoot, targetSeen, toDestination, frame.options, choices);
    RemoteRowRun run(frame, &client, window, [&upload](RowTask& task, const Done& done) { upload.Start(task, done); });
    upload.run = &run;
    SyncOutcome outcome = run.Run(Order::TopDown);
    upload.SetFolderTimes(frame, outcome);
    return outcome;
}

} // namespace tandrel::sync
