#include "support/fixture.h"

#include "runtime/error.h"
#include "runtime/textfile.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>

namespace {

const QString LastPath = QStringLiteral("lastpath.skin");

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

// Exit codes of the child processes that try to write.
enum ChildStatus {
    WriteFailedOldContentKept = 0,
    WriteSucceeded = 1,
    OldContentChanged = 2,
    SetupFailed = 3,
    NoMountNamespace = 77,
};

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

// Runs body in a child process with a private mount namespace and returns
// its exit code, or NoMountNamespace if the namespace cannot be made.
template <class Body>
int inPrivateMountNamespace(Body body)
{
    const pid_t child = ::fork();
    if (child < 0)
        return SetupFailed;
    if (child == 0) {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            ::_exit(NoMountNamespace);
        ::_exit(body());
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return SetupFailed;
    return WEXITSTATUS(status);
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
        QTest::newRow("not UTF-8") << true << QByteArray("/ab\xff\xfe\xc3(cd\r\n") << true << true << "?";
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
        } else if (line == QLatin1String("?")) {
            // The bytes are not valid text; the read must survive them.
            const QString text = file.readLine();
            QVERIFY(text.startsWith(QLatin1String("/ab")));
            QVERIFY(text.endsWith(QLatin1String("cd")));
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
        QCOMPARE(readFile(QStringLiteral("work/lastpath.skin")), QFile::encodeName(text) + "\r\n");
        QCOMPARE(QDir(workDir()).entryList(QDir::Files | QDir::Hidden), QStringList{LastPath});

        // What is written reads back as the same text.
        file.openForInput(LastPath);
        QCOMPARE(file.readLine(), text);
        file.close();
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

    void writeIntoReadOnlyFolderKeepsTheOldContent_data()
    {
        QTest::addColumn<bool>("existing");
        QTest::newRow("file exists") << true;
        QTest::newRow("no file") << false;
    }

    void writeIntoReadOnlyFolderKeepsTheOldContent()
    {
        QFETCH(bool, existing);
        const QByteArray old = "/the/old/folder\r\n";
        if (existing)
            writeFile(QStringLiteral("work/lastpath.skin"), old);
        const QByteArray work = QFile::encodeName(workDir());

        // The child sees the work folder read-only; writes through a bind
        // mount would reach the real folder, so the parent checks it.
        const int status = inPrivateMountNamespace([&] {
            if (::mount(work.constData(), work.constData(), nullptr, MS_BIND, nullptr) != 0
                || ::mount(nullptr, work.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
                return int(NoMountNamespace);
            // The working directory still refers to the folder under the mount.
            if (::chdir(work.constData()) != 0)
                return int(SetupFailed);
            return writeUnderSkipOnFailure(QStringLiteral("/the/new/folder")) ? int(WriteFailedOldContentKept)
                                                                              : int(WriteSucceeded);
        });
        if (status == NoMountNamespace)
            QSKIP("mount namespaces are not permitted here");
        QCOMPARE(status, int(WriteFailedOldContentKept));
        if (existing)
            QCOMPARE(readFile(QStringLiteral("work/lastpath.skin")), old);
        else
            QVERIFY(!QFile::exists(path(QStringLiteral("work/lastpath.skin"))));
        QCOMPARE(QDir(workDir()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 existing ? QStringList{LastPath} : QStringList());
    }

    void writeOnFullDiskKeepsTheOldContent()
    {
        const QByteArray work = QFile::encodeName(workDir());
        const QByteArray old = "/the/old/folder\r\n";
        // A folder name far larger than the space left.
        const QString longText = QLatin1Char('/') + QString(40000, QLatin1Char('n'));

        // A small file system over the work folder hides the real one, so
        // the child checks the result itself and reports it.
        const int status = inPrivateMountNamespace([&] {
            if (::mount("tmpfs", work.constData(), "tmpfs", 0, "size=32k") != 0)
                return int(NoMountNamespace);
            if (::chdir(work.constData()) != 0)
                return int(SetupFailed);
            {
                QFile file(LastPath);
                if (!file.open(QIODevice::WriteOnly) || file.write(old) != old.size())
                    return int(SetupFailed);
            }
            // Fill what is left.
            QFile filler(QStringLiteral("filler"));
            if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
                return int(SetupFailed);
            const QByteArray block(4096, 'f');
            while (filler.write(block) == block.size()) {
            }
            filler.close();

            const bool failed = writeUnderSkipOnFailure(longText);
            QFile check(LastPath);
            if (!check.open(QIODevice::ReadOnly) || check.readAll() != old)
                return int(OldContentChanged);
            return failed ? int(WriteFailedOldContentKept) : int(WriteSucceeded);
        });
        if (status == NoMountNamespace)
            QSKIP("mount namespaces or tmpfs are not permitted here");
        QCOMPARE(status, int(WriteFailedOldContentKept));
    }
};

QTEST_MAIN(TextFileTest)
#include "textfile_test.moc"
