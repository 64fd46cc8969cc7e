#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <sys/types.h>

// Replaces the content of a file as a whole: a write that fails for any
// reason (a full disk, a short write, an error) leaves the old content.
//
// The new content goes into a new file made beside the old one, under a
// short hidden name, readable by its owner alone (mode 0600), which takes
// the old file's owner and group, then its permission bits (setuid and
// setgid included) and extended attributes (ACLs among them), and is
// synced and renamed over it. Hard links to the old file go on naming the
// old content. A new file gets the umask's mode from the kernel, like any
// other.
//
// The new bytes are written over the old ones instead, and only then is the
// file cut to length, where the old file must stay: where no file can be
// made beside it (a read-only folder holding a writable file), where the
// new one could not have the old one's owner (a file of another user that
// the writer may write), or where nothing may be renamed over it (a file
// bind-mounted there, another user's file in a sticky folder). If that
// write fails, the old bytes are put back. Such a write cannot be atomic: a
// reader may see it half done, and SIGKILL or a crash can leave it so; but
// the interrupts (SIGINT, SIGTERM, SIGHUP and the like) are held for the
// whole write, in every thread, and take effect once it has ended, so that
// one of them never leaves a mixed file.
//
// The name is used as given, so a relative name stays relative to the
// working directory, whatever bytes its path holds. Failures raise
// RuntimeError with a short reason and, where the system refused, its errno.
class FileReplacement
{
public:
    // Gets ready to replace the file of that name, or to create it. Raises
    // RuntimeError when the name leads to anything but a regular file (a
    // folder, a FIFO, a device, a dangling link), when the file may not be
    // written, or when it can be neither replaced nor written in place.
    explicit FileReplacement(const QByteArray &name);
    ~FileReplacement(); // what was not committed is discarded
    FileReplacement(const FileReplacement &) = delete;
    FileReplacement &operator=(const FileReplacement &) = delete;

    // Puts the content in place of the old; once only. Raises RuntimeError
    // if it fails, and the old content then stays.
    void commit(const QByteArray &content);

    // The same for content made a piece at a time: each piece goes into
    // the new file as it comes (and is kept in memory only where the file
    // is written in place), then commit() puts the whole in place. A piece
    // that cannot be written raises RuntimeError, and the old content stays.
    void append(QByteArrayView piece);
    void commit();

    // The new file being written beside the old one, until commit() puts
    // it in place or the destructor removes it; empty when writing in
    // place. For a program that must remove it on a signal.
    const QByteArray &temporaryPath() const { return m_temporary; }

private:
    void commitBeside();
    void commitInPlace(const QByteArray &content);
    void useInPlace(int fd); // drops the new file; fd is the old one's, or -1

    QByteArray m_target;    // the file itself, a symbolic link's target
    QByteArray m_temporary; // the new file beside it; empty when writing in place
    int m_fd = -1;
    mode_t m_mode = 0; // the new file's permission bits, taken from the old one
    qint64 m_appended = 0; // the bytes in the new file so far
    QByteArray m_pending;  // the content so far, when writing in place
};
