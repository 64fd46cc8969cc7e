#include "support/archives.h"

#include <QDir>
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
if path.endswith('.zip'):
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
