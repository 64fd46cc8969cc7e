#include "support/child.h"
#include "support/fixture.h"

#include "runtime/error.h"
#include "runtime/filename.h"
#include "runtime/textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <optional>

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
// on closing: three steps, each dropped if it fails. Returns whether any failed.
bool writeUnderSkipOnFailure(const QString &text)
{
    bool failed = false;
    auto step = [&](auto run) {
        SkipOnFailure()([&] {
            try {
                run();
            } catch (const RuntimeError &) {
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
            return writeUnderSkipOnFailure(QStringLiteral("/new")) ? QString() : QStringLiteral("the write succeeded");
        });
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
        QCOMPARE(readFile(QStringLiteral("work/lastpath.skin")), QByteArray("/old\r\n"));
        QCOMPARE(QDir(workDir()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{LastPath});
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

    void writeFailures_data()
    {
        QTest::addColumn<bool>("inPlace");   // a read-only folder holding a writable file
        QTest::addColumn<int>("freePages");  // what is left on the file system; -1: plenty
        QTest::addColumn<int>("oldBytes");
        QTest::addColumn<int>("newBytes");
        QTest::addColumn<bool>("written");   // otherwise the old content stays

        const int page = int(::sysconf(_SC_PAGESIZE));
        // A new file beside the old one, renamed over it once complete.
        QTest::newRow("beside, fits") << false << -1 << 100 << 3 * page << true;
        QTest::newRow("beside, disk full") << false << 0 << 100 << 3 * page << false;
        QTest::newRow("beside, short write") << false << 1 << 100 << 3 * page << false;
        // No file can be made beside it: the file is overwritten in place,
        // and its old bytes put back if that fails.
        QTest::newRow("in place, shorter") << true << -1 << 3 * page << 100 << true;
        QTest::newRow("in place, longer") << true << -1 << 100 << 3 * page << true;
        QTest::newRow("in place, disk full") << true << 0 << 100 << 3 * page << false;
        QTest::newRow("in place, short write") << true << 1 << 100 << 3 * page << false;
        QTest::newRow("in place, short write past a longer file") << true << 1 << 2 * page + 100 << 5 * page << false;
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

            const bool failed = writeUnderSkipOnFailure(QString::fromLatin1(now.chopped(2)));
            QStringList problems;
            if (failed == written)
                problems << QString::fromLatin1(failed ? "the write failed" : "the write reported success");
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
