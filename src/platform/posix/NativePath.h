#pragma once

#include <cstddef>

namespace tandrel::platform {

inline constexpr char kNativeSeparator = '/';
inline constexpr std::size_t kNativeRootLength = 1; // "/"

} // namespace tandrel::platform
