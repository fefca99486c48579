#pragma once

#include "engine/CompareItem.h"
#include "engine/RunFlag.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tandrel::engine {

// Two files that a comparison counted as equal (same size, times within the
// tolerance), whose bytes are to be compared.
struct FilePair {
    std::string source;
    std::string destination;
    std::uint64_t size = 0; // the source's, as the comparison saw it; the check uses it for progress only
    // What the comparison saw of the two, for reports of the pair.
    std::uint64_t otherSize = 0;
    std::int64_t modified = 0;
    std::int64_t otherModified = 0;
    EntryKind kind = EntryKind::Regular;
    EntryKind otherKind = EntryKind::Regular;
};

enum class ContentVerdict {
    Same,
    Different,
    Unreadable,
};

struct ContentFinding {
    std::size_t index = 0; // the pair's position in the input
    ContentVerdict verdict = ContentVerdict::Same;
    // Different: the first byte that differs; when one file is a prefix of
    // the other, the shorter one's size. Links differ at 0.
    std::uint64_t offset = 0;
    std::string error; // Unreadable: "Cannot read '<path>': <the system's reason>"
};

class ContentCheckObserver {
public:
    virtual ~ContentCheckObserver() = default;
    // A pair that differs or cannot be read; called in input order.
    virtual void Found(const FilePair& pair, const ContentFinding& finding) = 0;
    // Bytes of the pairs' sizes dealt with so far, of the sum of all sizes.
    virtual void Progress(std::uint64_t bytesDone, std::uint64_t bytesTotal) = 0;
};

struct ContentCheckOptions {
    unsigned workers = 4;                   // pairs read at the same time
    std::size_t bufferBytes = 1024 * 1024;  // per file and read
    std::chrono::milliseconds progressInterval{100};
};

struct ContentCheckSummary {
    std::size_t checked = 0; // pairs whose outcome was delivered
    std::size_t different = 0;
    std::size_t unreadable = 0;
    std::uint64_t bytesDone = 0;
    bool cancelled = false;
};

// Compares the bytes of every pair on a small pool of worker threads, each
// reading its pair in large sequential reads (holes of sparse files that
// both sides share are skipped, not read). Findings and progress reach the
// observer on the calling thread, findings in input order, progress at most
// once per interval and once at the end. The caller raises `runFlag`; when it
// is found lowered, the workers abandon the pairs in hand, nothing more is
// delivered and the summary says cancelled. Links are never followed: a
// pair of links compares the link texts. Special files are never opened.
ContentCheckSummary CheckContents(const std::vector<FilePair>& pairs, const RunFlag& runFlag,
                                  ContentCheckObserver& observer, const ContentCheckOptions& options = {});

} // namespace tandrel::engine
