#pragma once

#include <cstddef>

namespace tandrel::platform {

inline constexpr char kNativeSeparator = '\\';
inline constexpr std::size_t kNativeRootLength = 3; // "C:\"; UNC roots are longer (PathRules::RootLengthOf)

} // namespace tandrel::platform
