#include "forms/dirlistbox.h"

#include "files/archive.h"
#include "files/error.h"
#include "files/filename.h"
#include "files/folderlisting.h"
#include "files/places.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QPainter>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QStyle>
#include <QStyledItemDelegate>

namespace {

constexpr int IndentPixels = 10;

// A folder's icon with a zipper down its middle: an archive, which opens
// as a folder does.
QIcon zipped(const QIcon &folder, QSize size)
{
    QPixmap pixmap = folder.pixmap(size);
    QPainter painter(&pixmap);
    const int x = pixmap.width() / 2 - 1;
    painter.fillRect(x, 0, 2, pixmap.height(), QColor(40, 40, 40));
    for (int y = 1; y < pixmap.height(); y += 3)
        painter.fillRect(x - 1, y, 4, 1, QColor(230, 230, 230));
    return QIcon(pixmap);
}

} // namespace

// "/" and the ancestors down to the folder shown, open, then its
// subfolders and the archives among them. The names stay in one list whose
// memory the next folder reuses.
class FolderListModel : public QAbstractListModel
{
public:
    using QAbstractListModel::QAbstractListModel;

    void show(const QString &path, const FolderListing &listing)
    {
        beginResetModel();
        m_open = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        m_open.prepend(QStringLiteral("/"));
        // The archive that the path passes through, if any, is marked too.
        const auto archive = splitArchivePath(path);
        m_openArchive = archive ? int(archive->archive.count(QLatin1Char('/'))) : -1;
        listing.subfoldersAndArchives(m_subfolders, m_archives);
        endResetModel();
    }

    int openCount() const { return int(m_open.size()); }

    QString pathOf(int row) const
    {
        QString path;
        const int last = std::min(row, openCount() - 1);
        for (int i = 1; i <= last; ++i)
            path += QLatin1Char('/') + m_open[i];
        if (row >= openCount())
            path += QLatin1Char('/') + nameOf(row);
        return path.isEmpty() ? QStringLiteral("/") : path;
    }

    // Each entry one step further in than the one above it; the subfolders
    // one step further in than the folder shown.
    int depthOf(int row) const { return std::min(row, openCount()); }

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : openCount() + int(m_subfolders.size());
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= rowCount())
            return {};
        const bool open = index.row() < openCount();
        if (role == Qt::DisplayRole)
            return displayFileName(nameOf(index.row()));
        const bool archive = open ? index.row() == m_openArchive : m_archives[std::size_t(index.row() - openCount())];
        if (role == Qt::DecorationRole) {
            // Made once: the style builds a new icon on every request.
            if (m_openIcon.isNull()) {
                m_openIcon = QApplication::style()->standardIcon(QStyle::SP_DirOpenIcon);
                m_closedIcon = QApplication::style()->standardIcon(QStyle::SP_DirClosedIcon);
                m_openArchiveIcon = zipped(m_openIcon, QSize(16, 16));
                m_closedArchiveIcon = zipped(m_closedIcon, QSize(16, 16));
            }
            if (archive)
                return open ? m_openArchiveIcon : m_closedArchiveIcon;
            return open ? m_openIcon : m_closedIcon;
        }
        if (role == Qt::ToolTipRole && archive)
            return QStringLiteral("Archive, opened as a folder");
        return {};
    }

    bool isArchive(int row) const
    {
        return row < openCount() ? row == m_openArchive : m_archives.at(std::size_t(row - openCount()));
    }

private:
    QString nameOf(int row) const
    {
        return row < openCount() ? m_open[row] : m_subfolders.at(row - openCount()).toString();
    }

    QStringList m_open{QStringLiteral("/")};
    NameList m_subfolders;
    std::vector<bool> m_archives; // per subfolder: an archive
    int m_openArchive = -1;       // the row of the archive that the path passes through
    mutable QIcon m_openIcon;
    mutable QIcon m_closedIcon;
    mutable QIcon m_openArchiveIcon;
    mutable QIcon m_closedArchiveIcon;
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
    FolderListing &listing = readListing();
    const auto releasing = qScopeGuard([&] { listing.release(); });
    show(listing);
    // A handler may change the path again; the inner change has its own
    // listing, and this one returns when the inner change is over.
    const QScopedValueRollback<const FolderListing *> during(m_listing, &listing);
    const QScopedValueRollback nested(m_changes, m_changes + 1);
    emit change();
}

// The listing for this depth of changes, with the folder shown read into it.
FolderListing &DirListBox::readListing()
{
    if (m_listings.size() <= m_changes)
        m_listings.push_back(std::make_unique<FolderListing>());
    FolderListing &listing = *m_listings[m_changes];
    listing.read(m_path);
    return listing;
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

QStringList DirListBox::archivePaths() const
{
    QStringList paths;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        if (m_model->isArchive(row))
            paths.append(m_model->pathOf(row));
    }
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
    FolderListing &listing = readListing();
    show(listing);
    listing.release();
}

void DirListBox::show(const FolderListing &listing)
{
    m_model->show(m_path, listing);
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
