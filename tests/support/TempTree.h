#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tandrel::test {

// A real folder in the temporary directory, removed with everything in it
// when the object goes. Paths given to the helpers are relative to it.
class TempTree {
public:
    TempTree();
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
    void Symlink(const std::string& target, const std::string& relative);
    void MakeFifo(const std::string& relative);
    void Chmod(const std::string& relative, unsigned mode);
    std::string ReadFile(const std::string& relative) const;
    bool Exists(const std::string& relative) const; // lstat
    void Remove(const std::string& relative);       // file, link or whole folder

private:
    std::string m_root;
};

// Runs `body` in a child process with the rights of an unprivileged user, so
// that permission checks hold even when the tests run as root (as CI does).
// The child's exit status is returned (0 when body returned true).
int RunUnprivileged(const std::function<bool()>& body);

// Local time → epoch seconds, for tests that speak in wall-clock times.
std::int64_t LocalTime(int year, int month, int day, int hour, int minute, int second);

} // namespace tandrel::test
