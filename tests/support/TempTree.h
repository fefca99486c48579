#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tandrel::test {

// A real folder in the temporary directory, removed with everything in it
// when the object goes. Paths given to the helpers are relative to it.
class TempTree {
public:
    // Below the temporary folder, or below `base` when given.
    explicit TempTree(const std::string& base = {});
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    // The folder's path, with a trailing '/'.
    const std::string& Root() const { return m_root; }
    std::string Path(const std::string& relative) const { return m_root + relative; }

    // Creates the parents as needed. `mtime` < INT64_MIN+1 means "leave as is".
    void WriteFile(const std::string& relative, const std::string& content);
    void WriteFile(const std::string& relative, const std::string& content, std::int64_t mtime,
                   long nanoseconds = 0);
    void MakeDir(const std::string& relative);
    void SetMtime(const std::string& relative, std::int64_t seconds, long nanoseconds = 0);
#ifndef _WIN32
    // POSIX only: the tests of links, FIFOs and modes are Linux's.
    void Symlink(const std::string& target, const std::string& relative);
    void MakeFifo(const std::string& relative);
    void Chmod(const std::string& relative, unsigned mode);
#endif
#ifdef _WIN32
    // Windows only: the attribute bits and folder links the system keeps.
    std::uint32_t Attributes(const std::string& relative) const;
    // Makes `relative` a symbolic link to the folder `target` (relative to
    // the tree too); false where this system cannot make one. Under Wine,
    // whose CreateSymbolicLinkW makes nothing, the host makes it.
    bool MakeFolderLink(const std::string& relative, const std::string& target) const;
    // Whether the tree's file system keeps the hidden, system and archive
    // bits (Wine stores them in extended attributes).
    bool KeepsDosAttributes();
    // The bits a file reports after its attributes were set to none at all:
    // nothing on Windows; Wine reports every file as archived.
    std::uint32_t BitsAlwaysReported();
#endif
    // Owner write permission off on POSIX, the read-only attribute on Windows.
    void MakeReadOnly(const std::string& relative);
    std::string ReadFile(const std::string& relative) const;
    bool Exists(const std::string& relative) const; // lstat
    // The last-write time as seconds and nanoseconds since the epoch (lstat).
    std::pair<std::int64_t, long> Mtime(const std::string& relative) const;
    void Remove(const std::string& relative);       // file, link or whole folder

private:
    std::string m_root;
};

#ifndef _WIN32
// Runs `body` in a forked child and returns its exit status: 0 when body
// returned true, 1 when false, 128+signal when it crashed or was killed.
// `unprivileged`: the child has the rights of user nobody, so that permission
// checks hold even when the tests run as root (as CI does). `timeLimit`: the
// child is killed after that many seconds (0: no limit).
int RunInChild(const std::function<bool()>& body, bool unprivileged, unsigned timeLimit);
inline int RunUnprivileged(const std::function<bool()>& body)
{
    return RunInChild(body, true, 0);
}
#else
bool RunsUnderWine();
// A relative path of nested folders making the whole path longer than MAX_PATH.
std::string LongRelativeFolder(const std::string& root);
#endif

// Sets an environment variable of this process; null `value` removes it.
void SetEnvironment(const char* name, const char* value);

// `path` with '/' for the system's separator, as the test trees write paths:
// for comparing what the core reports in the system's form.
std::string Slashed(std::string path);

// Whether `text` holds the system's words for the POSIX error `error`: its
// strerror text, or on Windows the message of a system error of that meaning.
bool SaysReason(const std::string& text, int error);
// Whether `text` is `what` followed by nothing but those words.
bool IsFailure(const std::string& text, const std::string& what, int error);

// The names in a folder, "." and ".." left out, sorted.
std::vector<std::string> FolderEntries(const std::string& folder);

// Local time → epoch seconds, for tests that speak in wall-clock times.
inline std::int64_t LocalTime(int year, int month, int day, int hour, int minute, int second)
{
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&tm));
}

} // namespace tandrel::test
