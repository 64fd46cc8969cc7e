#include "files/descriptor.h"

#include <unistd.h>

#include <cerrno>

namespace {

// Moves size bytes with transfer(fd, data, size, offset), going on after a
// short transfer; an offset of -1 leaves the descriptor's place to move.
template <class Bytes, class Transfer>
bool transferAll(Transfer transfer, int fd, Bytes *data, qint64 size, qint64 offset)
{
    while (size > 0) {
        const ssize_t done = transfer(fd, data, size_t(size), offset);
        if (done < 0 && errno == EINTR)
            continue;
        if (done == 0)
            errno = 0;
        if (done <= 0)
            return false;
        data += done;
        size -= done;
        if (offset >= 0)
            offset += done;
    }
    return true;
}

ssize_t writeHere(int fd, const char *data, size_t size, qint64)
{
    return ::write(fd, data, size);
}

ssize_t writeAt(int fd, const char *data, size_t size, qint64 offset)
{
    return ::pwrite(fd, data, size, off_t(offset));
}

ssize_t readAt(int fd, char *data, size_t size, qint64 offset)
{
    return ::pread(fd, data, size, off_t(offset));
}

} // namespace

void FileDescriptor::reset(int fd)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

bool writeAll(int fd, QByteArrayView bytes)
{
    return transferAll(writeHere, fd, bytes.data(), bytes.size(), -1);
}

bool writeAllAt(int fd, QByteArrayView bytes, qint64 offset)
{
    return transferAll(writeAt, fd, bytes.data(), bytes.size(), offset);
}

bool readAllAt(int fd, char *data, qint64 size, qint64 offset)
{
    return transferAll(readAt, fd, data, size, offset);
}

qint64 readUpTo(int fd, char *data, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, data + done, size_t(size - done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        done += got;
    }
    return done;
}
