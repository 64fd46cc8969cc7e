#include "forms/filelistbox.h"

#include "files/filename.h"
#include "files/folderlisting.h"
#include "files/places.h"

namespace {

// Holds the names as they are; shows them as a person can read them.
class FileNameModel : public QStringListModel
{
public:
    using QStringListModel::QStringListModel;

    QVariant data(const QModelIndex &index, int role) const override
    {
        const QVariant value = QStringListModel::data(index, role);
        if (role != Qt::DisplayRole || !value.isValid())
            return value;
        return displayFileName(value.toString());
    }
};

} // namespace

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

void FileListBox::refresh()
{
    show(FolderListing(m_path));
}

void FileListBox::show(const FolderListing &listing)
{
    m_model->setStringList(listing.files(m_pattern));
}
