#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

struct FolderEntries;

// File access behind the folder list, the file list and picture loading.
// Paths are texts; names reach the file system as their UTF-8 bytes.

// The absolute, cleaned form of a folder text ("~" and "~/..." mean the home
// folder; no trailing "/" but for "/" itself; symbolic links kept as
// written), or nothing when the text is empty, relative or names no folder.
std::optional<QString> existingFolder(const QString &text);

// The subfolders of a folder (hidden ones included), and its regular files
// that are not hidden and whose names match a pattern, each from one pass
// over the folder and sorted ignoring letter case. A folder that cannot be
// listed has none.
QStringList listSubfolders(const QString &folder);
QStringList listFiles(const QString &folder, const QString &pattern);

// Whether a file name matches a wildcard pattern ("*", "?"), ignoring case.
bool matchesPattern(const QString &name, const QString &pattern);

// Looks a name up in a folder the way a file system that ignores letter case
// would: the exact name if it exists, otherwise the entry whose name equals
// it ignoring case (the first in byte order if several do). The folder is
// listed at most once, and only when an exact name is missing.
class CaseInsensitiveFolder
{
public:
    explicit CaseInsensitiveFolder(QString folder);
    ~CaseInsensitiveFolder();

    // The path of the entry for name, or folder + "/" + name if none matches.
    QString resolve(const QString &name);

    // The names of all entries equal to name ignoring letter case, the
    // exact one included, in byte order: more than one means the folder
    // would be ambiguous on a file system that ignores case.
    QStringList matches(const QString &name);

private:
    QString m_folder;
    std::unique_ptr<FolderEntries> m_listing; // listed on first need
};
