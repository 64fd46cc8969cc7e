#pragma once

#include "files/error.h"
#include "pictures/picture.h"

#include <QList>
#include <QPainter>
#include <QRegion>
#include <QString>

// A slot's picture that may still be a built-in one (a resource) not yet
// decoded, followed by files read but not yet decoded. Most built-in
// pictures sit on hidden panels or in the hidden selector and are replaced
// before anyone sees them, and the selector previews a remembered skin's
// background while it is still hidden during start-up; so each picture is
// decoded only when the slot is first drawn or asked for. The files' bytes
// are read when they are loaded, so decoding later gives the very picture
// that decoding at once would have: each in turn replaces the picture if it
// decodes and leaves it as it was if not.
class SlotPicture
{
public:
    const Picture &get() const
    {
        // The last file that decodes wins; what came before it is decoded
        // only when none does.
        // The picture is kept from before when no file of the last load (the
        // files from the last one's folder) decodes.
        bool decoded = false;
        bool kept = true;
        const QString lastFolder = m_encoded.isEmpty() ? QString() : folderOf(m_encoded.constLast().path);
        for (auto file = m_encoded.crbegin(); file != m_encoded.crend() && !decoded; ++file) {
            SkipOnFailure()([&] {
                m_picture = DecodePicture(file->bytes);
                m_source = file->path;
                decoded = true;
                kept = folderOf(file->path) != lastFolder;
            });
        }
        if (!m_encoded.isEmpty()) {
            m_kept = kept;
            m_keptFor = kept ? m_encoded.constLast().path : QString();
            m_keptIn = lastFolder;
        }
        m_encoded.clear();
        if (decoded)
            m_builtIn.clear();
        if (!m_builtIn.isEmpty()) {
            m_picture = Picture(m_builtIn);
            m_source.clear();
            m_builtIn.clear();
        }
        return m_picture;
    }

    // The file that the picture shown came from, as it was named when it
    // was loaded; empty for a built-in picture.
    const QString &source() const
    {
        get();
        return m_source;
    }

    // Whether the picture is kept from before: a load into the slot found no
    // file that loads. keptFor() names the last file that is there and does
    // not load, as it was named when it was loaded; it is empty when the
    // load found none of the slot's files.
    bool isKept() const
    {
        get();
        return m_kept;
    }
    QString keptFor() const
    {
        get();
        return m_keptFor;
    }
    // The folder of the load that kept it.
    QString keptIn() const
    {
        get();
        return m_keptIn;
    }

    // A load from folder into the slot found no file that loads: the
    // picture stays, and says so. broken: as for keptFor().
    void keep(const QString &folder, const QString &broken)
    {
        get();
        m_kept = true;
        m_keptFor = broken;
        m_keptIn = folder;
    }

    // Draws the picture unscaled from the top-left corner of area, and the
    // background colour wherever the picture leaves area uncovered or lets
    // it show through. Where an opaque picture covers the area, filling it
    // first would only cost one more pass over the window's pixels.
    void paint(QPainter &painter, const QRect &area, const QColor &background) const
    {
        const Picture &picture = get();
        QRegion uncovered(area);
        if (!picture.hasAlphaChannel())
            uncovered -= QRect(area.topLeft(), picture.size());
        for (const QRect &rect : uncovered)
            painter.fillRect(rect, background);
        painter.drawImage(area.topLeft(), picture);
    }

    // A picture, read from the file at source (empty for none).
    void set(const Picture &picture, const QString &source)
    {
        m_kept = false;
        m_keptFor.clear();
        m_builtIn.clear();
        m_encoded.clear();
        m_picture = picture;
        m_source = source;
    }

    void setBuiltIn(const QString &resource)
    {
        m_kept = false;
        m_keptFor.clear();
        m_picture = Picture();
        m_source.clear();
        m_encoded.clear();
        m_builtIn = resource;
    }

    // The bytes of the picture file at path, decoded when the picture is
    // next needed.
    void setEncoded(const QByteArray &bytes, const QString &path) { m_encoded.append({bytes, path}); }

private:
    static QString folderOf(const QString &path) { return path.section(QLatin1Char('/'), 0, -2); }

    struct EncodedFile
    {
        QByteArray bytes;
        QString path;
    };

    mutable Picture m_picture;
    mutable QString m_source;
    mutable QString m_builtIn;             // the resource still to decode, if any
    mutable QList<EncodedFile> m_encoded;  // files still to decode, in loading order
    mutable bool m_kept = false;           // a load found no file of the slot that loads
    mutable QString m_keptFor;             // the last file found that does not load
    mutable QString m_keptIn;              // the folder of that load
};
