// Makes two similar folder trees for the scan benchmark:
//
//   make_tree FOLDER [FILES] [SEED]
//
// FOLDER/src gets about FILES files (default 200,000) in a project-like
// layout of nested folders; FOLDER/dst is the same tree with a realistic mix
// of differences: files newer or older in the source, files and whole leaf
// folders missing on either side, and files whose size changed within the
// same second. File contents are sparse (sizes only), since a comparison
// never reads them. At the end it prints the counts a comparison with the
// default options should report, and writes FOLDER/.complete.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kWords[] = {"core",   "util",    "net",     "ui",     "io",      "model",  "view",
                              "render", "audio",   "parser",  "config", "storage", "crypto", "image",
                              "text",   "network", "widgets", "search", "sync",    "report", "plugin"};
const char* const kSubfolders[] = {"src", "include", "tests", "docs", "assets", "detail", "impl", "data"};
const char* const kExtensions[] = {".cpp", ".h", ".txt", ".png", ".json", ".md", ".o", ".py", ".svg", ".dat"};

struct Expected {
    std::uint64_t newer = 0, older = 0, notInDestination = 0, notInSource = 0, sizeChanged = 0;
    std::uint64_t sourceFiles = 0, destinationFiles = 0, folders = 0;
};

class Generator {
public:
    Generator(std::uint64_t target, std::uint64_t seed) : m_target(target), m_random(seed) {}

    bool Run(int srcFd, int dstFd)
    {
        for (int project = 0; m_expected.sourceFiles < m_target; ++project) {
            const std::string name = std::string(kWords[project % 21]) + "-" + std::to_string(project);
            if (!Folder(srcFd, dstFd, name, 0))
                return false;
        }
        return true;
    }

    const Expected& Counts() const { return m_expected; }

private:
    std::uint64_t Pick(std::uint64_t n) { return m_random() % n; }
    bool Chance(double p) { return std::uniform_real_distribution<double>(0, 1)(m_random) < p; }

    std::int64_t Size()
    {
        const auto r = Pick(100);
        if (r < 70)
            return static_cast<std::int64_t>(Pick(4096));
        if (r < 95)
            return static_cast<std::int64_t>(4096 + Pick(256 * 1024));
        return static_cast<std::int64_t>(256 * 1024 + Pick(16 * 1024 * 1024));
    }

    static bool MakeFile(int dirFd, const std::string& name, std::int64_t size, std::int64_t mtime, long ns)
    {
        const int fd = ::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0)
            return false;
        bool ok = size == 0 || ::ftruncate(fd, size) == 0;
        struct timespec times[2];
        times[0].tv_sec = static_cast<time_t>(mtime);
        times[0].tv_nsec = ns;
        times[1] = times[0];
        ok = ::futimens(fd, times) == 0 && ok;
        return ::close(fd) == 0 && ok;
    }

    static int MakeFolder(int parentFd, const std::string& name)
    {
        if (::mkdirat(parentFd, name.c_str(), 0755) != 0 && errno != EEXIST)
            return -1;
        return ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }

    // One folder of the source (and, unless dstParent < 0, of the destination).
    bool Folder(int srcParent, int dstParent, const std::string& name, int depth)
    {
        const int srcFd = MakeFolder(srcParent, name);
        if (srcFd < 0)
            return false;
        ++m_expected.folders;
        const int subfolders = depth == 0 ? 3 + static_cast<int>(Pick(6))
                                          : (depth < 4 ? static_cast<int>(Pick(5 - depth)) : 0);
        // A leaf folder missing in the destination now and then.
        const bool leafMissing = dstParent >= 0 && subfolders == 0 && Chance(0.01);
        int dstFd = -1;
        if (dstParent >= 0 && !leafMissing) {
            dstFd = MakeFolder(dstParent, name);
            if (dstFd < 0)
                return false;
        }
        if (leafMissing)
            ++m_expected.notInDestination;

        const int files = 5 + static_cast<int>(Pick(56));
        for (int i = 0; i < files && m_expected.sourceFiles < m_target; ++i) {
            const std::string file = std::string(kWords[Pick(21)]) + "_" + std::to_string(i) + kExtensions[Pick(10)];
            const std::int64_t size = Size();
            const std::int64_t mtime = 1420070400 + static_cast<std::int64_t>(Pick(300000000));
            const long ns = static_cast<long>(Pick(1000000000));
            if (!MakeFile(srcFd, file, size, mtime, ns))
                return false;
            ++m_expected.sourceFiles;
            if (dstFd < 0) {
                ++m_expected.notInDestination;
                continue;
            }
            const auto r = Pick(1000);
            bool ok = true;
            if (r < 30) { // newer in the source
                ok = MakeFile(dstFd, file, size, mtime - 1 - static_cast<std::int64_t>(Pick(86400 * 30)), ns);
                ++m_expected.newer;
            } else if (r < 50) { // older in the source
                ok = MakeFile(dstFd, file, size, mtime + 1 + static_cast<std::int64_t>(Pick(86400 * 30)), ns);
                ++m_expected.older;
            } else if (r < 70) { // missing in the destination
                ++m_expected.notInDestination;
                continue;
            } else if (r < 80) { // size changed in the same second
                ok = MakeFile(dstFd, file, size + 1 + static_cast<std::int64_t>(Pick(1000)), mtime, 0);
                ++m_expected.sizeChanged;
            } else {
                ok = MakeFile(dstFd, file, size, mtime, ns);
            }
            if (!ok)
                return false;
            ++m_expected.destinationFiles;
        }
        // Files and now and then a whole leaf folder that only the destination has.
        if (dstFd >= 0) {
            const int extra = Chance(0.3) ? 1 + static_cast<int>(Pick(3)) : 0;
            for (int i = 0; i < extra; ++i) {
                if (!MakeFile(dstFd, std::string("added_").append(std::to_string(i)).append(".txt"), Size(), 1700000000, 0))
                    return false;
                ++m_expected.notInSource;
                ++m_expected.destinationFiles;
            }
            if (Chance(0.005)) {
                const int onlyFd = MakeFolder(dstFd, "only-in-destination");
                if (onlyFd < 0)
                    return false;
                ++m_expected.notInSource;
                for (int i = 0; i < 8; ++i) {
                    if (!MakeFile(onlyFd, std::string("file_").append(std::to_string(i)).append(".dat"), Size(), 1700000000, 0))
                        return false;
                    ++m_expected.notInSource;
                    ++m_expected.destinationFiles;
                }
                ::close(onlyFd);
            }
        }
        bool ok = true;
        for (int s = 0; s < subfolders && ok && m_expected.sourceFiles < m_target; ++s) {
            const std::string sub = std::string(kSubfolders[Pick(8)]) + "_" + std::to_string(s);
            ok = Folder(srcFd, dstFd, sub, depth + 1);
        }
        ::close(srcFd);
        if (dstFd >= 0)
            ::close(dstFd);
        return ok;
    }

    std::uint64_t m_target;
    std::mt19937_64 m_random;
    Expected m_expected;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_tree FOLDER [FILES] [SEED]\n");
        return 2;
    }
    const std::string folder = argv[1];
    const std::uint64_t files = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 200000;
    const std::uint64_t seed = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1;

    ::mkdir(folder.c_str(), 0755);
    const int rootFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd < 0) {
        std::fprintf(stderr, "make_tree: cannot open %s: %s\n", folder.c_str(), std::strerror(errno));
        return 1;
    }
    ::unlinkat(rootFd, ".complete", 0);
    if (::mkdirat(rootFd, "src", 0755) != 0 || ::mkdirat(rootFd, "dst", 0755) != 0) {
        std::fprintf(stderr, "make_tree: %s/src or %s/dst exists already or cannot be made: %s\n", folder.c_str(),
                     folder.c_str(), std::strerror(errno));
        return 1;
    }
    const int srcFd = ::openat(rootFd, "src", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int dstFd = ::openat(rootFd, "dst", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    Generator generator(files, seed);
    if (srcFd < 0 || dstFd < 0 || !generator.Run(srcFd, dstFd)) {
        std::fprintf(stderr, "make_tree: writing the trees failed: %s\n", std::strerror(errno));
        return 1;
    }
    const Expected& e = generator.Counts();
    std::printf("source: %llu files in %llu folders; destination: %llu files\n",
                static_cast<unsigned long long>(e.sourceFiles), static_cast<unsigned long long>(e.folders),
                static_cast<unsigned long long>(e.destinationFiles));
    char summary[512];
    std::snprintf(summary, sizeof summary,
                  "Newer than destination: %llu\nOlder than destination: %llu\nCan not find destination: %llu\n"
                  "Can not find source: %llu\nOnly size changed: %llu\n",
                  static_cast<unsigned long long>(e.newer), static_cast<unsigned long long>(e.older),
                  static_cast<unsigned long long>(e.notInDestination), static_cast<unsigned long long>(e.notInSource),
                  static_cast<unsigned long long>(e.sizeChanged));
    std::fputs(summary, stdout);
    // The expected summary, for the benchmark script to check the program's answer against.
    const int fd = ::openat(rootFd, ".complete", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, summary, std::strlen(summary)) < 0 || ::close(fd) != 0) {
        std::fprintf(stderr, "make_tree: cannot write %s/.complete\n", folder.c_str());
        return 1;
    }
    return 0;
}
