#include "cli/Console.h"

#include <cerrno>
#include <sys/ioctl.h>
#include <unistd.h>
#include <wchar.h>

namespace tandrel::cli {

const char kLineEnd[] = "\n";

bool IsTerminal(int fd)
{
    return ::isatty(fd) == 1;
}

std::size_t TerminalColumns(int fd)
{
    struct winsize size {};
    if (::ioctl(fd, TIOCGWINSZ, &size) == 0)
        return size.ws_col;
    return 0;
}

void WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

int CharacterColumns(char32_t point)
{
    return ::wcwidth(static_cast<wchar_t>(point));
}

// A terminal here takes the bytes as they are; the locale says how to show them.
ConsoleOutput::ConsoleOutput() = default;
ConsoleOutput::~ConsoleOutput() = default;

} // namespace tandrel::cli
