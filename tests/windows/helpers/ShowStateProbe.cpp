// Stands in for a program started by Tandrel: writes the show state its
// starter handed it ("flags show", from GetStartupInfoW) to the file
// show-state in its working folder, and ends.
#include <windows.h>

#include <cstdio>

int main()
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    std::FILE* out = std::fopen("show-state.tmp", "w");
    if (!out)
        return 1;
    std::fprintf(out, "%lu %u", static_cast<unsigned long>(startup.dwFlags & STARTF_USESHOWWINDOW),
                 static_cast<unsigned>(startup.wShowWindow));
    std::fclose(out);
    return std::rename("show-state.tmp", "show-state") == 0 ? 0 : 1;
}
