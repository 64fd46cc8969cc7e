#pragma once

#include <QString>

struct stat;

// A file or folder as the file system describes it, enough to tell whether
// it changed without reading it: which file the name leads to (links
// followed), its size, its modification time and its change time to the
// nanosecond. The change time moves with every write, rename into place or
// time set by hand, so a copy that keeps the size and the modification time
// (cp -p) still differs. A name that leads nowhere has a signature too,
// "missing"; so does one the system refuses to describe.
struct FileSignature
{
    // A file whose newest time is less than this before the moment it was
    // described may be written again within the same tick of its file
    // system's clock (whole seconds on many, two on FAT) without any of its
    // times moving.
    static constexpr qint64 RacySeconds = 3;

    bool exists = false;
    bool regularFile = false;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedSeconds = 0;
    qint64 modifiedNanoseconds = 0;
    qint64 changedSeconds = 0;
    qint64 changedNanoseconds = 0;
    // The file's times were within RacySeconds of the moment it was
    // described (or ahead of it): the same signature later does not show
    // that it is unchanged, only what it holds can.
    bool racy = false;

    static FileSignature of(const QString &path);
    static FileSignature of(const struct stat &status);

    // The same description; whether either is racy is not compared.
    bool operator==(const FileSignature &other) const;
    // Whether a file described as this now is surely as when it was
    // described as seen: the same, and seen not racy.
    bool unchangedSince(const FileSignature &seen) const { return *this == seen && !seen.racy; }
};
