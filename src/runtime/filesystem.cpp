#include "runtime/filesystem.h"

#include <QDir>
#include <QFile>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>

namespace {

bool isFolder(const QString &path)
{
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

enum class EntryKind { Folder, RegularFile, Other };

EntryKind kindOf(const QByteArray &folder, const dirent *entry)
{
    if (entry->d_type == DT_DIR)
        return EntryKind::Folder;
    if (entry->d_type == DT_REG)
        return EntryKind::RegularFile;
    if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
        return EntryKind::Other;
    // Links and unknown types: look at what they lead to.
    struct stat info;
    const QByteArray path = folder + '/' + entry->d_name;
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

template <class Visit>
bool forEachEntry(const QString &folder, Visit visit)
{
    const QByteArray native = QFile::encodeName(folder);
    std::unique_ptr<DIR, DirCloser> dir(::opendir(native.constData()));
    if (!dir)
        return false;
    while (const dirent *entry = ::readdir(dir.get())) {
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        visit(native, entry);
    }
    return true;
}

} // namespace

std::optional<QString> existingFolder(const QString &text)
{
    QString path = text;
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
        path = QDir::homePath() + path.mid(1);
    if (!path.startsWith(QLatin1Char('/')))
        return std::nullopt;
    path = QDir::cleanPath(path);
    if (!isFolder(path))
        return std::nullopt;
    return path;
}

void sortNamesIgnoringCase(QStringList &names)
{
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int order = a.compare(b, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a < b;
    });
}

FolderListing listFolder(const QString &folder)
{
    FolderListing listing;
    listing.readable = forEachEntry(folder, [&](const QByteArray &native, const dirent *entry) {
        switch (kindOf(native, entry)) {
        case EntryKind::Folder:
            listing.folders.append(QFile::decodeName(entry->d_name));
            break;
        case EntryKind::RegularFile:
            if (entry->d_name[0] != '.')
                listing.files.append(QFile::decodeName(entry->d_name));
            break;
        case EntryKind::Other:
            break;
        }
    });
    sortNamesIgnoringCase(listing.folders);
    sortNamesIgnoringCase(listing.files);
    return listing;
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

QString CaseInsensitiveFolder::resolve(const QString &name)
{
    const QString exact = m_folder + QLatin1Char('/') + name;
    struct stat info;
    if (::lstat(QFile::encodeName(exact).constData(), &info) == 0)
        return exact;
    if (!m_names) {
        m_names.emplace();
        forEachEntry(m_folder, [&](const QByteArray &, const dirent *entry) {
            m_names->append(QFile::decodeName(entry->d_name));
        });
    }
    const QString *best = nullptr;
    for (const QString &candidate : *m_names) {
        if (candidate.compare(name, Qt::CaseInsensitive) == 0
            && (!best || QFile::encodeName(candidate) < QFile::encodeName(*best)))
            best = &candidate;
    }
    if (best)
        return m_folder + QLatin1Char('/') + *best;
    return exact;
}
