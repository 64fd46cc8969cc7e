#include "tool/watch.h"

#include "runtime/folderwatcher.h"
#include "tool/check.h"
#include "tool/folders.h"
#include "tool/report.h"
#include "tool/terminal.h"

#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace skintool {

namespace {

constexpr int EndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

const char Separator[] = "----------------------------------------\n";
const char ClearScreen[] = "\033[H\033[2J";

int signalPipe[2] = {-1, -1};

void passOn(int signal)
{
    const unsigned char number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &number, 1);
}

// The signals that end the watch reach the event loop through a pipe, so
// that it ends between two checks.
class Interruption
{
public:
    Interruption()
    {
        if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        m_notifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] {
            unsigned char number = 0;
            if (::read(signalPipe[0], &number, 1) == 1) {
                m_signal = number;
                QCoreApplication::quit();
            }
        });
        struct sigaction action = {};
        action.sa_handler = passOn;
        sigemptyset(&action.sa_mask);
        for (int signal : EndingSignals)
            ::sigaction(signal, &action, nullptr);
    }

    // Ends the process as the signal would have, now that the output is
    // complete: the shell then knows it was interrupted (status 130 after
    // Ctrl-C), and a script that ran it stops too.
    [[noreturn]] void endAsInterrupted()
    {
        std::fflush(stdout);
        m_notifier.reset();
        ::close(signalPipe[0]);
        ::close(signalPipe[1]);
        ::signal(m_signal, SIG_DFL);
        sigset_t only;
        sigemptyset(&only);
        sigaddset(&only, m_signal);
        ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
        ::raise(m_signal);
        std::_Exit(128 + m_signal);
    }

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
    int m_signal = SIGINT;
};

// Why a folder cannot be watched, in the user's terms.
QString watchProblem(int error)
{
    if (error == EMFILE)
        return QStringLiteral("the user's inotify instances are spent: fs.inotify.max_user_instances");
    if (error == ENOSPC)
        return QStringLiteral("the user's inotify watches are spent: fs.inotify.max_user_watches");
    return QString::fromLocal8Bit(std::strerror(error));
}

// A change that may alter a report: a BMP file's, in any letter case
// (every skin file is one), or the folder's own.
bool concernsCheck(const FolderChanges &changes)
{
    if (changes.everything)
        return true;
    for (const QString &name : changes.names) {
        if (name.endsWith(QLatin1String(".bmp"), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

class Watch
{
public:
    Watch(const QStringList &folders, bool json) : m_json(json), m_terminal(::isatty(STDOUT_FILENO))
    {
        for (const QString &folder : folders) {
            // Watched before it is checked, so that no change in between is missed.
            auto watcher = std::make_unique<FolderWatcher>();
            watcher->follow(QDir::cleanPath(absolutePath(folder)));
            if (watcher->error() != 0)
                printError(QStringLiteral("%1: cannot watch for changes (%2); it is not checked again")
                               .arg(folder, watchProblem(watcher->error())));
            m_reports.push_back(checkFolder(folder));
            const std::size_t index = m_reports.size() - 1;
            QObject::connect(watcher.get(), &FolderWatcher::change, [this, index, folder, w = watcher.get()] {
                if (!concernsCheck(w->takeChanges()))
                    return;
                m_reports[index] = checkFolder(folder);
                print();
            });
            m_watchers.push_back(std::move(watcher));
        }
        print();
    }

private:
    void print()
    {
        QString out;
        if (m_terminal)
            out = QString::fromLatin1(ClearScreen);
        else if (m_printed && !m_json)
            out = QString::fromLatin1(Separator);
        if (m_json)
            out += QString::fromUtf8(jsonReport(m_reports).toJson(m_terminal ? QJsonDocument::Indented
                                                                               : QJsonDocument::Compact))
                   + (m_terminal ? QString() : QStringLiteral("\n"));
        else
            out += textReport(m_reports, colourWanted());
        if (m_terminal)
            out += QStringLiteral("Watching for changes; Ctrl-C ends.\n");
        printOut(out);
        std::fflush(stdout);
        m_printed = true;
    }

    bool m_json;
    bool m_terminal;
    bool m_printed = false;
    std::vector<FolderReport> m_reports;
    std::vector<std::unique_ptr<FolderWatcher>> m_watchers;
};

} // namespace

int watchCheck(const QStringList &folders, bool json)
{
    for (const QString &folder : folders) {
        if (!checkFolderArgument(folder))
            return 2;
    }
    Interruption interruption;
    {
        Watch watch(folders, json);
        QCoreApplication::exec();
    }
    interruption.endAsInterrupted();
}

} // namespace skintool
