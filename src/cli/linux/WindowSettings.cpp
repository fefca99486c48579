#include "cli/WindowSettings.h"

#include <cstdlib>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tandrel::cli {

namespace {

bool IsFolder(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// "$XDG_DATA_HOME/Orvessa Software/Tandrel/", or under ~/.local/share, as the
// window's toolkit names its per-user data folder.
std::string PerUserFolder()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    std::string folder;
    if (data && *data) {
        folder = data;
    } else {
        const char* home = std::getenv("HOME");
        folder = home ? home : "";
        while (!folder.empty() && folder.back() == '/')
            folder.pop_back();
        folder += "/.local/share";
    }
    return folder + "/Orvessa Software/Tandrel/";
}

} // namespace

std::optional<std::string> FindWindowSettings()
{
    char executable[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", executable, sizeof executable - 1);
    std::string folder = length > 0 ? std::string(executable, static_cast<std::size_t>(length)) : std::string();
    folder.erase(folder.rfind('/') + 1);
    const bool installed = folder.size() >= 5 && folder.ends_with("/bin/") && IsFolder(folder + "../share/tandrel");
    if (folder.empty() || installed || ::access(folder.c_str(), W_OK | X_OK) != 0)
        folder = PerUserFolder();
    const std::string path = folder + "tdl.ini";
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return path;
}

} // namespace tandrel::cli
