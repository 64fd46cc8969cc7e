#pragma once

#include <QString>

struct stat;

// A file or folder as the file system describes it, enough to tell whether
// it changed without reading it: which file the name leads to (links
// followed), its size and its modification time to the nanosecond. A name
// that leads nowhere has a signature too, "missing"; so does one the
// system refuses to describe.
struct FileSignature
{
    bool exists = false;
    bool regularFile = false;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedSeconds = 0;
    qint64 modifiedNanoseconds = 0;

    static FileSignature of(const QString &path);
    static FileSignature of(const struct stat &status);

    bool operator==(const FileSignature &) const = default;
};
