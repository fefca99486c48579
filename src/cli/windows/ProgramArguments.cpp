#include "cli/ProgramArguments.h"

#include "cli/windows/WideCommandLine.h"
#include "platform/windows/WideText.h"

#include <windows.h>
#include <shellapi.h>

namespace tandrel::cli {

bool ArgumentsFromCommandLine(const wchar_t* commandLine, std::vector<std::string>& arguments)
{
    arguments.clear();
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(commandLine, &count);
    if (!wide)
        return false;
    bool valid = true;
    for (int i = 0; i < count && valid; ++i) {
        std::string argument;
        valid = platform::ToUtf8(wide[i], argument);
        // "/?" asks for help, as with the system's own tools; no path is named so.
        arguments.push_back(argument == "/?" ? "--help" : std::move(argument));
    }
    ::LocalFree(wide);
    return valid;
}

bool ProgramArguments(int, char**, std::vector<std::string>& arguments)
{
    return ArgumentsFromCommandLine(::GetCommandLineW(), arguments);
}

std::string FolderArgument(const std::string& path)
{
    std::wstring wide;
    if (path.empty() || !platform::ToWide(path, wide))
        return path; // refused later as a folder that cannot be entered
    const DWORD needed = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return path;
    std::wstring full(needed, L'\0');
    const DWORD length = ::GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed)
        return path;
    full.resize(length);
    std::string utf8;
    return platform::ToUtf8(full, utf8) ? utf8 : path;
}

} // namespace tandrel::cli
