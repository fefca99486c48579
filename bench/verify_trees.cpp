// Runs the content check over two trees, pairing every regular file of the
// first with the regular file of the same size at the same relative path in
// the second. Stands in for `tandrel-cli verify` in bench/run_verify_bench.sh.
//
//   verify_trees SOURCE DESTINATION [--workers N] [--buffer-kib N] [--quiet]
//
// Exit status: 0 all pairs the same, 1 some differ, 2 trouble (unreadable
// files or bad arguments).

#include "engine/ContentCheck.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace fs = std::filesystem;
using namespace tandrel::engine;

namespace {

struct Terminal : ContentCheckObserver {
    bool quiet = false;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();

    void Found(const FilePair& pair, const ContentFinding& finding) override
    {
        if (finding.verdict == ContentVerdict::Different)
            std::printf("differ at byte %llu: %s\n", static_cast<unsigned long long>(finding.offset),
                        pair.source.c_str());
        else
            std::printf("%s\n", finding.error.c_str());
    }
    void Progress(std::uint64_t done, std::uint64_t total) override
    {
        if (quiet)
            return;
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::fprintf(stderr, "\r%.1f of %.1f MB, %.0f MB/s   ", done / 1e6, total / 1e6,
                     seconds > 0 ? done / 1e6 / seconds : 0.0);
    }
};

std::vector<FilePair> PairsOf(std::string source, std::string destination)
{
    while (source.size() > 1 && source.back() == '/')
        source.pop_back();
    while (destination.size() > 1 && destination.back() == '/')
        destination.pop_back();
    std::vector<FilePair> pairs;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(source, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        // The iterator knows the entry's type from the listing; links are not followed.
        if (!it->is_regular_file(ec) || it->is_symlink(ec))
            continue;
        const std::string path = it->path().string();
        const std::string other = destination + path.substr(source.size());
        struct stat a {};
        struct stat b {};
        if (::lstat(path.c_str(), &a) == 0 && ::lstat(other.c_str(), &b) == 0 && S_ISREG(b.st_mode) &&
            a.st_size == b.st_size)
            pairs.push_back({path, other, static_cast<std::uint64_t>(a.st_size)});
    }
    return pairs;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s SOURCE DESTINATION [--workers N] [--buffer-kib N] [--quiet]\n", argv[0]);
        return 2;
    }
    ContentCheckOptions options;
    Terminal terminal;
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "--workers") == 0 && i + 1 < argc)
            options.workers = static_cast<unsigned>(std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--buffer-kib") == 0 && i + 1 < argc)
            options.bufferBytes = static_cast<std::size_t>(std::atoi(argv[++i])) * 1024;
        else if (std::strcmp(argv[i], "--quiet") == 0)
            terminal.quiet = true;
        else {
            std::fprintf(stderr, "unknown argument: %s\n", argv[i]);
            return 2;
        }
    }

    const std::vector<FilePair> pairs = PairsOf(argv[1], argv[2]);
    const double walkSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - terminal.start).count();
    RunFlag flag;
    flag.Set(true);
    const ContentCheckSummary summary = CheckContents(pairs, flag, terminal, options);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - terminal.start).count();
    if (!terminal.quiet)
        std::fprintf(stderr, "\n");
    std::fprintf(stderr, "%zu pairs, %zu differ, %zu unreadable, %.1f MB in %.2f s (%.0f MB/s; pairing the trees %.2f s)\n",
                 summary.checked, summary.different, summary.unreadable, summary.bytesDone / 1e6, seconds,
                 seconds > 0 ? summary.bytesDone / 1e6 / seconds : 0.0, walkSeconds);
    if (summary.unreadable > 0 || summary.cancelled)
        return 2;
    return summary.different > 0 ? 1 : 0;
}
