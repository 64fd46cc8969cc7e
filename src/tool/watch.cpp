#include "tool/watch.h"

#include "files/folderwatcher.h"
#include "tool/folders.h"
#include "tool/terminal.h"

#include <QCoreApplication>
#include <QTimer>

#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

namespace skintool {

namespace {

const char Separator[] = "----------------------------------------\n";
const char ClearScreen[] = "\033[H\033[2J";
constexpr int RetryMilliseconds = 2000;

// Why a folder cannot be watched, in the user's terms.
QString watchProblem(int error)
{
    if (error == EMFILE)
        return QStringLiteral("the user's inotify instances are spent: fs.inotify.max_user_instances");
    if (error == ENOSPC)
        return QStringLiteral("the user's inotify watches are spent: fs.inotify.max_user_watches");
    return systemReason(error);
}

class Watch
{
public:
    Watch(const QStringList &folders, const CheckOptions &options)
        : m_folders(folders), m_options(options), m_terminal(::isatty(STDOUT_FILENO))
    {
        // Watched before they are checked, so that no change in between is missed.
        for (const QString &folder : folders) {
            auto watcher = std::make_unique<FolderWatcher>();
            watcher->follow(resolvedFolder(folder));
            if (watcher->error() != 0) {
                printError(QStringLiteral("%1: cannot watch for changes (%2); tried again every %3 seconds")
                               .arg(shownName(folder), watchProblem(watcher->error()))
                               .arg(RetryMilliseconds / 1000));
                m_retry.start();
            }
            // Any change may alter the report: a name near a skin file's
            // is reported, and so is a file that cannot be read.
            QObject::connect(watcher.get(), &FolderWatcher::change, [this, watcher = watcher.get()] {
                watcher->takeChanges();
                check();
            });
            m_watchers.push_back(std::move(watcher));
        }
        m_retry.setInterval(RetryMilliseconds);
        QObject::connect(&m_retry, &QTimer::timeout, [this] { retryWatches(); });
        check();
    }

private:
    // A folder that could not be watched (the user's inotify limits were
    // spent) is tried again while it cannot; once it is watched it is
    // checked, for what changed meanwhile. Polls only while a watch fails.
    void retryWatches()
    {
        bool watched = false;
        bool failing = false;
        for (const std::unique_ptr<FolderWatcher> &watcher : m_watchers) {
            if (watcher->error() == 0)
                continue;
            watcher->follow(watcher->folder());
            watched = watched || watcher->error() == 0;
            failing = failing || watcher->error() != 0;
        }
        if (!failing)
            m_retry.stop();
        if (watched)
            check();
    }

    void check()
    {
        if (m_terminal)
            printOut(QString::fromLatin1(ClearScreen));
        else if (m_checked)
            printOut(QString::fromLatin1(Separator));
        // Out before a folder that is gone is named on standard error, so
        // that a terminal shows the name on the screen just cleared.
        finishOutput();
        checkFolders(m_folders, m_options);
        if (m_terminal)
            printOut(QStringLiteral("Watching for changes; Ctrl-C ends.\n"));
        finishOutput();
        m_checked = true;
    }

    QStringList m_folders;
    CheckOptions m_options;
    bool m_terminal;
    bool m_checked = false;
    std::vector<std::unique_ptr<FolderWatcher>> m_watchers;
    QTimer m_retry;
};

} // namespace

int watchCheck(const QStringList &folders, const CheckOptions &options)
{
    for (const QString &folder : folders) {
        if (!checkFolderArgument(folder))
            return 2;
    }
    Watch watch(folders, options);
    return QCoreApplication::exec();
}

} // namespace skintool
