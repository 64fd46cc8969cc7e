#pragma once

#include "forms/color.h"

#include <QListView>

#include <memory>
#include <vector>

class FolderListModel;
class FolderListing;

// The folder list. It shows the path from "/" down to the folder shown,
// each ancestor indented one step further and the folder itself open, then
// that folder's subfolders, and among them, in the same order, the archives
// that open as folders, marked by a zipper on their icon. Double-clicking an entry, or Enter on the
// selected one, makes it the path; a single click only selects.
//
// path() is the absolute, cleaned path of the folder shown. setPath() with
// the text of an existing folder shows it and, if it differs from the
// folder shown, raises change() before it returns; a text that is empty,
// relative or names no folder raises RuntimeError and changes nothing.
// The list starts at the working directory.
//
// A change reads the new folder once; while change() runs, listing() holds
// that listing, so that the handlers of the one change share it instead of
// reading the folder again. Outside a change it is null. The listings keep
// their memory for the next change, so that entering a big folder again
// costs no fresh memory.
class DirListBox : public QListView
{
    Q_OBJECT

public:
    explicit DirListBox(QWidget *parent);

    QString path() const { return m_path; }
    void setPath(const QString &text);
    void setBackColor(Color color);
    const FolderListing *listing() const { return m_listing; }
    // Shows the subfolders of the folder shown as they are now, from a
    // listing of it read for the same event if given; the path and the
    // entry selected stay, and no change() is raised.
    void reread(const FolderListing *listing = nullptr);

    // The entries as shown, for tests: the ancestors and the folder, then
    // its subfolders, each as a full path.
    QStringList entryPaths() const;
    // Those of them that are marked as archives.
    QStringList archivePaths() const;

signals:
    void change();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void enter(const QModelIndex &index);
    void refresh();
    void show(const FolderListing &listing);
    FolderListing &readListing();

    QString m_path;
    FolderListModel *m_model;
    const FolderListing *m_listing = nullptr; // only while change() runs
    // One for each change under way, as a handler may change the path
    // again: the outermost first.
    std::vector<std::unique_ptr<FolderListing>> m_listings;
    std::size_t m_changes = 0; // under way
};
