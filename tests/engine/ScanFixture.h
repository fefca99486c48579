#pragma once

// Small helpers shared by the engine tests: one call that runs a whole
// comparison over two real folders, row lookups by relative path, and a
// guard that runs a body in a child process with a time limit (for cases
// where a fault would hang or crash the test program).

#include "engine/ResultStore.h"
#include "engine/RunFlag.h"
#include "engine/Scanner.h"
#include "settings/CompareOptions.h"
#include "support/TempTree.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace tandrel::test {

using engine::ResultCategory;

inline settings::CompareOptions NoFilters()
{
    return settings::CompareOptions{}; // every option 0
}

struct ScanSetup {
    settings::CompareOptions options = NoFilters();
    std::vector<std::string> ignoredTypes;
    bool includeSubdirectories = true;
    engine::ScanObserver* observer = nullptr;
    std::uint64_t* leftOut = nullptr; // receives the scan's count of entries left out
    engine::PathPatterns* patterns = nullptr;
};

// Calls a function after every entry (with the count of calls so far); used
// to change the tree while it is walked.
class EntryHook : public engine::ScanObserver {
public:
    explicit EntryHook(std::function<void(std::size_t)> onEntry) : m_onEntry(std::move(onEntry)) {}
    void EntryProcessed() override { m_onEntry(++m_calls); }

private:
    std::function<void(std::size_t)> m_onEntry;
    std::size_t m_calls = 0;
};

// The context of a scan of two roots into `store` under `flag`, with what
// the setup gives (options, ignored names, subfolders, observer); the setup
// outlives the scan.
inline engine::ScanContext ScanContextFor(const std::string& source, const std::string& destination,
                                          const ScanSetup& setup, engine::ResultStore& store, engine::RunFlag& flag)
{
    engine::ScanContext context;
    context.sourceRoot = source;
    context.destinationRoot = destination;
    context.includeSubdirectories = setup.includeSubdirectories;
    context.options = &setup.options;
    context.ignoredTypes = &setup.ignoredTypes;
    context.runFlag = &flag;
    context.store = &store;
    context.observer = setup.observer;
    context.patterns = setup.patterns;
    return context;
}

// Runs a whole comparison (both passes) and hands back the store.
inline engine::ResultStore Compare(const std::string& source, const std::string& destination,
                                   const ScanSetup& setup = {}, engine::RunFlag* flag = nullptr)
{
    engine::ResultStore store;
    engine::RunFlag ownFlag;
    engine::RunFlag& runFlag = flag ? *flag : ownFlag;
    runFlag.Set(true);
    engine::ScanContext context = ScanContextFor(source, destination, setup, store, runFlag);
    engine::RunScan(context);
    if (setup.leftOut)
        *setup.leftOut = context.leftOut;
    return store;
}

// The same for the folders "src" and "dst" of a test tree.
inline engine::ResultStore CompareSides(const TempTree& tree, const ScanSetup& setup = {})
{
    return Compare(tree.Path("src"), tree.Path("dst"), setup);
}

// The relative paths of one list as the rows hold them, in the system's form.
inline std::set<std::string> RowPaths(const engine::ResultStore& store, ResultCategory category)
{
    std::set<std::string> rows;
    for (const auto& item : store.List(category))
        rows.insert(item.relativePath);
    return rows;
}

// The relative paths of one list, in store order, written with '/'.
inline std::vector<std::string> Relatives(const engine::ResultStore& store, ResultCategory category)
{
    std::vector<std::string> out;
    for (const auto& item : store.List(category))
        out.push_back(Slashed(item.relativePath));
    return out;
}

inline std::set<std::string> RelativeSet(const engine::ResultStore& store, ResultCategory category)
{
    const auto list = Relatives(store, category);
    return {list.begin(), list.end()};
}

// The row of a relative path (written with '/') in one list, or null.
inline const engine::CompareItem* FindRow(const engine::ResultStore& store, ResultCategory category,
                                          const std::string& relative)
{
    for (const auto& item : store.List(category))
        if (Slashed(item.relativePath) == relative)
            return &item;
    return nullptr;
}

inline std::ptrdiff_t IndexOf(const std::vector<std::string>& list, const std::string& value)
{
    const auto it = std::find(list.begin(), list.end(), value);
    return it == list.end() ? -1 : it - list.begin();
}

// Epoch seconds of a UTC calendar time (proleptic Gregorian calendar),
// counted without the C library, which differs between systems here.
inline std::int64_t Utc(int year, int month, int day, int hour, int minute, int second)
{
    const std::int64_t y = year - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yearOfEra = y - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const std::int64_t days = era * 146097 + dayOfEra - 719468;
    return days * 86400 + hour * 3600 + minute * 60 + second;
}

#ifndef _WIN32
// Runs `body` in a forked child that is killed after `seconds`. Returns the
// child's exit status: 0 when body returned true, 1 when false, 128+signal
// when it crashed or hung.
inline int RunGuarded(const std::function<bool()>& body, unsigned seconds)
{
    return RunInChild(body, false, seconds);
}
#else
// Windows has no fork: the body runs in the test program, whose time limit
// and crash end the whole run instead.
inline int RunGuarded(const std::function<bool()>& body, unsigned)
{
    return body() ? 0 : 1;
}
#endif

// Prints a set for failure messages from child processes.
inline std::string Joined(const std::vector<std::string>& items)
{
    std::string out;
    for (const auto& s : items)
        out += "[" + s + "] ";
    return out;
}

} // namespace tandrel::test
