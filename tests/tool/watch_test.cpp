// "skintool check --watch", run as the real binary: in a pseudo-terminal,
// where each report replaces the last and Ctrl-C ends it, and into a pipe,
// where each report is appended after a separator line.

#include "support/fixture.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

namespace {

constexpr int Patience = 20000;
const QByteArray ClearScreen = "\033[H\033[2J";

// The program in a pseudo-terminal of its own, as started from a shell:
// the terminal's line discipline turns a typed Ctrl-C into SIGINT.
class InTerminal
{
public:
    InTerminal(const QString &folder, const QStringList &arguments)
    {
        std::vector<QByteArray> strings{QFile::encodeName(qEnvironmentVariable("SKINTOOL_BINARY"))};
        for (const QString &argument : arguments)
            strings.push_back(QFile::encodeName(argument));
        std::vector<QByteArray> environment;
        for (const QString &variable : QProcess::systemEnvironment()) {
            if (!variable.startsWith(QLatin1String("NO_COLOR=")))
                environment.push_back(QFile::encodeName(variable));
        }
        environment.push_back("NO_COLOR=1");
        std::vector<char *> argv, envp;
        for (QByteArray &string : strings)
            argv.push_back(string.data());
        argv.push_back(nullptr);
        for (QByteArray &string : environment)
            envp.push_back(string.data());
        envp.push_back(nullptr);
        const QByteArray directory = QFile::encodeName(folder);
        winsize size{};
        size.ws_row = 50;
        size.ws_col = 100;
        m_child = ::forkpty(&m_terminal, nullptr, nullptr, &size);
        if (m_child == 0) {
            if (::chdir(directory.constData()) == 0)
                ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
    }

    ~InTerminal()
    {
        if (m_child > 0 && !m_ended) {
            ::kill(m_child, SIGKILL);
            ::waitpid(m_child, nullptr, 0);
        }
        if (m_terminal >= 0)
            ::close(m_terminal);
    }

    bool started() const { return m_child > 0; }

    // Reads what the program writes until the output so far holds text
    // count times; false if it does not come in time.
    bool readUntil(const QByteArray &text, int count = 1)
    {
        const QDeadlineTimer deadline(Patience);
        while (m_output.count(text) < count) {
            pollfd terminal{m_terminal, POLLIN, 0};
            if (::poll(&terminal, 1, int(deadline.remainingTime())) <= 0)
                return false;
            char buffer[4096];
            const ssize_t got = ::read(m_terminal, buffer, sizeof buffer);
            if (got <= 0)
                return false;
            m_output.append(buffer, got);
        }
        return true;
    }

    void type(const QByteArray &keys) { QCOMPARE(::write(m_terminal, keys.constData(), size_t(keys.size())), ssize_t(keys.size())); }

    // How the program ended: the signal that ended it, or -1.
    int endingSignal()
    {
        int status = 0;
        const QDeadlineTimer deadline(Patience);
        while (::waitpid(m_child, &status, WNOHANG) == 0) {
            if (deadline.hasExpired())
                return -1;
            readUntil("\x01never"); // drains the terminal meanwhile
        }
        m_ended = true;
        return WIFSIGNALED(status) ? WTERMSIG(status) : -1;
    }

    const QByteArray &output() const { return m_output; }

private:
    int m_terminal = -1;
    pid_t m_child = -1;
    bool m_ended = false;
    QByteArray m_output;
};

// The reports in what was appended: the parts between separator lines.
QList<QByteArray> reportsIn(const QByteArray &output)
{
    const QByteArray separator = "\n" + QByteArray(40, '-') + "\n";
    QList<QByteArray> reports;
    qsizetype from = 0;
    for (qsizetype at; (at = output.indexOf(separator, from)) >= 0; from = at + separator.size())
        reports.append(output.mid(from, at + 1 - from));
    reports.append(output.mid(from));
    return reports;
}

} // namespace

class SkintoolWatchTest : public Fixture
{
    Q_OBJECT

private:
    QStringList entriesBelow(const QString &folder) const
    {
        QStringList entries;
        QDir dir(folder);
        for (const QString &name : dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
            entries.append(name);
        return entries;
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("SKINTOOL_BINARY"))
            QSKIP("needs skintool (SKINTOOL_BINARY)");
    }

    // On a terminal: a report, redrawn after a save; Ctrl-C ends it as
    // interrupted, and it leaves no file behind.
    void onATerminalRedrawsAndEndsOnCtrlC()
    {
        makeFolder(QStringLiteral("work/skin"));
        const QStringList before = entriesBelow(workDir());
        InTerminal program(workDir(), {QStringLiteral("check"), QStringLiteral("--watch"), QStringLiteral("skin")});
        QVERIFY(program.started());
        QVERIFY2(program.readUntil("Ctrl-C ends."), program.output().constData());
        QVERIFY(program.output().startsWith(ClearScreen));
        QVERIFY(program.output().contains("skin: 1 error, 0 warnings"));

        writeBmp(QStringLiteral("work/skin/background.bmp"), Qt::blue, {800, 600});
        QVERIFY2(program.readUntil("Ctrl-C ends.", 2), program.output().constData());
        const QByteArray redrawn = program.output().mid(program.output().lastIndexOf(ClearScreen));
        QVERIFY2(redrawn.contains("skin: 0 errors, 4 warnings"), redrawn.constData());
        QVERIFY(redrawn.contains("background            background.bmp  800x600"));

        program.type("\x03");
        QCOMPARE(program.endingSignal(), SIGINT);
        QCOMPARE(entriesBelow(workDir()), before);
        QCOMPARE(entriesBelow(path(QStringLiteral("work/skin"))), QStringList{QStringLiteral("background.bmp")});
    }

    // Into a pipe: each report after the last, behind a separator line,
    // in whichever form.
    void intoAPipeAppends_data()
    {
        QTest::addColumn<bool>("json");
        QTest::newRow("text") << false;
        QTest::newRow("json") << true;
    }

    void intoAPipeAppends()
    {
        QFETCH(bool, json);
        makeFolder(QStringLiteral("work/skin"));
        makeFolder(QStringLiteral("work/other"));
        QProcess program;
        program.setWorkingDirectory(workDir());
        QStringList arguments{QStringLiteral("check"), QStringLiteral("--watch"), QStringLiteral("skin"), QStringLiteral("other")};
        if (json)
            arguments.append(QStringLiteral("--json"));
        program.start(qEnvironmentVariable("SKINTOOL_BINARY"), arguments);
        QVERIFY(program.waitForStarted());
        QByteArray output;
        const QByteArray firstEnd = json ? QByteArray("\n}\n") : QByteArray("other: 1 error, 0 warnings");
        QTRY_VERIFY_WITH_TIMEOUT((output += program.readAllStandardOutput()).contains(firstEnd), Patience);

        writeBmp(QStringLiteral("work/other/sticker_background.bmp"), Qt::blue, {178, 357});
        const QByteArray second = json ? QByteArray("\n}\n") : QByteArray("other: 0 errors, 4 warnings");
        QTRY_VERIFY_WITH_TIMEOUT((output += program.readAllStandardOutput()).count(second) == (json ? 2 : 1), Patience);
        ::kill(pid_t(program.processId()), SIGINT);
        QVERIFY(program.waitForFinished(Patience));
        QCOMPARE(program.exitStatus(), QProcess::CrashExit); // ended by the signal
        output += program.readAllStandardOutput();
        QCOMPARE(program.readAllStandardError(), QByteArray());

        const QList<QByteArray> reports = reportsIn(output);
        QVERIFY(!output.contains(ClearScreen));
        QCOMPARE(reports.size(), 2);
        if (json) {
            const QJsonObject first = QJsonDocument::fromJson(reports[0]).object();
            const QJsonObject last = QJsonDocument::fromJson(reports[1]).object();
            QCOMPARE(first.value(QStringLiteral("errors")).toInt(), 2);
            QCOMPARE(last.value(QStringLiteral("errors")).toInt(), 1);
            QCOMPARE(last.value(QStringLiteral("warnings")).toInt(), 4);
        } else {
            QVERIFY(reports[0].startsWith("skin: 1 error, 0 warnings"));
            QVERIFY(reports[1].startsWith("skin: 1 error, 0 warnings"));
            QVERIFY(reports[1].contains("other: 0 errors, 4 warnings"));
        }
    }

    // Every change that can change the report checks again, not only
    // changes to BMP files: a name near a skin file's is reported too.
    void everyChangeToTheReportChecksAgain()
    {
        makeFolder(QStringLiteral("work/skin"));
        writeBmp(QStringLiteral("work/skin/background.bmp"), Qt::blue, {800, 600});
        QProcess program;
        program.setWorkingDirectory(workDir());
        program.start(qEnvironmentVariable("SKINTOOL_BINARY"), {QStringLiteral("check"), QStringLiteral("--watch"), QStringLiteral("skin")});
        QVERIFY(program.waitForStarted());
        QByteArray output;
        const auto reports = [&] { return reportsIn(output += program.readAllStandardOutput()); };
        QTRY_VERIFY_WITH_TIMEOUT(reports().last().contains("skin: 0 errors, 4 warnings"), Patience);

        writeFile(QStringLiteral("work/skin/background.png"), "not a bmp");
        QTRY_VERIFY_WITH_TIMEOUT(reports().last().contains("skin: 0 errors, 5 warnings"), Patience);
        QVERIFY(reports().last().contains("background.png is not a skin file"));

        QVERIFY(QFile::remove(path(QStringLiteral("work/skin/background.png"))));
        QTRY_VERIFY_WITH_TIMEOUT(reports().last().contains("skin: 0 errors, 4 warnings"), Patience);
        QVERIFY(!reports().last().contains("background.png"));
        ::kill(pid_t(program.processId()), SIGINT);
        QVERIFY(program.waitForFinished(Patience));
    }

    // On a terminal, a folder that is removed is said to be gone, and is
    // checked again when it is back; one whose path leads to another
    // folder (a link retargeted) is followed there.
    void aRemovedFolderIsSaidAndFollowedBack()
    {
        makeFolder(QStringLiteral("work/ember"));
        writeBmp(QStringLiteral("work/frost/background.bmp"), Qt::blue, {800, 600});
        QVERIFY(QFile::link(QStringLiteral("ember"), path(QStringLiteral("work/current"))));
        InTerminal program(workDir(), {QStringLiteral("check"), QStringLiteral("--watch"), QStringLiteral("current")});
        QVERIFY(program.started());
        QVERIFY2(program.readUntil("Ctrl-C ends."), program.output().constData());
        QVERIFY(program.output().contains("current: 1 error, 0 warnings"));
        const auto screen = [&] { return program.output().mid(program.output().lastIndexOf(ClearScreen)); };

        QVERIFY(QDir(path(QStringLiteral("work/ember"))).removeRecursively());
        QVERIFY2(program.readUntil("Ctrl-C ends.", 2), program.output().constData());
        QVERIFY2(screen().contains("current: no such folder"), screen().constData());

        QVERIFY(QFile::remove(path(QStringLiteral("work/current"))));
        QVERIFY(QFile::link(QStringLiteral("frost"), path(QStringLiteral("work/current"))));
        QVERIFY2(program.readUntil("Ctrl-C ends.", 3), program.output().constData());
        QVERIFY2(screen().contains("current: 0 errors, 4 warnings"), screen().constData());
        program.type("\x03");
        QCOMPARE(program.endingSignal(), SIGINT);
    }

    // A folder that cannot be watched at first (the inotify limits of the
    // user namespace it runs in are spent) is tried again, and followed
    // once the limits allow it.
    void aFailedWatchIsTriedAgain()
    {
        makeFolder(QStringLiteral("work/skin"));
        QProcess program;
        program.setWorkingDirectory(workDir());
        const QString script = QStringLiteral(
            "echo 0 > /proc/sys/user/max_inotify_instances || exit 3\n"
            "\"$0\" check --watch skin < /dev/null &\n"
            "child=$!\n"
            "trap 'kill $child' TERM\n"
            "read go\n"
            "echo 1024 > /proc/sys/user/max_inotify_instances\n"
            "wait $child\n");
        program.start(QStringLiteral("unshare"), {QStringLiteral("--user"), QStringLiteral("--map-root-user"), QStringLiteral("sh"), QStringLiteral("-c"),
                                                  script, qEnvironmentVariable("SKINTOOL_BINARY")});
        QVERIFY(program.waitForStarted());
        // The program ends with the script, which ends it on SIGTERM.
        const auto end = qScopeGuard([&] {
            program.write("go\n");
            program.closeWriteChannel();
            ::kill(pid_t(program.processId()), SIGTERM);
            program.waitForFinished(Patience);
        });
        QByteArray errors;
        QTRY_VERIFY_WITH_TIMEOUT((errors += program.readAllStandardError()).contains("cannot watch")
                                     || program.state() == QProcess::NotRunning,
                                 Patience);
        if (program.state() == QProcess::NotRunning)
            QSKIP(qPrintable(QStringLiteral("no user namespace of its own: %1").arg(QString::fromLocal8Bit(errors))));
        QByteArray output;
        const auto reports = [&] { return reportsIn(output += program.readAllStandardOutput()); };
        QTRY_VERIFY_WITH_TIMEOUT(reports().last().contains("skin: 1 error, 0 warnings"), Patience);
        program.write("go\n");
        QVERIFY(program.waitForBytesWritten(Patience));

        // Saved until a check shows it: the watch is placed again meanwhile.
        QDeadlineTimer deadline(Patience);
        do {
            writeBmp(QStringLiteral("work/skin/background.bmp"), Qt::blue, {800, 600});
            QTest::qWait(200);
        } while (!reports().last().contains("skin: 0 errors, 4 warnings") && !deadline.hasExpired());
        QVERIFY2(reports().last().contains("skin: 0 errors, 4 warnings"), output.constData());
    }

    void aFolderThatIsNoFolderEndsAtOnce()
    {
        QProcess program;
        program.setWorkingDirectory(workDir());
        program.start(qEnvironmentVariable("SKINTOOL_BINARY"), {QStringLiteral("check"), QStringLiteral("--watch"), QStringLiteral("missing")});
        QVERIFY(program.waitForFinished(Patience));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 2);
        QCOMPARE(program.readAllStandardError(), QByteArray("skintool: missing: no such folder\n"));
    }
};

QTEST_MAIN(SkintoolWatchTest)
#include "watch_test.moc"
