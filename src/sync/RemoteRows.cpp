#include "sync/RemoteRows.h"

#include "engine/PathRules.h"
#include "platform/ContentFile.h"
#include "platform/IncomingFile.h"
#include "platform/OwnTemporaries.h"
#include "platform/remote/RemoteSides.h"
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
using engine::CompareItem;
using engine::ResultCategory;
using engine::ResultStore;
using platform::EntryInfo;
using platform::EntryKind;
using platform::FileResult;
using remote::RemoteStatus;

using Done = RemoteRowRun::Done;

// The rows of a run work on one connection; without one, each fails with the reason.
struct Connection {
    remote::SideAddress side;
    remote::RemoteSides own;
    remote::RemoteSession* session = nullptr;
    RemoteStatus error;
    std::size_t window = 1;

    Connection(const std::string& root, remote::RemoteSides* sides) : side(remote::SideAddress::Parse(root))
    {
        remote::RemoteSides& use = sides ? *sides : own;
        window = std::max<std::size_t>(1, use.Options().maxRequestsInFlight);
        session = use.For(side, error);
    }
    remote::SftpClient* Client() { return session ? &session->Client() : nullptr; }
};

// Where a shown path is the item's path in messages: an lstat's failure
// names what could not be looked at.
platform::ItemAt Named(const std::string& shownPath)
{
    return platform::ItemAt{{}, {}, shownPath};
}

// An lstat's answer as the row rules take it: an absence is a missing
// entry, any other failure a failed row.
std::optional<EntryInfo> LookedAt(const RemoteStatus& status, const sftp::FileAttributes& attributes,
                                  const std::string& path, const std::string& what, const std::string& shownPath,
                                  FileResult& failure)
{
    if (status.ok())
        return RemoteEntry(attributes, path);
    if (status.Absent()) {
        EntryInfo missing;
        missing.error = ENOENT;
        return missing;
    }
    failure = FileResult::Failure(status.Describe(what, shownPath));
    return std::nullopt;
}

constexpr const char* kNoRemoteTrash = "is on a remote host, which has no trash this desktop can restore";

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
        if (FileResult same = StillAsListed(listed, now, "Cannot copy to", Named(shownPath), shownPath); !same.ok())
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
        auto next = std::make_shared<std::function<void(std::size_t)>>();
        *next = [this, levels, next, then = std::move(then)](std::size_t i) {
            if (i == levels->size()) {
                *next = nullptr; // the chain holds itself until here
                return then();
            }
            // A level that exists already fails to be made: the write that follows tells.
            operations.MakeFolder((*levels)[i], 0777,
                                  [next, i](const RemoteStatus&) { (*next)(i + 1); });
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
        operations.MakeLink(temporary, *text, [=, this](const RemoteStatus& made) {
            if (!made.ok()) {
                if (made.Absent() && mayMakeLevels)
                    return MakeLevels(row, [=, this] { SendLink(row, source, local, target, done, false); });
                return done(FileResult::Failure(made.Describe("Cannot copy to", row.shownPath)));
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
            if (FileResult same = StillAsListed(listed, *now, "Cannot create folder", Named(row.shownPath),
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
            CompareItem& row = frame.store.Row(frame.category, k);
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
        auto file = std::make_shared<platform::IncomingFile>();
        if (FileResult opened = file->Open(*to); !opened.ok())
            return finished(opened);
        auto stop = std::make_shared<FileResult>();
        const auto size = static_cast<std::uint64_t>(info.size);
        operations.ReadFile(
            source,
            [this, file, stop, shown, size](std::string_view bytes) {
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
                if (file->Written() != size)
                    return finished(FileResult::Failure("Cannot copy '" + shownSource +
                                                        "': it changed while it was being copied"));
                finished(KeepingReplaced(*to, [&](const platform::ReplaceCheck& kept) {
                    return file->Commit(info.mode & 01777, info.mtime, &pending.fileSystems, kept);
                }, check));
            });
    }
};

// A remote item removed for good.
struct RemoteDelete {
    remote::RemoteOperations operations;
    const remote::SideAddress& side;
    const settings::CompareOptions& options;
    RemoteSweep sweep;

    RemoteDelete(remote::SftpClient& client, const remote::SideAddress& s, const settings::CompareOptions& o)
        : operations(client), side(s), options(o), sweep(operations, static_cast<std::int64_t>(std::time(nullptr)))
    {
    }

    void Start(RowTask& task, Done done)
    {
        const RowItem row = task.item;
        const std::string what = row.isFolder ? "Cannot remove folder" : "Cannot delete";
        const std::string path = RemoteItemPath(side, row.relativePath);
        operations.Lstat(path, [this, row, what, path, done = std::move(done)](const RemoteStatus& status,
                                                                               const sftp::FileAttributes& attributes) {
            FileResult failure;
            const auto now = LookedAt(status, attributes, path, what, row.shownPath, failure);
            if (!now)
                return done(failure);
            const Listed listed{row.isFolder ? Listed::State::Folder : Listed::State::Entry, row.size, row.modified};
            if (now->kind == EntryKind::Missing)
                return done(ChangedSinceComparison(row.shownPath));
            if (FileResult same = StillAsListed(listed, *now, what, Named(row.shownPath), row.shownPath); !same.ok())
                return done(same);
            if (row.isFolder)
                return RemoveFolder(row, *now, path, done);
            if (!options.Overwriting)
                if (const char* kind = ProtectedKind(*now))
                    return done(platform::AccessDenied(std::string("Cannot delete ") + kind + " file", row.shownPath));
            operations.RemoveFile(path, [row, done](const RemoteStatus& removed) {
                done(removed.ok() ? FileResult::Success()
                                  : FileResult::Failure(removed.Describe("Cannot delete", row.shownPath)));
            });
        });
    }

    void RemoveFolder(const RowItem& row, const EntryInfo& now, const std::string& path, const Done& done)
    {
        const char* kind = ProtectedKind(now, true);
        if (kind && !options.Overwriting)
            return done(platform::AccessDenied(std::string("Cannot remove ") + kind + " folder", row.shownPath));
        auto remove = [this, row, path, done] {
            // What an interrupted copy left in the folder is not the user's:
            // it does not keep the folder from going.
            operations.RemoveFolder(path, [this, row, path, done](const RemoteStatus& removed) {
                if (removed.ok())
                    return done(FileResult::Success());
                sweep.Clear(path, [this, row, path, done] {
                    operations.RemoveFolder(path, [row, done](const RemoteStatus& again) {
                        done(again.ok() ? FileResult::Success()
                                        : FileResult::Failure(again.Describe("Cannot remove folder", row.shownPath)));
                    });
                });
            });
        };
        if (!kind || (now.mode & 0200) != 0)
            return remove();
        operations.SetPermissions(path, now.mode | 0200, [row, done, remove](const RemoteStatus& set) {
            if (!set.ok())
                return done(FileResult::Failure(set.Describe("Cannot set attributes of", row.shownPath)));
            remove();
        });
    }
};

} // namespace

SyncOutcome CopyRemoteRows(ResultStore& store, ResultCategory category, CopyDirection direction,
                           const settings::CompareOptions& options, engine::RunFlag& runFlag,
                           double& progressFraction, SyncObserver& observer, PendingFlush& pending,
                           const CopyChoices& choices, remote::RemoteSides* sides)
{
    const bool toDestination = direction == CopyDirection::SourceToDestination;
    const std::string& fromRoot = toDestination ? store.SourceRoot() : store.DestinationRoot();
    const std::string& toRoot = toDestination ? store.DestinationRoot() : store.SourceRoot();
    const bool targetSeen =
        category != (toDestination ? ResultCategory::NotInDestination : ResultCategory::NotInSource);
    RowRun frame{store, category, options, runFlag, progressFraction, observer,
                 [&toRoot](const CompareItem& row) { return toRoot + row.relativePath; }, {}};
    const bool fromRemote = IsRemoteRoot(fromRoot);
    if (fromRemote && IsRemoteRoot(toRoot)) {
        // Between two hosts the bytes would pass through this machine; such
        // rows fail plainly rather than half-work.
        RemoteRowRun refuse(frame, nullptr, 1, [](RowTask& task, const Done& done) {
            done(FileResult::Failure("Cannot copy to '" + task.item.shownPath +
                                     "': both folders are on remote hosts; copy through a local folder"));
        });
        return refuse.Run(Order::TopDown);
    }
    Connection connection(fromRemote ? fromRoot : toRoot, sides);
    if (!connection.Client()) {
        RemoteRowRun failing(frame, nullptr, 1, [&connection](RowTask& task, const Done& done) {
            done(FileResult::Failure(connection.error.Describe("Cannot copy to", task.item.shownPath)));
        });
        return failing.Run(Order::TopDown);
    }
    if (fromRemote) {
        frame.succeeded = [&](const RowTask& task) {
            pending.rows.push_back({category, task.row, task.fileSystem, toDestination});
        };
        Download download(*connection.Client(), connection.side, fromRoot, toRoot, targetSeen, toDestination,
                          options, choices, pending);
        // The trash takes one item at a time.
        RemoteRowRun run(frame, connection.Client(), choices.keepReplaced ? 1 : connection.window,
                         [&download](RowTask& task, const Done& done) { download.Start(task, done); });
        download.run = &run;
        return run.Run(Order::TopDown);
    }
    Upload upload(*connection.Client(), connection.side, fromRoot, targetSeen, toDestination, options, choices);
    RemoteRowRun run(frame, connection.Client(), connection.window,
                     [&upload](RowTask& task, const Done& done) { upload.Start(task, done); });
    upload.run = &run;
    SyncOutcome outcome = run.Run(Order::TopDown);
    upload.SetFolderTimes(frame, outcome);
    return outcome;
}

SyncOutcome DeleteRemoteRows(ResultStore& store, ResultCategory category, const settings::CompareOptions& options,
                             engine::RunFlag& runFlag, double& progressFraction, SyncObserver& observer,
                             DeleteTarget target, remote::RemoteSides* sides)
{
    RowRun frame{store, category, options, runFlag, progressFraction, observer,
                 [&store, category](const CompareItem& row) { return store.Path(category, row); }, {}};
    if (target == DeleteTarget::Trash) {
        // Refused before any connection: nothing is looked at or removed.
        RemoteRowRun refuse(frame, nullptr, 1, [](RowTask& task, const Done& done) {
            done(FileResult::Failure("Cannot move '" + task.item.shownPath + "' to the trash: the folder " +
                                     kNoRemoteTrash));
        });
        return refuse.Run(Order::BottomUp);
    }
    Connection connection(store.WalkedRoot(category), sides);
    if (!connection.Client()) {
        RemoteRowRun failing(frame, nullptr, 1, [&connection](RowTask& task, const Done& done) {
            done(FileResult::Failure(connection.error.Describe(task.item.isFolder ? "Cannot remove folder"
                                                                                  : "Cannot delete",
                                                               task.item.shownPath)));
        });
        return failing.Run(Order::BottomUp);
    }
    RemoteDelete remover(*connection.Client(), connection.side, options);
    RemoteRowRun run(frame, connection.Client(), connection.window,
                     [&remover](RowTask& task, const Done& done) { remover.Start(task, done); });
    return run.Run(Order::BottomUp);
}

} // namespace tandrel::sync
