// Copies a local tree to a remote folder, or lists a remote tree, through
// the program's own SFTP client with many requests in flight, and prints how
// long it took; bench/run_remote_bench.sh times it against rsync.
//
//   remote_tree copy SOURCE REMOTE [--window N] [-- SSH_ARGUMENTS...]
//   remote_tree list REMOTE [--window N] [-- SSH_ARGUMENTS...]
//
// REMOTE is a side text (`sftp://user@host:port/path` or `user@host:path`).
// A copy makes the folders level by level, writes every file safely
// (temporary name, times and permission bits, fsync, rename), makes links
// as links and sets the folders' times last, as `rsync -a` does. A listing
// reads every folder of a level at once.

#include "platform/remote/RemoteSession.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
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

int Copy(RemoteSession& session, const std::string& source, const std::string& target)
{
    LocalTree tree;
    Walk(source, "", 1, tree);
    RemoteOperations& operations = session.Operations();
    Tally tally;
    for (const auto& level : tree.foldersByDepth) {
        for (const auto& folder : level)
            operations.MakeFolder(target + "/" + folder.relative, folder.status.st_mode & 07777, tally.Count());
        session.Client().Run();
    }
    for (const auto& file : tree.files) {
        WriteSpec spec;
        spec.path = target + "/" + file.relative;
        spec.size = static_cast<std::uint64_t>(file.status.st_size);
        spec.permissions = file.status.st_mode & 07777;
        spec.atime = static_cast<std::uint32_t>(file.status.st_atime);
        spec.mtime = static_cast<std::uint32_t>(file.status.st_mtime);
        const std::string path = source + "/" + file.relative;
        auto fd = std::make_shared<int>(-1);
        spec.source = [path, fd, size = spec.size](std::uint64_t offset, std::uint32_t length, std::string& chunk,
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
        operations.WriteFile(std::move(spec), tally.Count());
    }
    for (const auto& link : tree.links) {
        char target_[4096];
        const ssize_t n = ::readlink((source + "/" + link.relative).c_str(), target_, sizeof target_);
        if (n > 0)
            operations.MakeLink(target + "/" + link.relative, std::string(target_, static_cast<std::size_t>(n)),
                                tally.Count());
    }
    session.Client().Run();
    for (auto level = tree.foldersByDepth.rbegin(); level != tree.foldersByDepth.rend(); ++level) {
        for (const auto& folder : *level)
            operations.SetTimes(target + "/" + folder.relative, static_cast<std::uint32_t>(folder.status.st_atime),
                                static_cast<std::uint32_t>(folder.status.st_mtime), tally.Count());
    }
    session.Client().Run();
    std::printf("copied: %zu files, %zu links, %zu steps, %zu failed%s%s\n", tree.files.size(), tree.links.size(),
                tally.done, tally.failed, tally.failed ? ": " : "", tally.firstError.c_str());
    return tally.failed == 0 ? 0 : 1;
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
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--") {
            options.sshArguments.assign(arguments.begin() + static_cast<std::ptrdiff_t>(i) + 1, arguments.end());
            break;
        }
        if (arguments[i] == "--window" && i + 1 < arguments.size())
            options.maxRequestsInFlight = std::stoul(arguments[++i]);
        else
            positional.push_back(arguments[i]);
    }
    const bool copy = positional.size() == 3 && positional[0] == "copy";
    const bool list = positional.size() == 2 && positional[0] == "list";
    if (!copy && !list) {
        std::fprintf(stderr, "usage: remote_tree copy SOURCE REMOTE | list REMOTE [--window N] [-- SSH_ARGS...]\n");
        return 2;
    }
    const SideSpec side = SideSpec::Parse(positional.back());
    if (!side.IsRemote() || !side.Error().empty()) {
        std::fprintf(stderr, "%s: not a remote folder %s\n", positional.back().c_str(), side.Error().c_str());
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    RemoteStatus error;
    auto session = RemoteSession::Connect(side, options, error);
    if (!session) {
        std::fprintf(stderr, "cannot connect: %s\n", error.text.c_str());
        return 1;
    }
    const std::string root = side.Path().empty() ? "." : side.Path();
    const int status = copy ? Copy(*session, positional[1], root) : List(*session, root);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("seconds: %.3f\n", seconds);
    return status;
}
