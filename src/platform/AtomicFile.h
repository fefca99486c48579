#pragma once

#include "platform/FileResult.h"

#include <memory>
#include <ostream>
#include <streambuf>
#include <string>

namespace tandrel::platform {

// A file that replaces its target all at once: the content goes into a
// temporary file in the target's folder, which Commit() flushes to disk and
// renames over the target. Until then the old target stays as it was; an
// object destroyed without a successful Commit() removes its temporary file.
class AtomicFile {
public:
    explicit AtomicFile(std::string path);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file; must succeed before anything is written.
    FileResult Open();
    // Where the content goes. Write errors are remembered and reported by Commit().
    std::ostream& Stream() { return m_stream; }
    // Flushes, syncs, closes and renames over the target.
    FileResult Commit();

    const std::string& TargetPath() const { return m_target; }

private:
    class FdBuffer;
    void Discard();

    std::string m_path;    // as given, for messages
    std::string m_target;  // the file actually replaced (a symbolic link is followed)
    std::string m_temp;
    int m_fd = -1;
    std::unique_ptr<FdBuffer> m_buffer;
    std::ostream m_stream;
};

} // namespace tandrel::platform
