// Which window system the program's windows go to, from the session's
// variables and from what really answers: fake X servers and Wayland
// compositors are listening sockets that a connect() reaches.

#include "support/fixture.h"

#include "app/windowsystem.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

namespace {

const std::string LocalXSockets = "/tmp/.X11-unix/X";

// A listening socket; connections to it succeed and are never served.
class Listener
{
public:
    ~Listener()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_file.empty())
            ::unlink(m_file.c_str());
    }

    // A Unix socket; a name starting with '\0' is an abstract one, any other
    // a file that goes with the listener.
    static std::unique_ptr<Listener> onUnixSocket(const std::string &name)
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, name.data(), name.size());
        auto listener = std::unique_ptr<Listener>(new Listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)));
        const socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + name.size());
        if (::bind(listener->m_fd, reinterpret_cast<sockaddr *>(&address), length) != 0)
            return nullptr;
        if (name.front() != '\0')
            listener->m_file = name;
        return listener->listen() ? std::move(listener) : nullptr;
    }

    static std::unique_ptr<Listener> onLoopbackPort(int port)
    {
        auto listener = std::unique_ptr<Listener>(new Listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(uint16_t(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(listener->m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
            return nullptr;
        return listener->listen() ? std::move(listener) : nullptr;
    }

private:
    explicit Listener(int fd) : m_fd(fd) {}
    bool listen() { return m_fd >= 0 && ::listen(m_fd, SOMAXCONN) == 0; }

    int m_fd;
    std::string m_file;
};

bool exists(const std::string &path)
{
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

// Display numbers from far above any real server's, none of whose sockets
// is in use.
int unusedDisplayNumber(int from)
{
    for (int number = from; number < from + 500; ++number) {
        const std::string file = LocalXSockets + std::to_string(number);
        if (!exists(file) && Listener::onUnixSocket('\0' + file) && Listener::onLoopbackPort(6000 + number))
            return number;
    }
    qFatal("no unused display number from %d on", from);
}

} // namespace

class WindowSystemTest : public Fixture
{
    Q_OBJECT

private:
    // The fake servers of one case, with the display numbers they answer at.
    std::vector<std::unique_ptr<Listener>> m_servers;
    std::map<QString, QString> m_placeholders;

    // Starts the fake servers that a case's text names and fills in their
    // display numbers and paths; false if one could not be made here.
    bool fillIn(QString &text)
    {
        if (text.contains(QLatin1String("{abstract}")) && !m_placeholders.count("{abstract}")) {
            const int number = unusedDisplayNumber(3100);
            m_servers.push_back(Listener::onUnixSocket('\0' + LocalXSockets + std::to_string(number)));
            m_placeholders["{abstract}"] = QString::number(number);
        }
        if (text.contains(QLatin1String("{file}")) && !m_placeholders.count("{file}")) {
            ::mkdir("/tmp/.X11-unix", 01777);
            const int number = unusedDisplayNumber(3300);
            auto server = Listener::onUnixSocket(LocalXSockets + std::to_string(number));
            if (!server)
                return false;
            m_servers.push_back(std::move(server));
            m_placeholders["{file}"] = QString::number(number);
        }
        if (text.contains(QLatin1String("{tcp}")) && !m_placeholders.count("{tcp}")) {
            const int number = unusedDisplayNumber(3500);
            m_servers.push_back(Listener::onLoopbackPort(6000 + number));
            m_placeholders["{tcp}"] = QString::number(number);
        }
        if (!m_placeholders.count("{dead}"))
            m_placeholders["{dead}"] = QString::number(unusedDisplayNumber(3700));
        m_placeholders["{runtime}"] = runtimeDir();
        for (const auto &[placeholder, value] : m_placeholders)
            text.replace(placeholder, value);
        return true;
    }

    QString runtimeDir() const { return path(QStringLiteral("runtime")); }

private slots:
    void choice_data()
    {
        QTest::addColumn<QString>("qtPlatform");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("waylandDisplay");
        QTest::addColumn<QString>("waylandSocket");
        QTest::addColumn<QStringList>("compositors"); // sockets listening in XDG_RUNTIME_DIR
        QTest::addColumn<QString>("platform");
        QTest::addColumn<QString>("problem");

        const QStringList none;
        const QStringList wl{"wl"};
        const QString notSet = "no X11 display (DISPLAY is not set) and no Wayland display "
                               "(WAYLAND_DISPLAY is not set); start skinpreview from a desktop session, "
                               "or with xvfb-run skinpreview";

        // The user's choice stands, whatever answers.
        QTest::newRow("QT_QPA_PLATFORM, no display") << "offscreen" << "" << "" << "" << none << "" << "";
        QTest::newRow("QT_QPA_PLATFORM over an X server") << "wayland" << ":{abstract}" << "wl" << "" << wl << "" << "";

        // Local X servers, on their abstract or file-system socket.
        QTest::newRow(":N, abstract socket") << "" << ":{abstract}" << "" << "" << none << "xcb" << "";
        QTest::newRow(":N.screen") << "" << ":{abstract}.0" << "" << "" << none << "xcb" << "";
        QTest::newRow("unix:N") << "" << "unix:{abstract}" << "" << "" << none << "xcb" << "";
        QTest::newRow("unix/:N") << "" << "unix/:{abstract}" << "" << "" << none << "xcb" << "";
        QTest::newRow(":N, file-system socket") << "" << ":{file}" << "" << "" << none << "xcb" << "";
        // Remote ones (ssh's forwarding among them) on TCP port 6000 + N.
        QTest::newRow("localhost:N") << "" << "localhost:{tcp}.0" << "" << "" << none << "xcb" << "";
        QTest::newRow("127.0.0.1:N") << "" << "127.0.0.1:{tcp}" << "" << "" << none << "xcb" << "";
        QTest::newRow("tcp/localhost:N") << "" << "tcp/localhost:{tcp}" << "" << "" << none << "xcb" << "";
        QTest::newRow("TCP display tried on the local socket only") << "" << ":{tcp}" << "wl" << "" << wl << "wayland" << "";

        // A Wayland session: Xwayland first, Wayland only without it.
        QTest::newRow("Wayland session with Xwayland") << "" << ":{abstract}" << "wl" << "" << wl << "xcb" << "";
        QTest::newRow("Wayland session, X server gone") << "" << ":{dead}" << "wl" << "" << wl << "wayland" << "";
        QTest::newRow("Wayland only") << "" << "" << "wl" << "" << wl << "wayland" << "";
        QTest::newRow("Wayland by path") << "" << "" << "{runtime}/wl" << "" << wl << "wayland" << "";
        QTest::newRow("Wayland's default socket") << "" << "" << "" << "" << QStringList{"wayland-0"} << "wayland" << "";
        QTest::newRow("Wayland connection handed down") << "" << "" << "" << "3" << none << "wayland" << "";

        // Nowhere to show windows.
        QTest::newRow("nothing set") << "" << "" << "" << "" << none << "" << notSet;
        QTest::newRow("nothing answers")
            << "" << ":{dead}" << "gone" << "" << wl << ""
            << "no X11 display (nothing answers at DISPLAY=:{dead}) and no Wayland display (nothing answers "
               "at WAYLAND_DISPLAY=gone); start skinpreview from a desktop session, or with xvfb-run skinpreview";
        QTest::newRow("DISPLAY not a display")
            << "" << "nonsense" << "" << "" << none << ""
            << "no X11 display (nothing answers at DISPLAY=nonsense) and no Wayland display (WAYLAND_DISPLAY "
               "is not set); start skinpreview from a desktop session, or with xvfb-run skinpreview";
        QTest::newRow("display number not a number") << "" << ":{abstract}x" << "" << "" << none << ""
            << "no X11 display (nothing answers at DISPLAY=:{abstract}x) and no Wayland display (WAYLAND_DISPLAY "
               "is not set); start skinpreview from a desktop session, or with xvfb-run skinpreview";
    }

    void choice()
    {
        QFETCH(QString, qtPlatform);
        QFETCH(QString, display);
        QFETCH(QString, waylandDisplay);
        QFETCH(QString, waylandSocket);
        QFETCH(QStringList, compositors);
        QFETCH(QString, platform);
        QFETCH(QString, problem);
        m_servers.clear();
        m_placeholders.clear();
        for (QString *text : {&display, &waylandDisplay, &problem}) {
            if (!fillIn(*text))
                QSKIP("cannot make a fake X server's socket in /tmp/.X11-unix here");
        }
        QDir().mkpath(runtimeDir());
        for (const QString &name : compositors)
            m_servers.push_back(Listener::onUnixSocket(QFile::encodeName(runtimeDir() + '/' + name).toStdString()));

        const SessionVariables session{qtPlatform.toStdString(), display.toStdString(), waylandDisplay.toStdString(),
                                       waylandSocket.toStdString(), QFile::encodeName(runtimeDir()).toStdString()};
        const WindowSystemChoice choice = chooseWindowSystem(session);
        QCOMPARE(QString::fromStdString(choice.platform), platform);
        QCOMPARE(QString::fromStdString(choice.problem), problem);
        m_servers.clear();
    }

    // The real program, started where there is no display at all, says so
    // in one line and ends with status 1 (instead of Qt's abort).
    void programWithoutDisplay_data()
    {
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("waylandDisplay");
        QTest::addColumn<QString>("missing");
        QTest::newRow("nothing set") << "" << ""
                                     << "no X11 display (DISPLAY is not set) and no Wayland display "
                                        "(WAYLAND_DISPLAY is not set)";
        QTest::newRow("nothing answers") << ":{dead}" << "wayland-0"
                                         << "no X11 display (nothing answers at DISPLAY=:{dead}) and no Wayland "
                                            "display (nothing answers at WAYLAND_DISPLAY=wayland-0)";
    }

    void programWithoutDisplay()
    {
        if (qEnvironmentVariableIsEmpty("SKINPREVIEW_BINARY"))
            QSKIP("needs the program (SKINPREVIEW_BINARY)");
        QFETCH(QString, display);
        QFETCH(QString, waylandDisplay);
        QFETCH(QString, missing);
        m_placeholders.clear();
        for (QString *text : {&display, &missing})
            QVERIFY(fillIn(*text));
        QDir().mkpath(runtimeDir());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "WAYLAND_SOCKET"})
            env.remove(QLatin1String(name));
        if (!display.isEmpty())
            env.insert(QStringLiteral("DISPLAY"), display);
        if (!waylandDisplay.isEmpty())
            env.insert(QStringLiteral("WAYLAND_DISPLAY"), waylandDisplay);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir());
        QProcess program;
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(workDir());
        program.start(qEnvironmentVariable("SKINPREVIEW_BINARY"), {});
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.readAllStandardError(),
                 "skinpreview: " + missing.toUtf8()
                     + "; start skinpreview from a desktop session, or with xvfb-run skinpreview\n");
        QCOMPARE(program.readAllStandardOutput(), QByteArray());
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 1);
        QVERIFY(!QFile::exists(path(QStringLiteral("work/lastpath.skin"))));
    }

    // The X server goes away under the running program (a session ends,
    // Xwayland crashes): Qt ends the program with status 1, and nothing of
    // it crashes on the way out.
    void programWhoseXServerGoesAway()
    {
        if (qEnvironmentVariableIsEmpty("SKINPREVIEW_BINARY"))
            QSKIP("needs the program (SKINPREVIEW_BINARY)");
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()
            || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            QSKIP("needs Xvfb and xdotool");
        QProcess server;
        const QString displayFile = path(QStringLiteral("display"));
        server.start(QStringLiteral("sh"),
                     {QStringLiteral("-c"),
                      QStringLiteral("exec Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>\"$1\""),
                      QStringLiteral("sh"), displayFile});
        QVERIFY(server.waitForStarted());
        QString display;
        for (int i = 0; i < 100 && display.isEmpty(); ++i) {
            QTest::qWait(100);
            display = QString::fromLatin1(readRaw(QFile::encodeName(displayFile)).trimmed());
        }
        QVERIFY2(!display.isEmpty(), "Xvfb did not start");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.insert(QStringLiteral("DISPLAY"), QLatin1Char(':') + display);
        // Qt ends the process in the middle of its run, with the font
        // database and the rest of the application still alive: what is
        // looked at here is the crash, not what such an end leaves.
        env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0:abort_on_error=1"));
        QProcess program;
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(workDir());
        program.start(qEnvironmentVariable("SKINPREVIEW_BINARY"), {});
        QVERIFY(program.waitForStarted());
        bool shown = false;
        for (int i = 0; i < 200 && !shown && program.state() == QProcess::Running; ++i) {
            QProcess search;
            search.setProcessEnvironment(env);
            search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--name"), QStringLiteral("^Form1$")});
            search.waitForFinished();
            shown = !search.readAllStandardOutput().trimmed().isEmpty();
            if (!shown)
                QTest::qWait(100);
        }
        QVERIFY2(shown, program.readAllStandardError().constData());
        server.terminate();
        QVERIFY(server.waitForFinished(20000));
        QVERIFY(program.waitForFinished(20000));
        QVERIFY2(program.exitStatus() == QProcess::NormalExit, program.readAllStandardError().constData());
        QCOMPARE(program.exitCode(), 1);
        QVERIFY(!QFile::exists(path(QStringLiteral("work/lastpath.skin"))));
    }
};

QTEST_MAIN(WindowSystemTest)
#include "windowsystem_test.moc"
