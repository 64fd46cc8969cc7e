#include "files/folder.h"

#include "files/archive.h"
#include "files/archivefolder.h"
#include "files/diskfolder.h"
#include "files/folderlisting.h"

Folder::~Folder() = default;

const FolderListing &Folder::listing()
{
    if (!m_listing) {
        m_ownListing = readListing();
        m_listing = m_ownListing.get();
    }
    return *m_listing;
}

QString Folder::resolve(const QString &name)
{
    if (contains(name))
        return name;
    return listing().nameIgnoringCase(name).value_or(name);
}

QStringList Folder::matches(const QString &name)
{
    return listing().namesIgnoringCase(name);
}

std::unique_ptr<Folder> openFolder(const QString &path, const FolderListing *listing)
{
    if (const std::optional<ArchivePath> inside = splitArchivePath(path)) {
        try {
            return std::make_unique<ArchiveFolder>(inside->archive, inside->inner, listing);
        } catch (const InputFile::Error &) {
            // Gone or unreadable since: the folder on disk fails as it would.
        }
    }
    return std::make_unique<DiskFolder>(path, listing);
}
