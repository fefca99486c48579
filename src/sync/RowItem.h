#pragma once

#include <cstdint>
#include <string>

namespace tandrel::sync {

// What the work needs of a row; the store itself is not touched off the calling thread.
struct RowItem {
    std::string relativePath;
    std::string shownPath;
    bool isFolder = false;
    std::string caseClash; // the comparison left it unpaired for case: a copy fails with this text
    // As the comparison listed them: the walked item, and in lists 1, 2, 5 its counterpart.
    std::int64_t size = 0;
    std::int64_t modified = 0;
    std::int64_t counterpartSize = 0;
    std::int64_t counterpartModified = 0;
};

} // namespace tandrel::sync
