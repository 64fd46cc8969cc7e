#pragma once

// A file in memory with a path that open() takes, so that each input reaches
// the code under test through its real entry point without touching a disk.

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <sys/mman.h>
#include <unistd.h>

class MemoryFile
{
public:
    MemoryFile()
        : m_fd(::memfd_create("fuzz-input", MFD_CLOEXEC))
    {
        if (m_fd < 0)
            std::abort();
        m_path = QStringLiteral("/proc/self/fd/%1").arg(m_fd);
    }

    // Replaces the content with the bytes; returns the path to open.
    const QString &hold(const uint8_t *data, size_t size)
    {
        if (::ftruncate(m_fd, 0) != 0)
            std::abort();
        size_t done = 0;
        while (done < size) {
            const ssize_t written = ::pwrite(m_fd, data + done, size - done, off_t(done));
            if (written <= 0)
                std::abort();
            done += size_t(written);
        }
        return m_path;
    }

private:
    int m_fd;
    QString m_path;
};
