#include "support/fixture.h"

#include "app/forms.h"
#include "forms/dirlistbox.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QStandardPaths>
#include <QTest>
#include <QWidget>

#include <fcntl.h>
#include <unistd.h>

bool clickFolderEntry(DirListBox &list, const QString &folder, int clicks)
{
    const int row = int(list.entryPaths().indexOf(folder));
    if (row < 0) {
        qWarning("%s is not in the folder list: %s", qPrintable(folder),
                 qPrintable(list.entryPaths().join(QLatin1String(", "))));
        return false;
    }
    const QModelIndex index = list.model()->index(row, 0);
    list.scrollTo(index);
    // A long name runs past the right edge: click where it shows.
    const QRect shown = list.visualRect(index).intersected(list.viewport()->rect());
    if (shown.isEmpty()) {
        qWarning("the entry of %s is not visible", qPrintable(folder));
        return false;
    }
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, shown.center());
    if (clicks > 1)
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, shown.center());
    return true;
}

bool writeRaw(const QByteArray &path, const QByteArray &bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && ok;
}

QByteArray readRaw(const QByteArray &path)
{
    QByteArray bytes;
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return bytes;
    char buffer[65536];
    ssize_t got;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0)
        bytes.append(buffer, got);
    ::close(fd);
    return bytes;
}

QString Fixture::path(const QString &relative) const
{
    return m_temp->filePath(relative);
}

QString Fixture::defaultSkinFolder() const
{
    return dataDir() + QStringLiteral("/tavix/Data/Skins");
}

QString Fixture::makeFolder(const QString &relative) const
{
    const QString folder = path(relative);
    QDir().mkpath(folder);
    return folder;
}

QString Fixture::writeBmp(const QString &relative, QColor color, QSize size) const
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    const QString file = path(relative);
    QDir().mkpath(QFileInfo(file).path());
    if (!image.save(file, "BMP"))
        qFatal("cannot write %s", qPrintable(file));
    return file;
}

QString Fixture::writePatternBmp(const QString &relative, QSize size, int seed) const
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb((x * 7 + seed * 40) & 0xff, (y * 5 + seed * 90) & 0xff, (x * 3 + y * 11) & 0xff));
    const QString file = path(relative);
    QDir().mkpath(QFileInfo(file).path());
    if (!image.save(file, "BMP"))
        qFatal("cannot write %s", qPrintable(file));
    return file;
}

QString Fixture::writeFile(const QString &relative, const QByteArray &bytes) const
{
    const QString file = path(relative);
    QDir().mkpath(QFileInfo(file).path());
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(file));
    return file;
}

QByteArray Fixture::readFile(const QString &relative) const
{
    QFile in(path(relative));
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

QColor Fixture::pixelAt(QWidget &widget, QPoint point)
{
    return widget.grab().toImage().pixelColor(point);
}

void Fixture::init()
{
    m_temp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_temp->isValid());
    QDir().mkpath(workDir());
    QDir().mkpath(dataDir());
    m_previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(workDir()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataDir()));
}

void Fixture::cleanup()
{
    releaseForms();
    QDir::setCurrent(m_previousDir);
    m_temp.reset();
}
