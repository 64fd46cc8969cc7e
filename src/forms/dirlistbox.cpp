#include "forms/dirlistbox.h"

#include "files/error.h"
#include "files/filename.h"
#include "files/folderlisting.h"
#include "files/places.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QStyle>
#include <QStyledItemDelegate>

namespace {

constexpr int IndentPixels = 10;

struct FolderEntry
{
    QString name;
    int depth;
    bool open; // "/" and the ancestors down to the folder shown
};

} // namespace

class FolderListModel : public QAbstractListModel
{
public:
    using QAbstractListModel::QAbstractListModel;

    void show(const QString &path, const QStringList &subfolders)
    {
        beginResetModel();
        m_entries.clear();
        m_entries.reserve(std::size_t(subfolders.size()) + 16);
        m_entries.push_back({QStringLiteral("/"), 0, true});
        const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        for (const QString &part : parts)
            m_entries.push_back({part, int(m_entries.size()), true});
        m_openCount = int(m_entries.size());
        for (const QString &name : subfolders)
            m_entries.push_back({name, m_openCount, false});
        endResetModel();
    }

    int openCount() const { return m_openCount; }

    QString pathOf(int row) const
    {
        QString path;
        const int last = row < m_openCount ? row : m_openCount - 1;
        for (int i = 1; i <= last; ++i)
            path += QLatin1Char('/') + m_entries[i].name;
        if (row >= m_openCount)
            path += QLatin1Char('/') + m_entries[row].name;
        return path.isEmpty() ? QStringLiteral("/") : path;
    }

    int depthOf(int row) const { return m_entries[row].depth; }

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_entries.size());
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= int(m_entries.size()))
            return {};
        const FolderEntry &entry = m_entries[index.row()];
        if (role == Qt::DisplayRole)
            return displayFileName(entry.name);
        if (role == Qt::DecorationRole) {
            // Made once: the style builds a new icon on every request.
            if (m_openIcon.isNull()) {
                m_openIcon = QApplication::style()->standardIcon(QStyle::SP_DirOpenIcon);
                m_closedIcon = QApplication::style()->standardIcon(QStyle::SP_DirClosedIcon);
            }
            return entry.open ? m_openIcon : m_closedIcon;
        }
        return {};
    }

private:
    std::vector<FolderEntry> m_entries;
    int m_openCount = 1;
    mutable QIcon m_openIcon;
    mutable QIcon m_closedIcon;
};

namespace {

// Indents each entry by its depth in the path.
class IndentDelegate : public QStyledItemDelegate
{
public:
    IndentDelegate(FolderListModel *model, QObject *parent)
        : QStyledItemDelegate(parent), m_model(model)
    {
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem indented = option;
        indented.rect.adjust(m_model->depthOf(index.row()) * IndentPixels, 0, 0, 0);
        QStyledItemDelegate::paint(painter, indented, index);
    }

private:
    FolderListModel *m_model;
};

} // namespace

DirListBox::DirListBox(QWidget *parent)
    : QListView(parent), m_path(QDir::cleanPath(workingDirectory())), m_model(new FolderListModel(this))
{
    setModel(m_model);
    setItemDelegate(new IndentDelegate(m_model, this));
    setUniformItemSizes(true);
    setEditTriggers(NoEditTriggers);
    setIconSize(QSize(16, 16));
    connect(this, &QListView::doubleClicked, this, &DirListBox::enter);
    refresh();
}

void DirListBox::setPath(const QString &text)
{
    const std::optional<QString> folder = existingFolder(text);
    if (!folder)
        throw RuntimeError("path not found");
    if (*folder == m_path)
        return;
    m_path = *folder;
    const FolderListing listing(m_path);
    show(listing);
    // A handler may change the path again; the inner change has its own
    // listing, and this one returns when the inner change is over.
    const QScopedValueRollback during(m_listing, &listing);
    emit change();
}

void DirListBox::setBackColor(Color color)
{
    QPalette palette = this->palette();
    palette.setColor(QPalette::Base, color.resolve(palette));
    setPalette(palette);
}

QStringList DirListBox::entryPaths() const
{
    QStringList paths;
    for (int row = 0; row < m_model->rowCount(); ++row)
        paths.append(m_model->pathOf(row));
    return paths;
}

void DirListBox::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentIndex().isValid()) {
        enter(currentIndex());
        return;
    }
    QListView::keyPressEvent(event);
}

void DirListBox::enter(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    // A folder that vanished since it was listed is refused; the list then
    // shows what is there now.
    const QString target = m_model->pathOf(index.row());
    SkipOnFailure()([&] { setPath(target); });
    if (m_path != target)
        refresh();
}

void DirListBox::reread(const FolderListing *listing)
{
    const QString selected = currentIndex().isValid() ? m_model->pathOf(currentIndex().row()) : QString();
    if (listing)
        show(*listing);
    else
        refresh();
    const int row = int(entryPaths().indexOf(selected));
    if (row >= 0 && row != currentIndex().row())
        setCurrentIndex(m_model->index(row));
}

void DirListBox::refresh()
{
    show(FolderListing(m_path));
}

void DirListBox::show(const FolderListing &listing)
{
    m_model->show(m_path, listing.subfolders());
    const QModelIndex current = m_model->index(m_model->openCount() - 1);
    setCurrentIndex(current);
    // Scrolling lays the list out; a hidden list (the selector during
    // start-up) does that when it is shown.
    if (isVisible())
        scrollTo(current);
}

void DirListBox::showEvent(QShowEvent *event)
{
    QListView::showEvent(event);
    scrollTo(currentIndex());
}
