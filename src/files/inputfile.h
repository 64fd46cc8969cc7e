#pragma once

#include "files/descriptor.h"
#include "files/error.h"

#include <QByteArray>
#include <QString>

// A file opened for reading. On disk it is opened without blocking and
// checked on the open file itself, so that a FIFO or a device never stalls
// the program, whatever its name leads to, and it is read through its
// descriptor. An entry that exists only as bytes in memory is read from
// those.
class InputFile
{
public:
    // Why a file could not be opened for reading.
    enum class Failure {
        BadName,        // the name holds a NUL
        NotFound,       // nothing bears the name, or a folder on the way is missing
        NotReadable,    // the system refused to open or read it (systemError says why)
        Folder,         // a folder bears the name
        NotRegularFile, // a FIFO, a device, a socket
        TooLarge,       // larger than the reader takes
        Encrypted,      // an archive's entry that needs a password
        Damaged,        // an archive's entry whose data does not read (cut short, corrupt)
    };

    class Error : public RuntimeError
    {
    public:
        explicit Error(Failure failure, int systemError = 0, qint64 size = 0);
        Failure failure() const { return m_failure; }
        qint64 size() const { return m_size; } // the file's bytes, for TooLarge

    private:
        Failure m_failure;
        qint64 m_size;
    };

    // Opens the file at path (text as files/filename.h decodes names): a
    // regular file of at most maxBytes (-1: any size). Raises Error.
    static InputFile open(const QString &path, qint64 maxBytes = -1);

    // An entry held in memory.
    explicit InputFile(QByteArray bytes);

    // Its size when it was opened.
    qint64 size() const { return m_size; }

    // Up to size bytes from the current place, fewer where it ends; raises
    // Error (NotReadable) when the system refuses.
    QByteArray read(qint64 size);

    // The file on disk, or -1 for one in memory; the caller may read it
    // from the start, and its place is then the caller's.
    int descriptor() const { return m_fd.get(); }
    // The descriptor, given up to the caller, who closes it.
    int releaseDescriptor() { return m_fd.release(); }

    // Whether a file on disk is no longer as it was when opened (its size
    // or modification time moved), with its size now; never for one in
    // memory.
    bool changedSinceOpened(qint64 *sizeNow = nullptr) const;

private:
    InputFile() = default;

    FileDescriptor m_fd;
    qint64 m_size = 0;
    qint64 m_modifiedSeconds = 0;
    qint64 m_modifiedNanoseconds = 0;
    QByteArray m_bytes; // an entry in memory
    qint64 m_position = 0;
};
