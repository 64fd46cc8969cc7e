#pragma once

#include "files/places.h" // resolvedFolder(), the FOLDER rule of both programs

#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace skintool {

// Paths here are text as files/filename.h decodes names: arguments and the
// working directory arrive as bytes, and reach the file system again as the
// same bytes, whether or not they are UTF-8.

// The path made absolute against the working directory; ".." is left for
// the file system to follow.
QString absolutePath(const QString &path);

// Makes the folder and any missing parents, like mkdir -p. 0 when it is a
// folder now, else the errno of what failed (EEXIST: something else bears
// the name).
int makeFolders(const QString &folder);

// Removes the folder if it is empty.
void removeEmptyFolder(const QString &folder);

// Whether anything bears the name (a dangling link or a FIFO counts).
bool pathExists(const QString &path);

// The part of a path after its last slash: "skins/x/background.bmp" gives
// "background.bmp".
QString nameOf(const QString &path);

// Why a FOLDER argument cannot be checked or drawn: "no such folder", "not a
// folder", "cannot read the folder: Permission denied"; nothing if it can.
// An archive file is a folder, whether it reads or not (check says why
// not), and so is a folder inside one.
std::optional<QString> folderProblem(const QString &folder);

// Whether a FOLDER argument can be used; if not, says why on standard
// error ("skintool: skins/x: no such folder") and returns false.
bool checkFolderArgument(const QString &folder);

// The skins that FOLDER arguments stand for: each folder itself, or, for a
// collection of archives (a folder on disk that holds no skin file of its
// own but archives), each archive in it, named as the folder is given
// followed by the archive's name, in the order the selector lists them.
// Each is checked as checkFolderArgument checks an argument: one that
// cannot be used, given or in a collection, is named on standard error and
// left out, and allUsable turns false.
QStringList usableSkins(const QStringList &folders, bool &allUsable);

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

// The last component of a FOLDER argument as the file system sees it
// ("skins/Midnight/" gives "Midnight", "a/link/.." the name of the link
// target's parent; "/" gives "root").
QString lastComponent(const QString &folder);

} // namespace skintool
