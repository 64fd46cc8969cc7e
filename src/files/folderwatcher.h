#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

class QSocketNotifier;

// What changed in a followed folder since the changes were last taken.
struct FolderChanges
{
    // The entries of the folder that were made, written, renamed, removed
    // or had their attributes changed, as names (files/filename.h).
    QSet<QString> names;
    // The folder itself was made again, came back or was replaced, or the
    // kernel dropped events: any entry may differ.
    bool everything = false;

    static FolderChanges all() { return {{}, true}; }
    bool isEmpty() const { return names.isEmpty() && !everything; }
    // Whether an entry of this name, ignoring letter case, may have changed.
    bool touches(const QString &name) const;
};

// Follows one folder through the kernel's notification (inotify), without
// polling: an idle folder costs no wake-up. Editors save in bursts (a file
// cut to nothing and written in pieces, a temporary file renamed over the
// old one, a file removed and made again), so change() is raised once the
// folder has been quiet for QuietMilliseconds after the last event, or
// LongestDelayMilliseconds after the first, whichever comes first: a file
// written on and on (a log) does not hold back another file's change.
//
// The folder is watched, not its files, so a file replaced by a rename is
// followed like any other. It is the path that is followed, not the folder
// it led to at first: the parts of the path above the folder are watched
// too, and so are the system's mounts, and whenever one of them changes,
// the kernel reports the folder gone, or a change settles, the path is
// looked at again; when it leads to another folder than the one watched
// (an ancestor renamed and made again, a link retargeted, a file system
// mounted again), that one is watched instead and change() reports
// everything. While the folder is missing its nearest existing ancestor is
// watched instead; the folder going away and coming back both report
// everything. So does an overflow of the kernel's event queue, after which
// the watches are placed again.
//
// A folder inside an archive (files/archive.h) is followed through the
// archive file: its folder on disk is watched, and only a change to the
// archive's name counts, as a change of everything.
//
// A watch that cannot be added (the user's inotify limits are spent, a
// folder that cannot be read) leaves the watcher silent; following again
// tries anew.
class FolderWatcher : public QObject
{
    Q_OBJECT

public:
    // Long enough to take the pieces of one save together, short enough to
    // feel immediate.
    static constexpr int QuietMilliseconds = 50;
    // The longest that a change waits for the folder to fall quiet.
    static constexpr int LongestDelayMilliseconds = 10 * QuietMilliseconds;

    explicit FolderWatcher(QObject *parent = nullptr);
    ~FolderWatcher() override;

    // Follows folder (an absolute path, maybe through an archive) from now
    // on, dropping what was pending; an empty folder follows nothing.
    void follow(const QString &folder);
    QString folder() const { return m_folder; }

    // Whether the kernel watches the folder itself.
    bool isWatchingFolder() const { return m_watch >= 0 && m_watched == m_native; }
    // Why nothing could be watched the last time a watch was placed (an
    // errno: EMFILE or ENOSPC for the user's inotify limits, EACCES), or 0.
    int error() const { return m_error; }

    // The changes gathered up to the last change(), taken.
    FolderChanges takeChanges();

signals:
    void change();

private:
    void readEvents();
    bool rewatch();
    void watchNearest();
    void watchPathAbove();
    void removeWatches();
    void pend();
    void settle();

    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    int m_mounts = -1; // the system's mount table, which the kernel flags when it changes
    QSocketNotifier *m_mountNotifier = nullptr;
    QTimer m_quiet;
    QTimer m_longest;
    QString m_folder;
    QByteArray m_native;  // the folder's bytes, or those of the archive's folder
    QByteArray m_archiveName; // the archive followed in m_native; empty for a folder
    QByteArray m_watched; // the folder, or the ancestor watched while it is missing
    int m_watch = -1;
    QList<int> m_above; // the parts of the path above m_watched; the first is its parent
    int m_error = 0;
    FolderChanges m_pending;
    FolderChanges m_settled;
};
