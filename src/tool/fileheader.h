#pragma once

#include <QString>

#include <optional>

namespace skintool {

// What the first bytes of a skin file say about it, read without decoding
// it: the kind of content, and for a BMP its bit count, compression and
// whether the file holds as many bytes as its header promises.
struct FileHeader
{
    enum class Content { Unread, Bmp, Png, Jpeg, Gif, Other };
    Content content = Content::Unread;
    int bitCount = 0;
    quint32 compression = 0; // 0: none
    qint64 width = 0;
    qint64 height = 0;   // negative: stored top-down
    qint64 fileBytes = 0;
    qint64 neededBytes = 0; // header and every line, for an uncompressed BMP; 0 otherwise
};

// Reads the header of the file at path with the loader's caution: opened
// without blocking, and only a regular file is read. Content::Unread when
// it cannot be.
FileHeader readHeader(const QString &path);

// Why a file that loads is not a 24-bit uncompressed BMP ("holds PNG
// content", "is a 8-bit BMP", "is an RLE-compressed BMP"), if it is not.
std::optional<QString> formatProblem(const FileHeader &header);

// For a BMP cut short, how many of its lines are missing.
std::optional<qint64> missingLines(const FileHeader &header);

} // namespace skintool
