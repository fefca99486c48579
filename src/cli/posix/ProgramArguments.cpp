#include "cli/ProgramArguments.h"

namespace tandrel::cli {

bool ProgramArguments(int argc, char** argv, std::vector<std::string>& arguments)
{
    arguments.assign(argv, argv + argc);
    return true;
}

std::string FolderArgument(const std::string& path)
{
    return path;
}

} // namespace tandrel::cli
