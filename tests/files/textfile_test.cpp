#include "support/child.h"
#include "support/fixture.h"

#include "files/error.h"
#include "files/filename.h"
#include "files/filereplacement.h"
#include "files/textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <functional>
#include <optional>

// Two system calls of the code under test pass through these first: the
// test program's own fsync and fchmod stand in for the C library's, and a
// case sets what runs before the call.
std::function<void(int fd)> beforeFsync;
std::function<void(int fd)> beforeFchmod;

extern "C" int fsync(int fd)
{
    if (beforeFsync)
        beforeFsync(fd);
    return int(::syscall(SYS_fsync, fd));
}

extern "C" int fchmod(int fd, mode_t mode) noexcept
{
    if (beforeFchmod)
        beforeFchmod(fd);
    return int(::syscall(SYS_fchmod, fd, mode));
}

// Who owns a file or folder, and its permission bits.
struct Ownership
{
    uid_t uid = 0;
    gid_t gid = 0;
    mode_t mode = 0;
};
Q_DECLARE_METATYPE(Ownership)

// The user a write runs as, and the umask it runs under.
struct Writer
{
    uid_t uid = 0;
    gid_t gid = 0;
    QList<gid_t> groups;
    mode_t umask = 022;
};
Q_DECLARE_METATYPE(Writer)

namespace {

const QString LastPath = QStringLiteral("lastpath.skin");
const QByteArray LastPathBytes = "lastpath.skin";

// What a case that needs a private mount namespace reports when it cannot
// have one.
const QString NoNamespace = QStringLiteral("needs root: ");

void skipIfNotIsolated(const QString &problems)
{
    if (problems.startsWith(NoNamespace) && ::geteuid() != 0)
        QSKIP(qPrintable(problems));
}

// A line of "lastpath.skin" of the given length, CR LF included.
QByteArray lineOf(int bytes, char letter)
{
    return '/' + QByteArray(bytes - 3, letter) + "\r\n";
}

// Fills the file system of the working directory with a file "filler"
// until exactly the pages given are left. Empty on success.
QString fillLeaving(int pages)
{
    const int fd = ::open("filler", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return QStringLiteral("cannot make the filler");
    const long page = ::sysconf(_SC_PAGESIZE);
    const QByteArray block(int(page), 'f');
    off_t size = 0;
    while (::write(fd, block.constData(), size_t(block.size())) == block.size())
        size += page;
    const bool cut = ::ftruncate(fd, size - pages * page) == 0;
    ::close(fd);
    struct statvfs space;
    if (!cut || ::statvfs(".", &space) != 0 || qint64(space.f_bavail) * qint64(space.f_bsize) != pages * page)
        return QStringLiteral("cannot leave %1 pages free").arg(pages);
    return {};
}

// Bytes this process has read from files so far.
std::optional<qint64> bytesReadSoFar()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return std::nullopt;
    for (const QByteArray &line : io.readAll().split('\n')) {
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    }
    return std::nullopt;
}

// Writes "lastpath.skin" in the working directory the way the selector does
// on closing: three steps, each dropped if it fails. Returns whether any
// failed, and the system's error of the first failure.
bool writeUnderSkipOnFailure(const QString &text, int *systemError = nullptr)
{
    bool failed = false;
    auto step = [&](auto run) {
        SkipOnFailure()([&] {
            try {
                run();
            } catch (const RuntimeError &error) {
                if (!failed && systemError)
                    *systemError = error.systemError();
                failed = true;
                throw;
            }
        });
    };
    TextFile file;
    step([&] { file.openForOutput(LastPath); });
    step([&] { file.writeLine(text); });
    step([&] { file.close(); });
    return failed;
}

// Replaces the file of that name with the content through FileReplacement,
// as skintool writes its pictures. Empty on success, else the reason.
QString replace(const QByteArray &name, const QByteArray &content)
{
    try {
        FileReplacement file(name);
        file.commit(content);
    } catch (const RuntimeError &error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

// The same written in pieces (about a page each), as skintool writes a
// contact sheet while it compresses it; false with the errno of the
// failure, true when it is in place.
bool replaceInPieces(const QByteArray &name, const QByteArray &content, int *systemError)
{
    try {
        FileReplacement file(name);
        for (qsizetype at = 0; at < content.size(); at += 4000)
            file.append(QByteArrayView(content).sliced(at, std::min<qsizetype>(4000, content.size() - at)));
        file.commit();
    } catch (const RuntimeError &error) {
        *systemError = error.systemError();
        return false;
    }
    return true;
}

QStringList entriesOf(const QString &folder)
{
    QStringList entries = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    entries.sort();
    return entries;
}

// An access ACL in the kernel's extended-attribute form: the owner, the
// owning group, the others, and one more user (1005) with a mask.
QByteArray accessAcl()
{
    struct Entry
    {
        quint16 tag;
        quint16 permissions;
        quint32 id;
    };
    constexpr quint32 Undefined = 0xffffffff;
    const Entry entries[] = {{0x01, 6, Undefined}, {0x02, 6, 1005}, {0x04, 4, Undefined},
                             {0x10, 6, Undefined}, {0x20, 4, Undefined}};
    const quint32 version = 2;
    QByteArray acl(reinterpret_cast<const char *>(&version), sizeof version);
    acl.append(reinterpret_cast<const char *>(entries), sizeof entries);
    return acl;
}

QByteArray attribute(const QByteArray &path, const char *name)
{
    char value[1024];
    const ssize_t size = ::getxattr(path.constData(), name, value, sizeof value);
    return size < 0 ? QByteArray() : QByteArray(value, size);
}

// What "lastpath.skin" held when a signal's handler ran: recorded by the
// handler itself, with async-signal-safe calls only.
char contentAtSignal[64 * 1024];
volatile sig_atomic_t bytesAtSignal = -1;

extern "C" void recordContentAtSignal(int)
{
    const int fd = ::open("lastpath.skin", O_RDONLY | O_CLOEXEC);
    ssize_t total = 0;
    for (ssize_t got = 1; fd >= 0 && got > 0 && total < ssize_t(sizeof contentAtSignal); total += got)
        got = ::read(fd, contentAtSignal + total, sizeof contentAtSignal - size_t(total));
    if (fd >= 0)
        ::close(fd);
    bytesAtSignal = fd < 0 ? -2 : sig_atomic_t(total);
}

} // namespace

class TextFileTest : public Fixture
{
    Q_OBJECT

private slots:
    void readFirstLine_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<bool>("reads");
        QTest::addColumn<QString>("line");

        const QByteArray atBound(TextFile::MaxLineBytes, 'a');
        const QByteArray overBound(TextFile::MaxLineBytes + 1, 'a');

        QTest::newRow("two lines") << true << QByteArray("/first/folder\r\n/second\r\n") << true << true
                                   << "/first/folder";
        QTest::newRow("one line without line end") << true << QByteArray("/only") << true << true << "/only";
        QTest::newRow("CR LF only") << true << QByteArray("\r\n") << true << true << "";
        QTest::newRow("lines ending in LF alone") << true << QByteArray("/a\n/b\n") << true << true << "/a\n/b\n";
        QTest::newRow("lone CR then text") << true << QByteArray("\rtext\r\n") << true << true << "";
        QTest::newRow("CR CR") << true << QByteArray("/x\r\r\n") << true << true << "/x";
        QTest::newRow("spaces kept") << true << QByteArray(" /a b \r\n") << true << true << " /a b ";
        QTest::newRow("line at the bound") << true << atBound + "\r\n" << true << true << QString::fromLatin1(atBound);
        QTest::newRow("line over the bound") << true << overBound + "\r\n" << true << false << "";
        QTest::newRow("empty file") << true << QByteArray() << true << false << "";
        QTest::newRow("no file") << false << QByteArray() << false << false << "";
        // Bytes that are not UTF-8 come back as the same bytes when written.
        QTest::newRow("not UTF-8") << true << QByteArray("/ab\xff\xfe\xc3(cd\r\n") << true << true
                                   << textFromFileName("/ab\xff\xfe\xc3(cd");
    }

    void readFirstLine()
    {
        QFETCH(bool, exists);
        QFETCH(QByteArray, content);
        QFETCH(bool, opens);
        QFETCH(bool, reads);
        QFETCH(QString, line);
        if (exists)
            writeFile(QStringLiteral("work/lastpath.skin"), content);

        TextFile file;
        if (!opens) {
            QVERIFY_THROWS_EXCEPTION(RuntimeError, file.openForInput(LastPath));
            QVERIFY_THROWS_EXCEPTION(RuntimeError, file.readLine());
            file.close(); // nothing open: does nothing
            return;
        }
        file.openForInput(LastPath);
        if (!reads) {
            QVERIFY_THROWS_EXCEPTION(RuntimeError, file.readLine());
        } else {
            QCOMPARE(file.readLine(), line);
        }
        file.close();
        file.close();
    }

    void overlongLineFailsWithoutReadingTheWholeFile()
    {
        // Megabytes without a line end: the read gives up near the bound.
        const qint64 size = 32 * TextFile::MaxLineBytes;
        writeFile(QStringLiteral("work/lastpath.skin"), QByteArray(size, 'x') + "\r\n");
        TextFile file;
        file.openForInput(LastPath);
        const std::optional<qint64> before = bytesReadSoFar();
        if (!before)
            QSKIP("/proc/self/io is not available to count the bytes read");
        QVERIFY_THROWS_EXCEPTION(RuntimeError, file.readLine());
        const std::optional<qint64> after = bytesReadSoFar();
        QVERIFY(after);
        QVERIFY2(*after - *before < size / 4,
                 qPrintable(QStringLiteral("read %1 bytes").arg(*after - *before)));
    }

    void readsLineByLineAndFailsPastTheEnd()
    {
        writeFile(QStringLiteral("work/lastpath.skin"), "one\r\ntwo\nstill two\r\r\nlast");
        TextFile file;
        file.openForInput(LastPath);
        QCOMPARE(file.readLine(), QStringLiteral("one"));
        QCOMPARE(file.readLine(), QStringLiteral("two\nstill two"));
        QCOMPARE(file.readLine(), QString());
        QCOMPARE(file.readLine(), QStringLiteral("last"));
        QVERIFY_THROWS_EXCEPTION(RuntimeError, file.readLine());
        QVERIFY_THROWS_EXCEPTION(RuntimeError, file.readLine());
        file.close();
        QVERIFY_THROWS_EXCEPTION(RuntimeError, file.readLine());

        // A file holding one line end: one empty line, then the end.
        writeFile(QStringLiteral("work/lastpath.skin"), "\r\n");
        file.openForInput(LastPath);
        QCOMPARE(file.readLine(), QString());
        QVERIFY_THROWS_EXCEPTION(RuntimeError, file.readLine());
    }

    void write_data()
    {
        QTest::addColumn<bool>("existing");
        QTest::addColumn<QByteArray>("old");
        QTest::addColumn<QString>("text");

        QTest::newRow("new file") << false << QByteArray() << "/home/user/Skins/Blue";
        QTest::newRow("replaces a longer content")
            << true << QByteArray("/a/much/longer/folder/name/than/the/new/one\r\nsecond line\r\n") << "/b";
        QTest::newRow("root") << true << QByteArray("/old\r\n") << "/";
        QTest::newRow("empty text") << true << QByteArray("/old\r\n") << "";
        QTest::newRow("not ASCII") << false << QByteArray() << QStringLiteral("/tmp/Sk\u00efns \u00e9t\u00e9");
        QTest::newRow("not UTF-8") << false << QByteArray() << textFromFileName("/tmp/caf\xe9 \x80");
        // A line feed is an ordinary character of the line.
        QTest::newRow("line feed") << true << QByteArray("/old\r\n") << QStringLiteral("/skins/lf\nname");
    }

    void write()
    {
        QFETCH(bool, existing);
        QFETCH(QByteArray, old);
        QFETCH(QString, text);
        if (existing)
            writeFile(QStringLiteral("work/lastpath.skin"), old);

        TextFile file;
        file.openForOutput(LastPath);
        file.writeLine(text);
        file.close();

        // A bare name lies in the working directory.
        QCOMPARE(readFile(QStringLiteral("work/lastpath.skin")), fileNameFromText(text) + "\r\n");
        QCOMPARE(QDir(workDir()).entryList(QDir::Files | QDir::Hidden), QStringList{LastPath});

        // What is written reads back as the same text.
        file.openForInput(LastPath);
        QCOMPARE(file.readLine(), text);
        file.close();
    }

    // The name is written where it is, relative to a working directory
    // whose path is bytes that are not UTF-8.
    void writeInWorkingDirectoryNotUtf8()
    {
        const QByteArray folder = QFile::encodeName(workDir()) + "/caf\xe9 \xff";
        QCOMPARE(::mkdir(folder.constData(), 0755), 0);
        QCOMPARE(::chdir(folder.constData()), 0);
        const bool failed = writeUnderSkipOnFailure(QStringLiteral("/x"));
        const QByteArray content = readRaw(folder + "/lastpath.skin");
        ::unlink((folder + "/lastpath.skin").constData());
        QVERIFY(QDir::setCurrent(workDir()));
        QVERIFY(::rmdir(folder.constData()) == 0); // nothing else was left in it
        QVERIFY(!failed);
        QCOMPARE(content, QByteArray("/x\r\n"));
        QCOMPARE(QDir(workDir()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    }

    // The replacement keeps what the old file's owner gave it: its
    // permissions, and a symbolic link stays a link to the file it names.
    void replacementKeepsModeAndLink()
    {
        writeFile(QStringLiteral("elsewhere/real.skin"), "/old\r\n");
        QCOMPARE(::chmod(QFile::encodeName(path(QStringLiteral("elsewhere/real.skin"))).constData(), 0640), 0);
        QVERIFY(QFile::link(QStringLiteral("../elsewhere/real.skin"), path(QStringLiteral("work/lastpath.skin"))));
        QVERIFY(!writeUnderSkipOnFailure(QStringLiteral("/new")));

        QCOMPARE(QFileInfo(path(QStringLiteral("work/lastpath.skin"))).symLinkTarget(),
                 path(QStringLiteral("elsewhere/real.skin")));
        QCOMPARE(readFile(QStringLiteral("elsewhere/real.skin")), QByteArray("/new\r\n"));
        struct stat status;
        QCOMPARE(::stat(QFile::encodeName(path(QStringLiteral("elsewhere/real.skin"))).constData(), &status), 0);
        QCOMPARE(status.st_mode & 07777, mode_t(0640));
        QCOMPARE(QDir(path(QStringLiteral("elsewhere"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("real.skin")});
    }

    // Cut at the NUL, the name would be "lastpath.skin": neither read nor written.
    void nameWithNulIsRefused()
    {
        writeFile(QStringLiteral("work/lastpath.skin"), "/old\r\n");
        const QString name = LastPath + QChar(0) + QStringLiteral(".other");
        TextFile file;
        QVERIFY_THROWS_EXCEPTION(RuntimeError, file.openForInput(name));
        QVERIFY_THROWS_EXCEPTION(RuntimeError, file.openForOutput(name));
        QVERIFY_THROWS_EXCEPTION(RuntimeError, file.writeLine(QStringLiteral("/new")));
        file.close();
        QCOMPARE(readFile(QStringLiteral("work/lastpath.skin")), QByteArray("/old\r\n"));
    }

    // A file made read-only is not replaced, although its folder would let
    // a new file take its place. Root may write any file, so the case runs
    // without the permission override.
    void readOnlyFileIsKept()
    {
        writeFile(QStringLiteral("work/lastpath.skin"), "/old\r\n");
        QCOMPARE(::chmod(QFile::encodeName(path(QStringLiteral("work/lastpath.skin"))).constData(), 0444), 0);
        const QString problems = inChild([]() -> QString {
            if (!dropPermissionOverride())
                return QStringLiteral("cannot drop the permission override");
            int error = 0;
            if (!writeUnderSkipOnFailure(QStringLiteral("/new"), &error))
                return QStringLiteral("the write succeeded");
            return error == EACCES ? QString() : QStringLiteral("the failure carries %1").arg(qt_error_string(error));
        });
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
        QCOMPARE(readFile(QStringLiteral("work/lastpath.skin")), QByteArray("/old\r\n"));
        QCOMPARE(QDir(workDir()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{LastPath});
    }

    void writeLineThatWouldNotReadBack_data()
    {
        QTest::addColumn<bool>("existing");
        QTest::addColumn<QString>("text");

        const QString crInside = textFromFileName("/skins/cr\rname");
        const QString overBound = QLatin1Char('/') + QString(TextFile::MaxLineBytes, QLatin1Char('a'));
        QTest::newRow("carriage return inside") << true << crInside;
        QTest::newRow("carriage return inside, no old file") << false << crInside;
        QTest::newRow("carriage return at the end") << true << QStringLiteral("/skins/name\r");
        QTest::newRow("longer than a line may be") << true << overBound;
    }

    // A line ends at a carriage return, so a folder whose name holds one
    // would come back as another folder ("/skins/cr" for "/skins/cr\rname"),
    // and a line over the bound not at all. Such a line is not written: the
    // file keeps what it held.
    void writeLineThatWouldNotReadBack()
    {
        QFETCH(bool, existing);
        QFETCH(QString, text);
        const QByteArray old = "/the/old/folder\r\n";
        if (existing)
            writeFile(QStringLiteral("work/lastpath.skin"), old);
        makeFolder(QStringLiteral("skins/cr"));

        QVERIFY(writeUnderSkipOnFailure(text));
        if (existing)
            QCOMPARE(readFile(QStringLiteral("work/lastpath.skin")), old);
        else
            QVERIFY(!QFile::exists(path(QStringLiteral("work/lastpath.skin"))));
        QCOMPARE(entriesOf(workDir()), existing ? QStringList{LastPath} : QStringList());
    }

    void replacementKeepsOwnerGroupAndMode_data()
    {
        QTest::addColumn<Ownership>("folder");
        QTest::addColumn<bool>("existing");
        QTest::addColumn<Ownership>("file");
        QTest::addColumn<Writer>("writer");
        QTest::addColumn<Ownership>("result");

        // Users 1000 and 1001 share the group 2000.
        const Writer user{1000, 1000, {2000}, 022};
        const Writer root{0, 0, {}, 022};
        QTest::newRow("another owner's file in a shared folder")
            << Ownership{0, 2000, 0775} << true << Ownership{1001, 2000, 0664} << user << Ownership{1001, 2000, 0664};
        QTest::newRow("setuid and setgid, written by root")
            << Ownership{0, 0, 0755} << true << Ownership{1001, 2000, 06755} << root << Ownership{1001, 2000, 06755};
        QTest::newRow("setgid, written by the owner")
            << Ownership{0, 2000, 0775} << true << Ownership{1000, 2000, 02775} << user << Ownership{1000, 2000, 02775};
        QTest::newRow("setgid, written in place by the owner")
            << Ownership{0, 0, 0755} << true << Ownership{1000, 2000, 02775} << user << Ownership{1000, 2000, 02775};
        QTest::newRow("own file in a setgid folder")
            << Ownership{0, 2000, 02775} << true << Ownership{1000, 1000, 0644} << user << Ownership{1000, 1000, 0644};
        // Not readable, so not written in place: a new file, which keeps
        // what it can.
        QTest::newRow("group kept where the owner cannot be")
            << Ownership{0, 2000, 0775} << true << Ownership{1001, 2000, 0620} << user << Ownership{1000, 2000, 0620};
        QTest::newRow("setuid not given to a new owner")
            << Ownership{0, 2000, 0775} << true << Ownership{1001, 2000, 04720} << user << Ownership{1000, 2000, 0720};
        QTest::newRow("another user's file in a sticky folder")
            << Ownership{0, 0, 01777} << true << Ownership{1001, 1001, 0666} << Writer{1000, 1000, {}, 022}
            << Ownership{1001, 1001, 0666};
        QTest::newRow("root writes a user's file")
            << Ownership{1001, 1001, 0755} << true << Ownership{1001, 1001, 0640} << root << Ownership{1001, 1001, 0640};
        QTest::newRow("new file under the umask")
            << Ownership{0, 0, 0777} << false << Ownership{} << Writer{1000, 1000, {}, 027}
            << Ownership{1000, 1000, 0640};
    }

    // A user who may write a file gets it back with its owner, group and
    // permission bits, so that nobody who could write it before is locked
    // out after. Each write runs as the writer in a forked child.
    void replacementKeepsOwnerGroupAndMode()
    {
        QFETCH(Ownership, folder);
        QFETCH(bool, existing);
        QFETCH(Ownership, file);
        QFETCH(Writer, writer);
        QFETCH(Ownership, result);
        if (::geteuid() != 0)
            QSKIP("needs root, to act as other users");
        // The writer must get through the test's own folder.
        QCOMPARE(::chmod(QFile::encodeName(QFileInfo(workDir()).path()).constData(), 0755), 0);
        const QByteArray shared = QFile::encodeName(makeFolder(QStringLiteral("shared")));
        QCOMPARE(::chown(shared.constData(), folder.uid, folder.gid), 0);
        QCOMPARE(::chmod(shared.constData(), folder.mode), 0);
        const QByteArray name = shared + "/file";
        if (existing) {
            QVERIFY(writeRaw(name, "old\n"));
            QCOMPARE(::chown(name.constData(), file.uid, file.gid), 0);
            QCOMPARE(::chmod(name.constData(), file.mode), 0);
        }

        const QString problems = inChild([&]() -> QString {
            ::umask(writer.umask);
            if (const QString failed = becomeUser(writer.uid, writer.gid, writer.groups); !failed.isEmpty())
                return failed;
            return replace(name, "new\n");
        });
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
        QCOMPARE(readRaw(name), QByteArray("new\n"));
        struct stat status;
        QCOMPARE(::stat(name.constData(), &status), 0);
        QCOMPARE(status.st_uid, result.uid);
        QCOMPARE(status.st_gid, result.gid);
        QCOMPARE(QString::number(status.st_mode & 07777, 8), QString::number(result.mode, 8));
        QCOMPARE(entriesOf(QFile::decodeName(shared)), QStringList{QStringLiteral("file")});
    }

    // Extended attributes, and with them access control lists, go over
    // to the new file.
    void replacementKeepsExtendedAttributes()
    {
        const QByteArray name = QFile::encodeName(writeFile(QStringLiteral("work/lastpath.skin"), "/old\r\n"));
        if (::setxattr(name.constData(), "user.note", "kept", 4, 0) != 0)
            QSKIP(qPrintable(QStringLiteral("no extended attributes here: %1").arg(qt_error_string(errno))));
        const QByteArray acl = accessAcl();
        QCOMPARE(::setxattr(name.constData(), "system.posix_acl_access", acl.constData(), size_t(acl.size()), 0), 0);
        const QByteArray aclBefore = attribute(name, "system.posix_acl_access");
        struct stat before;
        QCOMPARE(::stat(name.constData(), &before), 0);

        QVERIFY(!writeUnderSkipOnFailure(QStringLiteral("/new")));
        QCOMPARE(readRaw(name), QByteArray("/new\r\n"));
        QCOMPARE(attribute(name, "user.note"), QByteArray("kept"));
        QCOMPARE(attribute(name, "system.posix_acl_access").toHex(), aclBefore.toHex());
        struct stat after;
        QCOMPARE(::stat(name.constData(), &after), 0);
        QCOMPARE(QString::number(after.st_mode, 8), QString::number(before.st_mode, 8));
        QCOMPARE(entriesOf(workDir()), QStringList{LastPath});
    }

    void longNames_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("existing");
        for (const int length : {248, 249, 255}) {
            const QByteArray name(length, 'n');
            QTest::addRow("%d bytes, new", length) << name << false;
            QTest::addRow("%d bytes, replaced", length) << name << true;
        }
        QTest::newRow("255 bytes of two-byte letters") << QByteArray("n") + QByteArray("\xc3\xa9").repeated(127) << true;
    }

    // Every name the file system takes can be written, and replaced
    // through a new file beside it.
    void longNames()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, existing);
        if (existing) {
            QVERIFY(writeRaw(name, "old\n"));
            QCOMPARE(::chmod(name.constData(), 0640), 0);
        }
        QByteArray temporary;
        QVERIFY_THROWS_NO_EXCEPTION([&] {
            FileReplacement file(name);
            temporary = file.temporaryPath();
            file.commit("new\n");
        }());
        QVERIFY(!temporary.isEmpty());
        QVERIFY(!temporary.contains('/')); // in the same folder
        // A name cut to fit is not cut inside a letter.
        QCOMPARE(QString::fromUtf8(temporary).toUtf8(), temporary);
        QCOMPARE(readRaw(name), QByteArray("new\n"));
        struct stat status;
        QCOMPARE(::stat(name.constData(), &status), 0);
        if (existing)
            QCOMPARE(status.st_mode & 07777, mode_t(0640));
        QCOMPARE(entriesOf(workDir()), QStringList{QFile::decodeName(name)});
    }

    // A file that cannot be renamed over, as one with another file
    // bind-mounted on it, is written in place.
    void bindMountedFileIsWrittenInPlace()
    {
        writeFile(QStringLiteral("work/target"), "old\n");
        writeFile(QStringLiteral("work/mounted"), "mounted\n");
        const QString problems = inChild([]() -> QString {
            if (const QString failed = enterPrivateMountNamespace(); !failed.isEmpty())
                return NoNamespace + failed;
            if (::mount("mounted", "target", nullptr, MS_BIND, nullptr) != 0)
                return NoNamespace + QStringLiteral("no bind mount");
            return replace("target", "new\n");
        });
        skipIfNotIsolated(problems);
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
        // What lay at the name in the child was the mounted file.
        QCOMPARE(readFile(QStringLiteral("work/mounted")), QByteArray("new\n"));
        QCOMPARE(readFile(QStringLiteral("work/target")), QByteArray("old\n"));
        QCOMPARE(entriesOf(workDir()), (QStringList{QStringLiteral("mounted"), QStringLiteral("target")}));
    }

    // The umask belongs to the whole process: a write that changed it even
    // for a moment would let files that other threads make meanwhile come
    // out without it. So the case runs where changing it ends the process,
    // and the kernel alone applies it to a new file.
    void writesLeaveTheUmaskAlone()
    {
        writeFile(QStringLiteral("work/existing"), "old\n");
        QCOMPARE(::chmod(QFile::encodeName(path(QStringLiteral("work/existing"))).constData(), 0640), 0);
        const QString problems = inChild([]() -> QString {
            ::umask(027);
            if (const QString failed = forbidSystemCall(SYS_umask); !failed.isEmpty())
                return failed;
            QStringList problems;
            for (const char *name : {"new", "existing"}) {
                if (const QString failed = replace(name, "new\n"); !failed.isEmpty())
                    problems << QStringLiteral("%1: %2").arg(QLatin1String(name), failed);
            }
            if (writeUnderSkipOnFailure(QStringLiteral("/new")))
                problems << QStringLiteral("lastpath.skin was not written");
            return problems.join(QLatin1String("; "));
        });
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
        for (const QString &name : {QStringLiteral("new"), QStringLiteral("existing"), LastPath}) {
            struct stat status;
            QCOMPARE(::stat(QFile::encodeName(path(QStringLiteral("work/") + name)).constData(), &status), 0);
            QCOMPARE(QString::number(status.st_mode & 07777, 8), QStringLiteral("640"));
        }
    }

    void unfinishedWriteKeepsTheOldContent()
    {
        writeFile(QStringLiteral("work/lastpath.skin"), "/old\r\n");
        {
            TextFile file;
            file.openForOutput(LastPath);
            file.writeLine(QStringLiteral("/new"));
            // Not complete yet: the old content stands.
            QCOMPARE(readFile(QStringLiteral("work/lastpath.skin")), QByteArray("/old\r\n"));
            QVERIFY_THROWS_EXCEPTION(RuntimeError, file.readLine());
        } // never closed: the write is abandoned
        QCOMPARE(readFile(QStringLiteral("work/lastpath.skin")), QByteArray("/old\r\n"));
        QCOMPARE(QDir(workDir()).entryList(QDir::Files | QDir::Hidden), QStringList{LastPath});

        TextFile notOpen;
        QVERIFY_THROWS_EXCEPTION(RuntimeError, notOpen.writeLine(QStringLiteral("/x")));
    }

    void refusesWhatIsNoFile_data()
    {
        QTest::addColumn<bool>("fifo"); // otherwise a folder
        QTest::newRow("folder") << false;
        QTest::newRow("FIFO") << true;
    }

    void refusesWhatIsNoFile()
    {
        QFETCH(bool, fifo);
        const QString name = path(QStringLiteral("work/lastpath.skin"));
        if (fifo)
            QCOMPARE(::mkfifo(QFile::encodeName(name).constData(), 0600), 0);
        else
            makeFolder(QStringLiteral("work/lastpath.skin"));

        // Neither read (a FIFO without a writer must not stall the read) ...
        TextFile file;
        QVERIFY_THROWS_EXCEPTION(RuntimeError, file.openForInput(LastPath));
        QVERIFY_THROWS_EXCEPTION(RuntimeError, file.readLine());
        // ... nor replaced or written into.
        QVERIFY(writeUnderSkipOnFailure(QStringLiteral("/new")));
        struct stat status;
        QCOMPARE(::lstat(QFile::encodeName(name).constData(), &status), 0);
        QVERIFY(fifo ? S_ISFIFO(status.st_mode) : S_ISDIR(status.st_mode));
        QCOMPARE(QDir(workDir()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
                 QStringList{LastPath});
        if (!fifo)
            QVERIFY(QDir(name).isEmpty());
    }

    void writeIntoReadOnlyMountKeepsTheOldContent_data()
    {
        QTest::addColumn<bool>("existing");
        QTest::newRow("file exists") << true;
        QTest::newRow("no file") << false;
    }

    // Nothing at all can be written: neither beside the file nor into it.
    void writeIntoReadOnlyMountKeepsTheOldContent()
    {
        QFETCH(bool, existing);
        const QByteArray old = "/the/old/folder\r\n";
        if (existing)
            writeFile(QStringLiteral("work/lastpath.skin"), old);
        const QByteArray work = QFile::encodeName(workDir());

        // The copy sees the work folder read-only; writes through a bind
        // mount would reach the real folder, so the test checks it here.
        const QString problems = inChild([&]() -> QString {
            if (const QString failed = enterPrivateMountNamespace(); !failed.isEmpty())
                return NoNamespace + failed;
            if (::mount(work.constData(), work.constData(), nullptr, MS_BIND, nullptr) != 0
                || ::mount(nullptr, work.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
                return NoNamespace + QStringLiteral("no read-only bind mount");
            // The working directory still refers to the folder under the mount.
            if (::chdir(work.constData()) != 0)
                return QStringLiteral("cannot enter the mount");
            return writeUnderSkipOnFailure(QStringLiteral("/the/new/folder")) ? QString()
                                                                              : QStringLiteral("the write succeeded");
        });
        skipIfNotIsolated(problems);
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
        if (existing)
            QCOMPARE(readFile(QStringLiteral("work/lastpath.skin")), old);
        else
            QVERIFY(!QFile::exists(path(QStringLiteral("work/lastpath.skin"))));
        QCOMPARE(QDir(workDir()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 existing ? QStringList{LastPath} : QStringList());
    }

    void interruptDuringAnInPlaceWrite_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGHUP") << SIGHUP;
    }

    // A file written in place gets its new bytes over the old ones, then
    // is cut to length: an interrupt that came between the two (here
    // while the new bytes are synced) must wait until the file is whole,
    // and then still take effect.
    void interruptDuringAnInPlaceWrite()
    {
        QFETCH(int, signal);
        const QByteArray work = QFile::encodeName(workDir());
        const QByteArray old = lineOf(3 * int(::sysconf(_SC_PAGESIZE)), 'o');
        const QByteArray now = lineOf(100, 'n');
        const QString problems = inChild([&]() -> QString {
            if (const QString failed = enterPrivateMountNamespace(); !failed.isEmpty())
                return NoNamespace + failed;
            if (::mount("tmpfs", work.constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k,mode=0755") != 0)
                return NoNamespace + QStringLiteral("no tmpfs");
            if (::chdir(work.constData()) != 0 || !writeRaw(LastPathBytes, old))
                return QStringLiteral("cannot write the old content");
            if (::chmod(".", 0555) != 0 || !dropPermissionOverride())
                return QStringLiteral("cannot make the folder read-only to this process");
            struct sigaction action = {};
            action.sa_handler = recordContentAtSignal;
            action.sa_flags = SA_RESTART;
            sigemptyset(&action.sa_mask);
            ::sigaction(signal, &action, nullptr);
            bool sent = false;
            beforeFsync = [&](int) {
                if (!std::exchange(sent, true))
                    ::kill(::getpid(), signal);
            };
            const QString failed = replace(LastPathBytes, now);
            beforeFsync = nullptr;
            QStringList problems;
            if (!failed.isEmpty())
                problems << QStringLiteral("the write failed: %1").arg(failed);
            if (!sent)
                problems << QStringLiteral("the write was not written in place");
            else if (bytesAtSignal < 0)
                problems << QStringLiteral("the signal was lost");
            else if (QByteArray(contentAtSignal, bytesAtSignal) != now)
                problems << QStringLiteral("at the signal the file held %1 bytes, %2 of them new")
                                .arg(int(bytesAtSignal))
                                .arg(QByteArray(contentAtSignal, bytesAtSignal).count('n'));
            if (readRaw(LastPathBytes) != now)
                problems << QStringLiteral("the file does not hold the new content");
            return problems.join(QLatin1String("; "));
        });
        skipIfNotIsolated(problems);
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
    }

    void privateUntilItHasTheOldMode_data()
    {
        QTest::addColumn<int>("oldMode");
        QTest::newRow("0600") << 0600;
        QTest::newRow("0640") << 0640;
        QTest::newRow("0644") << 0644;
    }

    // The new file beside the old one is readable by its owner alone until
    // it takes the old file's mode: whoever opened it before that could go
    // on reading what it gets, though the file were private.
    void privateUntilItHasTheOldMode()
    {
        QFETCH(int, oldMode);
        writeFile(QStringLiteral("work/secret"), "old\n");
        const QByteArray name = QFile::encodeName(path(QStringLiteral("work/secret")));
        QCOMPARE(::chmod(name.constData(), mode_t(oldMode)), 0);
        std::optional<mode_t> modeAtFirstChange;
        beforeFchmod = [&](int fd) {
            struct stat status;
            if (!modeAtFirstChange && ::fstat(fd, &status) == 0)
                modeAtFirstChange = status.st_mode & 07777;
        };
        const mode_t umask = ::umask(022);
        const QString failed = replace(name, "new\n");
        ::umask(umask);
        beforeFchmod = nullptr;
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        QVERIFY2(modeAtFirstChange, "the new file's mode was never set");
        QCOMPARE(QString::number(*modeAtFirstChange, 8), QStringLiteral("600"));
        struct stat status;
        QCOMPARE(::stat(name.constData(), &status), 0);
        QCOMPARE(QString::number(status.st_mode & 07777, 8), QString::number(oldMode, 8));
        QCOMPARE(readFile(QStringLiteral("work/secret")), QByteArray("new\n"));
    }

    void writeFailures_data()
    {
        QTest::addColumn<bool>("inPlace");   // a read-only folder holding a writable file
        QTest::addColumn<int>("freePages");  // what is left on the file system; -1: plenty
        QTest::addColumn<int>("oldBytes");
        QTest::addColumn<int>("newBytes");
        QTest::addColumn<bool>("written");   // otherwise the old content stays
        QTest::addColumn<bool>("inPieces");  // the content handed over a piece at a time

        const int page = int(::sysconf(_SC_PAGESIZE));
        for (const bool pieces : {false, true}) {
            const char *how = pieces ? ", in pieces" : "";
            const auto row = [&](const char *name) -> QTestData & {
                return QTest::newRow(qPrintable(QLatin1String(name) + QLatin1String(how)));
            };
            // A new file beside the old one, renamed over it once complete.
            row("beside, fits") << false << -1 << 100 << 3 * page << true << pieces;
            row("beside, disk full") << false << 0 << 100 << 3 * page << false << pieces;
            row("beside, short write") << false << 1 << 100 << 3 * page << false << pieces;
            // No file can be made beside it: the file is overwritten in
            // place, and its old bytes put back if that fails.
            row("in place, shorter") << true << -1 << 3 * page << 100 << true << pieces;
            row("in place, longer") << true << -1 << 100 << 3 * page << true << pieces;
            row("in place, disk full") << true << 0 << 100 << 3 * page << false << pieces;
            row("in place, short write") << true << 1 << 100 << 3 * page << false << pieces;
            row("in place, short write past a longer file") << true << 1 << 2 * page + 100 << 5 * page << false
                                                            << pieces;
        }
    }

    // Each case runs on a small tmpfs mounted over the work folder, filled
    // up to the pages given: a write there fails at once (nothing left) or
    // after its first page (a short write). The in-place cases make the
    // folder read-only and run without root's permission override, as a
    // user would whose folder it is not.
    void writeFailures()
    {
        QFETCH(bool, inPlace);
        QFETCH(int, freePages);
        QFETCH(int, oldBytes);
        QFETCH(int, newBytes);
        QFETCH(bool, written);
        QFETCH(bool, inPieces);
        const QByteArray work = QFile::encodeName(workDir());
        const QByteArray old = lineOf(oldBytes, 'o');
        const QByteArray now = lineOf(newBytes, 'n');

        const QString problems = inChild([&]() -> QString {
            if (const QString failed = enterPrivateMountNamespace(); !failed.isEmpty())
                return NoNamespace + failed;
            if (::mount("tmpfs", work.constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k,mode=0755") != 0)
                return NoNamespace + QStringLiteral("no tmpfs");
            if (::chdir(work.constData()) != 0)
                return QStringLiteral("cannot enter the mount");
            if (!writeRaw(LastPathBytes, old))
                return QStringLiteral("cannot write the old content");
            QStringList expectedEntries{LastPath};
            if (freePages >= 0) {
                if (const QString failed = fillLeaving(freePages); !failed.isEmpty())
                    return failed;
                expectedEntries << QStringLiteral("filler");
            }
            if (inPlace && (::chmod(".", 0555) != 0 || !dropPermissionOverride()))
                return QStringLiteral("cannot make the folder read-only to this process");

            int error = 0;
            const bool failed = inPieces ? !replaceInPieces(LastPathBytes, now, &error)
                                         : writeUnderSkipOnFailure(QString::fromLatin1(now.chopped(2)), &error);
            QStringList problems;
            if (failed == written)
                problems << QString::fromLatin1(failed ? "the write failed" : "the write reported success");
            // The system's reason comes with the failure.
            if (failed && error != ENOSPC)
                problems << QStringLiteral("the failure carries %1").arg(qt_error_string(error));
            const QByteArray content = readRaw(LastPathBytes);
            if (content != (written ? now : old))
                problems << QStringLiteral("lastpath.skin holds %1 bytes, %2 of them 'n'")
                                .arg(content.size())
                                .arg(content.count('n'));
            QStringList entries = QDir(QStringLiteral(".")).entryList(QDir::AllEntries | QDir::Hidden
                                                                      | QDir::System | QDir::NoDotAndDotDot);
            entries.sort();
            expectedEntries.sort();
            if (entries != expectedEntries)
                problems << QStringLiteral("the folder holds %1").arg(entries.join(u','));
            return problems.join(QLatin1String("; "));
        });
        skipIfNotIsolated(problems);
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
    }
};

QTEST_MAIN(TextFileTest)
#include "textfile_test.moc"
