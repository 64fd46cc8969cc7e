#pragma once

#include "files/folder.h"

#include <memory>

// A folder on disk. A listing of it that the caller holds from the same
// event serves its look-ups; otherwise it is listed at the first need.
class DiskFolder : public Folder
{
public:
    explicit DiskFolder(QString path, const FolderListing *listing = nullptr);
    ~DiskFolder() override;

    const QString &path() const override { return m_path; }
    bool contains(const QString &name) override;
    FileSignature signature(const QString &name) override;
    InputFile open(const QString &name, qint64 maxBytes) override;
    std::unique_ptr<Folder> subfolder(const QString &name) override;

private:
    std::unique_ptr<FolderListing> readListing() override;

    QString m_path;
};
