#pragma once

#include <memory>
#include <streambuf>

namespace tandrel::cli {

// Standard output (std::cout) while the object lives: on a terminal every
// line goes out as TerminalText makes it, so that a name cannot send the
// terminal commands (retitle it, move the cursor); redirected, the bytes are
// unchanged. A failed write fails the stream, as it would without this.
class StandardOutput {
public:
    StandardOutput();
    ~StandardOutput();
    StandardOutput(const StandardOutput&) = delete;
    StandardOutput& operator=(const StandardOutput&) = delete;

private:
    std::unique_ptr<std::streambuf> m_lines;
    std::streambuf* m_previous = nullptr;
};

} // namespace tandrel::cli
