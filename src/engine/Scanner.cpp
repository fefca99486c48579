#include "engine/Scanner.h"

#include "engine/PathRules.h"
#include "engine/TextForms.h"
#include "platform/OwnTemporaries.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tandrel::engine {

namespace {

using settings::CompareOptions;
using settings::FilterOn;

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    return true;
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

// An open folder descriptor that closes itself.
class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& other) noexcept : m_fd(other.release()) {}
    Fd& operator=(Fd&& other) noexcept
    {
        if (this != &other) {
            if (m_fd >= 0)
                ::close(m_fd);
            m_fd = other.release();
        }
        return *this;
    }
    int get() const { return m_fd; }
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

// Attributes of an entry as the filters see them (see the attribute mapping:
// read-only = no owner write permission, hidden = leading '.', system = not a
// regular file, folder or symbolic link, archive = never).
struct Attributes {
    bool readOnly = false;
    bool hidden = false;
    bool system = false;
};

Attributes AttributesOf(const char* name, mode_t mode)
{
    Attributes a;
    a.readOnly = (mode & S_IWUSR) == 0;
    a.hidden = name[0] == '.';
    a.system = !(S_ISREG(mode) || S_ISDIR(mode) || S_ISLNK(mode));
    return a;
}

bool Filtered(const char* name, const Attributes& a, const CompareOptions& o, const std::vector<std::string>* ignored)
{
    // The archive attribute is never set here, so IgnoreArchive never skips.
    if (FilterOn(o.IgnoreHidden) && a.hidden)
        return true;
    if (FilterOn(o.IgnoreReadonly) && a.readOnly)
        return true;
    if (FilterOn(o.IgnoreSystem) && a.system)
        return true;
    return ignored && MatchesIgnoredType(name, *ignored);
}

// Opens `path` relative to the folder `base` (or the current folder for an
// absolute path and AT_FDCWD). Paths the system takes whole are opened at
// once; longer ones are opened piece by piece, each piece relative to the
// folder opened before it.
int OpenFolder(int base, std::string path, int flags)
{
    constexpr std::size_t kPiece = 2048; // well below PATH_MAX
    // A trailing separator would make the last name follow a link.
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path.empty())
        return ::openat(base, ".", flags);
    if (path.size() < kPiece)
        return ::openat(base, path.c_str(), flags);
    int fd = base;
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t end = std::min(path.size(), start + kPiece);
        if (end < path.size()) {
            const auto cut = path.rfind('/', end);
            end = (cut == std::string::npos || cut <= start) ? std::string::npos : cut + 1;
        }
        if (end == std::string::npos) { // one name longer than a piece cannot exist
            if (fd != base)
                ::close(fd);
            errno = ENAMETOOLONG;
            return -1;
        }
        const std::string piece = path.substr(start, end - start);
        const bool last = end >= path.size();
        // Intermediate pieces need only be searched; O_PATH needs no read right.
        const int next =
            ::openat(fd, piece.c_str(), last ? flags : (O_PATH | O_DIRECTORY | O_CLOEXEC | (flags & O_NOFOLLOW)));
        if (fd != base)
            ::close(fd);
        if (next < 0)
            return -1;
        fd = next;
        start = end;
    }
    return fd;
}

class FolderWalker {
public:
    FolderWalker(ScanContext& context, ScanPass pass)
        : m_ctx(context), m_pass(pass),
          m_thisRootLength(pass == ScanPass::SourcePass ? context.sourceRoot.size()
                                                        : context.destinationRoot.size())
    {
    }

    bool Running() const { return m_ctx.runFlag == nullptr || m_ctx.runFlag->IsSet(); }

    // Lists one folder, given open descriptors of it and of its counterpart
    // (-1 when the counterpart cannot be opened): records its entries and
    // returns the names of its subfolders in the order met.
    std::vector<std::string> ListFolder(const std::string& folder, Fd dirFd, int otherFd)
    {
        std::vector<std::string> subfolders;
        if (dirFd.get() < 0)
            return subfolders;
        DIR* dir = ::fdopendir(dirFd.get());
        if (!dir)
            return subfolders;
        dirFd.release();

        const std::string relativeFolder = RelativeFolder(folder);
        while (struct dirent* entry = ::readdir(dir)) {
            ProcessEntry(::dirfd(dir), otherFd, relativeFolder, *entry, subfolders);
            if (m_ctx.observer)
                m_ctx.observer->EntryProcessed();
            if (!Running())
                break;
        }
        ::closedir(dir);
        return subfolders;
    }

    std::string RelativeFolder(const std::string& folder) const
    {
        return folder.size() > m_thisRootLength ? folder.substr(m_thisRootLength) : std::string();
    }

private:
    const CompareOptions& Options() const { return *m_ctx.options; }

    void ProcessEntry(int dirFd, int otherFd, const std::string& relativeFolder, const struct dirent& entry,
                      std::vector<std::string>& subfolders)
    {
        const char* name = entry.d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            return; // "." and ".." are folders beginning with '.', ignored
        if (platform::IsOwnTemporaryName(name))
            return; // a copy's temporary file, never a user's
        const CompareOptions& o = Options();

        // In the destination pass a file whose counterpart exists records
        // nothing, whatever its attributes: look that up before anything else.
        const bool knownNonFolder = entry.d_type != DT_UNKNOWN && entry.d_type != DT_DIR;
        const bool lookedUpEarly = m_pass == ScanPass::DestinationPass && knownNonFolder && otherFd >= 0;
        if (lookedUpEarly) {
            struct stat other;
            if (::fstatat(otherFd, name, &other, AT_SYMLINK_NOFOLLOW) == 0)
                return;
        }

        struct stat st;
        if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return; // gone since it was listed
        if (Filtered(name, AttributesOf(name, st.st_mode), o, m_ctx.ignoredTypes))
            return;

        if (S_ISDIR(st.st_mode)) {
            if (name[0] == '.')
                return;
            subfolders.emplace_back(name);
            if (CounterpartFolderExists(otherFd, name))
                return;
            CompareItem item;
            item.relativePath = relativeFolder + name;
            item.isFolder = true;
            item.icon = RowIcon::Folder;
            item.modified = st.st_mtim.tv_sec;
            m_ctx.store->AddResultRow(MissingCategory(), std::move(item));
            return;
        }

        struct stat other;
        // A counterpart already looked up above was missing; it is not asked for twice.
        const bool found =
            !lookedUpEarly && otherFd >= 0 && ::fstatat(otherFd, name, &other, AT_SYMLINK_NOFOLLOW) == 0;
        if (found && m_pass == ScanPass::DestinationPass)
            return;

        CompareItem item;
        item.isFolder = false;
        item.icon = RowIcon::File;
        item.size = static_cast<std::int64_t>(st.st_size);
        item.modified = st.st_mtim.tv_sec;
        if (!found) {
            item.relativePath = relativeFolder + name;
            m_ctx.store->AddResultRow(MissingCategory(), std::move(item));
            return;
        }
        // A folder of the same name counts as found, with a size of 0.
        item.counterpartSize = S_ISDIR(other.st_mode) ? 0 : static_cast<std::int64_t>(other.st_size);
        item.counterpartModified = other.st_mtim.tv_sec;
        const int category = ClassifyPair(item.modified, item.size, item.counterpartModified, item.counterpartSize,
                                          m_ctx.store->LocalOffset(), o);
        if (category == 0)
            return;
        item.relativePath = relativeFolder + name;
        m_ctx.store->AddResultRow(static_cast<ResultCategory>(category), std::move(item));
    }

    static bool CounterpartFolderExists(int otherFd, const char* name)
    {
        if (otherFd < 0)
            return false;
        struct stat st;
        if (::fstatat(otherFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode))
            return false;
        return ::faccessat(otherFd, name, X_OK, AT_EACCESS) == 0;
    }

    ResultCategory MissingCategory() const
    {
        return m_pass == ScanPass::SourcePass ? ResultCategory::NotInDestination : ResultCategory::NotInSource;
    }

    ScanContext& m_ctx;
    ScanPass m_pass;
    std::size_t m_thisRootLength;
};

} // namespace

bool MatchesIgnoredType(const std::string& name, const std::vector<std::string>& ignoredTypes)
{
    const std::string_view n(name);
    for (const std::string& pattern : ignoredTypes) {
        if (pattern.empty())
            continue;
        if (pattern.size() >= 2 && pattern[0] == '*' && pattern[1] == '.') {
            const std::string_view suffix = std::string_view(pattern).substr(1);
            if (n.size() >= suffix.size() && EqualsNoCase(n.substr(n.size() - suffix.size()), suffix))
                return true;
        } else if (EqualsNoCase(n, pattern)) {
            return true;
        }
    }
    return false;
}

std::int64_t TimeDifference(std::int64_t source, std::int64_t counterpart, std::int64_t offset, int unit)
{
    switch (unit) {
    case 1:
        return FloorDiv(counterpart + offset, 60) - FloorDiv(source + offset, 60);
    case 2:
        return FloorDiv(counterpart + offset, 3600) - FloorDiv(source + offset, 3600);
    case 3:
        return FloorDiv(counterpart + offset, 86400) - FloorDiv(source + offset, 86400);
    case 4:
    case 5: {
        LocalFields a, b;
        if (!ToLocalFields(source, offset, a) || !ToLocalFields(counterpart, offset, b))
            return counterpart > source ? 1 : (counterpart < source ? -1 : 0);
        if (unit == 5)
            return b.year - a.year;
        return (b.year * 12 + b.month) - (a.year * 12 + a.month);
    }
    default:
        // Seconds; unknown units (only a hand-edited file holds them) count in seconds too.
        return counterpart - source;
    }
}

int ClassifyPair(std::int64_t sourceTime, std::int64_t sourceSize, std::int64_t counterpartTime,
                 std::int64_t counterpartSize, std::int64_t offset, const settings::CompareOptions& options)
{
    const std::int64_t diff = TimeDifference(sourceTime, counterpartTime, offset, options.IgnoreType);
    const std::int64_t magnitude = diff < 0 ? -diff : diff;
    if (diff != 0 && magnitude > static_cast<std::int64_t>(options.IgnoreTime))
        return diff < 0 ? Index(ResultCategory::NewerThanDestination) : Index(ResultCategory::OlderThanDestination);
    if (sourceSize != counterpartSize)
        return Index(ResultCategory::OnlySizeChanged);
    return 0;
}

void ScanFolder(ScanContext& context, const std::string& folder, const std::string& otherRoot, ScanPass pass)
{
    if (context.runFlag && !context.runFlag->IsSet())
        return;
    if (folder.empty() || !context.store || !context.options)
        return;
    const PathRules rules = PathRules::Native();
    FolderWalker walker(context, pass);

    // Depth-first with an explicit stack, so that no tree is too deep for the
    // walk: a folder's own entries first, then each subfolder in the order met.
    // Every kAnchorSpacing levels a frame keeps its folder and counterpart
    // open; deeper folders are opened relative to the nearest such anchor, so
    // paths of any length work at a bounded cost per folder and a bounded
    // number of open descriptors.
    constexpr std::size_t kAnchorSpacing = 64;
    constexpr int kListFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    constexpr int kAnchorFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    struct Frame {
        std::size_t pathLength = 0; // of `path` below, up to and including this folder's '/'
        std::vector<std::string> subfolders;
        std::size_t next = 0;
        std::size_t anchorIndex = 0; // the frame whose descriptors this one is opened from
        Fd anchor;                   // set on anchor frames only
        Fd otherAnchor;
    };

    // One path text shared by all levels: a child's name is appended on the
    // way down and cut off again, so memory stays linear in the depth.
    std::string path = rules.WithTrailingSeparator(folder);
    const std::string startCounterpart = otherRoot + walker.RelativeFolder(path);
    std::vector<Frame> stack;
    {
        // The roots may be links; nothing below them is followed.
        Frame root;
        root.pathLength = path.size();
        root.anchor = Fd(OpenFolder(AT_FDCWD, path, kAnchorFlags));
        root.otherAnchor = Fd(OpenFolder(AT_FDCWD, startCounterpart, kAnchorFlags));
        Fd other(OpenFolder(AT_FDCWD, startCounterpart, kAnchorFlags));
        root.subfolders = walker.ListFolder(path, Fd(OpenFolder(AT_FDCWD, path, kListFlags)), other.get());
        stack.push_back(std::move(root));
    }
    if (!context.includeSubdirectories)
        return;
    while (!stack.empty() && walker.Running()) {
        Frame& top = stack.back();
        if (top.next >= top.subfolders.size()) {
            stack.pop_back();
            continue;
        }
        path.resize(top.pathLength);
        path += top.subfolders[top.next++];
        path += rules.separator;
        Frame child;
        child.pathLength = path.size();
        child.anchorIndex = top.anchorIndex;
        const Frame& base = stack[child.anchorIndex];
        const std::string fromBase = path.substr(base.pathLength);
        const int baseOther = base.otherAnchor.get();
        Fd dir(OpenFolder(base.anchor.get(), fromBase, kListFlags | O_NOFOLLOW));
        Fd other(baseOther >= 0 ? OpenFolder(baseOther, fromBase, kAnchorFlags | O_NOFOLLOW) : -1);
        if (stack.size() % kAnchorSpacing == 0 && dir.get() >= 0) {
            child.anchor = Fd(::openat(dir.get(), ".", kAnchorFlags));
            child.otherAnchor = Fd(other.get() >= 0 ? ::openat(other.get(), ".", kAnchorFlags) : -1);
            if (child.anchor.get() >= 0)
                child.anchorIndex = stack.size();
        }
        child.subfolders = walker.ListFolder(path, std::move(dir), other.get());
        stack.push_back(std::move(child));
    }
}

void RunScan(ScanContext& context)
{
    const PathRules rules = PathRules::Native();
    if (!context.sourceRoot.empty())
        context.sourceRoot = rules.WithTrailingSeparator(context.sourceRoot);
    if (!context.destinationRoot.empty())
        context.destinationRoot = rules.WithTrailingSeparator(context.destinationRoot);
    if (!context.store)
        return;
    context.store->Reset(context.sourceRoot, context.destinationRoot, LocalOffsetNow());
    ScanFolder(context, context.sourceRoot, context.destinationRoot, ScanPass::SourcePass);
    ScanFolder(context, context.destinationRoot, context.sourceRoot, ScanPass::DestinationPass);
}

} // namespace tandrel::engine
