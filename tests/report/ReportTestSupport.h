#pragma once

#include "engine/ResultStore.h"
#include "report/ReportWriter.h"

#include <string>

namespace tandrel::test {

// A request for every list, each under its usual caption with its row count.
inline report::ReportRequest AllLists(const engine::ResultStore& store, report::ReportFormat format)
{
    report::ReportRequest request;
    request.format = format;
    const auto titles = engine::DefaultCategoryCaptions();
    for (const auto category : engine::kAllCategories) {
        const auto k = static_cast<std::size_t>(engine::Index(category));
        request.include[k] = true;
        request.sectionCaptions[k] = titles[k] + " (" + std::to_string(store.Count(category)) + ")";
    }
    return request;
}

} // namespace tandrel::test
