#include "tool/format.h"

#include <QStringList>

namespace skintool {

namespace {

constexpr int ClassicHeaderBytes = 40;

// "a" or "an" before a number as it is read out: an 8-bit, an 11-bit, an
// 18-bit, an 80-bit, a 1-bit, a 16-bit.
QString withArticle(int number, const QString &rest)
{
    const QString digits = QString::number(number);
    const bool vowel = digits.startsWith(QLatin1Char('8'))
                       || (digits.size() % 3 == 2
                           && (digits.startsWith(QLatin1String("11")) || digits.startsWith(QLatin1String("18"))));
    return QStringLiteral("%1 %2%3").arg(QLatin1String(vowel ? "an" : "a")).arg(number).arg(rest);
}

QString headerName(int bytes)
{
    switch (bytes) {
    case 12:
        return QStringLiteral("the old 12-byte core header");
    case 52:
        return QStringLiteral("a version 2 header (52 bytes)");
    case 56:
        return QStringLiteral("a version 3 header (56 bytes)");
    case 64:
        return QStringLiteral("the extended 64-byte core header");
    case 108:
        return QStringLiteral("a version 4 header (108 bytes)");
    case 124:
        return QStringLiteral("a version 5 header (124 bytes)");
    default:
        return QStringLiteral("a %1-byte header").arg(bytes);
    }
}

QString bmpProblem(const PictureHeader &header)
{
    const bool otherDepth = header.bitCount != 24;
    const bool otherHeader = header.infoBytes != ClassicHeaderBytes;
    QStringList with;
    QString kind = QStringLiteral("BMP");
    switch (header.compression) {
    case 0:
        break;
    case 1:
    case 2:
        kind = QStringLiteral("RLE-compressed BMP");
        break;
    case 3:
    case 6:
        with.append(QStringLiteral("bit fields"));
        break;
    default:
        kind = QStringLiteral("compressed BMP");
        break;
    }
    if (otherHeader)
        with.append(headerName(header.infoBytes));
    QString what = otherDepth ? withArticle(header.bitCount, QStringLiteral("-bit ") + kind)
                              : (kind.startsWith(QLatin1Char('R')) ? QStringLiteral("an ") : QStringLiteral("a ")) + kind;
    if (!with.isEmpty())
        what += QStringLiteral(" with ") + with.join(QLatin1String(" and "));
    // Only the header is amiss: say what it should be.
    if (!otherDepth && header.compression == 0 && !header.alphaMask)
        return QStringLiteral("is %1, not the classic 40-byte one; the picture controls of some older systems "
                              "refuse such headers as \"Invalid picture\"").arg(what);
    QString problem = QStringLiteral("is %1, not a 24-bit uncompressed BMP").arg(what);
    if (header.alphaMask)
        problem += QStringLiteral("; it has an alpha channel, which is ignored");
    return problem;
}

} // namespace

std::optional<QString> formatProblem(const PictureHeader &header)
{
    using Content = PictureHeader::Content;
    switch (header.content) {
    case Content::Empty:
        return std::nullopt;
    case Content::Png:
        return QStringLiteral("holds PNG content, not a 24-bit uncompressed BMP");
    case Content::Jpeg:
        return QStringLiteral("holds JPEG content, not a 24-bit uncompressed BMP");
    case Content::Gif:
        return QStringLiteral("holds GIF content, not a 24-bit uncompressed BMP");
    case Content::Other:
        return QStringLiteral("is not a BMP");
    case Content::Bmp:
        break;
    }
    if (header.bitCount == 24 && header.compression == 0 && header.infoBytes == ClassicHeaderBytes)
        return std::nullopt;
    return bmpProblem(header);
}

QString formatHint(const PictureHeader &header)
{
    const bool palette = header.content == PictureHeader::Content::Bmp && header.bitCount >= 1
                         && header.bitCount <= 8;
    const QString gimp = palette ? QStringLiteral("in GIMP Image ▸ Mode ▸ RGB first (an indexed or greyscale picture is "
                                                  "exported with 8 bits or fewer, whatever is chosen), then the BMP export")
                                 : QStringLiteral("GIMP's BMP export");
    return QStringLiteral("skins are 24-bit uncompressed BMPs with the classic 40-byte header: "
                          "convert IN -alpha off -type TrueColor BMP3:OUT, or %1 with "
                          "\"Do not write color space information\" checked and 24 bits (R8 G8 B8) chosen")
        .arg(gimp);
}

} // namespace skintool
