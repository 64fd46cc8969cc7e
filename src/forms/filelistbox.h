#pragma once

#include "forms/color.h"

#include "files/folderlisting.h"

#include <QListView>

class FileNameModel;

// The file list: the regular, non-hidden files of its folder whose names
// match the pattern (letter case ignored), sorted by name ignoring case.
// A folder that cannot be listed shows an empty list. Selecting changes
// nothing. It starts at the working directory. The names keep their memory
// for the next folder, so that showing a big folder again costs no fresh
// memory.
class FileListBox : public QListView
{
    Q_OBJECT

public:
    explicit FileListBox(QWidget *parent);

    QString path() const { return m_path; }
    // With a listing of the same folder read for the same event, the list
    // is filled from it; otherwise the folder is read anew.
    void setPath(const QString &path, const FolderListing *listing = nullptr);
    QString pattern() const { return m_pattern; }
    void setPattern(const QString &pattern);
    void setBackColor(Color color);

    QStringList fileNames() const;

private:
    void refresh();
    void show(const FolderListing &listing);

    QString m_path;
    QString m_pattern = QStringLiteral("*");
    FileNameModel *m_model;
    FolderListing m_listing; // read when no listing is given
};
