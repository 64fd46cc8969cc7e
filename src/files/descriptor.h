#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <utility>

// An open file descriptor, closed when it goes.
class FileDescriptor
{
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(FileDescriptor &&other) noexcept : m_fd(other.release()) {}
    FileDescriptor &operator=(FileDescriptor &&other) noexcept
    {
        reset(other.release());
        return *this;
    }

    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    // Gives the descriptor up without closing it.
    int release() { return std::exchange(m_fd, -1); }
    void reset(int fd = -1);

private:
    int m_fd = -1;
};

// Whole transfers: each goes on after a short transfer or an interruption.
// False on an error, with errno the system's reason; at the end of the file,
// false with errno 0.

// Writes all of bytes at the descriptor's place (write), or at offset (pwrite).
bool writeAll(int fd, QByteArrayView bytes);
bool writeAllAt(int fd, QByteArrayView bytes, qint64 offset);

// Reads exactly size bytes at offset (pread).
bool readAllAt(int fd, char *data, qint64 size, qint64 offset);

// Reads up to size bytes from the descriptor's place, fewer where the file
// ends: the number read, or -1 with errno set.
qint64 readUpTo(int fd, char *data, qint64 size);
