#pragma once

#include "files/folder.h"

#include <QByteArray>

#include <memory>
#include <vector>

class ArchiveReader;
struct ArchiveNotice;

// A folder inside an archive (its root, or a folder below it), read through
// one reader that its subfolders share. Its path is the archive's path on
// disk followed by the folder's names: "/d/collection.7z/Ember".
//
// An entry's signature is the archive file's, with the entry's size and
// kind: while the archive file is unchanged every entry is, and once it
// moved (the archive was replaced or written again) the signature of every
// entry moves, and only what an entry holds tells whether that one changed.
class ArchiveFolder : public Folder
{
public:
    // The archive's root, or the folder inner within it; raises
    // InputFile::Error when the file cannot be opened. An archive that does
    // not read is an empty folder, and says why in notices(). A listing of
    // the same folder read from the same index is used rather than listing
    // it again.
    explicit ArchiveFolder(const QString &archive, const QString &inner = {}, const FolderListing *listing = nullptr);
    ArchiveFolder(std::shared_ptr<ArchiveReader> reader, QByteArray inner);
    ~ArchiveFolder() override;

    const QString &path() const override { return m_path; }
    bool contains(const QString &name) override;
    FileSignature signature(const QString &name) override;
    InputFile open(const QString &name, qint64 maxBytes) override;
    std::unique_ptr<Folder> subfolder(const QString &name) override;

    // Whether this folder is in the archive (the root always is).
    bool exists() const;
    // What reading the whole archive skipped or noticed, in the order of
    // its entries.
    const std::vector<ArchiveNotice> &notices() const;
    // Why the archive could not be read at all, or empty.
    const QString &failure() const;
    const ArchiveReader &reader() const { return *m_reader; }

private:
    std::unique_ptr<FolderListing> readListing() override;
    QByteArray entryName(const QString &name) const;

    std::shared_ptr<ArchiveReader> m_reader;
    QByteArray m_inner; // "" for the root
    QString m_path;
};

// Whether a cleaned absolute path names a folder inside an archive that
// reads: "/d/Ember.zip", "/d/collection.7z/Ember".
bool isFolderInArchive(const QString &path);
