#pragma once

#include <array>
#include <string>

namespace tandrel::engine {

// Numbered 1 to 5; the number is also the index of the category's list and tab.
enum class ResultCategory : int {
    NewerThanDestination = 1,
    OlderThanDestination = 2,
    NotInDestination = 3,
    NotInSource = 4,
    OnlySizeChanged = 5,
};

inline constexpr int kCategoryCount = 5;

inline constexpr std::array<ResultCategory, kCategoryCount> kAllCategories{
    ResultCategory::NewerThanDestination, ResultCategory::OlderThanDestination,
    ResultCategory::NotInDestination, ResultCategory::NotInSource,
    ResultCategory::OnlySizeChanged};

inline constexpr int Index(ResultCategory c) { return static_cast<int>(c); }

// Lists 3 and 4 show one side only; lists 1, 2 and 5 show both files of a pair.
inline constexpr bool IsOneSided(ResultCategory c)
{
    return c == ResultCategory::NotInDestination || c == ResultCategory::NotInSource;
}

enum class ScanPass : int { SourcePass = 0, DestinationPass = 1 };

// The tab titles, index 1..5 (element 0 unused).
using CategoryCaptions = std::array<std::string, kCategoryCount + 1>;
CategoryCaptions DefaultCategoryCaptions();

} // namespace tandrel::engine
