#pragma once

// The buffer behind AtomicFile's stream, shared by the systems; each supplies
// WriteToDescriptor.

#include "platform/AtomicFile.h"

#include <cstddef>
#include <streambuf>
#include <vector>

namespace tandrel::platform {

// Writes up to `size` bytes of `data`; the number written, or -1 with the
// reason in `error`.
long WriteToDescriptor(int fd, const char* data, std::size_t size, int& error);

// Flushes what was written through `fd` to disk; 0, or the errno of the failure.
int SyncDescriptor(int fd);
// Closes `fd`; 0, or the errno of the failure.
int CloseDescriptor(int fd);
// Removes a temporary file that will not be renamed in.
void RemoveTemporary(const std::string& temp);
// Renames the flushed temporary file over the target for good, keeping what
// the system keeps of the replaced file; `shownPath` is for the message.
FileResult ReplaceByTemporary(const std::string& temp, const std::string& target, const std::string& shownPath);

// A stream buffer writing straight to a descriptor; the first failing write
// is kept so that Commit() can tell what went wrong.
class AtomicFile::FdBuffer : public std::streambuf {
public:
    explicit FdBuffer(int fd) : m_fd(fd), m_buffer(64 * 1024)
    {
        setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
    }

    int Error() const { return m_error; }

protected:
    int_type overflow(int_type ch) override
    {
        if (!FlushBuffer())
            return traits_type::eof();
        if (!traits_type::eq_int_type(ch, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(ch);
            pbump(1);
        }
        return traits_type::not_eof(ch);
    }

    int sync() override { return FlushBuffer() ? 0 : -1; }

private:
    bool FlushBuffer()
    {
        if (m_error != 0)
            return false;
        const char* data = pbase();
        std::size_t left = static_cast<std::size_t>(pptr() - pbase());
        while (left > 0) {
            const long n = WriteToDescriptor(m_fd, data, left, m_error);
            if (n < 0)
                return false;
            data += n;
            left -= static_cast<std::size_t>(n);
        }
        setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
        return true;
    }

    int m_fd;
    int m_error = 0;
    std::vector<char> m_buffer;
};

} // namespace tandrel::platform
