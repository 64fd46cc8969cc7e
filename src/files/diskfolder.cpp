#include "files/diskfolder.h"

#include "files/filename.h"
#include "files/folderlisting.h"

#include <sys/stat.h>

DiskFolder::DiskFolder(QString path, const FolderListing *listing) : m_path(std::move(path))
{
    if (listing && listing->folder() == m_path)
        lendListing(listing);
}

DiskFolder::~DiskFolder() = default;

std::unique_ptr<FolderListing> DiskFolder::readListing()
{
    return std::make_unique<FolderListing>(m_path);
}

bool DiskFolder::contains(const QString &name)
{
    struct stat status;
    return ::lstat(fileNameFromText(pathOf(name)).constData(), &status) == 0;
}

FileSignature DiskFolder::signature(const QString &name)
{
    return FileSignature::of(pathOf(name));
}

InputFile DiskFolder::open(const QString &name, qint64 maxBytes)
{
    return InputFile::open(pathOf(name), maxBytes);
}

std::unique_ptr<Folder> DiskFolder::subfolder(const QString &name)
{
    return std::make_unique<DiskFolder>(pathOf(name));
}
