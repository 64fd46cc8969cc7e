#include "runtime/filelistbox.h"

#include "runtime/filesystem.h"

#include <QDir>

FileListBox::FileListBox(QWidget *parent)
    : QListView(parent), m_path(QDir::currentPath()), m_model(new QStringListModel(this))
{
    setModel(m_model);
    setUniformItemSizes(true);
    setEditTriggers(NoEditTriggers);
    refresh();
}

void FileListBox::setPath(const QString &path, const FolderListing *listing)
{
    m_path = path;
    if (listing && listing->folder() == m_path)
        show(*listing);
    else
        refresh();
}

void FileListBox::setPattern(const QString &pattern)
{
    m_pattern = pattern;
    refresh();
}

void FileListBox::setBackColor(Color color)
{
    QPalette palette = this->palette();
    palette.setColor(QPalette::Base, color.resolve(palette));
    setPalette(palette);
}

void FileListBox::refresh()
{
    show(FolderListing(m_path));
}

void FileListBox::show(const FolderListing &listing)
{
    m_model->setStringList(listing.files(m_pattern));
}
