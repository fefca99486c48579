#include "engine/ResultCategory.h"

namespace tandrel::engine {

CategoryCaptions DefaultCategoryCaptions()
{
    return {"", "Newer than destination", "Older than destination", "Can not find destination",
            "Can not find source", "Only size changed"};
}

} // namespace tandrel::engine
