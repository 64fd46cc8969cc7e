#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Archives made in a test, from members given here or from a folder the
// test wrote (plain-colour BMPs from the fixture).

// One member of an archive that writeArchive() makes, in order.
struct ArchiveMember
{
    enum class Type { File, Folder, Symlink, Hardlink };
    QByteArray name;  // as stored: any bytes, "../x", "C:\\x" and all
    QByteArray bytes; // a file's content, or where a link leads
    Type type = Type::File;
};

// How writeArchive() stores names in a zip.
enum class ZipNames {
    Utf8Flagged, // the UTF-8 flag wherever a name is not ASCII (what Python does)
    RawBytes,    // the bytes as given, never the flag (an old zipper's code page)
};

// Writes a zip (".zip"), a tar (".tar") or a gzipped tar (".tar.gz") with
// Python's zipfile or tarfile, or a RAR 5 archive of stored entries (".rar",
// symlinks and hard links left out) by hand; false, with a warning, when it
// fails.
bool writeArchive(const QString &path, const QList<ArchiveMember> &members, ZipNames names = ZipNames::Utf8Flagged);

// Packs what a folder holds (its entries at the archive's root) with a
// command-line archiver chosen by the archive's ending: zip for ".zip", 7z
// for ".7z", bsdtar for every tar, writeArchive() for ".rar". extraArguments
// go to the archiver (zip's "-P secret" to encrypt, "-s 64k" to split).
bool packFolder(const QString &folder, const QString &archive, const QStringList &extraArguments = {});
