#include "support/xsession.h"

#include <QProcess>
#include <QThread>

#include <cstring>

QByteArray run(const QString &program, const QStringList &arguments, Failure failure)
{
    for (int attempt = 0;; ++attempt) {
        QProcess process;
        process.start(program, arguments);
        const bool finished = process.waitForFinished(20000);
        const QByteArray errors = process.readAllStandardError();
        const bool turnedAway = errors.contains("open display") || errors.contains("open X server");
        if (turnedAway && attempt < 3) {
            QThread::msleep(300);
            continue;
        }
        if (failure == Failure::Warn && (!finished || process.exitCode() != 0))
            qWarning("%s %s failed: %s", qPrintable(program), qPrintable(arguments.join(' ')),
                     errors.constData());
        return process.readAllStandardOutput();
    }
}

void xdotool(const QStringList &arguments)
{
    run(QStringLiteral("xdotool"), arguments);
}

QPoint pointerPosition()
{
    // "x:349 y:63 screen:0 window:4194310"
    const QString where = QString::fromLatin1(run(QStringLiteral("xdotool"), {"getmouselocation"}));
    auto field = [&](const char *label) { return where.section(QLatin1String(label), 1).section(' ', 0, 0).toInt(); };
    return {field("x:"), field("y:")};
}

void movePointerTo(QPoint screen)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        const QPoint by = screen - pointerPosition();
        if (by.isNull())
            return;
        xdotool({"mousemove_relative", "--sync", "--", QString::number(by.x()), QString::number(by.y())});
    }
    qWarning("the pointer did not get to %d, %d", screen.x(), screen.y());
}

void clickAt(QPoint point, int repeat)
{
    movePointerTo(PreviewOrigin + point);
    xdotool({"click", "--repeat", QString::number(repeat), "--delay", "60", "1"});
}

QImage screenshot()
{
    return QImage::fromData(run(QStringLiteral("import"), {"-window", "root", "png:-"}), "PNG");
}

QColor screenColor(QPoint point)
{
    return screenshot().pixelColor(PreviewOrigin + point);
}

std::optional<QString> findWindow(const QString &name)
{
    const QByteArray out = run(QStringLiteral("xdotool"),
                               {"search", "--onlyvisible", "--name", "^" + name + "$"}, Failure::Expected);
    const QString id = QString::fromLatin1(out).section(QLatin1Char('\n'), 0, 0).trimmed();
    if (id.isEmpty())
        return std::nullopt;
    return id;
}

Geometry geometryOf(const QString &id)
{
    const QString info = QString::fromLatin1(run(QStringLiteral("xwininfo"), {"-id", id}));
    auto field = [&](const char *label) {
        const int at = info.indexOf(QLatin1String(label));
        return at < 0 ? -1 : info.mid(at + int(strlen(label))).section(QLatin1Char('\n'), 0, 0).trimmed().toInt();
    };
    return {{field("Absolute upper-left X:"), field("Absolute upper-left Y:")},
            {field("Width:"), field("Height:")}};
}

quint64 windowNumber(const QString &id)
{
    return id.trimmed().toULongLong(nullptr, 0);
}

QString frameOf(const QString &id)
{
    QString window = id;
    for (int depth = 0; depth < 8; ++depth) {
        const QString tree = QString::fromLatin1(run(QStringLiteral("xwininfo"), {"-id", window, "-tree"}));
        auto idAfter = [&](const char *label) {
            return tree.section(QLatin1String(label), 1).trimmed().section(' ', 0, 0);
        };
        const QString parent = idAfter("Parent window id:");
        if (parent.isEmpty() || windowNumber(parent) == windowNumber(idAfter("Root window id:")))
            return window;
        window = parent;
    }
    return window;
}

QList<quint64> stackingFromFront()
{
    QList<quint64> windows;
    const QString children = QString::fromLatin1(run(QStringLiteral("xwininfo"), {"-root", "-children"}));
    for (const QString &line : children.split(QLatin1Char('\n'))) {
        const QString first = line.trimmed().section(' ', 0, 0);
        if (first.startsWith(QLatin1String("0x")))
            windows.append(windowNumber(first));
    }
    return windows;
}

bool framesHaveMargins()
{
    return qEnvironmentVariable("SKINPREVIEW_SESSION") == QLatin1String("weston");
}

QString differences(const QImage &actual, const QImage &expected)
{
    if (actual.size() != expected.size())
        return QStringLiteral("sizes differ");
    int count = 0;
    QPoint first;
    for (int y = 0; y < actual.height(); ++y)
        for (int x = 0; x < actual.width(); ++x)
            if (actual.pixel(x, y) != expected.pixel(x, y) && count++ == 0)
                first = QPoint(x, y);
    return count == 0 ? QString()
                      : QStringLiteral("%1 pixels differ, the first at %2, %3").arg(count).arg(first.x()).arg(first.y());
}

bool sameColor(QColor a, QColor b)
{
    return qAbs(a.red() - b.red()) <= 2 && qAbs(a.green() - b.green()) <= 2 && qAbs(a.blue() - b.blue()) <= 2;
}
