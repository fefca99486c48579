#pragma once

#include "NativePath.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace tandrel::engine {

// The few facts about path texts that the folder rules depend on. The rules
// themselves (trailing separators, parent folders, the shortest path worth
// remembering) are written once against these, so that they can be checked
// both for POSIX paths ('/', root "/") and for drive-letter paths ('\\', "C:\\",
// or a UNC root such as "\\\\server\\share\\").
struct PathRules {
    char separator = '/';
    std::size_t rootLength = 1;

    static constexpr PathRules Native() { return PathRules{platform::kNativeSeparator, platform::kNativeRootLength}; }
    static constexpr PathRules DriveLetters() { return PathRules{'\\', 3}; }

    // The length of the root that `path` starts with: `rootLength`, or with
    // backslash rules for "\\\\server\\share\\" the whole UNC root, its
    // closing separator included when the path has one.
    std::size_t RootLengthOf(std::string_view path) const
    {
        if (separator != '\\' || path.size() < 2 || path[0] != '\\' || path[1] != '\\')
            return rootLength;
        const auto serverEnd = path.find(separator, 2);
        if (serverEnd == std::string_view::npos)
            return path.size();
        const auto shareEnd = path.find(separator, serverEnd + 1);
        return shareEnd == std::string_view::npos ? path.size() : shareEnd + 1;
    }

    // Where '\\' separates, so does '/' (the system takes both).
    bool EndsWithSeparator(std::string_view path) const
    {
        return !path.empty() && (path.back() == separator || (separator == '\\' && path.back() == '/'));
    }

    // The path with one separator appended unless it already ends in one.
    std::string WithTrailingSeparator(std::string_view path) const
    {
        std::string result(path);
        if (!EndsWithSeparator(result))
            result += separator;
        return result;
    }

    // The characters before the last separator, the separator excluded;
    // empty text when there is none.
    std::string ParentFolder(std::string_view path) const
    {
        const auto pos = path.rfind(separator);
        if (pos == std::string_view::npos)
            return {};
        return std::string(path.substr(0, pos));
    }
};

} // namespace tandrel::engine
