#pragma once

#include <cstddef>
#include <string_view>

// The console or terminal the command line talks to: one implementation per
// system, in posix/ and windows/.
namespace tandrel::cli {

inline constexpr int kStandardOutput = 1;
inline constexpr int kStandardError = 2;

// The end of the lines the program writes on standard output: LF, or CR LF
// on Windows, as the system's own tools end theirs.
extern const char kLineEnd[];

// True when `fd` is an interactive terminal (a console window on Windows).
bool IsTerminal(int fd);

// The columns of the terminal on `fd`; 0 when it is none or will not say.
std::size_t TerminalColumns(int fd);

// Writes all of `bytes` unchanged, unless the descriptor fails.
void WriteAll(int fd, std::string_view bytes);

// The columns a character takes on a terminal (0, 1 or 2); negative when
// the system does not know it.
int CharacterColumns(char32_t point);

// Readies standard output and standard error for the program's UTF-8 text
// while it lives, and puts back what it changed in the console when it goes.
class ConsoleOutput {
public:
    ConsoleOutput();
    ~ConsoleOutput();
    ConsoleOutput(const ConsoleOutput&) = delete;
    ConsoleOutput& operator=(const ConsoleOutput&) = delete;

private:
    unsigned m_previousCodePage = 0; // 0: nothing to put back
};

} // namespace tandrel::cli
