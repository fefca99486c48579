#pragma once

#include <cstddef>
#include <string>

namespace tandrel::platform {

// How many rows a copy or delete works on at once when it writes below
// `targetRoot`: several on a network file system, where every step of a file
// is a round trip, one on a local disk. The number is the platform's to choose.
std::size_t RowsInFlightFor(const std::string& targetRoot);

} // namespace tandrel::platform
