#pragma once

#include "files/descriptor.h"
#include "files/filesignature.h"
#include "files/inputfile.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <deque>
#include <memory>
#include <optional>
#include <vector>

// Archives read as folders: zip, 7z, RAR and tar (with any compression that
// libarchive reads without starting another program). Nothing is ever
// unpacked to disk: an archive is listed once, and an entry is read into
// memory when it is opened.

// Names the local time zone's file (/etc/localtime) in TZ when TZ is
// unset, so that the C library reads it once rather than looking at it on
// disk again for every time it converts: an archive listing converts each
// entry's time, and a stat call per entry made listing a zip of many
// entries several times slower. TZ, when set, is kept as it is. Call it at
// start-up, before any other thread may read the environment.
void nameLocalTimeZone();

// Whether a file name is one of an archive that the program opens, by its
// ending (letter case ignored): ".zip", ".7z", ".rar", ".tar" and the
// compressed tars (".tar.gz", ".tgz", ...). Parts of a multi-volume set
// (".z01", ".7z.001", ".r00") are not.
bool isArchiveName(const QString &name);
bool isArchiveName(QByteArrayView name);

// Whether path names a regular file (links followed) that isArchiveName
// takes: the predicate that makes a file count as a folder. Whether it
// really reads as an archive shows only when it is opened.
bool isArchiveFile(const QString &path);

// A path that passes through an archive: the archive file on disk, and the
// folder within it ("" for its root, else names joined by "/").
struct ArchivePath
{
    QString archive;
    QString inner;
};

// Splits a cleaned absolute path at the first name that is an archive file
// on disk ("/d/collection.7z/Ember" gives "/d/collection.7z" and "Ember"),
// or nothing when no name on the way is one. Only names that isArchiveName
// takes are looked at on disk.
std::optional<ArchivePath> splitArchivePath(const QString &path);

// An entry's name as a person reads it. Names are kept as the bytes the
// archive stores (files/filename.h), so that they match as the same names
// unpacked to disk would; a zip name without the UTF-8 flag whose bytes are
// not UTF-8 is shown in code page 437, the zip format's own rule.
QString readableArchiveName(const QString &name);

// Something that reading an archive skipped or noticed, for a report: the
// entry's name as stored (backslashes as "/"; empty for the whole archive)
// and the reason in the program's own words.
struct ArchiveNotice
{
    enum class Kind {
        Unreadable,    // the archive, or what follows a fault, could not be read (cut short, corrupt, no archive)
        MultiVolume,   // a part of a multi-volume set: never read
        Encrypted,     // an entry that needs a password: never read
        OutsideFolder, // a name that leads out of the archive ("../x", "/x", "C:\x") or is empty: never used
        Link,          // a symbolic or hard link: never followed
        Special,       // a device, FIFO or socket entry: never used
        Duplicate,     // a name that an earlier entry bears too: the last one counts
        Junk,          // what archivers add (__MACOSX/, ._*, Thumbs.db, desktop.ini): ignored
        NestedArchive, // an archive inside the archive: listed as a file, never opened
    };
    Kind kind;
    QString entry; // as files/filename.h decodes names
    QString reason;
};


// Whether a name is something an archiver or a file manager adds beside a
// skin: "__MACOSX", "._*" resource forks, "Thumbs.db", "desktop.ini",
// ".DS_Store". Skins ignore these wherever they lie, on disk as in archives.
bool isArchiverJunk(QStringView name);
bool isArchiverJunk(QByteArrayView name);

// What an archive holds, read once in one pass over its headers: its
// entries by name, and what the pass noticed. Entries that a skin may read
// are regular files; folders are also implied by the names below them.
class ArchiveIndex
{
public:
    enum class EntryKind { Folder, RegularFile };
    // A regular file.
    struct Entry
    {
        QByteArrayView name; // "/"-separated, no leading "/" or "./", as stored bytes; held by the index
        qint64 size;         // as declared: a limit to check early, never trusted for reading
        int position;        // its place among the headers of the archive
        bool encrypted;
    };

    // Reads the archive through fd (which it does not close), signed as
    // it is now.
    ArchiveIndex(int fd, const FileSignature &signature);
    ArchiveIndex(const ArchiveIndex &) = delete;
    ArchiveIndex &operator=(const ArchiveIndex &) = delete;

    const FileSignature &signature() const { return m_signature; }
    // Why the archive could not be read at all (no archive, a later part of
    // a multi-volume set, ...); empty when it could, even in part.
    const QString &failure() const { return m_failure; }
    const std::vector<ArchiveNotice> &notices() const { return m_notices; }
    // A zip's central directory and what follows it (every entry's name,
    // sizes, CRC and place, from which its index is read), kept while the
    // file may still change unseen (its signature is racy); else empty.
    const QByteArray &zipDirectory() const { return m_zipDirectory; }

    // The entry that counts for a name ("a/b.bmp"), or nullptr.
    const Entry *entry(const QByteArray &name) const;
    // Whether a folder of that name is in the archive ("" is its root).
    bool hasFolder(const QByteArray &name) const;
    // What a folder holds, at one level: visit(name, kind) for each entry in
    // the order the archive lists them, with its name (held by the index)
    // within the folder.
    template <typename Visit>
    void visitChildren(const QByteArray &folder, Visit &&visit) const
    {
        for (const qint32 child : childrenOf(folder)) {
            const QByteArrayView path = child >= 0 ? m_entries[std::size_t(child)].name : m_folderNames[std::size_t(~child)];
            visit(path.sliced(path.lastIndexOf('/') + 1), child >= 0 ? EntryKind::RegularFile : EntryKind::Folder);
        }
    }

private:
    void read(int fd);
    void addFile(QByteArrayView name, qint64 size, int position, bool encrypted);
    qsizetype addFolder(QByteArrayView name);
    qsizetype parentOf(QByteArrayView name);
    QByteArrayView keep(QByteArrayView name);
    qint64 keptNameBytes() const;
    void settleFilesNamedAsFolders();
    void notice(ArchiveNotice::Kind kind, QByteArrayView entry, const QString &reason);
    const std::vector<qint32> &childrenOf(const QByteArray &folder) const;

    FileSignature m_signature;
    QByteArray m_zipDirectory;
    QString m_failure;
    std::vector<ArchiveNotice> m_notices;
    // Every name, each kept once, in blocks that never move: entries,
    // children and both tables view them. Entries too lie in blocks rather
    // than one array. Blocks of this size come from the memory the process
    // has already touched, where one big array would be fresh memory, mapped
    // anew for each archive at the cost of a page fault for every 4 KB.
    static constexpr std::size_t NameBlockBytes = 64 * 1024;
    std::vector<std::unique_ptr<char[]>> m_nameBlocks;
    char *m_nameFree = nullptr; // in the last block
    std::size_t m_nameBlockLeft = 0;
    std::deque<Entry> m_entries;
    QHash<QByteArrayView, qsizetype> m_byName;  // into m_entries, the last one of a name
    QHash<QByteArrayView, qsizetype> m_folders; // every folder, the root as "": into the two below
    std::vector<QByteArrayView> m_folderNames;
    // What each folder holds: a file as its place in m_entries, a folder as
    // ~its place in m_folderNames. Four bytes each, as a big archive has
    // many: memory that a listing touches for the first time costs a page
    // fault for every few thousand bytes.
    std::vector<std::vector<qint32>> m_children;
    // The folder that the last entry lay in: an archive lists a folder's
    // entries mostly together, and a big one is thus looked up once.
    QByteArrayView m_lastParent;
    qsizetype m_lastParentIndex = 0;
};

// An archive file opened for reading its entries: the file stays open as
// long as this lives, so that every entry comes from the same archive even
// if the file is replaced meanwhile. Entries are read by moving forward
// through the archive; going back opens it anew.
class ArchiveReader
{
public:
    // Opens the archive; raises InputFile::Error when the file cannot be
    // opened. An index read a moment ago from the same, unchanged file is
    // shared rather than read again.
    explicit ArchiveReader(const QString &archive);
    ~ArchiveReader();
    ArchiveReader(const ArchiveReader &) = delete;
    ArchiveReader &operator=(const ArchiveReader &) = delete;

    const QString &path() const { return m_path; }
    const ArchiveIndex &index() const { return *m_index; }
    // The same, to keep beyond the reader's life.
    std::shared_ptr<const ArchiveIndex> sharedIndex() const { return m_index; }

    // The entry's bytes, of at most maxBytes (-1: any size); at most
    // maxBytes + 1 are ever inflated. Raises InputFile::Error: NotFound,
    // Folder, TooLarge, Encrypted, Damaged.
    QByteArray read(const QByteArray &name, qint64 maxBytes);

    // The bytes that read() inflated so far, all entries together.
    qint64 inflatedBytes() const { return m_inflated; }

private:
    struct Reader;
    void rewind();

    QString m_path;
    FileDescriptor m_fd;
    std::shared_ptr<const ArchiveIndex> m_index;
    std::unique_ptr<Reader> m_reader; // positioned after some header, or none yet
    qint64 m_inflated = 0;
};
