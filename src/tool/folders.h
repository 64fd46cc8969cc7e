#pragma once

#include <QSet>
#include <QString>

namespace skintool {

// Paths here are text as runtime/filename.h decodes names: arguments and the
// working directory arrive as bytes, and reach the file system again as the
// same bytes, whether or not they are UTF-8.

// The path made absolute against the working directory; ".." is left for
// the file system to follow.
QString absolutePath(const QString &path);

// Makes the folder and any missing parents, like mkdir -p. False if it
// cannot (and it is not a folder already).
bool makeFolders(const QString &folder);

// Removes the folder if it is empty.
void removeEmptyFolder(const QString &folder);

// Whether anything bears the name (a dangling link or a FIFO counts).
bool pathExists(const QString &path);

// The part of a path after its last slash: "skins/x/background.bmp" gives
// "background.bmp".
QString nameOf(const QString &path);

// Whether a FOLDER argument names a folder; if not, says so on standard
// error ("skintool: skins/x: no such folder") and returns false.
bool checkFolderArgument(const QString &folder);

// The names of the subfolders that render writes, one per skin: the
// folder's last component, and for a name taken already in this run the
// first free of "name-2", "name-3" and so on.
class OutputNames
{
public:
    QString take(const QString &folder);

private:
    QSet<QString> m_taken;
};

// The last component of a folder argument as given ("skins/Midnight/" gives
// "Midnight"), for names in the contact sheet and output folders.
QString lastComponent(const QString &folder);

} // namespace skintool
