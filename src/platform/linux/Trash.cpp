#include "platform/Trash.h"

#include <cerrno>
#include <climits>
#include <functional>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tandrel::platform {

namespace {

constexpr const char* kInfoSuffix = ".trashinfo";
constexpr std::size_t kInfoSuffixLength = 10;
constexpr unsigned kMostNameAttempts = 100000;

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    Fd(Fd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Fd& operator=(Fd&& other) noexcept
    {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

std::string Joined(const std::string& folder, const std::string& name)
{
    return folder == "/" ? folder + name : folder + "/" + name;
}

std::string WithoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string Absolute(const std::string& path)
{
    if (!path.empty() && path.front() == '/')
        return path;
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd))
        return path;
    return Joined(cwd, path);
}

// The canonical path of an open folder, as the kernel names it.
std::string PathOfFolder(int fd, const std::string& fallback)
{
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[PATH_MAX];
    const ssize_t n = ::readlink(link, target, sizeof target - 1);
    if (n > 0 && target[0] == '/')
        return std::string(target, static_cast<std::size_t>(n));
    char resolved[PATH_MAX];
    if (::realpath(fallback.c_str(), resolved))
        return resolved;
    return fallback;
}

std::string HomeFolder()
{
    if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return {};
}

// The device of the nearest existing folder at or above `path`.
bool DeviceOfNearest(std::string path, dev_t& device)
{
    for (;;) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) {
            device = st.st_dev;
            return true;
        }
        if (path == "/" || path.empty())
            return false;
        path = FolderOf(path);
    }
}

// The highest folder above (and including) `folder` on the same device.
std::string MountTop(std::string folder, dev_t device)
{
    while (folder != "/") {
        const std::string up = FolderOf(folder);
        struct stat st {};
        if (::stat(up.c_str(), &st) != 0 || st.st_dev != device)
            break;
        folder = up;
    }
    return folder;
}

FileResult NotOurs(const std::string& folder)
{
    return FileResult::Failure("Cannot use the trash folder '" + folder + "': it belongs to another user");
}

// Opens `name` below `parentFd` as a folder that must be real (not a link)
// and owned by the user, creating it with mode 0700 when it is missing.
FileResult OpenOwnFolder(int parentFd, const std::string& name, const std::string& shownPath, Fd& out)
{
    if (::mkdirat(parentFd, name.c_str(), 0700) != 0 && errno != EEXIST)
        return ErrnoFailure("Cannot create the trash folder", shownPath, errno);
    Fd fd(::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid())
        return ErrnoFailure("Cannot open the trash folder", shownPath, errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return ErrnoFailure("Cannot open the trash folder", shownPath, errno);
    if (st.st_uid != ::geteuid())
        return NotOurs(shownPath);
    out = std::move(fd);
    return FileResult::Success();
}

// Creates every missing folder of an absolute path, new ones with mode 0700.
FileResult CreateFolders(const std::string& path)
{
    std::size_t pos = 1;
    while (pos <= path.size()) {
        const std::size_t next = path.find('/', pos);
        const std::string prefix = path.substr(0, next);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
            return ErrnoFailure("Cannot create the trash folder", prefix, errno);
        if (next == std::string::npos)
            break;
        pos = next + 1;
    }
    return FileResult::Success();
}

struct TrashFolder {
    std::string path;
    std::string topdir; // empty for the home trash
    Fd files;
    Fd info;
};

FileResult OpenInside(const std::string& trashPath, int trashFd, TrashFolder& out)
{
    if (FileResult r = OpenOwnFolder(trashFd, "files", Joined(trashPath, "files"), out.files); !r.ok())
        return r;
    if (FileResult r = OpenOwnFolder(trashFd, "info", Joined(trashPath, "info"), out.info); !r.ok())
        return r;
    out.path = trashPath;
    return FileResult::Success();
}

FileResult OpenHomeTrash(TrashFolder& out)
{
    const std::string trashPath = HomeTrashFolder();
    if (trashPath.empty())
        return FileResult::Failure("Cannot find the home trash folder: no home folder is known");
    const std::string dataHome = FolderOf(trashPath);
    if (FileResult r = CreateFolders(dataHome); !r.ok())
        return r;
    Fd dataFd(::open(dataHome.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dataFd.valid())
        return ErrnoFailure("Cannot open the trash folder", dataHome, errno);
    Fd trashFd;
    if (FileResult r = OpenOwnFolder(dataFd.get(), "Trash", trashPath, trashFd); !r.ok())
        return r;
    return OpenInside(trashPath, trashFd.get(), out);
}

FileResult OpenTopdirTrash(const std::string& topdir, TrashFolder& out)
{
    Fd topFd(::open(topdir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!topFd.valid())
        return ErrnoFailure("Cannot open the top folder of the file system", topdir, errno);
    const std::string uid = std::to_string(::geteuid());
    out.topdir = topdir;

    // The shared .Trash, when an administrator has set one up properly.
    struct stat shared {};
    if (::fstatat(topFd.get(), ".Trash", &shared, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(shared.st_mode) &&
        (shared.st_mode & S_ISVTX)) {
        Fd sharedFd(::openat(topFd.get(), ".Trash", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        Fd userFd;
        const std::string userPath = Joined(Joined(topdir, ".Trash"), uid);
        if (sharedFd.valid() && OpenOwnFolder(sharedFd.get(), uid, userPath, userFd).ok() &&
            OpenInside(userPath, userFd.get(), out).ok())
            return FileResult::Success();
    }

    const std::string ownName = ".Trash-" + uid;
    const std::string ownPath = Joined(topdir, ownName);
    Fd ownFd;
    if (FileResult r = OpenOwnFolder(topFd.get(), ownName, ownPath, ownFd); !r.ok())
        return r;
    return OpenInside(ownPath, ownFd.get(), out);
}

// `name` shortened (on a UTF-8 character boundary) so that `extra` more bytes
// and the information suffix still fit in one file name.
std::string Fitted(const std::string& name, std::size_t extra)
{
    const std::size_t room = NAME_MAX - kInfoSuffixLength - extra;
    if (name.size() <= room)
        return name;
    std::size_t cut = room;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
        --cut;
    return name.substr(0, cut);
}

std::string Candidate(const std::string& name, unsigned attempt)
{
    if (attempt == 1)
        return Fitted(name, 0);
    std::string number(1, '.');
    number += std::to_string(attempt);
    return Fitted(name, number.size()) + number;
}

bool WriteAll(int fd, const std::string& text)
{
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

// Renames without ever replacing what is there; 0 or an errno.
int RenameNoReplace(int fromFd, const std::string& from, int toFd, const std::string& to)
{
    if (::renameat2(fromFd, from.c_str(), toFd, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without the flag: the reserved information file keeps
    // other trashing programs off this name, so a free name stays free.
    struct stat st {};
    if (::fstatat(toFd, to.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    return ::renameat(fromFd, from.c_str(), toFd, to.c_str()) == 0 ? 0 : errno;
}

bool FolderIsEmpty(int parentFd, const std::string& name, int& err)
{
    const int fd = ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        err = errno;
        return false;
    }
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        err = errno;
        ::close(fd);
        return false;
    }
    bool empty = true;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            empty = false;
            break;
        }
    }
    ::closedir(dir);
    err = empty ? 0 : ENOTEMPTY;
    return empty;
}

} // namespace

std::string HomeTrashFolder()
{
    if (const char* dataHome = std::getenv("XDG_DATA_HOME"); dataHome && dataHome[0] == '/')
        return Joined(WithoutTrailingSlashes(dataHome), "Trash");
    const std::string home = HomeFolder();
    if (home.empty())
        return {};
    return Joined(WithoutTrailingSlashes(home), ".local/share/Trash");
}

std::string PercentEncodedPath(const std::string& path)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (const char c : path) {
        const auto b = static_cast<unsigned char>(c);
        const bool keep = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' ||
                          b == '_' || b == '.' || b == '~' || b == '/';
        if (keep) {
            out += c;
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 0x0F];
        }
    }
    return out;
}

std::string TrashInfoText(const std::string& recordedPath, std::time_t deletedAt)
{
    struct tm local {};
    ::localtime_r(&deletedAt, &local);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    return "[Trash Info]\nPath=" + PercentEncodedPath(recordedPath) + "\nDeletionDate=" + date + "\n";
}

FileResult MoveToTrash(const std::string& path, TrashFolders folders, TrashPlace* place)
{
    const std::string absolute = WithoutTrailingSlashes(Absolute(path));
    const std::string name = absolute.substr(absolute.rfind('/') + 1);
    if (name.empty() || name == "." || name == "..")
        return ErrnoFailure("Cannot move to the trash", path, EINVAL);

    const std::string parentPath = FolderOf(absolute);
    Fd parentFd(::open(parentPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parentFd.valid())
        return ErrnoFailure("Cannot move to the trash", path, errno);
    return MoveToTrashAt(parentFd.get(), name, path, folders, place);
}

namespace {

// How an item gets its name in the trash's files/ folder; 0 or the system's error.
using PlaceInTrash = std::function<int(int trashFilesFd, const std::string& candidate)>;

FileResult PutInTrashAt(int parentFd, const std::string& name, const std::string& path, TrashFolders folders,
                        TrashPlace* place, const PlaceInTrash& placeIt)
{
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
        return ErrnoFailure("Cannot move to the trash", path, EINVAL);
    struct stat item {};
    if (::fstatat(parentFd, name.c_str(), &item, AT_SYMLINK_NOFOLLOW) != 0)
        return ErrnoFailure("Cannot move to the trash", path, errno);
    if (folders == TrashFolders::OnlyWhenEmpty && S_ISDIR(item.st_mode)) {
        int err = 0;
        if (!FolderIsEmpty(parentFd, name, err))
            return ErrnoFailure("Cannot move to the trash", path, err);
    }
    struct stat parent {};
    if (::fstat(parentFd, &parent) != 0)
        return ErrnoFailure("Cannot move to the trash", path, errno);

    const std::string realParent = PathOfFolder(parentFd, FolderOf(WithoutTrailingSlashes(Absolute(path))));
    TrashFolder trash;
    dev_t homeDevice = 0;
    const std::string homeTrash = HomeTrashFolder();
    const bool home = !homeTrash.empty() && DeviceOfNearest(homeTrash, homeDevice) && homeDevice == parent.st_dev;
    if (FileResult r = home ? OpenHomeTrash(trash) : OpenTopdirTrash(MountTop(realParent, parent.st_dev), trash);
        !r.ok())
        return r;

    std::string recorded = Joined(realParent, name);
    if (!trash.topdir.empty())
        recorded = trash.topdir == "/" ? recorded.substr(1) : recorded.substr(trash.topdir.size() + 1);
    const std::string info = TrashInfoText(recorded, std::time(nullptr));

    for (unsigned attempt = 1; attempt <= kMostNameAttempts; ++attempt) {
        const std::string candidate = Candidate(name, attempt);
        const std::string infoName = candidate + kInfoSuffix;
        const std::string infoPath = Joined(Joined(trash.path, "info"), infoName);
        const int infoFd =
            ::openat(trash.info.get(), infoName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (infoFd < 0) {
            if (errno == EEXIST)
                continue;
            return ErrnoFailure("Cannot write the trash information file", infoPath, errno);
        }
        const bool written = WriteAll(infoFd, info);
        const int writeError = errno;
        if (::close(infoFd) != 0 || !written) {
            const int err = written ? errno : writeError;
            ::unlinkat(trash.info.get(), infoName.c_str(), 0);
            return ErrnoFailure("Cannot write the trash information file", infoPath, err);
        }

        const int err = placeIt(trash.files.get(), candidate);
        if (err == 0) {
            if (place)
                *place = TrashPlace{trash.path, candidate, recorded};
            return FileResult::Success();
        }
        ::unlinkat(trash.info.get(), infoName.c_str(), 0);
        if (err != EEXIST)
            return ErrnoFailure("Cannot move to the trash", path, err);
    }
    return ErrnoFailure("Cannot move to the trash", path, EEXIST);
}

} // namespace

FileResult MoveToTrashAt(int parentFd, const std::string& name, const std::string& path, TrashFolders folders,
                         TrashPlace* place)
{
    return PutInTrashAt(parentFd, name, path, folders, place, [&](int filesFd, const std::string& candidate) {
        return RenameNoReplace(parentFd, name, filesFd, candidate);
    });
}

FileResult KeepInTrashAt(int parentFd, const std::string& name, const std::string& shownPath, TrashPlace& place,
                         bool& stayed)
{
    stayed = true;
    FileResult result =
        PutInTrashAt(parentFd, name, shownPath, TrashFolders::OnlyWhenEmpty, &place,
                     [&](int filesFd, const std::string& candidate) {
                         return ::linkat(parentFd, name.c_str(), filesFd, candidate.c_str(), 0) == 0 ? 0 : errno;
                     });
    if (!result.ok() && result.error.find(shownPath) == std::string::npos)
        result.error = "Cannot keep '" + shownPath + "' in the trash: " + result.error;
    return result;
}

void TakeBackFromTrash(const TrashPlace& place)
{
    ::unlink(Joined(Joined(place.trashFolder, "files"), place.name).c_str());
    ::unlink(Joined(Joined(place.trashFolder, "info"), place.name + kInfoSuffix).c_str());
}

} // namespace tandrel::platform
