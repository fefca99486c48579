// Memory of result rows: fills a ResultStore with ROWS rows (default
// 1,000,000) of realistic relative paths, the way a scan does, and reports
// what each row costs beyond the characters of its path.
//
//   row_memory [ROWS]

#include "engine/ResultStore.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <malloc.h>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using tandrel::engine::CompareItem;
using tandrel::engine::ResultCategory;
using tandrel::engine::ResultStore;

std::size_t HeapInUse()
{
    const struct mallinfo2 info = ::mallinfo2();
    return info.uordblks + info.hblkhd;
}

std::size_t ResidentBytes()
{
    std::ifstream statm("/proc/self/statm");
    std::size_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

// Paths such as "network-12/src_1/detail_0/parser_17.cpp".
std::vector<std::string> MakePaths(std::size_t count)
{
    const char* words[] = {"core", "util", "net", "ui", "io", "model", "view", "render", "audio", "parser",
                           "config", "storage", "crypto", "image", "text", "network", "widgets", "search"};
    const char* folders[] = {"src", "include", "tests", "docs", "assets", "detail", "impl", "data"};
    const char* extensions[] = {".cpp", ".h", ".txt", ".png", ".json", ".md", ".o", ".py"};
    std::mt19937_64 random(7);
    std::vector<std::string> paths;
    paths.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::string p = words[random() % 18];
        p += '-';
        p += std::to_string(random() % 40);
        const auto depth = 1 + random() % 4;
        for (std::uint64_t d = 0; d < depth; ++d) {
            p += '/';
            p += folders[random() % 8];
            p += '_';
            p += std::to_string(random() % 6);
        }
        p += '/';
        p += words[random() % 18];
        p += '_';
        p += std::to_string(i % 997);
        p += extensions[random() % 8];
        paths.push_back(std::move(p));
    }
    return paths;
}

} // namespace

int main(int argc, char** argv)
{
    const std::size_t rows = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;

    // The texts are made first and kept, so that only the store's own growth
    // is measured; their characters are then counted off.
    const std::vector<std::string> paths = MakePaths(rows);
    std::size_t pathChars = 0;
    for (const auto& p : paths)
        pathChars += p.size();

    ::malloc_trim(0);
    const std::size_t heapBefore = HeapInUse();
    const std::size_t residentBefore = ResidentBytes();

    ResultStore store;
    store.Reset("/home/user/projects/", "/media/backup/projects/", 3600);
    // A realistic spread over the five lists.
    const ResultCategory spread[] = {ResultCategory::NotInDestination, ResultCategory::NotInDestination,
                                     ResultCategory::NotInDestination, ResultCategory::NotInSource,
                                     ResultCategory::NewerThanDestination, ResultCategory::OlderThanDestination,
                                     ResultCategory::OnlySizeChanged, ResultCategory::NotInDestination};
    for (std::size_t i = 0; i < rows; ++i) {
        CompareItem item;
        item.relativePath = paths[i]; // a fresh copy, as the scanner makes one per row
        item.size = static_cast<std::int64_t>(i * 37 % 100000);
        item.modified = 1500000000 + static_cast<std::int64_t>(i);
        const ResultCategory category = spread[i % 8];
        if (!tandrel::engine::IsOneSided(category)) {
            item.counterpartSize = item.size + 1;
            item.counterpartModified = item.modified + 10;
        }
        store.AddResultRow(category, std::move(item));
    }

    const std::size_t heapAfter = HeapInUse();
    const std::size_t residentAfter = ResidentBytes();
    const double heapDelta = static_cast<double>(heapAfter - heapBefore);
    const double residentDelta = static_cast<double>(residentAfter - residentBefore);
    const double perRowHeap = heapDelta / static_cast<double>(rows);
    const double perRowChars = static_cast<double>(pathChars) / static_cast<double>(rows);

    std::size_t capacity = 0;
    for (auto c : tandrel::engine::kAllCategories)
        capacity += store.List(c).capacity();

    std::printf("rows: %zu (store holds %zu)\n", rows, store.TotalCount());
    std::printf("path characters: %.1f per row on average\n", perRowChars);
    std::printf("sizeof(CompareItem): %zu bytes; list capacity %zu slots for %zu rows\n", sizeof(CompareItem),
                capacity, store.TotalCount());
    std::printf("heap growth (mallinfo2): %.1f MB = %.1f bytes per row\n", heapDelta / 1e6, perRowHeap);
    std::printf("resident growth (statm): %.1f MB = %.1f bytes per row\n", residentDelta / 1e6,
                residentDelta / static_cast<double>(rows));
    std::printf("bytes per row beyond the path characters: %.1f (heap), %.1f (resident)\n", perRowHeap - perRowChars,
                residentDelta / static_cast<double>(rows) - perRowChars);
    return 0;
}
