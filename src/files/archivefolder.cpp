#include "files/archivefolder.h"

#include "files/archive.h"
#include "files/filename.h"
#include "files/folderlisting.h"

ArchiveFolder::ArchiveFolder(const QString &archive, const QString &inner, const FolderListing *listing)
    : ArchiveFolder(std::make_shared<ArchiveReader>(archive), fileNameFromText(inner))
{
    // Listed from the very index that this reader holds: the archive file as
    // it is now (files/archive.h: ArchiveReader shares an index only then).
    if (listing && listing->folder() == m_path && listing->archiveIndex() == &m_reader->index())
        lendListing(listing);
}

ArchiveFolder::ArchiveFolder(std::shared_ptr<ArchiveReader> reader, QByteArray inner)
    : m_reader(std::move(reader)), m_inner(std::move(inner)),
      m_path(m_inner.isEmpty() ? m_reader->path() : m_reader->path() + QLatin1Char('/') + textFromFileName(m_inner))
{
}

ArchiveFolder::~ArchiveFolder() = default;

QByteArray ArchiveFolder::entryName(const QString &name) const
{
    const QByteArray bytes = fileNameFromText(name);
    return m_inner.isEmpty() ? bytes : m_inner + '/' + bytes;
}

std::unique_ptr<FolderListing> ArchiveFolder::readListing()
{
    return std::make_unique<FolderListing>(m_path, m_reader->index(), m_inner);
}

bool ArchiveFolder::contains(const QString &name)
{
    const QByteArray entry = entryName(name);
    return m_reader->index().entry(entry) || m_reader->index().hasFolder(entry);
}

FileSignature ArchiveFolder::signature(const QString &name)
{
    const QByteArray entry = entryName(name);
    FileSignature signature = m_reader->index().signature();
    if (const ArchiveIndex::Entry *file = m_reader->index().entry(entry)) {
        signature.size = file->size;
        return signature;
    }
    if (m_reader->index().hasFolder(entry)) {
        signature.regularFile = false;
        signature.size = 0;
        return signature;
    }
    return {};
}

InputFile ArchiveFolder::open(const QString &name, qint64 maxBytes)
{
    return InputFile(m_reader->read(entryName(name), maxBytes));
}

std::unique_ptr<Folder> ArchiveFolder::subfolder(const QString &name)
{
    return std::make_unique<ArchiveFolder>(m_reader, entryName(name));
}

bool ArchiveFolder::exists() const
{
    return m_reader->index().hasFolder(m_inner);
}

const std::vector<ArchiveNotice> &ArchiveFolder::notices() const
{
    return m_reader->index().notices();
}

const QString &ArchiveFolder::failure() const
{
    return m_reader->index().failure();
}

bool isFolderInArchive(const QString &path)
{
    const std::optional<ArchivePath> inside = splitArchivePath(path);
    if (!inside)
        return false;
    try {
        const ArchiveFolder folder(inside->archive, inside->inner);
        return folder.failure().isEmpty() && folder.exists();
    } catch (const InputFile::Error &) {
        return false;
    }
}
