#pragma once

#include "platform/FileOps.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tandrel::platform {

// A file whose content arrives in pieces (from a remote side) and takes the
// place of its target as a safe copy does: the pieces go into a temporary
// file in the target's folder, which Commit() gives its permission bits and
// modification time, flushes where a replace or the file system needs it,
// and renames over the target. Until then the old target stays as it was;
// an object that goes without a successful Commit() removes its temporary file.
class IncomingFile {
public:
    IncomingFile() = default;
    ~IncomingFile();
    IncomingFile(const IncomingFile&) = delete;
    IncomingFile& operator=(const IncomingFile&) = delete;

    // Creates the temporary file beside `to`, which must stay held until Commit().
    FileResult Open(const ItemAt& to);
    FileResult Append(std::string_view bytes);
    // `beforeReplacing` is asked first with what is at the target, if anything.
    FileResult Commit(unsigned mode, std::int64_t mtime, WrittenFileSystems* written,
                      const ReplaceCheck& beforeReplacing);
    std::uint64_t Written() const { return m_written; }

private:
    void Discard();

    const ItemAt* m_to = nullptr;
    std::string m_temporary;
    int m_fd = -1;
    void* m_handle = nullptr; // on Windows, the file's handle
    std::uint64_t m_written = 0;
};

// Makes a symbolic link at `to` that says `text`, with `mtime` as its own
// time, under a temporary name that is then renamed over the target, after
// `beforeReplacing` was asked about what is there. Systems that do not copy
// links fail with their reason.
FileResult MakeLinkSafelyAt(const ItemAt& to, const std::string& text, std::int64_t mtime,
                            const ReplaceCheck& beforeReplacing);

} // namespace tandrel::platform
