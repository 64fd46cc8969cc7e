#include "support/archives.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace {

// Reads members from standard input, one per line: type, name and bytes in
// hex, and writes the archive named by its first argument.
const char *const Writer = R"(
import io, sys, tarfile, time, zipfile
path, raw_names = sys.argv[1], sys.argv[2] == 'raw'
members = []
for line in sys.stdin.read().split('\n'):
    if line:
        kind, name, data = line.split(' ')
        members.append((kind, bytes.fromhex(name), bytes.fromhex(data)))
def rar5(path, members):
    # A RAR 5 archive whose entries are stored, as the format describes it:
    # no free tool writes RAR, and a stored entry is all a test here needs.
    import struct, zlib
    def vint(n):
        out = bytearray()
        while True:
            low, n = n & 0x7f, n >> 7
            out.append(low | (0x80 if n else 0))
            if not n:
                return bytes(out)
    def block(body, data=b''):
        size = vint(len(body))
        return struct.pack('<I', zlib.crc32(size + body)) + size + body + data
    out = bytearray(b'Rar!\x1a\x07\x01\x00') + block(vint(1) + vint(0) + vint(0))
    for kind, name, data in members:
        if kind in ('symlink', 'hardlink'):
            continue
        folder = kind == 'folder'
        body = vint(2) + vint(0x0002) + vint(len(data))        # a file block with a data area
        body += vint(0x0001 if folder else 0x0004)             # a folder, or a file with its CRC
        body += vint(len(data)) + vint(0o40755 if folder else 0o100644)
        if not folder:
            body += struct.pack('<I', zlib.crc32(data))
        body += vint(0) + vint(1) + vint(len(name)) + name   # stored; made on Unix
        out += block(body, data)
    out += block(vint(5) + vint(0) + vint(0))
    open(path, 'wb').write(out)

if path.endswith('.rar'):
    rar5(path, members)
elif path.endswith('.zip'):
    class RawInfo(zipfile.ZipInfo):
        def _encodeFilenameFlags(self):
            return self.raw_name, self.flag_bits
    with zipfile.ZipFile(path, 'w', zipfile.ZIP_DEFLATED) as z:
        for kind, name, data in members:
            if raw_names:
                info = RawInfo(name.decode('latin-1'))
                info.raw_name = name
            else:
                info = zipfile.ZipInfo(name.decode('utf-8', 'surrogateescape'))
            info.compress_type = zipfile.ZIP_DEFLATED
            if kind == 'folder':
                info.external_attr = (0o40755 << 16) | 0x10
            elif kind == 'symlink':
                info.external_attr = 0o120777 << 16
            else:
                info.external_attr = 0o100644 << 16
            info.create_system = 3
            z.writestr(info, data)
else:
    with tarfile.open(path, 'w:gz' if path.endswith('.gz') else 'w', format=tarfile.PAX_FORMAT) as t:
        for kind, name, data in members:
            info = tarfile.TarInfo(name.decode('utf-8', 'surrogateescape'))
            info.mtime = time.time()
            if kind == 'folder':
                info.type = tarfile.DIRTYPE
            elif kind == 'symlink':
                info.type, info.linkname = tarfile.SYMTYPE, data.decode()
            elif kind == 'hardlink':
                info.type, info.linkname = tarfile.LNKTYPE, data.decode()
            else:
                info.size = len(data)
            t.addfile(info, io.BytesIO(data) if kind == 'file' else None)
)";

bool run(const QString &program, const QStringList &arguments, const QString &workingDirectory,
         const QByteArray &input = {})
{
    QProcess process;
    process.setWorkingDirectory(workingDirectory);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning("%s failed: %s", qPrintable(program), process.readAll().constData());
        return false;
    }
    return true;
}

} // namespace

bool writeArchive(const QString &path, const QList<ArchiveMember> &members, ZipNames names)
{
    QByteArray input;
    for (const ArchiveMember &member : members) {
        const char *kind = member.type == ArchiveMember::Type::Folder    ? "folder"
                           : member.type == ArchiveMember::Type::Symlink  ? "symlink"
                           : member.type == ArchiveMember::Type::Hardlink ? "hardlink"
                                                                          : "file";
        input += QByteArray(kind) + ' ' + member.name.toHex() + ' ' + member.bytes.toHex() + '\n';
    }
    return run(QStringLiteral("python3"),
               {QStringLiteral("-c"), QString::fromUtf8(Writer), path,
                names == ZipNames::RawBytes ? QStringLiteral("raw") : QStringLiteral("flagged")},
               QDir::currentPath(), input);
}

bool packFolder(const QString &folder, const QString &archive, const QStringList &extraArguments)
{
    if (archive.endsWith(QLatin1String(".rar"))) {
        QList<ArchiveMember> members;
        QDirIterator entries(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
        while (entries.hasNext()) {
            const QFileInfo entry(entries.next());
            const QByteArray name = QDir(folder).relativeFilePath(entry.filePath()).toUtf8();
            if (entry.isDir()) {
                members.append({name, {}, ArchiveMember::Type::Folder});
            } else {
                QFile file(entry.filePath());
                if (!file.open(QIODevice::ReadOnly))
                    return false;
                members.append({name, file.readAll(), ArchiveMember::Type::File});
            }
        }
        return writeArchive(QFileInfo(archive).absoluteFilePath(), members);
    }
    const QString target = QFileInfo(archive).absoluteFilePath();
    const QStringList entries = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    if (archive.endsWith(QLatin1String(".zip")))
        return run(QStringLiteral("zip"), QStringList{QStringLiteral("-qr")} + extraArguments + QStringList{target} + entries,
                   folder);
    if (archive.endsWith(QLatin1String(".7z")))
        return run(QStringLiteral("7z"), QStringList{QStringLiteral("a"), QStringLiteral("-bd")} + extraArguments
                                             + QStringList{target} + entries,
                   folder);
    return run(QStringLiteral("bsdtar"), QStringList{QStringLiteral("-a"), QStringLiteral("-cf"), target} + extraArguments + entries,
               folder);
}
