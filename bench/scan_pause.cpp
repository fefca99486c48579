// How long a comparison leaves its window without an event pass, and how
// long it takes to stop once the run flag goes down:
//
//   scan_pause [--files N] [--folders N] [--runs N] [--stop-after SECONDS] [--prepare COMMAND]
//              [FOLDER | SRC DST]
//
// With one FOLDER (default /tmp/tandrel-pausebench) it makes FOLDER/src and
// FOLDER/dst once: --folders folders (default 4) of --files empty files
// each (default 60,000), the same names and times on both sides. With SRC
// and DST it compares them as they are (a network mount, say).
//
// Each run is timed twice: a whole comparison, with the longest gap between
// two calls of the observer (every call is a chance for the window to run
// its events), and a comparison whose run flag another thread lowers
// --stop-after seconds in (default 0.2), with the time from then until the
// scan returns. --prepare gives a shell command run before every scan (to
// mount a network share afresh, say); without it a first scan warms the caches.

#include "engine/ResultStore.h"
#include "engine/RunFlag.h"
#include "engine/Scanner.h"
#include "settings/CompareOptions.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using tandrel::engine::ResultStore;
using tandrel::engine::RunFlag;
using tandrel::engine::ScanContext;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// Records the longest time between two observer calls, counting from the
// start of the scan to its end.
class GapMeter : public tandrel::engine::ScanObserver {
public:
    void Start() { m_last = Clock::now(); }
    void EntryProcessed() override
    {
        ++m_entries;
        Mark("an entry");
    }
    void Waiting() override
    {
        ++m_pulses;
        Mark("a waiting call");
    }
    void Mark(const char* kind)
    {
        const auto now = Clock::now();
        if (now - m_last > m_longest) {
            m_longest = now - m_last;
            m_longestEnd = kind;
            m_longestAfter = m_entries;
        }
        m_last = now;
    }

    Clock::duration m_longest{};
    Clock::time_point m_last;
    const char* m_longestEnd = "";
    std::size_t m_longestAfter = 0; // entries processed when it ended
    std::size_t m_entries = 0;
    std::size_t m_pulses = 0;
};

bool MakeSide(const std::string& side, int folders, long files)
{
    if (::mkdir(side.c_str(), 0755) != 0 && errno != EEXIST)
        return false;
    const struct timespec times[2] = {{1600000000, 0}, {1600000000, 0}};
    for (int f = 0; f < folders; ++f) {
        const std::string folder = side + "/folder" + std::to_string(f);
        if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
        const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
        if (dir < 0)
            return false;
        for (long i = 0; i < files; ++i) {
            const std::string name = "file-" + std::to_string(i) + ".dat";
            const int fd = ::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            if (fd < 0 || ::futimens(fd, times) != 0) {
                ::close(dir);
                return false;
            }
            ::close(fd);
        }
        ::close(dir);
    }
    return true;
}

struct Outcome {
    double longestGapMs = 0;
    double totalMs = 0;
    double stopMs = 0;
    std::size_t entries = 0, pulses = 0, rows = 0;
    const char* longestEnd = "";
    std::size_t longestAfter = 0;
};

Outcome RunOnce(const std::string& source, const std::string& destination, double stopAfter)
{
    const tandrel::settings::CompareOptions options{};
    const std::vector<std::string> ignored;
    ResultStore store;
    RunFlag flag;
    GapMeter meter;
    ScanContext context;
    context.sourceRoot = source;
    context.destinationRoot = destination;
    context.options = &options;
    context.ignoredTypes = &ignored;
    context.runFlag = &flag;
    context.store = &store;
    context.observer = &meter;

    Outcome out;
    flag.Set(true);
    if (stopAfter <= 0) {
        const auto start = Clock::now();
        meter.Start();
        tandrel::engine::RunScan(context);
        meter.Mark("the end of the scan");
        out.longestEnd = meter.m_longestEnd;
        out.longestAfter = meter.m_longestAfter;
        out.totalMs = Ms(Clock::now() - start);
        out.longestGapMs = Ms(meter.m_longest);
        out.entries = meter.m_entries;
        out.pulses = meter.m_pulses;
        out.rows = store.TotalCount();
        return out;
    }
    std::atomic<Clock::rep> loweredAt{0};
    std::jthread canceller([&] {
        std::this_thread::sleep_for(std::chrono::duration<double>(stopAfter));
        loweredAt = Clock::now().time_since_epoch().count();
        flag.Set(false);
    });
    meter.Start();
    tandrel::engine::RunScan(context);
    const auto end = Clock::now();
    canceller.join();
    const Clock::time_point lowered{Clock::duration{loweredAt.load()}};
    out.stopMs = lowered < end ? Ms(end - lowered) : -1; // -1: the scan ended before the flag went down
    return out;
}

void Usage()
{
    std::fprintf(stderr, "usage: scan_pause [--files N] [--folders N] [--runs N] [--stop-after SECONDS] "
                         "[--prepare COMMAND] [FOLDER | SRC DST]\n");
}

} // namespace

int main(int argc, char** argv)
{
    long files = 60000;
    int folders = 4;
    int runs = 3;
    double stopAfter = 0.2;
    std::string prepare;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--files" && hasValue)
            files = std::atol(argv[++i]);
        else if (arg == "--folders" && hasValue)
            folders = std::atoi(argv[++i]);
        else if (arg == "--runs" && hasValue)
            runs = std::atoi(argv[++i]);
        else if (arg == "--stop-after" && hasValue)
            stopAfter = std::atof(argv[++i]);
        else if (arg == "--prepare" && hasValue)
            prepare = argv[++i];
        else if (arg.rfind("--", 0) == 0) {
            Usage();
            return 2;
        } else
            paths.push_back(arg);
    }
    if (paths.size() > 2 || files < 0 || folders < 0 || runs < 1) {
        Usage();
        return 2;
    }

    std::string source, destination;
    if (paths.size() == 2) {
        source = paths[0];
        destination = paths[1];
    } else {
        const std::string work = paths.empty() ? "/tmp/tandrel-pausebench" : paths[0];
        const std::string marker =
            work + "/.complete-" + std::to_string(folders) + "x" + std::to_string(files);
        source = work + "/src";
        destination = work + "/dst";
        if (::access(marker.c_str(), F_OK) != 0) {
            std::printf("Making %d folders of %ld files a side in %s ...\n", folders, files, work.c_str());
            std::fflush(stdout);
            if ((::mkdir(work.c_str(), 0755) != 0 && errno != EEXIST) || !MakeSide(source, folders, files) ||
                !MakeSide(destination, folders, files)) {
                std::fprintf(stderr, "scan_pause: cannot make the trees in %s: %s\n", work.c_str(),
                             std::strerror(errno));
                return 1;
            }
            const int fd = ::open(marker.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            if (fd >= 0)
                ::close(fd);
        }
    }

    const auto prepared = [&] {
        if (!prepare.empty() && std::system(prepare.c_str()) != 0) {
            std::fprintf(stderr, "scan_pause: the command of --prepare failed\n");
            std::exit(1);
        }
    };
    if (prepare.empty())
        RunOnce(source, destination, 0); // warms the caches
    std::vector<double> gaps, stops;
    for (int r = 0; r < runs; ++r) {
        prepared();
        const Outcome whole = RunOnce(source, destination, 0);
        prepared();
        const Outcome stopped = RunOnce(source, destination, stopAfter);
        std::printf("run %d: longest pause %.1f ms, ended by %s after %zu entries (whole scan %.0f ms, %zu entries, "
                    "%zu waiting calls, %zu rows); stop %.1f ms after the flag went down %.2f s in\n",
                    r + 1, whole.longestGapMs, whole.longestEnd, whole.longestAfter, whole.totalMs, whole.entries,
                    whole.pulses, whole.rows, stopped.stopMs, stopAfter);
        gaps.push_back(whole.longestGapMs);
        stops.push_back(stopped.stopMs);
    }
    std::sort(gaps.begin(), gaps.end());
    std::sort(stops.begin(), stops.end());
    std::printf("%s and %s: longest pause median %.1f ms (max %.1f); time to stop median %.1f ms (max %.1f)\n",
                source.c_str(), destination.c_str(), gaps[gaps.size() / 2], gaps.back(), stops[stops.size() / 2],
                stops.back());
    return 0;
}
