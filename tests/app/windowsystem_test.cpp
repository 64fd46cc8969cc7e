// Which window system the program's windows go to, from the session's
// variables and from what really answers: an X server of the test's own
// (Xvfb, which wants a cookie), fake X servers and Wayland compositors that
// are listening sockets, some of which never accept or never reply.

#include "support/fixture.h"

#include "app/windowsystem.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
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

// A listening socket that never accepts: connections to it are made while
// its queue has room, and are never served.
class Listener
{
public:
    ~Listener()
    {
        for (const int fd : m_queued)
            ::close(fd);
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_file.empty())
            ::unlink(m_file.c_str());
    }

    // A Unix socket; a name starting with '\0' is an abstract one, any other
    // a file that goes with the listener. A full one has its queue filled,
    // so that a connect() waits.
    static std::unique_ptr<Listener> onUnixSocket(const std::string &name, bool full = false)
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
        if (!listener->listen(full ? 0 : SOMAXCONN))
            return nullptr;
        while (full) {
            const int client = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (::connect(client, reinterpret_cast<sockaddr *>(&address), length) != 0) {
                ::close(client);
                break;
            }
            listener->m_queued.push_back(client);
        }
        return listener;
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
        return listener->listen(SOMAXCONN) ? std::move(listener) : nullptr;
    }

    // Whether a client has connected (and waits in the queue).
    bool connectedTo() const
    {
        pollfd pending{m_fd, POLLIN, 0};
        return ::poll(&pending, 1, 0) == 1;
    }

private:
    explicit Listener(int fd) : m_fd(fd) {}
    bool listen(int backlog) { return m_fd >= 0 && ::listen(m_fd, backlog) == 0; }

    int m_fd;
    std::string m_file;
    std::vector<int> m_queued; // the connections that fill a full queue
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

// An X server of the test's own (Xvfb), started with the arguments given;
// stopped with the object.
class XServer
{
public:
    ~XServer()
    {
        m_process.terminate();
        m_process.waitForFinished(20000);
    }

    // The display number, or empty if Xvfb is missing or did not start.
    QString start(const QStringList &arguments, const QString &scratch)
    {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            return {};
        const QString displayFile = scratch + QStringLiteral("/display");
        // Should the test die, the server goes with it.
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_process.start(QStringLiteral("sh"),
                        QStringList{QStringLiteral("-c"), QStringLiteral("exec Xvfb -displayfd 3 \"$@\" 3>\"$0\""),
                                    displayFile}
                            + arguments);
        if (!m_process.waitForStarted())
            return {};
        QString display;
        for (int i = 0; i < 100 && display.isEmpty() && m_process.state() == QProcess::Running; ++i) {
            QTest::qWait(100);
            display = QString::fromLatin1(readRaw(QFile::encodeName(displayFile)).trimmed());
        }
        return display;
    }

    QProcess &process() { return m_process; }

private:
    QProcess m_process;
};

// An authority file with one cookie for every display, as the X client
// library reads it: family "wild", no address, no display number.
QByteArray cookieEntry(const QByteArray &cookie)
{
    QByteArray entry;
    auto field = [&](const QByteArray &bytes) {
        entry += char(bytes.size() >> 8);
        entry += char(bytes.size() & 0xff);
        entry += bytes;
    };
    entry += "\xff\xff";
    field({});
    field({});
    field("MIT-MAGIC-COOKIE-1");
    field(cookie);
    return entry;
}

// Waits until the program shows its preview window, or ends; true when shown.
bool waitForPreviewWindow(QProcess &program, const QProcessEnvironment &env)
{
    for (int i = 0; i < 300 && program.state() == QProcess::Running; ++i) {
        QProcess search;
        search.setProcessEnvironment(env);
        search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--name"), QStringLiteral("^Form1$")});
        search.waitForFinished();
        if (!search.readAllStandardOutput().trimmed().isEmpty())
            return true;
        QTest::qWait(100);
    }
    return false;
}

// Passes X connections on to a real X server, and notes for each
// connection, numbered from 1, when it opens ("open N"), when the server
// first replies on it ("reply N") and when the client closes it ("close N").
class XRelay : public QObject
{
public:
    bool listen(const QString &socket, const QString &target)
    {
        m_target = target;
        QLocalServer::removeServer(socket);
        connect(&m_server, &QLocalServer::newConnection, this, &XRelay::pass);
        return m_server.listen(socket);
    }

    QStringList events() const { return m_events; }
    int connections() const { return m_connections; }

private:
    void pass()
    {
        while (QLocalSocket *client = m_server.nextPendingConnection()) {
            const QString id = QString::number(++m_connections);
            m_events << QStringLiteral("open ") + id;
            auto *server = new QLocalSocket(client);
            server->connectToServer(m_target);
            if (!server->waitForConnected(5000)) {
                client->abort();
                continue;
            }
            connect(client, &QLocalSocket::readyRead, server, [client, server] { server->write(client->readAll()); });
            connect(server, &QLocalSocket::readyRead, client, [this, client, server, id] {
                if (!m_events.contains(QStringLiteral("reply ") + id))
                    m_events << QStringLiteral("reply ") + id;
                client->write(server->readAll());
            });
            connect(client, &QLocalSocket::disconnected, this, [this, client, server, id] {
                m_events << QStringLiteral("close ") + id;
                server->abort();
                client->deleteLater();
            });
            connect(server, &QLocalSocket::disconnected, client, &QLocalSocket::disconnectFromServer);
            server->write(client->readAll());
        }
    }

    QString m_target;
    int m_connections = 0;
    QStringList m_events;
    QLocalServer m_server; // goes first, with the connections it still notes
};

// What the program prints when it finds nowhere to show windows.
const QByteArray NoDisplayAdvice = "; start skinpreview from a desktop session, or with xvfb-run skinpreview\n";

} // namespace

class WindowSystemTest : public Fixture
{
    Q_OBJECT

private:
    // The test's own X server, which takes only clients with its cookie.
    QTemporaryDir m_scratch;
    XServer m_xServer;
    QString m_xDisplay;
    // The fake servers of one case, with the display numbers they answer at.
    std::vector<std::unique_ptr<Listener>> m_servers;
    std::map<QString, QString> m_placeholders;

    QString cookieFile() const { return m_scratch.filePath(QStringLiteral("cookie")); }

    // Starts the fake servers that a case's text names and fills in their
    // display numbers and paths; false if one could not be made here.
    bool fillIn(QString &text)
    {
        if (text.contains(QLatin1String("{x}")) && m_xDisplay.isEmpty())
            return false;
        m_placeholders["{x}"] = m_xDisplay;
        // Accepts connections into its queue, and never replies.
        if (text.contains(QLatin1String("{silent}")) && !m_placeholders.count("{silent}")) {
            const int number = unusedDisplayNumber(3100);
            m_servers.push_back(Listener::onUnixSocket('\0' + LocalXSockets + std::to_string(number)));
            m_placeholders["{silent}"] = QString::number(number);
        }
        // Its queue is full: a connect() waits, on both of its sockets.
        if (text.contains(QLatin1String("{stuck}")) && !m_placeholders.count("{stuck}")) {
            ::mkdir("/tmp/.X11-unix", 01777);
            const int number = unusedDisplayNumber(3300);
            const std::string socket = LocalXSockets + std::to_string(number);
            auto abstract = Listener::onUnixSocket('\0' + socket, true);
            auto file = Listener::onUnixSocket(socket, true);
            if (!abstract || !file)
                return false;
            m_servers.push_back(std::move(abstract));
            m_servers.push_back(std::move(file));
            m_placeholders["{stuck}"] = QString::number(number);
        }
        if (!m_placeholders.count("{dead}"))
            m_placeholders["{dead}"] = QString::number(unusedDisplayNumber(3700));
        m_placeholders["{runtime}"] = runtimeDir();
        for (const auto &[placeholder, value] : m_placeholders)
            text.replace(placeholder, value);
        return true;
    }

    QString runtimeDir() const { return path(QStringLiteral("runtime")); }

    // The program's environment, with the variables that decide as given.
    QProcessEnvironment programEnvironment(const QString &display, const QString &waylandDisplay) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "WAYLAND_SOCKET"})
            env.remove(QLatin1String(name));
        if (!display.isEmpty())
            env.insert(QStringLiteral("DISPLAY"), display);
        if (!waylandDisplay.isEmpty())
            env.insert(QStringLiteral("WAYLAND_DISPLAY"), waylandDisplay);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir());
        return env;
    }

    // Starts an X server for the program to show its windows on, if the
    // program, Xvfb and xdotool are there; its display number, else empty.
    QString startForProgram(XServer &server) const
    {
        if (qEnvironmentVariableIsEmpty("SKINPREVIEW_BINARY")
            || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            return {};
        return server.start({QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1024x768x24"),
                             QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-noreset")},
                            path(QString()));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_scratch.isValid());
        QByteArray cookie(16, '\0');
        QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(cookie.data()), 4);
        QVERIFY(writeRaw(QFile::encodeName(cookieFile()), cookieEntry(cookie)));
        m_xDisplay = m_xServer.start({QStringLiteral("-auth"), cookieFile(), QStringLiteral("-listen"),
                                      QStringLiteral("tcp"), QStringLiteral("-noreset")},
                                     m_scratch.path());
    }

    void choice_data()
    {
        QTest::addColumn<QString>("qtPlatform");
        QTest::addColumn<QString>("display");
        QTest::addColumn<bool>("cookie"); // XAUTHORITY leads to the X server's cookie
        QTest::addColumn<QString>("waylandDisplay");
        QTest::addColumn<QString>("waylandSocket");
        QTest::addColumn<QStringList>("compositors"); // sockets listening in XDG_RUNTIME_DIR
        QTest::addColumn<QString>("platform");
        QTest::addColumn<QString>("problem");

        const QStringList none;
        const QStringList wl{"wl"};
        const QString advice = "; start skinpreview from a desktop session, or with xvfb-run skinpreview";
        const QString noWayland = " and no Wayland display (WAYLAND_DISPLAY is not set)" + advice;

        // The user's choice stands, whatever answers.
        QTest::newRow("QT_QPA_PLATFORM, no display") << "offscreen" << "" << true << "" << "" << none << "" << "";
        QTest::newRow("QT_QPA_PLATFORM over an X server") << "wayland" << ":{x}" << true << "wl" << "" << wl << "" << "";

        // An X server that takes this client, locally or over TCP (as
        // ssh's forwarding is reached).
        QTest::newRow(":N") << "" << ":{x}" << true << "" << "" << none << "xcb" << "";
        QTest::newRow("localhost:N") << "" << "localhost:{x}.0" << true << "" << "" << none << "xcb" << "";
        // The X client library does not take this form, so Qt could not.
        QTest::newRow("tcp/:N") << "" << "tcp/:{x}" << true << "wl" << "" << wl << "wayland" << "";

        // An X server that refuses this client: no cookie.
        QTest::newRow("X server refuses, Wayland answers") << "" << ":{x}" << false << "wl" << "" << wl << "wayland" << "";
        QTest::newRow("X server refuses, no Wayland")
            << "" << ":{x}" << false << "" << "" << none << ""
            << "no X11 display (the X server at DISPLAY=:{x} refuses this client: Authorization required, but no "
               "authorization protocol specified)" + noWayland;

        // X servers that never answer: given up after a few seconds.
        QTest::newRow("X server never replies") << "" << ":{silent}" << true << "wl" << "" << wl << "wayland" << "";
        QTest::newRow("X server never accepts") << "" << ":{stuck}" << true << "wl" << "" << wl << "wayland" << "";

        // A Wayland session: Xwayland first, Wayland only without it.
        QTest::newRow("Wayland session with Xwayland") << "" << ":{x}" << true << "wl" << "" << wl << "xcb" << "";
        QTest::newRow("Wayland session, X server gone") << "" << ":{dead}" << true << "wl" << "" << wl << "wayland" << "";
        QTest::newRow("Wayland only") << "" << "" << true << "wl" << "" << wl << "wayland" << "";
        QTest::newRow("Wayland by path") << "" << "" << true << "{runtime}/wl" << "" << wl << "wayland" << "";
        QTest::newRow("Wayland's default socket") << "" << "" << true << "" << "" << QStringList{"wayland-0"} << "wayland" << "";
        QTest::newRow("Wayland connection handed down") << "" << "" << true << "" << "3" << none << "wayland" << "";
        QTest::newRow("Wayland compositor never accepts")
            << "" << "" << true << "stuck" << "" << none << ""
            << "no X11 display (DISPLAY is not set) and no Wayland display (nothing answers at "
               "WAYLAND_DISPLAY=stuck)" + advice;

        // Nowhere to show windows.
        QTest::newRow("nothing set") << "" << "" << true << "" << "" << none << ""
                                     << "no X11 display (DISPLAY is not set)" + noWayland;
        QTest::newRow("nothing answers")
            << "" << ":{dead}" << true << "gone" << "" << wl << ""
            << "no X11 display (nothing answers at DISPLAY=:{dead}) and no Wayland display (nothing answers "
               "at WAYLAND_DISPLAY=gone)" + advice;
        QTest::newRow("DISPLAY not a display") << "" << "nonsense" << true << "" << "" << none << ""
                                               << "no X11 display (nothing answers at DISPLAY=nonsense)" + noWayland;
    }

    void choice()
    {
        QFETCH(QString, qtPlatform);
        QFETCH(QString, display);
        QFETCH(bool, cookie);
        QFETCH(QString, waylandDisplay);
        QFETCH(QString, waylandSocket);
        QFETCH(QStringList, compositors);
        QFETCH(QString, platform);
        QFETCH(QString, problem);
        m_servers.clear();
        m_placeholders.clear();
        for (QString *text : {&display, &waylandDisplay, &problem}) {
            if (!fillIn(*text))
                QSKIP("needs Xvfb, and fake X servers' sockets in /tmp/.X11-unix");
        }
        QDir().mkpath(runtimeDir());
        for (const QString &name : compositors)
            m_servers.push_back(Listener::onUnixSocket(QFile::encodeName(runtimeDir() + '/' + name).toStdString()));
        if (waylandDisplay == QLatin1String("stuck"))
            m_servers.push_back(Listener::onUnixSocket(QFile::encodeName(runtimeDir() + "/stuck").toStdString(), true));
        qputenv("XAUTHORITY", QFile::encodeName(cookie ? cookieFile() : path(QStringLiteral("no-cookie"))));

        const SessionVariables session{qtPlatform.toStdString(), display.toStdString(), waylandDisplay.toStdString(),
                                       waylandSocket.toStdString(), QFile::encodeName(runtimeDir()).toStdString()};
        const WindowSystemChoice choice = chooseWindowSystem(session);
        qunsetenv("XAUTHORITY");
        m_servers.clear();
        QCOMPARE(QString::fromStdString(choice.platform), platform);
        QCOMPARE(QString::fromStdString(choice.problem), problem);
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
        // Not held up for ever by an X server that never accepts.
        QTest::newRow("X server never accepts") << ":{stuck}" << ""
                                                << "no X11 display (nothing answers at DISPLAY=:{stuck}) and no "
                                                   "Wayland display (WAYLAND_DISPLAY is not set)";
    }

    void programWithoutDisplay()
    {
        if (qEnvironmentVariableIsEmpty("SKINPREVIEW_BINARY"))
            QSKIP("needs the program (SKINPREVIEW_BINARY)");
        QFETCH(QString, display);
        QFETCH(QString, waylandDisplay);
        QFETCH(QString, missing);
        m_servers.clear();
        m_placeholders.clear();
        for (QString *text : {&display, &missing}) {
            if (!fillIn(*text))
                QSKIP("needs fake X servers' sockets in /tmp/.X11-unix");
        }
        QDir().mkpath(runtimeDir());
        QProcess program;
        program.setProcessEnvironment(programEnvironment(display, waylandDisplay));
        program.setWorkingDirectory(workDir());
        program.start(qEnvironmentVariable("SKINPREVIEW_BINARY"), {});
        QVERIFY(program.waitForFinished(20000));
        m_servers.clear();
        QCOMPARE(program.readAllStandardError(), "skinpreview: " + missing.toUtf8() + NoDisplayAdvice);
        QCOMPARE(program.readAllStandardOutput(), QByteArray());
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 1);
        QVERIFY(!QFile::exists(path(QStringLiteral("work/lastpath.skin"))));
    }

    // Qt's own -platform and -display choose as QT_QPA_PLATFORM and
    // DISPLAY do, and over them: the program starts, applies the FOLDER
    // given (which writes lastpath.skin) and, on an X server, shows its
    // window there. Where the platform is the user's choice, or another X
    // server is named, DISPLAY's server is never connected to: one that
    // never replies would hold the start up.
    void programFollowsQtsOptions_data()
    {
        QTest::addColumn<QString>("qtPlatform"); // QT_QPA_PLATFORM
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("display"); // DISPLAY
        QTest::addColumn<bool>("onX");        // the window shows on the test's X server
        QTest::newRow("-platform offscreen") << "" << QStringList{"-platform", "offscreen"} << "" << false;
        QTest::newRow("--platform offscreen, over DISPLAY")
            << "" << QStringList{"--platform", "offscreen"} << ":{silent}" << false;
        QTest::newRow("QT_QPA_PLATFORM, over DISPLAY") << "offscreen" << QStringList{} << ":{silent}" << false;
        QTest::newRow("-display") << "" << QStringList{"-display", ":{own}"} << "" << true;
        QTest::newRow("--display, over DISPLAY") << "" << QStringList{"--display", ":{own}"} << ":{silent}" << true;
    }

    void programFollowsQtsOptions()
    {
        QFETCH(QString, qtPlatform);
        QFETCH(QStringList, options);
        QFETCH(QString, display);
        QFETCH(bool, onX);
        XServer server;
        const QString own = startForProgram(server);
        if (own.isEmpty())
            QSKIP("needs the program (SKINPREVIEW_BINARY), Xvfb and xdotool");
        m_servers.clear();
        m_placeholders.clear();
        m_placeholders["{own}"] = own;
        for (QString &text : options)
            QVERIFY(fillIn(text));
        QVERIFY(fillIn(display));
        QDir().mkpath(runtimeDir());
        const QString skin = makeFolder(QStringLiteral("skin"));
        QProcess program;
        QProcessEnvironment env = programEnvironment(display, {});
        if (!qtPlatform.isEmpty())
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), qtPlatform);
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(workDir());
        program.start(qEnvironmentVariable("SKINPREVIEW_BINARY"), options << skin);
        QVERIFY(program.waitForStarted());
        const QString lastPath = path(QStringLiteral("work/lastpath.skin"));
        QTRY_VERIFY2_WITH_TIMEOUT(QFile::exists(lastPath) || program.state() != QProcess::Running,
                                  "the program neither started nor ended", 30000);
        QVERIFY2(program.state() == QProcess::Running, program.readAllStandardError().constData());
        if (onX)
            QVERIFY2(waitForPreviewWindow(program, programEnvironment(QLatin1Char(':') + own, {})),
                     program.readAllStandardError().constData());
        program.kill();
        program.waitForFinished(20000);
        for (const auto &displayServer : m_servers)
            QVERIFY2(!displayServer->connectedTo(), "DISPLAY's server was connected to");
    }

    // An X server that has no other client (one started by xvfb-run)
    // resets when its last client leaves, and turns away whoever connects
    // meanwhile: had the program's try at it ended before Qt connected,
    // Qt's connection would fail now and then. So the try's connection ends
    // only once Qt has connected: its end comes after Qt's has heard from
    // the server.
    void probeConnectionOutlastsQtsConnecting()
    {
        XServer server;
        const QString display = startForProgram(server);
        if (display.isEmpty())
            QSKIP("needs the program (SKINPREVIEW_BINARY), Xvfb and xdotool");
        ::mkdir("/tmp/.X11-unix", 01777);
        const int number = unusedDisplayNumber(3900);
        XRelay relay;
        QVERIFY(relay.listen(QString::fromStdString(LocalXSockets) + QString::number(number),
                             QString::fromStdString(LocalXSockets) + display));
        QDir().mkpath(runtimeDir());
        QProcess program;
        program.setProcessEnvironment(programEnvironment(QStringLiteral(":%1").arg(number), {}));
        program.setWorkingDirectory(workDir());
        program.start(qEnvironmentVariable("SKINPREVIEW_BINARY"), {});
        QVERIFY(program.waitForStarted());
        // xdotool looks at the X server itself, not through the relay.
        QVERIFY2(waitForPreviewWindow(program, programEnvironment(QLatin1Char(':') + display, {})),
                 program.readAllStandardError().constData());
        // The program's own connection is the last one made; the others
        // were tries.
        const int own = relay.connections();
        auto triesClosed = [&] {
            for (int i = 1; i < own; ++i) {
                if (!relay.events().contains(QStringLiteral("close %1").arg(i)))
                    return false;
            }
            return true;
        };
        QTRY_VERIFY_WITH_TIMEOUT(triesClosed(), 20000);
        program.kill();
        program.waitForFinished(20000);
        const QStringList events = relay.events();
        const qsizetype ownHeard = events.indexOf(QStringLiteral("reply %1").arg(own));
        QVERIFY2(own > 1 && ownHeard >= 0, qPrintable(events.join(QLatin1String(", "))));
        for (int i = 1; i < own; ++i) {
            // A try that the server never took (no reply) does not count.
            if (events.contains(QStringLiteral("reply %1").arg(i)))
                QVERIFY2(events.indexOf(QStringLiteral("close %1").arg(i)) > ownHeard,
                         qPrintable(events.join(QLatin1String(", "))));
        }
    }

    // The X server goes away under the running program (a session ends,
    // Xwayland crashes): Qt ends the program with status 1, and nothing of
    // it crashes on the way out.
    void programWhoseXServerGoesAway()
    {
        XServer server;
        const QString display = startForProgram(server);
        if (display.isEmpty())
            QSKIP("needs the program (SKINPREVIEW_BINARY), Xvfb and xdotool");
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
        QVERIFY2(waitForPreviewWindow(program, env), program.readAllStandardError().constData());
        server.process().terminate();
        QVERIFY(server.process().waitForFinished(20000));
        QVERIFY(program.waitForFinished(20000));
        QVERIFY2(program.exitStatus() == QProcess::NormalExit, program.readAllStandardError().constData());
        QCOMPARE(program.exitCode(), 1);
        QVERIFY(!QFile::exists(path(QStringLiteral("work/lastpath.skin"))));
    }
};

QTEST_MAIN(WindowSystemTest)
#include "windowsystem_test.moc"
