#pragma once

#include <QColor>
#include <QObject>
#include <QSize>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class DirListBox;
class QWidget;

// Clicks the folder list's entry for folder as a user would: once, or twice
// (a click, then the double click at the same point, which is what makes a
// list view see a double click). False, with a warning, when the folder has
// no entry that shows.
bool clickFolderEntry(DirListBox &list, const QString &folder, int clicks);

// Writes or reads a whole file named by its bytes, which need not be UTF-8.
bool writeRaw(const QByteArray &path, const QByteArray &bytes);
QByteArray readRaw(const QByteArray &path);

// The base of every test class. Before each test function it makes a fresh
// temporary folder, makes its "work" subfolder the working directory and
// its "data" subfolder the user's data location (where the default skins
// folder lives); afterwards it releases both program-wide windows and
// restores the working directory.
class Fixture : public QObject
{
    Q_OBJECT

protected:
    // A path below the test's temporary folder.
    QString path(const QString &relative) const;
    QString workDir() const { return path(QStringLiteral("work")); }
    QString dataDir() const { return path(QStringLiteral("data")); }
    // The default skins folder as the preview window computes it.
    QString defaultSkinFolder() const;

    // Makes a folder (and its parents) below the temporary folder; returns its path.
    QString makeFolder(const QString &relative) const;
    // Writes a plain-colour, 24-bit uncompressed BMP; returns its path.
    QString writeBmp(const QString &relative, QColor color, QSize size = {16, 16}) const;
    // Writes a 24-bit uncompressed BMP whose neighbouring pixels all differ
    // (a pattern that seed varies), so a picture drawn a pixel off shows.
    QString writePatternBmp(const QString &relative, QSize size, int seed) const;
    QString writeFile(const QString &relative, const QByteArray &bytes) const;
    QByteArray readFile(const QString &relative) const;

    // The colour that a widget shows at a point, as it paints itself.
    static QColor pixelAt(QWidget &widget, QPoint point);

private slots:
    void init();
    void cleanup();

private:
    std::unique_ptr<QTemporaryDir> m_temp;
    QString m_previousDir;
};
