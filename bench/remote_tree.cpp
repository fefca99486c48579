// Copies a local tree to a remote folder, or lists a remote tree, through
// the program's own SFTP client with many requests in flight, and prints how
// long it took; bench/run_remote_bench.sh times it against rsync.
//
//   remote_tree copy SOURCE REMOTE [--window N] [--channels N] [--no-flush] [-- SSH_ARGUMENTS...]
//   remote_tree list REMOTE [--window N] [-- SSH_ARGUMENTS...]
//
// REMOTE is a side text (`sftp://user@host:port/path` or `user@host:path`).
// A copy makes the folders level by level, writes every file safely
// (temporary name, times and permission bits, fsync, rename), makes links
// as links and sets the folders' times last, as `rsync -a` does; with
// --channels the files go over that many SSH connections at once, and
// --no-flush leaves out the flush of each file on the server, to show what
// it costs. A listing
// reads every folder of a level at once.

#include "platform/remote/RemoteSession.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <memory>
#include <thread>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace tandrel::platform::remote;

namespace {

struct LocalEntry {
    std::string relative;
    struct stat status;
};

struct LocalTree {
    std::vector<std::vector<LocalEntry>> foldersByDepth; // depth 1 first
    std::vector<LocalEntry> files;
    std::vector<LocalEntry> links;
};

void Walk(const std::string& root, const std::string& relative, std::size_t depth, LocalTree& tree)
{
    DIR* dir = ::opendir((root + "/" + relative).c_str());
    if (!dir) {
        std::fprintf(stderr, "cannot read %s/%s: %s\n", root.c_str(), relative.c_str(), std::strerror(errno));
        std::exit(1);
    }
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        LocalEntry entry{relative.empty() ? name : relative + "/" + name, {}};
        ::lstat((root + "/" + entry.relative).c_str(), &entry.status);
        if (S_ISDIR(entry.status.st_mode)) {
            if (tree.foldersByDepth.size() < depth)
                tree.foldersByDepth.resize(depth);
            tree.foldersByDepth[depth - 1].push_back(entry);
            Walk(root, entry.relative, depth + 1, tree);
        } else if (S_ISLNK(entry.status.st_mode)) {
            tree.links.push_back(entry);
        } else if (S_ISREG(entry.status.st_mode)) {
            tree.files.push_back(entry);
        }
    }
    ::closedir(dir);
}

struct Tally {
    std::size_t done = 0;
    std::size_t failed = 0;
    std::string firstError;
    RemoteOperations::Done Count()
    {
        return [this](const RemoteStatus& status) {
            ++done;
            if (!status.ok() && failed++ == 0)
                firstError = status.text;
        };
    }
};

bool g_flush = true;

// The files of one channel, written many at a time.
void WriteFiles(RemoteSession& session, const std::string& source, const std::string& target,
                const std::vector<const LocalEntry*>& files, Tally& tally)
{
    for (const LocalEntry* file : files) {
        FileWrite request;
        request.path = target + "/" + file->relative;
        request.size = static_cast<std::uint64_t>(file->status.st_size);
        request.permissions = file->status.st_mode & 07777;
        request.atime = static_cast<std::uint32_t>(file->status.st_atime);
        request.mtime = static_cast<std::uint32_t>(file->status.st_mtime);
        request.flush = g_flush;
        const std::string path = source + "/" + file->relative;
        auto fd = std::make_shared<int>(-1);
        request.source = [path, fd, size = request.size](std::uint64_t offset, std::uint32_t length, std::string& chunk,
                                                  std::string& error) {
            if (*fd < 0)
                *fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            chunk.resize(length);
            const ssize_t n = *fd < 0 ? -1 : ::pread(*fd, chunk.data(), length, static_cast<off_t>(offset));
            if (n != static_cast<ssize_t>(length))
                error = path + ": " + (n < 0 ? std::strerror(errno) : "changed while copied");
            if (offset + length >= size || !error.empty()) {
                ::close(*fd);
                *fd = -1;
            }
            return error.empty();
        };
        session.Operations().WriteFile(std::move(request), tally.Count());
    }
    session.Client().Run();
}

// Folders and links on the first channel; the files spread over all of
// them, each on a thread of its own (the server runs one process per
// channel, so that one file's flush does not hold up the others).
int Copy(std::vector<std::unique_ptr<RemoteSession>>& sessions, const std::string& source, const std::string& target)
{
    LocalTree tree;
    Walk(source, "", 1, tree);
    RemoteSession& first = *sessions.front();
    RemoteOperations& operations = first.Operations();
    std::vector<Tally> tallies(sessions.size());
    Tally& tally = tallies.front();
    for (const auto& level : tree.foldersByDepth) {
        for (const auto& folder : level)
            operations.MakeFolder(target + "/" + folder.relative, folder.status.st_mode & 07777, tally.Count());
        first.Client().Run();
    }
    std::vector<std::vector<const LocalEntry*>> shares(sessions.size());
    for (std::size_t i = 0; i < tree.files.size(); ++i)
        shares[i % sessions.size()].push_back(&tree.files[i]);
    std::vector<std::thread> threads;
    for (std::size_t c = 0; c < sessions.size(); ++c) {
        threads.emplace_back([&, c] { WriteFiles(*sessions[c], source, target, shares[c], tallies[c]); });
    }
    for (auto& thread : threads)
        thread.join();
    for (const auto& link : tree.links) {
        char pointsTo[4096];
        const ssize_t n = ::readlink((source + "/" + link.relative).c_str(), pointsTo, sizeof pointsTo);
        if (n > 0)
            operations.MakeLink(target + "/" + link.relative, std::string(pointsTo, static_cast<std::size_t>(n)),
                                tally.Count());
    }
    for (auto level = tree.foldersByDepth.rbegin(); level != tree.foldersByDepth.rend(); ++level) {
        for (const auto& folder : *level)
            operations.SetTimes(target + "/" + folder.relative, static_cast<std::uint32_t>(folder.status.st_atime),
                                static_cast<std::uint32_t>(folder.status.st_mtime), tally.Count());
    }
    first.Client().Run();
    std::size_t done = 0;
    std::size_t failed = 0;
    std::string firstError;
    for (const auto& t : tallies) {
        done += t.done;
        failed += t.failed;
        if (firstError.empty())
            firstError = t.firstError;
    }
    std::printf("copied: %zu files, %zu links, %zu steps, %zu failed%s%s\n", tree.files.size(), tree.links.size(),
                done, failed, failed ? ": " : "", firstError.c_str());
    return failed == 0 ? 0 : 1;
}

int List(RemoteSession& session, const std::string& root)
{
    std::vector<std::string> level{root};
    std::size_t entries = 0;
    std::size_t failed = 0;
    while (!level.empty()) {
        std::vector<std::vector<tandrel::platform::remote::sftp::NameEntry>> listings;
        const auto statuses = session.ListFolders(level, listings);
        std::vector<std::string> next;
        for (std::size_t i = 0; i < level.size(); ++i) {
            if (!statuses[i].ok()) {
                std::fprintf(stderr, "%s: %s\n", level[i].c_str(), statuses[i].text.c_str());
                ++failed;
            }
            for (const auto& entry : listings[i]) {
                ++entries;
                if (entry.attributes.IsFolder())
                    next.push_back(level[i] + "/" + entry.name);
            }
        }
        level = std::move(next);
    }
    std::printf("listed: %zu entries, %zu folders failed\n", entries, failed);
    return failed == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    ConnectOptions options;
    options.maxRequestsInFlight = 256;
    std::vector<std::string> positional;
    std::size_t channels = 1;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--") {
            options.sshArguments.assign(arguments.begin() + static_cast<std::ptrdiff_t>(i) + 1, arguments.end());
            break;
        }
        if (arguments[i] == "--channels" && i + 1 < arguments.size())
            channels = std::stoul(arguments[++i]);
        else if (arguments[i] == "--no-flush")
            g_flush = false;
        else if (arguments[i] == "--window" && i + 1 < arguments.size())
            options.maxRequestsInFlight = std::stoul(arguments[++i]);
        else
            positional.push_back(arguments[i]);
    }
    const bool copy = positional.size() == 3 && positional[0] == "copy";
    const bool list = positional.size() == 2 && positional[0] == "list";
    if (!copy && !list) {
        std::fprintf(stderr, "usage: remote_tree copy SOURCE REMOTE [--window N] [--channels N] [--no-flush] | list REMOTE [--window N] [-- SSH_ARGS...]\n");
        return 2;
    }
    const SideAddress side = SideAddress::Parse(positional.back());
    if (!side.IsRemote() || !side.Error().empty()) {
        std::fprintf(stderr, "%s: not a remote folder %s\n", positional.back().c_str(), side.Error().c_str());
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    // The channels connect at the same time.
    std::vector<std::unique_ptr<RemoteSession>> sessions(copy ? std::max<std::size_t>(channels, 1) : 1);
    std::vector<RemoteStatus> errors(sessions.size());
    std::vector<std::thread> connecting;
    for (std::size_t c = 0; c < sessions.size(); ++c)
        connecting.emplace_back([&, c] { sessions[c] = RemoteSession::Connect(side, options, errors[c]); });
    for (auto& thread : connecting)
        thread.join();
    for (std::size_t c = 0; c < sessions.size(); ++c) {
        if (!sessions[c]) {
            std::fprintf(stderr, "cannot connect: %s\n", errors[c].text.c_str());
            return 1;
        }
    }
    const auto& limits = sessions.front()->Client().Limits();
    std::printf("server limits: packet %llu, read %llu, write %llu, handles %llu\n",
                static_cast<unsigned long long>(limits.maxPacketLength),
                static_cast<unsigned long long>(limits.maxReadLength),
                static_cast<unsigned long long>(limits.maxWriteLength),
                static_cast<unsigned long long>(limits.maxOpenHandles));
    const std::string root = side.Path().empty() ? "." : side.Path();
    const int status = copy ? Copy(sessions, positional[1], root) : List(*sessions.front(), root);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("seconds: %.3f\n", seconds);
    return status;
}
