#include "runtime/filesystem.h"

#include <QDir>
#include <QFile>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

bool isFolder(const QString &path)
{
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

enum class EntryKind { Folder, RegularFile, Other };

EntryKind kindOf(const QByteArray &folder, const char *name, unsigned char type)
{
    if (type == DT_DIR)
        return EntryKind::Folder;
    if (type == DT_REG)
        return EntryKind::RegularFile;
    if (type != DT_LNK && type != DT_UNKNOWN)
        return EntryKind::Other;
    // Links and unknown types: look at what they lead to.
    struct stat info;
    const QByteArray path = folder + '/' + name;
    if (::stat(path.constData(), &info) != 0)
        return EntryKind::Other;
    if (S_ISDIR(info.st_mode))
        return EntryKind::Folder;
    return S_ISREG(info.st_mode) ? EntryKind::RegularFile : EntryKind::Other;
}

struct DirCloser
{
    void operator()(DIR *dir) const { ::closedir(dir); }
};

bool isAscii(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

bool isAscii(const char *bytes, std::size_t length)
{
    return std::all_of(bytes, bytes + length, [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char16_t asciiLower(char16_t c)
{
    return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
}

// The same order as QString::compare(..., Qt::CaseInsensitive), which folds
// each character; for ASCII characters that is lower-casing, done here
// without the table look-ups, and Qt decides as soon as one is not ASCII.
int compareIgnoringCase(const QString &a, const QString &b)
{
    const qsizetype common = std::min(a.size(), b.size());
    const QChar *left = a.constData();
    const QChar *right = b.constData();
    for (qsizetype i = 0; i < common; ++i) {
        const char16_t l = left[i].unicode();
        const char16_t r = right[i].unicode();
        if (l >= 0x80 || r >= 0x80)
            return a.compare(b, Qt::CaseInsensitive);
        if (l != r && asciiLower(l) != asciiLower(r))
            return asciiLower(l) < asciiLower(r) ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

} // namespace

// The names of a folder's entries, but "." and "..", from one pass over it:
// kept in one buffer, each followed by a NUL, with the type the pass gave.
struct FolderEntries
{
    QByteArray native;
    QByteArray names;
    struct Entry
    {
        qsizetype offset;
        qsizetype length;
        unsigned char type;
        bool ascii;
    };
    std::vector<Entry> entries;

    const char *name(const Entry &entry) const { return names.constData() + entry.offset; }
};

namespace {

FolderEntries readFolder(const QString &folder)
{
    FolderEntries listing{QFile::encodeName(folder), {}, {}};
    std::unique_ptr<DIR, DirCloser> dir(::opendir(listing.native.constData()));
    if (!dir)
        return listing;
    while (const dirent *entry = ::readdir(dir.get())) {
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        const std::size_t length = std::strlen(name);
        listing.entries.push_back(
            {listing.names.size(), qsizetype(length), entry->d_type, isAscii(name, length)});
        listing.names.append(name, qsizetype(length) + 1);
    }
    return listing;
}

// Sorts names ignoring letter case; names equal but for case in byte order.
void sortNamesIgnoringCase(QStringList &names)
{
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int order = compareIgnoringCase(a, b);
        return order != 0 ? order < 0 : a < b;
    });
}

// Whether an entry's name equals name ignoring letter case, as
// QString::compare(..., Qt::CaseInsensitive) sees it; ASCII names are
// compared without decoding them.
bool equalIgnoringCase(const FolderEntries &listed, const FolderEntries::Entry &entry,
                       const QString &name, bool nameIsAscii)
{
    const char *raw = listed.name(entry);
    if (nameIsAscii && entry.ascii) {
        if (entry.length != name.size())
            return false;
        for (qsizetype i = 0; i < entry.length; ++i) {
            if (asciiLower(char16_t(raw[i])) != asciiLower(name[i].unicode()))
                return false;
        }
        return true;
    }
    return QFile::decodeName(raw).compare(name, Qt::CaseInsensitive) == 0;
}

} // namespace

std::optional<QString> existingFolder(const QString &text)
{
    QString path = text;
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
        path = QDir::homePath() + path.mid(1);
    // A NUL would cut the name short on its way to the file system.
    if (!path.startsWith(QLatin1Char('/')) || path.contains(QChar(0)))
        return std::nullopt;
    path = QDir::cleanPath(path);
    if (!isFolder(path))
        return std::nullopt;
    return path;
}

QStringList listSubfolders(const QString &folder)
{
    const FolderEntries listed = readFolder(folder);
    QStringList names;
    for (const FolderEntries::Entry &entry : listed.entries) {
        const char *name = listed.name(entry);
        if (kindOf(listed.native, name, entry.type) == EntryKind::Folder)
            names.append(QFile::decodeName(name));
    }
    sortNamesIgnoringCase(names);
    return names;
}

QStringList listFiles(const QString &folder, const QString &pattern)
{
    const FolderEntries listed = readFolder(folder);
    QStringList names;
    for (const FolderEntries::Entry &entry : listed.entries) {
        const char *name = listed.name(entry);
        if (name[0] == '.' || kindOf(listed.native, name, entry.type) != EntryKind::RegularFile)
            continue;
        QString decoded = QFile::decodeName(name);
        if (matchesPattern(decoded, pattern))
            names.append(std::move(decoded));
    }
    sortNamesIgnoringCase(names);
    return names;
}

bool matchesPattern(const QString &name, const QString &pattern)
{
    // The common "*.ext" form without a regular expression.
    const QStringView tail = QStringView(pattern).mid(1);
    if (pattern.startsWith(QLatin1Char('*')) && !tail.contains(QLatin1Char('*'))
        && !tail.contains(QLatin1Char('?')) && !tail.contains(QLatin1Char('[')))
        return name.endsWith(tail, Qt::CaseInsensitive);
    return QDir::match(pattern, name); // ignores case
}

CaseInsensitiveFolder::CaseInsensitiveFolder(QString folder) : m_folder(std::move(folder))
{
}

CaseInsensitiveFolder::~CaseInsensitiveFolder() = default;

QString CaseInsensitiveFolder::resolve(const QString &name)
{
    const QString exact = m_folder + QLatin1Char('/') + name;
    struct stat info;
    if (::lstat(QFile::encodeName(exact).constData(), &info) == 0)
        return exact;
    if (!m_listing)
        m_listing = std::make_unique<FolderEntries>(readFolder(m_folder));
    const bool nameIsAscii = isAscii(name);
    const char *best = nullptr;
    for (const FolderEntries::Entry &entry : m_listing->entries) {
        const char *candidate = m_listing->name(entry);
        if (equalIgnoringCase(*m_listing, entry, name, nameIsAscii)
            && (!best || std::strcmp(candidate, best) < 0))
            best = candidate;
    }
    if (best)
        return m_folder + QLatin1Char('/') + QFile::decodeName(best);
    return exact;
}

QStringList CaseInsensitiveFolder::matches(const QString &name)
{
    if (!m_listing)
        m_listing = std::make_unique<FolderEntries>(readFolder(m_folder));
    const bool nameIsAscii = isAscii(name);
    std::vector<const char *> found;
    for (const FolderEntries::Entry &entry : m_listing->entries) {
        if (equalIgnoringCase(*m_listing, entry, name, nameIsAscii))
            found.push_back(m_listing->name(entry));
    }
    std::sort(found.begin(), found.end(), [](const char *a, const char *b) { return std::strcmp(a, b) < 0; });
    QStringList names;
    for (const char *raw : found)
        names.append(QFile::decodeName(raw));
    return names;
}
