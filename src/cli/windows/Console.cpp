#include "cli/Console.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <iostream>
#include <windows.h>

namespace tandrel::cli {

namespace {

HANDLE HandleOf(int fd)
{
    const std::intptr_t handle = ::_get_osfhandle(fd);
    return handle == -1 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(handle);
}

// The blocks a console draws two cells wide (East Asian wide and full-width
// forms, and the emoji planes).
struct WideBlock {
    char32_t first;
    char32_t last;
};
constexpr WideBlock kWideBlocks[] = {
    {0x1100, 0x115F},   {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},
    {0xA000, 0xA4CF},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE30, 0xFE4F},   {0xFF00, 0xFF60},
    {0xFFE0, 0xFFE6},   {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

} // namespace

const char kLineEnd[] = "\r\n";

bool IsTerminal(int fd)
{
    DWORD mode = 0;
    return ::GetConsoleMode(HandleOf(fd), &mode) != 0;
}

std::size_t TerminalColumns(int fd)
{
    CONSOLE_SCREEN_BUFFER_INFO info {};
    if (!::GetConsoleScreenBufferInfo(HandleOf(fd), &info))
        return 0;
    // The visible window, which is never wider than the buffer the lines wrap in.
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 0 ? static_cast<std::size_t>(columns) : 0;
}

void WriteAll(int fd, std::string_view bytes)
{
    const HANDLE handle = HandleOf(fd);
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
        DWORD written = 0;
        if (!::WriteFile(handle, bytes.data(), chunk, &written, nullptr) || written == 0)
            return;
        bytes.remove_prefix(std::min<std::size_t>(written, bytes.size()));
    }
}

int CharacterColumns(char32_t point)
{
    for (const WideBlock& block : kWideBlocks)
        if (point >= block.first && point <= block.last)
            return 2;
    return 1;
}

// The program writes UTF-8 with its own line ends (kLineEnd), so the
// C runtime must not add carriage returns: both streams are binary, and
// redirected output gets exactly the bytes the program wrote. A console is
// told to read the bytes as UTF-8 while the program runs and gets its own code
// page back afterwards, since the console outlives the program.
ConsoleOutput::ConsoleOutput()
{
    std::fflush(stdout);
    std::fflush(stderr);
    ::_setmode(kStandardOutput, _O_BINARY);
    ::_setmode(kStandardError, _O_BINARY);
    if (!IsTerminal(kStandardOutput) && !IsTerminal(kStandardError))
        return;
    const UINT previous = ::GetConsoleOutputCP();
    if (previous != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8))
        m_previousCodePage = previous;
}

ConsoleOutput::~ConsoleOutput()
{
    std::cout.flush();
    std::fflush(stdout);
    std::fflush(stderr);
    if (m_previousCodePage != 0)
        ::SetConsoleOutputCP(m_previousCodePage);
}

} // namespace tandrel::cli
