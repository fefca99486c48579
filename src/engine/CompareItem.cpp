#include "engine/CompareItem.h"

namespace tandrel::engine {

const std::string& CompareItem::StatusText() const
{
    static const std::string empty;
    return status ? *status : empty;
}

void CompareItem::SetStatusText(std::string text)
{
    if (text.empty())
        status.reset();
    else if (status)
        *status = std::move(text);
    else
        status = std::make_unique<std::string>(std::move(text));
}

} // namespace tandrel::engine
