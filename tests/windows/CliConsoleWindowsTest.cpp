// The Windows side of tandrel-cli: arguments from the wide command line,
// folders named the Windows way, and the status line away from a console.

#include "cli/Console.h"
#include "cli/ProgramArguments.h"
#include "cli/StatusLine.h"
#include "cli/windows/WideCommandLine.h"
#include "platform/windows/WideText.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace tandrel::cli {
namespace {

TEST(CliWindowsArguments, WideCommandLineArrivesInUtf8)
{
    const struct {
        std::wstring line;
        std::vector<std::string> arguments;
    } cases[] = {
        {L"tandrel-cli.exe compare C:\\a D:\\b", {"tandrel-cli.exe", "compare", "C:\\a", "D:\\b"}},
        // Backslashes are literal except before a quote: a folder's closing
        // backslash inside quotes has to be doubled.
        {L"\"C:\\Program Files\\t.exe\" \"C:\\My Data\\\\\" \\\\server\\share",
         {"C:\\Program Files\\t.exe", "C:\\My Data\\", "\\\\server\\share"}},
        // Names outside every ANSI code page, a character beyond the first plane included.
        {L"t.exe caf\u00E9 \u65E5\u672C\\\u0436 \U0001F3B5",
         {"t.exe", "caf\xC3\xA9", "\xE6\x97\xA5\xE6\x9C\xAC\\\xD0\xB6", "\xF0\x9F\x8E\xB5"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments;
        EXPECT_TRUE(ArgumentsFromCommandLine(c.line.c_str(), arguments));
        EXPECT_EQ(arguments, c.arguments);
    }
}

TEST(CliWindowsArguments, AnArgumentThatIsNoValidUtf16IsRefused)
{
    const std::wstring line = std::wstring(L"t.exe compare a") + wchar_t(0xD800) + L" b";
    std::vector<std::string> arguments;
    EXPECT_FALSE(ArgumentsFromCommandLine(line.c_str(), arguments));
}

TEST(CliWindowsArguments, FoldersBecomeAbsoluteWithBackslashes)
{
    wchar_t current[MAX_PATH];
    const DWORD length = GetCurrentDirectoryW(MAX_PATH, current);
    ASSERT_GT(length, 0u);
    std::string here;
    ASSERT_TRUE(platform::ToUtf8(std::wstring_view(current, length), here));
    if (here.back() != '\\')
        here += '\\';
    const struct {
        std::string given;
        std::string folder;
    } cases[] = {
        {"C:\\data\\x", "C:\\data\\x"},
        {"C:/data/x/", "C:\\data\\x\\"},
        {"C:\\data\\old\\..\\new", "C:\\data\\new"},
        {"\\\\server\\share\\x", "\\\\server\\share\\x"},
        {"sub\\caf\xC3\xA9", here + "sub\\caf\xC3\xA9"},
        {"sub/x", here + "sub\\x"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FolderArgument(c.given), c.folder) << c.given;
}

// Both ends of an anonymous pipe; what went in is read once the writing end is closed.
class Pipe {
public:
    Pipe() { EXPECT_EQ(_pipe(m_fds, 1 << 16, _O_BINARY), 0); }
    ~Pipe()
    {
        CloseWriter();
        _close(m_fds[0]);
    }
    int Writer() const { return m_fds[1]; }
    void CloseWriter()
    {
        if (m_fds[1] >= 0)
            _close(m_fds[1]);
        m_fds[1] = -1;
    }
    std::string ReadAll()
    {
        CloseWriter();
        std::string text;
        char buffer[4096];
        int n;
        while ((n = _read(m_fds[0], buffer, sizeof buffer)) > 0)
            text.append(buffer, static_cast<std::size_t>(n));
        return text;
    }

private:
    int m_fds[2] = {-1, -1};
};

TEST(CliWindowsConsole, NoConsoleMeansNoStatusLineAndEightyColumns)
{
    Pipe pipe;
    const int nul = _open("NUL", _O_WRONLY | _O_BINARY);
    ASSERT_GE(nul, 0);
    for (const int fd : {pipe.Writer(), nul}) {
        EXPECT_FALSE(IsTerminal(fd)) << fd; // NUL is a character device, yet no console
        EXPECT_EQ(TerminalColumns(fd), 0u) << fd;
        EXPECT_FALSE(StatusLine::WantedOn(fd, false)) << fd;
        EXPECT_EQ(StatusLine(fd, true).Width(), 80u) << fd;
    }
    _close(nul);
}

TEST(CliWindowsConsole, StatusBytesReachAPipeUnchanged)
{
    Pipe pipe;
    {
        StatusLine line(pipe.Writer(), true, std::chrono::milliseconds(0));
        line.Draw("Copying 1/2");
        line.Print("tandrel-cli copy: caf\xC3\xA9");
    }
    const std::string erase = "\r" + std::string(11, ' ') + "\r";
    EXPECT_EQ(pipe.ReadAll(), "\rCopying 1/2" + erase + "tandrel-cli copy: caf\xC3\xA9\nCopying 1/2" + erase);
}

} // namespace
} // namespace tandrel::cli
