#pragma once

#include <QByteArray>
#include <QColor>
#include <QSize>
#include <QString>

// Saving a file the ways editors and tools do, for the tests that follow
// files as they change.

// The bytes of a plain-colour, 24-bit uncompressed BMP.
QByteArray bmpBytes(QColor color, QSize size);

// Writes all of bytes at the descriptor's place; a short write fails the test.
void writeAll(int fd, const QByteArray &bytes);

// The ways editors and tools save a picture.
enum class Save {
    InPlace,          // cut to nothing, then written in pieces
    Rename,           // a temporary file renamed over the old one
    DeleteThenCreate, // removed, then made anew
};

void save(const QString &path, const QByteArray &bytes, Save how);
