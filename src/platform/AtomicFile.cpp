#include "platform/AtomicFile.h"
#include "platform/AtomicFileBuffer.h"

#include <cerrno>
#include <utility>

namespace tandrel::platform {

AtomicFile::AtomicFile(std::string path) : m_path(std::move(path)), m_target(m_path), m_stream(nullptr) {}

AtomicFile::~AtomicFile()
{
    Discard();
}

void AtomicFile::Discard()
{
    m_stream.rdbuf(nullptr);
    m_buffer.reset();
    if (m_fd >= 0) {
        CloseDescriptor(m_fd);
        m_fd = -1;
    }
    if (!m_temp.empty()) {
        RemoveTemporary(m_temp);
        m_temp.clear();
    }
}

FileResult AtomicFile::Commit()
{
    if (m_fd < 0 || !m_buffer)
        return ErrnoFailure("Cannot write", m_path, EBADF);

    m_stream.flush();
    int err = m_buffer->Error() != 0 ? m_buffer->Error() : !m_stream ? EIO : 0;
    if (err == 0)
        err = SyncDescriptor(m_fd);
    if (err == 0) {
        const int fd = m_fd;
        m_fd = -1;
        err = CloseDescriptor(fd);
    }
    if (err != 0) {
        Discard();
        return ErrnoFailure("Cannot write", m_path, err);
    }
    FileResult replaced = ReplaceByTemporary(m_temp, m_target, m_path);
    if (replaced.ok())
        m_temp.clear();
    Discard();
    return replaced;
}

} // namespace tandrel::platform
