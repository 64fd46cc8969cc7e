#pragma once

#include <QSet>
#include <QString>

namespace skintool {

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
