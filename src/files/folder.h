#pragma once

#include "files/filesignature.h"
#include "files/inputfile.h"

#include <QString>
#include <QStringList>

#include <memory>

class FolderListing;

// A folder whose files the program reads: what it holds, and each file's
// content. A skin's files are read only through this, by the same steps
// whatever kind of folder holds them; a folder on disk (DiskFolder) is one
// kind.
//
// An entry is named by its name within the folder, as text
// (files/filename.h), and names are looked up as a file system that ignores
// letter case would: resolve() gives the entry that a name finds.
class Folder
{
public:
    virtual ~Folder();

    // The folder's path, as text.
    virtual const QString &path() const = 0;
    // An entry's path, as a person is shown it: the folder's, "/", the name.
    QString pathOf(const QString &name) const { return path() + QLatin1Char('/') + name; }

    // What the folder holds: a listing of it lent for the same event, or
    // one read at the first need and kept as long as the folder.
    const FolderListing &listing();

    // Whether an entry bears exactly this name (a link that leads nowhere
    // counts).
    virtual bool contains(const QString &name) = 0;

    // The entry as it is now, to tell whether it changed since it was read.
    virtual FileSignature signature(const QString &name) = 0;

    // The entry opened for reading: a regular file of at most maxBytes.
    // Raises InputFile::Error.
    virtual InputFile open(const QString &name, qint64 maxBytes) = 0;

    // A subfolder, to read in its turn.
    virtual std::unique_ptr<Folder> subfolder(const QString &name) = 0;

    // The entry that a name finds: the exact name if the folder holds it,
    // else the entry equal to it ignoring letter case (the first in byte
    // order if several are), else the name itself. The folder is listed
    // only when the exact name is missing.
    QString resolve(const QString &name);

    // The names of all entries equal to name ignoring letter case, the
    // exact one included, in byte order: more than one means the folder
    // would be ambiguous on a file system that ignores case.
    QStringList matches(const QString &name);

protected:
    // Takes a listing of this very folder, read for the same event, in
    // place of reading it again; the caller keeps it alive meanwhile.
    void lendListing(const FolderListing *listing) { m_listing = listing; }

private:
    // Reads what the folder holds.
    virtual std::unique_ptr<FolderListing> readListing() = 0;

    const FolderListing *m_listing = nullptr;
    std::unique_ptr<FolderListing> m_ownListing;
};

// The folder at path, to read its files: a folder on disk, or one that
// an archive file on the way holds ("/d/Ember.zip", "/d/collection.7z/Ember",
// see files/archive.h). A listing of that folder read for
// the same event, if given, serves instead of reading it again.
std::unique_ptr<Folder> openFolder(const QString &path, const FolderListing *listing = nullptr);
