#include "forms/filelistbox.h"

#include "files/filename.h"
#include "files/places.h"

#include <QAbstractListModel>

// Holds the names as they are; shows them as a person can read them.
class FileNameModel : public QAbstractListModel
{
public:
    using QAbstractListModel::QAbstractListModel;

    void show(const FolderListing &listing, const QString &pattern)
    {
        beginResetModel();
        listing.files(pattern, m_names);
        endResetModel();
    }

    const NameList &names() const { return m_names; }

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_names.size());
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= rowCount() || (role != Qt::DisplayRole && role != Qt::EditRole))
            return {};
        const QString name = m_names.at(index.row()).toString();
        return role == Qt::DisplayRole ? displayFileName(name) : name;
    }

private:
    NameList m_names;
};

FileListBox::FileListBox(QWidget *parent)
    : QListView(parent), m_path(workingDirectory()), m_model(new FileNameModel(this))
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

QStringList FileListBox::fileNames() const
{
    return m_model->names().toList();
}

void FileListBox::refresh()
{
    m_listing.read(m_path);
    show(m_listing);
    m_listing.release();
}

void FileListBox::show(const FolderListing &listing)
{
    m_model->show(listing, m_pattern);
}
