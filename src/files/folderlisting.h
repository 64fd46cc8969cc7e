#pragma once

#include "files/filesignature.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <span>
#include <vector>

// What a folder on disk holds, as the folder list, the file list and the
// letter-case look-up need it. Paths are texts holding names as
// files/filename.h decodes them, so that every name reaches the file system
// as the exact bytes it was read as.

// Names kept in one block of text that filling anew reuses: a list that
// shows a big folder again and again keeps its memory instead of asking
// the system for fresh pages at every change.
class NameList
{
public:
    qsizetype size() const { return qsizetype(m_ends.size()); }
    bool isEmpty() const { return m_ends.empty(); }
    QStringView at(qsizetype index) const;
    QStringList toList() const;

    // Empties the list, keeping its memory.
    void clear();
    void append(QStringView name);
    void appendLatin1(const char *name, qsizetype length);

private:
    std::vector<char16_t> m_text;
    std::vector<qsizetype> m_ends; // where each name ends in m_text
};

// One pass over a folder: the names of its entries but "." and "..", with
// the types the pass gave. A folder change reads its folder once and hands
// the listing to everything that this one change does with the folder; it
// is never kept beyond that, so every later event reads the folder anew.
// A folder that cannot be listed has no entries. A listing can read another
// folder in place of the one it holds, reusing its memory.
class ArchiveIndex;
struct ArchivePath;

class FolderListing
{
public:
    // Reads the folder at that path: on disk, or inside an archive.
    explicit FolderListing(const QString &folder);
    // Holds no folder until read() is called.
    FolderListing();
    // Reads the folder at that path in place of the one held. A folder
    // inside an archive has the archive file's signature.
    void read(const QString &folder);
    // Lets the folder go and holds no entries, keeping the memory for the
    // next read.
    void release();

    // What an entry of a folder is.
    enum class EntryKind { Folder, RegularFile, Other };
    struct ListedEntry
    {
        QByteArrayView name;
        EntryKind kind;
    };
    // The listing of a folder that is not on disk (one inside an archive,
    // say): its entries as given, each name as its bytes.
    FolderListing(QString folder, std::span<const ListedEntry> entries);
    // The listing of a folder inside an archive (inner: "" for its root), as
    // the archive's index holds it.
    FolderListing(QString folder, const ArchiveIndex &index, const QByteArray &inner);

    ~FolderListing();
    FolderListing(const FolderListing &) = delete;
    FolderListing &operator=(const FolderListing &) = delete;

    const QString &folder() const { return m_folder; }
    // The index of the archive that a folder inside one was listed from,
    // kept while the listing holds the folder; null for a folder on disk.
    const ArchiveIndex *archiveIndex() const { return m_archiveIndex.get(); }
    // The folder as it was just before it was read: a folder's modification
    // time moves whenever an entry is made, removed or renamed in it.
    const FileSignature &signature() const { return m_signature; }

    // The subfolders (hidden ones included), and the regular files that are
    // not hidden and whose names match a pattern; each sorted ignoring
    // letter case, names equal but for case in byte order.
    QStringList subfolders() const;
    QStringList files(const QString &pattern) const;
    // The same, filled into a list whose memory is reused.
    void subfolders(NameList &into) const;
    void files(const QString &pattern, NameList &into) const;
    // The subfolders together with the archives that open as folders
    // (files/archive.h: isArchiveName, regular files that are not hidden),
    // sorted as subfolders() sorts; isArchive tells them apart, name by
    // name. Only a folder on disk holds such archives: an archive inside an
    // archive is not opened.
    void subfoldersAndArchives(NameList &into, std::vector<bool> &isArchive) const;
    // The one subfolder, archiver junk (files/archive.h: isArchiverJunk)
    // passed over, or nothing when there is none or more than one; unsorted,
    // so a big folder costs one look at each entry.
    std::optional<QString> onlySubfolder() const;

    // The name of the entry that equals name ignoring letter case, the
    // first in byte order if several do.
    std::optional<QString> nameIgnoringCase(const QString &name) const;
    // All names that equal name ignoring letter case, in byte order.
    QStringList namesIgnoringCase(const QString &name) const;
    // Whether any entry's name equals one of names ignoring letter case: one
    // pass over a big folder rather than one for each name.
    bool holdsAnyIgnoringCase(const QStringList &names) const;

private:
    enum class Kind : unsigned char { Unknown, Folder, RegularFile, Other };
    struct Entry
    {
        qsizetype offset; // into m_names, where each name ends in a NUL
        qsizetype length;
        mutable Kind kind; // Unknown until looked up, for links and where the pass gave no type
        bool ascii;
    };

    void close();
    void readArchive(const ArchivePath &inside);
    void appendArchived(const ArchiveIndex &index, const QByteArray &inner);
    void append(const char *name, qsizetype length, Kind kind);
    const char *name(const Entry &entry) const { return m_names.data() + entry.offset; }
    Kind kindOf(const Entry &entry) const;
    void sort(NameList &into) const;
    bool equalIgnoringCase(const Entry &entry, const QString &name, bool nameIsAscii) const;

    QString m_folder;
    FileSignature m_signature;
    std::shared_ptr<const ArchiveIndex> m_archiveIndex;
    int m_fd = -1; // the folder, open while the listing lives, to look entries up in
    std::vector<char> m_names;
    std::vector<Entry> m_entries;

    // What sorting needs for a moment, kept for the next sort.
    struct SortKey;
    mutable std::vector<const Entry *> m_picked;
    mutable std::vector<SortKey> m_keys;
    mutable std::vector<QString> m_texts; // of the picked names that are not ASCII
};

// Whether a file name matches a wildcard pattern ("*", "?"), ignoring case.
bool matchesPattern(const QString &name, const QString &pattern);
