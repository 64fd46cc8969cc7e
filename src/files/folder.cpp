#include "files/folder.h"

#include "files/diskfolder.h"
#include "files/folderlisting.h"

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
    return std::make_unique<DiskFolder>(path, listing);
}
