#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tandrel::engine {

// The few facts about path texts that the folder rules depend on. The rules
// themselves (trailing separators, parent folders, the shortest path worth
// remembering) are written once against these, so that they can be checked
// both for this system ('/', root "/") and for drive-letter paths ('\\', "C:\\").
struct PathRules {
    char separator = '/';
    std::size_t rootLength = 1;

    static constexpr PathRules Native() { return PathRules{'/', 1}; }
    static constexpr PathRules DriveLetters() { return PathRules{'\\', 3}; }

    bool EndsWithSeparator(std::string_view path) const
    {
        return !path.empty() && path.back() == separator;
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
