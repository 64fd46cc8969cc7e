#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// File access behind the folder list, the file list and picture loading.
// Paths are texts; names reach the file system as their UTF-8 bytes.

// The absolute, cleaned form of a folder text ("~" and "~/..." mean the home
// folder; no trailing "/" but for "/" itself; symbolic links kept as
// written), or nothing when the text is empty, relative or names no folder.
std::optional<QString> existingFolder(const QString &text);

struct FolderListing
{
    bool readable = false;
    QStringList folders; // subfolders, hidden ones included
    QStringList files;   // regular files that are not hidden
};

// One pass over a folder; names are sorted ignoring letter case.
FolderListing listFolder(const QString &folder);

// Sorts names ignoring letter case; names equal but for case in byte order.
void sortNamesIgnoringCase(QStringList &names);

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

    // The path of the entry for name, or folder + "/" + name if none matches.
    QString resolve(const QString &name);

private:
    QString m_folder;
    std::optional<QStringList> m_names; // listed on first need
};
