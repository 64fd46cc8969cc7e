#include "support/saving.h"

#include "support/fixture.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

namespace {

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

} // namespace

QByteArray bmpBytes(QColor color, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return buffer.data();
}

void writeAll(int fd, const QByteArray &bytes)
{
    QCOMPARE(::write(fd, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
}

void save(const QString &path, const QByteArray &bytes, Save how)
{
    switch (how) {
    case Save::InPlace: {
        const int fd = ::open(native(path).constData(), O_WRONLY | O_TRUNC | O_CREAT | O_CLOEXEC, 0644);
        QVERIFY(fd >= 0);
        const qsizetype half = bytes.size() / 2;
        writeAll(fd, bytes.left(half));
        writeAll(fd, bytes.mid(half));
        ::close(fd);
        break;
    }
    case Save::Rename: {
        const QString temporary = path + QStringLiteral(".tmp~");
        QVERIFY(writeRaw(native(temporary), bytes));
        QCOMPARE(::rename(native(temporary).constData(), native(path).constData()), 0);
        break;
    }
    case Save::DeleteThenCreate:
        QCOMPARE(::unlink(native(path).constData()), 0);
        QVERIFY(writeRaw(native(path), bytes));
        break;
    }
}
