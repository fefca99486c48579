#include "platform/FileOps.h"

#include "NativePath.h"

namespace tandrel::platform {

namespace {

// Windows takes '/' as a separator too.
bool IsSeparator(char c)
{
    return c == '/' || c == kNativeSeparator;
}

// Runs `op` on the item at `path`, reached through its folder as given.
template <typename Op>
FileResult AtPath(const std::string& path, const std::string& what, Op op)
{
    ItemAt item;
    if (FileResult reached = ReachPath(path, what, item); !reached.ok())
        return reached;
    return op(item);
}

} // namespace

FileResult CreateFolder(const std::string& path)
{
    return AtPath(path, "Cannot create folder", CreateFolderAt);
}

FileResult RemoveFolder(const std::string& path)
{
    return AtPath(path, "Cannot remove folder", RemoveFolderAt);
}

FileResult DeleteFile(const std::string& path)
{
    return AtPath(path, "Cannot delete", DeleteFileAt);
}

FileResult SetArchiveOnly(const std::string& path)
{
    return AtPath(path, "Cannot set attributes of", SetArchiveOnlyAt);
}

FileResult CopyFileSafely(const std::string& from, const std::string& to, const CopyProgress& progress)
{
    ItemAt source;
    if (FileResult reached = ReachPath(from, "Cannot read", source); !reached.ok())
        return reached;
    return AtPath(to, "Cannot copy to",
                  [&](const ItemAt& target) { return CopyFileSafelyAt(source, target, progress); });
}

std::string JoinPath(const std::string& folder, const std::string& name)
{
    if (folder.empty() || IsSeparator(folder.back()))
        return folder + name;
    return folder + kNativeSeparator + name;
}

FileResult SplitBelowRoot(const std::string& root, const std::string& relative, const std::string& what,
                          ItemAt& item, std::vector<std::string>& levels)
{
    std::string relativePath = relative;
    while (!relativePath.empty() && IsSeparator(relativePath.back()))
        relativePath.pop_back();
    item.path = JoinPath(root, relativePath);
    const FileResult refused =
        FileResult::Failure(what + " '" + item.path + "': not a name below the folder compared");
    std::size_t begin = 0;
    for (;;) {
        std::size_t end = begin;
        while (end < relativePath.size() && !IsSeparator(relativePath[end]))
            ++end;
        std::string level = relativePath.substr(begin, end - begin);
        if (level.empty() || level == "." || level == "..")
            return refused;
        levels.push_back(std::move(level));
        if (end == relativePath.size())
            return FileResult::Success();
        begin = end + 1;
    }
}

} // namespace tandrel::platform
